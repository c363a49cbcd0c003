#pragma once
// Starts velkorin-sim (or any program) as a child for the tests and waits for its output, never
// for a fixed time.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace velkorin::testing {

inline long long MonotonicMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

// A child process with its stdout (and, when asked, stderr) on pipes.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               bool captureStderr = false) {
    int out[2];
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0)
      return;
    if (captureStderr && pipe2(err, O_CLOEXEC) != 0)
      return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (captureStderr)
      posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
      argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    out_ = out[0];
    if (captureStderr) {
      close(err[1]);
      err_ = err[0];
    }
  }
  ~ChildProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0)
      close(out_);
    if (err_ >= 0)
      close(err_);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Running() const { return pid_ > 0; }

  // The first line on stdout, without its newline; empty when none came within `limitMs`.
  std::string FirstLine(int limitMs = 20000) {
    std::string line;
    const long long deadline = MonotonicMs() + limitMs;
    while (out_ >= 0) {
      const long long left = deadline - MonotonicMs();
      if (left <= 0)
        break;
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0)
        continue;
      char c;
      if (read(out_, &c, 1) != 1)
        break;
      if (c == '\n')
        return line;
      line.push_back(c);
    }
    return {};
  }

  // Sends `sig` (0: none) and waits up to `limitMs` for the exit; the exit status, 128 + the
  // signal for a killed child, or -1 when it did not end in time.
  int Stop(int sig = SIGTERM, int limitMs = 20000) {
    if (pid_ <= 0)
      return -1;
    if (sig != 0)
      kill(pid_, sig);
    // A process descriptor becomes readable when the child ends: no polling loop, no sleep.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd >= 0) {
      pollfd p{pidfd, POLLIN, 0};
      const int ready = poll(&p, 1, limitMs);
      close(pidfd);
      if (ready <= 0)
        return -1;
    }
    int status = 0;
    if (waitpid(pid_, &status, 0) != pid_)
      return -1;
    pid_ = -1;
    if (WIFEXITED(status))
      return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
      return 128 + WTERMSIG(status);
    return -1;
  }

  // Everything the child wrote to stderr (when captured), read to its end.
  std::string Stderr() { return ReadToEnd(err_); }
  // The rest of what the child wrote to stdout, read to its end.
  std::string Stdout() { return ReadToEnd(out_); }

 private:
  static std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[512];
    ssize_t n;
    while (fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
};

}  // namespace velkorin::testing
