// Start-up of the desktop program as a process.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/startup.h"

namespace velkorin {
namespace {

TEST(StartupTest, ASecondCopyEndsAtOnceSilentlyWithoutTouchingTheSettings) {
  QTemporaryDir runtime, config;
  ASSERT_TRUE(runtime.isValid() && config.isValid());
  const char* previous = std::getenv("XDG_RUNTIME_DIR");
  const std::string saved = previous != nullptr ? previous : "";
  setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
  {
    SingleInstanceGuard first;  // this test stands in for the copy that runs already
    ASSERT_TRUE(first.IsFirstInstance());

    QProcess second;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_RUNTIME_DIR", runtime.path());
    environment.insert("XDG_CONFIG_HOME", config.path());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(VELKORIN_GUI_PATH), {"--port", "/dev/null"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_TRUE(QDir(config.path()).isEmpty());  // no settings read or written
  }
  if (previous != nullptr) {
    setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

}  // namespace
}  // namespace velkorin
