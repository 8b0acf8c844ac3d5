#include "platform/SteadyScheduler.h"

#include <algorithm>
#include <thread>

namespace zd {

SteadyScheduler::SteadyScheduler(std::int64_t maxStepMs)
    : m_start(std::chrono::steady_clock::now()), m_maxStepMs(maxStepMs) {}

void SteadyScheduler::Sleep(std::int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t SteadyScheduler::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_start)
        .count();
}

std::chrono::system_clock::time_point SteadyScheduler::WallClock() const {
    return std::chrono::system_clock::now();
}

Scheduler::TimerId SteadyScheduler::AddTimer(std::function<void()> tick) {
    return m_timers.Add(std::move(tick));
}

void SteadyScheduler::SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) {
    m_timers.Set(id, intervalMs, enabled, Now());
    TimersChanged();
}

void SteadyScheduler::RemoveTimer(TimerId id) {
    m_timers.Remove(id);
    TimersChanged();
}

void SteadyScheduler::Post(std::function<void()> action) {
    m_posted.push_back(std::move(action));
    Posted();
}

void SteadyScheduler::RunPosted() {
    std::deque<std::function<void()>> batch;
    batch.swap(m_posted);
    for (auto& action : batch) action();
}

bool SteadyScheduler::RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
    const std::int64_t end = Now() + limitMs;
    for (;;) {
        DoEvents();
        if (done()) return true;
        const std::int64_t now = Now();
        if (now >= end) return false;
        std::int64_t wake = end;
        if (auto id = m_timers.NextDue(end)) wake = std::min(wake, *m_timers.Deadline(*id));
        Sleep(std::clamp<std::int64_t>(wake - now, 1, m_maxStepMs));
    }
}

}  // namespace zd
