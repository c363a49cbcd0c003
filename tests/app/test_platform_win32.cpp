#include <windows.h>

#include "test_platform.h"

namespace velkorin::testing {
namespace {

HANDLE AsHandle(std::intptr_t value) {
  return reinterpret_cast<HANDLE>(value);
}
std::intptr_t AsValue(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& arguments) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE inputRead = nullptr;
  HANDLE inputWrite = nullptr;
  HANDLE outputRead = nullptr;
  HANDLE outputWrite = nullptr;
  if (!::CreatePipe(&inputRead, &inputWrite, &inheritable, 0)) {
    return;
  }
  if (!::CreatePipe(&outputRead, &outputWrite, &inheritable, 0)) {
    ::CloseHandle(inputRead);
    ::CloseHandle(inputWrite);
    return;
  }
  // Only the child's ends go to the child.
  ::SetHandleInformation(inputWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);

  std::string commandLine;
  for (const auto& a : arguments) {
    if (!commandLine.empty()) {
      commandLine += ' ';
    }
    commandLine.append(1, '"').append(a).append(1, '"');
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inputRead;
  startup.hStdOutput = outputWrite;
  startup.hStdError = outputWrite;
  PROCESS_INFORMATION info{};
  const BOOL created = ::CreateProcessA(arguments[0].c_str(), commandLine.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startup, &info);
  ::CloseHandle(inputRead);
  ::CloseHandle(outputWrite);
  if (!created) {
    ::CloseHandle(inputWrite);
    ::CloseHandle(outputRead);
    return;
  }
  ::CloseHandle(info.hThread);
  process_ = AsValue(info.hProcess);
  input_ = AsValue(inputWrite);
  output_ = AsValue(outputRead);
}

ChildProcess::~ChildProcess() {
  CloseInput();
  if (process_ != -1) {
    Wait();
    ::CloseHandle(AsHandle(process_));
  }
  if (output_ != -1) {
    ::CloseHandle(AsHandle(output_));
  }
}

bool ChildProcess::Started() const {
  return process_ != -1;
}

std::string ChildProcess::ReadLine() {
  std::string line;
  char c = 0;
  DWORD got = 0;
  while (::ReadFile(AsHandle(output_), &c, 1, &got, nullptr) && got == 1 && c != '\n') {
    if (c != '\r') {
      line += c;
    }
  }
  return line;
}

void ChildProcess::CloseInput() {
  if (input_ != -1) {
    ::CloseHandle(AsHandle(input_));
    input_ = -1;
  }
}

int ChildProcess::Wait() {
  if (!waited_ && process_ != -1) {
    ::WaitForSingleObject(AsHandle(process_), INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(AsHandle(process_), &code);
    exitCode_ = static_cast<int>(code);
    waited_ = true;
  }
  return exitCode_;
}

std::string SiblingProgram(const std::string& name) {
  char path[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    return name + ".exe";
  }
  std::string self(path, length);
  return self.substr(0, self.find_last_of("\\/") + 1) + name + ".exe";
}

std::uint32_t ProcessId() {
  return ::GetCurrentProcessId();
}

}  // namespace velkorin::testing

namespace velkorin::testing {

ScopedInstanceFolder::ScopedInstanceFolder() = default;
ScopedInstanceFolder::~ScopedInstanceFolder() = default;

}  // namespace velkorin::testing
