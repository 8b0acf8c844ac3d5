// Result codes of every terminal operation: what a transaction returns to its caller, from "done"
// through the line errors reported by the terminal to the address checks made before sending.
#pragma once

#include <cstdint>

namespace zd {

inline constexpr std::int16_t kResultDone = 0;
// A run-time error occurred and its message box was already shown.
inline constexpr std::int16_t kResultError = 1;
// No device-communication object has been handed over yet.
inline constexpr std::int16_t kResultNoDevCom = 2;
inline constexpr std::int16_t kResultCollision = 256;
inline constexpr std::int16_t kResultCorruptFrame = 257;
inline constexpr std::int16_t kResultTimeout = 258;
inline constexpr std::int16_t kResultBadAddrType = 259;
// Short address outside 0 to 63, or a command number that cannot be sent.
inline constexpr std::int16_t kResultBadAddress = 260;
inline constexpr std::int16_t kResultBadGroup = 261;

// A short English description of a result code, for the command line and its JSON.
inline const char* ResultText(std::int16_t result) {
    switch (result) {
        case kResultDone:
            return "done";
        case kResultError:
            return "error shown";
        case kResultNoDevCom:
            return "no device communication";
        case kResultCollision:
            return "collision";
        case kResultCorruptFrame:
            return "corrupt frame";
        case kResultTimeout:
            return "timeout";
        case kResultBadAddrType:
            return "bad address type";
        case kResultBadAddress:
            return "bad short address or command";
        case kResultBadGroup:
            return "bad group address";
        default:
            return "unknown result";
    }
}

}  // namespace zd
