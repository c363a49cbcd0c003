#pragma once

#include <cstdint>
#include <string>

namespace velkorin {

// What the operating system said about the last failure of a link: its error code (errno or
// GetLastError) and its text. Code 0 means the failure was not the system's (for example a reply
// that did not come in time).
struct LinkError {
  int code = 0;
  std::string text;
  bool permissionDenied = false;  // EACCES / ERROR_ACCESS_DENIED: worth a hint to the user
};

// The serial line as the exchanges see it. SerialLink implements it; tests script it.
class Link {
 public:
  virtual ~Link() = default;
  // Closes any port held first. True when the port is open and configured.
  virtual bool Open(const std::string& portName, std::uint32_t speed) = 0;
  // True when, at the end, no byte is left in the output queue.
  virtual bool Write(const std::uint8_t* data, std::int32_t length, std::uint32_t drainLimitMs) = 0;
  // True when exactly `count` bytes have been stored in `buffer`.
  virtual bool Read(std::uint8_t* buffer, std::int32_t count, std::uint32_t firstByteLimitMs) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual LinkError LastError() const { return {}; }
};

}  // namespace velkorin
