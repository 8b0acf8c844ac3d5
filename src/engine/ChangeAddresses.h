// Change addresses: the plan of new short addresses (each device record's m_nNewShortAddress)
// carried out one gear at a time, each move made through a free address so that no two gear ever
// answer to one address. A front end steps it (the window once per tick of its timer) or runs it
// whole (RunChangeAddresses).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"

namespace zd {

inline constexpr std::int64_t kChangeAddrIntervalMs = 50;

enum class ChangeAddrStep : std::int16_t {
    Idle = 0,
    Start = 10,
    Delete = 20,
    FindFree = 30,
    Move = 40,
    End = 900,
    Stop = 1000
};

// How a step ended the run by itself: not at all, with no free address left for the moves, with
// the plan carried out, or at a step it does not know.
enum class ChangeAddrEnd { None, NoFreeAddress, Done, Unknown };

// A plan as a front end gives it: from a short address to a new one (MASK: none). Sets the plan
// of the device records; the address of a move that no record holds is returned, none when all
// are known.
std::optional<std::int16_t> ApplyChangePlan(ModuleState& state,
                                            const std::vector<std::pair<int, int>>& plan);

struct ChangeAddressesReport {
    // The plan was carried out whole.
    bool done = false;
    EngineOutcome outcome;
};

// The run from start to end at the window's pace, with the window's notices (a plan that gives
// two devices one address, no free address, all addresses changed) to the terminal's listener
// and in the outcome. Progress: the status line, the moves done of those planned.
ChangeAddressesReport RunChangeAddresses(AddressingLine& line, bool log,
                                         const std::string& logPath = kAddressingLogFile,
                                         const ProgressFn& progress = {},
                                         const std::function<bool()>& cancelled = {});

}  // namespace zd
