// What every procedure of the engine works on: one terminal reached through its link, the state
// that describes it (process-image layout, byte order, firmware, mode, device list) and the
// surroundings (clock, dialogs, message catalogue). The engine holds no widget and shows no box: a
// front end hands it typed options and reads back typed progress, results and notices.
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
    // Hears of each notice of a procedure as it arises (the window shows its box there).
    NoticeListener tell;
};

// The notice goes to the terminal's listener and into the outcome's notices; a failure also
// becomes the outcome's failure unless one was met before.
void Tell(const EngineTerminal& terminal, EngineOutcome& outcome, const EngineNotice& notice);

// A procedure for DALI gear is refused outside DALI mode: the notice 5122, the outcome Refused,
// and nothing sent. True when it was refused.
bool RefusedOutsideDaliMode(const EngineTerminal& terminal, EngineOutcome& outcome);

}  // namespace zd
