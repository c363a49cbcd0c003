#include "ports/win32_sources.h"

#include <windows.h>
// setupapi.h needs the types of windows.h.
#include <setupapi.h>

#include <algorithm>
#include <cstddef>

namespace velkorin {
namespace {

// GUID_DEVINTERFACE_COMPORT, spelled out so no translation unit needs initguid.h.
const GUID kComPortInterfaceClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) ==
              kInterfaceDetailPathOffset);

class SetupApiInterfaceSource final : public DeviceInterfaceSource {
 public:
  bool OpenSet() override {
    set_ = SetupDiGetClassDevsA(&kComPortInterfaceClass, nullptr, nullptr,
                                DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set_ == INVALID_HANDLE_VALUE)
      return Failed();
    interface_ = {};
    interface_.cbSize = sizeof interface_;
    return true;
  }

  void DestroySet() override {
    if (set_ != INVALID_HANDLE_VALUE)
      SetupDiDestroyDeviceInfoList(set_);
    set_ = INVALID_HANDLE_VALUE;
  }

  bool EnumInterface(std::uint32_t memberIndex) override {
    if (!SetupDiEnumDeviceInterfaces(set_, nullptr, &kComPortInterfaceClass, memberIndex,
                                     &interface_))
      return Failed();
    return true;
  }

  bool GetInterfaceDetail(std::span<char> detailBuffer) override {
    // The size field is the structure's own size for this build (5 bytes for 32-bit code, 8 for
    // 64-bit); SetupAPI refuses any other value.
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBuffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    device_ = {};
    device_.cbSize = sizeof device_;
    if (!SetupDiGetDeviceInterfaceDetailA(
            set_, &interface_, detail, static_cast<DWORD>(detailBuffer.size()), nullptr, &device_))
      return Failed();
    return true;
  }

  bool GetProperty(DeviceProperty property, std::span<char> buffer) override {
    const DWORD which =
        property == DeviceProperty::FriendlyName ? SPDRP_FRIENDLYNAME : SPDRP_DEVICEDESC;
    if (!SetupDiGetDeviceRegistryPropertyA(set_, &device_, which, nullptr,
                                           reinterpret_cast<PBYTE>(buffer.data()),
                                           static_cast<DWORD>(buffer.size()), nullptr))
      return Failed();
    return true;
  }

  std::uint32_t LastError() const override { return lastError_; }

  ~SetupApiInterfaceSource() override { DestroySet(); }

 private:
  bool Failed() {
    lastError_ = GetLastError();
    return false;
  }

  HDEVINFO set_ = INVALID_HANDLE_VALUE;
  SP_DEVICE_INTERFACE_DATA interface_{};
  SP_DEVINFO_DATA device_{};
  DWORD lastError_ = 0;
};

HKEY ToHkey(RegistryKey key) {
  return key == kLocalMachine ? HKEY_LOCAL_MACHINE : reinterpret_cast<HKEY>(key);
}

class Win32RegistryReader final : public RegistryReader {
 public:
  bool OpenKey(RegistryKey parent, const std::string& subkey, RegistryKey& key) override {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(ToHkey(parent), subkey.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
      return false;
    key = reinterpret_cast<RegistryKey>(opened);
    return true;
  }

  bool EnumKey(RegistryKey key, std::uint32_t index, std::span<char> nameBuffer) override {
    DWORD length = static_cast<DWORD>(nameBuffer.size());
    return RegEnumKeyExA(ToHkey(key), index, nameBuffer.data(), &length, nullptr, nullptr, nullptr,
                         nullptr) == ERROR_SUCCESS;
  }

  bool QueryValue(RegistryKey key, const std::string& valueName, std::span<char> buffer) override {
    DWORD length = static_cast<DWORD>(buffer.size());
    if (RegQueryValueExA(ToHkey(key), valueName.c_str(), nullptr, nullptr,
                         reinterpret_cast<LPBYTE>(buffer.data()), &length) != ERROR_SUCCESS)
      return false;
    // The registry keeps a string's NUL only when whoever wrote it stored one. Without it the
    // shared buffer would still hold the tail of the previous value, so end the text here, and
    // count a text that fills the whole buffer with no NUL as one that does not fit.
    if (length < buffer.size()) {
      buffer[length] = '\0';
      return true;
    }
    return std::find(buffer.begin(), buffer.end(), '\0') != buffer.end();
  }

  void CloseKey(RegistryKey key) override { RegCloseKey(ToHkey(key)); }
};

class CreateFileProbe final : public OpenProbe {
 public:
  bool CanOpen(const std::string& devicePath) override {
    const HANDLE handle = CreateFileA(devicePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
      return false;
    CloseHandle(handle);
    return true;
  }
};

}  // namespace

std::unique_ptr<DeviceInterfaceSource> MakeSetupApiInterfaceSource() {
  return std::make_unique<SetupApiInterfaceSource>();
}

std::unique_ptr<RegistryReader> MakeWin32RegistryReader() {
  return std::make_unique<Win32RegistryReader>();
}

std::unique_ptr<OpenProbe> MakeCreateFileProbe() {
  return std::make_unique<CreateFileProbe>();
}

bool IsAnsiLeadByte(unsigned char byte) {
  return IsDBCSLeadByte(byte) != 0;
}

}  // namespace velkorin
