// The real Windows sources, run where the tests run (Wine on the build machine). Wine may have no
// COM port interface and no legacy Enum tree: what counts is that they answer without crashing and
// that failures come back as messages. Family 3 is never run here: its probe would open the
// machine's own serial ports.

#include "ports/win32_sources.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "ports/discovery.h"
#include "ports/enumerators.h"

namespace velkorin {
namespace {

TEST(Win32Sources, InterfaceEnumeratorRunsOrSaysWhy) {
  const auto source = MakeSetupApiInterfaceSource();
  PortInfoList list;
  try {
    CollectInterfacePorts(*source, list);
  } catch (const DiscoveryError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("SetupDi", 0), 0u) << e.what();
  }
  for (const SerialPortInfo& port : list) {
    EXPECT_FALSE(port.devicePath.empty());
    EXPECT_TRUE(port.portName.empty());
  }
}

TEST(Win32Sources, LegacyWalkRunsOrSaysWhy) {
  const auto registry = MakeWin32RegistryReader();
  PortInfoList list;
  try {
    WalkLegacyEnumTree(*registry, list);
  } catch (const DiscoveryError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Could not read from HKLM\\Enum", 0), 0u) << e.what();
  }
}

TEST(Win32Sources, RegistryReaderKeepsTheBufferLimits) {
  const auto registry = MakeWin32RegistryReader();
  RegistryKey key = 0;
  ASSERT_TRUE(registry->OpenKey(kLocalMachine, "SOFTWARE\\Microsoft\\Windows NT", key));
  std::array<char, kRegistryNameBufferSize> name{};
  EXPECT_TRUE(registry->EnumKey(key, 0, name));  // "CurrentVersion"
  std::array<char, 2> tiny{};
  EXPECT_FALSE(registry->EnumKey(key, 0, tiny));
  RegistryKey version = 0;
  ASSERT_TRUE(registry->OpenKey(key, "CurrentVersion", version));
  std::array<char, kRegistryValueBufferSize> value{};
  EXPECT_TRUE(registry->QueryValue(version, "CurrentVersion", value));
  EXPECT_FALSE(registry->QueryValue(version, "CurrentVersion", std::span<char>(value).first(1)));
  EXPECT_FALSE(registry->QueryValue(version, "No Such Value", value));
  registry->CloseKey(version);
  registry->CloseKey(key);
}

TEST(Win32Sources, ProbeOpensAndClosesAgain) {
  const auto probe = MakeCreateFileProbe();
  EXPECT_FALSE(probe->CanOpen("\\\\.\\VELKORIN_NO_SUCH_DEVICE"));
  // A plain file stands in for a port: opened exclusively, so a second probe only succeeds when
  // the first closed its handle.
  char folder[MAX_PATH];
  char file[MAX_PATH];
  ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "vlk", 0, file), 0u);
  EXPECT_TRUE(probe->CanOpen(file));
  EXPECT_TRUE(probe->CanOpen(file));
  DeleteFileA(file);
}

TEST(Win32Sources, PortNameListNeverThrows) {
  for (int family : {0, 5}) {
    SCOPED_TRACE(family);
    PortNameList list;
    ASSERT_NO_THROW(list = BuildPortNameList(family));
    EXPECT_GT(list.Count(), 0);
    EXPECT_EQ(list.names.size(), list.ports.size());
    if (!list.failure.empty())
      std::printf("family %d: %s\n", family, list.failure.c_str());
  }
}

}  // namespace
}  // namespace velkorin
