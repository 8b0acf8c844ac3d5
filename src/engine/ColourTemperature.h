// Colour temperature of tunable-white gear (device type 8), typed for every front end: set it for
// a short address, a group or the whole line, read it with the gear's limits, change the limits,
// and store a scene with its colour. Device-type commands go out right after ENABLE DEVICE TYPE 8;
// a short address is asked for its device type first, so that gear of another type, which would
// ignore the commands, is named instead of passed over in silence.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/DeviceReadout.h"
#include "engine/Outcome.h"
#include "engine/Terminal.h"
#include "link/Commands.h"

namespace zd {

inline constexpr std::uint8_t kDeviceTypeColour = 8;
// No colour temperature (MASK) in a 16-bit colour value.
inline constexpr std::uint16_t kMirekMask = 0xFFFF;

// 1,000,000 / kelvin, rounded; none outside the 16-bit range the gear takes (1..65534 mirek).
std::optional<std::uint16_t> MirekFromKelvin(std::int64_t kelvin);
// 1,000,000 / mirek, rounded.
int KelvinFromMirek(std::uint16_t mirek);

struct ColourTarget {
    AddressKind kind = AddressKind::Short;
    std::int16_t address = 0;
};

// Limits in mirek: the coolest is the smallest number.
struct ColourLimits {
    std::uint16_t coolest = 0;
    std::uint16_t warmest = 0;
    std::uint16_t physicalCoolest = 0;
    std::uint16_t physicalWarmest = 0;

    bool Contains(std::uint16_t mirek) const { return mirek >= coolest && mirek <= warmest; }
    bool operator==(const ColourLimits&) const = default;
};

// What a change came to, as far as the tool can tell.
enum class ColourCheck : std::uint8_t {
    // The gear shows (or holds) what was asked for.
    Taken,
    // The value lay outside the gear's limits: the gear brought it to the nearer limit.
    Clamped,
    // The value lay outside the gear's limits and the options asked to refuse it: not sent.
    RefusedOutsideLimits,
    // Nobody answers at the short address: not sent.
    NoGear,
    // The gear is of another device type and would ignore the commands: not sent.
    OtherType,
    // Sent to a group or the whole line: not read back.
    NotChecked,
    // The gear answers with something else (a repeated command that did not come in time).
    NotTaken,
    // The read-back got no answer.
    Unread,
};
const char* ColourCheckName(ColourCheck check);

struct ColourOptions {
    // Short address: a value outside the gear's limits is not sent (otherwise it is sent, and
    // the gear clamps it).
    bool refuseOutsideLimits = false;
    // Short address: reads the result back and checks it.
    bool readBack = true;
    // Short address: asks the device type and reads the limits first. A front end that has read
    // them already (a page's slider, sending at every step) leaves it out.
    bool checkType = true;
};

// What a short address holds of colour. Values in mirek; kMirekMask where the gear holds none.
struct ColourReadout {
    int shortAddress = 0;
    ReadByte deviceType;
    std::optional<std::uint16_t> actual;
    std::optional<ColourLimits> limits;
    std::optional<std::uint16_t> powerOn;
    std::optional<std::uint16_t> systemFailure;
    // The colour of each scene the gear is in (read with reading.scenes).
    std::array<std::optional<std::uint16_t>, 16> scenes{};
    std::array<std::optional<std::uint8_t>, 16> sceneLevels{};
    // Colour status bit 1: the last colour asked for lay outside the limits.
    std::optional<bool> outOfRange;
    std::optional<bool> automaticActivation;
    ColourCheck check = ColourCheck::Taken;
    EngineOutcome outcome;

    bool ColourGear() const { return deviceType.Value() == kDeviceTypeColour; }
};

struct ColourReadOptions {
    // Also the scene levels and the colour of each scene the gear is in.
    bool scenes = false;
    // Also the power-on and system failure colour, the colour status and the gear features; a
    // page that only shows the colour and its limits leaves them out.
    bool details = true;
};

// Reads the colour part of one gear. No gear, another type: check and outcome say so, and
// nothing else is read.
ColourReadout ReadColour(EngineTerminal& terminal, int shortAddress,
                         const ColourReadOptions& options = {});

struct ColourSetResult {
    ColourTarget target;
    std::uint16_t asked = 0;
    ColourCheck check = ColourCheck::NotChecked;
    std::optional<std::uint8_t> deviceType;
    // Short address: the limits before and the colour after.
    std::optional<ColourLimits> limits;
    std::optional<std::uint16_t> actual;
    EngineOutcome outcome;
};

// SET TEMPORARY COLOUR TEMPERATURE and ACTIVATE: the gear goes to the colour over its fade time.
ColourSetResult SetColourTemperature(EngineTerminal& terminal, const ColourTarget& target,
                                     std::uint16_t mirek, const ColourOptions& options = {});

// The limits to store; the ones left empty stay as they are.
struct ColourLimitsChange {
    std::optional<std::uint16_t> coolest;
    std::optional<std::uint16_t> warmest;
    std::optional<std::uint16_t> physicalCoolest;
    std::optional<std::uint16_t> physicalWarmest;

    bool Empty() const { return !coolest && !warmest && !physicalCoolest && !physicalWarmest; }
};

struct ColourLimitsResult {
    ColourTarget target;
    ColourLimitsChange asked;
    // Clamped: the gear kept its limits in order (physical coolest <= coolest <= warmest <=
    // physical warmest) and holds other values than asked.
    ColourCheck check = ColourCheck::NotChecked;
    std::optional<std::uint8_t> deviceType;
    std::optional<ColourLimits> before;
    std::optional<ColourLimits> after;
    EngineOutcome outcome;
};

// STORE COLOUR TEMPERATURE LIMIT for each limit given (sent twice), physical limits first.
ColourLimitsResult SetColourLimits(EngineTerminal& terminal, const ColourTarget& target,
                                   const ColourLimitsChange& change,
                                   const ColourOptions& options = {});

struct SceneColourResult {
    ColourTarget target;
    int scene = 0;
    std::uint8_t level = 0;
    std::optional<std::uint16_t> asked;
    ColourCheck check = ColourCheck::NotChecked;
    // The colour lies outside the gear's limits: recalling the scene brings it to the nearer one.
    bool outsideLimits = false;
    std::optional<std::uint8_t> deviceType;
    std::optional<std::uint8_t> levelRead;
    std::optional<std::uint16_t> colourRead;
    EngineOutcome outcome;
};

// Stores a scene's level with a colour (SET TEMPORARY COLOUR TEMPERATURE, then the level through
// the DTR and STORE DTR AS SCENE); without a colour the scene keeps the colour it had.
SceneColourResult StoreSceneColour(EngineTerminal& terminal, const ColourTarget& target, int scene,
                                   std::uint8_t level, std::optional<std::uint16_t> mirek,
                                   const ColourOptions& options = {});

// "A5", "G3", "broadcast": the target as texts and documents name it.
std::string ColourTargetText(const ColourTarget& target);

}  // namespace zd
