#include "ports/sysfs_ports.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <string>
#include <system_error>

namespace velkorin {
namespace fs = std::filesystem;
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The first line of a sysfs attribute, trimmed, with control characters made blanks so a odd USB
// string cannot garble a terminal or a list; empty when it cannot be read.
std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line))
    return std::string();
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      c = ' ';
  }
  const auto first = line.find_first_not_of(' ');
  if (first == std::string::npos)
    return std::string();
  return line.substr(first, line.find_last_not_of(' ') - first + 1);
}

bool IsFile(const fs::path& file) {
  std::error_code ec;
  return fs::is_regular_file(file, ec);
}

// Whether `dir` lies strictly below `root`: the walks up the device tree never leave sysfs.
bool IsBelow(const fs::path& dir, const fs::path& root) {
  const fs::path relative = dir.lexically_relative(root);
  return !relative.empty() && relative != "." && *relative.begin() != "..";
}

// The driver to name the port by. Since Linux 6.5 every UART sits on a "port" device of the
// serial-base bus, whose drivers ("port", "ctrl") say nothing; the driver that does ("serial8250",
// "serial") is bound further up.
std::string DriverName(const fs::path& device, const fs::path& root) {
  std::string own;
  for (fs::path dir = device; IsBelow(dir, root); dir = dir.parent_path()) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(dir / "driver", ec);
    if (ec)
      continue;
    const std::string name = target.filename().string();
    if (own.empty())
      own = name;
    if (target.parent_path().parent_path().filename() != "serial-base")
      return name;
  }
  return own;
}

// Product, else manufacturer, of the USB device the port belongs to; empty for other ports.
std::string UsbDescription(const fs::path& device, const fs::path& root) {
  for (fs::path dir = device; IsBelow(dir, root); dir = dir.parent_path()) {
    if (!IsFile(dir / "idVendor"))
      continue;
    std::string text = ReadAttribute(dir / "product");
    if (text.empty())
      text = ReadAttribute(dir / "manufacturer");
    return text;
  }
  return std::string();
}

bool LooksLikeSerialNode(const std::string& name) {
  static constexpr std::array<std::string_view, 5> kPrefixes = {"ttyS", "ttyUSB", "ttyACM",
                                                                "ttyAMA", "rfcomm"};
  for (std::string_view prefix : kPrefixes) {
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(), IsDigit))
      return true;
  }
  return false;
}

void SortByName(PortInfoList& ports) {
  std::sort(ports.begin(), ports.end(), [](const SerialPortInfo& a, const SerialPortInfo& b) {
    return NaturalLess(a.portName, b.portName);
  });
}

}  // namespace

bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && IsDigit(a[endA]))
        ++endA;
      while (endB < b.size() && IsDigit(b[endB]))
        ++endB;
      // Leading zeros aside, the longer run is the larger number; equal lengths compare as text.
      std::string_view numberA = a.substr(i, endA - i);
      std::string_view numberB = b.substr(j, endB - j);
      numberA.remove_prefix(std::min(numberA.find_first_not_of('0'), numberA.size()));
      numberB.remove_prefix(std::min(numberB.find_first_not_of('0'), numberB.size()));
      if (numberA.size() != numberB.size())
        return numberA.size() < numberB.size();
      if (numberA != numberB)
        return numberA < numberB;
      i = endA;
      j = endB;
      continue;
    }
    if (a[i] != b[j])
      return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
    ++i;
    ++j;
  }
  if (i < a.size() || j < b.size())
    return j < b.size();
  // Equal as numbers ("ttyS01", "ttyS1"): the plain text decides, so the order stays strict.
  return a < b;
}

PortInfoList EnumerateSysfsPorts(const fs::path& sysRoot) {
  const fs::path classDir = sysRoot / "class" / "tty";
  std::error_code ec;
  const fs::path root = fs::canonical(sysRoot, ec);
  fs::directory_iterator entries(classDir, ec);
  if (ec)
    throw DiscoveryError("Could not read from " + classDir.string());

  PortInfoList ports;
  for (; entries != fs::directory_iterator(); entries.increment(ec)) {
    if (ec)
      throw DiscoveryError("Could not read from " + classDir.string());
    const std::string name = entries->path().filename().string();
    const fs::path tty = classDir / name;
    // Virtual terminals, the console and ptmx have no device behind them.
    std::error_code deviceError;
    const fs::path device = fs::canonical(tty / "device", deviceError);
    if (deviceError)
      continue;
    std::error_code driverError;
    if (!fs::is_symlink(device / "driver", driverError))
      continue;
    // The 8250 driver registers its slots whether or not a UART answers; an empty slot has
    // type 0 (PORT_UNKNOWN). Asking the port itself would mean opening it.
    if (IsFile(tty / "type") && ReadAttribute(tty / "type") == "0")
      continue;

    std::string what = UsbDescription(device, root);
    if (what.empty())
      what = DriverName(device, root);
    ports.push_back({"/dev/" + name, name, what + " (" + name + ")"});
  }
  if (ec)
    throw DiscoveryError("Could not read from " + classDir.string());
  SortByName(ports);
  return ports;
}

PortInfoList ListDevSerialNodes(const fs::path& devRoot) {
  PortInfoList ports;
  std::error_code ec;
  fs::directory_iterator entries(devRoot, ec);
  for (; !ec && entries != fs::directory_iterator(); entries.increment(ec)) {
    const std::string name = entries->path().filename().string();
    std::error_code typeError;
    if (!LooksLikeSerialNode(name) || fs::is_directory(entries->path(), typeError))
      continue;
    ports.push_back({(devRoot / name).string(), name, name});
  }
  SortByName(ports);
  return ports;
}

PortNameList BuildSysfsPortNameList(const fs::path& sysRoot, const fs::path& devRoot) {
  PortNameList result;
  PortInfoList ports;
  try {
    ports = EnumerateSysfsPorts(sysRoot);
  } catch (const std::exception& e) {
    result.failure = e.what();
    // An empty `failure` would read as none.
    if (result.failure.empty())
      result.failure = "port discovery failed";
  } catch (...) {
    result.failure = "port discovery failed";
  }
  // No port known to sysfs (or no sysfs to ask): offer the nodes that look like ports, as
  // Windows offers COM1 to COM255, so a port can still be picked.
  if (ports.empty())
    ports = ListDevSerialNodes(devRoot);
  for (const SerialPortInfo& port : ports)
    result.names.push_back(port.portName);
  result.ports = std::move(ports);
  return result;
}

}  // namespace velkorin
