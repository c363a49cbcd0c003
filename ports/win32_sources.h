#pragma once

// The real Windows sources under the enumerators (built for Windows only).

#include <memory>

#include "ports/port_sources.h"

namespace velkorin {

// SetupAPI, the COM port interface class.
std::unique_ptr<DeviceInterfaceSource> MakeSetupApiInterfaceSource();
// RegOpenKeyExA and friends, read only.
std::unique_ptr<RegistryReader> MakeWin32RegistryReader();
// CreateFileA, exclusive, for reading and writing; closed again at once.
std::unique_ptr<OpenProbe> MakeCreateFileProbe();
// IsDBCSLeadByte of the ANSI code page.
bool IsAnsiLeadByte(unsigned char byte);

}  // namespace velkorin
