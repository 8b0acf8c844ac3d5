// Physical selection: gear get their short addresses in the order in which a person takes their
// lamps out and puts them back, each confirmed by three flashes of its lamp. One step at a time,
// so that the window can show each and a cancel comes between two; RunPhysicalSelection runs it
// for other front ends, which tell it when to stop.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"

namespace zd {

inline constexpr std::int64_t kPhySelIntervalMs = 50;

enum class PhySelStep : std::int16_t {
    Idle = 0,
    Start = 10,
    WaitForLamp = 20,
    PollRemoved = 30,
    FindFree = 40,
    Program = 45,
    PollReinserted = 50,
    Confirm = 60,
    Stop = 1000
};

struct PhysicalSelectionOptions {
    std::int16_t startAddress = 0;
    bool newInstallation = false;
    bool deleteGroups = false;
    bool deleteScenes = false;
};

// Where a run for a front end stands after each step: the status a person reads (waiting for a
// lamp to be taken out, to be put back, ...) and the lamps addressed so far (number, address).
struct PhysicalSelectionReport {
    std::vector<std::pair<std::int16_t, std::int16_t>> lamps;
    std::vector<AddressingRecovery> recovered;
    EngineOutcome outcome;
};

// The run as the window's Start button and timer drive it. It waits for lamps until stop()
// holds (asked between steps and between the scheduler's events, with the progress of the last
// step), then ends as the window's Cancel ends it; the address limit ends it by itself.
PhysicalSelectionReport RunPhysicalSelection(AddressingLine& line,
                                             const PhysicalSelectionOptions& options, bool log,
                                             const std::string& logPath, const ProgressFn& progress,
                                             const std::function<bool()>& stop);

}  // namespace zd
