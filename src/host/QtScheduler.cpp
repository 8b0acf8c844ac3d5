#include "host/QtScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <QtGlobal>
#include <algorithm>
#include <exception>
#include <limits>
#include <thread>

namespace zd {

QtScheduler::QtScheduler()
    : m_start(std::chrono::steady_clock::now()),
      m_receiver(std::make_unique<QObject>()),
      m_qtimer(std::make_unique<QTimer>()) {
    m_qtimer->setSingleShot(true);
    m_qtimer->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_qtimer.get(), &QTimer::timeout, m_receiver.get(), [this] {
        FireDueTimers();
        Rearm();
    });
}

QtScheduler::~QtScheduler() = default;

void QtScheduler::Sleep(std::int64_t ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::int64_t QtScheduler::Now() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 m_start)
        .count();
}

std::chrono::system_clock::time_point QtScheduler::WallClock() const {
    return std::chrono::system_clock::now();
}

void QtScheduler::DoEvents() {
    QCoreApplication::processEvents();
    RunPosted();
    // The QTimer may not have been dispatched yet although a deadline has passed.
    FireDueTimers();
    Rearm();
}

Scheduler::TimerId QtScheduler::AddTimer(std::function<void()> tick) {
    return m_timers.Add(std::move(tick));
}

void QtScheduler::SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) {
    m_timers.Set(id, intervalMs, enabled, Now());
    Rearm();
}

void QtScheduler::RemoveTimer(TimerId id) {
    m_timers.Remove(id);
    Rearm();
}

void QtScheduler::Post(std::function<void()> action) {
    m_posted.push_back(std::move(action));
    QMetaObject::invokeMethod(m_receiver.get(), [this] { RunPosted(); }, Qt::QueuedConnection);
}

void QtScheduler::RunPosted() {
    std::deque<std::function<void()>> batch;
    batch.swap(m_posted);
    for (auto& action : batch) action();
}

// Ticks may call DoEvents themselves; other timers then fire inside them, as on a classic form.
// A tick's own timer was re-armed by Fire, so it is not due again within its own tick.
void QtScheduler::FireDueTimers() {
    // A tick that throws must not take the event loop down with it; the control reports its own
    // errors, so anything arriving here is a fault worth a warning.
    try {
        const std::int64_t now = Now();
        while (auto id = m_timers.NextDue(now)) m_timers.Fire(*id, Now())();
    } catch (const std::exception& e) {
        qWarning("zd4270: a timer tick failed: %s", e.what());
    }
}

void QtScheduler::Rearm() {
    auto next = m_timers.NextDue(std::numeric_limits<std::int64_t>::max());
    if (!next) {
        m_qtimer->stop();
        return;
    }
    const std::int64_t wait = std::max<std::int64_t>(0, *m_timers.Deadline(*next) - Now());
    m_qtimer->start(static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max())));
}

}  // namespace zd
