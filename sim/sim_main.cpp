// velkorin-sim: a simulated gateway on a pseudo-terminal, for people without the hardware, for
// the demo and for the tests. It prints the terminal's path as its first line on stdout, then
// answers the configuration frames until SIGINT or SIGTERM.
//
// After a `hangup` fault the terminal is gone for good: the program closes it, keeps the --link
// (now dangling, so a client's open fails as it would on an unplugged adapter) and waits for its
// signal, then exits 0 as usual.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sim/gateway_model.h"
#include "sim/sim_state.h"

namespace velkorin {
namespace {

constexpr const char* kProgram = "velkorin-sim";
constexpr const char* kUsage =
    "usage: velkorin-sim [--link PATH] [--state FILE] [--line-rate BAUD] [--turnaround MS]\n"
    "                    [--fault LETTER:KIND[:ARG]]...\n"
    "  faults: silent badsum wrongletter truncate:N surplus:N lower garbage delay:MS\n"
    "          split:N:MS hangup[:N] parity:HH   (LETTER one of O P Q Y Z S)\n"
    "  Prints the terminal's path first, serves until SIGINT or SIGTERM, exits 0. After a\n"
    "  hangup the terminal is closed for good (the --link dangles) until the signal.\n";

struct Options {
  std::string link;
  std::string state;
  std::uint32_t lineRate = 0;  // 0: bytes pass at once
  std::uint32_t turnaroundMs = 0;
  std::vector<PlannedFault> faults;
};

int BadArgument(const std::string& argument, const std::string& why) {
  std::fprintf(stderr, "%s: %s: %s\n%s", kProgram, argument.c_str(), why.c_str(), kUsage);
  return 2;
}

bool ParseUnsigned(const std::string& text, std::uint32_t min, std::uint32_t max,
                   std::uint32_t& value) {
  if (text.empty() || text.size() > 10 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
  if (v < min || v > max)
    return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

// 0 when the options are good, else the exit status (2 for bad arguments, 0 for --help).
int ParseOptions(int argc, char** argv, Options& options, bool& help) {
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (const std::size_t eq = arg.find('='); arg.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      hasValue = true;
    }
    if (arg == "--help" || arg == "-h") {
      help = true;
      return 0;
    }
    const bool takesValue = arg == "--link" || arg == "--state" || arg == "--line-rate" ||
                            arg == "--turnaround" || arg == "--fault";
    if (!takesValue)
      return BadArgument(arg, "unknown argument");
    if (!hasValue) {
      if (i + 1 >= argc)
        return BadArgument(arg, "needs a value");
      value = argv[++i];
    }
    if (arg == "--link" || arg == "--state") {
      if (value.empty())
        return BadArgument(arg, "needs a path");
      (arg == "--link" ? options.link : options.state) = value;
    } else if (arg == "--line-rate") {
      if (!ParseUnsigned(value, 50, 4000000, options.lineRate)) {
        return BadArgument(arg, "'" + value + "' is not a line speed from 50 to 4000000 bit/s");
      }
    } else if (arg == "--turnaround") {
      if (!ParseUnsigned(value, 0, 600000, options.turnaroundMs)) {
        return BadArgument(arg, "'" + value + "' is not a time from 0 to 600000 ms");
      }
    } else {
      std::string why;
      const auto fault = ParseFault(value, why);
      if (!fault)
        return BadArgument(arg, "'" + value + "': " + why);
      options.faults.push_back(*fault);
    }
  }
  return 0;
}

volatile sig_atomic_t stopRequested = 0;
int signalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  stopRequested = 1;
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
  errno = saved;
}

std::int64_t NowNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Sleeps until the monotonic time `ns`; false when a stop signal came first.
bool SleepUntil(std::int64_t ns) {
  const timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
  while (!stopRequested) {
    const int r = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
    if (r == 0)
      return true;
    if (r != EINTR)
      return true;
  }
  return false;
}

bool WriteState(const std::string& path, const GatewaySettings& settings) {
  // A crash mid-write must not leave half a file: write beside it, then rename over it.
  std::string temp = path + ".XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0)
    return false;
  const std::string text = SimStateToJson(settings);
  bool ok = fchmod(fd, 0644) == 0;
  std::size_t done = 0;
  while (ok && done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    ok = n > 0;
    if (ok)
      done += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && rename(temp.c_str(), path.c_str()) == 0;
  if (!ok)
    unlink(temp.c_str());
  return ok;
}

class Terminal {
 public:
  ~Terminal() { Close(); }

  bool Open(std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
      error = std::string("pseudo-terminal: ") + std::strerror(errno);
      return false;
    }
    const char* name = ptsname(master_);
    if (name == nullptr) {
      error = std::string("ptsname: ") + std::strerror(errno);
      return false;
    }
    path_ = name;
    // Holding the terminal side open ourselves keeps it alive between clients: without it the
    // master reports a hang-up each time a client closes.
    slave_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (slave_ < 0 || tcgetattr(slave_, &tio) != 0) {
      error = path_ + ": " + std::strerror(errno);
      return false;
    }
    // Raw from the start, so nothing is echoed or translated before a client sets its mode.
    cfmakeraw(&tio);
    if (tcsetattr(slave_, TCSANOW, &tio) != 0) {
      error = path_ + ": " + std::strerror(errno);
      return false;
    }
    return true;
  }

  void Close() {
    if (slave_ >= 0)
      close(slave_);
    if (master_ >= 0)
      close(master_);
    slave_ = master_ = -1;
  }

  // Waits (at most `limitMs`) until the client has taken what was sent, so a hang-up cuts the
  // reply where the fault says instead of swallowing bytes still in the terminal's queue.
  void WaitUntilTaken(int limitMs) {
    for (int waited = 0; waited < limitMs && !stopRequested; ++waited) {
      // poll, unlike FIONREAD, first moves what the master wrote into the terminal's input
      // queue, so bytes still on their way count as not taken.
      pollfd p{slave_, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN))
        return;
      const timespec ms{0, 1000000};
      nanosleep(&ms, nullptr);
    }
  }

