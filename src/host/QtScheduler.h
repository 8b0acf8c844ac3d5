// The scheduler of the window: real milliseconds on a steady clock, timers fired from the Qt event
// loop by one QTimer set to the earliest deadline, and DoEvents that lets the event loop run.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>

#include "platform/Scheduler.h"
#include "platform/TimerQueue.h"

class QTimer;
class QObject;

namespace zd {

class QtScheduler : public Scheduler {
  public:
    // Needs a QCoreApplication (or QApplication) in this thread before the first timer is armed.
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    // A real blocking sleep: the event loop, the timers and the posted actions wait for it.
    void Sleep(std::int64_t ms) override;
    // Processes pending window events, runs posted actions and fires the timers that are due.
    void DoEvents() override;
    std::int64_t Now() const override;
    std::chrono::system_clock::time_point WallClock() const override;

    TimerId AddTimer(std::function<void()> tick) override;
    void SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) override;
    void RemoveTimer(TimerId id) override;
    void Post(std::function<void()> action) override;

  private:
    void FireDueTimers();
    void RunPosted();
    // Points the QTimer at the earliest armed deadline (or stops it).
    void Rearm();

    std::chrono::steady_clock::time_point m_start;
    TimerQueue m_timers;
    std::deque<std::function<void()>> m_posted;
    std::unique_ptr<QObject> m_receiver;
    std::unique_ptr<QTimer> m_qtimer;
};

}  // namespace zd
