#include "cli/cli_values.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdio>

namespace velkorin::cli {

std::optional<std::uint32_t> ParseDottedQuad(std::string_view text) {
  std::uint32_t address = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (text.empty() || text.front() != '.')
        return std::nullopt;
      text.remove_prefix(1);
    }
    std::size_t digits = 0;
    unsigned value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
      value = value * 10 + static_cast<unsigned>(text[digits] - '0');
      if (++digits > 3)
        return std::nullopt;
    }
    if (digits == 0 || value > 255)
      return std::nullopt;
    text.remove_prefix(digits);
    address = (address << 8) | value;
  }
  if (!text.empty())
    return std::nullopt;
  return address;
}

std::string FormatDottedQuad(std::uint32_t a) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", (a >> 24) & 0xFF, (a >> 16) & 0xFF,
                (a >> 8) & 0xFF, a & 0xFF);
  return text;
}

std::string FormatMac(const GatewaySettings& s) {
  char text[18];
  std::snprintf(text, sizeof text, "%02X-%02X-%02X-%02X-%02X-%02X", s.mac[0], s.mac[1], s.mac[2],
                s.mac[3], s.mac[4], s.mac[5]);
  return text;
}

std::string ParityName(std::uint8_t parity) {
  switch (parity) {
    case 0:
      return "none";
    case 1:
      return "even";
    default:
      return "odd";
  }
}

bool WriteValues::Empty() const {
  return !ip && !subnet && !gateway && !serverIp && !serverPort && !unitId && !baud && !timeoutMs &&
         !station && !parity;
}

namespace {

constexpr std::array<long long, 5> kBaudRates{9600, 19200, 38400, 57600, 115200};

std::string OutOfRange(std::string_view option, std::string_view allowed) {
  return "invalid value for --" + std::string(option) + ": expected " + std::string(allowed);
}

}  // namespace

std::optional<std::string> ApplyWriteValues(const WriteValues& v, GatewaySettings& settings) {
  GatewaySettings s = settings;
  struct Address {
    const char* option;
    const std::optional<std::string>& text;
    std::uint32_t& field;
  };
  const Address addresses[] = {{"ip", v.ip, s.ipAddress},
                               {"subnet", v.subnet, s.subnetMask},
                               {"gateway", v.gateway, s.gatewayAddress},
                               {"server-ip", v.serverIp, s.serverIpAddress}};
  for (const Address& a : addresses) {
    if (!a.text)
      continue;
    const auto value = ParseDottedQuad(*a.text);
    if (!value)
      return OutOfRange(a.option, "a dotted quad A.B.C.D of numbers 0-255");
    a.field = *value;
  }
  if (v.serverPort) {
    if (*v.serverPort < 1 || *v.serverPort > 65535)
      return OutOfRange("server-port", "1-65535");
    s.serverPort = static_cast<std::uint16_t>(*v.serverPort);
  }
  if (v.unitId) {
    if (*v.unitId < 1 || *v.unitId > 255)
      return OutOfRange("unit-id", "1-255");
    s.mbtAduId = static_cast<std::uint8_t>(*v.unitId);
  }
  if (v.station) {
    if (*v.station < 1 || *v.station > 255)
      return OutOfRange("station", "1-255");
    s.rs485Id = static_cast<std::uint8_t>(*v.station);
  }
  if (v.baud) {
    if (std::find(kBaudRates.begin(), kBaudRates.end(), *v.baud) == kBaudRates.end()) {
      return OutOfRange("baud", "9600, 19200, 38400, 57600 or 115200");
    }
    s.baudRate = static_cast<std::uint32_t>(*v.baud);
  }
  if (v.timeoutMs) {
    if (*v.timeoutMs < 100 || *v.timeoutMs > 1000 || *v.timeoutMs % 100 != 0) {
      return OutOfRange("timeout-ms", "100-1000 in steps of 100");
    }
    s.timeoutMs = static_cast<std::uint16_t>(*v.timeoutMs);
  }
  if (v.parity) {
    const std::array<std::string_view, 3> names{"none", "even", "odd"};
    const auto it = std::find(names.begin(), names.end(), *v.parity);
    if (it == names.end())
      return OutOfRange("parity", "none, even or odd");
    s.parity = static_cast<std::uint8_t>(it - names.begin());
  }
  settings = s;
  return std::nullopt;
}

bool SameWrittenFields(const GatewaySettings& a, const GatewaySettings& b) {
  GatewaySettings x = a;
  x.mac = b.mac;
  return x == b;
}

std::vector<std::string> SettingsLines(const GatewaySettings& s) {
  static constexpr std::array<const char*, 3> kParityLabels{"None Parity", "Even Parity",
                                                            "Odd Parity"};
  const auto number = [](auto value) { return std::to_string(value); };
  return {
      "MAC Address: " + FormatMac(s),
      "IP Address: " + FormatDottedQuad(s.ipAddress),
      "Subnet Mask: " + FormatDottedQuad(s.subnetMask),
      "Gateway: " + FormatDottedQuad(s.gatewayAddress),
      "Server IP Address: " + FormatDottedQuad(s.serverIpAddress),
      "Server Port: " + number(s.serverPort),
      "MODBUS TCP/IP 국번: " + number(s.mbtAduId),
      "RS422/485 통신 속도: " + number(s.baudRate) + " BPS",
      std::string("패러티 비트: ") + kParityLabels[std::min<std::size_t>(s.parity, 2)],
      "타임아웃: " + number(s.timeoutMs) + " msec",
      "RS485 국번: " + number(s.rs485Id),
  };
}

std::string SettingsJson(const GatewaySettings& s) {
  const nlohmann::ordered_json j = {
      {"mac", FormatMac(s)},
      {"ipAddress", FormatDottedQuad(s.ipAddress)},
      {"subnetMask", FormatDottedQuad(s.subnetMask)},
      {"gatewayAddress", FormatDottedQuad(s.gatewayAddress)},
      {"serverIpAddress", FormatDottedQuad(s.serverIpAddress)},
      {"serverPort", s.serverPort},
      {"mbtAduId", s.mbtAduId},
      {"baudRate", s.baudRate},
      {"timeoutMs", s.timeoutMs},
      {"rs485Id", s.rs485Id},
      {"parity", ParityName(s.parity)},
  };
  return j.dump();
}

}  // namespace velkorin::cli
