// DALI and DSI frames as the simulated line carries them: timing (in microseconds of the
// simulator's clock), the parts of a forward frame, and which frames the gear only accept when sent
// twice.
#pragma once

#include <cstdint>

namespace zd::sim {

using Micros = std::int64_t;

inline constexpr Micros kNever = INT64_MAX;

// 1200 bit/s, one bit = 833.3 µs. A forward frame is a start bit, 16 data bits and two stop bits;
// a backward frame a start bit, 8 data bits and two stop bits.
inline constexpr Micros kForwardFrameUs = 15833;
inline constexpr Micros kBackwardFrameUs = 9167;
// The gear starts its answer 7 to 22 half-bits after the forward frame; ours answer after 12.
inline constexpr Micros kAnswerDelayUs = 5000;
// The earliest and latest start of a backward frame the standard allows: 7 and 22 half-bits.
inline constexpr Micros kMinAnswerDelayUs = 2917;
inline constexpr Micros kMaxAnswerDelayUs = 9167;
// A master waits 22 half-bits for an answer before it takes the silence as "no answer".
inline constexpr Micros kAnswerWindowUs = 9167;
// Quiet time after a backward frame and between two forward frames.
inline constexpr Micros kSettlingUs = 9167;
// DSI: a start bit, 8 data bits and (our choice of the two variants in use) 4 stop bits.
inline constexpr Micros kDsiFrameUs = 10833;
// The send-twice rule: the second frame must follow within 100 ms.
inline constexpr Micros kSendTwiceWindowUs = 100000;
// The initialisation state lasts 15 minutes after INITIALISE.
inline constexpr Micros kInitialiseWindowUs = 15LL * 60 * 1000 * 1000;

inline constexpr std::uint8_t kYes = 0xFF;
inline constexpr std::uint8_t kMask = 0xFF;
inline constexpr std::uint32_t kNoRandomAddress = 0xFFFFFF;

// First bytes of the special commands.
inline constexpr std::uint8_t kTerminate = 0xA1;
inline constexpr std::uint8_t kDataTransferRegister = 0xA3;
inline constexpr std::uint8_t kInitialise = 0xA5;
inline constexpr std::uint8_t kRandomise = 0xA7;
inline constexpr std::uint8_t kCompare = 0xA9;
inline constexpr std::uint8_t kWithdraw = 0xAB;
inline constexpr std::uint8_t kSearchAddrH = 0xB1;
inline constexpr std::uint8_t kSearchAddrM = 0xB3;
inline constexpr std::uint8_t kSearchAddrL = 0xB5;
inline constexpr std::uint8_t kProgramShortAddress = 0xB7;
inline constexpr std::uint8_t kVerifyShortAddress = 0xB9;
inline constexpr std::uint8_t kQueryShortAddress = 0xBB;
inline constexpr std::uint8_t kPhysicalSelection = 0xBD;
inline constexpr std::uint8_t kEnableDeviceType = 0xC1;
inline constexpr std::uint8_t kDataTransferRegister1 = 0xC3;
inline constexpr std::uint8_t kDataTransferRegister2 = 0xC5;

constexpr std::uint8_t AddressByte(std::uint16_t frame) {
    return static_cast<std::uint8_t>(frame >> 8);
}
constexpr std::uint8_t DataByte(std::uint16_t frame) {
    return static_cast<std::uint8_t>(frame);
}
constexpr std::uint16_t MakeFrame(std::uint8_t address, std::uint8_t data) {
    return static_cast<std::uint16_t>((address << 8) | data);
}

// 101xxxxx and 110xxxxx: special commands (odd) and reserved codes (even), taken by every gear.
constexpr bool IsSpecialAddress(std::uint8_t address) {
    return address >= 0xA0 && address <= 0xDF;
}

// Configuration commands (32 to 129 as an indirect command), INITIALISE and RANDOMISE are carried
// out only when the same frame arrives twice within 100 ms.
constexpr bool IsSendTwice(std::uint16_t frame) {
    const std::uint8_t address = AddressByte(frame);
    if (IsSpecialAddress(address)) return address == kInitialise || address == kRandomise;
    if (address >= 0xE0 && address < 0xFE) return false;  // reserved address bytes
    const std::uint8_t command = DataByte(frame);
    return (address & 1) != 0 && command >= 32 && command <= 129;
}

// What a master hears after a forward frame.
enum class AnswerKind { None, Byte, Corrupt };

struct LineAnswer {
    AnswerKind kind = AnswerKind::None;
    std::uint8_t value = 0;
    // When the (last) backward frame started after the end of the forward frame.
    Micros delayUs = kAnswerDelayUs;
};

}  // namespace zd::sim
