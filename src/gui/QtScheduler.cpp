#include "gui/QtScheduler.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QObject>
#include <QTimer>
#include <QtGlobal>
#include <algorithm>
#include <exception>
#include <limits>

namespace zd {

namespace {

// How often RunUntil lets the window's events in, besides the control's timers.
constexpr std::int64_t kMaxStepMs = 5;

}  // namespace

QtScheduler::QtScheduler()
    : SteadyScheduler(kMaxStepMs),
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

void QtScheduler::DoEvents() {
    QCoreApplication::processEvents();
    RunPosted();
    // The QTimer may not have been dispatched yet although a deadline has passed.
    FireDueTimers();
    Rearm();
}

void QtScheduler::Posted() {
    QMetaObject::invokeMethod(
        m_receiver.get(), [this] { RunPosted(); }, Qt::QueuedConnection);
}

// Ticks may call DoEvents themselves; other timers then fire inside them, as on a classic form.
// A tick's own timer was re-armed by Fire, so it is not due again within its own tick.
void QtScheduler::FireDueTimers() {
    // A tick that throws must not take the event loop down with it; the control reports its own
    // errors, so anything arriving here is a fault worth a warning.
    try {
        TimerQueue& timers = Timers();
        const std::int64_t now = Now();
        while (auto id = timers.NextDue(now)) timers.Fire(*id, Now())();
    } catch (const std::exception& e) {
        qWarning("zd4270: a timer tick failed: %s", e.what());
    }
}

void QtScheduler::Rearm() {
    const TimerQueue& timers = Timers();
    auto next = timers.NextDue(std::numeric_limits<std::int64_t>::max());
    if (!next) {
        m_qtimer->stop();
        return;
    }
    const std::int64_t wait = std::max<std::int64_t>(0, *timers.Deadline(*next) - Now());
    m_qtimer->start(
        static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max())));
}

}  // namespace zd
