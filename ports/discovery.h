#pragma once

// Port discovery as Windows does it, over injectable sources: the enumerator chosen by the family,
// the open probe of NT 4, the friendly-name fix-up, and the "COM" names of the port list. Nothing
// here touches the system, so it builds and is tested everywhere.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ports/port_list.h"
#include "ports/port_sources.h"

namespace velkorin {

// Whether a byte starts a two-byte character of the ANSI code page; null for single-byte pages.
using LeadBytePredicate = bool (*)(unsigned char);

// Empties `list`, runs the enumerator for `osFamily` (0-2 legacy registry walk, 3 the COM1-COM255
// candidates, anything else as an unsigned number the device interfaces), drops the candidates of
// family 3 that do not open, and gives each record without a friendly name its port name.
// Throws DiscoveryError from the enumerator; the records found before it stay in `list`.
void DiscoverPorts(int osFamily, PortSources& sources, PortInfoList& list);

// The port-list name in a friendly name: "COM" (first occurrence, case-sensitive, never inside a
// two-byte character) and the decimal digits right after it, possibly none. Nothing when the
// friendly name holds no "COM".
std::optional<std::string> ComPortNameFromFriendlyName(std::string_view friendlyName,
                                                       LeadBytePredicate isLeadByte = nullptr);

// "COM1" to "COM255", for when discovery names nothing.
std::vector<std::string> FallbackComPortNames();

// One name per record that yields one, in list order and without removing repeats; the fallback
// names (with empty records) when none does.
PortNameList MakeComPortNameList(const PortInfoList& ports, LeadBytePredicate isLeadByte = nullptr);

// DiscoverPorts, then MakeComPortNameList. Never throws: a failure's message goes to `failure` and
// the list holds the fallback names.
PortNameList BuildComPortNameList(int osFamily, PortSources& sources,
                                  LeadBytePredicate isLeadByte = nullptr);

// The fallback list with the failure that made it necessary (an empty message gets a generic one,
// since an empty `failure` means "none").
PortNameList FailedPortNameList(PortNameList fallback, std::string message);

}  // namespace velkorin
