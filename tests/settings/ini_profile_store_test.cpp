// The INI-file store on a real file system: format, reading what people and accidents leave in
// the file, the atomic save, modes and where the file lives.
#include "settings/ini_profile_store_posix.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <ini.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "settings/settings.h"

namespace velkorin {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

mode_t ModeOf(const fs::path& path) {
  struct stat info {};
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

std::vector<std::string> FolderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(folder)) {
    names.push_back(item.path().filename().string());
  }
  return names;
}

GatewaySettings SampleSettings() {
  GatewaySettings s;
  s.mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFF};
  s.ipAddress = 0x0A000001;
  s.subnetMask = 0xFFFF0000;
  s.gatewayAddress = 0x0A0000FE;
  s.serverIpAddress = 0xC0A80102;
  s.serverPort = 1502;
  s.mbtAduId = 7;
  s.baudRate = 115200;
  s.timeoutMs = 1000;
  s.parity = 2;
  s.rs485Id = 31;
  return s;
}

// Sets an environment variable (or removes it, for nullopt) until the end of the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
    }
    Set(value);
  }
  ~ScopedEnvironment() { Set(old_); }

 private:
  void Set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  const char* name_;
  std::optional<std::string> old_;
};

class IniStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/velkorin-settings-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    folder_ = root_ / "config" / "Ovrenta";
    file_ = folder_ / "velkorin.ini";
  }
  void TearDown() override { fs::remove_all(root_); }

  // What a fresh start of the program would load from the file.
  std::pair<std::string, GatewaySettings> LoadFresh() {
    IniProfileStore store(file_);
    std::pair<std::string, GatewaySettings> loaded;
    LoadSettings(store, loaded.first, loaded.second);
    return loaded;
  }

  fs::path root_;
  fs::path folder_;
  fs::path file_;
};

TEST_F(IniStoreTest, FirstRunGivesEveryDefaultAndCreatesNothing) {
  const auto [port, settings] = LoadFresh();
  EXPECT_EQ(port, "COM1");
  EXPECT_EQ(settings, DefaultSettings());
  EXPECT_FALSE(fs::exists(root_ / "config"));
}

TEST_F(IniStoreTest, SavesOneSectionOfUnsignedDecimals) {
  IniProfileStore store(file_);
  SaveSettings(store, "/dev/ttyUSB0", SampleSettings());
  EXPECT_EQ(ReadText(file_),
            "[Tessamor]\n"
            "Port=/dev/ttyUSB0\n"
            "MAC Addr0=0\nMAC Addr1=26\nMAC Addr2=43\nMAC Addr3=60\nMAC Addr4=77\nMAC Addr5=255\n"
            "IP Addr=167772161\n"
            "Subnet Addr=4294901760\n"
            "Gateway Addr=167772414\n"
            "Server IP Addr=3232235778\n"
            "Server Port=1502\n"
            "MBT ADU ID=7\n"
            "Baud Rate=115200\n"
            "Timeout=1000\n"
            "Parity=2\n"
            "RS485 ID=31\n");
}

TEST_F(IniStoreTest, WhatIsSavedLoadsBackInTheNextRun) {
  {
    IniProfileStore store(file_);
    SaveSettings(store, "", SampleSettings());
  }
  const auto [port, settings] = LoadFresh();
  EXPECT_EQ(port, "");  // an empty port name stays empty, it doesn't turn back into COM1
  EXPECT_EQ(settings, SampleSettings());

  // A second save over the first replaces the values rather than adding lines.
  {
    IniProfileStore store(file_);
    SaveSettings(store, "ttyS1", DefaultSettings());
  }
  EXPECT_EQ(LoadFresh(), std::make_pair(std::string("ttyS1"), DefaultSettings()));
}

