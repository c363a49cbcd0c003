// The serial port on POSIX systems: termios in raw mode, poll() for every wait.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "serial/serial_link.h"
#include "serial/tty_device_posix.h"

namespace velkorin {
namespace {

constexpr int kByteWaitMs = 2000;  // one read of one byte waits this long at most

std::int64_t MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMicroseconds(std::int64_t us) {
  timespec ts{static_cast<time_t>(us / 1000000), static_cast<long>((us % 1000000) * 1000)};
  // Sleep the whole time even when a signal cuts in.
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

class MonotonicClock final : public Clock {
 public:
  std::uint32_t NowMs() override { return static_cast<std::uint32_t>(MonotonicMs()); }
  void SleepMs(std::uint32_t ms) override { SleepMicroseconds(std::int64_t{ms} * 1000); }
};

speed_t SpeedConstant(std::uint32_t speed) {
  switch (speed) {
    case 1200:
      return B1200;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
#ifdef B460800
    case 460800:
      return B460800;
#endif
#ifdef B921600
    case 921600:
      return B921600;
#endif
    default:
      return B0;
  }
}

// "ttyUSB0" names /dev/ttyUSB0; an absolute path is taken as it stands.
std::string DevicePath(const std::string& name) {
  if (!name.empty() && name.front() == '/')
    return name;
  return "/dev/" + name;
}

// Closes the descriptor it holds unless it is released: a failed open leaks nothing.
class FdOwner {
 public:
  explicit FdOwner(int fd) : fd_(fd) {}
  ~FdOwner() {
    if (fd_ >= 0)
      close(fd_);
  }
  FdOwner(const FdOwner&) = delete;
  FdOwner& operator=(const FdOwner&) = delete;
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

class PosixSerialPort final : public SerialPort {
 public:
  ~PosixSerialPort() override { Close(); }

  bool Open(const std::string& name, std::uint32_t speed) override {
    Close();
    error_ = {};
    const std::string path = DevicePath(name);
    const speed_t speedConstant = SpeedConstant(speed);
    if (speedConstant == B0)
      return Fail(EINVAL, "line speed " + std::to_string(speed));

    // A stored port name must never make us write into a file: only character devices are
    // opened at all, and only terminals are kept.
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
      return Fail(errno, path);
    if (!S_ISCHR(st.st_mode) || !IsTerminalDevice(major(st.st_rdev), minor(st.st_rdev)))
      return Fail(ENOTTY, path + " is not a serial port");

    FdOwner fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0)
      return Fail(errno, path);
    if (fstat(fd.Get(), &st) != 0)
      return Fail(errno, path);
    termios tio{};
    if (!S_ISCHR(st.st_mode) || tcgetattr(fd.Get(), &tio) != 0) {
      return Fail(ENOTTY, path + " is not a serial port");
    }
    // TIOCEXCL keeps other programs out, but not root; the lock holds against root as well.
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
      const int e = errno == EWOULDBLOCK ? EBUSY : errno;
      return Fail(e, path + " is in use by another program");
    }
    if (ioctl(fd.Get(), TIOCEXCL) != 0)
      return Fail(errno, path);

    cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speedConstant) != 0 || cfsetospeed(&tio, speedConstant) != 0 ||
        tcsetattr(fd.Get(), TCSANOW, &tio) != 0) {
      const int e = errno;
      ioctl(fd.Get(), TIOCNXCL);
      return Fail(e, path);
    }
    tcflush(fd.Get(), TCIOFLUSH);
    bitRate_ = speed;
    fd_ = fd.Release();
    return true;
  }

  void Close() override {
    if (fd_ < 0)
      return;
    tcflush(fd_, TCIOFLUSH);
    // The exclusive flag belongs to the terminal, not to our descriptor: clear it, or the next
    // program is shut out for as long as anyone else keeps the terminal open.
    ioctl(fd_, TIOCNXCL);
    close(fd_);  // also drops the flock
    fd_ = -1;
  }

  bool IsOpen() const override { return fd_ >= 0; }

  void PurgeOutput() override {
    if (fd_ >= 0)
      tcflush(fd_, TCOFLUSH);
  }

  bool WriteAll(const std::uint8_t* data, std::size_t length) override {
    if (fd_ < 0)
      return Fail(EBADF, "write");
    // As long as a slow line may take: 1 s per byte and 1 s more, the same as on Windows.
    const std::int64_t deadline = MonotonicMs() + 1000 * static_cast<std::int64_t>(length) + 1000;
    std::size_t done = 0;
    while (done < length) {
      const ssize_t n = write(fd_, data + done, length - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR)
        continue;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
        return Fail(errno, "write");
      const int ready = WaitFor(POLLOUT, deadline);
      if (ready < 0)
        return false;
      if (ready == 0)
        return Fail(ETIMEDOUT, "write");
    }
    return true;
  }

