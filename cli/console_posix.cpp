#include "cli/console.h"

namespace velkorin::cli {
// POSIX terminals take UTF-8 as it is written.
void PrepareConsole() {}
}  // namespace velkorin::cli
