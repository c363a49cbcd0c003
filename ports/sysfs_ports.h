#pragma once

// Port discovery on Linux: what sysfs says about the tty devices, read without opening any port
// (opening a tty can raise DTR and reset the board behind it, or disturb whoever uses it).

#include <filesystem>
#include <string_view>

#include "ports/port_list.h"

namespace velkorin {

// Every tty under <sysRoot>/class/tty that is backed by a device bound to a driver, in natural
// order of name. Skipped: virtual terminals and the like (no device), devices without a driver,
// and UART slots the kernel keeps for ports that are not there ("type" reads 0, PORT_UNKNOWN).
// Each record: devicePath "/dev/NAME", portName NAME, friendlyName "WHAT (NAME)", where WHAT is
// the USB product name of the device, else its USB manufacturer, else the name of its driver
// ("FT232R USB UART (ttyUSB0)", "serial8250 (ttyS4)").
// Throws DiscoveryError when <sysRoot>/class/tty cannot be read.
PortInfoList EnumerateSysfsPorts(const std::filesystem::path& sysRoot = "/sys");

// The nodes under `devRoot` named like serial ports (ttyS, ttyUSB, ttyACM, ttyAMA or rfcomm and a
// number), in natural order, each with devicePath devRoot/NAME and NAME as port and friendly name.
// Stands in for the ports sysfs could not tell about. Never throws; nothing when unreadable.
PortInfoList ListDevSerialNodes(const std::filesystem::path& devRoot = "/dev");

// Names with their runs of digits compared as numbers: "ttyS2" before "ttyS10".
bool NaturalLess(std::string_view a, std::string_view b);

// EnumerateSysfsPorts, and ListDevSerialNodes when it finds nothing or fails; the names are the
// port names. Never throws: a failure's message goes to `failure`.
PortNameList BuildSysfsPortNameList(const std::filesystem::path& sysRoot,
                                    const std::filesystem::path& devRoot);

}  // namespace velkorin
