// The named faults of gear and terminal as people spell them in line files, on the command line
// and in the lamp window: one table per model with each fault's name, its range and how it is
// read and set, so that every way in knows the same names and refuses the same values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Ballast.h"
#include "sim/Terminal.h"

namespace zd::sim {

template <class Faults>
struct FaultField {
    const char* name;
    bool boolean;
    // 0 is always allowed (the fault is off); any other value lies in low..high.
    std::int64_t low;
    std::int64_t high;
    std::int64_t (*get)(const Faults&);
    void (*set)(Faults&, std::int64_t);

    bool Allows(std::int64_t value) const { return value == 0 || (value >= low && value <= high); }
    // "true or false", "0..60000", "0, or 2917..9167".
    std::string RangeText() const;
};

const std::vector<FaultField<GearFaults>>& GearFaultFields();
const std::vector<FaultField<TerminalFaults>>& TerminalFaultFields();
// "silent, missAnswers, ...": every name of one model, for messages and help.
std::string GearFaultNames();
std::string TerminalFaultNames();

// One fault switched from the command line: "GEAR:NAME=VALUE", GEAR the gear's id (its 1-based
// place in the line file), or "terminal:NAME=VALUE"; booleans on, off, true or false.
struct FaultSetting {
    // None: the terminal.
    std::optional<int> gearId;
    std::string name;
    std::int64_t value = 0;
};

// Throws ControlError naming the setting and the valid names.
FaultSetting ParseFaultSetting(const std::string& faultText);
// Throws ControlError for a gear that is not on the terminal's line.
void ApplyFault(Terminal& terminal, const FaultSetting& setting);
// The faults switched on in the terminal and its gear, as --fault spells them
// ("terminal:acknowledgeDelayMs=200, 2:silent=true"); empty when there are none.
std::string ActiveFaultsText(Terminal& terminal);

}  // namespace zd::sim
