#include "serial/serial_link.h"

namespace velkorin {
namespace {

// Once a byte has come, the rest of the reply must follow within this (with a one-byte read
// waiting up to 2000 ms, a reply that stops short still fails about 4 s after its last byte).
constexpr std::uint32_t kAfterByteLimitMs = 100;

LinkError NotSystemError(const char* text) {
  return LinkError{0, text, false};
}

}  // namespace

SerialLink::SerialLink() : SerialLink(MakePlatformSerialPort(), SystemClock()) {}

SerialLink::SerialLink(std::unique_ptr<SerialPort> port, Clock& clock)
    : port_(std::move(port)), clock_(clock) {}

SerialLink::~SerialLink() {
  Close();
}

bool SerialLink::Open(const std::string& portName, std::uint32_t speed) {
  Close();
  lastError_ = {};
  if (port_->Open(portName, speed))
    return true;
  lastError_ = port_->LastError();
  return false;
}

void SerialLink::Close() {
  if (port_->IsOpen())
    port_->Close();
}

bool SerialLink::IsOpen() const {
  return port_->IsOpen();
}

LinkError SerialLink::LastError() const {
  return lastError_;
}

bool SerialLink::Write(const std::uint8_t* data, std::int32_t length, std::uint32_t drainLimitMs) {
  lastError_ = {};
  if (!port_->IsOpen()) {
    lastError_ = NotSystemError("the port is not open");
    return false;
  }
  if (length < 0 || (length > 0 && data == nullptr)) {
    lastError_ = NotSystemError("nothing valid to send");
    return false;
  }
  // Output left over from an earlier command must not run into this one; input stays, so a
  // reply's surplus still reaches the next read.
  port_->PurgeOutput();
  if (!port_->WriteAll(data, static_cast<std::size_t>(length))) {
    lastError_ = port_->LastError();
    return false;
  }
  if (!port_->Drain(drainLimitMs)) {
    lastError_ = port_->LastError();
    if (lastError_.code == 0 && lastError_.text.empty()) {
      lastError_ = NotSystemError("the output did not leave the port in time");
    }
    return false;
  }
  return true;
}

bool SerialLink::Read(std::uint8_t* buffer, std::int32_t count, std::uint32_t firstByteLimitMs) {
  lastError_ = {};
  // Nothing asked for is nothing to wait for; storing a byte anyway would write past the buffer.
  if (count == 0)
    return true;
  if (count < 0 || buffer == nullptr) {
    lastError_ = NotSystemError("no room for the reply");
    return false;
  }
  const auto wanted = static_cast<std::size_t>(count);
  std::size_t received = 0;
  std::uint32_t limit = firstByteLimitMs;
  // Empty reads in a row since the last byte (or since the call began). Idle time runs from the
  // first of them and is compared from the second on.
  unsigned emptyReads = 0;
  std::uint32_t idleStart = 0;

  ByteRead result = port_->ReadByte(buffer[0]);
  for (;;) {
    if (result == ByteRead::Failed) {
      lastError_ = port_->LastError();
      return false;
    }
    std::uint32_t idleMs = 0;
    if (result == ByteRead::Byte) {
      ++received;
      emptyReads = 0;
      limit = kAfterByteLimitMs;
    } else {
      if (emptyReads++ == 0) {
        idleStart = clock_.NowMs();
      } else {
        idleMs = clock_.NowMs() - idleStart;  // unsigned: right across the clock's wrap
      }
      clock_.SleepMs(1);
    }
    const bool complete = received >= wanted;
    // Bytes waiting always win over the time limit.
    if (port_->QueuedInput() == 0 && emptyReads >= 2 && idleMs >= limit) {
      if (!complete)
        lastError_ = NotSystemError("the reply did not come in time");
      return complete;
    }
    if (complete)
      return true;
    result = port_->ReadByte(buffer[received]);
  }
}

}  // namespace velkorin
