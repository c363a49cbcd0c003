#include "protocol/frames.h"

namespace velkorin {
namespace {

constexpr char kUpperHex[] = "0123456789ABCDEF";

void AppendHex(std::string& out, std::uint32_t value, int digits) {
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out.push_back(kUpperHex[(value >> shift) & 0xF]);
  }
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

}  // namespace

std::uint8_t FrameChecksum(std::string_view text) {
  unsigned sum = 0;
  for (std::size_t i = 1; i < text.size(); ++i) {
    sum += static_cast<unsigned char>(text[i]);
  }
  return static_cast<std::uint8_t>(sum & 0xFF);
}

std::string BuildFrame(std::string_view text) {
  std::string frame(text);
  AppendHex(frame, FrameChecksum(text), 2);
  frame.push_back(kFrameEnd);
  return frame;
}

std::string BuildMacQuery() {
  return BuildFrame(":O");
}
std::string BuildNetworkQuery() {
  return BuildFrame(":P");
}
std::string BuildSerialQuery() {
  return BuildFrame(":Q");
}
std::string BuildSaveCommand() {
  return BuildFrame(":S");
}

std::string BuildMacBlock(const GatewaySettings& s) {
  std::string text = ":O";
  for (std::uint8_t byte : s.mac)
    AppendHex(text, byte, 2);
  return BuildFrame(text);
}

std::string BuildNetworkBlock(char letter, const GatewaySettings& s) {
  std::string text{kFrameStart, letter};
  AppendHex(text, s.ipAddress, 8);
  AppendHex(text, s.subnetMask, 8);
  AppendHex(text, s.gatewayAddress, 8);
  AppendHex(text, s.serverIpAddress, 8);
  AppendHex(text, s.serverPort, 4);
  return BuildFrame(text);
}

std::string BuildSerialBlock(char letter, const GatewaySettings& s) {
  // Frame order, not window order: speed, timeout, parity, station, unit id.
  std::string text{kFrameStart, letter};
  AppendHex(text, s.baudRate, 8);
  AppendHex(text, s.timeoutMs, 4);
  AppendHex(text, s.parity, 2);
  AppendHex(text, s.rs485Id, 2);
  AppendHex(text, s.mbtAduId, 2);
  return BuildFrame(text);
}

std::string BuildNetworkCommand(const GatewaySettings& s) {
  return BuildNetworkBlock('Y', s);
}
std::string BuildSerialCommand(const GatewaySettings& s) {
  return BuildSerialBlock('Z', s);
}

std::uint32_t ParseHexField(std::string_view field) {
  std::uint32_t value = 0;
  for (char c : field) {
    const int digit = HexDigitValue(c);
    if (digit < 0)
      break;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

ReplyStatus CheckReply(std::string_view reply, std::size_t expectedLength, char letter) {
  const std::size_t n = expectedLength;
  if (n < kAckLength || reply.size() != n)
    return ReplyStatus::Malformed;
  if (reply[0] != kFrameStart || reply[1] != letter || reply[n - 1] != kFrameEnd) {
    return ReplyStatus::Malformed;
  }
  if (letter == 'S' && n == kAckLength)
    return ReplyStatus::Accepted;
  const auto sent = static_cast<std::uint8_t>(ParseHexField(reply.substr(n - 3, 2)) & 0xFF);
  return sent == FrameChecksum(reply.substr(0, n - 3)) ? ReplyStatus::Accepted
                                                       : ReplyStatus::BadChecksum;
}

bool DecodeMacBlock(std::string_view reply, GatewaySettings& s) {
  if (reply.size() < kMacBlockLength)
    return false;
  for (std::size_t k = 0; k < s.mac.size(); ++k) {
    s.mac[k] = static_cast<std::uint8_t>(ParseHexField(reply.substr(2 + 2 * k, 2)));
  }
  return true;
}

bool DecodeNetworkBlock(std::string_view reply, GatewaySettings& s) {
  if (reply.size() < kNetworkBlockLength)
    return false;
  s.ipAddress = ParseHexField(reply.substr(2, 8));
  s.subnetMask = ParseHexField(reply.substr(10, 8));
  s.gatewayAddress = ParseHexField(reply.substr(18, 8));
  s.serverIpAddress = ParseHexField(reply.substr(26, 8));
  s.serverPort = static_cast<std::uint16_t>(ParseHexField(reply.substr(34, 4)));
  return true;
}

bool DecodeSerialBlock(std::string_view reply, GatewaySettings& s) {
  if (reply.size() < kSerialBlockLength)
    return false;
  s.baudRate = ParseHexField(reply.substr(2, 8));
  s.timeoutMs = static_cast<std::uint16_t>(ParseHexField(reply.substr(10, 4)));
  const auto parity = static_cast<std::uint8_t>(ParseHexField(reply.substr(14, 2)));
  s.parity = parity >= 3 ? static_cast<std::uint8_t>(Parity::Odd) : parity;
  s.rs485Id = static_cast<std::uint8_t>(ParseHexField(reply.substr(16, 2)));
  s.mbtAduId = static_cast<std::uint8_t>(ParseHexField(reply.substr(18, 2)));
  return true;
}

}  // namespace velkorin
