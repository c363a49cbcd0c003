#include "ui/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace velkorin {
namespace {

MessageBoxHook& Hook() {
  static MessageBoxHook hook;
  return hook;
}

}  // namespace

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook) {
  std::swap(Hook(), hook);
  return hook;
}

void ShowMessageBox(QWidget* parent, std::string_view text, MessageIcon icon,
                    const QString& detail) {
  QMessageBox box(icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information,
                  QApplication::applicationName(),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Ok);
  if (!detail.isEmpty())
    box.setDetailedText(detail);
  if (Hook())
    Hook()(box);
  box.exec();
}

}  // namespace velkorin
