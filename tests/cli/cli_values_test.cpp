#include "cli/cli_values.h"

#include <gtest/gtest.h>

namespace velkorin::cli {
namespace {

TEST(DottedQuad, Table) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> value;
  };
  const Case cases[] = {
      {"192.168.0.100", 0xC0A80064},
      {"0.0.0.0", 0},
      {"255.255.255.255", 0xFFFFFFFF},
      {"010.1.2.3", 0x0A010203},
      {"256.1.1.1", {}},
      {"1.2.3", {}},
      {"1.2.3.4.5", {}},
      {"1.2.3.", {}},
      {" 1.2.3.4", {}},
      {"1.2.3.4 ", {}},
      {"1..3.4", {}},
      {"+1.2.3.4", {}},
      {"0001.2.3.4", {}},
      {"a.b.c.d", {}},
      {"", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseDottedQuad(c.text), c.value) << c.text;
    if (c.value) {
      EXPECT_EQ(ParseDottedQuad(FormatDottedQuad(*c.value)), c.value);
    }
  }
}

TEST(WriteValues, RefusalsNameTheOptionAndChangeNothing) {
  struct Case {
    WriteValues values;
    const char* option;  // nullptr: accepted
  };
  auto with = [](auto setter) {
    WriteValues v;
    setter(v);
    return v;
  };
  const Case cases[] = {
      {with([](WriteValues& v) { v.serverPort = 0; }), "--server-port"},
      {with([](WriteValues& v) { v.serverPort = 65536; }), "--server-port"},
      {with([](WriteValues& v) { v.serverPort = 65535; }), nullptr},
      {with([](WriteValues& v) { v.unitId = 0; }), "--unit-id"},
      {with([](WriteValues& v) { v.unitId = 256; }), "--unit-id"},
      {with([](WriteValues& v) { v.station = 0; }), "--station"},
      {with([](WriteValues& v) { v.station = 255; }), nullptr},
      {with([](WriteValues& v) { v.baud = 4800; }), "--baud"},
      {with([](WriteValues& v) { v.baud = 57600; }), nullptr},
      {with([](WriteValues& v) { v.timeoutMs = 150; }), "--timeout-ms"},
      {with([](WriteValues& v) { v.timeoutMs = 1100; }), "--timeout-ms"},
      {with([](WriteValues& v) { v.timeoutMs = 0; }), "--timeout-ms"},
      {with([](WriteValues& v) { v.timeoutMs = 1000; }), nullptr},
      {with([](WriteValues& v) { v.parity = "mark"; }), "--parity"},
      {with([](WriteValues& v) { v.parity = "Odd"; }), "--parity"},
      {with([](WriteValues& v) { v.ip = "10.0.0.300"; }), "--ip"},
      {with([](WriteValues& v) { v.subnet = "255.255.0"; }), "--subnet"},
      {with([](WriteValues& v) { v.gateway = "x"; }), "--gateway"},
      {with([](WriteValues& v) { v.serverIp = ""; }), "--server-ip"},
      // A bad value anywhere refuses the whole set, good ones included.
      {with([](WriteValues& v) { v.ip = "10.0.0.1", v.baud = 1; }), "--baud"},
  };
  for (const Case& c : cases) {
    GatewaySettings s;
    s.baudRate = 38400;
    const GatewaySettings before = s;
    const auto refusal = ApplyWriteValues(c.values, s);
    if (c.option == nullptr) {
      EXPECT_FALSE(refusal.has_value()) << *refusal;
    } else {
      ASSERT_TRUE(refusal.has_value()) << c.option;
      EXPECT_NE(refusal->find(c.option), std::string::npos) << *refusal;
      EXPECT_EQ(s, before) << c.option;
    }
  }
}

TEST(WriteValues, GivenValuesReplaceOnlyTheirFields) {
  GatewaySettings s;
  s.mac = {1, 2, 3, 4, 5, 6};
  s.ipAddress = 0x01020304;
  s.baudRate = 38400;
  s.rs485Id = 9;
  WriteValues v;
  v.serverIp = "10.0.0.200";
  v.parity = "even";
  v.timeoutMs = 700;
  ASSERT_FALSE(ApplyWriteValues(v, s));
  EXPECT_EQ(s.serverIpAddress, 0x0A0000C8u);
  EXPECT_EQ(s.parity, 1);
  EXPECT_EQ(s.timeoutMs, 700);
  EXPECT_EQ(s.ipAddress, 0x01020304u);
  EXPECT_EQ(s.baudRate, 38400u);
  EXPECT_EQ(s.rs485Id, 9);
  EXPECT_TRUE(WriteValues{}.Empty());
  EXPECT_FALSE(v.Empty());
}

TEST(Output, LinesAndJsonCarryEveryValue) {
  GatewaySettings s;
  s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  s.ipAddress = 0xC0A80064;
  s.subnetMask = 0xFFFFFF00;
  s.serverIpAddress = 0xC0A800C8;
  s.serverPort = 502;
  s.mbtAduId = 255;
  s.baudRate = 38400;
  s.timeoutMs = 300;
  s.parity = 2;
  s.rs485Id = 1;
  const std::vector<std::string> expected = {"MAC Address: 00-1A-2B-3C-4D-5E",
                                             "IP Address: 192.168.0.100",
                                             "Subnet Mask: 255.255.255.0",
                                             "Gateway: 0.0.0.0",
                                             "Server IP Address: 192.168.0.200",
                                             "Server Port: 502",
                                             "MODBUS TCP/IP 국번: 255",
                                             "RS422/485 통신 속도: 38400 BPS",
                                             "패러티 비트: Odd Parity",
                                             "타임아웃: 300 msec",
                                             "RS485 국번: 1"};
  EXPECT_EQ(SettingsLines(s), expected);
  EXPECT_EQ(
      SettingsJson(s),
      R"({"mac":"00-1A-2B-3C-4D-5E","ipAddress":"192.168.0.100","subnetMask":"255.255.255.0",)"
      R"("gatewayAddress":"0.0.0.0","serverIpAddress":"192.168.0.200","serverPort":502,)"
      R"("mbtAduId":255,"baudRate":38400,"timeoutMs":300,"rs485Id":1,"parity":"odd"})");
}

TEST(Output, EchoComparisonIgnoresTheMac) {
  GatewaySettings a, b;
  b.mac = {1, 2, 3, 4, 5, 6};
  EXPECT_TRUE(SameWrittenFields(a, b));
  b.serverPort = 1;
  EXPECT_FALSE(SameWrittenFields(a, b));
}

}  // namespace
}  // namespace velkorin::cli