  bool Drain(std::uint32_t limitMs) override {
    if (fd_ < 0)
      return Fail(EBADF, "drain");
    const std::int64_t start = MonotonicMs();
    for (;;) {
      int queued = 0;
      if (ioctl(fd_, TIOCOUTQ, &queued) != 0)
        return Fail(errno, "drain");
      if (queued <= 0)
        return true;
      const std::int64_t elapsed = MonotonicMs() - start;
      if (elapsed >= limitMs) {
        error_ = {0, "the output did not leave the port in time", false};
        return false;
      }
      // Sleep about as long as the line needs for what is still queued, so the wait neither
      // spins a core nor oversleeps the end by much.
      std::int64_t us = static_cast<std::int64_t>(queued) * 10 * 1000000 / bitRate_;
      if (us < 100)
        us = 100;
      const std::int64_t left = (static_cast<std::int64_t>(limitMs) - elapsed) * 1000;
      SleepMicroseconds(us < left ? us : left);
    }
  }

  ByteRead ReadByte(std::uint8_t& byte) override {
    if (fd_ < 0) {
      Fail(EBADF, "read");
      return ByteRead::Failed;
    }
    const std::int64_t deadline = MonotonicMs() + kByteWaitMs;
    for (;;) {
      // With VMIN = VTIME = 0 a read without data gives 0 at once.
      const ssize_t n = read(fd_, &byte, 1);
      if (n == 1)
        return ByteRead::Byte;
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Fail(errno, "read");  // EIO: the other end hung up
        return ByteRead::Failed;
      }
      const int ready = WaitFor(POLLIN, deadline);
      if (ready < 0)
        return ByteRead::Failed;
      if (ready == 0)
        return ByteRead::Empty;
    }
  }

  std::size_t QueuedInput() override {
    int queued = 0;
    if (fd_ < 0 || ioctl(fd_, FIONREAD, &queued) != 0 || queued < 0)
      return 0;
    return static_cast<std::size_t>(queued);
  }

  LinkError LastError() const override { return error_; }

 private:
  // Waits for `events` until `deadline`: 1 ready, 0 time up, -1 failed (hang-up included).
  // A signal neither shortens nor lengthens the wait: poll is resumed with what is left.
  int WaitFor(short events, std::int64_t deadline) {
    for (;;) {
      const std::int64_t left = deadline - MonotonicMs();
      if (left <= 0)
        return 0;
      pollfd p{fd_, events, 0};
      const int r = poll(&p, 1, static_cast<int>(left));
      if (r < 0) {
        if (errno == EINTR)
          continue;
        Fail(errno, "poll");
        return -1;
      }
      if (r == 0)
        continue;  // the deadline is checked at the top
      if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) {
        Fail(EIO, "the port hung up");
        return -1;
      }
      if (p.revents & events)
        return 1;
    }
  }

  bool Fail(int code, const std::string& context) {
    error_ = {code, context + ": " + std::strerror(code), code == EACCES};
    return false;
  }

  int fd_ = -1;
  std::uint32_t bitRate_ = 115200;
  LinkError error_;
};

}  // namespace

Clock& SystemClock() {
  static MonotonicClock clock;
  return clock;
}

std::unique_ptr<SerialPort> MakePlatformSerialPort() {
  return std::make_unique<PosixSerialPort>();
}

bool IsTerminalDevice(unsigned major, unsigned minor, const std::string& sysCharRoot) {
  // Unix 98 pseudo-terminal slaves (/dev/pts/N) have no sysfs entry of their own.
  constexpr unsigned kFirstPtySlaveMajor = 136, kLastPtySlaveMajor = 143;
  if (major >= kFirstPtySlaveMajor && major <= kLastPtySlaveMajor)
    return true;
  namespace fs = std::filesystem;
  std::error_code ec;
  if (!fs::is_directory(sysCharRoot, ec))
    return true;
  const fs::path subsystem =
      fs::path(sysCharRoot) / (std::to_string(major) + ":" + std::to_string(minor)) / "subsystem";
  const fs::path target = fs::read_symlink(subsystem, ec);
  return !ec && target.filename() == "tty";
}

}  // namespace velkorin
