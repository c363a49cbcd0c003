#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "app/instance_lock_posix.h"
#include "app/startup.h"

namespace velkorin {
namespace {

bool IsAbsolute(const char* path) {
  return path != nullptr && path[0] == '/';
}

bool IsOwnFolder(const char* path) {
  struct stat info {};
  return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid();
}

}  // namespace

int DetectOsFamily() {
  return kDefaultOsFamily;
}

std::string CurrentApplicationName(const char* argv0) {
  std::string path(256, '\0');
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) {
      return ApplicationNameFromPath(argv0 != nullptr ? argv0 : "");
    }
    if (static_cast<std::size_t>(length) < path.size()) {
      path.resize(static_cast<std::size_t>(length));
      return ApplicationNameFromPath(path);
    }
    path.resize(path.size() * 2);  // readlink() cuts silently; a full buffer may be a cut name
  }
}

std::string InstanceLockPath(const std::string& name) {
  std::string fileName = name;
  std::replace(fileName.begin(), fileName.end(), '/', '_');
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (IsAbsolute(runtime) && IsOwnFolder(runtime)) {
    return std::string(runtime) + '/' + fileName + ".lock";
  }
  // The temporary folder is shared by every user, so the file name carries the user id.
  const char* temporary = std::getenv("TMPDIR");
  const std::string folder = IsAbsolute(temporary) ? temporary : "/tmp";
  return folder + '/' + fileName + '-' + std::to_string(::geteuid()) + ".lock";
}

SingleInstanceGuard::SingleInstanceGuard(std::string name) {
  const std::string path = InstanceLockPath(name);
  // O_NOFOLLOW: in a shared temporary folder another user could plant a link under our name
  // and have us create or lock a file of their choosing. O_NONBLOCK: a planted FIFO must not
  // hang the start.
  const int fd = ::open(path.c_str(),
                        O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) {
    return;  // can't tell; go on as the first instance
  }
  // A file of another user under our name could be held by them to keep us from ever starting.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
    ::close(fd);
    return;
  }
  int result = 0;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  if (result == 0) {
    handle_ = fd;  // the lock lasts as long as the descriptor; the system drops it at exit
    return;
  }
  first_ = errno != EWOULDBLOCK;
  ::close(fd);
}

SingleInstanceGuard::~SingleInstanceGuard() {
  // The file itself stays: removing it would let a third process lock a new file of the same
  // name while a second one still holds the old one.
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
  }
}

}  // namespace velkorin
