// What every procedure of the engine works on: one terminal reached through its link, the state
// that describes it (process-image layout, byte order, firmware, mode, device list) and the
// surroundings (clock, dialogs, message catalogue). The engine holds no widget: a front end hands
// it typed options and reads back typed progress and results.
#pragma once

#include "engine/Outcome.h"
#include "link/Link.h"
#include "link/ModuleState.h"
#include "platform/Context.h"

namespace zd {

struct EngineTerminal {
    ModuleState& state;
    Link& link;
    const Context& context;
    // The terminal's position in the process image (its device number for the DevCom).
    std::int32_t position = 0;
};

// A procedure for DALI gear is refused outside DALI mode: the window's box (5122), the outcome
// Refused, and nothing sent. True when it was refused.
bool RefusedOutsideDaliMode(const EngineTerminal& terminal, EngineOutcome& outcome);

}  // namespace zd
