// Where the POSIX guard keeps its lock file, and what it refuses to touch there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "app/instance_lock_posix.h"
#include "app/startup.h"
#include "test_platform.h"
#include "tests/support/scratch.h"

namespace velkorin {
namespace {

namespace fs = std::filesystem;

using testing::ScopedEnvironment;

TEST(InstanceLockPath, IsPerUserInTheRuntimeFolderElseInTheTemporaryFolder) {
  testing::ScopedInstanceFolder runtime;  // sets XDG_RUNTIME_DIR to a folder of ours
  const std::string uid = std::to_string(::geteuid());
  EXPECT_EQ(InstanceLockPath("Druvesta"), runtime.Path() + "/Druvesta.lock");

  ScopedEnvironment tmp("TMPDIR", "/var/tmp");
  {
    ScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
    EXPECT_EQ(InstanceLockPath("Druvesta"), "/var/tmp/Druvesta-" + uid + ".lock");
  }
  {
    ScopedEnvironment relative("XDG_RUNTIME_DIR", "run/user");
    EXPECT_EQ(InstanceLockPath("Druvesta"), "/var/tmp/Druvesta-" + uid + ".lock");
  }
  {
    ScopedEnvironment missing("XDG_RUNTIME_DIR", runtime.Path() + "/no-such-folder");
    EXPECT_EQ(InstanceLockPath("Druvesta"), "/var/tmp/Druvesta-" + uid + ".lock");
  }
  {
    ScopedEnvironment unset("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnvironment relativeTmp("TMPDIR", "tmp");
    EXPECT_EQ(InstanceLockPath("a/b"), "/tmp/a_b-" + uid + ".lock");
  }
}

TEST(SingleInstanceGuard, DoesNotFollowALinkPlantedUnderItsName) {
  testing::ScopedInstanceFolder runtime;
  const std::string name = "Druvesta-link-" + std::to_string(::getpid());
  const fs::path target = fs::path(runtime.Path()) / "victim";
  fs::create_symlink(target, InstanceLockPath(name));

  SingleInstanceGuard guard(name);
  EXPECT_TRUE(guard.IsFirstInstance());  // can't tell, so it doesn't keep the program from running
  EXPECT_FALSE(fs::exists(target));
}

}  // namespace
}  // namespace velkorin
