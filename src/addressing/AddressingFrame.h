// What the addressing procedures share: the step state record, the description of a run that the
// common Start/Cancel button and its timer drive, the addressing log and small helpers of the
// commissioning commands.
//
// How a procedure plugs in (the member functions named here live in configZD4270):
//  1. Write the step procedure as a member, Name(bool bStart, bool bStop, bool& bFinished):
//     bStop wins over bStart and puts the machine into 1000, bStart into 10, then exactly one
//     state runs. Guard its body under the procedure's error title and set bFinished on an error.
//     Keep the state in your own fields of m_addressingState. Send through SendAddressingCommand
//     and read through ReceiveAddressingData, which pass the open log to the transactions.
//  2. Describe the run in an AddressingRun (button, timer and interval, status label, running
//     flag, options operation, start status message, log words, the step procedure).
//  3. The button's Clicked calls AddressingStartClick(run) (DSI refusal, cancel while running,
//     else log, lock options, start call and timer); the timer's Tick calls
//     AddressingTimerTick(run) (one step, and at bFinished the end of the run). Connect both in
//     your own ConnectXxx(). A start call that already reports bFinished ends the run at once,
//     closing the log without an end line. A step that ends the run itself (clears the running
//     flag) leaves the timer off.
//  4. The stop state (1000) clears the status label, sends TERMINATE as broadcast and calls
//     RefreshDeviceViews, so that the tree, the change list and the archive views show colDevices.
//     Helpers: CheckDaliMode, ShowAddressLimitMessage, AddAddressedDevice, EmptyDeviceList,
//     AddLampRow, AddressByte.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace zd {

inline constexpr const char* kAddressingLogFile = "OrvixVTermZD4270.Logging.Addressing.txt";
inline constexpr std::int64_t kPhySelIntervalMs = 50;
inline constexpr std::int64_t kRndAddrIntervalMs = 200;
// The fast search: the next step as soon as the last one's transactions are done.
inline constexpr std::int64_t kRndAddrFastIntervalMs = 1;
inline constexpr std::int64_t kChangeAddrIntervalMs = 50;
// Firmware from which the terminal can run random addressing at all: ASCII "1H".
inline constexpr std::int32_t kRandomAddressingMinVersion = 0x3148;

// Step states common to every machine.
inline constexpr std::int16_t kStateIdle = 0;
inline constexpr std::int16_t kStateStart = 10;
inline constexpr std::int16_t kStateStop = 1000;

inline constexpr std::int32_t kSearchAddressMax = 0xFFFFFF;
inline constexpr std::int16_t kMaxShortAddress = 63;

// The step state of every addressing machine of the control, the device scan included; each
// procedure owns its own fields.
struct AddressingState {
    std::int16_t nScanState = 0;
    std::int16_t nScanAddress = 0;
    std::int16_t nPhySelState = 0;
    std::int16_t nPhySelAddress = 0;
    std::int16_t nPhySelPollCount = 0;
    std::int16_t nPhySelLampNo = 0;
    // When the initialisation window was last opened or renewed (scheduler milliseconds), and the
    // short address the selected ballast reported before it was programmed (-1: none).
    std::int64_t lPhySelInitialisedMs = 0;
    std::int16_t nPhySelOldAddress = -1;
    // A gear selected again that keeps the address it was given earlier in the run (-1: none),
    // and whether two lamps were seen out at once while waiting for this one.
    std::int16_t nPhySelRepeatAddress = -1;
    bool bPhySelTwoOut = false;
    std::int16_t nRndAddrState = 0;
    std::int16_t nRndAddrAddress = 0;
    std::int16_t nRndAddrLampNo = 0;
    // When RANDOMISE last went out (scheduler milliseconds); whether nRndAddrAddress has been
    // given to a gear, so that the next gear takes the one after it.
    std::int64_t lRndAddrRandomisedMs = 0;
    bool bRndAddrAddressGiven = false;
    // The fast search: no gear taking part lies below the floor, so that probes below it are
    // known to stay silent; whether any COMPARE of this search was answered.
    std::int32_t lRndAddrFloor = 0;
    bool bRndAddrAnswered = false;
    std::int32_t lSearchAddress = 0;
    std::int32_t lSearchHigh = 0;
    std::int32_t lSearchLow = 0;
    std::uint8_t bySearchH = 0;
    std::uint8_t bySearchM = 0;
    std::uint8_t bySearchL = 0;
    std::uint8_t byLastSearchH = 0;
    std::uint8_t byLastSearchM = 0;
    std::uint8_t byLastSearchL = 0;
    std::int16_t nFirmwareState = 0;
    std::int16_t nFeedbackAddress = 0;
    std::int16_t nChangeAddrState = 0;
    // The moves a change run had to make when it started: how far it has come is told by those
    // still to make.
    int nChangeAddrPlanned = 0;
    bool bAddressMoved = false;
    std::int16_t nFreeAddress = -1;
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

// One step of a procedure: start and stop flags in, finished out.
using AddressingStep = std::function<void(bool bStart, bool bStop, bool& bFinished)>;

// A procedure run by the common Start/Cancel button and its polling timer.
struct AddressingRun {
    Button* button = nullptr;
    Timer* timer = nullptr;
    std::int64_t intervalMs = 0;
    Label* statusLabel = nullptr;
    bool* running = nullptr;
    // Enables or disables the procedure's options while it runs.
    std::function<void(bool)> enableOptions;
    // Message shown in the status label at the start, followed by "...".
    int startMessage = 0;
    // Words of the run lines in the log: " start <words>", " end <words>", " ... by user".
    std::string logWords;
    AddressingStep step;
    // Empties the lists before the start call; the frame's ClearAddressingLists when not given.
    std::function<void()> clearLists;
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
