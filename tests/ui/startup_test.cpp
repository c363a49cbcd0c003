// Start-up of the desktop program as a process.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pthread.h>

#include <csignal>
#include <cstdlib>

#include "app/startup.h"
#include "tests/support/scratch.h"

namespace velkorin {
namespace {

// The program runs offscreen with its instance lock and its settings in folders of the test.
void UseOwnFolders(QProcess& program, const QTemporaryDir& runtime, const QTemporaryDir& config) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("XDG_RUNTIME_DIR", runtime.path());
  environment.insert("XDG_CONFIG_HOME", config.path());
  environment.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(environment);
}

TEST(StartupTest, ASecondCopyEndsAtOnceSilentlyWithoutTouchingTheSettings) {
  QTemporaryDir runtime, config;
  ASSERT_TRUE(runtime.isValid() && config.isValid());
  {
    testing::ScopedEnvironment lockFolder("XDG_RUNTIME_DIR", runtime.path().toStdString());
    SingleInstanceGuard first;  // this test stands in for the copy that runs already
    ASSERT_TRUE(first.IsFirstInstance());

    QProcess second;
    UseOwnFolders(second, runtime, config);
    second.start(QStringLiteral(VELKORIN_GUI_PATH), {"--port", "/dev/null"});
    ASSERT_TRUE(second.waitForFinished(30000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(second.readAllStandardError().isEmpty());
    EXPECT_TRUE(QDir(config.path()).isEmpty());  // no settings read or written
  }
}

// A stored port that only --port offers is found and kept, and a termination signal that comes
// while the program is still starting ends it the ordinary way, with the settings saved.
TEST(StartupTest, PortsGivenOnTheCommandLineJoinTheList) {
  QTemporaryDir runtime, config, ports;
  ASSERT_TRUE(runtime.isValid() && config.isValid() && ports.isValid());
  const QString first = ports.filePath("first"), second = ports.filePath("second");
  ASSERT_TRUE(QDir(config.path()).mkpath("Ovrenta"));
  const QString ini = config.filePath("Ovrenta/velkorin.ini");
  {
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("[Tessamor]\nPort=" + second + "\nServer Port=1502\n").toUtf8());
  }
  QProcess program;
  UseOwnFolders(program, runtime, config);
  // The child starts with SIGTERM held (a signal mask is inherited), so the signal below waits
  // for the program wherever it is in its start-up, even before its own main() runs.
  sigset_t term, previous;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &previous);
  program.start(QStringLiteral(VELKORIN_GUI_PATH), {"--port", first, "--port", second});
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  ASSERT_TRUE(program.waitForStarted(30000));
  program.terminate();  // SIGTERM, at once
  ASSERT_TRUE(program.waitForFinished(30000));
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  QFile file(ini);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString saved = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(saved.contains("Port=" + second + "\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("Server Port=1502\n")) << saved.toStdString();
}

}  // namespace
}  // namespace velkorin
