#include "sim/gateway_model.h"

#include <algorithm>

#include "protocol/frames.h"
#include "settings/settings.h"

namespace velkorin {
namespace {

constexpr std::string_view kLetters = "OPQYZS";
constexpr char kSurplusByte = '#';
constexpr char kGarbageByte = static_cast<char>(0xFF);

std::size_t CommandLength(char letter) {
  switch (letter) {
    case 'O':
    case 'P':
    case 'Q':
    case 'S':
      return kQueryLength;
    case 'Y':
      return kNetworkBlockLength;
    case 'Z':
      return kSerialBlockLength;
    default:
      return 0;
  }
}

// The letter of a neighbouring command, so that the reply looks right but answers another one.
char WrongLetter(char letter) {
  return letter == 'Q' || letter == 'Z' ? static_cast<char>(letter - 1)
                                        : static_cast<char>(letter + 1);
}

bool ParseNumber(std::string_view text, std::uint32_t max, std::uint32_t& value) {
  if (text.empty() || text.size() > 10)
    return false;
  if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  std::uint64_t v = 0;
  for (char c : text)
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  if (v > max)
    return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::vector<std::string_view> SplitColons(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const std::size_t colon = text.find(':');
    parts.push_back(text.substr(0, colon));
    if (colon == std::string_view::npos)
      return parts;
    text.remove_prefix(colon + 1);
  }
}

struct KindName {
  std::string_view name;
  FaultKind kind;
};
constexpr KindName kKinds[] = {
    {"silent", FaultKind::Silent},
    {"badsum", FaultKind::BadSum},
    {"wrongletter", FaultKind::WrongLetter},
    {"truncate", FaultKind::Truncate},
    {"surplus", FaultKind::Surplus},
    {"lower", FaultKind::Lower},
    {"garbage", FaultKind::Garbage},
    {"delay", FaultKind::Delay},
    {"split", FaultKind::Split},
    {"hangup", FaultKind::Hangup},
    {"parity", FaultKind::Parity},
};

constexpr std::uint32_t kMaxCount = 4096;
constexpr std::uint32_t kMaxMs = 600000;

}  // namespace

std::string SimReply::Bytes() const {
  std::string all;
  for (const ReplyChunk& c : chunks)
    all += c.bytes;
  return all;
}

GatewaySettings DefaultSimSettings() {
  GatewaySettings s = DefaultSettings();
  s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  return s;
}

std::optional<PlannedFault> ParseFault(std::string_view text, std::string& error) {
  const std::vector<std::string_view> parts = SplitColons(text);
  if (parts.size() < 2) {
    error = "expected LETTER:KIND[:ARG]";
    return std::nullopt;
  }
  if (parts[0].size() != 1 || kLetters.find(parts[0][0]) == std::string_view::npos) {
    error = "the letter must be one of O, P, Q, Y, Z, S";
    return std::nullopt;
  }
  PlannedFault planned;
  planned.letter = parts[0][0];
  const auto known = std::find_if(std::begin(kKinds), std::end(kKinds),
                                  [&](const KindName& k) { return k.name == parts[1]; });
  if (known == std::end(kKinds)) {
    error = "unknown kind '" + std::string(parts[1]) +
            "' (silent, badsum, wrongletter, truncate:N, surplus:N, lower, garbage, delay:MS, "
            "split:N:MS, hangup[:N], parity:HH)";
    return std::nullopt;
  }
  Fault& f = planned.fault;
  f.kind = known->kind;
  const std::size_t args = parts.size() - 2;
  auto wrongArgs = [&](const char* form) {
    error = std::string("expected ") + form;
    return std::nullopt;
  };
  switch (f.kind) {
    case FaultKind::Silent:
    case FaultKind::BadSum:
    case FaultKind::WrongLetter:
    case FaultKind::Lower:
    case FaultKind::Garbage:
      if (args != 0)
        return wrongArgs((std::string(parts[1]) + " without an argument").c_str());
      break;
    case FaultKind::Truncate:
    case FaultKind::Surplus:
      if (args != 1 || !ParseNumber(parts[2], kMaxCount, f.count)) {
        return wrongArgs((std::string(parts[1]) + ":N with N from 0 to 4096").c_str());
      }
      break;
    case FaultKind::Delay:
      if (args != 1 || !ParseNumber(parts[2], kMaxMs, f.ms)) {
        return wrongArgs("delay:MS with MS from 0 to 600000");
      }
      break;
    case FaultKind::Split:
      if (args != 2 || !ParseNumber(parts[2], kMaxCount, f.count) ||
          !ParseNumber(parts[3], kMaxMs, f.ms)) {
        return wrongArgs("split:N:MS with N from 0 to 4096 and MS from 0 to 600000");
      }
      break;
    case FaultKind::Hangup:
      if (args > 1 || (args == 1 && !ParseNumber(parts[2], kMaxCount, f.count))) {
        return wrongArgs("hangup or hangup:N with N from 0 to 4096");
      }
      break;
    case FaultKind::Parity:
      if (planned.letter != 'Q' && planned.letter != 'Z') {
        error = "parity applies to the serial block only (Q or Z)";
        return std::nullopt;
      }
      if (args != 1 || parts[2].size() != 2 || !IsHexDigit(parts[2][0]) ||
          !IsHexDigit(parts[2][1])) {
        return wrongArgs("parity:HH with two hex digits");
      }
      f.count = ParseHexField(parts[2]);
      break;
  }
  return planned;
}

GatewayModel::GatewayModel(const GatewaySettings& settings) : settings_(settings) {}

void GatewayModel::AddFault(char letter, const Fault& fault) {
  const auto same = std::find_if(faults_.begin(), faults_.end(), [&](const PlannedFault& f) {
    return f.letter == letter && f.fault.kind == fault.kind;
  });
  if (same != faults_.end()) {
    same->fault = fault;
  } else {
    faults_.push_back({letter, fault});
  }
}

const Fault* GatewayModel::FindFault(char letter, FaultKind kind) const {
  for (const PlannedFault& f : faults_) {
    if (f.letter == letter && f.fault.kind == kind)
      return &f.fault;
  }
  return nullptr;
}

std::vector<SimReply> GatewayModel::Feed(std::string_view bytes) {
  std::vector<SimReply> replies;
  for (char c : bytes) {
    if (c == kFrameStart) {
      frame_.assign(1, c);  // a new frame starts, whatever came before
      continue;
    }
    if (frame_.empty())
      continue;  // noise between frames
    frame_.push_back(c);
    if (c == kFrameEnd) {
      replies.push_back(Answer(frame_));
      frame_.clear();
    } else if (frame_.size() >= kLongestFrame) {
      frame_.clear();  // too long for any command: not a frame
    }
  }
  return replies;
}

SimReply GatewayModel::Answer(std::string_view frame) {
  SimReply reply;
  reply.command = frame.size() > 1 ? frame[1] : 0;
  const char letter = reply.command;
  const std::size_t length = CommandLength(letter);
  if (length == 0 || frame.size() != length)
    return reply;
  if (CheckReply(frame, length, letter) != ReplyStatus::Accepted)
    return reply;
  // The acknowledgement shape test leaves the checksum of ":S" unexamined; a command is held to it.
  if (letter == 'S' && frame != BuildSaveCommand())
    return reply;
  if (FindFault(letter, FaultKind::Silent) != nullptr)
    return reply;

  std::string answer;
  GatewaySettings shown = settings_;
  switch (letter) {
    case 'O':
      answer = BuildMacBlock(shown);
      break;
    case 'P':
      answer = BuildNetworkBlock('P', shown);
      break;
    case 'Y':
      DecodeNetworkBlock(frame, settings_);
      answer = BuildNetworkBlock('Y', settings_);
      break;
    case 'Q':
    case 'Z':
      if (letter == 'Z') {
        DecodeSerialBlock(frame, settings_);
        // The device keeps the code it was sent; only the settings program narrows it.
        settings_.parity = static_cast<std::uint8_t>(ParseHexField(frame.substr(14, 2)));
      }
      shown = settings_;
      if (const Fault* f = FindFault(letter, FaultKind::Parity)) {
        shown.parity = static_cast<std::uint8_t>(f->count);
      }
      answer = BuildSerialBlock(letter, shown);
      break;
    case 'S':
      reply.saved = true;
      answer = BuildSaveCommand();
      break;
  }

  // Rework the frame's text, then give it the checksum it is to carry.
  std::string text = answer.substr(0, answer.size() - 3);
  if (FindFault(letter, FaultKind::WrongLetter) != nullptr)
    text[1] = WrongLetter(letter);
  const bool lower = FindFault(letter, FaultKind::Lower) != nullptr;
  if (lower) {
    std::transform(text.begin() + 2, text.end(), text.begin() + 2, [](char c) {
      return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    });
  }
  std::uint8_t sum = FrameChecksum(text);
  if (FindFault(letter, FaultKind::BadSum) != nullptr)
    sum = static_cast<std::uint8_t>(sum + 1);
  constexpr char kUpper[] = "0123456789ABCDEF";
  constexpr char kLower[] = "0123456789abcdef";
  const char* digits = lower ? kLower : kUpper;
  std::string bytes = text;
  bytes.push_back(digits[sum >> 4]);
  bytes.push_back(digits[sum & 0xF]);
  bytes.push_back(kFrameEnd);

  if (const Fault* f = FindFault(letter, FaultKind::Truncate)) {
    bytes.resize(std::min<std::size_t>(bytes.size(), f->count));
  }
  if (FindFault(letter, FaultKind::Garbage) != nullptr)
    bytes.insert(bytes.begin(), kGarbageByte);
  if (const Fault* f = FindFault(letter, FaultKind::Surplus))
    bytes.append(f->count, kSurplusByte);
  if (const Fault* f = FindFault(letter, FaultKind::Hangup)) {
    bytes.resize(std::min<std::size_t>(bytes.size(), f->count));
    reply.hangUp = true;
  }

  std::uint32_t pause = 0;
  if (const Fault* f = FindFault(letter, FaultKind::Delay))
    pause = f->ms;
  const Fault* split = FindFault(letter, FaultKind::Split);
  if (split != nullptr && split->count < bytes.size()) {
    reply.chunks.push_back({pause, bytes.substr(0, split->count)});
    reply.chunks.push_back({split->ms, bytes.substr(split->count)});
  } else if (!bytes.empty() || (reply.hangUp && pause > 0)) {
    reply.chunks.push_back({pause, bytes});
  }
  return reply;
}

}  // namespace velkorin
