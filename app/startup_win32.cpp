#include <windows.h>

#include <string>

#include "app/startup.h"

namespace velkorin {

int DetectOsFamily() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExA(&info)) {
    return kDefaultOsFamily;
  }
  return OsFamilyFromVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion);
}

std::string CurrentApplicationName(const char* argv0) {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) {
      return ApplicationNameFromPath(argv0 != nullptr ? argv0 : "");
    }
    if (length < path.size()) {
      path.resize(length);
      return ApplicationNameFromPath(path);
    }
    // A full buffer means the path was cut; long paths go up to 32767 characters.
    if (path.size() >= 32768) {
      return ApplicationNameFromPath(argv0 != nullptr ? argv0 : "");
    }
    path.resize(path.size() * 2);
  }
}

SingleInstanceGuard::SingleInstanceGuard(std::string name) {
  HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
  const DWORD error = ::GetLastError();
  if (mutex == nullptr) {
    return;  // can't tell; go on as the first instance
  }
  if (error == ERROR_ALREADY_EXISTS) {
    first_ = false;
    ::CloseHandle(mutex);
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(mutex);
}

SingleInstanceGuard::~SingleInstanceGuard() {
  if (handle_ != -1) {
    HANDLE mutex = reinterpret_cast<HANDLE>(handle_);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
  }
}

}  // namespace velkorin
