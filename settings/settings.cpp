#include "settings/settings.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace velkorin {
namespace {

std::string MacEntryName(std::size_t index) {
  return "MAC Addr" + std::to_string(index);
}

}  // namespace

GatewaySettings DefaultSettings() {
  GatewaySettings settings;
  settings.ipAddress = 0xC0A80064;        // 192.168.0.100
  settings.subnetMask = 0xFFFFFF00;       // 255.255.255.0
  settings.gatewayAddress = 0;            // 0.0.0.0
  settings.serverIpAddress = 0xC0A800C8;  // 192.168.0.200
  settings.serverPort = 502;
  settings.mbtAduId = 255;
  settings.baudRate = 38400;
  settings.timeoutMs = 300;
  settings.parity = 0;
  settings.rs485Id = 1;
  return settings;
}

void LoadSettings(ProfileStore& store, std::string& portName, GatewaySettings& settings) {
  const GatewaySettings defaults = DefaultSettings();
  const auto number = [&store](const char* entry, std::uint32_t defaultValue) {
    return store.GetProfileInt(kSettingsSection, entry, defaultValue);
  };

  portName = store.GetProfileString(kSettingsSection, "Port", kDefaultPortName);
  for (std::size_t i = 0; i < settings.mac.size(); ++i) {
    settings.mac[i] = static_cast<std::uint8_t>(
        store.GetProfileInt(kSettingsSection, MacEntryName(i), defaults.mac[i]));
  }
  // Stored numbers are 32 bits wide; each is cut to its field's width, as the record holds it.
  settings.ipAddress = number("IP Addr", defaults.ipAddress);
  settings.subnetMask = number("Subnet Addr", defaults.subnetMask);
  settings.gatewayAddress = number("Gateway Addr", defaults.gatewayAddress);
  settings.serverIpAddress = number("Server IP Addr", defaults.serverIpAddress);
  settings.serverPort = static_cast<std::uint16_t>(number("Server Port", defaults.serverPort));
  settings.mbtAduId = static_cast<std::uint8_t>(number("MBT ADU ID", defaults.mbtAduId));
  settings.baudRate = number("Baud Rate", defaults.baudRate);
  settings.timeoutMs = static_cast<std::uint16_t>(number("Timeout", defaults.timeoutMs));
  settings.parity = static_cast<std::uint8_t>(number("Parity", defaults.parity));
  settings.rs485Id = static_cast<std::uint8_t>(number("RS485 ID", defaults.rs485Id));

  // Only parity has a code the gateway can't take; anything past "odd" is taken as odd.
  if (settings.parity >= 3) {
    settings.parity = 2;
  }
}

void SaveSettings(ProfileStore& store, const std::string& portName,
                  const GatewaySettings& settings) {
  // Results are not looked at: a value that can't be written keeps what was stored before.
  const auto number = [&store](const char* entry, std::uint32_t value) {
    store.WriteProfileInt(kSettingsSection, entry, value);
  };

  store.WriteProfileString(kSettingsSection, "Port", portName);
  for (std::size_t i = 0; i < settings.mac.size(); ++i) {
    store.WriteProfileInt(kSettingsSection, MacEntryName(i), settings.mac[i]);
  }
  number("IP Addr", settings.ipAddress);
  number("Subnet Addr", settings.subnetMask);
  number("Gateway Addr", settings.gatewayAddress);
  number("Server IP Addr", settings.serverIpAddress);
  number("Server Port", settings.serverPort);
  number("MBT ADU ID", settings.mbtAduId);
  number("Baud Rate", settings.baudRate);
  number("Timeout", settings.timeoutMs);
  number("Parity", settings.parity);
  number("RS485 ID", settings.rs485Id);
  store.Commit();
}

}  // namespace velkorin
