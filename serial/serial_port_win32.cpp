// The serial port on Windows: the communications API, synchronous, with the port time-outs
// doing the waiting.
#include <windows.h>
// after windows.h, which it needs
#include <mmsystem.h>

#include <cstdio>

#include "serial/serial_link.h"

namespace velkorin {
namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kQueueSize = 1024;
// 1000 ms for each member: a one-byte read gives up after 1000 x 1 + 1000 = 2000 ms, a write of
// n bytes after 1000 x n + 1000 ms.
constexpr DWORD kTimeoutMs = 1000;

class MultimediaClock final : public Clock {
 public:
  std::uint32_t NowMs() override { return timeGetTime(); }
  void SleepMs(std::uint32_t ms) override { Sleep(ms); }
};

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n != 0 && text != nullptr ? std::string(text, n) : std::string();
  if (text != nullptr)
    LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.')) {
    message.pop_back();
  }
  if (message.empty())
    message = "system error " + std::to_string(code);
  return message;
}

class Win32SerialPort final : public SerialPort {
 public:
  ~Win32SerialPort() override { Close(); }

  bool Open(const std::string& name, std::uint32_t speed) override {
    Close();
    error_ = {};
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "\\\\.\\%s", name.c_str());
    // Share mode 0: the open fails while another program holds the port.
    const HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return Fail(GetLastError(), path);
    handle_ = h;

    COMMTIMEOUTS timeouts{kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs};
    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    bool ok = SetCommMask(h, EV_RXCHAR) && SetupComm(h, kQueueSize, kQueueSize) &&
              PurgeComm(h, kPurgeAll) && SetCommTimeouts(h, &timeouts) && GetCommState(h, &dcb);
    if (ok) {
      // Flow control, DTR/RTS and the special characters stay as the driver has them.
      dcb.BaudRate = speed;
      dcb.ByteSize = 8;
      dcb.Parity = NOPARITY;
      dcb.StopBits = ONESTOPBIT;
      ok = SetCommState(h, &dcb);
    }
    if (!ok) {
      const DWORD code = GetLastError();
      Close();
      return Fail(code, path);
    }
    return true;
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE)
      return;
    PurgeComm(handle_, kPurgeAll);
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }

  void PurgeOutput() override {
    if (IsOpen())
      PurgeComm(handle_, PURGE_TXABORT | PURGE_TXCLEAR);
  }

  bool WriteAll(const std::uint8_t* data, std::size_t length) override {
    if (!IsOpen())
      return Fail(ERROR_INVALID_HANDLE, "write");
    DWORD written = 0;
    const BOOL ok = WriteFile(handle_, data, static_cast<DWORD>(length), &written, nullptr);
    const DWORD code = GetLastError();
    ClearErrors();
    if (!ok)
      return Fail(code, "write");
    // The write time-out can end the call with part of the frame unsent; that is no success.
    if (written != length)
      return Fail(ERROR_TIMEOUT, "write");
    return true;
  }

  bool Drain(std::uint32_t limitMs) override {
    if (!IsOpen())
      return Fail(ERROR_INVALID_HANDLE, "drain");
    const DWORD start = timeGetTime();
    DWORD queued = ClearErrors().cbOutQue;
    while (queued != 0 && timeGetTime() - start < limitMs)
      queued = ClearErrors().cbOutQue;
    if (queued != 0) {
      error_ = {0, "the output did not leave the port in time", false};
      return false;
    }
    return true;
  }

  ByteRead ReadByte(std::uint8_t& byte) override {
    if (!IsOpen()) {
      Fail(ERROR_INVALID_HANDLE, "read");
      return ByteRead::Failed;
    }
    DWORD n = 0;
    if (!ReadFile(handle_, &byte, 1, &n, nullptr)) {
      Fail(GetLastError(), "read");
      ClearErrors();
      return ByteRead::Failed;
    }
    return n == 1 ? ByteRead::Byte : ByteRead::Empty;
  }

  std::size_t QueuedInput() override {
    if (!IsOpen())
      return 0;
    return ClearErrors().cbInQue;
  }

  LinkError LastError() const override { return error_; }

 private:
  // Clears any line error (framing, parity, overrun, break) and gives the queue counts.
  COMSTAT ClearErrors() {
    DWORD errors = 0;
    COMSTAT status;
    ZeroMemory(&status, sizeof status);
    ClearCommError(handle_, &errors, &status);
    return status;
  }

  bool Fail(DWORD code, const std::string& context) {
    error_ = {static_cast<int>(code), context + ": " + SystemMessage(code),
              code == ERROR_ACCESS_DENIED};
    return false;
  }

  HANDLE handle_ = INVALID_HANDLE_VALUE;
  LinkError error_;
};

}  // namespace

Clock& SystemClock() {
  static MultimediaClock clock;
  return clock;
}

std::unique_ptr<SerialPort> MakePlatformSerialPort() {
  return std::make_unique<Win32SerialPort>();
}

}  // namespace velkorin
