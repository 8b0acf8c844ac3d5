// Result codes of every terminal operation: what a transaction returns to its caller, from "done"
// through the line errors reported by the terminal to the address checks made before sending.
#pragma once

#include <cstdint>
#include <ostream>

namespace zd {

// The numbers are fixed: the page events and the command line's JSON carry them.
enum class Result : std::int16_t {
    Done = 0,
    // A run-time error occurred and its message box was already shown.
    Error = 1,
    // No device-communication object has been handed over yet.
    NoDevCom = 2,
    Collision = 256,
    CorruptFrame = 257,
    Timeout = 258,
    BadAddrType = 259,
    // Short address outside 0 to 63, or a command number that cannot be sent.
    BadAddress = 260,
    BadGroup = 261,
};

// The number of a result where it crosses as a plain number (page event parameters, JSON), and the
// result such a number names (any number is kept as it is).
constexpr std::int16_t ResultNumber(Result result) {
    return static_cast<std::int16_t>(result);
}
constexpr Result ResultFromNumber(std::int16_t number) {
    return static_cast<Result>(number);
}
// Printed by its number, as logs and failed test expectations show it.
inline std::ostream& operator<<(std::ostream& out, Result result) {
    return out << ResultNumber(result);
}

// A short English description of a result code, for the command line and its JSON.
inline const char* ResultText(Result result) {
    switch (result) {
        case Result::Done:
            return "done";
        case Result::Error:
            return "error shown";
        case Result::NoDevCom:
            return "no device communication";
        case Result::Collision:
            return "collision";
        case Result::CorruptFrame:
            return "corrupt frame";
        case Result::Timeout:
            return "timeout";
        case Result::BadAddrType:
            return "bad address type";
        case Result::BadAddress:
            return "bad short address or command";
        case Result::BadGroup:
            return "bad group address";
        default:
            return "unknown result";
    }
}

}  // namespace zd
