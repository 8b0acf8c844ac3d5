// What every procedure of the control needs from its surroundings: the clock, the dialogs and the
// message catalogue.
#pragma once

#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/Scheduler.h"

namespace zd {

struct Context {
    Scheduler& scheduler;
    Dialogs& dialogs;
    const MessageCatalogue& messages;
};

}  // namespace zd
