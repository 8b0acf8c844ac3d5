// The colour part of a type 8 device in a line backup: its colour temperature, limits, power-on,
// system failure and scene colours, read through the engine, kept in the file as "kelvin" and
// "mirek", and restored (limits and scene colours) where they differ.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "connection/ControlRun.h"
#include "engine/ColourTemperature.h"

namespace zd {

// Values in mirek; kMirekMask where the gear holds none.
struct ColourBackup {
    std::uint16_t actual = kMirekMask;
    ColourLimits limits;
    std::uint16_t powerOn = kMirekMask;
    std::uint16_t systemFailure = kMirekMask;
    std::array<std::uint16_t, 16> scenes{};

    ColourBackup() { scenes.fill(kMirekMask); }
    bool operator==(const ColourBackup&) const = default;
};

// Reads it; CommandFailed when it cannot be read whole.
ColourBackup ReadColourBackup(ControlRun& run, int address);

// {"kelvin": K, "mirek": M}, or null for none.
Json ColourValueJson(std::uint16_t mirek);
Json ColourBackupJson(const ColourBackup& colour);
// Strict, as the rest of the file: fail(where, why) does not return. A value gives "mirek", or
// "kelvin" alone; both must agree.
ColourBackup ParseColourBackup(
    const Json& value, const std::string& where,
    const std::function<void(const std::string&, const std::string&)>& fail);

// What a restore writes of the colour part: the limits that differ, and the scene colours that
// differ in scenes the device is to be in (scene, level from the file, colour).
struct ColourPlan {
    std::optional<ColourLimitsChange> limits;
    std::vector<std::pair<int, std::pair<int, std::uint16_t>>> scenes;

    bool Writes() const { return limits.has_value() || !scenes.empty(); }
    Json ToJson() const;
    std::string Text() const;
};
ColourPlan PlanColour(const std::optional<ColourBackup>& want,
                      const std::optional<ColourBackup>& now, const std::array<int, 16>& levels);
// Sends it and lists what the device did not take.
std::vector<std::string> ApplyColourPlan(ControlRun& run, int address, const ColourPlan& plan);

}  // namespace zd
