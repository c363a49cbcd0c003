#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace velkorin {

// The two windows are described as data, the way a resource script would: one row per control
// with its item id, kind, place and size in dialog units, styles and text. The windows are built
// from these rows and nothing else, so the tests can hold the built widgets against the rows.

enum class ItemKind {
  PushButton,
  DefaultPushButton,
  ComboBox,   // drop-down list; the height is that of the box with its list opened
  IpAddress,  // four-field IPv4 address edit
  Edit,
  Label,     // static text, left-aligned, one line centred vertically
  Note,      // static text, left-aligned, top of its rectangle
  GroupBox,  // caption centred
  Icon,      // the application icon
};

// Styles that change how a control behaves (the purely visual ones stay implied by the kind).
enum ItemStyle : std::uint32_t {
  kTabStop = 1u << 0,
  kReadOnly = 1u << 1,
  kDigitsOnly = 1u << 2,
  kUpperCase = 1u << 3,
  kAutoHScroll = 1u << 4,
  kBorder = 1u << 5,
  kVScroll = 1u << 6,
  kGroup = 1u << 7,
  kNoPrefix = 1u << 8,  // ampersands shown as they are
};

inline constexpr int kNoItemId = -1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdOk = 1;

// Item ids of the configuration window.
enum ConfigItemId : int {
  kPortList = 1000,
  kMacEdit1 = 1001,  // 1001 to 1006: the six MAC bytes, first byte leftmost
  kIpAddressCtrl = 1007,
  kSubnetMaskCtrl = 1008,
  kGatewayAddressCtrl = 1009,
  kServerIpAddressCtrl = 1010,
  kServerPortEdit = 1011,
  kMbtAduIdList = 1012,
  kBaudRateList = 1013,
  kParityList = 1014,
  kTimeoutList = 1015,
  kRs485IdList = 1016,
  kWriteButton = 1017,
  kReadButton = 1018,
};

struct DialogItem {
  int id;  // kNoItemId for statics
  ItemKind kind;
  int x, y, width, height;  // dialog units
  std::uint32_t styles;
  std::string_view text;
};

struct DialogTemplate {
  std::string_view caption;
  std::string_view fontFamily;
  int fontPointSize;
  int width, height;                  // dialog units
  std::span<const DialogItem> items;  // creation order, which is also the Tab order
};

// Template 102: the configuration window.
const DialogTemplate& ConfigDialogTemplate();
// Template 100: the About box.
const DialogTemplate& AboutDialogTemplate();

// The About item of the window menu: its command id and its text (string 101).
inline constexpr int kAboutCommandId = 16;
inline constexpr std::string_view kAboutItemText = "Velkorin 정보(&A)...";

}  // namespace velkorin
