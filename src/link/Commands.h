// The DALI command numbering of the control, how a number, data byte and address become the 16-bit
// command word, the one-line text the addressing log records per command, and small text helpers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "link/Results.h"
#include "platform/Context.h"

namespace zd {

// Command numbers: -1 direct arc power, 0 to 255 the indirect and query commands (the number is
// the command byte), 256 to 272 the special commands (256 + (first byte - 0xA1) / 2).
inline constexpr std::int16_t kCmdDirectArcPower = -1;
inline constexpr std::int16_t kCmdOff = 0;
inline constexpr std::int16_t kCmdUp = 1;
inline constexpr std::int16_t kCmdDown = 2;
inline constexpr std::int16_t kCmdStepUp = 3;
inline constexpr std::int16_t kCmdStepDown = 4;
inline constexpr std::int16_t kCmdRecallMaxLevel = 5;
inline constexpr std::int16_t kCmdRecallMinLevel = 6;
inline constexpr std::int16_t kCmdStepDownAndOff = 7;
inline constexpr std::int16_t kCmdOnAndStepUp = 8;
// The scene is taken from nData when the first number of the range is sent.
inline constexpr std::int16_t kCmdGoToScene = 16;
inline constexpr std::int16_t kCmdReset = 32;
inline constexpr std::int16_t kCmdStoreActualLevelInDtr = 33;
inline constexpr std::int16_t kCmdStoreDtrAsMaxLevel = 42;
inline constexpr std::int16_t kCmdStoreDtrAsMinLevel = 43;
inline constexpr std::int16_t kCmdStoreDtrAsSystemFailureLevel = 44;
inline constexpr std::int16_t kCmdStoreDtrAsPowerOnLevel = 45;
inline constexpr std::int16_t kCmdStoreDtrAsFadeTime = 46;
inline constexpr std::int16_t kCmdStoreDtrAsFadeRate = 47;
// Ranges whose scene or group number always comes from nData (0 to 15).
inline constexpr std::int16_t kCmdStoreDtrAsScene = 64;
inline constexpr std::int16_t kCmdRemoveFromScene = 80;
inline constexpr std::int16_t kCmdAddToGroup = 96;
inline constexpr std::int16_t kCmdRemoveFromGroup = 112;
inline constexpr std::int16_t kCmdStoreDtrAsShortAddress = 128;
inline constexpr std::int16_t kCmdQueryStatus = 144;
inline constexpr std::int16_t kCmdQueryBallast = 145;
inline constexpr std::int16_t kCmdQueryLampFailure = 146;
inline constexpr std::int16_t kCmdQueryLampPowerOn = 147;
inline constexpr std::int16_t kCmdQueryLimitError = 148;
inline constexpr std::int16_t kCmdQueryResetState = 149;
inline constexpr std::int16_t kCmdQueryMissingShortAddress = 150;
inline constexpr std::int16_t kCmdQueryVersionNumber = 151;
inline constexpr std::int16_t kCmdQueryContentDtr = 152;
inline constexpr std::int16_t kCmdQueryDeviceType = 153;
inline constexpr std::int16_t kCmdQueryPhysicalMinimumLevel = 154;
inline constexpr std::int16_t kCmdQueryPowerFailure = 155;
inline constexpr std::int16_t kCmdQueryActualLevel = 160;
inline constexpr std::int16_t kCmdQueryMaxLevel = 161;
inline constexpr std::int16_t kCmdQueryMinLevel = 162;
inline constexpr std::int16_t kCmdQueryPowerOnLevel = 163;
inline constexpr std::int16_t kCmdQuerySystemFailureLevel = 164;
inline constexpr std::int16_t kCmdQueryFadeTimeFadeRate = 165;
inline constexpr std::int16_t kCmdQuerySceneLevel = 176;
inline constexpr std::int16_t kCmdQueryGroups0To7 = 192;
inline constexpr std::int16_t kCmdQueryGroups8To15 = 193;
inline constexpr std::int16_t kCmdQueryRandomAddressH = 194;
inline constexpr std::int16_t kCmdQueryRandomAddressM = 195;
inline constexpr std::int16_t kCmdQueryRandomAddressL = 196;
inline constexpr std::int16_t kCmdTerminate = 256;
inline constexpr std::int16_t kCmdDataTransferRegister = 257;
inline constexpr std::int16_t kCmdInitialise = 258;
inline constexpr std::int16_t kCmdRandomise = 259;
inline constexpr std::int16_t kCmdCompare = 260;
inline constexpr std::int16_t kCmdWithdraw = 261;
inline constexpr std::int16_t kCmdSearchAddrH = 264;
inline constexpr std::int16_t kCmdSearchAddrM = 265;
inline constexpr std::int16_t kCmdSearchAddrL = 266;
inline constexpr std::int16_t kCmdProgramShortAddress = 267;
inline constexpr std::int16_t kCmdVerifyShortAddress = 268;
inline constexpr std::int16_t kCmdQueryShortAddress = 269;
inline constexpr std::int16_t kCmdPhysicalSelection = 270;
// Has a text but is never sent: SendDALICommand refuses it.
inline constexpr std::int16_t kCmdEnableDeviceTypeX = 272;

// Address kinds: a short address 0 to 63, a group 0 to 15, or the whole line (address ignored).
// The numbers are the ones the page events carry; a kind made from any other number is kept as it
// is and refused by the checks below.
enum class AddressKind : std::int16_t { Short = 0, Group = 1, Broadcast = 2 };

// The number of an address kind where it crosses as a plain number (page event parameters), and
// the kind such a number names.
constexpr std::int16_t AddressKindNumber(AddressKind kind) {
    return static_cast<std::int16_t>(kind);
}
constexpr AddressKind AddressKindFromNumber(std::int16_t number) {
    return static_cast<AddressKind>(number);
}
inline std::ostream& operator<<(std::ostream& out, AddressKind kind) {
    return out << AddressKindNumber(kind);
}

// MASK: no short address, or a level that is not part of a scene.
inline constexpr std::uint8_t kDaliMask = 255;

// The address check made before a command is built: Result::Done, or 259 (type), 260 (short
// address outside 0 to 63), 261 (group outside 0 to 15). Broadcast accepts any address.
Result CheckDALIAddress(AddressKind nAddrType, std::int16_t nAddr);

// The command word (high byte: address byte, low byte: command or data byte) for a command whose
// address passed CheckDALIAddress. nData is updated where the command takes its scene or group from
// it (17 to 31, 64 to 127, 176 to 191). Nothing when the number cannot be sent (result 260).
std::optional<std::uint16_t> BuildDALICommandWord(std::int16_t nCommandId, std::uint8_t& nData,
                                                  AddressKind nAddrType, std::int16_t nAddr);

// The text of a command number: "off", "go to scene 7", "<unkown command> 300".
std::string DALICommandText(std::int16_t nCommandId);
// Whether the catalogue has a text of its own for the number (the gaps are reserved codes).
bool HasDALICommandText(std::int16_t nCommandId);
// The text of what a command word sends: for the ranges whose scene or group the word carries
// (GO TO SCENE, STORE DTR AS SCENE, REMOVE FROM SCENE, ADD TO / REMOVE FROM GROUP, QUERY SCENE
// LEVEL), the scene or group in the word rather than the command number's.
std::string SentDALICommandText(std::int16_t nCommandId, std::uint16_t word);

// The address of a log line: "A5   ", "G3   ", "Bcast", "<unkown short address> 70".
std::string AddressText(AddressKind nAddrType, std::int16_t nAddr);

// One addressing log line for a command, CR LF included; "Error" after a reported failure.
std::string CreateDALICommandString(const Context& context, std::int16_t nCommandId,
                                    std::uint8_t nData, AddressKind nAddrType, std::int16_t nAddr);

// "YYYY-MM-DD HH:MM:SS" in local time: the time stamp of every log line.
std::string DateTimeText(std::chrono::system_clock::time_point t);

// The low byte as bits, a blank before each group of four: 0x53 gives " 0101 0011".
std::string ByteToBinaryText(int n);
// The low byte as two upper-case hexadecimal digits.
std::string ByteToHexText(int n);
// n times 2 to the power bits, wrapped to 32 bits (a negative bits divides, rounding down).
std::int32_t ShiftLeft(std::int32_t n, int bits);

}  // namespace zd
