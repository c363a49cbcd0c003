#include "protocol/exchange.h"

#include <array>

namespace velkorin {
namespace {

std::string MacQuery(const GatewaySettings&) {
  return BuildMacQuery();
}
std::string NetworkQuery(const GatewaySettings&) {
  return BuildNetworkQuery();
}
std::string SerialQuery(const GatewaySettings&) {
  return BuildSerialQuery();
}
std::string SaveCommand(const GatewaySettings&) {
  return BuildSaveCommand();
}

constexpr std::array<ExchangeStep, 3> kReadSteps{{
    {'O', 200, kMacBlockLength, 1000, MacQuery, DecodeMacBlock, &ExchangeView::ShowMac},
    {'P', 200, kNetworkBlockLength, 1000, NetworkQuery, DecodeNetworkBlock,
     &ExchangeView::ShowNetwork},
    {'Q', 200, kSerialBlockLength, 1000, SerialQuery, DecodeSerialBlock, &ExchangeView::ShowSerial},
}};

constexpr std::array<ExchangeStep, 4> kWriteSteps{{
    {'O', 200, kMacBlockLength, 1000, MacQuery, DecodeMacBlock, &ExchangeView::ShowMac},
    {'Y', 500, kNetworkBlockLength, 1000, BuildNetworkCommand, DecodeNetworkBlock,
     &ExchangeView::ShowNetwork},
    {'Z', 500, kSerialBlockLength, 2000, BuildSerialCommand, DecodeSerialBlock,
     &ExchangeView::ShowSerial},
    {'S', 200, kAckLength, 200, SaveCommand, nullptr, nullptr},
}};

// On failure the message comes first, while the port is still held, and the close after it.
ExchangeResult Fail(Link& link, ExchangeView& view, ExchangeOutcome outcome, char command,
                    std::string reply) {
  ExchangeResult result{outcome, command, link.LastError(), std::move(reply)};
  view.ShowMessage(FailureMessage(outcome), MessageIcon::Error);
  link.Close();
  return result;
}

}  // namespace

ExchangeResult RunExchangeSteps(Link& link, const std::string& portName, GatewaySettings& settings,
                                ExchangeView& view, std::span<const ExchangeStep> steps,
                                std::string_view doneMessage) {
  if (!link.Open(portName, kLineSpeed)) {
    ExchangeResult result{ExchangeOutcome::OpenFailed, 0, link.LastError(), {}};
    view.ShowMessage(FailureMessage(result.outcome), MessageIcon::Information);
    return result;
  }
  std::array<std::uint8_t, kLongestFrame> buffer{};
  for (const ExchangeStep& step : steps) {
    buffer.fill(0);
    const std::string frame = step.build(settings);
    if (!link.Write(reinterpret_cast<const std::uint8_t*>(frame.data()),
                    static_cast<std::int32_t>(frame.size()), step.drainLimitMs)) {
      return Fail(link, view, ExchangeOutcome::SendFailed, step.letter, {});
    }
    const bool whole = link.Read(buffer.data(), static_cast<std::int32_t>(step.replyLength),
                                 step.firstByteLimitMs);
    const std::string_view reply(reinterpret_cast<const char*>(buffer.data()), step.replyLength);
    const ReplyStatus status =
        whole ? CheckReply(reply, step.replyLength, step.letter) : ReplyStatus::Malformed;
    if (status == ReplyStatus::Malformed) {
      return Fail(link, view, ExchangeOutcome::ReceiveFailed, step.letter, std::string(reply));
    }
    if (status == ReplyStatus::BadChecksum) {
      return Fail(link, view, ExchangeOutcome::BadData, step.letter, std::string(reply));
    }
    if (step.decode != nullptr) {
      step.decode(reply, settings);
      (view.*step.show)(settings);
    }
  }
  link.Close();
  if (!doneMessage.empty())
    view.ShowMessage(doneMessage, MessageIcon::Information);
  return {};
}

std::string_view FailureMessage(ExchangeOutcome outcome) {
  switch (outcome) {
    case ExchangeOutcome::Done:
      return {};
    case ExchangeOutcome::OpenFailed:
      return kMsgOpenFailed;
    case ExchangeOutcome::SendFailed:
      return kMsgSendFailed;
    case ExchangeOutcome::ReceiveFailed:
      return kMsgReceiveFailed;
    case ExchangeOutcome::BadData:
      return kMsgBadData;
  }
  return kMsgReceiveFailed;
}

std::span<const ExchangeStep> ReadExchangeSteps() {
  return kReadSteps;
}
std::span<const ExchangeStep> WriteExchangeSteps() {
  return kWriteSteps;
}

ExchangeResult RunReadExchange(Link& link, const std::string& portName, GatewaySettings& settings,
                               ExchangeView& view) {
  return RunExchangeSteps(link, portName, settings, view, kReadSteps, kMsgReadDone);
}

ExchangeResult RunWriteExchange(Link& link, const std::string& portName, GatewaySettings& settings,
                                ExchangeView& view) {
  return RunExchangeSteps(link, portName, settings, view, kWriteSteps, kMsgWriteDone);
}

}  // namespace velkorin