  bool IsOpen() const { return master_ >= 0; }
  int Master() const { return master_; }
  const std::string& Path() const { return path_; }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

bool WriteBytes(int fd, const char* data, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = write(fd, data + done, length - done);
    if (n < 0 && errno == EINTR) {
      if (stopRequested)
        return false;
      continue;
    }
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

class Host {
 public:
  Host(const Options& options, GatewayModel& model, Terminal& terminal)
      : options_(options), model_(model), terminal_(terminal) {
    if (options.lineRate != 0)
      byteNs_ = 10LL * 1000000000 / options.lineRate;
  }

  int Run() {
    while (!stopRequested) {
      pollfd fds[2] = {{signalPipe[0], POLLIN, 0}, {terminal_.Master(), POLLIN, 0}};
      const nfds_t count = terminal_.IsOpen() ? 2 : 1;
      if (poll(fds, count, -1) < 0) {
        if (errno == EINTR)
          continue;
        std::perror("velkorin-sim: poll");
        return 1;
      }
      if (fds[0].revents != 0)
        break;
      if (count == 2 && (fds[1].revents & POLLIN)) {
        char buffer[256];
        const ssize_t n = read(terminal_.Master(), buffer, sizeof buffer);
        if (n < 0 && errno != EINTR && errno != EAGAIN) {
          std::perror("velkorin-sim: read");
          return 1;
        }
        if (n > 0)
          Take(buffer, static_cast<std::size_t>(n));
      } else if (count == 2 && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
        // We hold the terminal side ourselves, so this means the terminal itself is gone:
        // carry on as after a hang-up instead of spinning on it.
        terminal_.Close();
        std::fprintf(stderr, "%s: the terminal went away; waiting for a signal\n", kProgram);
      }
    }
    return 0;
  }

 private:
  void Take(const char* data, std::size_t length) {
    const std::int64_t readAt = NowNs();
    for (std::size_t i = 0; i < length && terminal_.IsOpen() && !stopRequested; ++i) {
      // On a real line a byte is there only once its ten bits have passed.
      lineFreeNs_ = std::max(readAt, lineFreeNs_) + byteNs_;
      for (const SimReply& reply : model_.Feed(std::string_view(data + i, 1))) {
        // Stored before the acknowledgement goes out, as a device that acknowledges a save
        // would: whoever sees ":S" back may read the file at once. A save that failed is not
        // acknowledged, so the writer learns of it.
        if (reply.saved && !options_.state.empty() &&
            !WriteState(options_.state, model_.Settings())) {
          std::fprintf(stderr, "%s: --state %s: could not be written: %s\n", kProgram,
                       options_.state.c_str(), std::strerror(errno));
          continue;
        }
        Serve(reply, lineFreeNs_);
      }
    }
  }

  void Serve(const SimReply& reply, std::int64_t heardNs) {
    std::int64_t at = heardNs + std::int64_t{options_.turnaroundMs} * 1000000;
    for (const ReplyChunk& chunk : reply.chunks) {
      at += std::int64_t{chunk.pauseMs} * 1000000;
      if (byteNs_ == 0) {
        if (!SleepUntil(at) ||
            !WriteBytes(terminal_.Master(), chunk.bytes.data(), chunk.bytes.size())) {
          return;
        }
        continue;
      }
      for (char byte : chunk.bytes) {
        at += byteNs_;
        if (!SleepUntil(at) || !WriteBytes(terminal_.Master(), &byte, 1))
          return;
      }
    }
    lineFreeNs_ = std::max(lineFreeNs_, at);
    if (reply.hangUp) {
      terminal_.WaitUntilTaken(1000);
      terminal_.Close();
      std::fprintf(stderr, "%s: hung up the terminal (fault on '%c'); waiting for a signal\n",
                   kProgram, reply.command);
    }
  }

  const Options& options_;
  GatewayModel& model_;
  Terminal& terminal_;
  std::int64_t byteNs_ = 0;
  std::int64_t lineFreeNs_ = 0;
};

bool LoadState(const std::string& path, GatewaySettings& settings, std::string& error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 && errno == ENOENT) {
    return true;  // a new device: the file is made at the first save
  }
  // Only a regular file is opened: opening a FIFO would wait for a writer forever.
  if (!S_ISREG(st.st_mode)) {
    error = "is not a regular file";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot be read";
    return false;
  }
  std::stringstream text;
  text << in.rdbuf();
  return SimStateFromJson(text.str(), settings, error);
}

// The link is ours to replace when it is a symbolic link; anything else there is not.
bool MakeLink(const std::string& link, const std::string& target, std::string& error) {
  struct stat st {};
  if (lstat(link.c_str(), &st) == 0) {
    if (!S_ISLNK(st.st_mode)) {
      error = "exists and is not a symbolic link";
      return false;
    }
    unlink(link.c_str());
  }
  if (symlink(target.c_str(), link.c_str()) != 0) {
    error = std::strerror(errno);
    return false;
  }
  return true;
}

void RemoveLink(const std::string& link, const std::string& target) {
  char buffer[4096];
  const ssize_t n = readlink(link.c_str(), buffer, sizeof buffer);
  if (n > 0 && std::string(buffer, static_cast<std::size_t>(n)) == target)
    unlink(link.c_str());
}

int Main(int argc, char** argv) {
  Options options;
  bool help = false;
  if (const int status = ParseOptions(argc, argv, options, help); status != 0)
    return status;
  if (help) {
    std::fputs(kUsage, stdout);
    return 0;
  }

  GatewaySettings settings = DefaultSimSettings();
  std::string error;
  if (!options.state.empty() && !LoadState(options.state, settings, error)) {
    return BadArgument("--state " + options.state, error);
  }
  GatewayModel model(settings);
  for (const PlannedFault& f : options.faults)
    model.AddFault(f.letter, f.fault);

  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("velkorin-sim: pipe");
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  Terminal terminal;
  if (!terminal.Open(error)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, error.c_str());
    return 1;
  }
  if (!options.link.empty() && !MakeLink(options.link, terminal.Path(), error)) {
    return BadArgument("--link " + options.link, error);
  }
  std::printf("%s\n", terminal.Path().c_str());
  std::fflush(stdout);

  const int status = Host(options, model, terminal).Run();
  terminal.Close();
  if (!options.link.empty())
    RemoveLink(options.link, terminal.Path());
  return status;
}

}  // namespace
}  // namespace velkorin

int main(int argc, char** argv) {
  return velkorin::Main(argc, argv);
}
