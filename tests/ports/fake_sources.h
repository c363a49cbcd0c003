#pragma once

// In-memory stand-ins for the sources under the Windows enumerators. They keep the system's size
// rules (a name, value or path that does not fit in the caller's buffer fails), can be told to
// fail at a given place, and keep count of what was opened and released.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ports/port_sources.h"

namespace velkorin::testing {

// ---- Registry --------------------------------------------------------------------------------

struct FakeKey {
  std::string name;
  std::vector<FakeKey> subkeys;                             // in enumeration order
  std::vector<std::pair<std::string, std::string>> values;  // name, text
  bool refuseOpen = false;
};

inline FakeKey Key(std::string name, std::vector<FakeKey> subkeys = {}) {
  return FakeKey{std::move(name), std::move(subkeys), {}, false};
}

// An instance key of the legacy tree; a value left out is missing.
inline FakeKey Instance(std::string name, std::optional<std::string> portName,
                        std::optional<std::string> friendlyName = std::nullopt) {
  FakeKey key{std::move(name), {}, {}, false};
  if (portName)
    key.values.emplace_back("PORTNAME", *portName);
  if (friendlyName)
    key.values.emplace_back("FRIENDLYNAME", *friendlyName);
  return key;
}

class FakeRegistry final : public RegistryReader {
 public:
  // `localMachine` holds the subkeys of HKEY_LOCAL_MACHINE ("Enum" among them).
  explicit FakeRegistry(std::vector<FakeKey> localMachine)
      : root_(Key("HKLM", std::move(localMachine))) {}

  // The key at a backslash-separated path below HKEY_LOCAL_MACHINE, e.g. "Enum\\BIOS".
  FakeKey& At(const std::string& path) {
    FakeKey* key = &root_;
    std::size_t from = 0;
    while (from <= path.size()) {
      const std::size_t to = std::min(path.find('\\', from), path.size());
      FakeKey* child = Child(*key, path.substr(from, to - from));
      if (child == nullptr)
        throw std::logic_error("no fake key " + path);
      key = child;
      from = to + 1;
    }
    return *key;
  }

  bool OpenKey(RegistryKey parent, const std::string& subkey, RegistryKey& key) override {
    FakeKey* parentKey = parent == kLocalMachine ? &root_ : Lookup(parent);
    if (parentKey == nullptr)
      return false;
    FakeKey* child = Child(*parentKey, subkey);
    if (child == nullptr || child->refuseOpen)
      return false;
    key = nextHandle_++;
    open_[key] = child;
    ++opened_;
    return true;
  }

  bool EnumKey(RegistryKey key, std::uint32_t index, std::span<char> nameBuffer) override {
    FakeKey* parent = Lookup(key);
    if (parent == nullptr || index >= parent->subkeys.size())
      return false;
    return CopyText(parent->subkeys[index].name, nameBuffer);
  }

  bool QueryValue(RegistryKey key, const std::string& valueName, std::span<char> buffer) override {
    FakeKey* owner = Lookup(key);
    if (owner == nullptr)
      return false;
    for (const auto& [name, text] : owner->values) {
      if (name == valueName)
        return CopyText(text, buffer);
    }
    return false;
  }

  void CloseKey(RegistryKey key) override {
    if (open_.erase(key) == 0)
      ADD_FAILURE() << "closed registry key " << key << ", which is not open";
  }

  std::size_t StillOpen() const { return open_.size(); }
  int Opened() const { return opened_; }

 private:
  static FakeKey* Child(FakeKey& parent, const std::string& name) {
    for (FakeKey& child : parent.subkeys) {
      if (child.name == name)
        return &child;
    }
    return nullptr;
  }

  FakeKey* Lookup(RegistryKey key) {
    const auto found = open_.find(key);
    if (found == open_.end()) {
      ADD_FAILURE() << "used registry key " << key << ", which is not open";
      return nullptr;
    }
    return found->second;
  }

  // Like the registry: the text and its NUL must fit, or the call fails.
  static bool CopyText(const std::string& text, std::span<char> buffer) {
    if (text.size() + 1 > buffer.size())
      return false;
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    return true;
  }

