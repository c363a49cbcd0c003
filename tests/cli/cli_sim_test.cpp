// velkorin-cli end to end against the simulated gateway: the contract scripts rely on.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "protocol/messages.h"
#include "tests/support/scratch.h"
#include "tests/support/sim_process.h"

namespace velkorin {
namespace {

using testing::ChildProcess;
using Json = nlohmann::json;

using testing::TempDir;

Json ReadJsonFile(const std::string& path) {
  std::ifstream in(path);
  return Json::parse(in, nullptr, false);
}

struct Outcome {
  int exit = -1;
  std::string out, err;
};

// A simulated gateway for one test; its terminal's path is known once it has started.
class Sim {
 public:
  explicit Sim(std::vector<std::string> args) : process_(VELKORIN_SIM_PATH, std::move(args)) {
    port_ = process_.FirstLine();
  }
  ~Sim() { process_.Stop(SIGTERM); }
  const std::string& port() const { return port_; }

 private:
  ChildProcess process_;
  std::string port_;
};

// velkorin-cli started now, collected later, so slow cases can run side by side.
class Cli {
 public:
  explicit Cli(std::vector<std::string> args)
      : process_(std::make_unique<ChildProcess>(VELKORIN_CLI_PATH, std::move(args), true)) {}
  Outcome Finish() {
    Outcome o;
    o.exit = process_->Stop(0, 30000);
    o.out = process_->Stdout();
    o.err = process_->Stderr();
    return o;
  }

