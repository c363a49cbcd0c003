#include "ports/discovery.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/ports/fake_sources.h"

namespace velkorin {
namespace {

using testing::FakeDeviceInterfaces;
using testing::FakeFault;
using testing::FakeProbe;
using testing::FakeRegistry;
using testing::Instance;
using testing::Key;
using testing::Port;

// One of each source, the legacy tree holding COM2 without a friendly name.
struct Sources {
  FakeDeviceInterfaces interfaces{{Port("\\\\?\\usb#1", "USB Serial Port (COM7)")}};
  FakeRegistry registry{
      {Key("Enum", {Key("BIOS", {Key("*PNP0501", {Instance("0000", "COM2")})})})}};
  FakeProbe probe;
  PortSources sources{interfaces, registry, probe};
};

TEST(DiscoverPorts, FamilyChoosesTheEnumerator) {
  struct Case {
    int family;
    const char* firstName;
    bool probed;
  };
  const Case cases[] = {
      {0, "COM2", false},
      {1, "COM2", false},
      {2, "COM2", false},
      {3, nullptr, true},
      {4, "USB Serial Port (COM7)", false},
      {5, "USB Serial Port (COM7)", false},
      {6, "USB Serial Port (COM7)", false},
      {-1, "USB Serial Port (COM7)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.family);
    Sources s;
    PortInfoList list = {{"stale", "stale", "stale"}};
    DiscoverPorts(c.family, s.sources, list);
    if (c.firstName != nullptr) {
      ASSERT_EQ(list.size(), 1u);
      EXPECT_EQ(list[0].friendlyName, c.firstName);
    } else {
      EXPECT_TRUE(list.empty());  // nothing opens
    }
    EXPECT_EQ(s.probe.probed.size(), c.probed ? 255u : 0u);
  }
}

TEST(DiscoverPorts, ProbeKeepsWhatOpensAndStillProbesTheRecordThatMovesUp) {
  Sources s;
  s.probe.openable = {"\\\\.\\COM1", "\\\\.\\COM3"};
  PortInfoList list;
  DiscoverPorts(3, s.sources, list);
  EXPECT_EQ(list, (PortInfoList{{"\\\\.\\COM1", "COM1", "COM1"}, {"\\\\.\\COM3", "COM3", "COM3"}}));
  // Every candidate asked once, in order: COM3 was probed after moving into COM2's place.
  ASSERT_EQ(s.probe.probed.size(), 255u);
  for (std::size_t i = 0; i < s.probe.probed.size(); ++i)
    EXPECT_EQ(s.probe.probed[i], "\\\\.\\COM" + std::to_string(i + 1));

  EXPECT_EQ(MakeComPortNameList(list).names, (std::vector<std::string>{"COM1", "COM3"}));
}

TEST(DiscoverPorts, EmptyFriendlyNameTakesThePortName) {
  Sources s;
  PortInfoList list;
  DiscoverPorts(0, s.sources, list);
  EXPECT_EQ(list, (PortInfoList{{"\\\\.\\COM2", "COM2", "COM2"}}));
  EXPECT_EQ(MakeComPortNameList(list).names, std::vector<std::string>{"COM2"});
}

TEST(ComPortNameFromFriendlyName, TakesComAndTheDigitsAfterIt) {
  const auto lead = [](unsigned char b) { return b >= 0x81 && b <= 0xFE; };
  struct Case {
    const char* friendlyName;
    std::optional<std::string> name;
    bool doubleByteCodePage;
  };
  const Case cases[] = {
      {"Communications Port (COM1)", "COM1", false},
      {"USB Serial Port (COM12)", "COM12", false},
      {"COM3", "COM3", false},
      {"COM4ABC (x)", "COM4", false},    // digits stop at the first letter
      {"COMPORT (COM5)", "COM", false},  // the first "COM" counts, even with nothing after it
      {"Modem COM", "COM", false},
      {"xCOM6y", "COM6", false},
      {"Serial port (com2)", std::nullopt, false},
      {"Printer Port (LPT1)", std::nullopt, false},
      {"", std::nullopt, false},
      // In a two-byte code page "\x81" "C" is one character, so the first "COM" is the later one.
      {"\x81"
       "COM9 (COM2)",
       "COM2", true},
      {"\x81"
       "COM9 (COM2)",
       "COM9", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.friendlyName);
    EXPECT_EQ(ComPortNameFromFriendlyName(c.friendlyName, c.doubleByteCodePage ? +lead : nullptr),
              c.name);
  }
}

TEST(MakeComPortNameList, OneNamePerRecordThatYieldsOneRepeatsKept) {
  const PortInfoList ports = {
      {"\\\\?\\a", "", "USB Serial Port (COM3)"},
      {"\\\\?\\b", "COM9", "Bluetooth link"},  // a port name alone does not count
      {"\\\\?\\c", "", "Communications Port (COM3)"},
  };
  const PortNameList list = MakeComPortNameList(ports);
  EXPECT_EQ(list.names, (std::vector<std::string>{"COM3", "COM3"}));
  EXPECT_EQ(list.ports, (PortInfoList{ports[0], ports[2]}));
  EXPECT_EQ(list.Count(), 2);
  EXPECT_TRUE(list.failure.empty());
}

TEST(MakeComPortNameList, NoNameGivesComOneToComTwoHundredFiftyFive) {
  const PortNameList list = MakeComPortNameList({{"\\\\?\\a", "", "Modem"}});
  ASSERT_EQ(list.Count(), 255);
  EXPECT_EQ(list.names.front(), "COM1");
  EXPECT_EQ(list.names[99], "COM100");
  EXPECT_EQ(list.names.back(), "COM255");
  EXPECT_EQ(list.ports, PortInfoList(255));
  EXPECT_EQ(list.names, FallbackComPortNames());
}

TEST(BuildComPortNameList, NoCandidateOpensGivesTheFallbackWithoutFailure) {
  Sources s;
  const PortNameList list = BuildComPortNameList(3, s.sources);
  EXPECT_EQ(list.names, FallbackComPortNames());
  EXPECT_TRUE(list.failure.empty());
}

TEST(BuildComPortNameList, DiscoveryFailureGivesItsMessageAndTheFallback) {
  struct Case {
    int family;
    const char* message;
  };
  const Case cases[] = {
      {5, "SetupDiEnumDeviceInterfaces failed. (err=1f)"},
      {1, "Could not read from HKLM\\Enum\\BIOS"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.family);
    Sources s;
    // Each source fails after one port was found; the list must not offer it alone.
    s.interfaces.enumFault = FakeFault{1, 0x1F};
    s.registry.At("Enum").subkeys.insert(
        s.registry.At("Enum").subkeys.begin(),
        Key("ISAPNP", {Key("*PNP0501", {Instance("0000", "COM4", "Port (COM4)")})}));
    s.registry.At("Enum\\BIOS").refuseOpen = true;
    PortNameList list;
    ASSERT_NO_THROW(list = BuildComPortNameList(c.family, s.sources));
    EXPECT_EQ(list.failure, c.message);
    EXPECT_EQ(list.names, FallbackComPortNames());
    EXPECT_EQ(list.ports, PortInfoList(255));
    EXPECT_EQ(s.registry.StillOpen(), 0u);
  }
}

}  // namespace
}  // namespace velkorin
