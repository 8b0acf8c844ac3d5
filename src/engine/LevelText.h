// The texts of DALI values as the device pages and the bus monitor show them: levels as a
// percentage of the logarithmic dimming curve, fade rates and fade times, in the user's number
// format.
#pragma once

#include <cstdint>
#include <string>

namespace zd {

// value rounded to decimals places (ties to even) in the user's number format, without trailing
// zeros: 0.103, 100, 44.7.
std::string FormatNumber(double value, int decimals);

// A DALI level as a percentage of the logarithmic dimming curve: "0" for 0, "MASK" from 255 on,
// otherwise 10^((level - 1) / (253 / 3) - 1) with three decimals (1 gives 0.1, 254 gives 100).
std::string GetPercentString(std::int32_t level);
// The level as a list shows it: the percentage followed by " %", or "MASK" alone for 255.
std::string LevelPercentText(std::int32_t level);
// Steps per second of fade rate 1 to 15 (506 / sqrt(2^rate)), empty for other rates.
std::string FadeRateText(std::int32_t rate);
// Seconds of fade time 0 to 15 (0.5 * sqrt(2^time)), empty for other times.
std::string FadeTimeText(std::int32_t time);

}  // namespace zd
