#include "app/startup.h"

namespace velkorin {

int OsFamilyFromVersion(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor) {
  constexpr std::uint32_t kWin32Windows = 1;  // VER_PLATFORM_WIN32_WINDOWS: 95, 98, Me
  constexpr std::uint32_t kWin32Nt = 2;       // VER_PLATFORM_WIN32_NT
  if (platformId == kWin32Windows) {
    // All three are version 4; only the minor number tells them apart (0, 10, 90).
    if (minor < 10) {
      return 0;
    }
    return minor < 90 ? 1 : 2;
  }
  if (platformId == kWin32Nt) {
    if (major < 5) {
      return 3;
    }
    return major == 5 ? 4 : 5;
  }
  return kDefaultOsFamily;
}

std::string ApplicationNameFromPath(std::string_view executablePath) {
  // Both separators on every platform: the path may come from the other kind of system.
  const std::size_t slash = executablePath.find_last_of("/\\");
  std::string_view fileName =
      slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
  const std::size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos) {
    fileName = fileName.substr(0, dot);
  }
  return std::string(fileName);
}

}  // namespace velkorin
