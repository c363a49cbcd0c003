#include "settings/registry_profile_store_win32.h"

#include <windows.h>
// <windows.h> maps these names to its own ANSI/Unicode profile functions; here they name the
// store's operations.
#undef GetProfileString
#undef GetProfileInt
#undef WriteProfileString
#undef WriteProfileInt

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace velkorin {
namespace {

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) {
      ::RegCloseKey(key_);
    }
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Opening for reading never creates the key: a first run leaves no trace until the first save.
bool OpenForReading(const std::string& path, RegistryKey& key) {
  return ::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.Receive()) ==
         ERROR_SUCCESS;
}

bool OpenForWriting(const std::string& path, RegistryKey& key) {
  return ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_SET_VALUE, nullptr, key.Receive(), nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::unique_ptr<ProfileStore> OpenUserProfileStore(const std::string& applicationName) {
  return std::make_unique<RegistryProfileStore>(applicationName);
}

RegistryProfileStore::RegistryProfileStore(std::string_view applicationName)
    : keyPath_("Software\\Ovrenta\\" + std::string(applicationName)) {}

std::string RegistryProfileStore::SectionPath(std::string_view section) const {
  return keyPath_ + '\\' + std::string(section);
}

std::string RegistryProfileStore::GetProfileString(std::string_view section, std::string_view entry,
                                                   std::string_view defaultValue) {
  RegistryKey key;
  if (!OpenForReading(SectionPath(section), key)) {
    return std::string(defaultValue);
  }
  const std::string name(entry);
  // The value can change size between the two calls (another program writing it); ask again.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::string(defaultValue);
    }
    std::string text(size + 1, '\0');
    DWORD got = size + 1;
    const LONG result = ::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(text.data()), &got);
    if (result == ERROR_MORE_DATA) {
      continue;
    }
    if (result != ERROR_SUCCESS || type != REG_SZ) {
      return std::string(defaultValue);
    }
    // REG_SZ data need not end in a NUL, and may hold more than one; the text ends at the first.
    text.resize(std::min<std::size_t>(got, text.size()));
    text.resize(std::strlen(text.c_str()));
    return text;
  }
  return std::string(defaultValue);
}

std::uint32_t RegistryProfileStore::GetProfileInt(std::string_view section, std::string_view entry,
                                                  std::uint32_t defaultValue) {
  RegistryKey key;
  if (!OpenForReading(SectionPath(section), key)) {
    return defaultValue;
  }
  const std::string name(entry);
  DWORD type = 0;
  DWORD number = 0;
  DWORD size = sizeof number;
  if (::RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&number),
                         &size) != ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof number) {
    return defaultValue;
  }
  return number;
}

bool RegistryProfileStore::WriteProfileString(std::string_view section, std::string_view entry,
                                              std::string_view value) {
  RegistryKey key;
  if (!OpenForWriting(SectionPath(section), key)) {
    return false;
  }
  const std::string name(entry);
  const std::string text(value);
  return ::RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool RegistryProfileStore::WriteProfileInt(std::string_view section, std::string_view entry,
                                           std::uint32_t value) {
  RegistryKey key;
  if (!OpenForWriting(SectionPath(section), key)) {
    return false;
  }
  const std::string name(entry);
  const DWORD number = value;
  return ::RegSetValueExA(key.Get(), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&number), sizeof number) == ERROR_SUCCESS;
}

}  // namespace velkorin
