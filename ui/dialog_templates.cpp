#include "ui/dialog_templates.h"

#include <array>

namespace velkorin {
namespace {

constexpr std::uint32_t kListStyles = kVScroll | kTabStop;
constexpr std::uint32_t kMacStyles = kBorder | kTabStop | kReadOnly | kUpperCase | kAutoHScroll;
constexpr std::uint32_t kLabelStyles = kGroup;

// clang-format off
constexpr std::array<DialogItem, 34> kConfigItems{{
    {kWriteButton,         ItemKind::PushButton,  79, 274,  51,  21, kTabStop, "설정정보 쓰기"},
    {kReadButton,          ItemKind::PushButton, 139, 274,  51,  21, kTabStop, "설정정보 읽기"},
    {kIdCancel,            ItemKind::PushButton, 199, 274,  51,  21, kTabStop, "종료"},
    {kPortList,            ItemKind::ComboBox,    96,   7,  73, 116, kListStyles, ""},
    {kIpAddressCtrl,       ItemKind::IpAddress,   96,  61, 100,  15, kTabStop, ""},
    {kSubnetMaskCtrl,      ItemKind::IpAddress,   96,  78, 100,  15, kTabStop, ""},
    {kGatewayAddressCtrl,  ItemKind::IpAddress,   96,  95, 100,  15, kTabStop, ""},
    {kServerIpAddressCtrl, ItemKind::IpAddress,   96, 112, 100,  15, kTabStop, ""},
    {kServerPortEdit,      ItemKind::Edit,        96, 129,  73,  14,
     kBorder | kTabStop | kDigitsOnly | kUpperCase | kAutoHScroll, ""},
    {kMbtAduIdList,        ItemKind::ComboBox,    96, 145,  73,  76, kListStyles, ""},
    {kBaudRateList,        ItemKind::ComboBox,    96, 193,  73,  76, kListStyles, ""},
    {kParityList,          ItemKind::ComboBox,    96, 209,  73, 110, kListStyles, ""},
    {kTimeoutList,         ItemKind::ComboBox,    96, 225,  73, 110, kListStyles, ""},
    {kRs485IdList,         ItemKind::ComboBox,    96, 241,  73,  76, kListStyles, ""},
    {kMacEdit1,            ItemKind::Edit,        96,  45,  20,  14, kMacStyles, ""},
    {kMacEdit1 + 1,        ItemKind::Edit,       117,  45,  20,  14, kMacStyles, ""},
    {kMacEdit1 + 2,        ItemKind::Edit,       138,  45,  20,  14, kMacStyles, ""},
    {kMacEdit1 + 3,        ItemKind::Edit,       159,  45,  20,  14, kMacStyles, ""},
    {kMacEdit1 + 4,        ItemKind::Edit,       180,  45,  20,  14, kMacStyles, ""},
    {kMacEdit1 + 5,        ItemKind::Edit,       201,  45,  20,  14, kMacStyles, ""},
    {kNoItemId, ItemKind::Label,     14,   7,  73,  12, kLabelStyles, "PC측 시리얼 통신 포트"},
    {kNoItemId, ItemKind::GroupBox,   7,  29, 245, 238, 0,
     "RS485 to MODBUS-RTU TCP/IP Client Gateway 설정 정보"},
    {kNoItemId, ItemKind::Label,     14,  61,  73,  15, kLabelStyles, "IP Address"},
    {kNoItemId, ItemKind::Label,     14,  78,  73,  15, kLabelStyles, "Subnet Mask"},
    {kNoItemId, ItemKind::Label,     14,  95,  73,  15, kLabelStyles, "Gateway"},
    {kNoItemId, ItemKind::Label,     14, 129,  73,  14, kLabelStyles, "Server Port"},
    {kNoItemId, ItemKind::Label,     14, 193,  66,  12, kLabelStyles, "RS422/485 통신 속도"},
    {kNoItemId, ItemKind::Label,     14, 225,  28,  12, kLabelStyles, "타임아웃"},
    {kNoItemId, ItemKind::Label,     14,  45,  73,  14, kLabelStyles, "MAC Address"},
    {kNoItemId, ItemKind::Note,      14, 165, 190,   8, kGroup,
     "(MODBUS TCP/IP 스펙에 따라 소켓 포트는 502를 준수바람)"},
    {kNoItemId, ItemKind::Label,     14, 209,  38,  12, kLabelStyles, "패러티 비트"},
    {kNoItemId, ItemKind::Label,     14, 112,  73,  15, kLabelStyles, "Server IP Address"},
    {kNoItemId, ItemKind::Label,     14, 145,  73,  12, kLabelStyles, "MODBUS TCP/IP 국번"},
    {kNoItemId, ItemKind::Label,     14, 241,  73,  12, kLabelStyles, "RS485 국번"},
}};

constexpr std::array<DialogItem, 4> kAboutItems{{
    {kNoItemId, ItemKind::Icon,              11, 17,  20, 21, 0, ""},
    {kNoItemId, ItemKind::Note,              40, 10, 149,  8, kNoPrefix | kGroup,
     "MODBUS-RTU TCP/IP 설정 프로그램 버전 1.2"},
    {kIdOk,     ItemKind::DefaultPushButton, 194, 7,  50, 14, kGroup | kTabStop, "확인"},
    {kNoItemId, ItemKind::Note,              40, 23, 152,  8, kGroup,
     "RS485 to TCP/IP Client Gateway for Zelkith User"},
}};
// clang-format on

constexpr DialogTemplate kConfigTemplate{
    "RS485 to MODBUS-RTU TCP/IP Client 설정 프로그램 V1.2", "굴림", 9, 259, 303, kConfigItems};
constexpr DialogTemplate kAboutTemplate{
    "MODBUS TCP/IP 설정 프로그램 정보", "굴림", 9, 251, 64, kAboutItems};

}  // namespace

const DialogTemplate& ConfigDialogTemplate() {
  return kConfigTemplate;
}
const DialogTemplate& AboutDialogTemplate() {
  return kAboutTemplate;
}

}  // namespace velkorin
