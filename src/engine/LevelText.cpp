#include "engine/LevelText.h"

#include <clocale>
#include <cmath>
#include <cstdio>

namespace zd {

std::string FormatNumber(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    // nearbyint rounds halves to even in the default rounding mode.
    const double rounded = std::nearbyint(value * scale) / scale;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, rounded);
    std::string text = buffer;
    const std::size_t point = text.find_first_of(".,");
    if (point != std::string::npos) {
        while (text.back() == '0') text.pop_back();
        if (text.back() == '.' || text.back() == ',') {
            text.pop_back();
        } else {
            const lconv* conventions = std::localeconv();
            const char* separator = conventions ? conventions->decimal_point : nullptr;
            text.replace(point, 1, separator && *separator ? separator : ".");
        }
    }
    return text == "-0" ? "0" : text;
}

std::string GetPercentString(std::int32_t level) {
    if (level == 0) return "0";
    if (level >= 255) return "MASK";
    const double exponent = (static_cast<double>(level) - 1.0) / (253.0 / 3.0) - 1.0;
    return FormatNumber(std::pow(10.0, exponent), 3);
}

std::string LevelPercentText(std::int32_t level) {
    return level == 255 ? "MASK" : GetPercentString(level) + " %";
}

std::string FadeRateText(std::int32_t rate) {
    if (rate < 1 || rate > 15) return {};
    return FormatNumber(506.0 / std::sqrt(std::pow(2.0, rate)), 1);
}

std::string FadeTimeText(std::int32_t time) {
    if (time < 0 || time > 15) return {};
    return FormatNumber(0.5 * std::sqrt(std::pow(2.0, time)), 1);
}

}  // namespace zd
