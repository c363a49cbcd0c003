#include "ui/system_menu.h"

namespace velkorin {

// X11 and Wayland window managers draw and own the window menu; a program can't add to it.
bool AddAboutItemToSystemMenu(QWidget&) {
  return false;
}

bool IsAboutSystemCommand(const QByteArray&, void*) {
  return false;
}

}  // namespace velkorin
