// Makes one luminaire show itself so that a person in the room sees which one it is: it flashes
// (IDENTIFY DEVICE where the gear knows it, otherwise its level alternating between maximum and
// minimum), or it goes to its maximum while the rest of the line goes to the minimum or off.
// Every gear touched gets back the level it had before, which is read first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"
#include "engine/Progress.h"

namespace zd {

enum class IdentifyMode {
    // The luminaire flashes; the rest of the line stays as it is.
    Flash,
    // The luminaire at its maximum, every other gear at its minimum.
    Max,
    // The luminaire at its maximum, every other gear off.
    OthersOff,
};

// "flash", "max", "others-off"; and back (none for another word).
const char* IdentifyModeName(IdentifyMode mode);
std::optional<IdentifyMode> IdentifyModeNamed(const std::string& name);

inline constexpr int kIdentifyDefaultSeconds = 10;
inline constexpr int kIdentifyMaxSeconds = 600;
// IDENTIFY DEVICE, a configuration command of the second edition that the terminal sends twice;
// gear of that edition report version number 2.0 (8) and later.
inline constexpr std::int16_t kCmdIdentifyDevice = 37;
inline constexpr std::uint8_t kIdentifyDeviceVersion = 8;
// A gear flashes for 10 s after IDENTIFY DEVICE; a longer identify sends it again before then.
inline constexpr std::int64_t kIdentifyDeviceMs = 10000;
// Half a period of the flashing done by the control.
inline constexpr std::int64_t kIdentifyFlashMs = 500;

struct IdentifyOptions {
    std::int16_t shortAddress = 0;
    int seconds = kIdentifyDefaultSeconds;
    IdentifyMode mode = IdentifyMode::Flash;
};

// A gear whose level was read before and set again afterwards.
struct IdentifyLevel {
    std::int16_t shortAddress = 0;
    std::uint8_t level = 0;
    // The level went back out and the terminal took it.
    bool restored = false;
};

struct IdentifyReport {
    EngineOutcome outcome;
    // The gear flashed by itself (IDENTIFY DEVICE) rather than by the control's max and min.
    bool identifyDevice = false;
    // The version number the gear reported, if it answered.
    std::optional<std::uint8_t> version;
    std::vector<IdentifyLevel> levels;
    // How long the luminaire showed itself, on the line's clock.
    std::int64_t shownMs = 0;
};

// Runs on the line's scheduler: every wait is a timer, so other timers and posted actions go on
// meanwhile and virtual time runs it at once. Refused (nothing sent) outside DALI mode, for an
// address out of range or a time out of 1 to kIdentifyMaxSeconds, while another identify runs on
// the line, and when no gear answers at the address. cancel is asked between two steps; a
// cancelled identify still puts every level back. Progress every half second: the time shown, the
// part done and the time left.
IdentifyReport RunIdentify(AddressingLine& line, const IdentifyOptions& options,
                           const ProgressFn& progress = {},
                           const std::function<bool()>& cancel = {});

}  // namespace zd
