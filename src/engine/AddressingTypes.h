// What the addressing procedures share, whoever runs them: the limits of short and search
// addresses, the DALI address byte, the step states of the control's search, what a run recovered
// from, and the one decision which variant of random addressing a terminal runs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zd {

inline constexpr std::int32_t kSearchAddressMax = 0xFFFFFF;
inline constexpr std::int16_t kMaxShortAddress = 63;

inline constexpr const char* kAddressingLogFile = "OrvixVTermZD4270.Logging.Addressing.txt";
inline constexpr std::int64_t kRndAddrIntervalMs = 200;
// The fast search: the next step as soon as the last one's transactions are done.
inline constexpr std::int64_t kRndAddrFastIntervalMs = 1;
// Firmware from which the terminal can run random addressing at all: ASCII "1H".
inline constexpr std::int32_t kRandomAddressingMinVersion = 0x3148;
// Firmware from which the terminal runs random addressing itself: ASCII "1M".
inline constexpr std::int32_t kFirmwareAddressingVersion = 0x314D;

// Who searches the line in a random addressing: nobody (firmware before "1H"), the control (up
// to "1L") or the terminal itself (from "1M").
enum class RandomAddressingVariant { None, Control, Terminal };
RandomAddressingVariant RandomAddressingVariantOf(std::int32_t firmwareVersion);
// "control", "terminal"; nothing for None.
std::optional<std::string> RandomAddressingVariantName(RandomAddressingVariant variant);

// The steps of the control's search. It runs nothing while Idle, is put into Start by a start and
// into Stop by a cancel; the steps between are its own.
enum class RndAddrStep : std::int16_t {
    Idle = 0,
    Start = 10,
    FirstCompare = 15,
    SetSearch = 20,
    CompareHalve = 30,
    FindFree = 40,
    Program = 45,
    Verify = 50,
    CheckHolder = 55,
    ShowWithdraw = 60,
    Next = 70,
    FastNext = 75,
    Clash = 80,
    // Gear without a short address still answer at the end: a new round after a wait.
    NextRound = 85,
    Stop = 1000
};

// What a procedure did to get over something that went wrong on the line, so that the user knows
// what the run met: a kind (a short word), the text the log and the status bar show, where it
// happened (a short address and a random or search address, -1 where none), and how often.
struct AddressingRecovery {
    std::string what;
    std::string text;
    std::int32_t shortAddress = -1;
    std::int32_t randomAddress = -1;
    int count = 1;
};

// The DALI address byte 0AAAAAA1 of a short address, as PROGRAM and VERIFY SHORT ADDRESS take it.
constexpr std::uint8_t AddressByte(std::int32_t shortAddress) {
    return static_cast<std::uint8_t>(((shortAddress & 63) << 1) | 1);
}

// The search address in its three bytes, high first.
constexpr std::uint8_t SearchHigh(std::int32_t address) {
    return static_cast<std::uint8_t>((address & 0xFF0000) / 65536);
}
constexpr std::uint8_t SearchMiddle(std::int32_t address) {
    return static_cast<std::uint8_t>((address / 256) & 0xFF);
}
constexpr std::uint8_t SearchLow(std::int32_t address) {
    return static_cast<std::uint8_t>(address & 0xFF);
}

// Half of a span, rounded to the nearest integer with ties to the even one: half of 0xFFFFFF is
// 0x800000, half of 1 is 0.
constexpr std::int32_t HalfRoundedEven(std::int32_t span) {
    const std::int32_t half = span / 2;
    if (span % 2 == 0) return half;
    return (half % 2 == 0) ? half : half + 1;
}

}  // namespace zd
