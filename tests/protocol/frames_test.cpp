#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <string>

namespace velkorin {
namespace {

GatewaySettings DefaultRecord() {
  GatewaySettings s;
  s.ipAddress = 0xC0A80064;
  s.subnetMask = 0xFFFFFF00;
  s.gatewayAddress = 0;
  s.serverIpAddress = 0xC0A800C8;
  s.serverPort = 502;
  s.mbtAduId = 255;
  s.baudRate = 38400;
  s.timeoutMs = 300;
  s.parity = 0;
  s.rs485Id = 1;
  return s;
}

TEST(FrameChecksum, SumsCodesAfterTheFirstCharacter) {
  EXPECT_EQ(FrameChecksum(""), 0);
  EXPECT_EQ(FrameChecksum(":"), 0);
  EXPECT_EQ(FrameChecksum(":O"), 0x4F);
  // 'A' adds 65, not the value of a hex pair; the sum wraps at 256.
  EXPECT_EQ(FrameChecksum(":AAAA"), (4 * 65) & 0xFF);
}

TEST(BuildFrame, QueriesByteForByte) {
  EXPECT_EQ(BuildMacQuery(), std::string("\x3A\x4F\x34\x46\x0D"));
  EXPECT_EQ(BuildNetworkQuery(), ":P50\r");
  EXPECT_EQ(BuildSerialQuery(), ":Q51\r");
  EXPECT_EQ(BuildSaveCommand(), ":S53\r");
}

TEST(BuildFrame, NetworkCommandFromTheRecord) {
  const std::string frame = BuildNetworkCommand(DefaultRecord());
  EXPECT_EQ(frame, ":YC0A80064FFFFFF0000000000C0A800C801F637\r");
  EXPECT_EQ(frame.size(), kNetworkBlockLength);
  EXPECT_EQ(FrameChecksum(frame.substr(0, 38)), 2103 & 0xFF);
}

TEST(BuildFrame, SerialCommandInFrameOrder) {
  const std::string frame = BuildSerialCommand(DefaultRecord());
  EXPECT_EQ(frame, ":Z00009600012C0001FF0C\r");
  EXPECT_EQ(frame.size(), kSerialBlockLength);
}

TEST(BuildFrame, WidestValuesKeepTheLengths) {
  GatewaySettings s;
  s.ipAddress = s.subnetMask = s.gatewayAddress = s.serverIpAddress = 0xFFFFFFFF;
  s.serverPort = 0xFFFF;
  s.baudRate = 0xFFFFFFFF;
  s.timeoutMs = 0xFFFF;
  s.parity = s.rs485Id = s.mbtAduId = 0xFF;
  EXPECT_EQ(BuildNetworkCommand(s).size(), kNetworkBlockLength);
  EXPECT_EQ(BuildSerialCommand(s).size(), kSerialBlockLength);
}

// A good reply with one character replaced.
std::string With(std::string s, std::size_t pos, char c) {
  s[pos] = c;
  return s;
}

std::string Lowered(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(CheckReply, TableOfReplies) {
  const std::string mac = BuildMacBlock(GatewaySettings{{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}});
  const std::string net = BuildNetworkBlock('P', DefaultRecord());
  const std::string ser = BuildSerialBlock('Q', DefaultRecord());
  // A block whose checksum has letters, so its lower-case form differs.
  GatewaySettings odd = DefaultRecord();
  odd.serverPort = 0x1234;
  const std::string netUpper = BuildNetworkBlock('P', odd);
  ASSERT_NE(Lowered(netUpper.substr(38, 2)), netUpper.substr(38, 2));
  const std::string netLowerSum = netUpper.substr(0, 38) + Lowered(netUpper.substr(38, 2)) + "\r";

  struct Case {
    const char* what;
    std::string reply;
    std::size_t length;
    char letter;
    ReplyStatus expected;
  };
  const Case cases[] = {
      {"good MAC block", mac, kMacBlockLength, 'O', ReplyStatus::Accepted},
      {"good network block", net, kNetworkBlockLength, 'P', ReplyStatus::Accepted},
      {"good serial block", ser, kSerialBlockLength, 'Q', ReplyStatus::Accepted},
      {"lower-case checksum digits", netLowerSum, kNetworkBlockLength, 'P', ReplyStatus::Accepted},
      {"wrong first character", With(net, 0, ';'), kNetworkBlockLength, 'P',
       ReplyStatus::Malformed},
      {"letter of another command", With(ser, 1, 'P'), kSerialBlockLength, 'Q',
       ReplyStatus::Malformed},
      {"the asked letter in lower case", With(ser, 1, 'q'), kSerialBlockLength, 'Q',
       ReplyStatus::Malformed},
      {"no CR at the end", With(mac, 16, '\n'), kMacBlockLength, 'O', ReplyStatus::Malformed},
      {"one payload character changed", With(net, 5, net[5] == '0' ? '1' : '0'),
       kNetworkBlockLength, 'P', ReplyStatus::BadChecksum},
      {"checksum digits wrong", With(ser, 20, ser[20] == '0' ? '1' : '0'), kSerialBlockLength, 'Q',
       ReplyStatus::BadChecksum},
      {"shorter than asked", mac.substr(0, 16), kMacBlockLength, 'O', ReplyStatus::Malformed},
      {"acknowledgement with its checksum", ":S53\r", kAckLength, 'S', ReplyStatus::Accepted},
      {"acknowledgement, other characters", ":Szz\r", kAckLength, 'S', ReplyStatus::Accepted},
      {"acknowledgement with NULs", std::string(":S\0\0\r", 5), kAckLength, 'S',
       ReplyStatus::Accepted},
      {"acknowledgement without CR", ":S53\n", kAckLength, 'S', ReplyStatus::Malformed},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CheckReply(c.reply, c.length, c.letter), c.expected) << c.what;
  }
}

TEST(CheckReply, AnyWrongFrameCharacterIsMalformedWhateverTheChecksum) {
  // Shape faults win over checksum faults: break the checksum too and the verdict stays.
  const std::string net = BuildNetworkBlock('P', DefaultRecord());
  std::string broken = With(net, 0, 'x');
  broken[38] = 'G';
  EXPECT_EQ(CheckReply(broken, kNetworkBlockLength, 'P'), ReplyStatus::Malformed);
}

TEST(Decode, MacBlock) {
  GatewaySettings s;
  ASSERT_TRUE(DecodeMacBlock(BuildFrame(":O001a2B3C4d5E"), s));
  EXPECT_EQ(s.mac, (std::array<std::uint8_t, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));
}

TEST(Decode, NetworkBlockRoundTripsAndServerPortZero) {
  GatewaySettings sent = DefaultRecord();
  sent.serverPort = 0;
  GatewaySettings got;
  ASSERT_TRUE(DecodeNetworkBlock(BuildNetworkBlock('P', sent), got));
  EXPECT_EQ(got.ipAddress, 0xC0A80064u);
  EXPECT_EQ(got.subnetMask, 0xFFFFFF00u);
  EXPECT_EQ(got.gatewayAddress, 0u);
  EXPECT_EQ(got.serverIpAddress, 0xC0A800C8u);
  EXPECT_EQ(got.serverPort, 0);
}

TEST(Decode, SerialBlockParityAndUnofferedValues) {
  struct Case {
    const char* text;
    std::uint8_t parity;
  };
  const Case cases[] = {{":Z00009600012C0001FF", 0}, {":Z00009600012C0101FF", 1},
                        {":Z00009600012C0201FF", 2}, {":Z00009600012C0301FF", 2},
                        {":Z00009600012C0701FF", 2}, {":Z00009600012Cff01FF", 2}};
  for (const Case& c : cases) {
    GatewaySettings s;
    ASSERT_TRUE(DecodeSerialBlock(BuildFrame(c.text), s));
    EXPECT_EQ(s.parity, c.parity) << c.text;
    EXPECT_EQ(s.baudRate, 38400u);
    EXPECT_EQ(s.timeoutMs, 300);
    EXPECT_EQ(s.rs485Id, 1);
    EXPECT_EQ(s.mbtAduId, 255);
  }
  // Values the window does not offer are kept as received.
  GatewaySettings s;
  ASSERT_TRUE(DecodeSerialBlock(BuildFrame(":Q000012C000FA000000"), s));
  EXPECT_EQ(s.baudRate, 4800u);
  EXPECT_EQ(s.timeoutMs, 250);
  EXPECT_EQ(s.parity, 0);
  EXPECT_EQ(s.rs485Id, 0);
  EXPECT_EQ(s.mbtAduId, 0);
}

TEST(Decode, FieldsTakeLeadingHexDigitsOnly) {
  EXPECT_EQ(ParseHexField("12G4"), 0x12u);
  EXPECT_EQ(ParseHexField("G123"), 0u);
  EXPECT_EQ(ParseHexField(""), 0u);
  EXPECT_EQ(ParseHexField("fFfFfFfF"), 0xFFFFFFFFu);
  EXPECT_EQ(ParseHexField(" 1"), 0u);  // no white space is skipped inside a frame
}

TEST(Decode, ShortRepliesLeaveTheRecordAlone) {
  GatewaySettings s = DefaultRecord();
  const GatewaySettings before = s;
  EXPECT_FALSE(DecodeMacBlock(":O00", s));
  EXPECT_FALSE(DecodeNetworkBlock(BuildSerialBlock('Q', s), s));
  EXPECT_FALSE(DecodeSerialBlock(":Q", s));
  EXPECT_EQ(s, before);
}

}  // namespace
}  // namespace velkorin
