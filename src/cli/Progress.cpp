#include "cli/Progress.h"

#include <algorithm>
#include <cmath>

#include <unistd.h>

namespace zd {

namespace {

constexpr std::int64_t kRedrawMs = 1000;

}  // namespace

std::string DurationText(std::int64_t ms) {
    const std::int64_t seconds = std::max<std::int64_t>(0, (ms + 500) / 1000);
    if (seconds < 60) return std::to_string(seconds) + " s";
    const std::int64_t minutes = seconds / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::string ProgressText(const ProgressState& state, std::int64_t elapsedMs) {
    std::string text = state.what;
    if (!state.detail.empty()) text += ": " + state.detail;
    if (state.fraction) {
        const double fraction = std::clamp(*state.fraction, 0.0, 1.0);
        text += ", " + std::to_string(static_cast<int>(std::floor(fraction * 100))) + " %";
        // The rest will take as long per part as the parts done so far; an estimate needs a
        // little of the run behind it.
        if (fraction >= 0.01 && fraction < 1 && elapsedMs >= 1000) {
            const auto left = static_cast<std::int64_t>(elapsedMs * (1 - fraction) / fraction);
            text += ", about " + DurationText(left) + " left";
        }
    }
    text += " (" + DurationText(elapsedMs) + " so far)";
    return text;
}

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
