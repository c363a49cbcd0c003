#include "ports/discovery.h"

#include <exception>
#include <utility>

#include "ports/enumerators.h"

namespace velkorin {

void DiscoverPorts(int osFamily, PortSources& sources, PortInfoList& list) {
  list.clear();
  // Compared unsigned, so a family start-up could not classify counts as the newest.
  const auto family = static_cast<unsigned>(osFamily);
  if (family <= 2)
    WalkLegacyEnumTree(sources.registry, list);
  else if (family == 3)
    ListCandidatePorts(list);
  else
    CollectInterfacePorts(sources.interfaces, list);

  for (std::size_t i = 0; i < list.size();) {
    // NT 4 has no list of its ports: a candidate counts when it opens. A port another program holds
    // open is dropped too, since it could not be used anyway. The record moving up into place i is
    // probed on the next pass.
    if (family == 3 && !sources.probe.CanOpen(list[i].devicePath)) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (list[i].friendlyName.empty())
      list[i].friendlyName = list[i].portName;
    ++i;
  }
}

std::optional<std::string> ComPortNameFromFriendlyName(std::string_view friendlyName,
                                                       LeadBytePredicate isLeadByte) {
  constexpr std::string_view kCom = "COM";
  std::size_t at = 0;
  while (at + kCom.size() <= friendlyName.size()) {
    if (friendlyName.substr(at, kCom.size()) == kCom) {
      std::size_t end = at + kCom.size();
      while (end < friendlyName.size() && friendlyName[end] >= '0' && friendlyName[end] <= '9')
        ++end;
      return std::string(friendlyName.substr(at, end - at));
    }
    // The second byte of a two-byte character may well be a 'C'; step over the pair.
    const bool lead =
        isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(friendlyName[at]));
    at += lead ? 2 : 1;
  }
  return std::nullopt;
}

std::vector<std::string> FallbackComPortNames() {
  std::vector<std::string> names;
  names.reserve(255);
  for (int n = 1; n <= 255; ++n)
    names.push_back("COM" + std::to_string(n));
  return names;
}

PortNameList MakeComPortNameList(const PortInfoList& ports, LeadBytePredicate isLeadByte) {
  PortNameList result;
  for (const SerialPortInfo& port : ports) {
    // Two ports whose names come out the same are both offered: the user sees what the system has.
    if (auto name = ComPortNameFromFriendlyName(port.friendlyName, isLeadByte)) {
      result.names.push_back(std::move(*name));
      result.ports.push_back(port);
    }
  }
  if (result.names.empty()) {
    result.names = FallbackComPortNames();
    result.ports.assign(result.names.size(), SerialPortInfo{});
  }
  return result;
}

PortNameList FailedPortNameList(PortNameList fallback, std::string message) {
  fallback.failure = message.empty() ? "port discovery failed" : std::move(message);
  return fallback;
}

PortNameList BuildComPortNameList(int osFamily, PortSources& sources,
                                  LeadBytePredicate isLeadByte) {
  PortInfoList ports;
  try {
    DiscoverPorts(osFamily, sources, ports);
  } catch (const std::exception& e) {
    // Without a port list the program could not be used at all; the fallback names still let the
    // user pick the port by hand, and the front end says what went wrong.
    return FailedPortNameList(MakeComPortNameList({}), e.what());
  } catch (...) {
    return FailedPortNameList(MakeComPortNameList({}), std::string());
  }
  return MakeComPortNameList(ports, isLeadByte);
}

}  // namespace velkorin
