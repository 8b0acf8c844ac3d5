#include "platform/RealScheduler.h"

namespace zd {

namespace {

// Nothing but timers and posted actions happens between two of RunUntil's looks.
constexpr std::int64_t kMaxStepMs = 10;

}  // namespace

RealScheduler::RealScheduler() : SteadyScheduler(kMaxStepMs) {}

void RealScheduler::DoEvents() {
    RunPosted();
    TimerQueue& timers = Timers();
    while (auto id = timers.NextDue(Now())) timers.Fire(*id, Now())();
}

}  // namespace zd
