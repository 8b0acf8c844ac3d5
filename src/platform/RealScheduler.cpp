#include "platform/RealScheduler.h"

#include <algorithm>
#include <thread>

namespace zd {

RealScheduler::RealScheduler() : m_start(std::chrono::steady_clock::now()) {}

void RealScheduler::Sleep(std::int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t RealScheduler::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_start)
        .count();
}

std::chrono::system_clock::time_point RealScheduler::WallClock() const {
    return std::chrono::system_clock::now();
}

void RealScheduler::DoEvents() {
    std::deque<std::function<void()>> batch;
    batch.swap(m_posted);
    for (auto& action : batch) action();
    while (auto id = m_timers.NextDue(Now())) m_timers.Fire(*id, Now())();
}

Scheduler::TimerId RealScheduler::AddTimer(std::function<void()> tick) {
    return m_timers.Add(std::move(tick));
}

void RealScheduler::SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) {
    m_timers.Set(id, intervalMs, enabled, Now());
}

void RealScheduler::RemoveTimer(TimerId id) { m_timers.Remove(id); }

void RealScheduler::Post(std::function<void()> action) { m_posted.push_back(std::move(action)); }

bool RealScheduler::RunUntil(const std::function<bool()>& pred, std::int64_t limitMs) {
    const std::int64_t end = Now() + limitMs;
    for (;;) {
        DoEvents();
        if (pred()) return true;
        std::int64_t now = Now();
        if (now >= end) return false;
        std::int64_t wake = end;
        if (auto id = m_timers.NextDue(end)) wake = std::min(wake, *m_timers.Deadline(*id));
        Sleep(std::clamp<std::int64_t>(wake - now, 1, 10));
    }
}

}  // namespace zd
