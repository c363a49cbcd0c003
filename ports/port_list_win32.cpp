#include "ports/port_list.h"

#include "ports/discovery.h"
#include "ports/win32_sources.h"

namespace velkorin {

void DiscoverPorts(int osFamily, PortInfoList& list) {
  const auto interfaces = MakeSetupApiInterfaceSource();
  const auto registry = MakeWin32RegistryReader();
  const auto probe = MakeCreateFileProbe();
  PortSources sources{*interfaces, *registry, *probe};
  DiscoverPorts(osFamily, sources, list);
}

PortNameList BuildPortNameList(int osFamily) {
  try {
    const auto interfaces = MakeSetupApiInterfaceSource();
    const auto registry = MakeWin32RegistryReader();
    const auto probe = MakeCreateFileProbe();
    PortSources sources{*interfaces, *registry, *probe};
    return BuildComPortNameList(osFamily, sources, IsAnsiLeadByte);
  } catch (const std::exception& e) {
    return FailedPortNameList(MakeComPortNameList({}), e.what());
  }
}

}  // namespace velkorin
