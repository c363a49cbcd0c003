#include "ui/config_dialog.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include "protocol/frames.h"
#include "settings/settings.h"
#include "tests/ui/ui_fakes.h"
#include "ui/about_dialog.h"
#include "ui/dialog_templates.h"
#include "ui/ip_address_edit.h"
#include "ui/template_builder.h"
#include "ui/termination_signals.h"

namespace velkorin {
namespace {

using testing::BoxAnswerer;
using testing::MemoryProfileStore;
using testing::Q;
using testing::ScriptedLink;

// Remembers which key presses got through to a widget.
class KeyRecorder : public QObject {
 public:
  explicit KeyRecorder(QWidget* target) { target->installEventFilter(this); }
  std::vector<int> keys;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::KeyPress)
      keys.push_back(static_cast<QKeyEvent*>(event)->key());
    return false;
  }
};

class ConfigDialogTest : public ::testing::Test {
 protected:
  std::unique_ptr<ConfigDialog> Make(std::vector<std::string> ports = {"COM1", "COM3"}) {
    auto dialog = std::make_unique<ConfigDialog>(store, std::move(ports),
                                                 std::make_unique<ScriptedLink>(link));
    return dialog;
  }
  template <typename T>
  static T* ItemOf(const ConfigDialog& dialog, int id) {
    T* widget = qobject_cast<T*>(FindItem(dialog, id));
    EXPECT_NE(widget, nullptr) << "item " << id;
    return widget;
  }
  static QComboBox* List(const ConfigDialog& d, int id) { return ItemOf<QComboBox>(d, id); }
  static QLineEdit* Edit(const ConfigDialog& d, int id) { return ItemOf<QLineEdit>(d, id); }
  static IpAddressEdit* Address(const ConfigDialog& d, int id) {
    return ItemOf<IpAddressEdit>(d, id);
  }
  static void SetFields(IpAddressEdit* edit, std::array<const char*, 4> fields) {
    for (int i = 0; i < 4; ++i)
      edit->Field(i)->setText(QString::fromLatin1(fields[i]));
  }

  MemoryProfileStore store;
  ScriptedLink::State link;
};

// ---- the window as the table describes it -----------------------------------------------------

TEST_F(ConfigDialogTest, ControlsFollowTheTemplate) {
  auto dialog = Make();
  const DialogTemplate& t = ConfigDialogTemplate();
  EXPECT_EQ(dialog->windowTitle(), Q(t.caption));
  const DialogUnits units = DialogUnitsOf(dialog->font());
  EXPECT_EQ(dialog->size(), QSize(units.X(t.width), units.Y(t.height)));

  const QList<QLabel*> labels = dialog->findChildren<QLabel*>(Qt::FindDirectChildrenOnly);
  for (const DialogItem& item : t.items) {
    SCOPED_TRACE(Q(item.text).toStdString() + " / " + std::to_string(item.id));
    QWidget* widget = nullptr;
    if (item.id != kNoItemId) {
      widget = FindItem(*dialog, item.id);
    } else if (item.kind == ItemKind::GroupBox) {
      widget = dialog->findChild<QGroupBox*>();
      ASSERT_NE(widget, nullptr);
      EXPECT_EQ(static_cast<QGroupBox*>(widget)->title(), Q(item.text));
    } else {
      for (QLabel* label : labels) {
        if (label->text() == Q(item.text))
          widget = label;
      }
    }
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->x(), units.X(item.x));
    EXPECT_EQ(widget->y(), units.Y(item.y));
    EXPECT_EQ(widget->width(), units.X(item.width));
    if (item.kind != ItemKind::ComboBox) {
      EXPECT_EQ(widget->height(), units.Y(item.height));
    }
    switch (item.kind) {
      case ItemKind::PushButton:
        EXPECT_EQ(qobject_cast<QPushButton*>(widget)->text(), Q(item.text));
        break;
      case ItemKind::ComboBox:
        EXPECT_NE(qobject_cast<QComboBox*>(widget), nullptr);
        break;
      case ItemKind::IpAddress:
        EXPECT_NE(qobject_cast<IpAddressEdit*>(widget), nullptr);
        break;
      case ItemKind::Edit:
        EXPECT_EQ(qobject_cast<QLineEdit*>(widget)->isReadOnly(), (item.styles & kReadOnly) != 0);
        break;
      default:
        break;
    }
  }
  // The texts that stand in the table, exactly.
  EXPECT_EQ(Q(t.items[0].text), QStringLiteral("설정정보 쓰기"));
  EXPECT_EQ(Q(t.items[1].text), QStringLiteral("설정정보 읽기"));
  EXPECT_EQ(Q(t.items[2].text), QStringLiteral("종료"));
  EXPECT_EQ(dialog->windowTitle(),
            QStringLiteral("RS485 to MODBUS-RTU TCP/IP Client 설정 프로그램 V1.2"));
}

