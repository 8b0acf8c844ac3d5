// Bookkeeping of timers shared by the schedulers: deadlines, arming order, and which timer is next.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "platform/Scheduler.h"

namespace zd {

class TimerQueue {
  public:
    Scheduler::TimerId Add(std::function<void()> tick);
    void Set(Scheduler::TimerId id, std::int64_t intervalMs, bool enabled, std::int64_t now);
    void Remove(Scheduler::TimerId id);

    // The armed timer with the earliest deadline (ties: armed first) whose deadline is <= limit.
    std::optional<Scheduler::TimerId> NextDue(std::int64_t limit) const;
    std::optional<std::int64_t> Deadline(Scheduler::TimerId id) const;
    // Re-arms a periodic timer for its next period and returns its tick (copied, so that the tick
    // may remove its own timer).
    std::function<void()> Fire(Scheduler::TimerId id, std::int64_t now);

  private:
    struct Entry {
        std::function<void()> tick;
        std::int64_t interval = 0;
        bool armed = false;
        std::int64_t deadline = 0;
        std::uint64_t armSequence = 0;
    };
    std::map<Scheduler::TimerId, Entry> m_timers;
    Scheduler::TimerId m_nextId = 1;
    std::uint64_t m_nextSequence = 1;
};

}  // namespace zd
