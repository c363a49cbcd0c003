// Start-up services on every platform: the Windows family, the application name, and the
// single-instance guard met from this process and from others.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_platform.h"

namespace velkorin {
namespace {

TEST(OsFamilyFromVersion, MapsEachWindowsFamily) {
  struct Case {
    std::uint32_t platformId, major, minor;
    int expected;
  };
  const std::vector<Case> cases = {
      {1, 4, 0, 0},  // 95
      {1, 4, 9, 0},
      {1, 4, 10, 1},  // 98
      {1, 4, 89, 1},
      {1, 4, 90, 2},  // Me
      {2, 4, 0, 3},   // NT 4
      {2, 3, 51, 3},  // NT 3.51
      {2, 5, 0, 4},   // 2000
      {2, 5, 1, 4},   // XP
      {2, 5, 2, 4},   // Server 2003
      {2, 6, 1, 5},   // 7
      {2, 10, 0, 5},  // 10
      {0, 3, 10, 5},  // Win32s: unknown, stays at the default
      {3, 10, 0, 5},  // CE: the same
      // Unsigned tests: a huge number is above every bound, never below.
      {2, 0xFFFFFFFF, 0, 5},
      {1, 4, 0xFFFFFFFF, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OsFamilyFromVersion(c.platformId, c.major, c.minor), c.expected)
        << c.platformId << "/" << c.major << "/" << c.minor;
  }
}

TEST(DetectOsFamily, IsTheNewestFamilyOnEverySystemThisRunsOn) {
  EXPECT_EQ(DetectOsFamily(), kDefaultOsFamily);
}

TEST(ApplicationNameFromPath, IsTheFileNameWithoutFolderAndExtension) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"C:\\Program Files\\Velkorin\\velkorin.exe", "velkorin"},
      {"/usr/bin/velkorin", "velkorin"},
      {"velkorin", "velkorin"},
      {"velkorin.exe", "velkorin"},
      {"/opt/tools.d/velkorin", "velkorin"},  // a dot in a folder name is no extension
      {"C:\\x/y\\my.tool.EXE", "my.tool"},    // only the last dot; both separators
      {"Z:\\copy of velkorin.exe", "copy of velkorin"},
      {".hidden", ""},
      {"C:\\x\\", ""},
      {"", ""},
  };
  for (const auto& [path, name] : cases) {
    EXPECT_EQ(ApplicationNameFromPath(path), name) << path;
  }
}

TEST(CurrentApplicationName, IsTheRunningExecutablesName) {
  EXPECT_EQ(CurrentApplicationName(nullptr), "app_tests");
  EXPECT_EQ(CurrentApplicationName("/somewhere/else.bin"), "app_tests");
}

class InstanceGuardTest : public ::testing::Test {
 protected:
  testing::ScopedInstanceFolder folder_;
  // A name of this test's own, so that neither a running copy of the program nor another test
  // run gets in the way.
  const std::string name_ = std::string("Druvesta-test-") + std::to_string(testing::ProcessId()) +
                            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
  const std::string probe_ = testing::SiblingProgram("instance_probe");
};

TEST_F(InstanceGuardTest, ASecondHolderInTheSameProcessIsRefusedUntilTheFirstLetsGo) {
  {
    SingleInstanceGuard first(name_);
    EXPECT_TRUE(first.IsFirstInstance());
    SingleInstanceGuard second(name_);
    EXPECT_FALSE(second.IsFirstInstance());
  }
  SingleInstanceGuard again(name_);
  EXPECT_TRUE(again.IsFirstInstance());
}

TEST_F(InstanceGuardTest, AnotherProcessIsRefusedWhileTheFirstRunsAndAcceptedAfter) {
  {
    testing::ChildProcess holder({probe_, name_, "hold"});
    ASSERT_TRUE(holder.Started()) << probe_;
    ASSERT_EQ(holder.ReadLine(), "first");

    SingleInstanceGuard here(name_);
    EXPECT_FALSE(here.IsFirstInstance());
    testing::ChildProcess other({probe_, name_});
    EXPECT_EQ(other.ReadLine(), "second");
    EXPECT_EQ(other.Wait(), 0);

    holder.CloseInput();
    EXPECT_EQ(holder.Wait(), 0);
  }
  SingleInstanceGuard after(name_);
  EXPECT_TRUE(after.IsFirstInstance());
  testing::ChildProcess late({probe_, name_});
  EXPECT_EQ(late.ReadLine(), "second");
}

}  // namespace
}  // namespace velkorin
