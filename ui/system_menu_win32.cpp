// The About item in the real system menu of the window. Built with the desktop program for
// Windows only.
#include "ui/system_menu.h"

#include <windows.h>

#include <QWidget>

#include "ui/dialog_templates.h"

namespace velkorin {

bool AddAboutItemToSystemMenu(QWidget& window) {
  HMENU menu = GetSystemMenu(reinterpret_cast<HWND>(window.winId()), FALSE);
  if (menu == nullptr)
    return false;
  const std::wstring text =
      QString::fromUtf8(kAboutItemText.data(), static_cast<qsizetype>(kAboutItemText.size()))
          .toStdWString();
  if (text.empty())
    return false;
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu, MF_STRING, kAboutCommandId, text.c_str());
  return true;
}

bool IsAboutSystemCommand(const QByteArray& eventType, void* message) {
  if (eventType != "windows_generic_MSG" || message == nullptr)
    return false;
  const MSG* msg = static_cast<const MSG*>(message);
  // The low four bits of a system command are the system's own; 16 to 31 are all ours.
  return msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == kAboutCommandId;
}

}  // namespace velkorin
