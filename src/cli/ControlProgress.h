// Which procedure of the control runs and how far it has come, read from the models the window
// shows for it: running flags, status labels, progress bars and lamp lists.
#pragma once

#include <functional>

#include "cli/Progress.h"
#include "frame/configZD4270.h"

namespace zd {

// Nothing (an empty "what") while no procedure runs.
ProgressState ControlProgress(const configZD4270& control);

// Calls changed whenever a model that tells the progress changes, also inside procedures that
// wait without the run's clock loop (the archive's transfers process events as they go).
void WatchControlProgress(configZD4270& control, const std::function<void()>& changed);

}  // namespace zd
