// SerialLink on real pseudo-terminals: against velkorin-sim, and against a bare pty pair where
// the test plays the far end itself. These are the few tests that take real time.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "protocol/frames.h"
#include "serial/serial_link.h"
#include "serial/tty_device_posix.h"
#include "tests/support/scratch.h"
#include "tests/support/sim_process.h"

namespace velkorin {
namespace {

using testing::ChildProcess;
using testing::MonotonicMs;

constexpr std::uint32_t kSpeed = 115200;

class Sim {
 public:
  explicit Sim(std::vector<std::string> args) : process_(VELKORIN_SIM_PATH, args) {
    path_ = process_.FirstLine();
  }
  ~Sim() { EXPECT_EQ(process_.Stop(), 0); }
  const std::string& Path() const { return path_; }

 private:
  ChildProcess process_;
  std::string path_;
};

bool Send(SerialLink& link, const std::string& frame) {
  return link.Write(reinterpret_cast<const std::uint8_t*>(frame.data()),
                    static_cast<std::int32_t>(frame.size()), 200);
}

std::string Receive(SerialLink& link, std::size_t count, bool& whole,
                    std::uint32_t limitMs = 1000) {
  std::string buffer(count, '\0');
  whole = link.Read(reinterpret_cast<std::uint8_t*>(buffer.data()),
                    static_cast<std::int32_t>(count), limitMs);
  return buffer;
}

TEST(SerialPty, AWholeReplyEndsTheReadAtItsLastByte) {
  Sim sim({});
  ASSERT_FALSE(sim.Path().empty());
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.Path(), kSpeed)) << link.LastError().text;
  ASSERT_TRUE(Send(link, BuildMacQuery()));
  bool whole = false;
  const long long start = MonotonicMs();
  const std::string reply = Receive(link, kMacBlockLength, whole);
  EXPECT_LT(MonotonicMs() - start, 1000);
  EXPECT_TRUE(whole);
  EXPECT_EQ(reply, ":O001A2B3C4D5EFD\r");
}

TEST(SerialPty, SurplusIsCarriedIntoTheNextRead) {
  Sim sim({"--fault", "O:surplus:3"});
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.Path(), kSpeed)) << link.LastError().text;
  ASSERT_TRUE(Send(link, BuildMacQuery()));
  bool whole = false;
  EXPECT_EQ(Receive(link, kMacBlockLength, whole), ":O001A2B3C4D5EFD\r");
  EXPECT_TRUE(whole);
  // The surplus is still there after the next command goes out, ahead of that reply.
  ASSERT_TRUE(Send(link, BuildNetworkQuery()));
  EXPECT_EQ(Receive(link, 3, whole), "###");
  EXPECT_TRUE(whole);
  EXPECT_EQ(Receive(link, kNetworkBlockLength, whole).substr(0, 2), ":P");
  EXPECT_TRUE(whole);
}

TEST(SerialPty, BareNamesAreLookedUpUnderDev) {
  Sim sim({});
  ASSERT_EQ(sim.Path().rfind("/dev/", 0), 0u);
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.Path().substr(5), kSpeed)) << link.LastError().text;  // "pts/N"
  ASSERT_TRUE(Send(link, BuildSerialQuery()));
  bool whole = false;
  Receive(link, kSerialBlockLength, whole);
  EXPECT_TRUE(whole);
}

volatile sig_atomic_t alarms = 0;
void CountAlarm(int) {
  alarms = alarms + 1;
}

TEST(SerialPty, ADeviceThatNeverAnswersFailsAfterAboutFourSeconds) {
  Sim sim({"--fault", "O:silent"});
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.Path(), kSpeed)) << link.LastError().text;
  ASSERT_TRUE(Send(link, BuildMacQuery()));

  // A signal every 50 ms, without SA_RESTART, breaks into every wait: it must neither cut the
  // wait short nor make it longer.
  struct sigaction action {
  }, previous{};
  action.sa_handler = CountAlarm;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);
  const itimerval every50ms{{0, 50000}, {0, 50000}};
  alarms = 0;
  ASSERT_EQ(setitimer(ITIMER_REAL, &every50ms, nullptr), 0);

  bool whole = true;
  const long long start = MonotonicMs();
  Receive(link, kMacBlockLength, whole, 200);
  const long long took = MonotonicMs() - start;

  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GT(alarms, 40);
  EXPECT_FALSE(whole);
  EXPECT_GE(took, 3900);
  EXPECT_LT(took, 5000);
  EXPECT_EQ(link.LastError().code, 0);
}

TEST(SerialPty, AHangUpMidReplyFailsAtOnce) {
  Sim sim({"--fault", "Q:hangup:10"});
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.Path(), kSpeed)) << link.LastError().text;
  ASSERT_TRUE(Send(link, BuildSerialQuery()));
  bool whole = true;
  const long long start = MonotonicMs();
  const std::string reply = Receive(link, kSerialBlockLength, whole);
  EXPECT_LT(MonotonicMs() - start, 1500);
  EXPECT_FALSE(whole);
  EXPECT_EQ(reply.substr(0, 10), ":Q00009600");
  EXPECT_EQ(link.LastError().code, EIO);
}

