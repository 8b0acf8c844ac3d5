// The timer model: Interval in milliseconds, Enabled and the Tick event, fired by a zd::Scheduler.
// Enabling arms it at Now() + Interval, disabling disarms it; a new Interval while enabled re-arms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Scheduler.h"
#include "ui/Event.h"

namespace zd {

class Timer {
  public:
    explicit Timer(std::string name, Scheduler* scheduler = nullptr, std::int64_t intervalMs = 0);
    ~Timer();
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

    const std::string& Name() const { return m_name; }

    // Registers with the scheduler (leaving a previous one); an enabled timer is armed there at
    // once.
    void AttachScheduler(Scheduler& scheduler);
    void DetachScheduler();

    std::int64_t Interval() const { return m_interval; }
    // An interval of 0 never fires. Equal value: nothing.
    void SetInterval(std::int64_t intervalMs);
    bool Enabled() const { return m_enabled; }
    // Equal value: nothing.
    void SetEnabled(bool enabled);

    Event<> Tick;
    Event<> OnChanged;

  private:
    void Arm();

    std::string m_name;
    Scheduler* m_scheduler = nullptr;
    std::optional<Scheduler::TimerId> m_id;
    std::int64_t m_interval;
    bool m_enabled = false;
};

}  // namespace zd
