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

#include "frame/configZD4270.h"
#include "platform/Messages.h"

namespace zd {

// Where a procedure stands: what runs, what it has done so far, and the part of the whole that
// is done (0 to 1) when the procedure can tell.
struct ProgressState {
    std::string what;
    std::string detail;
    std::optional<double> fraction;
    Language language = Language::English;
    // A device page reading its device: the read runs inside the one handler that opened the
    // page, and the window is drawn meanwhile only where the progress draws itself.
    bool pageRead = false;
};

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

// "about 9 min 40 s", "12 s": a duration as the progress is shown.
std::string DurationText(std::int64_t ms);
// The time the rest will take at the pace of the part done so far; nothing while too little of
// the run lies behind to tell.
std::optional<std::int64_t> TimeLeftMs(const ProgressState& state, std::int64_t elapsedMs);
// What runs, how far it has come and the estimate, as one line after elapsedMs on the line.
std::string ProgressText(const ProgressState& state, std::int64_t elapsedMs);

}  // namespace zd
