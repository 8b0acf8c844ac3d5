#include "ui/Timer.h"

#include <utility>

namespace zd {

Timer::Timer(std::string name, Scheduler* scheduler, std::int64_t intervalMs)
    : m_name(std::move(name)), m_interval(intervalMs) {
    if (scheduler) {
        AttachScheduler(*scheduler);
    }
}

Timer::~Timer() {
    DetachScheduler();
}

void Timer::AttachScheduler(Scheduler& scheduler) {
    if (m_scheduler == &scheduler) {
        return;
    }
    DetachScheduler();
    m_scheduler = &scheduler;
    // The handlers are read at each tick, so handlers connected later still run.
    m_id = m_scheduler->AddTimer([this] { Tick.Raise(); });
    Arm();
}

void Timer::DetachScheduler() {
    if (m_scheduler && m_id) {
        m_scheduler->RemoveTimer(*m_id);
    }
    m_scheduler = nullptr;
    m_id.reset();
}

void Timer::Arm() {
    if (m_scheduler && m_id) {
        m_scheduler->SetTimer(*m_id, m_interval, m_enabled);
    }
}

void Timer::SetInterval(std::int64_t intervalMs) {
    if (intervalMs == m_interval) {
        return;
    }
    m_interval = intervalMs;
    if (m_enabled) {
        Arm();
    }
    OnChanged.Raise();
}

void Timer::SetEnabled(bool enabled) {
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    Arm();
    OnChanged.Raise();
}

}  // namespace zd
