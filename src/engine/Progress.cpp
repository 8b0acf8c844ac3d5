#include "engine/Progress.h"

#include <algorithm>
#include <cmath>

#include "platform/HostTexts.h"

namespace zd {

std::string DurationText(std::int64_t ms) {
    const std::int64_t seconds = std::max<std::int64_t>(0, (ms + 500) / 1000);
    if (seconds < 60) return std::to_string(seconds) + " s";
    const std::int64_t minutes = seconds / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::optional<std::int64_t> TimeLeftMs(const ProgressState& state, std::int64_t elapsedMs) {
    if (state.leftMs) return std::max<std::int64_t>(*state.leftMs, 0);
    if (!state.fraction) return std::nullopt;
    const double fraction = std::clamp(*state.fraction, 0.0, 1.0);
    // The rest will take as long per part as the parts done so far; an estimate needs a little
    // of the run behind it.
    if (fraction < 0.01 || fraction >= 1 || elapsedMs < 1000) return std::nullopt;
    return static_cast<std::int64_t>(static_cast<double>(elapsedMs) * (1 - fraction) / fraction);
}

std::string ProgressText(const ProgressState& state, std::int64_t elapsedMs) {
    std::string text = state.what;
    if (!state.detail.empty()) text += ": " + state.detail;
    if (state.fraction) {
        const double fraction = std::clamp(*state.fraction, 0.0, 1.0);
        text += ", " + std::to_string(static_cast<int>(std::floor(fraction * 100))) + " %";
        if (const auto left = TimeLeftMs(state, elapsedMs))
            text += ", " + HostText(state.language, "about %1 left", {DurationText(*left)});
    }
    text += " (" + HostText(state.language, "%1 so far", {DurationText(elapsedMs)}) + ")";
    return text;
}

}  // namespace zd
