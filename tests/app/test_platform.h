#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velkorin::testing {

// A program started with its standard input and output on pipes to the test.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& arguments);  // [0] is the program
  ~ChildProcess();                                                   // ends the input and waits
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const;
  // The next line of output without its line break; empty once the output has ended.
  std::string ReadLine();
  void CloseInput();
  // Waits for the end; the exit code.
  int Wait();

 private:
  std::intptr_t process_ = -1;
  std::intptr_t input_ = -1;
  std::intptr_t output_ = -1;
  bool waited_ = false;
  int exitCode_ = -1;
};

// The path of a program built next to the running test executable.
std::string SiblingProgram(const std::string& name);

// A number no other running test process uses.
std::uint32_t ProcessId();

// Keeps the lock files of the tests' instance names in a folder of their own that goes away at
// the end of the scope (POSIX); on Windows the names are mutexes and leave nothing behind.
class ScopedInstanceFolder {
 public:
  ScopedInstanceFolder();
  ~ScopedInstanceFolder();
  ScopedInstanceFolder(const ScopedInstanceFolder&) = delete;
  ScopedInstanceFolder& operator=(const ScopedInstanceFolder&) = delete;
  const std::string& Path() const { return folder_; }

 private:
  std::string folder_;
  std::string oldValue_;
  bool hadValue_ = false;
};

}  // namespace velkorin::testing
