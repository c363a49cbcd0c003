#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "test_platform.h"

extern char** environ;

namespace velkorin::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
  int input[2];
  int output[2];
  if (::pipe2(input, O_CLOEXEC) != 0) {
    return;
  }
  if (::pipe2(output, O_CLOEXEC) != 0) {
    ::close(input[0]);
    ::close(input[1]);
    return;
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
  ::posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const auto& a : arguments) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int result = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(input[0]);
  ::close(output[1]);
  if (result != 0) {
    ::close(input[1]);
    ::close(output[0]);
    return;
  }
  process_ = pid;
  input_ = input[1];
  output_ = output[0];
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (process_ >= 0) {
    Wait();
  }
  if (output_ >= 0) {
    ::close(static_cast<int>(output_));
  }
}

bool ChildProcess::Started() const {
  return process_ >= 0;
}

std::string ChildProcess::ReadLine() {
  std::string line;
  char c = 0;
  for (;;) {
    const ssize_t got = ::read(static_cast<int>(output_), &c, 1);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0 || c == '\n') {
      return line;
    }
    line += c;
  }
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) {
    ::close(static_cast<int>(input_));
    input_ = -1;
  }
}

int ChildProcess::Wait() {
  if (!waited_ && process_ >= 0) {
    int status = 0;
    while (::waitpid(static_cast<pid_t>(process_), &status, 0) < 0 && errno == EINTR) {
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    waited_ = true;
  }
  return exitCode_;
}

std::string SiblingProgram(const std::string& name) {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    return name;
  }
  std::string self(path, static_cast<std::size_t>(length));
  return self.substr(0, self.rfind('/') + 1) + name;
}

std::uint32_t ProcessId() {
  return static_cast<std::uint32_t>(::getpid());
}

}  // namespace velkorin::testing

namespace velkorin::testing {

ScopedInstanceFolder::ScopedInstanceFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/velkorin-run-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    return;
  }
  folder_ = pattern;
  if (const char* old = std::getenv("XDG_RUNTIME_DIR")) {
    oldValue_ = old;
    hadValue_ = true;
  }
  ::setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
}

ScopedInstanceFolder::~ScopedInstanceFolder() {
  if (folder_.empty()) {
    return;
  }
  if (hadValue_) {
    ::setenv("XDG_RUNTIME_DIR", oldValue_.c_str(), 1);
  } else {
    ::unsetenv("XDG_RUNTIME_DIR");
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

}  // namespace velkorin::testing
