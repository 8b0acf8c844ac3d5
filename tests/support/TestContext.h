// A virtual clock, recording dialogs and an English catalogue, bundled for tests.
#pragma once

#include "platform/Context.h"
#include "platform/Dialogs.h"
#include "platform/Messages.h"
#include "platform/VirtualScheduler.h"

namespace zd::test {

struct TestContext {
    VirtualScheduler scheduler;
    RecordingDialogs dialogs;
    MessageCatalogue messages{Language::English};
    Context context{scheduler, dialogs, messages};
};

}  // namespace zd::test
