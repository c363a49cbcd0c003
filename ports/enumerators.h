#pragma once

// The three ways Windows families reveal their serial ports. Each appends records to `list`
// (the legacy walk may also overwrite a record it appended itself), never removes one, and
// throws DiscoveryError with the message the user should read; the records appended before a
// failure stay in `list`, and everything the enumerator held is released first.

#include "ports/port_list.h"
#include "ports/port_sources.h"

namespace velkorin {

// Windows 2000 and later: the present devices of the COM port interface class, each with its
// interface path and friendly name (an interface without friendly name or description is
// skipped).
void CollectInterfacePorts(DeviceInterfaceSource& source, PortInfoList& list);

// Windows NT 4: "COM1" to "COM255" as candidates, to be probed by the caller. Cannot fail.
void ListCandidatePorts(PortInfoList& list);

// Windows 95/98/Me: the instances of "*PNP0500"/"*PNP0501" under every bus of HKLM\Enum, and every
// device under "USBPORTS", merged by port name.
void WalkLegacyEnumTree(RegistryReader& registry, PortInfoList& list);

// The instances under one device key of the legacy tree: each with a readable "PORTNAME" is merged
// into `list` (a port already listed is overwritten in place, otherwise appended).
void ReadLegacyPortInstances(RegistryReader& registry, RegistryKey deviceKey, PortInfoList& list);

}  // namespace velkorin
