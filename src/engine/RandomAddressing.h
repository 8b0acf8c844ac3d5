// Random addressing searched by the control: the gear draw random addresses, a binary search with
// COMPARE finds the smallest one, which gets the next free short address, is verified, lit and
// withdrawn; then the search goes on above it. One step at a time, so that the window can show
// each and a cancel comes between two; RunRandomAddressing runs it whole for other front ends.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/DeviceScan.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"

namespace zd {

struct RandomAddressingOptions {
    // The first short address given.
    std::int16_t startAddress = 0;
    // Every gear takes part and loses its short address first.
    bool newInstallation = false;
    bool deleteGroups = false;
    bool deleteScenes = false;
    // The fast search: its steps back to back with the quick handshake, instead of one per
    // timer period.
    bool fast = false;
    // The line time the whole run may take; 0: 3 minutes, and 30 s more for each gear found.
    std::int64_t ceilingMs = 0;
};

// A whole random addressing run as a front end asks for it, typed.
struct RandomAddressingRequest {
    RandomAddressingOptions options;
    // The terminal's own search only: it lights each gear it addresses.
    bool opticalFeedback = false;
    // The addressing log, where the store switches it on.
    bool log = false;
    std::string logPath = kAddressingLogFile;
};

struct RandomAddressingReport {
    RandomAddressingVariant variant = RandomAddressingVariant::None;
    // Whether the fast search ran (the control's search only).
    bool fastSearch = false;
    // The gear addressed, in the order found (the control's search only).
    std::vector<std::int16_t> addressed;
    std::vector<AddressingRecovery> recovered;
    std::int64_t checkMs = 0;
    EngineOutcome outcome;
};

// The control's search from start to end, stepped on the scheduler at its pace; progress after
// each step (the status line, the gear addressed, the part done); cancelled() asked between steps
// ends the search as a cancel does (TERMINATE). The notices of the search (the address limit, gear
// left) go to the terminal's listener as they arise and come with the outcome.
RandomAddressingReport RunRandomAddressing(AddressingLine& line,
                                           const RandomAddressingRequest& request,
                                           const ProgressFn& progress = {},
                                           const std::function<bool()>& cancelled = {});

}  // namespace zd
