#include "platform/TimerQueue.h"

namespace zd {

Scheduler::TimerId TimerQueue::Add(std::function<void()> tick) {
    Scheduler::TimerId id = m_nextId++;
    m_timers[id].tick = std::move(tick);
    return id;
}

void TimerQueue::Set(Scheduler::TimerId id, std::int64_t intervalMs, bool enabled,
                     std::int64_t now) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) return;
    Entry& e = it->second;
    e.interval = intervalMs;
    e.armed = enabled && intervalMs > 0;
    if (e.armed) {
        e.deadline = now + intervalMs;
        e.armSequence = m_nextSequence++;
    }
}

void TimerQueue::Remove(Scheduler::TimerId id) {
    m_timers.erase(id);
}

std::optional<Scheduler::TimerId> TimerQueue::NextDue(std::int64_t limit) const {
    std::optional<Scheduler::TimerId> best;
    const Entry* bestEntry = nullptr;
    for (const auto& [id, e] : m_timers) {
        if (!e.armed || e.deadline > limit) continue;
        if (!bestEntry || e.deadline < bestEntry->deadline ||
            (e.deadline == bestEntry->deadline && e.armSequence < bestEntry->armSequence)) {
            best = id;
            bestEntry = &e;
        }
    }
    return best;
}

std::optional<std::int64_t> TimerQueue::Deadline(Scheduler::TimerId id) const {
    auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second.armed) return std::nullopt;
    return it->second.deadline;
}

std::function<void()> TimerQueue::Fire(Scheduler::TimerId id, std::int64_t now) {
    Entry& e = m_timers.at(id);
    e.deadline = now + e.interval;
    e.armSequence = m_nextSequence++;
    return e.tick;
}

}  // namespace zd