TEST(SerialPty, ASecondOpenOfAHeldPortIsRefused) {
  Sim sim({});
  SerialLink first, second;
  ASSERT_TRUE(first.Open(sim.Path(), kSpeed)) << first.LastError().text;
  EXPECT_FALSE(second.Open(sim.Path(), kSpeed));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.LastError().code, EBUSY);
  // Still usable by its holder, and free again once it lets go.
  ASSERT_TRUE(Send(first, BuildMacQuery()));
  bool whole = false;
  Receive(first, kMacBlockLength, whole);
  EXPECT_TRUE(whole);
  first.Close();
  EXPECT_TRUE(second.Open(sim.Path(), kSpeed)) << second.LastError().text;
}

TEST(SerialPty, NonTerminalsAreRefusedWithNothingWritten) {
  char dir[] = "/tmp/velkorin-serial-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string file = std::string(dir) + "/ttyUSB0";
  { std::ofstream(file) << "keep me"; }
  const std::string fifo = std::string(dir) + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

  for (const std::string& path : {file, fifo, std::string(dir), std::string("/dev/null")}) {
    SCOPED_TRACE(path);
    SerialLink link;
    EXPECT_FALSE(link.Open(path, kSpeed));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(link.LastError().code, ENOTTY);
  }
  SerialLink link;
  EXPECT_FALSE(link.Open(std::string(dir) + "/missing", kSpeed));
  EXPECT_EQ(link.LastError().code, ENOENT);

  std::stringstream content;
  content << std::ifstream(file).rdbuf();
  EXPECT_EQ(content.str(), "keep me");
  unlink(fifo.c_str());
  unlink(file.c_str());
  rmdir(dir);
}

// Devices are judged before they are opened: opening some (a watchdog) does something by itself.
TEST(SerialPty, OnlyTerminalDevicesAreOpened) {
  testing::TempDir sys("velkorin-sysfs");
  const std::string root = sys / "dev-char";
  std::filesystem::create_directories(root + "/4:64");
  std::filesystem::create_directories(root + "/10:130");
  std::filesystem::create_symlink("../../../class/tty", root + "/4:64/subsystem");
  std::filesystem::create_symlink("../../../class/misc", root + "/10:130/subsystem");
  struct Case {
    unsigned major, minor;
    std::string root;
    bool terminal;
  };
  const Case cases[] = {
      {4, 64, root, true},     // ttyS0
      {10, 130, root, false},  // watchdog
      {188, 0, root, false},   // not in sysfs at all
      {136, 3, root, true},    // /dev/pts/3, which sysfs doesn't list
      {143, 1000, root, true},
      {10, 130, sys / "no-sysfs", true},  // nothing to ask: the terminal test after open decides
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsTerminalDevice(c.major, c.minor, c.root), c.terminal) << c.major << ":" << c.minor;
  }
  // And on this machine's own sysfs, where it has one.
  if (std::filesystem::is_directory("/sys/dev/char")) {
    EXPECT_TRUE(IsTerminalDevice(5, 0));   // /dev/tty
    EXPECT_FALSE(IsTerminalDevice(1, 3));  // /dev/null
  }
}

// A pty pair with the test on the master side: the far end of the line, byte for byte.
class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      return;
    path_ = ptsname(master_);
    // Held open all along, as a real port's driver holds its line: bytes from the far end queue
    // up whether or not the link has the port open.
    keeper_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (keeper_ >= 0 && tcgetattr(keeper_, &tio) == 0) {
      cfmakeraw(&tio);
      tcsetattr(keeper_, TCSANOW, &tio);
    }
  }
  ~PtyPair() {
    if (keeper_ >= 0)
      close(keeper_);
    if (master_ >= 0)
      close(master_);
  }
  const std::string& Path() const { return path_; }
  int Master() const { return master_; }

  std::string ReadMaster(std::size_t count) {
    std::string data;
    const long long deadline = MonotonicMs() + 5000;
    while (data.size() < count && MonotonicMs() < deadline) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0)
        continue;
      char buffer[512];
      const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - data.size()));
      if (n > 0)
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
  }

 private:
  int master_ = -1;
  int keeper_ = -1;
  std::string path_;
};

TEST(SerialPty, AllByteValuesPassUnchangedBothWays) {
  PtyPair pty;
  ASSERT_FALSE(pty.Path().empty());
  SerialLink link;
  ASSERT_TRUE(link.Open(pty.Path(), kSpeed)) << link.LastError().text;
  std::string all;
  for (int b = 0; b < 256; ++b)
    all.push_back(static_cast<char>(b));

  // Far end to us: no CR to LF, no flow-control characters swallowed, no signals from ^C.
  ASSERT_EQ(write(pty.Master(), all.data(), all.size()), 256);
  bool whole = false;
  EXPECT_EQ(Receive(link, 256, whole), all);
  EXPECT_TRUE(whole);

  // Us to the far end: no CR/LF rewriting on output either.
  ASSERT_TRUE(link.Write(reinterpret_cast<const std::uint8_t*>(all.data()), 256, 200));
  EXPECT_EQ(pty.ReadMaster(256), all);
}

TEST(SerialPty, InputWaitingAtOpenIsDropped) {
  PtyPair pty;
  SerialLink link;
  // Bytes the far end sent before we opened are stale by the time we ask.
  ASSERT_EQ(write(pty.Master(), "stale", 5), 5);
  ASSERT_TRUE(link.Open(pty.Path(), kSpeed)) << link.LastError().text;
  ASSERT_EQ(write(pty.Master(), "fresh", 5), 5);
  bool whole = false;
  EXPECT_EQ(Receive(link, 5, whole), "fresh");
}

}  // namespace
}  // namespace velkorin
