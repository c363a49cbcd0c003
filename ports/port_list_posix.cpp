#include "ports/port_list.h"

#include "ports/sysfs_ports.h"

namespace velkorin {

// The family code names Windows releases; Linux has one way to find its ports.
void DiscoverPorts(int /*osFamily*/, PortInfoList& list) {
  list.clear();
  list = EnumerateSysfsPorts("/sys");
}

PortNameList BuildPortNameList(int /*osFamily*/) {
  return BuildSysfsPortNameList("/sys", "/dev");
}

}  // namespace velkorin
