#pragma once

#include <string>

namespace velkorin {

// The lock file that stands for the instance name `name` for this user:
// $XDG_RUNTIME_DIR/<name>.lock when that is an absolute path to a folder of this user, else
// <temporary folder>/<name>-<uid>.lock ($TMPDIR when absolute, else /tmp).
std::string InstanceLockPath(const std::string& name);

}  // namespace velkorin
