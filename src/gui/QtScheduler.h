// The scheduler of the window: real milliseconds on a steady clock, timers fired from the Qt event
// loop by one QTimer set to the earliest deadline, and DoEvents that lets the event loop run.
#pragma once

#include <memory>

#include "platform/SteadyScheduler.h"

class QTimer;
class QObject;

namespace zd {

class QtScheduler : public SteadyScheduler {
  public:
    // Needs a QCoreApplication (or QApplication) in this thread before the first timer is armed.
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    // Sleep is a real blocking sleep: the event loop, the timers and the posted actions wait for
    // it. DoEvents processes pending window events, runs posted actions and fires the timers
    // that are due.
    void DoEvents() override;

  private:
    void FireDueTimers();
    // Points the QTimer at the earliest armed deadline (or stops it).
    void Rearm();
    void TimersChanged() override { Rearm(); }
    // A posted action also runs from the event loop, without waiting for a DoEvents.
    void Posted() override;

    std::unique_ptr<QObject> m_receiver;
    std::unique_ptr<QTimer> m_qtimer;
};

}  // namespace zd
