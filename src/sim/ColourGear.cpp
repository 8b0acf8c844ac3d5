#include "sim/ColourGear.h"

#include <algorithm>

#include "sim/Ballast.h"

namespace zd::sim {

namespace {

// Extended command bytes of the colour part.
constexpr std::uint8_t kActivate = 0xE2;
constexpr std::uint8_t kSetTemporaryTc = 0xE7;
constexpr std::uint8_t kStepCooler = 0xE8;
constexpr std::uint8_t kStepWarmer = 0xE9;
constexpr std::uint8_t kCopyReportToTemporary = 0xEE;
constexpr std::uint8_t kStoreTcLimit = 0xF2;
constexpr std::uint8_t kStoreGearFeatures = 0xF3;
constexpr std::uint8_t kQueryGearFeatures = 0xF7;
constexpr std::uint8_t kQueryColourStatus = 0xF8;
constexpr std::uint8_t kQueryColourTypeFeatures = 0xF9;
constexpr std::uint8_t kQueryColourValue = 0xFA;
constexpr std::uint8_t kQueryExtendedVersion = 0xFF;

// Colour status: bit 1 Tc out of range, bit 5 colour temperature is the active colour type.
constexpr std::uint8_t kStatusTcOutOfRange = 0x02;
constexpr std::uint8_t kStatusTcActive = 0x20;
// Colour type features of tunable white gear: colour temperature only.
constexpr std::uint8_t kFeaturesTcCapable = 0x02;
// The colour type of a value read through QUERY COLOUR VALUE (high byte).
constexpr std::uint16_t kTypeTc = 0x2000;
constexpr std::uint8_t kExtendedVersion = 2;

std::uint16_t OrMask(const std::optional<std::uint16_t>& value) {
    return value.value_or(kColourMask);
}

}  // namespace

bool ColourGear::SendTwice(std::uint8_t command) {
    return (command >= 0xF0 && command <= 0xF3) || command == 0xF5;
}

void ColourGear::Activate(std::uint16_t mirek) {
    // A colour outside the configured limits is brought to the nearer limit, and the colour
    // status says so until the next colour is asked for.
    const std::uint16_t within = std::clamp(mirek, m_state.coolest, m_state.warmest);
    m_state.outOfRange = within != mirek;
    m_state.actual = within;
}

void ColourGear::KeepWithinLimits() {
    m_state.actual = std::clamp(m_state.actual, m_state.coolest, m_state.warmest);
}

void ColourGear::StoreLimit(std::uint8_t which, std::uint16_t value) {
    // MASK and 0 name no colour temperature: nothing is stored. Every stored value keeps the
    // order physical coolest <= coolest <= warmest <= physical warmest; a new physical limit
    // drags the configured one along.
    if (value == kColourMask || value == 0) return;
    ColourConfig& s = m_state;
    switch (which) {
        case 0:
            s.coolest = std::clamp(value, s.physicalCoolest, s.warmest);
            break;
        case 1:
            s.warmest = std::clamp(value, s.coolest, s.physicalWarmest);
            break;
        case 2:
            s.physicalCoolest = std::min(value, s.physicalWarmest);
            s.coolest = std::max(s.coolest, s.physicalCoolest);
            s.warmest = std::max(s.warmest, s.coolest);
            break;
        case 3:
            s.physicalWarmest = std::max(value, s.physicalCoolest);
            s.warmest = std::min(s.warmest, s.physicalWarmest);
            s.coolest = std::min(s.coolest, s.warmest);
            break;
        default:
            return;
    }
    KeepWithinLimits();
}

std::uint16_t ColourGear::Value(std::uint8_t selector) const {
    switch (selector) {
        case 2:
            return m_state.actual;
        case 128:
            return m_state.coolest;
        case 129:
            return m_state.physicalCoolest;
        case 130:
            return m_state.warmest;
        case 131:
            return m_state.physicalWarmest;
        case 194:
            return OrMask(m_state.temporary);
        case 208:
            return m_state.temporary ? kTypeTc : kColourMask;
        case 226:
            return OrMask(m_report);
        case 240:
            return m_report ? kTypeTc : kColourMask;
        default:
            // Values of the other colour types, which this gear does not have.
            return kColourMask;
    }
}

std::optional<std::uint8_t> ColourGear::Extended(std::uint8_t command,
                                                 const DataRegisters& registers) {
    const auto dtrValue = static_cast<std::uint16_t>((registers.dtr1 << 8) | registers.dtr0);
    switch (command) {
        case kActivate:
            if (m_state.temporary) Activate(*m_state.temporary);
            m_state.temporary.reset();
            return std::nullopt;
        case kSetTemporaryTc:
            m_state.temporary.reset();
            if (dtrValue != kColourMask) m_state.temporary = dtrValue;
            return std::nullopt;
        case kStepCooler:
        case kStepWarmer: {
            // One mirek at a time without a fade; at the limit the colour stays and the status
            // tells that it went no further.
            const bool cooler = command == kStepCooler;
            const bool atLimit =
                cooler ? m_state.actual <= m_state.coolest : m_state.actual >= m_state.warmest;
            m_state.outOfRange = atLimit;
            if (!atLimit)
                m_state.actual = static_cast<std::uint16_t>(m_state.actual + (cooler ? -1 : 1));
            return std::nullopt;
        }
        case kCopyReportToTemporary:
            m_state.temporary = m_report;
            return std::nullopt;
        case kStoreTcLimit:
            StoreLimit(registers.dtr2, dtrValue);
            return std::nullopt;
        case kStoreGearFeatures:
            m_state.automaticActivation = (registers.dtr0 & 1) != 0;
            return std::nullopt;
        case kQueryGearFeatures:
            return static_cast<std::uint8_t>(m_state.automaticActivation ? 1 : 0);
        case kQueryColourStatus:
            return static_cast<std::uint8_t>(kStatusTcActive |
                                             (m_state.outOfRange ? kStatusTcOutOfRange : 0));
        case kQueryColourTypeFeatures:
            return kFeaturesTcCapable;
        case kQueryColourValue: {
            // The high byte answers, the low byte waits in DTR0 for QUERY CONTENT DTR.
            const std::uint16_t value = Value(registers.dtr0);
            registers.dtr0 = static_cast<std::uint8_t>(value & 0xFF);
            return static_cast<std::uint8_t>(value >> 8);
        }
        case kQueryExtendedVersion:
            return kExtendedVersion;
        default:
            // The commands of the other colour types (xy, primaries, RGBWAF): ignored.
            return std::nullopt;
    }
}

void ColourGear::TakeTemporary(std::optional<std::uint16_t>& into) {
    // Without a temporary colour a store keeps the colour it had: storing a level alone does
    // not wipe a colour stored before.
    if (m_state.temporary) into = m_state.temporary;
    m_state.temporary.reset();
}

void ColourGear::Command(std::uint8_t command, const Ballast& ballast) {
    const auto applyPending = [this] {
        if (m_state.automaticActivation && m_state.temporary) {
            Activate(*m_state.temporary);
            m_state.temporary.reset();
        }
    };
    if (command <= 8) {
        applyPending();
    } else if (command >= 16 && command <= 31) {
        const int scene = command - 16;
        if (ballast.SceneLevel(scene) == kMask) return;
        const std::optional<std::uint16_t> colour = m_state.scenes[static_cast<std::size_t>(scene)];
        if (colour) {
            Activate(*colour);
            m_state.temporary.reset();
        } else {
            applyPending();
        }
    } else if (command == 32) {
        m_state.temporary.reset();
        m_report.reset();
        m_state.scenes = {};
        m_state.coolest = m_state.physicalCoolest;
        m_state.warmest = m_state.physicalWarmest;
        m_state.automaticActivation = true;
        m_state.outOfRange = false;
    } else if (command == 33) {
        m_report = m_state.actual;
    } else if (command == 44) {
        TakeTemporary(m_state.systemFailure);
    } else if (command == 45) {
        TakeTemporary(m_state.powerOn);
    } else if (command >= 64 && command <= 79) {
        TakeTemporary(m_state.scenes[static_cast<std::size_t>(command - 64)]);
    } else if (command >= 80 && command <= 95) {
        m_state.scenes[static_cast<std::size_t>(command - 80)].reset();
    } else if (command == 160) {
        m_report = m_state.actual;
    } else if (command == 163) {
        m_report = m_state.powerOn;
    } else if (command == 164) {
        m_report = m_state.systemFailure;
    } else if (command >= 176 && command <= 191) {
        m_report = m_state.scenes[static_cast<std::size_t>(command - 176)];
    }
}

void ColourGear::DirectArcPower(std::uint8_t level) {
    if (level == kMask || !m_state.automaticActivation || !m_state.temporary) return;
    Activate(*m_state.temporary);
    m_state.temporary.reset();
}

void ColourGear::PowerUp() {
    m_state.temporary.reset();
    m_report.reset();
    if (m_state.powerOn) Activate(*m_state.powerOn);
}

namespace {

std::uint16_t Mirek(const nlohmann::json& value, const std::string& where, const ColourFail& fail) {
    if (!value.is_number_integer()) fail(where, "a colour temperature in mirek is expected");
    const std::int64_t number = value.get<std::int64_t>();
    if (number < 1 || number > 65534)
        fail(where, std::to_string(number) + " is outside 1..65534 mirek");
    return static_cast<std::uint16_t>(number);
}

std::optional<std::uint16_t> MirekOrMask(const nlohmann::json& value, const std::string& where,
                                         const ColourFail& fail) {
    if (value.is_null()) return std::nullopt;
    return Mirek(value, where, fail);
}

}  // namespace

ColourConfig ReadColourJson(const nlohmann::json& object, const std::string& where,
                            const ColourFail& fail) {
    static const char* const kKeys[] = {
        "physicalCoolestMirek", "physicalWarmestMirek", "coolestMirek", "warmestMirek",
        "actualMirek",          "temporaryMirek",       "powerOnMirek", "systemFailureMirek",
        "sceneMirek",           "automaticActivation",  "outOfRange"};
    if (!object.is_object()) fail(where, "an object is expected");
    for (const auto& item : object.items()) {
        if (std::none_of(std::begin(kKeys), std::end(kKeys),
                         [&](const char* key) { return item.key() == key; }))
            fail(where + "/" + item.key(), "unknown key \"" + item.key() + "\"");
    }
    ColourConfig config;
    const auto at = [&](const char* key) { return where + "/" + key; };
    const auto boolean = [&](const char* key, bool& out) {
        if (!object.contains(key)) return;
        if (!object.at(key).is_boolean()) fail(at(key), "true or false is expected");
        out = object.at(key).get<bool>();
    };
    if (object.contains("physicalCoolestMirek"))
        config.physicalCoolest =
            Mirek(object.at("physicalCoolestMirek"), at("physicalCoolestMirek"), fail);
    if (object.contains("physicalWarmestMirek"))
        config.physicalWarmest =
            Mirek(object.at("physicalWarmestMirek"), at("physicalWarmestMirek"), fail);
    if (config.physicalWarmest < config.physicalCoolest)
        fail(at("physicalWarmestMirek"), "the physical warmest limit lies below the coolest");
    config.coolest = config.physicalCoolest;
    config.warmest = config.physicalWarmest;
    if (object.contains("coolestMirek"))
        config.coolest = Mirek(object.at("coolestMirek"), at("coolestMirek"), fail);
    if (object.contains("warmestMirek"))
        config.warmest = Mirek(object.at("warmestMirek"), at("warmestMirek"), fail);
    if (config.coolest < config.physicalCoolest || config.coolest > config.warmest)
        fail(at("coolestMirek"), "lies outside physicalCoolestMirek..warmestMirek");
    if (config.warmest > config.physicalWarmest)
        fail(at("warmestMirek"), "lies above physicalWarmestMirek");
    config.actual = std::clamp<std::uint16_t>(250, config.coolest, config.warmest);
    if (object.contains("actualMirek")) {
        config.actual = Mirek(object.at("actualMirek"), at("actualMirek"), fail);
        if (config.actual < config.coolest || config.actual > config.warmest)
            fail(at("actualMirek"), "lies outside coolestMirek..warmestMirek");
    }
    if (object.contains("temporaryMirek"))
        config.temporary = MirekOrMask(object.at("temporaryMirek"), at("temporaryMirek"), fail);
    if (object.contains("powerOnMirek"))
        config.powerOn = MirekOrMask(object.at("powerOnMirek"), at("powerOnMirek"), fail);
    if (object.contains("systemFailureMirek"))
        config.systemFailure =
            MirekOrMask(object.at("systemFailureMirek"), at("systemFailureMirek"), fail);
    if (object.contains("sceneMirek")) {
        const nlohmann::json& scenes = object.at("sceneMirek");
        if (!scenes.is_object())
            fail(at("sceneMirek"), "an object of scene number to mirek is expected");
        for (const auto& item : scenes.items()) {
            const std::string& key = item.key();
            const std::string place = at("sceneMirek") + "/" + key;
            int scene = -1;
            if (!key.empty() && key.size() <= 2 && (key.size() == 1 || key[0] != '0') &&
                std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; }))
                scene = std::stoi(key);
            if (scene < 0 || scene > 15)
                fail(place, "a scene number \"0\" to \"15\" is expected as the key");
            config.scenes[static_cast<std::size_t>(scene)] = MirekOrMask(item.value(), place, fail);
        }
    }
    boolean("automaticActivation", config.automaticActivation);
    boolean("outOfRange", config.outOfRange);
    return config;
}

nlohmann::ordered_json ColourJson(const ColourConfig& config) {
    using OrderedJson = nlohmann::ordered_json;
    const auto orNull = [](const std::optional<std::uint16_t>& value) {
        return value ? OrderedJson(*value) : OrderedJson();
    };
    OrderedJson json;
    json["physicalCoolestMirek"] = config.physicalCoolest;
    json["physicalWarmestMirek"] = config.physicalWarmest;
    json["coolestMirek"] = config.coolest;
    json["warmestMirek"] = config.warmest;
    json["actualMirek"] = config.actual;
    json["temporaryMirek"] = orNull(config.temporary);
    json["powerOnMirek"] = orNull(config.powerOn);
    json["systemFailureMirek"] = orNull(config.systemFailure);
    OrderedJson scenes = OrderedJson::object();
    for (std::size_t scene = 0; scene < config.scenes.size(); ++scene)
        if (config.scenes[scene]) scenes[std::to_string(scene)] = *config.scenes[scene];
    json["sceneMirek"] = scenes;
    json["automaticActivation"] = config.automaticActivation;
    json["outOfRange"] = config.outOfRange;
    return json;
}

}  // namespace zd::sim
