#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velkorin {

// The per-user store of the program's settings: sections of named values, text or 32-bit
// unsigned numbers. The registry on Windows, one INI file elsewhere. Reads never fail: a value
// that is missing, unreadable or of the wrong kind gives the default.
class ProfileStore {
 public:
  virtual ~ProfileStore() = default;
  virtual std::string GetProfileString(std::string_view section, std::string_view entry,
                                       std::string_view defaultValue) = 0;
  virtual std::uint32_t GetProfileInt(std::string_view section, std::string_view entry,
                                      std::uint32_t defaultValue) = 0;
  virtual bool WriteProfileString(std::string_view section, std::string_view entry,
                                  std::string_view value) = 0;
  virtual bool WriteProfileInt(std::string_view section, std::string_view entry,
                               std::uint32_t value) = 0;
  // Makes the writes so far durable. A store that writes through (the registry) has nothing to
  // do; the INI store writes its file here, atomically, so a failed save loses nothing that was
  // stored before.
  virtual bool Commit() { return true; }
};

// The store of this user for the program called `applicationName`:
// POSIX: $XDG_CONFIG_HOME/Ovrenta/<applicationName>.ini; Windows:
// HKEY_CURRENT_USER\Software\Ovrenta\<applicationName>.
std::unique_ptr<ProfileStore> OpenUserProfileStore(const std::string& applicationName);

}  // namespace velkorin
