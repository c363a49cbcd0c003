#pragma once

#include <string>
#include <string_view>

#include "settings/profile_store.h"

namespace velkorin {

// The values under HKEY_CURRENT_USER\Software\Ovrenta\<applicationName>\<section>: REG_SZ for
// text, REG_DWORD for numbers. A value of any other type reads as missing. Writes go straight to
// the registry, so Commit() has nothing left to do.
class RegistryProfileStore final : public ProfileStore {
 public:
  explicit RegistryProfileStore(std::string_view applicationName);

  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view defaultValue) override;
  std::uint32_t GetProfileInt(std::string_view section, std::string_view entry,
                              std::uint32_t defaultValue) override;
  bool WriteProfileString(std::string_view section, std::string_view entry,
                          std::string_view value) override;
  bool WriteProfileInt(std::string_view section, std::string_view entry,
                       std::uint32_t value) override;

  // Below HKEY_CURRENT_USER: "Software\Ovrenta\<applicationName>".
  const std::string& KeyPath() const { return keyPath_; }

 private:
  std::string SectionPath(std::string_view section) const;

  std::string keyPath_;
};

}  // namespace velkorin
