// Virtual milliseconds for tests and for the command line on the simulated line: Sleep advances the
// clock at once, RunFor/RunUntil step from one due timer to the next.
#pragma once

#include <deque>
#include <functional>

#include "platform/Scheduler.h"
#include "platform/TimerQueue.h"

namespace zd {

class VirtualScheduler : public Scheduler {
  public:
    explicit VirtualScheduler(std::int64_t startMs = 0);

    void Sleep(std::int64_t ms) override;
    void DoEvents() override;
    std::int64_t Now() const override { return m_now; }
    std::chrono::system_clock::time_point WallClock() const override;

    TimerId AddTimer(std::function<void()> tick) override;
    void SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) override;
    void RemoveTimer(TimerId id) override;
    void Post(std::function<void()> action) override;

    // Advances the clock by ms, firing every timer that falls due on the way in deadline order.
    void RunFor(std::int64_t ms);
    // Advances timer by timer until pred() holds or limitMs have passed; returns pred().
    bool RunUntil(const std::function<bool()>& pred, std::int64_t limitMs) override;

    // The calendar time that virtual millisecond 0 stands for.
    void SetEpoch(std::chrono::system_clock::time_point epoch) { m_epoch = epoch; }

  private:
    void RunPosted();
    bool FireNextDue(std::int64_t limit);

    std::int64_t m_now;
    TimerQueue m_timers;
    std::deque<std::function<void()>> m_posted;
    std::chrono::system_clock::time_point m_epoch;
};

}  // namespace zd