int FocusedItem() {
  for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget()) {
    const QVariant id = w->property(kItemIdProperty);
    if (id.isValid())
      return id.toInt();
  }
  return kNoItemId;
}

TEST_F(ConfigDialogTest, TabWalksTheTabStopsInTableOrderFromTheWriteButton) {
  auto dialog = Make();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  const auto focusedItem = FocusedItem;
  std::vector<int> expected;
  for (const DialogItem& item : ConfigDialogTemplate().items) {
    if ((item.styles & kTabStop) != 0)
      expected.push_back(item.id);
  }
  expected.push_back(expected.front());  // and round again
  std::vector<int> seen{focusedItem()};
  for (std::size_t i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    seen.push_back(focusedItem());
  }
  EXPECT_EQ(seen, expected);
  dialog->reject();
}

TEST_F(ConfigDialogTest, TabAndShiftTabLeaveAnAddressControlFromAnyField) {
  auto dialog = Make();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  auto* subnet = qobject_cast<IpAddressEdit*>(FindItem(*dialog, kSubnetMaskCtrl));
  for (int field = 0; field < 4; ++field) {
    SCOPED_TRACE(field);
    subnet->Field(field)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedItem(), kIpAddressCtrl);
    subnet->Field(field)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(FocusedItem(), kGatewayAddressCtrl);
  }
  dialog->reject();
}

// ---- filling the controls from the stored settings --------------------------------------------

struct FillCase {
  const char* name;
  std::vector<std::string> ports;
  std::map<std::string, MemoryProfileStore::Value> stored;
  int portIndex;
  const char* baud;
  const char* timeout;
  const char* parity;
  const char* mbtAduId;
  const char* rs485Id;
};

class FillControlsTest : public ConfigDialogTest, public ::testing::WithParamInterface<FillCase> {};

TEST_P(FillControlsTest, ShowsStoredValuesOrTheFirstEntry) {
  const FillCase& c = GetParam();
  for (const auto& [entry, value] : c.stored)
    store.values[entry] = value;
  auto dialog = Make(c.ports);
  EXPECT_EQ(List(*dialog, kPortList)->currentIndex(), c.portIndex);
  EXPECT_EQ(List(*dialog, kBaudRateList)->currentText(), QString::fromLatin1(c.baud));
  EXPECT_EQ(List(*dialog, kTimeoutList)->currentText(), QString::fromLatin1(c.timeout));
  EXPECT_EQ(List(*dialog, kParityList)->currentText(), QString::fromLatin1(c.parity));
  EXPECT_EQ(List(*dialog, kMbtAduIdList)->currentText(), QString::fromLatin1(c.mbtAduId));
  EXPECT_EQ(List(*dialog, kRs485IdList)->currentText(), QString::fromLatin1(c.rs485Id));
  // The stored MAC is never shown: only a gateway's answer fills these.
  for (int id = kMacEdit1; id < kMacEdit1 + 6; ++id) {
    EXPECT_TRUE(Edit(*dialog, id)->text().isEmpty());
    EXPECT_TRUE(Edit(*dialog, id)->isReadOnly());
  }
}

const std::map<std::string, MemoryProfileStore::Value> kOffList{{"Port", std::string("COM7")},
                                                                {"Baud Rate", 4800u},
                                                                {"Timeout", 250u},
                                                                {"Parity", 7u},
                                                                {"MBT ADU ID", 0u},
                                                                {"RS485 ID", 0u},
                                                                {"MAC Addr0", 0x12u}};

