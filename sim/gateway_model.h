#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/gateway_settings.h"

namespace velkorin {

// What a simulated gateway can be told to do wrong when it answers one command letter.
enum class FaultKind {
  Silent,       // the frame is ignored: no answer, nothing changes
  BadSum,       // the checksum digits are off by one
  WrongLetter,  // another command's letter, with a checksum that fits it
  Truncate,     // only the first `count` bytes are sent
  Surplus,      // `count` extra bytes ('#') follow the reply
  Lower,        // lower-case hex digits, checksum summed over what is sent
  Garbage,      // one stray byte (0xFF) goes before the reply
  Delay,        // the reply starts `ms` later
  Split,        // a pause of `ms` after the first `count` bytes
  Hangup,       // the terminal goes away after the first `count` bytes of the reply
  Parity,       // the serial block reports parity code `count` (00 to FF)
};

struct Fault {
  FaultKind kind = FaultKind::Silent;
  std::uint32_t count = 0;
  std::uint32_t ms = 0;
};

struct PlannedFault {
  char letter = 0;
  Fault fault;
};

// Parses "LETTER:KIND[:ARG]" as given on the command line, e.g. "Q:split:5:100". On failure the
// result is empty and `error` says what is wrong.
std::optional<PlannedFault> ParseFault(std::string_view text, std::string& error);

// A run of reply bytes and the pause before it, in milliseconds.
struct ReplyChunk {
  std::uint32_t pauseMs = 0;
  std::string bytes;
};

// The gateway's answer to one whole frame it heard.
struct SimReply {
  char command = 0;                // letter of the frame heard
  std::vector<ReplyChunk> chunks;  // empty: no answer at all
  bool hangUp = false;             // after the chunks, the terminal goes away
  bool saved = false;              // ":S" was taken: the configuration is to be stored

  std::string Bytes() const;  // all chunks joined
};

// The configuration a new simulated gateway holds: the settings program's own defaults and a
// fixed MAC address.
GatewaySettings DefaultSimSettings();

// The device side of the configuration frames, with no I/O: bytes in, replies out. Bytes before
// a ':' are line noise and dropped; a frame ends at CR. A frame of the wrong length, with a bad
// checksum or an unknown letter gets no answer.
class GatewayModel {
 public:
  explicit GatewayModel(const GatewaySettings& settings = DefaultSimSettings());

  // Adds a fault to the plan of `letter`; a fault of the same kind is replaced. It applies to
  // every later frame of that letter.
  void AddFault(char letter, const Fault& fault);

  // One reply for each frame that the bytes complete, in order.
  std::vector<SimReply> Feed(std::string_view bytes);

  const GatewaySettings& Settings() const { return settings_; }

 private:
  SimReply Answer(std::string_view frame);
  const Fault* FindFault(char letter, FaultKind kind) const;

  GatewaySettings settings_;
  std::string frame_;
  std::vector<PlannedFault> faults_;
};

}  // namespace velkorin