TEST_F(IniStoreTest, ReadsAHandEditedFile) {
  WriteText(file_,
            "\xEF\xBB\xBF; edited by hand\r\n"
            "[tessamor]\r\n"
            "  port = COM4  \r\n"
            "# a comment\r\n"
            "ip addr : 167772161\r\n"
            "Server Port=70000\r\n"
            "Parity = 7 ; odd\r\n"
            "MAC Addr0=300\r\n");
  const auto [port, settings] = LoadFresh();
  EXPECT_EQ(port, "COM4");
  EXPECT_EQ(settings.ipAddress, 167772161u);
  EXPECT_EQ(settings.serverPort, 4464);
  EXPECT_EQ(settings.parity, 2);
  EXPECT_EQ(settings.mac[0], 44);
  EXPECT_EQ(settings.timeoutMs, 300);
}

TEST_F(IniStoreTest, ANumberThatIsNoUnsignedDecimalTakesTheDefault) {
  const std::vector<std::string> bad = {
      "", "abc", "-1", "+5", "0x10", "12abc", "1 2", "4294967296", "99999999999999999999"};
  for (const auto& text : bad) {
    SCOPED_TRACE("IP Addr=" + text);
    WriteText(file_, "[Tessamor]\nIP Addr=" + text + "\nTimeout=500\n");
    const auto [port, settings] = LoadFresh();
    EXPECT_EQ(settings.ipAddress, 0xC0A80064u);
    EXPECT_EQ(settings.timeoutMs, 500);
  }
  WriteText(file_, "[Tessamor]\nIP Addr=004294967295\n");
  EXPECT_EQ(LoadFresh().second.ipAddress, 0xFFFFFFFFu);
}

TEST_F(IniStoreTest, ACorruptFileGivesDefaultsForWhatCantBeRead) {
  WriteText(file_, std::string("[Tessamor]\n\x01\x02\xFF garbage\n[broken\nServer Port\n") +
                       "IP Addr=167772161\n" + std::string(3, '\0') + "Timeout=100\n" +
                       "Baud Rate=" + std::string(300, '0') + "9600\n" +  // too long to read
                       "RS485 ID=9");                                     // no final line break
  const auto [port, settings] = LoadFresh();
  EXPECT_EQ(port, "COM1");
  EXPECT_EQ(settings.ipAddress, 167772161u);
  EXPECT_EQ(settings.serverPort, 502);
  EXPECT_EQ(settings.baudRate, 38400u);  // not 0 from a cut "000...", nor 9600
  EXPECT_EQ(settings.rs485Id, 9);

  // Nothing readable at all; the next save still writes a clean file.
  std::string noise;
  for (int i = 0; i < 4096; ++i) {
    noise += static_cast<char>((i * 131 + 7) % 256);
  }
  WriteText(file_, noise);
  EXPECT_EQ(LoadFresh().second, DefaultSettings());
  {
    IniProfileStore store(file_);
    SaveSettings(store, "COM2", SampleSettings());
  }
  EXPECT_EQ(LoadFresh(), std::make_pair(std::string("COM2"), SampleSettings()));
}

// The parser's line buffer is short; the tail of a longer line must not be read as a line of its
// own, wherever the cut falls.
TEST_F(IniStoreTest, TheTailOfALongLineIsNeverReadAsAnEntry) {
  for (int filler = INI_MAX_LINE - 16; filler < INI_MAX_LINE + 8; ++filler) {
    WriteText(file_, "[Tessamor]\nNote=" + std::string(filler, 'x') + "Parity=1\n");
    ASSERT_EQ(LoadFresh().second.parity, 0) << "filler " << filler;
  }
}

TEST_F(IniStoreTest, KeepsSectionsAndEntriesItDoesNotKnow) {
  WriteText(file_, "top=1\n[Other]\nkey=a:b=c\n[Tessamor]\nUnknown=5\nPort=COM9\n");
  {
    IniProfileStore store(file_);
    SaveSettings(store, "COM3", SampleSettings());
  }
  IniProfileStore store(file_);
  EXPECT_EQ(store.GetProfileString("", "top", "-"), "1");
  EXPECT_EQ(store.GetProfileString("Other", "key", "-"), "a:b=c");
  EXPECT_EQ(store.GetProfileString("Tessamor", "Unknown", "-"), "5");
  EXPECT_EQ(store.GetProfileString("Tessamor", "Port", "-"), "COM3");
}