INSTANTIATE_TEST_SUITE_P(
    Cases, FillControlsTest,
    ::testing::Values(
        FillCase{"defaults",
                 {"COM1", "COM3"},
                 {},
                 0,
                 "38400 BPS",
                 "300 msec",
                 "None Parity",
                 "255",
                 "1"},
        FillCase{"stored",
                 {"COM1", "COM3"},
                 {{"Port", std::string("COM3")},
                  {"Baud Rate", 115200u},
                  {"Timeout", 1000u},
                  {"Parity", 1u},
                  {"MBT ADU ID", 17u},
                  {"RS485 ID", 200u}},
                 1,
                 "115200 BPS",
                 "1000 msec",
                 "Even Parity",
                 "17",
                 "200"},
        FillCase{"valuesNoListOffers",
                 {"COM1", "COM3"},
                 kOffList,
                 0,
                 "9600 BPS",
                 "100 msec",
                 "Odd Parity",
                 "1",
                 "1"},
        FillCase{"exactBeforePrefix",
                 {"COM10", "COM1"},
                 {{"Port", std::string("COM1")}},
                 1,
                 "38400 BPS",
                 "300 msec",
                 "None Parity",
                 "255",
                 "1"},
        FillCase{"caseIgnored",
                 {"COM10", "COM1"},
                 {{"Port", std::string("com1")}},
                 1,
                 "38400 BPS",
                 "300 msec",
                 "None Parity",
                 "255",
                 "1"},
        FillCase{"firstPrefixMatch",
                 {"ttyS0", "ttyUSB0", "ttyUSB1"},
                 {{"Port", std::string("ttyUSB")}},
                 1,
                 "38400 BPS",
                 "300 msec",
                 "None Parity",
                 "255",
                 "1"},
        FillCase{"noPorts", {}, {}, -1, "38400 BPS", "300 msec", "None Parity", "255", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigDialogTest, FillsAddressesServerPortAndKeepsClampedParity) {
  store.values = {{"IP Addr", 0x0A000002u},      {"Subnet Addr", 0xFFFF0000u},
                  {"Gateway Addr", 0x0A000001u}, {"Server IP Addr", 0x0A0000FEu},
                  {"Server Port", 5020u},        {"Parity", 7u}};
  auto dialog = Make();
  EXPECT_EQ(Address(*dialog, kIpAddressCtrl)->Address(), 0x0A000002u);
  EXPECT_EQ(Address(*dialog, kSubnetMaskCtrl)->Address(), 0xFFFF0000u);
  EXPECT_EQ(Address(*dialog, kGatewayAddressCtrl)->Address(), 0x0A000001u);
  EXPECT_EQ(Address(*dialog, kServerIpAddressCtrl)->Address(), 0x0A0000FEu);
  EXPECT_EQ(Edit(*dialog, kServerPortEdit)->text(), QStringLiteral("5020"));
  EXPECT_FALSE(Edit(*dialog, kServerPortEdit)->isReadOnly());
  EXPECT_EQ(dialog->Settings().parity, 2);
  EXPECT_EQ(List(*dialog, kMbtAduIdList)->count(), 255);
  EXPECT_EQ(List(*dialog, kRs485IdList)->itemText(254), QStringLiteral("255"));
}

// ---- taking the controls back -----------------------------------------------------------------

TEST_F(ConfigDialogTest, ControlsToSettingsConvertsEveryControl) {
  struct Case {
    const char* serverPort;
    std::uint16_t expectedPort;
  };
  // 70000 would be cut to 4464; it is no port, so the record keeps the one it had (5020).
  const Case cases[] = {{"", 502},        {"   ", 502},    {"  8080 ", 8080}, {"abc", 0},
                        {"65535", 65535}, {"70000", 5020}, {"12ab", 12}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serverPort);
    store.values = {{"Server Port", 5020u}, {"IP Addr", 0x01020304u}};
    auto dialog = Make();
    Edit(*dialog, kServerPortEdit)->setText(QString::fromLatin1(c.serverPort));
    dialog->ControlsToSettings();
    EXPECT_EQ(dialog->Settings().serverPort, c.expectedPort);
  }
}

TEST_F(ConfigDialogTest, ControlsToSettingsAddressesAndMac) {
  store.values = {{"IP Addr", 0x01020304u}, {"Subnet Addr", 0xFFFFFF00u}};
  auto dialog = Make();
  Address(*dialog, kIpAddressCtrl)->ClearAddress();                   // blank: keeps the record's
  SetFields(Address(*dialog, kSubnetMaskCtrl), {"10", "", "3", ""});  // partly: empties are 0
  // The edits hold two characters at most.
  const char* mac[] = {"1a", "", "zz", "FF", " 7", "0x"};
  for (int i = 0; i < 6; ++i)
    Edit(*dialog, kMacEdit1 + i)->setText(QString::fromLatin1(mac[i]));
  List(*dialog, kPortList)->setCurrentIndex(1);
  dialog->ControlsToSettings();
  const GatewaySettings& s = dialog->Settings();
  EXPECT_EQ(s.ipAddress, 0x01020304u);
  EXPECT_EQ(s.subnetMask, 0x0A000300u);
  EXPECT_EQ(s.mac, (std::array<std::uint8_t, 6>{0x1A, 0x00, 0x00, 0xFF, 0x07, 0x00}));
  EXPECT_EQ(dialog->SelectedPortName(), "COM3");
}

TEST_F(ConfigDialogTest, ControlsToSettingsListsWithNothingSelectedGiveZero) {
  auto dialog = Make();
  for (int id :
       {kPortList, kMbtAduIdList, kBaudRateList, kParityList, kTimeoutList, kRs485IdList}) {
    List(*dialog, id)->setCurrentIndex(-1);
  }
  dialog->ControlsToSettings();
  const GatewaySettings& s = dialog->Settings();
  EXPECT_EQ(s.baudRate, 0u);
  EXPECT_EQ(s.timeoutMs, 0u);
  EXPECT_EQ(s.parity, 0u);
  EXPECT_EQ(s.mbtAduId, 0u);
  EXPECT_EQ(s.rs485Id, 0u);
  EXPECT_EQ(dialog->SelectedPortName(), "");
}

TEST_F(ConfigDialogTest, ControlsToSettingsTakesTheShownListEntries) {
  store.values = {{"Baud Rate", 12345u}, {"Timeout", 250u}, {"MBT ADU ID", 0u}};
  auto dialog = Make();
  EXPECT_EQ(dialog->Settings().baudRate, 12345u);  // loaded, not yet taken from the window
  List(*dialog, kParityList)->setCurrentIndex(2);
  List(*dialog, kRs485IdList)->setCurrentIndex(9);
  dialog->ControlsToSettings();
  const GatewaySettings& s = dialog->Settings();
  EXPECT_EQ(s.baudRate, 9600u);
  EXPECT_EQ(s.timeoutMs, 100u);
  EXPECT_EQ(s.mbtAduId, 1u);
  EXPECT_EQ(s.parity, 2u);
  EXPECT_EQ(s.rs485Id, 10u);
}

// ---- the keyboard -----------------------------------------------------------------------------

TEST_F(ConfigDialogTest, EnterReachesNoControlAndEndsNothing) {
  BoxAnswerer boxes;
  auto dialog = Make();
  dialog->show();
  for (int id : std::initializer_list<int>{kWriteButton, kReadButton, kIdCancel, kServerPortEdit,
                                           kPortList}) {
    QWidget* target = FindItem(*dialog, id);
    KeyRecorder recorder(target);
    QTest::keyClick(target, Qt::Key_Return);
    QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(recorder.keys.empty()) << id;
  }
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(link.opens, 0);
  EXPECT_TRUE(boxes.boxes.empty());
  dialog->reject();
}

TEST_F(ConfigDialogTest, MacEditsLetOnlyHexDigitsAndBackspaceThrough) {
  struct Case {
    int key;
    QString text;
    bool passes;
  };
  const Case cases[] = {
      {Qt::Key_0, "0", true},
      {Qt::Key_7, "7", true},
      {Qt::Key_A, "a", true},
      {Qt::Key_F, "F", true},
      {Qt::Key_Backspace, "\b", true},
      {Qt::Key_Left, "", true},  // moves the caret, types nothing
      {Qt::Key_G, "g", false},
      {Qt::Key_Minus, "-", false},
      {Qt::Key_Space, " ", false},
      {Qt::Key_C, QString(QChar(3)), false},  // Ctrl+C
      // A Hangul letter whose low byte is '1', and a Latin-1 letter: neither is a digit.
      {Qt::Key_unknown, QString(QChar(0x3131)), false},
      {Qt::Key_Eacute, QString(QChar(0xE9)), false},
  };
  auto dialog = Make();
  QLineEdit* mac = Edit(*dialog, kMacEdit1 + 2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.toStdString());
    KeyRecorder recorder(mac);
    QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier, c.text);
    QApplication::sendEvent(mac, &press);
    EXPECT_EQ(!recorder.keys.empty(), c.passes);
  }
  // Elsewhere the same characters are not filtered.
  KeyRecorder other(Edit(*dialog, kServerPortEdit));
  QKeyEvent press(QEvent::KeyPress, Qt::Key_G, Qt::NoModifier, "g");
  QApplication::sendEvent(Edit(*dialog, kServerPortEdit), &press);
  EXPECT_EQ(other.keys.size(), 1u);
}