 private:
  std::unique_ptr<ChildProcess> process_;
};

Outcome RunCli(std::vector<std::string> args) {
  return Cli(std::move(args)).Finish();
}

TEST(CliAgainstSim, ReadPrintsEveryValueWithTheWindowLabels) {
  Sim sim({});
  ASSERT_FALSE(sim.port().empty());
  const Outcome o = RunCli({"read", "--port", sim.port()});
  EXPECT_EQ(o.exit, 0) << o.err;
  EXPECT_EQ(o.out,
            "MAC Address: 00-1A-2B-3C-4D-5E\n"
            "IP Address: 192.168.0.100\n"
            "Subnet Mask: 255.255.255.0\n"
            "Gateway: 0.0.0.0\n"
            "Server IP Address: 192.168.0.200\n"
            "Server Port: 502\n"
            "MODBUS TCP/IP 국번: 255\n"
            "RS422/485 통신 속도: 38400 BPS\n"
            "패러티 비트: None Parity\n"
            "타임아웃: 300 msec\n"
            "RS485 국번: 1\n");
  EXPECT_NE(o.err.find(kMsgReadDone), std::string::npos);
}

TEST(CliAgainstSim, WriteChangesOnlyTheGivenValuesAndTheGatewaySavesThem) {
  TempDir dir;
  Sim sim({"--state", dir / "gateway.json"});
  const Outcome o = RunCli({"write", "--port", sim.port(), "--ip", "10.1.2.30", "--server-port",
                            "5020", "--parity", "even", "--station", "17", "--json"});
  ASSERT_EQ(o.exit, 0) << o.err;
  const Json echoed = Json::parse(o.out);
  EXPECT_EQ(echoed["ipAddress"], "10.1.2.30");
  EXPECT_EQ(echoed["serverPort"], 5020);
  EXPECT_EQ(echoed["mac"], "00-1A-2B-3C-4D-5E");
  EXPECT_NE(o.err.find(kMsgWriteDone), std::string::npos);

  const Json state = ReadJsonFile(dir / "gateway.json");
  ASSERT_FALSE(state.is_discarded());
  EXPECT_EQ(state["ipAddress"], "10.1.2.30");
  EXPECT_EQ(state["serverPort"], 5020);
  EXPECT_EQ(state["parity"], 1);
  EXPECT_EQ(state["rs485Id"], 17);
  // Values not given keep what the gateway had.
  EXPECT_EQ(state["subnetMask"], "255.255.255.0");
  EXPECT_EQ(state["serverIpAddress"], "192.168.0.200");
  EXPECT_EQ(state["baudRate"], 38400);
  EXPECT_EQ(state["mbtAduId"], 255);

  const Outcome back = RunCli({"read", "--port", sim.port(), "--json"});
  ASSERT_EQ(back.exit, 0) << back.err;
  EXPECT_EQ(Json::parse(back.out), echoed);
}

TEST(CliAgainstSim, InvalidValuesAreRefusedBeforeAnythingIsOpened) {
  TempDir dir;
  Sim sim({"--state", dir / "gateway.json"});
  struct Case {
    std::vector<std::string> values;
    const char* named;
  };
  const Case cases[] = {
      {{"--server-port", "70000"}, "--server-port"},
      {{"--server-port", "12abc"}, "--server-port"},
      {{"--unit-id", "0"}, "--unit-id"},
      {{"--baud", "4800"}, "--baud"},
      {{"--timeout-ms", "150"}, "--timeout-ms"},
      {{"--ip", "1.2.3"}, "--ip"},
      {{"--parity", "mark"}, "--parity"},
      {{}, "at least one value"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"write", "--port", sim.port()};
    args.insert(args.end(), c.values.begin(), c.values.end());
    const Outcome o = RunCli(args);
    EXPECT_EQ(o.exit, 2) << c.named;
    EXPECT_NE(o.err.find(c.named), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
  // Nothing reached the gateway: it never saved, and a port that doesn't exist is not even tried.
  EXPECT_FALSE(std::ifstream(dir / "gateway.json").good());
  EXPECT_EQ(RunCli({"write", "--port", dir / "no-such-port", "--baud", "1"}).exit, 2);
  EXPECT_EQ(RunCli({"frobnicate"}).exit, 2);
  EXPECT_EQ(RunCli({"read"}).exit, 2);
}

TEST(CliAgainstSim, FailuresGiveTheirMessageDetailAndExitCode) {
  TempDir dir;
  struct Case {
    const char* what;
    std::vector<std::string> simArgs;
    std::vector<std::string> cliArgs;
    int exit;
    std::string_view message;
    const char* command;  // the failed step in the JSON, nullptr for none
  };
  const std::vector<Case> cases = {
      {"silent", {"--fault", "P:silent"}, {"read"}, 5, kMsgReceiveFailed, ":P"},
      {"badsum", {"--fault", "Q:badsum"}, {"read"}, 6, kMsgBadData, ":Q"},
      {"wrongletter", {"--fault", "O:wrongletter"}, {"read"}, 5, kMsgReceiveFailed, ":O"},
      {"truncate", {"--fault", "Q:truncate:10"}, {"read"}, 5, kMsgReceiveFailed, ":Q"},
      // A surplus byte after the MAC block shifts the next reply by one.
      {"surplus", {"--fault", "O:surplus:1"}, {"read"}, 5, kMsgReceiveFailed, ":P"},
      {"lower", {"--fault", "O:lower", "--fault", "P:lower"}, {"read"}, 0, kMsgReadDone, nullptr},
      {"write, badsum on the echo",
       {"--fault", "Y:badsum"},
       {"write", "--baud", "9600"},
       6,
       kMsgBadData,
       ":Y"},
      // A gateway that could not save does not acknowledge ":S".
      {"write, the gateway cannot save", {"--state", dir / "missing-folder/state.json"},
       {"write", "--baud", "9600"}, 5, kMsgReceiveFailed, ":S"},
      // The gateway echoes odd parity for the even parity it was sent.
      {"write, differing echo",
       {"--fault", "Z:parity:02"},
       {"write", "--parity", "even"},
       7,
       kMsgWriteDone,
       nullptr},
  };
  // The slow cases wait out the reply time limit (about 4 s); run them all side by side.
  std::vector<std::unique_ptr<Sim>> sims;
  std::vector<Cli> clis;
  for (const Case& c : cases) {
    sims.push_back(std::make_unique<Sim>(c.simArgs));
    ASSERT_FALSE(sims.back()->port().empty()) << c.what;
    std::vector<std::string> args = c.cliArgs;
    args.insert(args.begin() + 1, {"--port", sims.back()->port(), "--json"});
    clis.emplace_back(args);
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const Outcome o = clis[i].Finish();
    EXPECT_EQ(o.exit, c.exit) << o.err;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    const Json j = Json::parse(o.out, nullptr, false);
    ASSERT_FALSE(j.is_discarded()) << o.out;
    if (c.exit == 0 || c.exit == 7) {
      EXPECT_TRUE(j.contains("mac"));
      continue;
    }
    EXPECT_EQ(j["error"], c.exit);
    EXPECT_EQ(j["message"], std::string(c.message));
    EXPECT_EQ(j["command"], c.command);
    EXPECT_NE(o.err.find(std::string("detail: ") + c.command), std::string::npos) << o.err;
  }
}

TEST(CliAgainstSim, ParityCodeFiveReadsAsOdd) {
  Sim sim({"--fault", "Q:parity:05"});
  const Outcome o = RunCli({"read", "--port", sim.port(), "--json"});
  ASSERT_EQ(o.exit, 0) << o.err;
  EXPECT_EQ(Json::parse(o.out)["parity"], "odd");
}

TEST(CliAgainstSim, APortThatCannotBeOpened) {
  TempDir dir;
  { std::ofstream(dir / "regular-file") << "not a terminal"; }
  for (const std::string& port : {dir / "missing", dir / "regular-file"}) {
    const Outcome o = RunCli({"read", "--port", port, "--json"});
    EXPECT_EQ(o.exit, 3) << port;
    EXPECT_NE(o.err.find(kMsgOpenFailed), std::string::npos);
    EXPECT_NE(o.err.find("detail: could not open port"), std::string::npos) << o.err;
    const Json j = Json::parse(o.out, nullptr, false);
    EXPECT_EQ(j["error"], 3);
    EXPECT_TRUE(j["command"].is_null());
  }
  // The regular file was refused before a byte was written.
  std::ifstream in(dir / "regular-file");
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "not a terminal");
}

TEST(CliPorts, ListsThisMachinesPortsInBothForms) {
  const Outcome json = RunCli({"ports", "--json"});
  ASSERT_EQ(json.exit, 0) << json.err;
  const Json list = Json::parse(json.out, nullptr, false);
  ASSERT_TRUE(list.is_array()) << json.out;
  const Outcome text = RunCli({"ports"});
  ASSERT_EQ(text.exit, 0) << text.err;
  // One line per port, in the same order, each starting with the port's name.
  std::istringstream lines(text.out);
  std::string line;
  for (const Json& port : list) {
    ASSERT_TRUE(port.contains("name") && port.contains("devicePath") &&
                port.contains("friendlyName"))
        << port;
    ASSERT_TRUE(std::getline(lines, line));
    EXPECT_EQ(line.substr(0, line.find('\t')), port["name"].get<std::string>());
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST(CliAgainstSim, VersionAndHelp) {
  const Outcome version = RunCli({"--version"});
  EXPECT_EQ(version.exit, 0);
  EXPECT_NE(version.out.find("velkorin-cli 1.2"), std::string::npos);
  const Outcome help = RunCli({"--help"});
  EXPECT_EQ(help.exit, 0);
  for (const char* word : {"read", "write", "ports"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
  }
}

}  // namespace
}  // namespace velkorin
