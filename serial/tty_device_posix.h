#pragma once

#include <string>

namespace velkorin {

// Whether the character device major:minor is a terminal, judged without opening it: opening
// some devices does something by itself (a watchdog starts counting, a tape rewinds on close),
// so a port name must not make us open anything but a terminal. Pseudo-terminal slaves are
// known by their majors; everything else by its sysfs class under `sysCharRoot`. Where sysfs
// is not there to ask, the answer is yes and the terminal test after the open decides.
bool IsTerminalDevice(unsigned major, unsigned minor,
                      const std::string& sysCharRoot = "/sys/dev/char");

}  // namespace velkorin
