#include "settings/ini_profile_store_posix.h"

#include <fcntl.h>
#include <ini.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

namespace velkorin {
namespace {

constexpr char kVendorFolder[] = "Ovrenta";
constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;
// inih reads a line into a buffer of INI_MAX_LINE bytes, which must also hold "\r\n\0".
constexpr std::size_t kLongestLine = INI_MAX_LINE - 3;

bool IsAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// True when inih gives `text` back unchanged as a section name, entry name or value: it strips
// blanks at both ends, ends a line at a line break and cuts it at " ;" (an inline comment).
bool SurvivesParser(std::string_view text) {
  if (std::any_of(text.begin(), text.end(), IsControl)) {
    return false;
  }
  if (!text.empty() && (text.front() == ' ' || text.back() == ' ')) {
    return false;
  }
  return text.find(" ;") == std::string_view::npos;
}

bool IsWritableSectionName(std::string_view section) {
  return !section.empty() && SurvivesParser(section) &&
         section.find_first_of("[]") == std::string_view::npos &&
         section.size() + 2 <= kLongestLine;
}

bool IsWritableEntryName(std::string_view entry) {
  // '=' and ':' both end a name; a line starting with ';', '#' or '[' is no entry at all.
  return !entry.empty() && SurvivesParser(entry) &&
         entry.find_first_of("=:") == std::string_view::npos &&
         std::string_view(";#[").find(entry.front()) == std::string_view::npos;
}

// An fgets() for inih over the file's bytes in memory. A line too long for inih's buffer is
// handed over as a blank line: inih would otherwise read its tail as a line of its own, and a
// cut value could be taken for a different number. So it counts as unreadable, like any other
// line inih can't make sense of.
struct LineCursor {
  std::string_view rest;
};

char* NextLine(char* buffer, int size, void* stream) {
  std::string_view& rest = static_cast<LineCursor*>(stream)->rest;
  if (rest.empty() || size < 2) {
    return nullptr;
  }
  const std::size_t end = rest.find('\n');
  const std::size_t length = end == std::string_view::npos ? rest.size() : end + 1;
  if (length <= static_cast<std::size_t>(size) - 1) {
    std::memcpy(buffer, rest.data(), length);
    buffer[length] = '\0';
  } else {
    buffer[0] = '\n';
    buffer[1] = '\0';
  }
  rest.remove_prefix(length);
  return buffer;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int Get() const { return fd_; }
  // close() can report a write that failed late (NFS, quota); the caller wants to know.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool ReadAll(int fd, std::string& content) {
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      content.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0) {
      return true;
    } else if (errno != EINTR) {
      return false;
    }
  }
}

bool WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t put = ::write(fd, content.data(), content.size());
    if (put > 0) {
      content.remove_prefix(static_cast<std::size_t>(put));
    } else if (put < 0 && errno != EINTR) {
      return false;
    }
  }
  return true;
}

// mkdir -p, with every folder it makes private to the user whatever the umask says.
bool CreateFolders(const std::filesystem::path& folder) {
  std::filesystem::path prefix;
  for (const auto& part : folder) {
    prefix /= part;
    struct stat info {};
    if (::stat(prefix.c_str(), &info) == 0) {
      if (!S_ISDIR(info.st_mode)) {
        errno = ENOTDIR;
        return false;
      }
      continue;
    }
    if (::mkdir(prefix.c_str(), kFolderMode) == 0) {
      ::chmod(prefix.c_str(), kFolderMode);
    } else if (errno != EEXIST) {
      return false;
    }
  }
  return true;
}

bool SyncFolder(const std::filesystem::path& folder) {
  FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.Get() < 0) {
    return false;
  }
  // Some file systems can't sync a folder and say so with EINVAL; nothing more can be done there.
  return ::fsync(fd.Get()) == 0 || errno == EINVAL;
}

}  // namespace

std::filesystem::path IniProfilePath(const char* xdgConfigHome, const char* home,
                                     std::string_view applicationName) {
  std::filesystem::path base;
  if (IsAbsolute(xdgConfigHome)) {
    base = xdgConfigHome;
  } else if (IsAbsolute(home)) {
    base = std::filesystem::path(home) / ".config";
  } else {
    return {};
  }
  // The name comes from the executable's file name, so it holds no '/'; should a caller pass
  // one anyway, it must not lead out of the folder.
  std::string fileName(applicationName);
  std::replace(fileName.begin(), fileName.end(), '/', '_');
  std::replace(fileName.begin(), fileName.end(), '\0', '_');
  return base / kVendorFolder / (fileName + ".ini");
}

std::filesystem::path UserIniProfilePath(std::string_view applicationName) {
  const char* home = std::getenv("HOME");
  std::string accountHome;
  if (!IsAbsolute(home)) {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr) {
      accountHome = found->pw_dir;
      home = accountHome.c_str();
    }
  }
  return IniProfilePath(std::getenv("XDG_CONFIG_HOME"), home, applicationName);
}

std::unique_ptr<ProfileStore> OpenUserProfileStore(const std::string& applicationName) {
  return std::make_unique<IniProfileStore>(UserIniProfilePath(applicationName));
}

IniProfileStore::IniProfileStore(std::filesystem::path path, StepCheck stepCheck)
    : path_(std::move(path)), stepCheck_(std::move(stepCheck)) {
  Load();
}

