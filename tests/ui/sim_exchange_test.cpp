// The window against the simulated gateway on a pseudo-terminal, through the real serial link.
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "serial/serial_link.h"
#include "tests/ui/ui_fakes.h"
#include "ui/config_dialog.h"
#include "ui/dialog_templates.h"
#include "ui/ip_address_edit.h"
#include "ui/template_builder.h"

namespace velkorin {
namespace {

using testing::BoxAnswerer;
using testing::MemoryProfileStore;
using testing::Q;

constexpr char kDeviceState[] = R"({
  "mac": "00-1A-2B-3C-4D-5E",
  "ipAddress": "10.0.0.2",
  "subnetMask": "255.255.0.0",
  "gatewayAddress": "10.0.0.1",
  "serverIpAddress": "10.0.0.254",
  "serverPort": 5020,
  "mbtAduId": 7,
  "baudRate": 19200,
  "timeoutMs": 700,
  "parity": 1,
  "rs485Id": 42
}
)";

class SimExchangeTest : public ::testing::Test {
 protected:
  // Starts the simulator and waits for the line that names its terminal.
  void Start(const QStringList& faults = {}) {
    ASSERT_TRUE(dir.isValid());
    statePath = dir.filePath("gateway.json");
    std::ofstream(statePath.toStdString()) << kDeviceState;
    QStringList arguments{"--state", statePath};
    for (const QString& fault : faults)
      arguments << "--fault" << fault;
    sim.start(QStringLiteral(VELKORIN_SIM_PATH), arguments);
    ASSERT_TRUE(sim.waitForStarted(10000));
    while (!sim.canReadLine())
      ASSERT_TRUE(sim.waitForReadyRead(10000)) << "no terminal named";
    ptyPath = QString::fromUtf8(sim.readLine()).trimmed().toStdString();
    ASSERT_FALSE(ptyPath.empty());
    dialog = std::make_unique<ConfigDialog>(store, std::vector<std::string>{ptyPath},
                                            std::make_unique<SerialLink>());
  }
  void TearDown() override {
    dialog.reset();
    if (sim.state() != QProcess::NotRunning) {
      sim.terminate();
      sim.waitForFinished(10000);
    }
  }
  std::string State() const {
    std::ifstream in(statePath.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  QWidget* Item(int id) const { return FindItem(*dialog, id); }
  QString Text(int id) const {
    if (auto* list = qobject_cast<QComboBox*>(Item(id)))
      return list->currentText();
    return qobject_cast<QLineEdit*>(Item(id))->text();
  }
  IpAddressEdit* Address(int id) const { return qobject_cast<IpAddressEdit*>(Item(id)); }

  QTemporaryDir dir;
  QString statePath;
  QProcess sim;
  std::string ptyPath;
  MemoryProfileStore store;
  std::unique_ptr<ConfigDialog> dialog;
};

TEST_F(SimExchangeTest, ReadThenWriteThenReadBack) {
  Start();
  BoxAnswerer boxes;
  dialog->OnReadSettings();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgReadDone));
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(Text(kMacEdit1 + 1), "1A");
  EXPECT_EQ(Address(kIpAddressCtrl)->Address(), 0x0A000002u);
  EXPECT_EQ(Address(kSubnetMaskCtrl)->Address(), 0xFFFF0000u);
  EXPECT_EQ(Text(kServerPortEdit), "5020");
  EXPECT_EQ(Text(kBaudRateList), "19200 BPS");
  EXPECT_EQ(Text(kTimeoutList), "700 msec");
  EXPECT_EQ(Text(kParityList), "Even Parity");
  EXPECT_EQ(Text(kRs485IdList), "42");
  EXPECT_EQ(Text(kMbtAduIdList), "7");

  Address(kIpAddressCtrl)->SetAddress(0x0A090807);
  qobject_cast<QLineEdit*>(Item(kServerPortEdit))->setText("6000");
  qobject_cast<QComboBox*>(Item(kBaudRateList))->setCurrentIndex(3);  // 57600 BPS
  dialog->OnWriteSettings();
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].text, Q(kMsgWriteDone));
  const std::string state = State();
  EXPECT_NE(state.find("\"10.9.8.7\""), std::string::npos) << state;
  EXPECT_NE(state.find("\"serverPort\": 6000"), std::string::npos) << state;
  EXPECT_NE(state.find("\"baudRate\": 57600"), std::string::npos) << state;

  Address(kIpAddressCtrl)->ClearAddress();
  dialog->OnReadSettings();
  ASSERT_EQ(boxes.boxes.size(), 3u);
  EXPECT_EQ(boxes.boxes[2].text, Q(kMsgReadDone));
  EXPECT_EQ(Address(kIpAddressCtrl)->Address(), 0x0A090807u);
  EXPECT_EQ(Text(kBaudRateList), "57600 BPS");
}

TEST_F(SimExchangeTest, BadChecksumIsReportedWhileThePortIsStillHeld) {
  Start({"P:badsum"});
  // A second open of the same terminal fails while the window holds it: that is how the test
  // sees, from the box, that the port is still held.
  bool heldDuringBox = false;
  BoxAnswerer boxes;
  boxes.onBox = [&](QMessageBox&) {
    SerialLink probe;
    heldDuringBox = !probe.Open(ptyPath, 115200);
  };
  dialog->OnReadSettings();
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, Q(kMsgBadData));
  EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
  EXPECT_TRUE(heldDuringBox);
  EXPECT_EQ(Text(kMacEdit1 + 5), "5E");
  SerialLink after;
  EXPECT_TRUE(after.Open(ptyPath, 115200));  // released once the box was answered
}

}  // namespace
}  // namespace velkorin
