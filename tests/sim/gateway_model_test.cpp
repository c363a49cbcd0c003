#include "sim/gateway_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/frames.h"
#include "sim/sim_state.h"

namespace velkorin {
namespace {

GatewaySettings Changed() {
  GatewaySettings s = DefaultSimSettings();
  s.ipAddress = 0x0A000002;
  s.subnetMask = 0xFFFF0000;
  s.gatewayAddress = 0x0A000001;
  s.serverIpAddress = 0x0A000064;
  s.serverPort = 1502;
  s.baudRate = 9600;
  s.timeoutMs = 1000;
  s.parity = 1;
  s.rs485Id = 7;
  s.mbtAduId = 3;
  return s;
}

std::string OnlyReply(GatewayModel& model, const std::string& bytes) {
  const std::vector<SimReply> replies = model.Feed(bytes);
  EXPECT_EQ(replies.size(), 1u) << bytes;
  return replies.empty() ? std::string("<none>") : replies[0].Bytes();
}

TEST(GatewayModel, AnswersEveryCommand) {
  const GatewaySettings d = DefaultSimSettings();
  const GatewaySettings c = Changed();
  struct Case {
    std::string command, reply;
  };
  const Case cases[] = {
      {BuildMacQuery(), ":O001A2B3C4D5EFD\r"},
      {BuildNetworkQuery(), ":PC0A80064FFFFFF0000000000C0A800C801F62E\r"},
      {BuildSerialQuery(), ":Q00009600012C0001FF03\r"},
      {BuildNetworkCommand(d), ":YC0A80064FFFFFF0000000000C0A800C801F637\r"},
      {BuildSerialCommand(d), ":Z00009600012C0001FF0C\r"},
      {BuildSaveCommand(), ":S53\r"},
      {BuildNetworkCommand(c), BuildNetworkBlock('Y', c)},
      {BuildSerialCommand(c), BuildSerialBlock('Z', c)},
  };
  GatewayModel model;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.command);
    EXPECT_EQ(OnlyReply(model, k.command), k.reply);
  }
  // What ":Y" and ":Z" carried is what the gateway now reports.
  EXPECT_EQ(model.Settings(), c);
  EXPECT_EQ(OnlyReply(model, BuildNetworkQuery()), BuildNetworkBlock('P', c));
  EXPECT_EQ(OnlyReply(model, BuildSerialQuery()), BuildSerialBlock('Q', c));
}

TEST(GatewayModel, OnlyTheSaveCommandAsksForASave) {
  GatewayModel model;
  for (const std::string& command : {BuildMacQuery(), BuildNetworkQuery(), BuildSerialQuery(),
                                     BuildSerialCommand(DefaultSimSettings())}) {
    EXPECT_FALSE(model.Feed(command).at(0).saved) << command;
  }
  EXPECT_TRUE(model.Feed(BuildSaveCommand()).at(0).saved);
}

TEST(GatewayModel, KeepsTheParityCodeItWasSent) {
  GatewayModel model;
  std::string command = BuildSerialCommand(DefaultSimSettings());
  command.replace(14, 2, "07");
  command = BuildFrame(command.substr(0, command.size() - 3));
  EXPECT_EQ(OnlyReply(model, command), command);
  EXPECT_EQ(model.Settings().parity, 7);
}

TEST(GatewayModel, IgnoresWhatIsNotAGoodFrame) {
  const std::string cases[] = {
      ":O4E\r",                                      // checksum off
      ":o6F\r",                                      // lower-case letter
      ":X58\r",                                      // unknown command
      ":O4F4F\r",                                    // too long for its letter
      ":S54\r",                                      // the save command is held to its checksum
      ":YC0A80064FFFFFF0000000000C0A800C801F638\r",  // a ":Y" with a bad checksum
      ":Z00009600012C0001FF0C",                      // no CR yet
  };
  GatewayModel model;
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes);
    const std::vector<SimReply> replies = model.Feed(bytes);
    for (const SimReply& r : replies) {
      EXPECT_TRUE(r.chunks.empty());
      EXPECT_FALSE(r.saved);
    }
  }
  EXPECT_EQ(model.Settings(), DefaultSimSettings());
}

TEST(GatewayModel, FramesAcrossFeedsNoiseAndRestarts) {
  GatewayModel model;
  // Split anywhere, with noise before it.
  EXPECT_TRUE(model.Feed(std::string("\x00\xFFzz:O", 6)).empty());
  EXPECT_EQ(OnlyReply(model, "4F\r"), ":O001A2B3C4D5EFD\r");
  // A ':' starts over: the broken start is dropped, the frame after it is answered.
  EXPECT_EQ(OnlyReply(model, ":Q5:P50\r").substr(0, 2), ":P");
  // Two frames in one feed give two replies, in order.
  const std::vector<SimReply> two = model.Feed(BuildMacQuery() + BuildSerialQuery());
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[0].command, 'O');
  EXPECT_EQ(two[1].command, 'Q');
  // A run of bytes longer than any frame is no frame; the next real one still works.
  EXPECT_TRUE(model.Feed(":" + std::string(100, 'A')).empty());
  EXPECT_EQ(OnlyReply(model, BuildMacQuery()), ":O001A2B3C4D5EFD\r");
}