void IniProfileStore::Load() {
  if (path_.empty()) {
    return;
  }
  // O_NONBLOCK: a FIFO planted under the file's name must not hang the program at start-up.
  FileDescriptor fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) {
    unreadable_ = errno != ENOENT;
    return;
  }
  struct stat info {};
  std::string content;
  if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || !ReadAll(fd.Get(), content)) {
    unreadable_ = true;
    return;
  }
  // Lines that can't be parsed are skipped; whatever they held takes its default.
  LineCursor cursor{content};
  ini_parse_stream(NextLine, &cursor, OnValue, this);
}

int IniProfileStore::OnValue(void* user, const char* section, const char* name, const char* value) {
  if (value != nullptr) {
    static_cast<IniProfileStore*>(user)->Put(section, name, value);
  }
  return 1;
}

void IniProfileStore::Put(std::string_view section, std::string_view entry,
                          std::string_view value) {
  auto place = std::find_if(sections_.begin(), sections_.end(),
                            [&](const Section& s) { return SameName(s.name, section); });
  if (place == sections_.end()) {
    // Entries before the first section header can only stay there.
    place = section.empty() ? sections_.insert(sections_.begin(), Section{std::string(), {}})
                            : sections_.insert(sections_.end(), Section{std::string(section), {}});
  }
  auto& entries = place->entries;
  auto found = std::find_if(entries.begin(), entries.end(),
                            [&](const Entry& e) { return SameName(e.name, entry); });
  if (found == entries.end()) {
    entries.push_back(Entry{std::string(entry), std::string(value)});
  } else {
    // A name given twice: the later line wins, and the file keeps one line for it.
    found->name = entry;
    found->value = value;
  }
}

const std::string* IniProfileStore::Find(std::string_view section, std::string_view entry) const {
  for (const auto& s : sections_) {
    if (SameName(s.name, section)) {
      for (const auto& e : s.entries) {
        if (SameName(e.name, entry)) {
          return &e.value;
        }
      }
    }
  }
  return nullptr;
}

std::string IniProfileStore::GetProfileString(std::string_view section, std::string_view entry,
                                              std::string_view defaultValue) {
  const std::string* value = Find(section, entry);
  return value != nullptr ? *value : std::string(defaultValue);
}

std::uint32_t IniProfileStore::GetProfileInt(std::string_view section, std::string_view entry,
                                             std::uint32_t defaultValue) {
  const std::string* value = Find(section, entry);
  if (value == nullptr) {
    return defaultValue;
  }
  // Unsigned decimal, the whole text and nothing else; what doesn't fit 32 bits isn't a number
  // the registry could have held either.
  std::uint32_t number = 0;
  const char* first = value->data();
  const char* last = first + value->size();
  const auto [end, error] = std::from_chars(first, last, number, 10);
  return (error == std::errc() && end == last) ? number : defaultValue;
}

bool IniProfileStore::WriteProfileString(std::string_view section, std::string_view entry,
                                         std::string_view value) {
  if (!IsWritableSectionName(section) || !IsWritableEntryName(entry) || !SurvivesParser(value) ||
      entry.size() + 1 + value.size() > kLongestLine) {
    return false;
  }
  Put(section, entry, value);
  return true;
}

bool IniProfileStore::WriteProfileInt(std::string_view section, std::string_view entry,
                                      std::uint32_t value) {
  return WriteProfileString(section, entry, std::to_string(value));
}

std::string IniProfileStore::Serialize() const {
  std::string text;
  for (const auto& section : sections_) {
    if (section.entries.empty()) {
      continue;
    }
    if (!section.name.empty()) {
      if (!text.empty()) {
        text += '\n';
      }
      text += '[' + section.name + "]\n";
    }
    for (const auto& entry : section.entries) {
      text += entry.name + '=' + entry.value + '\n';
    }
  }
  return text;
}

bool IniProfileStore::StepAllowed(CommitStep step) const {
  if (stepCheck_ && !stepCheck_(step)) {
    errno = EIO;
    return false;
  }
  return true;
}

bool IniProfileStore::Commit() {
  if (path_.empty() || unreadable_) {
    return false;
  }
  const std::filesystem::path folder = path_.parent_path();
  if (!StepAllowed(CommitStep::CreateFolder) || !CreateFolders(folder)) {
    return false;
  }

  std::string temporary = path_.string() + ".XXXXXX";
  if (!StepAllowed(CommitStep::CreateTemporary)) {
    return false;
  }
  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.Get() < 0) {
    return false;
  }
  // Until the rename, the old file is untouched; any failure only has to remove the new one.
  const auto discard = [&temporary] {
    ::unlink(temporary.c_str());
    return false;
  };
  if (::fchmod(fd.Get(), kFileMode) != 0) {
    return discard();
  }
  if (!StepAllowed(CommitStep::Write) || !WriteAll(fd.Get(), Serialize())) {
    return discard();
  }
  if (!StepAllowed(CommitStep::SyncFile) || ::fsync(fd.Get()) != 0 || !fd.Close()) {
    return discard();
  }
  if (!StepAllowed(CommitStep::Rename) || ::rename(temporary.c_str(), path_.c_str()) != 0) {
    return discard();
  }
  // The new file is in place; syncing the folder makes the rename itself survive a power cut.
  return StepAllowed(CommitStep::SyncFolder) && SyncFolder(folder);
}

}  // namespace velkorin
