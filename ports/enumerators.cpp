#include "ports/enumerators.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>

namespace velkorin {
namespace {

// The text in a buffer a source filled: up to its NUL, and never past the buffer's end even when a
// source left the NUL out.
std::string TextIn(std::span<const char> buffer) {
  const auto end = std::find(buffer.begin(), buffer.end(), '\0');
  return std::string(buffer.begin(), end);
}

[[noreturn]] void FailWithCode(const char* format, std::uint32_t code) {
  char message[96];
  std::snprintf(message, sizeof message, format, static_cast<unsigned long>(code));
  throw DiscoveryError(message);
}

// Closes a registry key when it goes out of scope, on the way out of a failure too, so no path
// through the walk leaves a key open.
class OpenKey {
 public:
  OpenKey(RegistryReader& registry, RegistryKey key) : registry_(registry), key_(key) {}
  ~OpenKey() { registry_.CloseKey(key_); }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  RegistryKey get() const { return key_; }

 private:
  RegistryReader& registry_;
  RegistryKey key_;
};

class DeviceSet {
 public:
  explicit DeviceSet(DeviceInterfaceSource& source) : source_(source) {}
  ~DeviceSet() { source_.DestroySet(); }
  DeviceSet(const DeviceSet&) = delete;
  DeviceSet& operator=(const DeviceSet&) = delete;

 private:
  DeviceInterfaceSource& source_;
};

constexpr char kEnumKeyMessage[] = "Could not read from HKLM\\Enum";

}  // namespace

void CollectInterfacePorts(DeviceInterfaceSource& source, PortInfoList& list) {
  if (!source.OpenSet())
    FailWithCode("SetupDiGetClassDevs failed. (err=%lx)", source.LastError());
  const DeviceSet set(source);
  // Declared after the set so that, on every way out, the buffer goes first and the set after it.
  const auto detail = std::make_unique<char[]>(kInterfaceDetailBufferSize);
  const std::span<char> detailBuffer(detail.get(), kInterfaceDetailBufferSize);
  std::array<char, kDevicePropertyBufferSize> friendlyName{};
  std::array<char, kDevicePropertyBufferSize> description{};

  for (std::uint32_t index = 0;; ++index) {
    if (!source.EnumInterface(index)) {
      const std::uint32_t code = source.LastError();
      if (code == kErrorNoMoreItems)
        break;
      FailWithCode("SetupDiEnumDeviceInterfaces failed. (err=%lx)", code);
    }
    if (!source.GetInterfaceDetail(detailBuffer))
      FailWithCode("SetupDiGetDeviceInterfaceDetail failed. (err=%lx)", source.LastError());
    const std::string devicePath = TextIn(detailBuffer.subspan(kInterfaceDetailPathOffset));
    // The description only decides whether the device is a port worth listing; it is not kept.
    if (source.GetProperty(DeviceProperty::FriendlyName, friendlyName) &&
        source.GetProperty(DeviceProperty::DeviceDescription, description)) {
      list.push_back({devicePath, std::string(), TextIn(friendlyName)});
    }
  }
}

void ListCandidatePorts(PortInfoList& list) {
  for (int n = 1; n <= 255; ++n) {
    const std::string name = "COM" + std::to_string(n);
    list.push_back({"\\\\.\\" + name, name, std::string()});
  }
}

void WalkLegacyEnumTree(RegistryReader& registry, PortInfoList& list) {
  RegistryKey key = 0;
  if (!registry.OpenKey(kLocalMachine, "Enum", key))
    throw DiscoveryError(kEnumKeyMessage);
  const OpenKey enumKey(registry, key);

  std::array<char, kRegistryNameBufferSize> busBuffer{};
  for (std::uint32_t busIndex = 0; registry.EnumKey(enumKey.get(), busIndex, busBuffer);
       ++busIndex) {
    const std::string busName = TextIn(busBuffer);
    if (!registry.OpenKey(enumKey.get(), busName, key))
      throw DiscoveryError(std::string(kEnumKeyMessage) + "\\" + busName);
    const OpenKey busKey(registry, key);
    const bool isUsbBus = busName == "USBPORTS";

    std::array<char, kRegistryNameBufferSize> deviceBuffer{};
    for (std::uint32_t deviceIndex = 0; registry.EnumKey(busKey.get(), deviceIndex, deviceBuffer);
         ++deviceIndex) {
      const std::string deviceName = TextIn(deviceBuffer);
      // Standard and 16550A-compatible COM ports; under USBPORTS every device is a port.
      if (deviceName != "*PNP0500" && deviceName != "*PNP0501" && !isUsbBus)
        continue;
      if (!registry.OpenKey(busKey.get(), deviceName, key))
        throw DiscoveryError(std::string(kEnumKeyMessage) + "\\" + busName + "\\" + deviceName);
      const OpenKey deviceKey(registry, key);
      ReadLegacyPortInstances(registry, deviceKey.get(), list);
    }
  }
}

void ReadLegacyPortInstances(RegistryReader& registry, RegistryKey deviceKey, PortInfoList& list) {
  std::array<char, kRegistryNameBufferSize> instanceBuffer{};
  std::array<char, kRegistryValueBufferSize> value{};
  for (std::uint32_t index = 0; registry.EnumKey(deviceKey, index, instanceBuffer); ++index) {
    const std::string instanceName = TextIn(instanceBuffer);
    RegistryKey key = 0;
    if (!registry.OpenKey(deviceKey, instanceName, key))
      throw DiscoveryError(std::string(kEnumKeyMessage) + "\\...\\" + instanceName);
    const OpenKey instanceKey(registry, key);

    if (!registry.QueryValue(instanceKey.get(), "PORTNAME", value))
      continue;
    SerialPortInfo port;
    port.portName = TextIn(value);
    port.devicePath = "\\\\.\\" + port.portName;
    if (registry.QueryValue(instanceKey.get(), "FRIENDLYNAME", value))
      port.friendlyName = TextIn(value);

    // A port seen under several devices or buses stays at the place it was first found and
    // carries what was read last.
    const auto same = std::find_if(list.begin(), list.end(), [&](const SerialPortInfo& p) {
      return p.portName == port.portName;
    });
    if (same != list.end())
      *same = std::move(port);
    else
      list.push_back(std::move(port));
  }
}

}  // namespace velkorin
