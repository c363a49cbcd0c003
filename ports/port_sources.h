#pragma once

// The three sources the Windows enumerators read from, each as small as the enumerator needs. The
// enumerators own their fixed-size buffers and hand them down, so a source reports "does not fit"
// exactly where the system would; the Win32 versions live in win32_sources_win32.cpp, the tests
// bring in-memory ones.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace velkorin {

// Windows error codes the enumerators look at or that sources report.
inline constexpr std::uint32_t kErrorInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
inline constexpr std::uint32_t kErrorNoMoreItems = 259;         // ERROR_NO_MORE_ITEMS

// Fixed buffer sizes, in bytes.
inline constexpr std::size_t kInterfaceDetailBufferSize = 261;  // size field + device path
inline constexpr std::size_t kInterfaceDetailPathOffset = 4;    // the path follows a 32-bit size
inline constexpr std::size_t kDevicePropertyBufferSize = 256;
inline constexpr std::size_t kRegistryNameBufferSize = 128;   // key names
inline constexpr std::size_t kRegistryValueBufferSize = 128;  // "PORTNAME", "FRIENDLYNAME"

enum class DeviceProperty { FriendlyName, DeviceDescription };

// The present devices exposing the COM port interface class (SetupAPI). One set at a time.
class DeviceInterfaceSource {
 public:
  virtual ~DeviceInterfaceSource() = default;
  // Builds the set; false when the system refused (LastError() tells why).
  virtual bool OpenSet() = 0;
  // Releases the set; called once after every successful OpenSet().
  virtual void DestroySet() = 0;
  // Selects the interface at `memberIndex`; false past the last one (LastError() is
  // kErrorNoMoreItems then) or on a failure.
  virtual bool EnumInterface(std::uint32_t memberIndex) = 0;
  // Writes the selected interface's detail record into `detailBuffer`: the system's size field,
  // then the NUL-terminated device path at kInterfaceDetailPathOffset. False when it fails,
  // also when the path does not fit in the buffer. Selects the interface's device for
  // GetProperty().
  virtual bool GetInterfaceDetail(std::span<char> detailBuffer) = 0;
  // Writes a NUL-terminated property text of the selected device into `buffer`; false when the
  // property is missing or does not fit.
  virtual bool GetProperty(DeviceProperty property, std::span<char> buffer) = 0;
  // The error code of the last call that failed.
  virtual std::uint32_t LastError() const = 0;
};

// An open registry key. kLocalMachine stands for HKEY_LOCAL_MACHINE (no opened key is ever 0).
using RegistryKey = std::uintptr_t;
inline constexpr RegistryKey kLocalMachine = 0;

// Read access to the registry, HKEY_LOCAL_MACHINE downwards.
class RegistryReader {
 public:
  virtual ~RegistryReader() = default;
  // Opens `subkey` under `parent` for reading; true on success, and then the key must be closed.
  virtual bool OpenKey(RegistryKey parent, const std::string& subkey, RegistryKey& key) = 0;
  // Writes the NUL-terminated name of the subkey at `index` into `nameBuffer`; false when there
  // is none or when its name does not fit in the buffer.
  virtual bool EnumKey(RegistryKey key, std::uint32_t index, std::span<char> nameBuffer) = 0;
  // Writes the NUL-terminated text of the value `valueName` into `buffer`; false when the value is
  // missing, unreadable or does not fit.
  virtual bool QueryValue(RegistryKey key, const std::string& valueName,
                          std::span<char> buffer) = 0;
  virtual void CloseKey(RegistryKey key) = 0;
};

// Tells whether a port can be opened right now (exclusively, for reading and writing).
class OpenProbe {
 public:
  virtual ~OpenProbe() = default;
  // Opens `devicePath` and closes it again at once; false when it would not open.
  virtual bool CanOpen(const std::string& devicePath) = 0;
};

// The sources of one discovery run.
struct PortSources {
  DeviceInterfaceSource& interfaces;
  RegistryReader& registry;
  OpenProbe& probe;
};

}  // namespace velkorin