struct FaultCase {
  const char* fault;
  std::string command;
  std::vector<ReplyChunk> chunks;
  bool hangUp;
  // How the settings program's check takes the whole reply, when it was sent whole.
  std::optional<ReplyStatus> status;
};

std::string LowerSerialBlock() {
  std::string text = ":Q00009600012c0001ff";
  const std::uint8_t sum = FrameChecksum(text);
  const char digits[] = "0123456789abcdef";
  return text + digits[sum >> 4] + digits[sum & 0xF] + "\r";
}

TEST(GatewayModel, EveryFault) {
  const std::string q = ":Q00009600012C0001FF03\r";
  GatewaySettings wrongLetter = DefaultSimSettings();
  GatewaySettings parity7 = DefaultSimSettings();
  parity7.parity = 7;
  const FaultCase cases[] = {
      {"Q:silent", BuildSerialQuery(), {}, false, {}},
      {"Q:badsum",
       BuildSerialQuery(),
       {{0, ":Q00009600012C0001FF04\r"}},
       false,
       ReplyStatus::BadChecksum},
      {"Q:wrongletter",
       BuildSerialQuery(),
       {{0, BuildSerialBlock('P', wrongLetter)}},
       false,
       ReplyStatus::Malformed},
      {"Q:truncate:10", BuildSerialQuery(), {{0, q.substr(0, 10)}}, false, {}},
      {"Q:surplus:3", BuildSerialQuery(), {{0, q + "###"}}, false, {}},
      {"Q:lower", BuildSerialQuery(), {{0, LowerSerialBlock()}}, false, ReplyStatus::Accepted},
      {"Q:garbage", BuildSerialQuery(), {{0, "\xFF" + q}}, false, {}},
      {"Q:delay:250", BuildSerialQuery(), {{250, q}}, false, ReplyStatus::Accepted},
      {"Q:split:5:30",
       BuildSerialQuery(),
       {{0, q.substr(0, 5)}, {30, q.substr(5)}},
       false,
       ReplyStatus::Accepted},
      {"Q:hangup", BuildSerialQuery(), {}, true, {}},
      {"Q:hangup:10", BuildSerialQuery(), {{0, q.substr(0, 10)}}, true, {}},
      {"Q:parity:07",
       BuildSerialQuery(),
       {{0, BuildSerialBlock('Q', parity7)}},
       false,
       ReplyStatus::Accepted},
      {"S:wrongletter", BuildSaveCommand(), {{0, ":T54\r"}}, false, ReplyStatus::Malformed},
      {"O:badsum", BuildMacQuery(), {{0, ":O001A2B3C4D5EFE\r"}}, false, ReplyStatus::BadChecksum},
      {"P:truncate:0", BuildNetworkQuery(), {}, false, {}},
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(c.fault);
    std::string error;
    const auto planned = ParseFault(c.fault, error);
    ASSERT_TRUE(planned) << error;
    GatewayModel model;
    model.AddFault(planned->letter, planned->fault);
    const std::vector<SimReply> replies = model.Feed(c.command);
    ASSERT_EQ(replies.size(), 1u);
    const SimReply& r = replies[0];
    ASSERT_EQ(r.chunks.size(), c.chunks.size());
    for (std::size_t i = 0; i < c.chunks.size(); ++i) {
      EXPECT_EQ(r.chunks[i].pauseMs, c.chunks[i].pauseMs) << i;
      EXPECT_EQ(r.chunks[i].bytes, c.chunks[i].bytes) << i;
    }
    EXPECT_EQ(r.hangUp, c.hangUp);
    if (c.status) {
      EXPECT_EQ(CheckReply(r.Bytes(), r.Bytes().size(), c.command[1]), *c.status);
    }
    // A fault on one letter leaves the others alone.
    const std::string other = c.command[1] == 'O' ? BuildNetworkQuery() : BuildMacQuery();
    EXPECT_EQ(CheckReply(model.Feed(other).at(0).Bytes(), other[1] == 'O' ? 17 : 41, other[1]),
              ReplyStatus::Accepted);
  }
}

