#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace velkorin {

// One discovered serial port.
struct SerialPortInfo {
  std::string devicePath;    // what to open: "\\.\COM3", an interface path, "/dev/ttyUSB0"
  std::string portName;      // "COM3", "ttyUSB0"; empty from the device-interface enumerator
  std::string friendlyName;  // as the system shows it; the port list's name comes from here
  friend bool operator==(const SerialPortInfo&, const SerialPortInfo&) = default;
};
using PortInfoList = std::vector<SerialPortInfo>;

// The names offered in the window's port list, in the order shown, with the record behind each
// name where there is one (the fallback names have none: an empty record).
struct PortNameList {
  std::vector<std::string> names;      // PortNames
  std::vector<SerialPortInfo> ports;   // same size as names
  std::string failure;                 // discovery's failure message, empty when none
  std::int32_t Count() const { return static_cast<std::int32_t>(names.size()); }  // PortCount
};

// How an enumerator reports that it could not read its source: what() is the message text.
struct DiscoveryError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Discovers the ports of this machine (the enumerator chosen by `osFamily` on Windows, sysfs on
// Linux) and builds the list. Never throws: a discovery failure is kept in `failure` and the
// fallback names are used.
PortNameList BuildPortNameList(int osFamily);

// The discovery step alone, with this platform's real sources: empties `list`, then fills it in
// the order of discovery. Throws DiscoveryError (the Windows enumerators leave the records they
// found before the failure in `list`).
void DiscoverPorts(int osFamily, PortInfoList& list);

}  // namespace velkorin
