// The progress of a long command on the console: one line on stderr, rewritten as the run goes
// on, with what runs, how far it has come and an estimate of the time left, taken from the line's
// own clock (a random addressing of a full line takes a quarter of an hour on a real fieldbus).
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/Progress.h"
#include "platform/Scheduler.h"

namespace zd {

class ProgressLine {
  public:
    // Draws nothing unless enabled; the clock is the run's, so that the estimate follows the
    // line's timing and not the speed of the simulation.
    ProgressLine(std::FILE* out, const Scheduler& clock, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // Redraws the line, at most once per second of line time unless the procedure changed; a
    // new procedure's time counts from now, and an empty "what" erases the line.
    void Update(const ProgressState& state);
    // Erases the line, so that what follows on stderr starts on a clean line.
    void End();

  private:
    std::FILE* m_out;
    const Scheduler& m_clock;
    bool m_enabled;
    bool m_drawn = false;
    std::int64_t m_beginMs = 0;
    std::int64_t m_lastDrawMs = 0;
    std::string m_lastWhat;
    std::optional<double> m_highest;
};

// True when stderr-like output goes to a terminal that a person watches.
bool IsTerminal(std::FILE* file);

}  // namespace zd
