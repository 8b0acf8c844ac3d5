#include "engine/internal/StepRunner.h"

namespace zd {

bool RunSteps(Scheduler& scheduler, std::int64_t intervalMs, const std::function<bool()>& step,
              const std::function<bool()>& stop, std::int64_t limitMs) {
    bool running = true;
    Scheduler::TimerId timer = 0;
    // The timer is off while the step's transactions run, so the period is the interval plus the
    // step.
    timer = scheduler.AddTimer([&] {
        scheduler.SetTimer(timer, intervalMs, false);
        if (!running) return;
        running = step();
        if (running) scheduler.SetTimer(timer, intervalMs, true);
    });
    scheduler.SetTimer(timer, intervalMs, true);
    const bool ended = scheduler.RunUntil([&] { return !running || (stop && stop()); }, limitMs);
    scheduler.RemoveTimer(timer);
    return ended;
}

}  // namespace zd
