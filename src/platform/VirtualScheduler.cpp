#include "platform/VirtualScheduler.h"

namespace zd {

VirtualScheduler::VirtualScheduler(std::int64_t startMs)
    : m_now(startMs),
      // 2026-01-05 08:00:00 UTC: a fixed day, so that log lines written in tests are repeatable.
      m_epoch(std::chrono::system_clock::time_point(std::chrono::seconds(1767600000))) {}

void VirtualScheduler::Sleep(std::int64_t ms) {
    if (ms > 0) m_now += ms;
}

void VirtualScheduler::DoEvents() {
    RunPosted();
    while (FireNextDue(m_now)) {
    }
}

std::chrono::system_clock::time_point VirtualScheduler::WallClock() const {
    return m_epoch + std::chrono::milliseconds(m_now);
}

Scheduler::TimerId VirtualScheduler::AddTimer(std::function<void()> tick) {
    return m_timers.Add(std::move(tick));
}

void VirtualScheduler::SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) {
    m_timers.Set(id, intervalMs, enabled, m_now);
}

void VirtualScheduler::RemoveTimer(TimerId id) {
    m_timers.Remove(id);
}

void VirtualScheduler::Post(std::function<void()> action) {
    m_posted.push_back(std::move(action));
}

void VirtualScheduler::RunPosted() {
    // Actions posted by an action run on the next pass, as a message queue would run them.
    std::deque<std::function<void()>> batch;
    batch.swap(m_posted);
    for (auto& action : batch) action();
}

bool VirtualScheduler::FireNextDue(std::int64_t limit) {
    auto id = m_timers.NextDue(limit);
    if (!id) return false;
    std::int64_t deadline = *m_timers.Deadline(*id);
    if (deadline > m_now) m_now = deadline;
    auto tick = m_timers.Fire(*id, m_now);
    tick();
    return true;
}

void VirtualScheduler::RunFor(std::int64_t ms) {
    const std::int64_t end = m_now + ms;
    RunPosted();
    while (FireNextDue(end)) RunPosted();
    if (m_now < end) m_now = end;
}

bool VirtualScheduler::RunUntil(const std::function<bool()>& pred, std::int64_t limitMs) {
    const std::int64_t end = m_now + limitMs;
    RunPosted();
    while (!pred()) {
        if (!FireNextDue(end)) {
            m_now = std::max(m_now, end);
            return pred();
        }
        RunPosted();
    }
    return true;
}

}  // namespace zd
