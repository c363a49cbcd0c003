// velkorin-sim as a program: its arguments, its signals, its link and its state file.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/frames.h"
#include "serial/serial_link.h"
#include "sim/gateway_model.h"
#include "sim/sim_state.h"
#include "tests/support/scratch.h"
#include "tests/support/sim_process.h"

namespace velkorin {
namespace {

using testing::ChildProcess;
using testing::MonotonicMs;

using testing::TempDir;

std::string ReadFile(const std::string& path) {
  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  return text.str();
}

std::string Exchange(SerialLink& link, const std::string& frame, std::size_t replyLength) {
  if (!link.Write(reinterpret_cast<const std::uint8_t*>(frame.data()),
                  static_cast<std::int32_t>(frame.size()), 200)) {
    return "<write failed>";
  }
  std::string reply(replyLength, '\0');
  if (!link.Read(reinterpret_cast<std::uint8_t*>(reply.data()),
                 static_cast<std::int32_t>(replyLength), 1000)) {
    return "<read failed>";
  }
  return reply;
}

TEST(SimCommandLine, BadArgumentsExitTwoNamingTheArgument) {
  TempDir dir;
  { std::ofstream(dir / "broken.json") << "{ not json"; }
  { std::ofstream(dir / "wrong.json") << R"({"serverPort": 70000})"; }
  { std::ofstream(dir / "regular") << "x"; }
  ASSERT_EQ(mkfifo((dir / "fifo.json").c_str(), 0600), 0);  // would block a plain open for ever
  struct Case {
    std::vector<std::string> args;
    std::string named;
  };
  const Case cases[] = {
      {{"--bogus"}, "--bogus"},
      {{"extra"}, "extra"},
      {{"--line-rate"}, "--line-rate"},
      {{"--line-rate", "fast"}, "--line-rate"},
      {{"--line-rate", "0"}, "--line-rate"},
      {{"--line-rate=-9600"}, "--line-rate"},
      {{"--turnaround", "-1"}, "--turnaround"},
      {{"--turnaround", "1e3"}, "--turnaround"},
      {{"--fault", "X:silent"}, "--fault"},
      {{"--fault", "Q:truncate"}, "--fault"},
      {{"--fault", "O:parity:07"}, "--fault"},
      {{"--fault", "Q:silent", "--fault", "Q:split:5"}, "--fault"},
      {{"--state", dir / "broken.json"}, "--state"},
      {{"--state", dir / "wrong.json"}, "serverPort"},
      {{"--state", dir / "fifo.json"}, "--state"},
      {{"--link", dir / "regular"}, "--link"},
      {{"--link", ""}, "--link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    ChildProcess sim(VELKORIN_SIM_PATH, c.args, /*captureStderr=*/true);
    ASSERT_TRUE(sim.Running());
    EXPECT_EQ(sim.FirstLine(), "");  // no terminal path: it never started serving
    EXPECT_EQ(sim.Stop(0), 2);
    EXPECT_NE(sim.Stderr().find(c.named), std::string::npos);
  }
  EXPECT_EQ(ReadFile(dir / "regular"), "x");
}

TEST(SimCommandLine, ServesUntilASignalThenExitsZeroAndRemovesItsLink) {
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    TempDir dir;
    const std::string link = dir / "com1";
    ChildProcess sim(VELKORIN_SIM_PATH, {"--link", link});
    const std::string path = sim.FirstLine();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);

    // Two clients in turn: the terminal stays usable after the first one closes.
    for (int client = 0; client < 2; ++client) {
      SerialLink serial;
      ASSERT_TRUE(serial.Open(link, 115200)) << serial.LastError().text;
      EXPECT_EQ(Exchange(serial, BuildMacQuery(), kMacBlockLength), ":O001A2B3C4D5EFD\r");
    }
    EXPECT_EQ(sim.Stop(sig), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0);
  }
}

TEST(SimCommandLine, StateIsLoadedAndWrittenBackOnSave) {
  TempDir dir;
  const std::string state = dir / "gateway.json";
  { std::ofstream(state) << R"({"mac": "02-00-00-00-00-09", "serverPort": 1502})"; }
  GatewaySettings wanted = DefaultSimSettings();
  wanted.mac = {0x02, 0, 0, 0, 0, 0x09};
  wanted.serverPort = 1502;
  {
    ChildProcess sim(VELKORIN_SIM_PATH, {"--state", state});
    SerialLink link;
    ASSERT_TRUE(link.Open(sim.FirstLine(), 115200)) << link.LastError().text;
    EXPECT_EQ(Exchange(link, BuildMacQuery(), kMacBlockLength), BuildMacBlock(wanted));
    EXPECT_EQ(Exchange(link, BuildNetworkQuery(), kNetworkBlockLength),
              BuildNetworkBlock('P', wanted));

    wanted.baudRate = 115200;
    wanted.rs485Id = 12;
    ASSERT_EQ(Exchange(link, BuildSerialCommand(wanted), kSerialBlockLength),
              BuildSerialBlock('Z', wanted));
    // Taken, but not stored until ":S".
    EXPECT_NE(ReadFile(state), SimStateToJson(wanted));
    EXPECT_EQ(Exchange(link, BuildSaveCommand(), kAckLength), ":S53\r");
    EXPECT_EQ(ReadFile(state), SimStateToJson(wanted));
    EXPECT_EQ(sim.Stop(), 0);
  }
  // A new run starts from what was stored.
  ChildProcess sim(VELKORIN_SIM_PATH, {"--state", state});
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.FirstLine(), 115200)) << link.LastError().text;
  EXPECT_EQ(Exchange(link, BuildSerialQuery(), kSerialBlockLength), BuildSerialBlock('Q', wanted));
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimCommandLine, AMissingStateFileStartsFromTheDefaultsAndIsMadeOnSave) {
  TempDir dir;
  const std::string state = dir / "new.json";
  ChildProcess sim(VELKORIN_SIM_PATH, {"--state", state});
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.FirstLine(), 115200)) << link.LastError().text;
  EXPECT_EQ(Exchange(link, BuildSaveCommand(), kAckLength), ":S53\r");
  EXPECT_EQ(ReadFile(state), SimStateToJson(DefaultSimSettings()));
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimCommandLine, LineRateAndTurnaroundPaceTheReply) {
  // 46 bytes at 9600 bit/s take 47.9 ms on the wire; 20 ms of turnaround come on top.
  ChildProcess sim(VELKORIN_SIM_PATH, {"--line-rate", "9600", "--turnaround", "20"});
  SerialLink link;
  ASSERT_TRUE(link.Open(sim.FirstLine(), 115200)) << link.LastError().text;
  const long long start = MonotonicMs();
  EXPECT_EQ(Exchange(link, BuildNetworkQuery(), kNetworkBlockLength).substr(0, 2), ":P");
  const long long took = MonotonicMs() - start;
  EXPECT_GE(took, 67);
  EXPECT_LT(took, 67 + 500);
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(SimCommandLine, AfterAHangUpItWaitsForItsSignal) {
  ChildProcess sim(VELKORIN_SIM_PATH, {"--fault", "O:hangup"});
  const std::string path = sim.FirstLine();
  SerialLink link;
  ASSERT_TRUE(link.Open(path, 115200)) << link.LastError().text;
  // The terminal may go while the query is still draining or while the reply is awaited.
  const std::string outcome = Exchange(link, BuildMacQuery(), kMacBlockLength);
  EXPECT_TRUE(outcome == "<read failed>" || outcome == "<write failed>") << outcome;
  link.Close();
  EXPECT_FALSE(link.Open(path, 115200));  // the terminal is gone
  EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace velkorin
