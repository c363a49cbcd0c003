// The registry store, on the registry of the test's own Windows (Wine) user. Each test works under
// a key of a name of its own and removes it afterwards.
#include "settings/registry_profile_store_win32.h"

#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> maps these names to its own ANSI/Unicode profile functions; here they name the
// store's operations.
#undef GetProfileString
#undef GetProfileInt
#undef WriteProfileString
#undef WriteProfileInt

#include <cstdint>
#include <string>

#include "settings/settings.h"

namespace velkorin {
namespace {

GatewaySettings SampleSettings() {
  GatewaySettings s;
  s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFF};
  s.ipAddress = 0x0A000001;
  s.subnetMask = 0xFFFF0000;
  s.gatewayAddress = 0x0A0000FE;
  s.serverIpAddress = 0xFFFFFFFF;
  s.serverPort = 65535;
  s.mbtAduId = 7;
  s.baudRate = 115200;
  s.timeoutMs = 1000;
  s.parity = 2;
  s.rs485Id = 31;
  return s;
}

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    applicationName_ = std::string("velkorin-test-") + test->name() + "-" +
                       std::to_string(::GetCurrentProcessId());
    keyPath_ = "Software\\Ovrenta\\" + applicationName_;
    sectionPath_ = keyPath_ + "\\Tessamor";
  }
  void TearDown() override {
    ::RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str());
    ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Ovrenta");  // only goes when left empty
  }

  bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(key);
    return true;
  }

  void SetRaw(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, sectionPath_.c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(::RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  DWORD TypeOf(const char* name) {
    DWORD type = REG_NONE;
    EXPECT_EQ(::RegGetValueA(HKEY_CURRENT_USER, sectionPath_.c_str(), name, RRF_RT_ANY, &type,
                             nullptr, nullptr),
              ERROR_SUCCESS)
        << name;
    return type;
  }

  std::string applicationName_;
  std::string keyPath_;
  std::string sectionPath_;
};

TEST_F(RegistryStoreTest, FirstRunGivesEveryDefaultAndCreatesNoKey) {
  auto store = OpenUserProfileStore(applicationName_);
  std::string port;
  GatewaySettings settings;
  LoadSettings(*store, port, settings);
  EXPECT_EQ(port, "COM1");
  EXPECT_EQ(settings, DefaultSettings());
  EXPECT_FALSE(KeyExists(keyPath_));
}

TEST_F(RegistryStoreTest, SavesTextAndNumbersUnderTheApplicationsKey) {
  {
    auto store = OpenUserProfileStore(applicationName_);
    SaveSettings(*store, "", SampleSettings());
  }
  EXPECT_EQ(TypeOf("Port"), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(TypeOf("MAC Addr5"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("Server IP Addr"), static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(TypeOf("RS485 ID"), static_cast<DWORD>(REG_DWORD));

  RegistryProfileStore store(applicationName_);
  std::string port = "COM9";
  GatewaySettings settings;
  LoadSettings(store, port, settings);
  EXPECT_EQ(port, "");  // an empty port name stays empty
  EXPECT_EQ(settings, SampleSettings());
}

TEST_F(RegistryStoreTest, AValueOfAnotherTypeCountsAsMissing) {
  const DWORD five = 5;
  const char one[] = "1";
  const unsigned char bytes[4] = {1, 2, 3, 4};
  const std::uint64_t wide = 9600;
  SetRaw("Port", REG_DWORD, &five, sizeof five);
  SetRaw("IP Addr", REG_SZ, one, sizeof one);
  SetRaw("Baud Rate", REG_QWORD, &wide, sizeof wide);
  SetRaw("Timeout", REG_BINARY, bytes, sizeof bytes);
  SetRaw("Server Port", REG_EXPAND_SZ, one, sizeof one);
  SetRaw("RS485 ID", REG_DWORD_BIG_ENDIAN, &five, sizeof five);
  SetRaw("MBT ADU ID", REG_DWORD, bytes, 2);  // too short for a DWORD

  RegistryProfileStore store(applicationName_);
  std::string port;
  GatewaySettings settings;
  LoadSettings(store, port, settings);
  EXPECT_EQ(port, "COM1");
  EXPECT_EQ(settings, DefaultSettings());
}

TEST_F(RegistryStoreTest, TextWithoutItsNulReadsWhole) {
  SetRaw("Port", REG_SZ, "COM12", 5);
  RegistryProfileStore store(applicationName_);
  EXPECT_EQ(store.GetProfileString("Tessamor", "Port", "-"), "COM12");
}

}  // namespace
}  // namespace velkorin
