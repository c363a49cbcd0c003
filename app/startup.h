#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velkorin {

// Windows family code: 0 Windows 95, 1 Windows 98, 2 Windows Me, 3 NT before 2000,
// 4 2000/XP/2003, 5 Vista and later (and anything not classified).
inline constexpr int kDefaultOsFamily = 5;
int OsFamilyFromVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor);
// From GetVersionExA on Windows; kDefaultOsFamily elsewhere or when the version can't be read.
int DetectOsFamily();

// The executable's file name without folder and extension ("C:\x\velkorin.exe" -> "velkorin").
std::string ApplicationNameFromPath(std::string_view executablePath);
// The running program's name: from the executable's own path, argv0 as the fallback.
std::string CurrentApplicationName(const char* argv0);

inline constexpr char kInstanceName[] = "Druvesta";

// Holds the per-user single-instance name for as long as it lives: a named mutex on Windows, an
// flock()ed lock file on POSIX. Never blocks: a second holder learns at once that it isn't first.
class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(std::string name = kInstanceName);
  ~SingleInstanceGuard();
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;
  // False only when another holder of the name is known to exist; any other failure to take the
  // name lets this process go on as the first.
  bool IsFirstInstance() const { return first_; }

 private:
  bool first_ = true;
  std::intptr_t handle_ = -1;  // lock file descriptor or mutex HANDLE
};

}  // namespace velkorin
