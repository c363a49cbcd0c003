// Feeds arbitrary bytes to reply checking and decoding, as a device on the line could.
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
    if (status == ReplyStatus::Accepted && reply.size() != k.length) std::abort();
    GatewaySettings s;
    if (k.decode != nullptr) {
      k.decode(reply, s);  // also on rejected replies: decoders must never read out of bounds
      if (s.parity > 2) std::abort();
      if (status == ReplyStatus::Accepted && k.letter != 'O') {
        // An accepted block re-encodes to itself up to the case of its digits and parity clamp.
        const std::string again = k.letter == 'P' || k.letter == 'Y'
                                      ? BuildNetworkBlock(k.letter, s)
                                      : BuildSerialBlock(k.letter, s);
        if (again.size() != k.length) std::abort();
      }
    }
  }
  return 0;
}
