#include "ports/enumerators.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/ports/fake_sources.h"

namespace velkorin {
namespace {

using testing::FakeDeviceInterfaces;
using testing::FakeFault;
using testing::FakeInterface;
using testing::FakeKey;
using testing::FakeRegistry;
using testing::Instance;
using testing::Key;
using testing::Port;

SerialPortInfo Legacy(const std::string& portName, const std::string& friendlyName = "") {
  return {"\\\\.\\" + portName, portName, friendlyName};
}

// Runs `enumerate`, returning the failure's message ("" when none).
template <typename F>
std::string MessageOf(F enumerate) {
  try {
    enumerate();
  } catch (const DiscoveryError& e) {
    return e.what();
  }
  return "";
}

// ---- Device interfaces -------------------------------------------------------------------------

TEST(CollectInterfacePorts, NoInterfaceIsNoFailure) {
  FakeDeviceInterfaces source;
  PortInfoList list;
  EXPECT_NO_THROW(CollectInterfacePorts(source, list));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(source.setsDestroyed, 1);
}

TEST(CollectInterfacePorts, ListsInterfacesWithFriendlyNameAndDescription) {
  FakeDeviceInterfaces source({
      Port("\\\\?\\acpi#pnp0501#1#{86e0d1e0}", "Communications Port (COM1)"),
      {"\\\\?\\usb#no-description", "USB Serial Port (COM4)", std::nullopt},
      {"\\\\?\\usb#no-friendly-name", std::nullopt, "USB Serial Port"},
      Port("\\\\?\\usb#vid_0403&pid_6001", "USB Serial Port (COM7)"),
  });
  PortInfoList list = {Legacy("COM9")};  // what the caller had stays in front
  CollectInterfacePorts(source, list);
  EXPECT_EQ(list,
            (PortInfoList{Legacy("COM9"),
                          {"\\\\?\\acpi#pnp0501#1#{86e0d1e0}", "", "Communications Port (COM1)"},
                          {"\\\\?\\usb#vid_0403&pid_6001", "", "USB Serial Port (COM7)"}}));
  EXPECT_EQ(source.setsDestroyed, 1);
}

TEST(CollectInterfacePorts, FailuresReleaseTheSetAndKeepWhatWasFound) {
  struct Case {
    const char* what;
    std::optional<std::uint32_t> openError;
    std::optional<FakeFault> enumFault;
    std::optional<FakeFault> detailFault;
    const char* message;
    std::size_t kept;
    int destroyed;
  };
  const Case cases[] = {
      {"no set", 5, {}, {}, "SetupDiGetClassDevs failed. (err=5)", 0, 0},
      {"enumeration",
       {},
       FakeFault{2, 0xE0000203},
       {},
       "SetupDiEnumDeviceInterfaces failed. (err=e0000203)",
       2,
       1},
      {"detail",
       {},
       {},
       FakeFault{1, 0x57},
       "SetupDiGetDeviceInterfaceDetail failed. (err=57)",
       1,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeDeviceInterfaces source(
        {Port("\\\\?\\a", "A (COM1)"), Port("\\\\?\\b", "B (COM2)"), Port("\\\\?\\c", "C (COM3)")});
    source.openError = c.openError;
    source.enumFault = c.enumFault;
    source.detailFault = c.detailFault;
    PortInfoList list;
    EXPECT_EQ(MessageOf([&] { CollectInterfacePorts(source, list); }), c.message);
    EXPECT_EQ(list.size(), c.kept);
    EXPECT_EQ(source.setsDestroyed, c.destroyed);
  }
}

TEST(CollectInterfacePorts, DevicePathMustFitTheDetailBuffer) {
  // 261 bytes: the 4-byte size field, then at most 256 characters and the NUL.
  const std::string longest = "\\\\?\\" + std::string(252, 'p');
  ASSERT_EQ(longest.size(), 256u);
  FakeDeviceInterfaces source(
      {Port(longest, "A (COM1)"), Port(longest + "q", "B (COM2)"), Port("\\\\?\\c", "C (COM3)")});
  PortInfoList list;
  EXPECT_EQ(MessageOf([&] { CollectInterfacePorts(source, list); }),
            "SetupDiGetDeviceInterfaceDetail failed. (err=7a)");
  EXPECT_EQ(list, (PortInfoList{{longest, "", "A (COM1)"}}));
  EXPECT_EQ(source.setsDestroyed, 1);
}

TEST(CollectInterfacePorts, FriendlyNameTooLongForItsBufferSkipsThePort) {
  const std::string longest = std::string(248, 'x') + " (COM1)";
  ASSERT_EQ(longest.size(), 255u);
  FakeDeviceInterfaces source(
      {Port("\\\\?\\a", longest), Port("\\\\?\\b", longest + "y"), Port("\\\\?\\c", "C (COM3)")});
  PortInfoList list;
  CollectInterfacePorts(source, list);
  EXPECT_EQ(list, (PortInfoList{{"\\\\?\\a", "", longest}, {"\\\\?\\c", "", "C (COM3)"}}));
}

// ---- Candidates --------------------------------------------------------------------------------

TEST(ListCandidatePorts, ComOneToComTwoHundredFiftyFive) {
  PortInfoList list;
  ListCandidatePorts(list);
  ASSERT_EQ(list.size(), 255u);
  EXPECT_EQ(list.front(), Legacy("COM1"));
  EXPECT_EQ(list[9], Legacy("COM10"));
  EXPECT_EQ(list.back(), Legacy("COM255"));
}

// ---- Legacy registry tree ----------------------------------------------------------------------

TEST(WalkLegacyEnumTree, ReadsComPortInstancesOfEveryBus) {
  FakeRegistry registry({Key(
      "Enum",
      {
          Key("Root", {Key("*PNP0400", {Instance("0000", "LPT1", "Printer Port (LPT1)")})}),
          Key("BIOS", {Key("*PNP0501", {Instance("0000", "COM1", "Communications Port (COM1)"),
                                        Instance("0001", "COM2"),
                                        Instance("0002", std::nullopt, "No name (COM9)")})}),
          Key("USBPORTS", {Key("FTDIBUS", {Instance("0000", "COM5", "USB Serial Port (COM5)")})}),
      })});
  PortInfoList list;
  WalkLegacyEnumTree(registry, list);
  EXPECT_EQ(list, (PortInfoList{Legacy("COM1", "Communications Port (COM1)"), Legacy("COM2"),
                                Legacy("COM5", "USB Serial Port (COM5)")}));
  EXPECT_EQ(registry.StillOpen(), 0u);
}

TEST(WalkLegacyEnumTree, WhichDeviceKeysAreRead) {
  struct Case {
    const char* bus;
    const char* device;
    bool read;
  };
  const Case cases[] = {
      {"BIOS", "*PNP0500", true},  {"ISAPNP", "*PNP0501", true},   {"BIOS", "*pnp0501", false},
      {"BIOS", "*PNP0502", false}, {"USBPORTS", "VID_067B", true}, {"UsbPorts", "VID_067B", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.bus) + "\\" + c.device);
    FakeRegistry registry(
        {Key("Enum", {Key(c.bus, {Key(c.device, {Instance("0000", "COM3", "Port (COM3)")})})})});
    PortInfoList list;
    WalkLegacyEnumTree(registry, list);
    EXPECT_EQ(list.size(), c.read ? 1u : 0u);
    EXPECT_EQ(registry.StillOpen(), 0u);
  }
}

TEST(WalkLegacyEnumTree, SamePortNameMergesAtTheFirstPlace) {
  FakeRegistry registry({Key(
      "Enum",
      {
          Key("BIOS", {Key("*PNP0501", {Instance("0000", "COM1", "Communications Port (COM1)"),
                                        Instance("0001", "COM2", "Communications Port (COM2)")})}),
          Key("USBPORTS", {Key("PL2303", {Instance("0000", "COM1", "Prolific USB (COM1)"),
                                          Instance("0001", "com2", "lower case (com2)")})}),
      })});
  PortInfoList list;
  WalkLegacyEnumTree(registry, list);
  EXPECT_EQ(list, (PortInfoList{Legacy("COM1", "Prolific USB (COM1)"),
                                Legacy("COM2", "Communications Port (COM2)"),
                                Legacy("com2", "lower case (com2)")}));
}

TEST(WalkLegacyEnumTree, FailureAtEachLevelClosesEveryKeyAndKeepsTheRecords) {
  struct Case {
    const char* refused;
    const char* message;
    PortInfoList kept;
  };
  const Case cases[] = {
      {"Enum", "Could not read from HKLM\\Enum", {}},
      {"Enum\\ISAPNP", "Could not read from HKLM\\Enum\\ISAPNP", {Legacy("COM1"), Legacy("COM2")}},
      {"Enum\\ISAPNP\\*PNP0500",
       "Could not read from HKLM\\Enum\\ISAPNP\\*PNP0500",
       {Legacy("COM1"), Legacy("COM2")}},
      {"Enum\\ISAPNP\\*PNP0500\\0001",
       "Could not read from HKLM\\Enum\\...\\0001",
       {Legacy("COM1"), Legacy("COM2"), Legacy("COM3")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.refused);
    FakeRegistry registry({Key(
        "Enum",
        {
            Key("BIOS", {Key("*PNP0501", {Instance("0000", "COM1"), Instance("0001", "COM2")})}),
            Key("ISAPNP", {Key("*PNP0500", {Instance("0000", "COM3"), Instance("0001", "COM4")})}),
        })});
    registry.At(c.refused).refuseOpen = true;
    PortInfoList list;
    EXPECT_EQ(MessageOf([&] { WalkLegacyEnumTree(registry, list); }), c.message);
    EXPECT_EQ(list, c.kept);
    EXPECT_EQ(registry.StillOpen(), 0u);
  }
}

TEST(WalkLegacyEnumTree, NamesAndValuesMustFitTheirBuffers) {
  // 128-byte buffers: 127 characters and the NUL fit, 128 characters do not.
  const std::string fits(127, 'n');
  const std::string tooLong(128, 'n');
  FakeRegistry registry({Key(
      "Enum",
      {
          Key(fits, {Key("*PNP0501",
                         {
                             Instance("0000", fits),  // a port name of 127 characters
                             Instance("0001", tooLong, "Long (COM6)"),  // unreadable: no record
                             Instance("0002", "COM7", tooLong),  // unreadable friendly name: empty
                             Instance(tooLong, "COM8"),          // ends this device's instances
                             Instance("0004", "COM9"),
                         })}),
          Key(tooLong, {Key("*PNP0501", {Instance("0000", "COM10")})}),  // ends the buses
          Key("BIOS", {Key("*PNP0501", {Instance("0000", "COM11")})}),
      })});
  PortInfoList list;
  WalkLegacyEnumTree(registry, list);
  EXPECT_EQ(list, (PortInfoList{Legacy(fits), Legacy("COM7")}));
  EXPECT_EQ(registry.StillOpen(), 0u);
}

}  // namespace
}  // namespace velkorin
