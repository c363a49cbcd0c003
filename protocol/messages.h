#pragma once

#include <string_view>

namespace velkorin {

// The texts the program shows, exactly as the user sees them.
inline constexpr std::string_view kMsgOpenFailed = "통신 포트를 여는데 실패했읍니다";
inline constexpr std::string_view kMsgSendFailed =
    "지정한 통신 포트로 데이터를 송신하는데 실패했읍니다";
inline constexpr std::string_view kMsgReceiveFailed =
    "지정한 통신 포트로 데이터를 수신하는데 실패했읍니다";
inline constexpr std::string_view kMsgBadData = "지정한 통신 포트로 수신한 데이터가 잘못되었읍니다";
inline constexpr std::string_view kMsgReadDone = "성공적으로 설정 정보를 읽었읍니다";
inline constexpr std::string_view kMsgWriteDone = "성공적으로 설정 정보를 다운로드하였읍니다";
inline constexpr std::string_view kMsgEnterIpAddress = "IP Address를 입력하십시요";
inline constexpr std::string_view kMsgEnterSubnetMask = "Subnet Address를 입력하십시요";
inline constexpr std::string_view kMsgEnterGateway = "Gateway Address를 입력하십시요";
inline constexpr std::string_view kMsgEnterServerIp = "Server IP Address를 입력하십시요";
inline constexpr std::string_view kMsgEnterServerPort = "Server Port를 입력하십시요";

enum class MessageIcon { Information, Error };

}  // namespace velkorin
