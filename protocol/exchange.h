#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "protocol/frames.h"
#include "protocol/gateway_settings.h"
#include "protocol/link.h"
#include "protocol/messages.h"

namespace velkorin {

// Where an exchange reports: each decoded block as soon as it is stored, and one message at the
// end. The dialog shows them in its controls and message boxes, the command line on its streams.
class ExchangeView {
 public:
  virtual ~ExchangeView() = default;
  virtual void ShowMac(const GatewaySettings& settings) = 0;
  virtual void ShowNetwork(const GatewaySettings& settings) = 0;
  virtual void ShowSerial(const GatewaySettings& settings) = 0;
  // Blocks until the person has seen it, where there is a person: the link is closed after a
  // failure message returns and before a success message is shown.
  virtual void ShowMessage(std::string_view text, MessageIcon icon) = 0;
};

inline constexpr std::uint32_t kLineSpeed = 115200;

// One command and its reply. `build` makes the frame from the record; `decode` and `show` are null
// for the acknowledgement, whose reply is only tested for its shape.
struct ExchangeStep {
  char letter;
  std::uint32_t drainLimitMs;
  std::size_t replyLength;
  std::uint32_t firstByteLimitMs;
  std::string (*build)(const GatewaySettings&);
  bool (*decode)(std::string_view, GatewaySettings&);
  void (ExchangeView::*show)(const GatewaySettings&);
};

std::span<const ExchangeStep> ReadExchangeSteps();
std::span<const ExchangeStep> WriteExchangeSteps();

enum class ExchangeOutcome {
  Done,
  OpenFailed,     // the port could not be opened
  SendFailed,     // Write failed
  ReceiveFailed,  // Read did not get the whole reply, or the reply was malformed
  BadData,        // the reply's checksum did not match
};

// The message an exchange shows for a failure; empty for Done, whose message depends on the
// exchange.
std::string_view FailureMessage(ExchangeOutcome outcome);

struct ExchangeResult {
  ExchangeOutcome outcome = ExchangeOutcome::Done;
  char command = 0;     // letter of the failed step; 0 for Done and OpenFailed
  LinkError linkError;  // what the OS said, taken before the link was closed
  std::string reply;    // the bytes the failed step received (up to the reply length)
};

// Opens the link on `portName`, runs `steps` in order, stops at the first failure and closes the
// link on every way out. On failure the message comes first and the close after; on success the
// close first and then `doneMessage` (none when it is empty, for a caller that goes on to
// another exchange).
ExchangeResult RunExchangeSteps(Link& link, const std::string& portName, GatewaySettings& settings,
                                ExchangeView& view, std::span<const ExchangeStep> steps,
                                std::string_view doneMessage);

// The read exchange: ":O", ":P", ":Q". Values decoded before a failure stay in `settings`.
ExchangeResult RunReadExchange(Link& link, const std::string& portName, GatewaySettings& settings,
                               ExchangeView& view);

// The write exchange: ":O", then ":Y" and ":Z" built from `settings` as given (the caller has
// already tested and taken the inputs), then ":S". The echoed blocks overwrite `settings`.
ExchangeResult RunWriteExchange(Link& link, const std::string& portName, GatewaySettings& settings,
                                ExchangeView& view);

}  // namespace velkorin
