// The GUI tests need one QApplication for the whole run; scripts/test picks the offscreen
// platform, and so does this file when nothing else was chosen.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr)
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("velkorin-test"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
