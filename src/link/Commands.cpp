#include "link/Commands.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <iterator>

#include "link/Results.h"
#include "platform/Error.h"

namespace zd {

namespace {

// IDENTIFY DEVICE of the second edition (engine/Identify.h): gear that know it flash for about
// 10 s; the terminal sends it twice like the other configuration commands.
constexpr std::int16_t kIdentifyDevice = 37;

// One row of the command text table: a single number, or a range whose text is followed by the
// scene or group number N = command number - first number.
struct CommandTextEntry {
    std::int16_t nFirst;
    std::int16_t nLast;
    const char* text;
    bool bNumbered;
};

// The log texts are the ones users know from earlier logs, spelling included.
constexpr CommandTextEntry kCommandTexts[] = {
    {-1, -1, "direct arc power", false},
    {0, 0, "off", false},
    {1, 1, "up", false},
    {2, 2, "down", false},
    {3, 3, "step up", false},
    {4, 4, "step down", false},
    {5, 5, "recall max level", false},
    {6, 6, "recall min level", false},
    {7, 7, "step down and off", false},
    {8, 8, "on and step up", false},
    {16, 31, "go to scene ", true},
    {32, 32, "reset", false},
    {33, 33, "store actual level in DTR", false},
    {37, 37, "identify device", false},
    {42, 42, "store DTR as max level", false},
    {43, 43, "store DTR as min level", false},
    {44, 44, "store DTR as system level", false},
    {45, 45, "store DTR as power on level", false},
    {46, 46, "store DTR as fade time", false},
    {47, 47, "store DTR as fade rate", false},
    {64, 79, "store the DTR as scene ", true},
    {80, 95, "remove from scene ", true},
    {96, 111, "add to group ", true},
    {112, 127, "remove from group ", true},
    {128, 128, "store DTR as short address", false},
    {144, 144, "query status information", false},
    {145, 145, "query ballast", false},
    {146, 146, "query lamp failure", false},
    {147, 147, "query lamp power on", false},
    {148, 148, "query limit error", false},
    {149, 149, "query reset state", false},
    {150, 150, "query missing short address", false},
    {151, 151, "query version number", false},
    {152, 152, "query content DTR", false},
    {153, 153, "query device type", false},
    {154, 154, "query minimum level", false},
    {155, 155, "query power failure", false},
    {160, 160, "query actual level", false},
    {161, 161, "query max level", false},
    {162, 162, "query min level", false},
    {163, 163, "query power on level", false},
    {164, 164, "query system failure level", false},
    {165, 165, "query fade time / fade rate", false},
    {176, 191, "query scene level ", true},
    {192, 192, "query groups 0-7", false},
    {193, 193, "query groups 8-15", false},
    {194, 194, "query random address (H)", false},
    {195, 195, "query random address (M)", false},
    {196, 196, "query random address (L)", false},
    {256, 256, "terminate", false},
    {257, 257, "data transfer register (DTR)", false},
    {258, 258, "initialise", false},
    {259, 259, "randomise", false},
    {260, 260, "compare", false},
    {261, 261, "withdraw", false},
    {264, 264, "search addr H", false},
    {265, 265, "search addr M", false},
    {266, 266, "search addr L", false},
    {267, 267, "program short address", false},
    {268, 268, "verify short address", false},
    {269, 269, "query short address", false},
    {270, 270, "physical selection", false},
    {272, 272, "enable device type X", false},
};

bool InRange(int n, int first, int last) {
    return n >= first && n <= last;
}

// Special commands whose second byte carries nData (a DTR value, a search address byte or the
// short-address byte built by the caller).
bool IsSpecialWithData(std::int16_t nCommandId) {
    return nCommandId == kCmdDataTransferRegister || nCommandId == kCmdInitialise ||
           InRange(nCommandId, kCmdSearchAddrH, kCmdVerifyShortAddress);
}

bool IsSendableSpecial(std::int16_t nCommandId) {
    return InRange(nCommandId, kCmdTerminate, kCmdWithdraw) ||
           InRange(nCommandId, kCmdSearchAddrH, kCmdPhysicalSelection);
}

// Commands whose command byte is their own number.
bool IsPlainCommand(std::int16_t n) {
    return InRange(n, kCmdOff, kCmdOnAndStepUp) || n == kCmdReset ||
           n == kCmdStoreActualLevelInDtr || n == kIdentifyDevice ||
           InRange(n, kCmdStoreDtrAsMaxLevel, kCmdStoreDtrAsFadeRate) ||
           InRange(n, kCmdQueryStatus, kCmdQueryPowerFailure) ||
           InRange(n, kCmdQueryActualLevel, kCmdQueryFadeTimeFadeRate) ||
           InRange(n, kCmdQueryGroups0To7, kCmdQueryRandomAddressL);
}

// Commands that take a scene or group number 0 to 15 from nData.
bool IsNumberedFromData(std::int16_t n) {
    return InRange(n, kCmdStoreDtrAsScene, kCmdRemoveFromGroup + 15) ||
           InRange(n, kCmdQuerySceneLevel, kCmdQuerySceneLevel + 15);
}

std::string HexText(unsigned value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", value);
    return buffer;
}

}  // namespace

std::string AddressText(AddressKind nAddrType, std::int16_t nAddr) {
    switch (nAddrType) {
        case AddressKind::Short:
            if (InRange(nAddr, 0, 63)) return "A" + std::to_string(nAddr) + "   ";
            return "<unkown short address> " + std::to_string(nAddr);
        case AddressKind::Group:
            if (InRange(nAddr, 0, 15)) return "G" + std::to_string(nAddr) + "   ";
            return "<unkown group address> " + std::to_string(nAddr);
        case AddressKind::Broadcast:
            return "Bcast";
        default:
            return "<unkown address type> " + std::to_string(AddressKindNumber(nAddrType));
    }
}

Result CheckDALIAddress(AddressKind nAddrType, std::int16_t nAddr) {
    switch (nAddrType) {
        case AddressKind::Short:
            return InRange(nAddr, 0, 63) ? Result::Done : Result::BadAddress;
        case AddressKind::Group:
            return InRange(nAddr, 0, 15) ? Result::Done : Result::BadGroup;
        case AddressKind::Broadcast:
            return Result::Done;
        default:
            return Result::BadAddrType;
    }
}

std::optional<std::uint16_t> BuildDALICommandWord(std::int16_t nCommandId, std::uint8_t& nData,
                                                  AddressKind nAddrType, std::int16_t nAddr) {
    // The special commands replace the whole word and ignore the address.
    if (nCommandId >= kCmdTerminate) {
        if (!IsSendableSpecial(nCommandId)) return std::nullopt;
        const unsigned firstByte = 0xA1u + 2u * static_cast<unsigned>(nCommandId - kCmdTerminate);
        std::uint16_t word = static_cast<std::uint16_t>(firstByte << 8);
        if (IsSpecialWithData(nCommandId)) word |= nData;
        return word;
    }

    const bool bDirectArcPower = nCommandId == kCmdDirectArcPower;
    std::uint16_t typeBits = 0;
    switch (nAddrType) {
        case AddressKind::Short:
            typeBits = bDirectArcPower ? 0x0000 : 0x0100;
            break;
        case AddressKind::Group:
            typeBits = bDirectArcPower ? 0x8000 : 0x8100;
            break;
        case AddressKind::Broadcast:
            typeBits = bDirectArcPower ? 0xFE00 : 0xFF00;
            break;
        default:
            return std::nullopt;
    }
    const std::uint16_t addressBits = static_cast<std::uint16_t>(ShiftLeft(nAddr, 9) & 0x7F00);
    const std::uint16_t high = addressBits | typeBits;

    std::uint8_t low = 0;
    if (bDirectArcPower) {
        low = nData;
    } else if (IsPlainCommand(nCommandId)) {
        low = static_cast<std::uint8_t>(nCommandId);
    } else if (InRange(nCommandId, kCmdGoToScene, kCmdGoToScene + 15)) {
        // GO TO SCENE n names its scene either in the number (17 to 31) or, for 16, in nData.
        if (nCommandId != kCmdGoToScene)
            nData = static_cast<std::uint8_t>(nCommandId - kCmdGoToScene);
        low = static_cast<std::uint8_t>(0x10 | (nData <= 15 ? nData : 0));
    } else if (IsNumberedFromData(nCommandId)) {
        nData &= 15;
        low = static_cast<std::uint8_t>((nCommandId & 0xF0) | nData);
    } else if (nCommandId == kCmdStoreDtrAsShortAddress) {
        low = 0x80;
    } else {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(high | low);
}

std::string SentDALICommandText(std::int16_t nCommandId, std::uint16_t word) {
    for (const std::int16_t first : {kCmdGoToScene, kCmdStoreDtrAsScene, kCmdRemoveFromScene,
                                     kCmdAddToGroup, kCmdRemoveFromGroup, kCmdQuerySceneLevel}) {
        if (nCommandId >= first && nCommandId < first + 16)
            return DALICommandText(static_cast<std::int16_t>(first + (word & 0x0F)));
    }
    return DALICommandText(nCommandId);
}

bool HasDALICommandText(std::int16_t nCommandId) {
    return std::any_of(std::begin(kCommandTexts), std::end(kCommandTexts), [&](const auto& entry) {
        return InRange(nCommandId, entry.nFirst, entry.nLast);
    });
}

std::string DALICommandText(std::int16_t nCommandId) {
    for (const CommandTextEntry& entry : kCommandTexts) {
        if (InRange(nCommandId, entry.nFirst, entry.nLast)) {
            std::string text = entry.text;
            if (entry.bNumbered) text += std::to_string(nCommandId - entry.nFirst);
            return text;
        }
    }
    return "<unkown command> " + std::to_string(nCommandId);
}

std::string CreateDALICommandString(const Context& context, std::int16_t nCommandId,
                                    std::uint8_t nData, AddressKind nAddrType, std::int16_t nAddr) {
    try {
        const std::string address = nCommandId > 255 ? "*    " : AddressText(nAddrType, nAddr);
        std::string data;
        if (IsSpecialWithData(nCommandId) || nCommandId == kCmdEnableDeviceTypeX)
            data = "    --> 0x" + HexText(nData);
        return DateTimeText(context.scheduler.WallClock()) + "   " + address + "   " +
               DALICommandText(nCommandId) + data + "\r\n";
    } catch (...) {
        ReportCurrentException(context, "CreateDALICommandString");
        return "Error";
    }
}

std::string DateTimeText(std::chrono::system_clock::time_point t) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) throw ControlError("Invalid date and time");
    char buffer[32];
    if (std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &local) == 0)
        throw ControlError("Invalid date and time");
    return buffer;
}

std::string ByteToBinaryText(int n) {
    std::string text;
    for (int bit = 7; bit >= 0; --bit) {
        if (bit == 7 || bit == 3) text += ' ';
        text += ((n >> bit) & 1) ? '1' : '0';
    }
    return text;
}

std::string ByteToHexText(int n) {
    char buffer[4];
    std::snprintf(buffer, sizeof buffer, "%02X", static_cast<unsigned>(n) & 0xFFu);
    return buffer;
}

std::int32_t ShiftLeft(std::int32_t n, int bits) {
    // Shifting through the unsigned type wraps like the 32-bit product instead of overflowing.
    if (bits >= 32) return 0;
    if (bits < 0) return n >> std::min(-bits, 31);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(n) << bits);
}

}  // namespace zd
