#include "maintenance/ColourBackup.h"

#include "maintenance/DeviceJson.h"

namespace zd {

namespace {

std::uint16_t OrMask(const std::optional<std::uint16_t>& value) {
    return value.value_or(kMirekMask);
}

std::string ValueText(std::uint16_t mirek) {
    if (mirek == kMirekMask) return "none";
    return std::to_string(KelvinFromMirek(mirek)) + " K";
}

}  // namespace

ColourBackup ReadColourBackup(ControlRun& run, int address) {
    EngineTerminal terminal = RunTerminal(run);
    ColourReadOptions options;
    options.scenes = true;
    const ColourReadout read = ReadColour(terminal, address, options);
    if (!read.outcome.Ok() || !read.actual || !read.limits)
        throw CommandFailed(
            read.outcome.Ok() ? "the colour temperature could not be read" : read.outcome.text,
            {{"shortAddress", address}, {"check", ColourCheckName(read.check)}});
    ColourBackup colour;
    colour.actual = *read.actual;
    colour.limits = *read.limits;
    colour.powerOn = OrMask(read.powerOn);
    colour.systemFailure = OrMask(read.systemFailure);
    for (std::size_t scene = 0; scene < colour.scenes.size(); ++scene) {
        const auto level = read.sceneLevels[scene];
        if (level && *level != kDaliMask && !read.scenes[scene])
            throw CommandFailed(
                "the colour of scene " + std::to_string(scene) + " could not be read",
                {{"shortAddress", address}});
        colour.scenes[scene] = OrMask(read.scenes[scene]);
    }
    return colour;
}

Json ColourValueJson(std::uint16_t mirek) {
    if (mirek == kMirekMask) return Json();
    return Json{{"kelvin", KelvinFromMirek(mirek)}, {"mirek", mirek}};
}

Json ColourBackupJson(const ColourBackup& colour) {
    Json scenes = Json::object();
    for (std::size_t scene = 0; scene < colour.scenes.size(); ++scene)
        if (colour.scenes[scene] != kMirekMask)
            scenes[std::to_string(scene)] = ColourValueJson(colour.scenes[scene]);
    return {{"actual", ColourValueJson(colour.actual)},
            {"coolest", ColourValueJson(colour.limits.coolest)},
            {"warmest", ColourValueJson(colour.limits.warmest)},
            {"physicalCoolest", ColourValueJson(colour.limits.physicalCoolest)},
            {"physicalWarmest", ColourValueJson(colour.limits.physicalWarmest)},
            {"powerOn", ColourValueJson(colour.powerOn)},
            {"systemFailure", ColourValueJson(colour.systemFailure)},
            {"scenes", scenes}};
}

ColourBackup ParseColourBackup(
    const Json& value, const std::string& where,
    const std::function<void(const std::string&, const std::string&)>& fail) {
    static const char* const kKeys[] = {"actual",          "coolest",         "warmest",
                                        "physicalCoolest", "physicalWarmest", "powerOn",
                                        "systemFailure",   "scenes"};
    if (!value.is_object()) fail(where, "an object is expected");
    for (const auto& item : value.items()) {
        bool known = false;
        for (const char* key : kKeys) known = known || item.key() == key;
        if (!known) fail(where, "unknown key \"" + item.key() + "\"");
    }
    // One colour temperature: {"mirek": M} and/or {"kelvin": K}, or null for none.
    const auto colourAt = [&](const Json& item, const std::string& at,
                              bool noneAllowed) -> std::uint16_t {
        if (item.is_null() && noneAllowed) return kMirekMask;
        if (!item.is_object()) fail(at, "{\"kelvin\": K, \"mirek\": M} is expected");
        for (const auto& part : item.items())
            if (part.key() != "kelvin" && part.key() != "mirek")
                fail(at, "unknown key \"" + part.key() + "\"");
        std::optional<std::uint16_t> mirek;
        if (item.contains("mirek")) {
            const Json& m = item.at("mirek");
            if (!m.is_number_integer() || m.get<std::int64_t>() < 1 ||
                m.get<std::int64_t>() > 65534)
                fail(at + "/mirek", "a whole number 1 to 65534 is expected");
            mirek = static_cast<std::uint16_t>(m.get<std::int64_t>());
        }
        if (item.contains("kelvin")) {
            const Json& k = item.at("kelvin");
            const std::optional<std::uint16_t> fromKelvin =
                k.is_number_integer() ? MirekFromKelvin(k.get<std::int64_t>()) : std::nullopt;
            if (!fromKelvin) fail(at + "/kelvin", "a whole number 16 to 1000000 is expected");
            // Kelvin is rounded from mirek: it agrees when it converts to the same mirek.
            if (mirek && *fromKelvin != *mirek && KelvinFromMirek(*mirek) != k.get<std::int64_t>())
                fail(at, "kelvin and mirek disagree");
            if (!mirek) mirek = fromKelvin;
        }
        if (!mirek) fail(at, "\"mirek\" or \"kelvin\" is expected");
        return *mirek;
    };
    const auto field = [&](const char* key, bool noneAllowed) {
        if (!value.contains(key)) fail(where, "the key \"" + std::string(key) + "\" is missing");
        return colourAt(value.at(key), where + "/" + key, noneAllowed);
    };
    ColourBackup colour;
    colour.actual = field("actual", false);
    colour.limits.coolest = field("coolest", false);
    colour.limits.warmest = field("warmest", false);
    colour.limits.physicalCoolest = field("physicalCoolest", false);
    colour.limits.physicalWarmest = field("physicalWarmest", false);
    const ColourLimits& l = colour.limits;
    if (!(l.physicalCoolest <= l.coolest && l.coolest <= l.warmest &&
          l.warmest <= l.physicalWarmest))
        fail(where,
             "the limits are out of order (physical coolest, coolest, warmest, physical "
             "warmest, in falling kelvin)");
    colour.powerOn = field("powerOn", true);
    colour.systemFailure = field("systemFailure", true);
    if (!value.contains("scenes")) fail(where, "the key \"scenes\" is missing");
    const Json& scenes = value.at("scenes");
    if (!scenes.is_object()) fail(where + "/scenes", "an object of scene to colour is expected");
    for (const auto& item : scenes.items()) {
        int scene = -1;
        for (int s = 0; s < 16; ++s)
            if (item.key() == std::to_string(s)) scene = s;
        if (scene < 0) fail(where + "/scenes", "unknown scene \"" + item.key() + "\"");
        colour.scenes[static_cast<std::size_t>(scene)] =
            colourAt(item.value(), where + "/scenes/" + item.key(), true);
    }
    return colour;
}

ColourPlan PlanColour(const std::optional<ColourBackup>& want,
                      const std::optional<ColourBackup>& now, const std::array<int, 16>& levels) {
    ColourPlan plan;
    // Only a type 8 device on both sides has a colour part to write.
    if (!want || !now) return plan;
    ColourLimitsChange change;
    const auto differ = [](std::uint16_t a, std::uint16_t b) {
        return a != b ? std::optional<std::uint16_t>(a) : std::nullopt;
    };
    change.physicalCoolest = differ(want->limits.physicalCoolest, now->limits.physicalCoolest);
    change.physicalWarmest = differ(want->limits.physicalWarmest, now->limits.physicalWarmest);
    change.coolest = differ(want->limits.coolest, now->limits.coolest);
    change.warmest = differ(want->limits.warmest, now->limits.warmest);
    if (!change.Empty()) plan.limits = change;
    for (std::size_t scene = 0; scene < want->scenes.size(); ++scene) {
        const int level = levels[scene];
        if (level == kDaliMask || want->scenes[scene] == kMirekMask ||
            want->scenes[scene] == now->scenes[scene])
            continue;
        plan.scenes.push_back({static_cast<int>(scene), {level, want->scenes[scene]}});
    }
    return plan;
}

Json ColourPlan::ToJson() const {
    Json changes = Json::array();
    if (limits) {
        Json to = Json::object();
        if (limits->coolest) to["coolest"] = ColourValueJson(*limits->coolest);
        if (limits->warmest) to["warmest"] = ColourValueJson(*limits->warmest);
        if (limits->physicalCoolest)
            to["physicalCoolest"] = ColourValueJson(*limits->physicalCoolest);
        if (limits->physicalWarmest)
            to["physicalWarmest"] = ColourValueJson(*limits->physicalWarmest);
        changes.push_back({{"what", "colour limits"}, {"to", to}});
    }
    for (const auto& [scene, value] : scenes)
        changes.push_back({{"what", "scene colour " + std::to_string(scene)},
                           {"to", ColourValueJson(value.second)}});
    return changes;
}

std::string ColourPlan::Text() const {
    std::string text;
    if (limits) {
        text += "\n  colour limits";
        if (limits->coolest) text += " coolest " + ValueText(*limits->coolest);
        if (limits->warmest) text += " warmest " + ValueText(*limits->warmest);
        if (limits->physicalCoolest)
            text += " physical coolest " + ValueText(*limits->physicalCoolest);
        if (limits->physicalWarmest)
            text += " physical warmest " + ValueText(*limits->physicalWarmest);
    }
    for (const auto& [scene, value] : scenes)
        text += "\n  scene colour " + std::to_string(scene) + " -> " + ValueText(value.second);
    return text;
}

std::vector<std::string> ApplyColourPlan(ControlRun& run, int address, const ColourPlan& plan) {
    std::vector<std::string> missed;
    EngineTerminal terminal = RunTerminal(run);
    const ColourTarget target{AddressKind::Short, static_cast<std::int16_t>(address)};
    if (plan.limits) {
        const ColourLimitsResult result = SetColourLimits(terminal, target, *plan.limits);
        if (result.check != ColourCheck::Taken)
            missed.push_back("colour limits (" + result.outcome.text + ")");
    }
    for (const auto& [scene, value] : plan.scenes) {
        const SceneColourResult result = StoreSceneColour(
            terminal, target, scene, static_cast<std::uint8_t>(value.first), value.second);
        if (result.check != ColourCheck::Taken)
            missed.push_back("scene colour " + std::to_string(scene));
    }
    return missed;
}

}  // namespace zd
