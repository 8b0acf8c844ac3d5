// Random addressing run by the terminal itself (firmware "1M" and later): the options go to the
// terminal in the output data word, control bit 3 starts the run, and a poll of status bit 3 once
// a second waits for the result code. The control learns no addresses; a scan afterwards finds
// the devices. The form's tab and every other front end run it through these pieces.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"
#include "platform/Dialogs.h"

namespace zd {

inline constexpr std::int64_t kRndAddrFirmwareIntervalMs = 1000;

// What the terminal reports in the low byte of its input data word when its run is over: the
// number of ballasts it addressed (0 to 63), or one of its failures.
enum class FirmwareResult : std::uint8_t {
    InternalError = 0xDE,
    NoFreeShortAddress = 0xE0,
    SameShortAddress = 0xF0,
    NoCompareReply = 0xF8,
    NoReplyAfterProgramming = 0xFE
};

struct TerminalAddressingOptions {
    std::int16_t startAddress = 0;
    bool newInstallation = false;
    bool deleteGroups = false;
    bool deleteScenes = false;
    // The terminal lights each gear it addresses.
    bool opticalFeedback = false;
};

// How long the terminal's own run takes for a number of gear at the pace the terminal sends its
// frames: the hand-over, then per gear its search, programming and check. Only an estimate to
// show while the terminal tells nothing; the polls never stop at it.
std::int64_t TerminalAddressingEstimateMs(int gear);

struct TerminalAddressingReport {
    // The terminal's result byte, once it has told it.
    std::optional<std::uint8_t> result;
    // The gear it addressed, when it succeeded.
    std::optional<int> addressed;
    EngineOutcome outcome;
};

// The whole run, handed over and polled on the scheduler until the terminal reports its result;
// the result's notice goes to the terminal's listener and into the outcome. Progress: the status
// line, the time since the start and, from the gear the device list knew as the run began, the
// estimate of the part done and the time left (TerminalAddressingEstimateMs). The terminal does not
// let the control stop its run: cancelled() ends the polling only, and the outcome says that the
// run goes on in the terminal.
TerminalAddressingReport RunTerminalAddressing(AddressingLine& line,
                                               const TerminalAddressingOptions& options,
                                               const ProgressFn& progress = {},
                                               const std::function<bool()>& cancelled = {});

// A run the terminal began before this client came (the refresh found its status bit set):
// polled at once and then once a second to its result, as RunTerminalAddressing polls its own.
TerminalAddressingReport FollowTerminalAddressing(AddressingLine& line,
                                                  const ProgressFn& progress = {},
                                                  const std::function<bool()>& cancelled = {});

}  // namespace zd
