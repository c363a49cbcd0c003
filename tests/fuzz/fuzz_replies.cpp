// Feeds arbitrary bytes to reply checking and decoding, as a device on the line could.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "protocol/frames.h"

using namespace velkorin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  struct Kind {
    std::size_t length;
    char letter;
    bool (*decode)(std::string_view, GatewaySettings&);
  };
  const Kind kinds[] = {{kMacBlockLength, 'O', DecodeMacBlock},
                        {kNetworkBlockLength, 'P', DecodeNetworkBlock},
                        {kNetworkBlockLength, 'Y', DecodeNetworkBlock},
                        {kSerialBlockLength, 'Q', DecodeSerialBlock},
                        {kSerialBlockLength, 'Z', DecodeSerialBlock},
                        {kAckLength, 'S', nullptr}};
  for (const Kind& k : kinds) {
    const std::string_view reply = bytes.substr(0, k.length);
    const ReplyStatus status = CheckReply(reply, k.length, k.letter);
    if (status == ReplyStatus::Accepted && reply.size() != k.length)
      std::abort();
    GatewaySettings s;
    if (k.decode != nullptr) {
      k.decode(reply, s);  // also on rejected replies: decoders must never read out of bounds
      if (s.parity > 2)
        std::abort();
      if (status != ReplyStatus::Accepted)
        continue;
      // An accepted block of hex digits decodes to values that encode back to the same
      // payload, up to the case of its digits (a parity code above 2 is the one value that is
      // changed on purpose).
      const std::string_view payload = reply.substr(2, k.length - 5);
      const bool allHex = std::all_of(payload.begin(), payload.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) != 0;
      });
      const bool parityKept =
          k.letter != 'Q' && k.letter != 'Z' ? true : ParseHexField(payload.substr(12, 2)) <= 2;
      if (allHex && parityKept) {
        const std::string again = k.letter == 'O' ? BuildMacBlock(s)
                                  : k.letter == 'P' || k.letter == 'Y'
                                      ? BuildNetworkBlock(k.letter, s)
                                      : BuildSerialBlock(k.letter, s);
        const std::string_view encoded = std::string_view(again).substr(2, k.length - 5);
        if (!std::equal(payload.begin(), payload.end(), encoded.begin(), [](char a, char b) {
              return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
          std::abort();
        }
      }
    }
  }
  return 0;
}
