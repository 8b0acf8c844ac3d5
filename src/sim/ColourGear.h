// The colour part of simulated tunable-white gear (device type 8, colour temperature only): its
// limits, temporary, actual and report colour temperature, the colours of its scenes, power-on
// and system failure, and the device-type commands that read and change them. All values are
// in mirek (1,000,000 / kelvin); an empty optional is MASK.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace zd::sim {

class Ballast;

inline constexpr std::uint8_t kColourDeviceType = 8;
inline constexpr std::uint16_t kColourMask = 0xFFFF;

// What a type 8 gear holds; the defaults are a gear fresh from the factory: 2700 K to 6500 K,
// showing 4000 K, automatic activation on.
struct ColourConfig {
    std::uint16_t physicalCoolest = 154;
    std::uint16_t physicalWarmest = 370;
    std::uint16_t coolest = 154;
    std::uint16_t warmest = 370;
    std::uint16_t actual = 250;
    std::optional<std::uint16_t> temporary;
    std::optional<std::uint16_t> powerOn;
    std::optional<std::uint16_t> systemFailure;
    std::array<std::optional<std::uint16_t>, 16> scenes{};
    bool automaticActivation = true;
    // The last colour asked for lay outside the limits (colour status bit 1).
    bool outOfRange = false;

    bool operator==(const ColourConfig&) const = default;
};

// The DTRs a device-type command reads and writes.
struct DataRegisters {
    std::uint8_t& dtr0;
    std::uint8_t& dtr1;
    std::uint8_t& dtr2;
};

class ColourGear {
  public:
    explicit ColourGear(const ColourConfig& config) : m_state(config) {}

    const ColourConfig& State() const { return m_state; }

    // Which extended commands take effect only when sent twice (after ENABLE DEVICE TYPE 8).
    static bool SendTwice(std::uint8_t command);
    // An extended command (224..255) right after ENABLE DEVICE TYPE 8; the answer of a query.
    std::optional<std::uint8_t> Extended(std::uint8_t command, const DataRegisters& registers);
    // An indirect command of the gear's own part (0..223) as it is carried out, before the
    // ballast acts on it: arc power applies a pending colour, stores take the temporary colour,
    // queries of a level put its colour into the report, RESET resets the colour part.
    void Command(std::uint8_t command, const Ballast& ballast);
    // Direct arc power (not MASK) applies a pending colour as the arc power commands do.
    void DirectArcPower(std::uint8_t level);
    // Power-up: the power-on colour, when there is one.
    void PowerUp();

  private:
    void Activate(std::uint16_t mirek);
    void KeepWithinLimits();
    void StoreLimit(std::uint8_t which, std::uint16_t value);
    std::uint16_t Value(std::uint8_t selector) const;
    void TakeTemporary(std::optional<std::uint16_t>& into);

    ColourConfig m_state;
    std::optional<std::uint16_t> m_report;
};

// The line file's "colour" object of a type 8 gear: reading (fail throws with the JSON pointer
// and a reason) and writing.
using ColourFail = std::function<void(const std::string& where, const std::string& why)>;
ColourConfig ReadColourJson(const nlohmann::json& object, const std::string& where,
                            const ColourFail& fail);
nlohmann::ordered_json ColourJson(const ColourConfig& config);

}  // namespace zd::sim
