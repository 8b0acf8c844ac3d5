// The one clock of the control: every wait, timer and queued user action goes through a Scheduler,
// so that procedures run the same against virtual time in tests and against real time in use.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace zd {

class Scheduler {
  public:
    using TimerId = std::uint64_t;

    virtual ~Scheduler() = default;

    // Blocking sleep of the user-interface thread: no timer fires, no queued action runs.
    virtual void Sleep(std::int64_t ms) = 0;
    // Runs queued actions and the timers that are due now.
    virtual void DoEvents() = 0;
    // Milliseconds on this scheduler's clock.
    virtual std::int64_t Now() const = 0;
    // Calendar time for log lines; a virtual clock gives a fixed epoch plus its milliseconds.
    virtual std::chrono::system_clock::time_point WallClock() const = 0;

    // Timers: a periodic tick. SetTimer with enabled=true (re)arms it at Now() + interval; a
    // disabled timer never fires. An interval of 0 or less never fires either.
    virtual TimerId AddTimer(std::function<void()> tick) = 0;
    virtual void SetTimer(TimerId id, std::int64_t intervalMs, bool enabled) = 0;
    virtual void RemoveTimer(TimerId id) = 0;

    // A user action or other event to run at the next DoEvents (or the next pass of the loop).
    virtual void Post(std::function<void()> action) = 0;

    // Lets this clock's time pass, running posted actions and firing timers as they fall due,
    // until done() holds or limitMs have passed; returns done(). The one wait of a run that
    // waits for the control: virtual time jumps from timer to timer, real time is slept.
    virtual bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) = 0;
};

}  // namespace zd
