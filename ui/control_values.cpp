#include "ui/control_values.h"

#include <climits>
#include <cstdlib>

namespace velkorin {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back()))
    text.remove_suffix(1);
  return text;
}

long long LeadingNumber(std::string_view text) {
  while (!text.empty() && IsBlank(text.front()))
    text.remove_prefix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      break;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) {
      value = static_cast<long long>(INT_MAX) + 1;
      break;
    }
  }
  if (negative)
    return -value;
  return value > INT_MAX ? INT_MAX : value;
}

std::uint8_t MacByteFromText(std::string_view text) {
  const std::string trimmed(TrimBlanks(text));
  if (trimmed.empty())
    return 0;
  return static_cast<std::uint8_t>(std::strtoul(trimmed.c_str(), nullptr, 16) & 0xFFu);
}

std::optional<std::uint16_t> ServerPortFromText(std::string_view text) {
  const std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty())
    return kDefaultServerPort;
  const long long value = LeadingNumber(trimmed);
  if (value < 0 || value > 0xFFFF)
    return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool IsServerPortUsable(std::string_view text) {
  return !TrimBlanks(text).empty() && ServerPortFromText(text).has_value();
}

std::uint32_t NumberBeforeSuffix(std::string_view text, std::size_t suffixLength) {
  if (text.size() <= suffixLength)
    return 0;
  text.remove_suffix(suffixLength);
  return static_cast<std::uint32_t>(LeadingNumber(TrimBlanks(text)));
}

}  // namespace velkorin
