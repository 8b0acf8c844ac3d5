// How far a procedure has come, as every front end shows it: what runs, what it did last, the part
// done, and the estimate of the time left from the line's own pace so far.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

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

// "about 9 min 40 s", "12 s": a duration as the progress is shown.
std::string DurationText(std::int64_t ms);
// The time the rest will take at the pace of the part done so far; nothing while too little of
// the run lies behind to tell.
std::optional<std::int64_t> TimeLeftMs(const ProgressState& state, std::int64_t elapsedMs);
// What runs, how far it has come and the estimate, as one line after elapsedMs on the line.
std::string ProgressText(const ProgressState& state, std::int64_t elapsedMs);

}  // namespace zd