TEST_F(ConfigDialogTest, ServerPortTakesOnlyDigitsFromTheKeyboard) {
  auto dialog = Make();
  QLineEdit* port = Edit(*dialog, kServerPortEdit);
  port->clear();
  QTest::keyClicks(port, "5a0 2-");
  EXPECT_EQ(port->text(), QStringLiteral("502"));
}

// ---- the write's input test -------------------------------------------------------------------

struct RefusalCase {
  const char* name;
  std::function<void(ConfigDialog&)> spoil;
  std::string_view message;
};

class WriteRefusedTest : public ConfigDialogTest,
                         public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(WriteRefusedTest, ShowsTheFirstMissingInputAndOpensNoPort) {
  BoxAnswerer boxes;
  auto dialog = Make();
  GetParam().spoil(*dialog);
  const GatewaySettings before = dialog->Settings();
  dialog->OnWriteSettings();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(GetParam().message));
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(boxes.boxes[0].title, QApplication::applicationName());
  EXPECT_EQ(boxes.boxes[0].buttonCount, 1);
  EXPECT_EQ(link.opens, 0);
  EXPECT_TRUE(link.written.empty());
  EXPECT_EQ(dialog->Settings(), before);  // nothing was taken from the window
}

void ThreeFields(IpAddressEdit* edit) {
  edit->Field(3)->clear();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WriteRefusedTest,
    ::testing::Values(
        RefusalCase{"ipThreeFields",
                    [](ConfigDialog& d) {
                      ThreeFields(qobject_cast<IpAddressEdit*>(FindItem(d, kIpAddressCtrl)));
                    },
                    kMsgEnterIpAddress},
        RefusalCase{"subnetThreeFields",
                    [](ConfigDialog& d) {
                      ThreeFields(qobject_cast<IpAddressEdit*>(FindItem(d, kSubnetMaskCtrl)));
                    },
                    kMsgEnterSubnetMask},
        RefusalCase{
            "gatewayBlank",
            [](ConfigDialog& d) {
              qobject_cast<IpAddressEdit*>(FindItem(d, kGatewayAddressCtrl))->ClearAddress();
            },
            kMsgEnterGateway},
        RefusalCase{"serverIpOneField",
                    [](ConfigDialog& d) {
                      auto* e = qobject_cast<IpAddressEdit*>(FindItem(d, kServerIpAddressCtrl));
                      e->ClearAddress();
                      e->Field(0)->setText("10");
                    },
                    kMsgEnterServerIp},
        RefusalCase{"serverPortEmpty",
                    [](ConfigDialog& d) {
                      qobject_cast<QLineEdit*>(FindItem(d, kServerPortEdit))->clear();
                    },
                    kMsgEnterServerPort},
        RefusalCase{"serverPortBlanks",
                    [](ConfigDialog& d) {
                      qobject_cast<QLineEdit*>(FindItem(d, kServerPortEdit))->setText("   ");
                    },
                    kMsgEnterServerPort},
        RefusalCase{"serverPortAbove65535",
                    [](ConfigDialog& d) {
                      qobject_cast<QLineEdit*>(FindItem(d, kServerPortEdit))->setText("70000");
                    },
                    kMsgEnterServerPort},
        RefusalCase{"ipAndPortMissingShowsOnlyTheFirst",
                    [](ConfigDialog& d) {
                      qobject_cast<IpAddressEdit*>(FindItem(d, kIpAddressCtrl))->ClearAddress();
                      qobject_cast<QLineEdit*>(FindItem(d, kServerPortEdit))->clear();
                    },
                    kMsgEnterIpAddress}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- exchanges through the window, over a scripted link ---------------------------------------

GatewaySettings Device() {
  GatewaySettings s;
  s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
  s.ipAddress = 0x0A000002;
  s.subnetMask = 0xFFFF0000;
  s.gatewayAddress = 0x0A000001;
  s.serverIpAddress = 0x0A0000FE;
  s.serverPort = 5020;
  s.mbtAduId = 7;
  s.baudRate = 115200;
  s.timeoutMs = 700;
  s.parity = 1;
  s.rs485Id = 42;
  return s;
}

TEST_F(ConfigDialogTest, ReadShowsEveryValueAndClosesBeforeTheMessage) {
  const GatewaySettings device = Device();
  link.replies = {BuildMacBlock(device), BuildNetworkBlock('P', device),
                  BuildSerialBlock('Q', device)};
  BoxAnswerer boxes([this] { return link.open.load(); });
  auto dialog = Make();
  List(*dialog, kPortList)->setCurrentIndex(1);
  dialog->OnReadSettings();

  EXPECT_EQ(link.openedName, "COM3");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgReadDone));
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
  EXPECT_FALSE(boxes.boxes[0].linkOpen);
  const char* mac[] = {"00", "1A", "2B", "3C", "4D", "5E"};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(Edit(*dialog, kMacEdit1 + i)->text(), mac[i]);
  EXPECT_EQ(Address(*dialog, kIpAddressCtrl)->Address(), device.ipAddress);
  EXPECT_EQ(Address(*dialog, kServerIpAddressCtrl)->Address(), device.serverIpAddress);
  EXPECT_EQ(Edit(*dialog, kServerPortEdit)->text(), "5020");
  EXPECT_EQ(List(*dialog, kBaudRateList)->currentText(), "115200 BPS");
  EXPECT_EQ(List(*dialog, kTimeoutList)->currentText(), "700 msec");
  EXPECT_EQ(List(*dialog, kParityList)->currentText(), "Even Parity");
  EXPECT_EQ(List(*dialog, kRs485IdList)->currentText(), "42");
  EXPECT_EQ(List(*dialog, kMbtAduIdList)->currentText(), "7");
  EXPECT_EQ(dialog->Settings(), device);
  EXPECT_FALSE(dialog->IsBusy());
}

