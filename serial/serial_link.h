#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "protocol/link.h"

namespace velkorin {

// Outcome of one platform read of at most one byte.
enum class ByteRead { Byte, Empty, Failed };

// The operating system's side of one serial port, as small as the read rules need. One file per
// platform implements it (termios, Win32 comm API).
class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Opens `name` at `speed`, 8 data bits, no parity, one stop bit, exclusive, raw, both
  // directions purged. False leaves nothing held.
  virtual bool Open(const std::string& name, std::uint32_t speed) = 0;
  virtual void Close() = 0;  // purges both directions, then releases the port
  virtual bool IsOpen() const = 0;
  virtual void PurgeOutput() = 0;
  // Writes the whole buffer; false when the system refused it.
  virtual bool WriteAll(const std::uint8_t* data, std::size_t length) = 0;
  // Waits until the output queue is empty or `limitMs` have passed; true when it emptied.
  virtual bool Drain(std::uint32_t limitMs) = 0;
  // Reads at most one byte, waiting up to 2000 ms for it.
  virtual ByteRead ReadByte(std::uint8_t& byte) = 0;
  // Bytes received and not yet read (0 when unknown).
  virtual std::size_t QueuedInput() = 0;
  virtual LinkError LastError() const = 0;
};

// A millisecond clock and a sleep, injectable so the read rules can be tested without waiting.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint32_t NowMs() = 0;
  virtual void SleepMs(std::uint32_t ms) = 0;
};
Clock& SystemClock();
std::unique_ptr<SerialPort> MakePlatformSerialPort();

// One serial port for the exchanges, with the byte-exact read rules written once over SerialPort.
class SerialLink final : public Link {
 public:
  SerialLink();  // the platform's port and the system clock
  SerialLink(std::unique_ptr<SerialPort> port, Clock& clock);
  ~SerialLink() override;
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  bool Open(const std::string& portName, std::uint32_t speed) override;
  bool Write(const std::uint8_t* data, std::int32_t length, std::uint32_t drainLimitMs) override;
  bool Read(std::uint8_t* buffer, std::int32_t count, std::uint32_t firstByteLimitMs) override;
  void Close() override;
  bool IsOpen() const override;
  LinkError LastError() const override;

 private:
  std::unique_ptr<SerialPort> port_;
  Clock& clock_;
  LinkError lastError_;
};

}  // namespace velkorin
