#include "ui/ip_address_edit.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace velkorin {
namespace {

// Types into whichever field has the focus, as a person does.
void Type(IpAddressEdit& edit, const QString& keys) {
  for (QChar c : keys) {
    QWidget* target = QApplication::focusWidget();
    ASSERT_NE(target, nullptr);
    ASSERT_TRUE(edit.isAncestorOf(target));
    QTest::keyClicks(target, QString(c));
  }
}

class IpAddressEditTest : public ::testing::Test {
 protected:
  void SetUp() override {
    edit.resize(200, 24);
    edit.show();
    edit.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&edit));
    edit.setFocus();
  }
  IpAddressEdit edit;
};

TEST_F(IpAddressEditTest, TypingMovesOnAtADotOrAFullField) {
  struct Case {
    const char* keys;
    std::uint32_t address;
    int filled;
  };
  const Case cases[] = {
      {"192.168.0.100", 0xC0A80064, 4},
      {"192168000100", 0xC0A80064, 4},  // three digits end a field
      {"10.1", 0x0A010000, 2},          // empty fields count as 0
      {"..10.", 0x0A000000, 1},         // a dot in an empty field does nothing
      {"300.5.6.7", 0xFF050607, 4},     // above 255 is taken as 255
      {"", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    edit.ClearAddress();
    edit.Field(0)->setFocus();
    Type(edit, QString::fromLatin1(c.keys));
    EXPECT_EQ(edit.Address(), c.address);
    EXPECT_EQ(edit.FilledFieldCount(), c.filled);
    EXPECT_EQ(edit.IsBlank(), c.filled == 0);
  }
}

TEST_F(IpAddressEditTest, NonDigitsAreNotTaken) {
  edit.ClearAddress();
  edit.Field(0)->setFocus();
  Type(edit, "1a-2");
  EXPECT_EQ(edit.Field(0)->text(), "12");
}

TEST_F(IpAddressEditTest, BackspaceInAnEmptyFieldGoesBack) {
  edit.ClearAddress();
  edit.Field(0)->setFocus();
  Type(edit, "12.");
  EXPECT_EQ(QApplication::focusWidget(), edit.Field(1));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
  EXPECT_EQ(QApplication::focusWidget(), edit.Field(0));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
  EXPECT_EQ(edit.Field(0)->text(), "1");
}

TEST_F(IpAddressEditTest, SetAddressShowsEachOctet) {
  edit.SetAddress(0xC0A800C8);
  EXPECT_EQ(edit.Field(0)->text(), "192");
  EXPECT_EQ(edit.Field(3)->text(), "200");
  EXPECT_EQ(edit.FilledFieldCount(), 4);
  edit.SetAddress(0);
  EXPECT_EQ(edit.Field(2)->text(), "0");
  EXPECT_FALSE(edit.IsBlank());  // 0.0.0.0 is an address, not a blank
}

}  // namespace
}  // namespace velkorin