  FakeKey root_;
  std::map<RegistryKey, FakeKey*> open_;
  RegistryKey nextHandle_ = 0x100;
  int opened_ = 0;
};

// ---- Device interfaces -----------------------------------------------------------------------

struct FakeInterface {
  std::string devicePath;
  std::optional<std::string> friendlyName;
  std::optional<std::string> description;
};

// A port as the system usually shows it: both properties present.
inline FakeInterface Port(std::string devicePath, std::string friendlyName) {
  return {std::move(devicePath), std::move(friendlyName), "USB Serial Port"};
}

struct FakeFault {
  std::uint32_t index;  // member index the call fails at
  std::uint32_t code;   // what LastError() reports then
};

class FakeDeviceInterfaces final : public DeviceInterfaceSource {
 public:
  explicit FakeDeviceInterfaces(std::vector<FakeInterface> interfaces = {})
      : interfaces(std::move(interfaces)) {}

  std::vector<FakeInterface> interfaces;
  std::optional<std::uint32_t> openError;  // OpenSet() fails with this code
  std::optional<FakeFault> enumFault;
  std::optional<FakeFault> detailFault;

  int setsOpened = 0;
  int setsDestroyed = 0;

  bool OpenSet() override {
    if (openError) {
      lastError_ = *openError;
      return false;
    }
    EXPECT_FALSE(setOpen_) << "a second set while one is open";
    setOpen_ = true;
    ++setsOpened;
    return true;
  }

  void DestroySet() override {
    EXPECT_TRUE(setOpen_) << "destroyed a set that is not open";
    setOpen_ = false;
    ++setsDestroyed;
  }

  bool EnumInterface(std::uint32_t memberIndex) override {
    EXPECT_TRUE(setOpen_);
    selected_.reset();
    device_.reset();
    if (enumFault && enumFault->index == memberIndex)
      return Fail(enumFault->code);
    if (memberIndex >= interfaces.size())
      return Fail(kErrorNoMoreItems);
    selected_ = memberIndex;
    return true;
  }

  bool GetInterfaceDetail(std::span<char> detailBuffer) override {
    device_.reset();
    if (!selected_) {
      ADD_FAILURE() << "detail asked for with no interface selected";
      return Fail(kErrorNoMoreItems);
    }
    if (detailFault && detailFault->index == *selected_)
      return Fail(detailFault->code);
    const std::string& path = interfaces[*selected_].devicePath;
    if (kInterfaceDetailPathOffset + path.size() + 1 > detailBuffer.size())
      return Fail(kErrorInsufficientBuffer);
    const std::uint32_t sizeField = 5;
    std::memcpy(detailBuffer.data(), &sizeField, sizeof sizeField);
    std::memcpy(detailBuffer.data() + kInterfaceDetailPathOffset, path.c_str(), path.size() + 1);
    device_ = selected_;
    return true;
  }

  bool GetProperty(DeviceProperty property, std::span<char> buffer) override {
    if (!device_) {
      ADD_FAILURE() << "property asked for with no device";
      return Fail(kErrorNoMoreItems);
    }
    const FakeInterface& port = interfaces[*device_];
    const auto& text =
        property == DeviceProperty::FriendlyName ? port.friendlyName : port.description;
    if (!text)
      return Fail(13);  // ERROR_INVALID_DATA, what SetupAPI says for a missing property
    if (text->size() + 1 > buffer.size())
      return Fail(kErrorInsufficientBuffer);
    std::memcpy(buffer.data(), text->c_str(), text->size() + 1);
    return true;
  }

  std::uint32_t LastError() const override { return lastError_; }

 private:
  bool Fail(std::uint32_t code) {
    lastError_ = code;
    return false;
  }

  bool setOpen_ = false;
  std::optional<std::size_t> selected_;
  std::optional<std::size_t> device_;
  std::uint32_t lastError_ = 0;
};

// ---- Open probe ------------------------------------------------------------------------------

class FakeProbe final : public OpenProbe {
 public:
  explicit FakeProbe(std::set<std::string> openable = {}) : openable(std::move(openable)) {}
  std::set<std::string> openable;
  std::vector<std::string> probed;  // every path asked for, in order

  bool CanOpen(const std::string& devicePath) override {
    probed.push_back(devicePath);
    return openable.count(devicePath) != 0;
  }
};

}  // namespace velkorin::testing
