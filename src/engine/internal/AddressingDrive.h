// Inside the engine: how its procedures are driven step by step on the scheduler, as the
// window's Start button and timer drive them. Only the engine includes this.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/AddressingLine.h"

namespace zd {

// A run of an addressing procedure as the window's Start button and timer drive it, for a front
// end without the window: the log's start line, the recoveries cleared, the start step, then a
// step every interval until the procedure finishes, the connection is lost or cancelled() holds,
// and the stop step with the log's end line ("... by user" after a cancel). A procedure that
// ended itself in its last step (endedItself) is closed by selfEnd instead of the stop step.
struct AddressingDrive {
    std::string logWords;
    bool log = false;
    std::string logPath = kAddressingLogFile;
    std::int64_t intervalMs = 0;
    std::function<void(bool bStart, bool bStop, bool& bFinished)> step;
    // After each step, for progress.
    std::function<void()> stepped;
    std::function<bool()> cancelled;
    std::function<bool()> endedItself;
    std::function<void()> selfEnd;
};

struct AddressingDriveEnd {
    bool cancelled = false;
    bool timedOut = false;
    // The start step already finished the run (a refused plan, a line without gear).
    bool finishedAtStart = false;
};

AddressingDriveEnd DriveAddressingRun(AddressingLine& line, const AddressingDrive& drive);

// One step of a machine the engine drives: Start on bStart, Stop (winning) on bStop, nothing
// while Idle; the stop step calls atStop, a step the machine does not know (ownStep false)
// finishes the run after atUnknown, and an error is reported under the procedure's name.
template <typename Step>
void EngineMachineStep(const Context& context, Step& state, bool bStart, bool bStop,
                       bool& bFinished, const char* procedure, const std::function<bool()>& ownStep,
                       const std::function<void()>& atStop, const std::function<void()>& atUnknown,
                       bool& failed) {
    bFinished = false;
    if (bStart) state = Step::Start;
    if (bStop) state = Step::Stop;
    if (state == Step::Idle) return;
    try {
        if (state == Step::Stop) {
            atStop();
            return;
        }
        if (!ownStep()) {
            atUnknown();
            bFinished = true;
            state = Step::Idle;
        }
    } catch (...) {
        ReportCurrentException(context, procedure);
        failed = true;
        bFinished = true;
    }
}

// Adds the line time of a check to a total while it lives.
class CheckTime {
  public:
    CheckTime(Scheduler& clock, std::int64_t& total)
        : m_clock(clock), m_total(total), m_startMs(clock.Now()) {}
    ~CheckTime() { m_total += m_clock.Now() - m_startMs; }
    CheckTime(const CheckTime&) = delete;
    CheckTime& operator=(const CheckTime&) = delete;

  private:
    Scheduler& m_clock;
    std::int64_t& m_total;
    std::int64_t m_startMs;
};

}  // namespace zd
