#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/profile_store.h"

namespace velkorin {

// <config home>/Ovrenta/<applicationName>.ini, where the config home is `xdgConfigHome` when it
// is an absolute path and <home>/.config otherwise. Either argument may be null. Empty when
// neither gives an absolute base.
std::filesystem::path IniProfilePath(const char* xdgConfigHome, const char* home,
                                     std::string_view applicationName);

// The same from this process's environment; the password database stands in for an unset HOME.
std::filesystem::path UserIniProfilePath(std::string_view applicationName);

// The steps of IniProfileStore::Commit, in the order they run.
enum class CommitStep { CreateFolder, CreateTemporary, Write, SyncFile, Rename, SyncFolder };

// One INI file: read once when the store is made, changed in memory, written whole by Commit()
// through a temporary file in the same folder that replaces the old file only when it is
// complete and on disk. Sections and entries of the file that the program doesn't know are kept.
// Names of sections and entries are matched without regard to ASCII case, as in the registry.
class IniProfileStore final : public ProfileStore {
 public:
  // Asked before each step of Commit; false makes that step fail as if the system had refused
  // it. Lets tests break a save at any point.
  using StepCheck = std::function<bool(CommitStep)>;

  explicit IniProfileStore(std::filesystem::path path, StepCheck stepCheck = {});

  std::string GetProfileString(std::string_view section, std::string_view entry,
                               std::string_view defaultValue) override;
  std::uint32_t GetProfileInt(std::string_view section, std::string_view entry,
                              std::uint32_t defaultValue) override;
  // Refuses (false, nothing changed) a name or text that the file couldn't give back as it was
  // written: line breaks and other control characters, blanks at either end, a "; comment"
  // inside, or a line too long for the parser.
  bool WriteProfileString(std::string_view section, std::string_view entry,
                          std::string_view value) override;
  bool WriteProfileInt(std::string_view section, std::string_view entry,
                       std::uint32_t value) override;
  // False when the file wasn't replaced: the old file is then as it was, and the changes stay in
  // memory for another try. Also false, without writing, when an existing file couldn't be read
  // at all (replacing it would lose whatever it holds), and when the file was replaced but its
  // folder couldn't be synced, so the replacement might not survive a power cut.
  bool Commit() override;

  const std::filesystem::path& Path() const { return path_; }

 private:
  struct Entry {
    std::string name;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
  };

  void Load();
  static int OnValue(void* user, const char* section, const char* name, const char* value);
  void Put(std::string_view section, std::string_view entry, std::string_view value);
  const std::string* Find(std::string_view section, std::string_view entry) const;
  std::string Serialize() const;
  bool StepAllowed(CommitStep step) const;

  std::filesystem::path path_;
  StepCheck stepCheck_;
  std::vector<Section> sections_;
  bool unreadable_ = false;  // the file exists but couldn't be read
};

}  // namespace velkorin
