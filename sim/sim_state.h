#pragma once

#include <string>
#include <string_view>

#include "protocol/gateway_settings.h"

namespace velkorin {

// The simulated gateway's configuration as a JSON object: "mac" as "00-1A-2B-3C-4D-5E", the four
// addresses as dotted quads, the other values as numbers (parity as the code the device holds).
std::string SimStateToJson(const GatewaySettings& settings);

// Reads a configuration written by SimStateToJson. A key that is missing keeps the value that
// `settings` holds; a key of the wrong type or out of its field's range fails, leaving
// `settings` untouched and saying why in `error`.
bool SimStateFromJson(std::string_view text, GatewaySettings& settings, std::string& error);

}  // namespace velkorin