TEST(GatewayModel, ASilentWriteChangesNothing) {
  GatewayModel model;
  model.AddFault('Y', Fault{FaultKind::Silent});
  model.AddFault('S', Fault{FaultKind::Silent});
  EXPECT_TRUE(model.Feed(BuildNetworkCommand(Changed())).at(0).chunks.empty());
  const SimReply save = model.Feed(BuildSaveCommand()).at(0);
  EXPECT_TRUE(save.chunks.empty());
  EXPECT_FALSE(save.saved);
  EXPECT_EQ(model.Settings(), DefaultSimSettings());
}

TEST(GatewayModel, FaultsCombineAndTheLastOfAKindWins) {
  GatewayModel model;
  std::string error;
  for (const char* f : {"Z:delay:10", "Z:delay:40", "Z:garbage", "Z:split:1:20", "Z:parity:09"}) {
    const auto planned = ParseFault(f, error);
    ASSERT_TRUE(planned) << f << ": " << error;
    model.AddFault(planned->letter, planned->fault);
  }
  const SimReply r = model.Feed(BuildSerialCommand(DefaultSimSettings())).at(0);
  ASSERT_EQ(r.chunks.size(), 2u);
  EXPECT_EQ(r.chunks[0].pauseMs, 40u);
  EXPECT_EQ(r.chunks[0].bytes, "\xFF");
  EXPECT_EQ(r.chunks[1].pauseMs, 20u);
  GatewaySettings reported = DefaultSimSettings();
  reported.parity = 9;
  EXPECT_EQ(r.chunks[1].bytes, BuildSerialBlock('Z', reported));
  // The fault only colours the report; the device holds what it was sent.
  EXPECT_EQ(model.Settings().parity, 0);
}

TEST(ParseFault, RefusesWhatItCannotDo) {
  const char* bad[] = {"",
                       "Q",
                       "Q:",
                       "X:silent",
                       "q:silent",
                       "QQ:silent",
                       "Q:nothing",
                       "Q:silent:1",
                       "Q:truncate",
                       "Q:truncate:x",
                       "Q:truncate:-1",
                       "Q:surplus:99999",
                       "Q:delay",
                       "Q:delay:1:2",
                       "Q:split:5",
                       "Q:split:a:5",
                       "Q:hangup:x",
                       "Q:parity",
                       "Q:parity:7",
                       "Q:parity:GG",
                       "O:parity:07",
                       "S:parity:01"};
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(ParseFault(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
}

TEST(SimState, RoundTripsThroughJson) {
  const GatewaySettings c = Changed();
  const std::string text = SimStateToJson(DefaultSimSettings());
  EXPECT_NE(text.find("\"00-1A-2B-3C-4D-5E\""), std::string::npos);
  EXPECT_NE(text.find("\"192.168.0.100\""), std::string::npos);
  EXPECT_NE(text.find("\"serverPort\": 502"), std::string::npos);
  GatewaySettings read;
  std::string error;
  ASSERT_TRUE(SimStateFromJson(SimStateToJson(c), read, error)) << error;
  EXPECT_EQ(read, c);
}

TEST(SimState, MissingKeysKeepTheirValues) {
  GatewaySettings s = DefaultSimSettings();
  std::string error;
  ASSERT_TRUE(SimStateFromJson(R"({"ipAddress": "10.1.2.3", "parity": 7})", s, error)) << error;
  EXPECT_EQ(s.ipAddress, 0x0A010203u);
  EXPECT_EQ(s.parity, 7);
  EXPECT_EQ(s.serverPort, 502);
  EXPECT_EQ(s.mac, DefaultSimSettings().mac);
}

TEST(SimState, RefusesBadValuesNamingTheKey) {
  struct Case {
    const char* json;
    const char* names;
  };
  const Case cases[] = {
      {"not json", "JSON"},
      {"[1, 2]", "object"},
      {R"({"mac": "00-1A-2B-3C-4D"})", "mac"},
      {R"({"mac": "00-1A-2B-3C-4D-5G"})", "mac"},
      {R"({"ipAddress": "192.168.0.256"})", "ipAddress"},
      {R"({"subnetMask": "255.255.255"})", "subnetMask"},
      {R"({"gatewayAddress": 0})", "gatewayAddress"},
      {R"({"serverIpAddress": "1.2.3.4.5"})", "serverIpAddress"},
      {R"({"serverPort": 70000})", "serverPort"},
      {R"({"mbtAduId": -1})", "mbtAduId"},
      {R"({"baudRate": "fast"})", "baudRate"},
      {R"({"timeoutMs": 1.5})", "timeoutMs"},
      {R"({"parity": 256})", "parity"},
      {R"({"rs485Id": true})", "rs485Id"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    GatewaySettings s = DefaultSimSettings();
    std::string error;
    EXPECT_FALSE(SimStateFromJson(c.json, s, error));
    EXPECT_NE(error.find(c.names), std::string::npos) << error;
    EXPECT_EQ(s, DefaultSimSettings());
  }
}

}  // namespace
}  // namespace velkorin