TEST_F(ConfigDialogTest, ReadFailureShowsTheMessageWhileThePortIsHeldAndKeepsDecodedValues) {
  const GatewaySettings device = Device();
  std::string badNetwork = BuildNetworkBlock('P', device);
  badNetwork[badNetwork.size() - 2] ^= 1;  // a checksum digit
  link.replies = {BuildMacBlock(device), badNetwork};
  BoxAnswerer boxes([this] { return link.open.load(); });
  auto dialog = Make();
  const std::uint32_t shownIp = Address(*dialog, kIpAddressCtrl)->Address();
  dialog->OnReadSettings();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgBadData));
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(boxes.boxes[0].linkOpen);
  EXPECT_FALSE(link.open);
  EXPECT_EQ(Edit(*dialog, kMacEdit1 + 5)->text(), "5E");
  EXPECT_EQ(Address(*dialog, kIpAddressCtrl)->Address(), shownIp);
  EXPECT_EQ(dialog->Settings().mac, device.mac);
}

TEST_F(ConfigDialogTest, RefusedPortShowsTheSystemsWordInTheDetail) {
  link.openSucceeds = false;
  link.openError = {13, "Permission denied", true};
  BoxAnswerer boxes;
  auto dialog = Make();
  dialog->OnReadSettings();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgOpenFailed));
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
  EXPECT_TRUE(boxes.boxes[0].detail.contains("Permission denied"));
  EXPECT_TRUE(boxes.boxes[0].detail.contains("dialout"));
}

