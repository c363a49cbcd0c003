#include "sim/sim_state.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace velkorin {
namespace {

using nlohmann::json;
using nlohmann::ordered_json;

std::string DottedQuad(std::uint32_t a) {
  return std::to_string(a >> 24) + "." + std::to_string((a >> 16) & 0xFF) + "." +
         std::to_string((a >> 8) & 0xFF) + "." + std::to_string(a & 0xFF);
}

bool ParseDottedQuad(const std::string& text, std::uint32_t& address) {
  std::uint32_t value = 0;
  std::size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.')
        return false;
      ++pos;
    }
    std::size_t digits = 0;
    unsigned octet = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      octet = octet * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || octet > 255)
      return false;
    value = (value << 8) | octet;
  }
  if (pos != text.size())
    return false;
  address = value;
  return true;
}

bool ParseMac(const std::string& text, std::array<std::uint8_t, 6>& mac) {
  if (text.size() != 17)
    return false;
  std::array<std::uint8_t, 6> bytes{};
  for (std::size_t k = 0; k < 6; ++k) {
    if (k > 0 && text[3 * k - 1] != '-' && text[3 * k - 1] != ':')
      return false;
    unsigned value = 0;
    for (std::size_t d = 0; d < 2; ++d) {
      const char c = text[3 * k + d];
      int digit = -1;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      if (digit < 0)
        return false;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    bytes[k] = static_cast<std::uint8_t>(value);
  }
  mac = bytes;
  return true;
}

}  // namespace

std::string SimStateToJson(const GatewaySettings& s) {
  char mac[18];
  std::snprintf(mac, sizeof mac, "%02X-%02X-%02X-%02X-%02X-%02X", s.mac[0], s.mac[1], s.mac[2],
                s.mac[3], s.mac[4], s.mac[5]);
  ordered_json j = ordered_json::object();  // keys in the order of the record
  j["mac"] = mac;
  j["ipAddress"] = DottedQuad(s.ipAddress);
  j["subnetMask"] = DottedQuad(s.subnetMask);
  j["gatewayAddress"] = DottedQuad(s.gatewayAddress);
  j["serverIpAddress"] = DottedQuad(s.serverIpAddress);
  j["serverPort"] = s.serverPort;
  j["mbtAduId"] = s.mbtAduId;
  j["baudRate"] = s.baudRate;
  j["timeoutMs"] = s.timeoutMs;
  j["parity"] = s.parity;
  j["rs485Id"] = s.rs485Id;
  return j.dump(2) + "\n";
}

bool SimStateFromJson(std::string_view text, GatewaySettings& settings, std::string& error) {
  const json j = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (j.is_discarded()) {
    error = "not valid JSON";
    return false;
  }
  if (!j.is_object()) {
    error = "not a JSON object";
    return false;
  }
  GatewaySettings s = settings;
  if (const auto it = j.find("mac"); it != j.end()) {
    if (!it->is_string() || !ParseMac(it->get<std::string>(), s.mac)) {
      error = "mac: expected a text like \"00-1A-2B-3C-4D-5E\"";
      return false;
    }
  }
  struct Address {
    const char* key;
    std::uint32_t* field;
  };
  for (const Address& a : {Address{"ipAddress", &s.ipAddress}, Address{"subnetMask", &s.subnetMask},
                           Address{"gatewayAddress", &s.gatewayAddress},
                           Address{"serverIpAddress", &s.serverIpAddress}}) {
    const auto it = j.find(a.key);
    if (it == j.end())
      continue;
    if (!it->is_string() || !ParseDottedQuad(it->get<std::string>(), *a.field)) {
      error = std::string(a.key) + ": expected a dotted address like \"192.168.0.100\"";
      return false;
    }
  }
  struct Number {
    const char* key;
    std::uint32_t max;
    std::uint32_t value;
    bool present;
  };
  Number numbers[] = {{"serverPort", 0xFFFF, 0, false},   {"mbtAduId", 0xFF, 0, false},
                      {"baudRate", 0xFFFFFFFF, 0, false}, {"timeoutMs", 0xFFFF, 0, false},
                      {"parity", 0xFF, 0, false},         {"rs485Id", 0xFF, 0, false}};
  for (Number& n : numbers) {
    const auto it = j.find(n.key);
    if (it == j.end())
      continue;
    if (!it->is_number_unsigned() || it->get<std::uint64_t>() > n.max) {
      error = std::string(n.key) + ": expected a whole number from 0 to " + std::to_string(n.max);
      return false;
    }
    n.value = static_cast<std::uint32_t>(it->get<std::uint64_t>());
    n.present = true;
  }
  if (numbers[0].present)
    s.serverPort = static_cast<std::uint16_t>(numbers[0].value);
  if (numbers[1].present)
    s.mbtAduId = static_cast<std::uint8_t>(numbers[1].value);
  if (numbers[2].present)
    s.baudRate = numbers[2].value;
  if (numbers[3].present)
    s.timeoutMs = static_cast<std::uint16_t>(numbers[3].value);
  if (numbers[4].present)
    s.parity = static_cast<std::uint8_t>(numbers[4].value);
  if (numbers[5].present)
    s.rs485Id = static_cast<std::uint8_t>(numbers[5].value);
  settings = s;
  return true;
}

}  // namespace velkorin
