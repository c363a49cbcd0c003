#pragma once

#include <array>
#include <cstdint>

namespace velkorin {

// Every value of the gateway's configuration that the window shows and the frames carry.
// IPv4 addresses hold the first octet in the most significant byte (192.168.0.100 is 0xC0A80064).
struct GatewaySettings {
  std::array<std::uint8_t, 6> mac{};  // byte 0 leftmost; read only, never sent to the gateway
  std::uint32_t ipAddress = 0;
  std::uint32_t subnetMask = 0;
  std::uint32_t gatewayAddress = 0;
  std::uint32_t serverIpAddress = 0;
  std::uint16_t serverPort = 0;
  std::uint8_t mbtAduId = 0;   // MODBUS TCP unit identifier
  std::uint32_t baudRate = 0;  // RS422/485 line speed, bit/s
  std::uint16_t timeoutMs = 0;
  std::uint8_t parity = 0;   // 0 none, 1 even, 2 odd
  std::uint8_t rs485Id = 0;  // RS485 station number

  friend bool operator==(const GatewaySettings&, const GatewaySettings&) = default;
};

enum class Parity : std::uint8_t { None = 0, Even = 1, Odd = 2 };

}  // namespace velkorin
