#include "ui/config_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <atomic>
#include <thread>

#include "protocol/messages.h"
#include "settings/settings.h"
#include "ui/about_dialog.h"
#include "ui/app_icon.h"
#include "ui/control_values.h"
#include "ui/dialog_templates.h"
#include "ui/ip_address_edit.h"
#include "ui/message_box.h"
#include "ui/system_menu.h"
#include "ui/template_builder.h"

namespace velkorin {
namespace {

constexpr std::array<const char*, 3> kParityNames{"None Parity", "Even Parity", "Odd Parity"};
constexpr std::size_t kBaudSuffixLength = 4;     // " BPS"
constexpr std::size_t kTimeoutSuffixLength = 5;  // " msec"

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString BaudRateText(std::uint32_t baudRate) {
  return QStringLiteral("%1 BPS").arg(baudRate);
}
QString TimeoutText(std::uint16_t timeoutMs) {
  return QStringLiteral("%1 msec").arg(timeoutMs);
}

// The item for `text`: the one that is exactly it (letter case ignored) or else the first that
// begins with it. Preferring the exact match keeps a stored COM1 from picking COM10 when COM10
// comes first; in the numeric lists, whose items rise in value, both rules pick the same item.
int MatchingItem(const QComboBox& list, const QString& text) {
  int prefix = -1;
  for (int i = 0; i < list.count(); ++i) {
    const QString item = list.itemText(i);
    if (item.compare(text, Qt::CaseInsensitive) == 0)
      return i;
    if (prefix < 0 && item.startsWith(text, Qt::CaseInsensitive))
      prefix = i;
  }
  return prefix;
}

// Filling from the stored settings: the matching item, else the first one.
void SelectOrFirst(QComboBox& list, const QString& text) {
  const int match = MatchingItem(list, text);
  list.setCurrentIndex(match >= 0 ? match : (list.count() > 0 ? 0 : -1));
}

// Showing what the gateway reported: the matching item; a value the list doesn't offer leaves
// the selection as it was.
void SelectIfOffered(QComboBox& list, const QString& text) {
  const int match = MatchingItem(list, text);
  if (match >= 0)
    list.setCurrentIndex(match);
}

void FillNumbers(QComboBox& list) {
  for (int n = 1; n <= 255; ++n)
    list.addItem(QString::number(n));
}

// The system's word on a failed exchange, for the detail of the message box.
QString DescribeLinkError(const LinkError& error) {
  QString detail = ToQString(error.text);
  if (detail.isEmpty() && error.code != 0)
    detail = QStringLiteral("error %1").arg(error.code);
  if (error.permissionDenied) {
    detail += QStringLiteral(
        "\n\n이 계정에는 통신 포트를 쓸 권한이 없습니다. 계정을 dialout 그룹에 추가하고 "
        "(sudo usermod -aG dialout $USER) 다시 로그인하십시오.");
  }
  return detail.trimmed();
}

// Whether a key typed into a MAC edit reaches it: hexadecimal digits and Backspace do, and the
// keys that type nothing (arrows, Tab, Escape and the like, which move the focus or end the
// window). Every other character is dropped, control characters and non-ASCII ones included.
bool MacKeyPasses(const QKeyEvent& key) {
  switch (key.key()) {
    case Qt::Key_Backspace:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
      return true;
    default:
      break;
  }
  const QString text = key.text();
  if (text.isEmpty())
    return true;
  if (text.size() != 1)
    return false;
  const char16_t c = text.front().unicode();
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

bool IsInputEvent(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::InputMethod:  // text committed by an input method (Hangul, for one)
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// Carries the exchange's reports from the worker thread to the window, and waits until the
// window has done each: the link stays untouched while a message box is open.
class GuiThreadView final : public ExchangeView {
 public:
  explicit GuiThreadView(ConfigDialog& dialog) : dialog_(dialog) {}
  void ShowMac(const GatewaySettings& s) override {
    Call([&] { dialog_.ShowMac(s); });
  }
  void ShowNetwork(const GatewaySettings& s) override {
    Call([&] { dialog_.ShowNetwork(s); });
  }
  void ShowSerial(const GatewaySettings& s) override {
    Call([&] { dialog_.ShowSerial(s); });
  }
  void ShowMessage(std::string_view text, MessageIcon icon) override {
    Call([&] { dialog_.ShowMessage(text, icon); });
  }

 private:
  template <typename F>
  void Call(F work) {
    QMetaObject::invokeMethod(&dialog_, work, Qt::BlockingQueuedConnection);
  }
  ConfigDialog& dialog_;
};

}  // namespace

ConfigDialog::ConfigDialog(ProfileStore& store, std::vector<std::string> portNames,
                           std::unique_ptr<Link> link, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      store_(store),
      portNames_(std::move(portNames)),
      link_(std::move(link)) {
  BuildFromTemplate(*this, ConfigDialogTemplate(), AppIcon());
  const auto item = [this](int id) { return FindItem(*this, id); };
  portList_ = qobject_cast<QComboBox*>(item(kPortList));
  for (int i = 0; i < 6; ++i) {
    macEdits_[static_cast<std::size_t>(i)] = qobject_cast<QLineEdit*>(item(kMacEdit1 + i));
  }
  addressCtrls_ = {qobject_cast<IpAddressEdit*>(item(kIpAddressCtrl)),
                   qobject_cast<IpAddressEdit*>(item(kSubnetMaskCtrl)),
                   qobject_cast<IpAddressEdit*>(item(kGatewayAddressCtrl)),
                   qobject_cast<IpAddressEdit*>(item(kServerIpAddressCtrl))};
  serverPortEdit_ = qobject_cast<QLineEdit*>(item(kServerPortEdit));
  mbtAduIdList_ = qobject_cast<QComboBox*>(item(kMbtAduIdList));
  baudRateList_ = qobject_cast<QComboBox*>(item(kBaudRateList));
  parityList_ = qobject_cast<QComboBox*>(item(kParityList));
  timeoutList_ = qobject_cast<QComboBox*>(item(kTimeoutList));
  rs485IdList_ = qobject_cast<QComboBox*>(item(kRs485IdList));
  writeButton_ = qobject_cast<QPushButton*>(item(kWriteButton));
  readButton_ = qobject_cast<QPushButton*>(item(kReadButton));
  exitButton_ = qobject_cast<QPushButton*>(item(kIdCancel));
  connect(writeButton_, &QPushButton::clicked, this, &ConfigDialog::OnWriteSettings);
  connect(readButton_, &QPushButton::clicked, this, &ConfigDialog::OnReadSettings);
  connect(exitButton_, &QPushButton::clicked, this, &QDialog::reject);

  // The About item: in the system menu where the system has one we may add to, and always in the
  // window's context menu and on F1, since most window managers keep their menu to themselves.
  aboutAction_ = new QAction(ToQString(kAboutItemText), this);
  aboutAction_->setShortcut(QKeySequence(Qt::Key_F1));
  aboutAction_->setShortcutContext(Qt::WindowShortcut);
  connect(aboutAction_, &QAction::triggered, this, &ConfigDialog::ShowAbout);
  addAction(aboutAction_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  AddAboutItemToSystemMenu(*this);

  setWindowIcon(AppIcon());
  FillControls();
  writeButton_->setFocus(Qt::OtherFocusReason);

  // Sees every event of this window's controls first: the Enter and MAC filters, and the input
  // that an exchange in progress must not get.
  qApp->installEventFilter(this);
}

ConfigDialog::~ConfigDialog() {
  qApp->removeEventFilter(this);
  // The window was never closed (the application was told to quit, or it was never shown): the
  // controls still exist here, so save what they show.
  if (!closed_)
    OnDestroy();
}

void ConfigDialog::FillControls() {
  LoadSettings(store_, selectedPortName_, settings_);

  for (const std::string& name : portNames_)
    portList_->addItem(QString::fromStdString(name));
  SelectOrFirst(*portList_, QString::fromStdString(selectedPortName_));

  // The stored MAC is not shown: only a gateway's own answer fills these.
  for (QLineEdit* edit : macEdits_) {
    edit->setReadOnly(true);
    edit->setMaxLength(2);
    edit->clear();
  }

  addressCtrls_[0]->SetAddress(settings_.ipAddress);
  addressCtrls_[1]->SetAddress(settings_.subnetMask);
  addressCtrls_[2]->SetAddress(settings_.gatewayAddress);
  addressCtrls_[3]->SetAddress(settings_.serverIpAddress);

  serverPortEdit_->setText(QString::number(settings_.serverPort));
  serverPortEdit_->setReadOnly(false);

  FillNumbers(*mbtAduIdList_);
  SelectOrFirst(*mbtAduIdList_, QString::number(settings_.mbtAduId));

  for (std::uint32_t rate : kBaudRateTable)
    baudRateList_->addItem(BaudRateText(rate));
  SelectOrFirst(*baudRateList_, BaudRateText(settings_.baudRate));

  for (std::uint16_t timeout : kTimeoutTable)
    timeoutList_->addItem(TimeoutText(timeout));
  SelectOrFirst(*timeoutList_, TimeoutText(settings_.timeoutMs));

  for (const char* name : kParityNames)
    parityList_->addItem(QString::fromLatin1(name));
  if (settings_.parity >= 3)
    settings_.parity = 2;
  parityList_->setCurrentIndex(settings_.parity);

  FillNumbers(*rs485IdList_);
  SelectOrFirst(*rs485IdList_, QString::number(settings_.rs485Id));
}

void ConfigDialog::ControlsToSettings() {
  selectedPortName_ = portList_->currentText().toStdString();
  for (std::size_t i = 0; i < macEdits_.size(); ++i) {
    settings_.mac[i] = MacByteFromText(macEdits_[i]->text().toStdString());
  }
  std::uint32_t* const targets[] = {&settings_.ipAddress, &settings_.subnetMask,
                                    &settings_.gatewayAddress, &settings_.serverIpAddress};
  for (std::size_t i = 0; i < addressCtrls_.size(); ++i) {
    // A blank control keeps what the record holds; a partly filled one counts its empty fields
    // as 0.
    if (!addressCtrls_[i]->IsBlank())
      *targets[i] = addressCtrls_[i]->Address();
  }
  if (const auto port = ServerPortFromText(serverPortEdit_->text().toStdString())) {
    settings_.serverPort = *port;
  }
  settings_.mbtAduId = static_cast<std::uint8_t>(mbtAduIdList_->currentIndex() + 1);
  settings_.baudRate =
      NumberBeforeSuffix(baudRateList_->currentText().toStdString(), kBaudSuffixLength);
  settings_.timeoutMs = static_cast<std::uint16_t>(
      NumberBeforeSuffix(timeoutList_->currentText().toStdString(), kTimeoutSuffixLength));
  // No parity chosen means none, not code 255.
  settings_.parity = static_cast<std::uint8_t>(std::max(parityList_->currentIndex(), 0));
  settings_.rs485Id = static_cast<std::uint8_t>(rs485IdList_->currentIndex() + 1);
}

bool ConfigDialog::ValidateAddressInputs() {
  static constexpr std::array<std::string_view, 4> kMessages{
      kMsgEnterIpAddress, kMsgEnterSubnetMask, kMsgEnterGateway, kMsgEnterServerIp};
  for (std::size_t i = 0; i < addressCtrls_.size(); ++i) {
    if (addressCtrls_[i]->FilledFieldCount() != 4) {
      ShowMessageBox(this, kMessages[i], MessageIcon::Information);
      return false;
    }
  }
  // A port above 65535 is refused like a missing one: sent as it stands it would go out cut to
  // 16 bits, a port nobody asked for.
  if (!IsServerPortUsable(serverPortEdit_->text().toStdString())) {
    ShowMessageBox(this, kMsgEnterServerPort, MessageIcon::Information);
    return false;
  }
  return true;
}

void ConfigDialog::OnReadSettings() {
  if (busy_)
    return;
  selectedPortName_ = portList_->currentText().toStdString();
  RunExchange(false);
}

void ConfigDialog::OnWriteSettings() {
  if (busy_)
    return;
  if (!ValidateAddressInputs())
    return;
  ControlsToSettings();
  RunExchange(true);
}

void ConfigDialog::RunExchange(bool write) {
  busy_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The worker works on its own copy of the record and this thread takes it back at the end;
  // the controls are only touched here, through GuiThreadView.
  GatewaySettings work = settings_;
  const std::string portName = selectedPortName_;
  std::atomic<bool> finished{false};
  GuiThreadView view(*this);
  std::thread worker([&] {
    if (write) {
      RunWriteExchange(*link_, portName, work, view);
    } else {
      RunReadExchange(*link_, portName, work, view);
    }
    finished.store(true);
    QMetaObject::invokeMethod(
        this, [] {}, Qt::QueuedConnection);  // wakes the loop below
  });
  // Not a QEventLoop: after the application has been told to quit, new event loops return at
  // once, and this one must keep serving the worker until it is done.
  while (!finished.load())
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  worker.join();
  settings_ = work;
  QApplication::restoreOverrideCursor();
  busy_ = false;
  if (closeRequested_)
    close();
}

void ConfigDialog::RequestClose() {
  // A termination request must not wait for somebody to answer a box: the box is dismissed as
  // Escape would, and the window closes, and saves, as soon as nothing runs any more.
  if (QWidget* modal = QApplication::activeModalWidget(); modal != nullptr && modal != this) {
    if (auto* box = qobject_cast<QDialog*>(modal))
      box->reject();
  }
  if (busy_) {
    closeRequested_ = true;
    return;
  }
  close();
}

void ConfigDialog::ShowMac(const GatewaySettings& settings) {
  for (std::size_t i = 0; i < macEdits_.size(); ++i) {
    macEdits_[i]->setText(QStringLiteral("%1").arg(settings.mac[i], 2, 16, QChar('0')).toUpper());
  }
}

void ConfigDialog::ShowNetwork(const GatewaySettings& settings) {
  addressCtrls_[0]->SetAddress(settings.ipAddress);
  addressCtrls_[1]->SetAddress(settings.subnetMask);
  addressCtrls_[2]->SetAddress(settings.gatewayAddress);
  addressCtrls_[3]->SetAddress(settings.serverIpAddress);
  serverPortEdit_->setText(QString::number(settings.serverPort));
}

void ConfigDialog::ShowSerial(const GatewaySettings& settings) {
  SelectIfOffered(*baudRateList_, BaudRateText(settings.baudRate));
  SelectIfOffered(*timeoutList_, TimeoutText(settings.timeoutMs));
  if (settings.parity < parityList_->count())
    parityList_->setCurrentIndex(settings.parity);
  SelectIfOffered(*rs485IdList_, QString::number(settings.rs485Id));
  SelectIfOffered(*mbtAduIdList_, QString::number(settings.mbtAduId));
}

void ConfigDialog::ShowMessage(std::string_view text, MessageIcon icon) {
  const bool success = text == kMsgReadDone || text == kMsgWriteDone;
  const QString detail = success ? QString() : DescribeLinkError(link_->LastError());
  // The box takes input while the exchange waits for it; the busy cursor would say otherwise.
  if (busy_)
    QApplication::restoreOverrideCursor();
  ShowMessageBox(this, text, icon, detail);
  if (busy_)
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void ConfigDialog::ShowAbout() {
  if (busy_)
    return;
  AboutDialog box(this);
  box.exec();
}

void ConfigDialog::OnDestroy() {
  ControlsToSettings();
  SaveSettings(store_, selectedPortName_, settings_);
  if (link_->IsOpen())
    link_->Close();
  closed_ = true;
}

void ConfigDialog::done(int result) {
  // Escape, "종료", the close box and Alt+F4 all end here; none of them while an exchange runs.
  if (busy_)
    return;
  OnDestroy();
  QDialog::done(result);
}

void ConfigDialog::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void ConfigDialog::showEvent(QShowEvent* event) {
  closed_ = false;
  QDialog::showEvent(event);
}

bool ConfigDialog::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
  if (IsAboutSystemCommand(eventType, message)) {
    ShowAbout();
    *result = 0;
    return true;
  }
  return QDialog::nativeEvent(eventType, message, result);
}

bool ConfigDialog::IsOwnWidget(const QObject* object) const {
  return object->isWidgetType() && static_cast<const QWidget*>(object)->window() == this;
}

bool ConfigDialog::IsMacEdit(const QObject* object) const {
  return std::find(macEdits_.begin(), macEdits_.end(), object) != macEdits_.end();
}

bool ConfigDialog::eventFilter(QObject* watched, QEvent* event) {
  if (!IsOwnWidget(watched))
    return false;
  if (busy_)
    return IsInputEvent(event->type());
  if (event->type() != QEvent::KeyPress)
    return false;
  const auto* key = static_cast<const QKeyEvent*>(event);
  // Enter never presses a button and never ends the window.
  if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
    return true;
  if (IsMacEdit(watched))
    return !MacKeyPasses(*key);
  return false;
}

}  // namespace velkorin
