#include "cli/Progress.h"

#include <unistd.h>

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
    }
    if (state.what.empty() || now - m_lastDrawMs < kRedrawMs) return;
    m_lastDrawMs = now;
    // Carriage return and erase to the end of the line: the line is rewritten in place.
    std::fprintf(m_out, "\r\033[K%s", ProgressText(state, now - m_beginMs).c_str());
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