TEST_F(IniStoreTest, RefusesTextsTheFileCouldNotGiveBackAsWritten) {
  struct Case {
    std::string value;
    bool accepted;
  };
  const std::vector<Case> cases = {
      {"COM1\nIP Addr=1", false},
      {"COM1\r", false},
      {"\tCOM1", false},
      {" COM1", false},
      {"COM1 ", false},
      {"COM1 ;x", false},
      {std::string(250, 'A'), false},
      {"", true},
      {"\\\\.\\COM10", true},
      {"COM;1", true},
      {"a=b:c", true},
      {"[x]", true},
      {"#1", true},
      {"\xED\x8F\xAC\xED\x8A\xB8", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    {
      IniProfileStore store(file_);
      ASSERT_TRUE(store.WriteProfileString("Tessamor", "Port", "COM5"));
      EXPECT_EQ(store.WriteProfileString("Tessamor", "Port", c.value), c.accepted);
      ASSERT_TRUE(store.Commit());
    }
    const auto [port, settings] = LoadFresh();
    EXPECT_EQ(port, c.accepted ? c.value : "COM5");
    EXPECT_EQ(settings, DefaultSettings());
  }
}

TEST_F(IniStoreTest, NewFolderAndFileArePrivateWhateverTheUmask) {
  WriteText(root_ / "config" / "other.txt", "");  // the config home exists, Ovrenta does not
  ::chmod((root_ / "config").c_str(), 0755);
  const mode_t old = ::umask(0);
  {
    IniProfileStore store(root_ / "fresh" / "Ovrenta" / "velkorin.ini");
    SaveSettings(store, "COM1", DefaultSettings());
    IniProfileStore other(file_);
    SaveSettings(other, "COM1", DefaultSettings());
  }
  ::umask(old);
  EXPECT_EQ(ModeOf(root_ / "fresh"), 0700u);
  EXPECT_EQ(ModeOf(root_ / "fresh" / "Ovrenta"), 0700u);
  EXPECT_EQ(ModeOf(root_ / "fresh" / "Ovrenta" / "velkorin.ini"), 0600u);
  EXPECT_EQ(ModeOf(root_ / "config"), 0755u);  // an existing folder is left as it is
  EXPECT_EQ(ModeOf(folder_), 0700u);
  EXPECT_EQ(ModeOf(file_), 0600u);
}

std::string StepName(const ::testing::TestParamInfo<CommitStep>& info) {
  static const char* const names[] = {"CreateFolder", "CreateTemporary", "Write",
                                      "SyncFile",     "Rename",          "SyncFolder"};
  return names[static_cast<int>(info.param)];
}

class FailedSaveTest : public IniStoreTest, public ::testing::WithParamInterface<CommitStep> {};

TEST_P(FailedSaveTest, LeavesTheOldFileWholeAndKeepsTheChangesForAnotherTry) {
  {
    IniProfileStore store(file_);
    SaveSettings(store, "COM1", DefaultSettings());
  }
  const std::string before = ReadText(file_);

  bool failing = true;
  IniProfileStore store(file_, [&](CommitStep step) { return !(failing && step == GetParam()); });
  std::string port = "COM7";
  SaveSettings(store, port, SampleSettings());
  EXPECT_FALSE(store.Commit());
  EXPECT_EQ(ReadText(file_), before);
  EXPECT_THAT(FolderListing(folder_), ElementsAre("velkorin.ini"));  // no temporary left over

  failing = false;
  EXPECT_TRUE(store.Commit());
  EXPECT_EQ(LoadFresh(), std::make_pair(port, SampleSettings()));
}

INSTANTIATE_TEST_SUITE_P(EveryStepBeforeTheRename, FailedSaveTest,
                         ::testing::Values(CommitStep::CreateFolder, CommitStep::CreateTemporary,
                                           CommitStep::Write, CommitStep::SyncFile,
                                           CommitStep::Rename),
                         StepName);

// The same without the seam: a file size limit makes the system refuse the write itself.
TEST_F(IniStoreTest, ASaveTheSystemRefusesLeavesTheOldFileWhole) {
  {
    IniProfileStore store(file_);
    SaveSettings(store, "COM1", DefaultSettings());
  }
  const std::string before = ReadText(file_);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit = {16, 16};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    IniProfileStore store(file_);
    SaveSettings(store, "COM7", SampleSettings());
    ::_exit(store.Commit() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save claimed success";
  EXPECT_EQ(ReadText(file_), before);
  EXPECT_THAT(FolderListing(folder_), ElementsAre("velkorin.ini"));
}

// Something that isn't a regular file under the file's name: no hang on a FIFO, defaults, and
// no save that would replace what couldn't be read.
TEST_F(IniStoreTest, AnUnreadableFileIsNeitherWaitedOnNorReplaced) {
  fs::create_directories(folder_);
  ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
  IniProfileStore store(file_);
  std::string port;
  GatewaySettings settings;
  LoadSettings(store, port, settings);
  EXPECT_EQ(settings, DefaultSettings());
  SaveSettings(store, "COM2", SampleSettings());
  EXPECT_FALSE(store.Commit());
  EXPECT_TRUE(fs::is_fifo(file_));
  EXPECT_THAT(FolderListing(folder_), ElementsAre("velkorin.ini"));
}

TEST(IniProfilePath, FollowsTheXdgRules) {
  struct Case {
    const char* xdgConfigHome;
    const char* home;
    const char* expected;
  };
  const std::vector<Case> cases = {
      {"/x/cfg", "/home/u", "/x/cfg/Ovrenta/velkorin.ini"},
      {nullptr, "/home/u", "/home/u/.config/Ovrenta/velkorin.ini"},
      {"", "/home/u", "/home/u/.config/Ovrenta/velkorin.ini"},
      {"cfg", "/home/u", "/home/u/.config/Ovrenta/velkorin.ini"},  // relative: ignored
      {"/x/cfg", nullptr, "/x/cfg/Ovrenta/velkorin.ini"},
      {nullptr, nullptr, ""},
      {"cfg", "home/u", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.xdgConfigHome ? c.xdgConfigHome : "(unset)") + " " +
                 (c.home ? c.home : "(unset)"));
    EXPECT_EQ(IniProfilePath(c.xdgConfigHome, c.home, "velkorin").string(), c.expected);
  }
  EXPECT_EQ(IniProfilePath("/x", nullptr, "../a/b").string(), "/x/Ovrenta/.._a_b.ini");
}

TEST_F(IniStoreTest, TheUserStoreLivesWhereTheEnvironmentSays) {
  {
    ScopedEnvironment config("XDG_CONFIG_HOME", (root_ / "config").string());
    auto store = OpenUserProfileStore("velkorin");
    SaveSettings(*store, "COM6", SampleSettings());
  }
  EXPECT_EQ(LoadFresh(), std::make_pair(std::string("COM6"), SampleSettings()));

  {
    ScopedEnvironment config("XDG_CONFIG_HOME", "relative/config");
    ScopedEnvironment home("HOME", (root_ / "home").string());
    auto store = OpenUserProfileStore("renamed-copy");
    SaveSettings(*store, "COM8", DefaultSettings());
  }
  EXPECT_TRUE(fs::is_regular_file(root_ / "home" / ".config" / "Ovrenta" / "renamed-copy.ini"));
}

}  // namespace
}  // namespace velkorin
