#include <windows.h>

#include "cli/console.h"

namespace velkorin::cli {
// The texts are UTF-8; without this the console would show them in the ANSI code page.
void PrepareConsole() {
  SetConsoleOutputCP(CP_UTF8);
}
}  // namespace velkorin::cli
