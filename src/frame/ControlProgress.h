// Which procedure of the control runs and how far it has come, read from the models the window
// shows for it (running flags, status labels, progress bars and lamp lists), and the estimate of
// the time left from the line's own pace so far. The console's progress line and the window's
// status bar both show it, in the control's language.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/Progress.h"
#include "frame/configZD4270.h"
#include "platform/Messages.h"

namespace zd {

// Nothing (an empty "what") while no procedure runs.
ProgressState ControlProgress(const configZD4270& control);

// The button that cancels the procedure now running (the run's own Start button while it reads
// "Cancel"), or none where the procedure cannot be cancelled.
Button* ProgressCancelButton(configZD4270& control);

// Calls changed whenever a model that tells the progress changes, also inside procedures that
// wait without the run's clock loop (the archive's transfers and the pages' reads, which process
// events as they go). The result undoes the watch; a watcher that goes before the control calls
// it.
std::function<void()> WatchControlProgress(configZD4270& control,
                                           const std::function<void()>& changed);

}  // namespace zd
