// Steady-clock scheduler without Qt, for the command line on a real wire: real sleeps, and timers
// that fire while DoEvents or RunFor is called.
#pragma once

#include <deque>
#include <functional>

#include "platform/Scheduler.h"
#include "platform/TimerQueue.h"

namespace zd {

class RealScheduler : public Scheduler {
public:
    RealScheduler();

    void Sleep(std::int64_t ms) override;
    void DoEvents() override;
    std::int64_t Now() const override;
    std::chrono::system_clock::time_point WallClock() const override;

    TimerId AddTimer(std::function<void()> tick) override;
    void SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) override;
    void RemoveTimer(TimerId id) override;
    void Post(std::function<void()> action) override;

    // Waits for real time, firing timers as they fall due; stops early when pred() holds.
    bool RunUntil(const std::function<bool()>& pred, std::int64_t limitMs);

private:
    std::chrono::steady_clock::time_point m_start;
    TimerQueue m_timers;
    std::deque<std::function<void()>> m_posted;
};

}  // namespace zd
