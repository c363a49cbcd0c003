#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velkorin {

// The conversions that take the window's texts back into the settings record. They never fail:
// empty, blank or malformed texts give fixed values, and nothing is reported.

inline constexpr std::uint16_t kDefaultServerPort = 502;

std::string_view TrimBlanks(std::string_view text);

// What atoi gives for `text` (leading blanks, a sign, the leading digits; 0 when there are none),
// held at the int range instead of overflowing.
long long LeadingNumber(std::string_view text);

// A MAC edit's text: empty gives 0, otherwise the low byte of its leading hexadecimal number.
std::uint8_t MacByteFromText(std::string_view text);

// The server port edit's text: blank gives 502; a number from 0 to 65535 gives itself; anything
// else (above 65535, below 0) is no port at all, and nullopt tells the caller to keep what it had
// rather than store the number cut to 16 bits.
std::optional<std::uint16_t> ServerPortFromText(std::string_view text);

// True when the server port edit holds something the write may send: not blank, and not a number
// outside 0 to 65535.
bool IsServerPortUsable(std::string_view text);

// A list entry made with a fixed suffix ("38400 BPS", "300 msec"): the number before the suffix.
// A text no longer than the suffix gives 0.
std::uint32_t NumberBeforeSuffix(std::string_view text, std::size_t suffixLength);

}  // namespace velkorin
