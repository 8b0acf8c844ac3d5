#include "cli/ProgressLine.h"

#include <unistd.h>

#include <algorithm>

namespace zd {

namespace {

constexpr std::int64_t kRedrawMs = 1000;

}  // namespace

ProgressLine::ProgressLine(std::FILE* out, const Scheduler& clock, bool enabled)
    : m_out(out), m_clock(clock), m_enabled(enabled) {}

ProgressLine::~ProgressLine() {
    End();
}

void ProgressLine::Update(const ProgressState& state) {
    if (!m_enabled) return;
    const std::int64_t now = m_clock.Now();
    if (state.what != m_lastWhat) {
        End();
        m_lastWhat = state.what;
        m_beginMs = now;
        m_lastDrawMs = now - kRedrawMs;
        m_highest.reset();
    }
    // A run that starts a further round (a messy line's search) does not take back what it
    // showed as done: the part shown only grows.
    ProgressState shown = state;
    if (shown.fraction) {
        m_highest = std::max(m_highest.value_or(0.0), *shown.fraction);
        shown.fraction = m_highest;
    }
    if (state.what.empty() || now - m_lastDrawMs < kRedrawMs) return;
    m_lastDrawMs = now;
    // Carriage return and erase to the end of the line: the line is rewritten in place.
    std::fprintf(m_out, "\r\033[K%s", ProgressText(shown, now - m_beginMs).c_str());
    std::fflush(m_out);
    m_drawn = true;
}

void ProgressLine::End() {
    if (!m_drawn) return;
    std::fprintf(m_out, "\r\033[K");
    std::fflush(m_out);
    m_drawn = false;
}

bool IsTerminal(std::FILE* file) {
    return file && isatty(fileno(file)) == 1;
}

}  // namespace zd
