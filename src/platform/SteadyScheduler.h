// What the two real-time schedulers share: milliseconds on a steady clock, real blocking sleeps,
// the timer bookkeeping, the queue of posted actions, and RunUntil as a loop of DoEvents and
// short sleeps. The command line's RealScheduler and the window's QtScheduler add how their
// events are run.
#pragma once

#include <chrono>
#include <deque>
#include <functional>

#include "platform/Scheduler.h"
#include "platform/TimerQueue.h"

namespace zd {

class SteadyScheduler : public Scheduler {
  public:
    void Sleep(std::int64_t ms) override;
    std::int64_t Now() const override;
    std::chrono::system_clock::time_point WallClock() const override;

    TimerId AddTimer(std::function<void()> tick) override;
    void SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) override;
    void RemoveTimer(TimerId id) override;
    void Post(std::function<void()> action) override;

    // DoEvents, then a sleep until the next timer falls due but at most maxStepMs, until done()
    // holds or limitMs have passed.
    bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) override;

  protected:
    // maxStepMs: the longest RunUntil sleeps between two looks at events it cannot foresee.
    explicit SteadyScheduler(std::int64_t maxStepMs);

    // Runs the actions posted so far; those they post wait for the next pass.
    void RunPosted();
    TimerQueue& Timers() { return m_timers; }
    // Called after a timer was armed, disarmed or removed, and after an action was posted.
    virtual void TimersChanged() {}
    virtual void Posted() {}

  private:
    std::chrono::steady_clock::time_point m_start;
    std::int64_t m_maxStepMs;
    TimerQueue m_timers;
    std::deque<std::function<void()>> m_posted;
};

}  // namespace zd
