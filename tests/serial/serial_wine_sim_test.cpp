// The Windows serial port against the simulated gateway. run_wine_sim.sh starts velkorin-sim,
// makes its terminal a COM port of the Wine prefix and names it in VELKORIN_TEST_COM.
#include <gtest/gtest.h>

#include <windows.h>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/exchange.h"
#include "serial/serial_link.h"

namespace velkorin {
namespace {

std::string PortName() {
  const char* name = std::getenv("VELKORIN_TEST_COM");
  return name != nullptr ? name : "";
}

class RecordingView : public ExchangeView {
 public:
  void ShowMac(const GatewaySettings&) override { shown.push_back("mac"); }
  void ShowNetwork(const GatewaySettings&) override { shown.push_back("network"); }
  void ShowSerial(const GatewaySettings&) override { shown.push_back("serial"); }
  void ShowMessage(std::string_view text, MessageIcon) override { message = text; }
  std::vector<std::string> shown;
  std::string message;
};

// What the simulator holds when it starts without a state file.
GatewaySettings SimDefaults() {
  GatewaySettings s;
  s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  s.ipAddress = 0xC0A80064;
  s.subnetMask = 0xFFFFFF00;
  s.serverIpAddress = 0xC0A800C8;
  s.serverPort = 502;
  s.mbtAduId = 255;
  s.baudRate = 38400;
  s.timeoutMs = 300;
  s.rs485Id = 1;
  return s;
}

class WineSerial : public ::testing::Test {
 protected:
  void SetUp() override {
    if (PortName().empty())
      GTEST_SKIP() << "VELKORIN_TEST_COM is not set: run run_wine_sim.sh";
  }
};

TEST_F(WineSerial, ReadExchangeRoundTrip) {
  SerialLink link;
  GatewaySettings settings;
  RecordingView view;
  const ExchangeResult result = RunReadExchange(link, PortName(), settings, view);
  EXPECT_EQ(result.outcome, ExchangeOutcome::Done)
      << result.command << " " << result.linkError.text;
  EXPECT_EQ(view.shown, (std::vector<std::string>{"mac", "network", "serial"}));
  EXPECT_EQ(view.message, kMsgReadDone);
  EXPECT_EQ(settings, SimDefaults());
  EXPECT_FALSE(link.IsOpen());
}

TEST_F(WineSerial, WriteExchangeRoundTrip) {
  SerialLink link;
  GatewaySettings settings = SimDefaults();
  settings.serverPort = 1502;
  settings.baudRate = 115200;
  settings.parity = 2;
  RecordingView view;
  const ExchangeResult result = RunWriteExchange(link, PortName(), settings, view);
  EXPECT_EQ(result.outcome, ExchangeOutcome::Done)
      << result.command << " " << result.linkError.text;
  EXPECT_EQ(view.message, kMsgWriteDone);
  EXPECT_EQ(settings.serverPort, 1502);
  EXPECT_EQ(settings.baudRate, 115200u);
  EXPECT_EQ(settings.parity, 2);
  EXPECT_EQ(settings.mac, SimDefaults().mac);
}

TEST_F(WineSerial, NoAnswerFailsAfterAboutFourSeconds) {
  SerialLink link;
  ASSERT_TRUE(link.Open(PortName(), kLineSpeed)) << link.LastError().text;
  // The gateway ignores a command it does not know.
  const std::string unknown = ":X58\r";
  ASSERT_TRUE(link.Write(reinterpret_cast<const std::uint8_t*>(unknown.data()), 5, 200));
  std::uint8_t buffer[5];
  const DWORD start = GetTickCount();
  EXPECT_FALSE(link.Read(buffer, 5, 1000));
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 3800u);
  EXPECT_LT(took, 6000u);
}

TEST(WineSerialPort, AMissingPortFailsToOpen) {
  SerialLink link;
  EXPECT_FALSE(link.Open("COM250", kLineSpeed));
  EXPECT_FALSE(link.IsOpen());
  EXPECT_NE(link.LastError().code, 0);
}

}  // namespace
}  // namespace velkorin
