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

namespace velkorin {
namespace {

namespace fs = std::filesystem;

class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    Set(value);
  }
  ~ScopedEnvironment() { Set(old_); }

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

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