TEST_F(ConfigDialogTest, WriteSendsTheWindowsValuesAndShowsTheEcho) {
  GatewaySettings echo = Device();
  echo.serverPort = 6000;  // the gateway's echo wins over what was sent
  link.replies = {BuildMacBlock(echo), BuildNetworkBlock('Y', echo), BuildSerialBlock('Z', echo),
                  ":S00\r"};
  BoxAnswerer boxes([this] { return link.open.load(); });
  auto dialog = Make();
  Address(*dialog, kIpAddressCtrl)->SetAddress(0x0A000002);
  Edit(*dialog, kServerPortEdit)->setText(" 5020 ");
  List(*dialog, kBaudRateList)->setCurrentIndex(4);
  dialog->OnWriteSettings();

  ASSERT_EQ(link.written.size(), 4u);
  GatewaySettings sent = DefaultSettings();
  sent.ipAddress = 0x0A000002;
  sent.serverPort = 5020;
  sent.baudRate = 115200;
  EXPECT_EQ(link.written[1], BuildNetworkCommand(sent));
  EXPECT_EQ(link.written[2], BuildSerialCommand(sent));
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgWriteDone));
  EXPECT_FALSE(boxes.boxes[0].linkOpen);
  EXPECT_EQ(Edit(*dialog, kServerPortEdit)->text(), "6000");
  EXPECT_EQ(dialog->Settings().serverPort, 6000);
}

