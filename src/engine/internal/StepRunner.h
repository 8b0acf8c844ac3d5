// Runs a procedure's steps on the scheduler as the window's timer does: the next step the interval
// after the last one ended, other timers (the watchdog) and posted actions running between them.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/Scheduler.h"

namespace zd {

// The longest an engine procedure may take, on the clock of the run: a whole line of 64 gear
// addressed by the control takes well under half an hour.
inline constexpr std::int64_t kEngineProcedureLimitMs = 2 * 60 * 60 * 1000;

// step() runs every intervalMs until it returns false or stop() holds (asked between steps);
// false when limitMs passed first.
bool RunSteps(Scheduler& scheduler, std::int64_t intervalMs, const std::function<bool()>& step,
              const std::function<bool()>& stop = {},
              std::int64_t limitMs = kEngineProcedureLimitMs);

}  // namespace zd
