#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/gateway_settings.h"

namespace velkorin {

// Frames are runs of ASCII bytes: ':' , command letter, fixed-width hex fields, two checksum
// digits, CR. Held in std::string as raw bytes.
inline constexpr char kFrameStart = ':';
inline constexpr char kFrameEnd = '\r';

inline constexpr std::size_t kQueryLength = 5;          // ":O", ":P", ":Q", ":S" as sent
inline constexpr std::size_t kMacBlockLength = 17;      // reply to ":O"
inline constexpr std::size_t kNetworkBlockLength = 41;  // reply to ":P", and ":Y" both ways
inline constexpr std::size_t kSerialBlockLength = 23;   // reply to ":Q", and ":Z" both ways
inline constexpr std::size_t kAckLength = 5;            // reply to ":S"
inline constexpr std::size_t kLongestFrame = kNetworkBlockLength;

// Sum of the character codes after the first character, modulo 256.
std::uint8_t FrameChecksum(std::string_view text);

// text + checksum as two upper-case hex digits + CR.
std::string BuildFrame(std::string_view text);

std::string BuildMacQuery();                                       // ":O4F\r"
std::string BuildNetworkQuery();                                   // ":P50\r"
std::string BuildSerialQuery();                                    // ":Q51\r"
std::string BuildSaveCommand();                                    // ":S53\r"
std::string BuildNetworkCommand(const GatewaySettings& settings);  // ":Y..." 41 bytes
std::string BuildSerialCommand(const GatewaySettings& settings);   // ":Z..." 23 bytes

// The network and serial blocks as the gateway sends them, with the given letter ('P'/'Y',
// 'Q'/'Z'). Used by the simulated gateway; the command builders above are these with 'Y'/'Z'.
std::string BuildMacBlock(const GatewaySettings& settings);
std::string BuildNetworkBlock(char letter, const GatewaySettings& settings);
std::string BuildSerialBlock(char letter, const GatewaySettings& settings);

enum class ReplyStatus { Accepted, Malformed, BadChecksum };

// Tests a reply of which all `expectedLength` bytes were read: ':' first, the expected letter
// (exactly; a lower-case letter does not match), CR last, then the checksum (digits of either
// case). The acknowledgement (letter 'S') is only tested for its shape. A reply of another length
// is Malformed.
ReplyStatus CheckReply(std::string_view reply, std::size_t expectedLength, char letter);

// Decoders for accepted replies. Each field takes its leading hex digits (either case) and stops
// at the first other character; no range test, except that a parity code of 3 or more is stored
// as 2. A reply shorter than its block leaves the settings untouched and gives false.
bool DecodeMacBlock(std::string_view reply, GatewaySettings& settings);
bool DecodeNetworkBlock(std::string_view reply, GatewaySettings& settings);
bool DecodeSerialBlock(std::string_view reply, GatewaySettings& settings);

// Leading hex digits of `field` as an unsigned number (no digit gives 0). Fields are never wider
// than 8 digits, so the value fits 32 bits.
std::uint32_t ParseHexField(std::string_view field);

}  // namespace velkorin