TEST_F(ConfigDialogTest, WhileAnExchangeWaitsTheWindowPaintsButTakesNoInput) {
  link.holdFirstRead = true;  // the gateway is slow to answer; no reply at all in the end
  BoxAnswerer boxes;
  auto dialog = Make();
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  bool checked = false;
  QTimer::singleShot(0, dialog.get(), [&] {
    EXPECT_TRUE(dialog->IsBusy());
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_FALSE(dialog->grab().isNull());  // it still paints
    KeyRecorder recorder(FindItem(*dialog, kServerPortEdit));
    QTest::keyClicks(FindItem(*dialog, kServerPortEdit), "9");
    EXPECT_TRUE(recorder.keys.empty());
    QInputMethodEvent composed;  // what a Hangul input method hands over
    composed.setCommitString(QStringLiteral("9"));
    QApplication::sendEvent(FindItem(*dialog, kServerPortEdit), &composed);
    EXPECT_EQ(Edit(*dialog, kServerPortEdit)->text(), "502");
    QTest::mouseClick(FindItem(*dialog, kReadButton), Qt::LeftButton);
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    dialog->close();
    dialog->AboutAction()->trigger();  // would block here in a box if it opened
    EXPECT_TRUE(dialog->isVisible());
    checked = true;
    link.Release();
  });
  dialog->OnReadSettings();
  EXPECT_TRUE(checked);
  EXPECT_EQ(link.opens, 1);  // the click on the read button did not start a second exchange
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgReceiveFailed));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(dialog->isVisible());
  dialog->reject();
}

// ---- closing saves, whichever way ------------------------------------------------------------

