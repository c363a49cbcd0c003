#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/gateway_settings.h"

namespace velkorin::cli {

// Exit codes: scripts rely on them.
enum ExitCode : int {
  kExitDone = 0,
  kExitUsage = 2,          // usage error or a value out of range; nothing was opened or sent
  kExitOpenFailed = 3,     // the port could not be opened
  kExitSendFailed = 4,     // a command could not be sent
  kExitReceiveFailed = 5,  // a reply was missing, short or malformed
  kExitBadChecksum = 6,    // a reply's checksum did not match
  kExitEchoDiffers = 7,    // the write completed, but the gateway echoed other values
};

// "A.B.C.D" with four decimal numbers 0-255 (one to three digits each, nothing else).
std::optional<std::uint32_t> ParseDottedQuad(std::string_view text);
std::string FormatDottedQuad(std::uint32_t address);
std::string FormatMac(const GatewaySettings& settings);  // "00-1A-2B-3C-4D-5E"
std::string ParityName(std::uint8_t parity);             // "none", "even", "odd"

// The values a write may change; each unset one keeps what the gateway has.
struct WriteValues {
  std::optional<std::string> ip, subnet, gateway, serverIp;
  std::optional<long long> serverPort, unitId, baud, timeoutMs, station;
  std::optional<std::string> parity;
  bool Empty() const;
};

// Tests every given value against what the window offers and, when all pass, stores them into
// `settings`. On a refusal returns the message naming the option and leaves `settings` alone.
std::optional<std::string> ApplyWriteValues(const WriteValues& values, GatewaySettings& settings);

// True when the fields a write carries (everything but the MAC) are equal.
bool SameWrittenFields(const GatewaySettings& a, const GatewaySettings& b);

// One "label: value" line per setting, with the window's labels and formats.
std::vector<std::string> SettingsLines(const GatewaySettings& settings);
std::string SettingsJson(const GatewaySettings& settings);

}  // namespace velkorin::cli
