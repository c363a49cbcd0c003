#pragma once

#include <QDialog>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "protocol/exchange.h"
#include "protocol/gateway_settings.h"
#include "protocol/link.h"
#include "settings/profile_store.h"

class QAction;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace velkorin {

class IpAddressEdit;

// The main window. It shows the stored settings, offers the port names, runs the read and write
// exchanges from its two buttons over its link, and saves the settings whenever it closes.
//
// An exchange runs on a worker thread while this window takes no input (it still paints and
// shows a busy cursor); the exchange's reports come back to this thread, one at a time, and the
// worker waits for each, so the message order of the exchanges holds as written.
class ConfigDialog : public QDialog, public ExchangeView {
  Q_OBJECT

 public:
  // `store` must outlive the window. `link` is the serial link of every exchange.
  ConfigDialog(ProfileStore& store, std::vector<std::string> portNames, std::unique_ptr<Link> link,
               QWidget* parent = nullptr);
  ~ConfigDialog() override;

  void OnReadSettings();
  void OnWriteSettings();
  // True when the four addresses are complete and the server port is usable; otherwise shows
  // the message of the first input that is not.
  bool ValidateAddressInputs();
  // Copies the controls into the record and the port list's text into the chosen port name.
  void ControlsToSettings();
  void ShowAbout();
  // Closes the window as its close box does; during an exchange, as soon as it has ended.
  void RequestClose();

  const GatewaySettings& Settings() const { return settings_; }
  const std::string& SelectedPortName() const { return selectedPortName_; }
  QAction* AboutAction() const { return aboutAction_; }
  bool IsBusy() const { return busy_; }

  // ExchangeView, on this window's thread.
  void ShowMac(const GatewaySettings& settings) override;
  void ShowNetwork(const GatewaySettings& settings) override;
  void ShowSerial(const GatewaySettings& settings) override;
  void ShowMessage(std::string_view text, MessageIcon icon) override;

 public slots:
  void done(int result) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

 private:
  void FillControls();
  void OnDestroy();
  void RunExchange(bool write);
  bool IsOwnWidget(const QObject* object) const;
  bool IsMacEdit(const QObject* object) const;

  ProfileStore& store_;
  std::vector<std::string> portNames_;
  std::unique_ptr<Link> link_;
  GatewaySettings settings_;
  std::string selectedPortName_;

  QComboBox* portList_ = nullptr;
  std::array<QLineEdit*, 6> macEdits_{};
  std::array<IpAddressEdit*, 4> addressCtrls_{};  // IP address, subnet mask, gateway, server
  QLineEdit* serverPortEdit_ = nullptr;
  QComboBox* mbtAduIdList_ = nullptr;
  QComboBox* baudRateList_ = nullptr;
  QComboBox* parityList_ = nullptr;
  QComboBox* timeoutList_ = nullptr;
  QComboBox* rs485IdList_ = nullptr;
  QPushButton* writeButton_ = nullptr;
  QPushButton* readButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;
  QAction* aboutAction_ = nullptr;

  bool busy_ = false;
  bool closeRequested_ = false;
  bool closed_ = false;  // the settings were saved since the window was last shown
};

// The texts the window offers in its lists, and the parity names.
inline constexpr std::array<std::uint32_t, 5> kBaudRateTable{9600, 19200, 38400, 57600, 115200};
inline constexpr std::array<std::uint16_t, 10> kTimeoutTable{100, 200, 300, 400, 500,
                                                             600, 700, 800, 900, 1000};

}  // namespace velkorin