TEST_F(ConfigDialogTest, EveryWayOutSavesWhatTheWindowShows) {
  const std::pair<const char*, std::function<void(std::unique_ptr<ConfigDialog>&)>> ways[] = {
      {"escape", [](auto& d) { QTest::keyClick(d.get(), Qt::Key_Escape); }},
      {"exitButton", [](auto& d) { qobject_cast<QPushButton*>(FindItem(*d, kIdCancel))->click(); }},
      {"closeBox", [](auto& d) { d->close(); }},
      {"applicationEnds", [](auto& d) { d.reset(); }},
  };
  for (const auto& [name, close] : ways) {
    SCOPED_TRACE(name);
    store.values = {{"MAC Addr0", 0x12u}};
    auto dialog = Make({"COM1", "COM3"});
    dialog->show();
    List(*dialog, kPortList)->setCurrentIndex(1);
    Edit(*dialog, kServerPortEdit)->setText("8080");
    close(dialog);
    EXPECT_TRUE(dialog == nullptr || !dialog->isVisible());
    EXPECT_EQ(std::get<std::string>(store.values.at("Port")), "COM3");
    EXPECT_EQ(store.Int("Server Port"), 8080u);
    EXPECT_EQ(store.Int("MAC Addr0"), 0u);  // the MAC edits were empty
    EXPECT_EQ(store.Int("Baud Rate"), 38400u);
    EXPECT_EQ(store.commits, 1);
    store.commits = 0;
    dialog.reset();
    EXPECT_EQ(store.commits, 0);  // saved once, not again when the object goes
  }
}

TEST_F(ConfigDialogTest, TerminationSignalClosesTheWindowTheOrdinaryWay) {
  auto dialog = Make();
  CloseOnTerminationSignals(*dialog);
  dialog->show();
  Edit(*dialog, kServerPortEdit)->setText("8080");
  std::raise(SIGTERM);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 5000));
  EXPECT_EQ(store.Int("Server Port"), 8080u);
}

TEST_F(ConfigDialogTest, TerminationSignalDoesNotWaitForAnOpenMessageBox) {
  auto dialog = Make();  // the scripted link has no replies: the read fails at ":O"
  CloseOnTerminationSignals(*dialog);
  dialog->show();
  Edit(*dialog, kServerPortEdit)->setText("8080");
  bool answeredByTest = false;
  const auto previous = SetMessageBoxHook([&](QMessageBox& box) {
    QTimer::singleShot(0, &box, [] { std::raise(SIGTERM); });
    // Only if the signal fails to end the box: answer it, so that the test ends and fails.
    QTimer::singleShot(5000, &box, [&] {
      answeredByTest = true;
      box.accept();
    });
  });
  dialog->OnReadSettings();
  SetMessageBoxHook(previous);
  EXPECT_FALSE(answeredByTest);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 5000));
  EXPECT_EQ(store.Int("Server Port"), 8080u);
  EXPECT_FALSE(link.open);
}

// ---- the About box ------------------------------------------------------------------------------

TEST_F(ConfigDialogTest, AboutItemInTheContextMenuOpensTheAboutBox) {
  auto dialog = Make();
  EXPECT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
  ASSERT_TRUE(dialog->actions().contains(dialog->AboutAction()));
  EXPECT_EQ(dialog->AboutAction()->text(), QStringLiteral("Velkorin 정보(&A)..."));
  EXPECT_EQ(dialog->AboutAction()->shortcut(), QKeySequence(Qt::Key_F1));

  QString caption;
  QStringList texts;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(about, nullptr);
    caption = about->windowTitle();
    for (QLabel* label : about->findChildren<QLabel*>())
      texts << label->text();
    qobject_cast<QPushButton*>(FindItem(*about, kIdOk))->click();
  });
  dialog->AboutAction()->trigger();
  EXPECT_EQ(caption, QStringLiteral("MODBUS TCP/IP 설정 프로그램 정보"));
  EXPECT_TRUE(texts.contains(QStringLiteral("MODBUS-RTU TCP/IP 설정 프로그램 버전 1.2")));
  EXPECT_TRUE(texts.contains(QStringLiteral("RS485 to TCP/IP Client Gateway for Zelkith User")));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(ConfigDialogTest, F1OpensTheAboutBox) {
  auto dialog = Make();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  bool opened = false;
  QTimer::singleShot(0, [&] {
    auto* about = qobject_cast<AboutDialog*>(QApplication::activeModalWidget());
    opened = about != nullptr;
    if (about != nullptr)
      about->reject();
  });
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
  EXPECT_TRUE(opened);
  dialog->reject();
}

TEST_F(ConfigDialogTest, EnterClosesTheAboutBox) {
  AboutDialog about;
  about.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
  QTest::keyClick(FindItem(about, kIdOk), Qt::Key_Return);
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace velkorin
