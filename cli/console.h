#pragma once

namespace velkorin::cli {
// Makes the terminal show the program's UTF-8 texts as they are.
void PrepareConsole();
}  // namespace velkorin::cli
