// "zd4270 colour": the colour temperature of tunable-white gear (device type 8), read, set for a
// short address, a group or the line, its limits read and stored, and a scene stored with its
// colour. Documents give every colour temperature as "kelvin" and "mirek".
#include <cctype>
#include <optional>
#include <string>

#include "cli/DeviceCommands.h"
#include "engine/ColourTemperature.h"

namespace zd {

namespace {

Json ColourJson(std::optional<std::uint16_t> mirek) {
    if (!mirek || *mirek == kMirekMask) return Json();
    return Json{{"kelvin", KelvinFromMirek(*mirek)}, {"mirek", *mirek}};
}

Json LimitsJson(const std::optional<ColourLimits>& limits) {
    if (!limits) return Json();
    return Json{{"coolest", ColourJson(limits->coolest)},
                {"warmest", ColourJson(limits->warmest)},
                {"physicalCoolest", ColourJson(limits->physicalCoolest)},
                {"physicalWarmest", ColourJson(limits->physicalWarmest)}};
}

// A colour temperature on the command line: kelvin, or mirek with the suffix "mirek" ("154mirek")
// or from a --mirek option.
std::uint16_t ParseColour(const std::string& text, const std::string& option, bool mirek) {
    std::string number = text;
    if (number.size() > 5 && number.compare(number.size() - 5, 5, "mirek") == 0) {
        number.resize(number.size() - 5);
        mirek = true;
    }
    if (mirek)
        return static_cast<std::uint16_t>(ParseNumber(number, 1, 65534, option + " (mirek)"));
    const int kelvin = ParseNumber(number, 16, 1000000, option + " (kelvin)");
    const std::optional<std::uint16_t> value = MirekFromKelvin(kelvin);
    if (!value)
        throw UsageError(option + " " + text + " gives no colour temperature the gear take");
    return *value;
}

ColourTarget ParseTarget(const CommandArguments& arguments) {
    const auto shortText = arguments.Value("--short");
    const auto groupText = arguments.Value("--group");
    const bool broadcast = arguments.Has("--broadcast");
    if ((shortText ? 1 : 0) + (groupText ? 1 : 0) + (broadcast ? 1 : 0) != 1)
        throw UsageError("colour needs one of --short A, --group G, --broadcast");
    if (shortText)
        return {AddressKind::Short,
                static_cast<std::int16_t>(ParseNumber(*shortText, 0, 63, "--short"))};
    if (groupText)
        return {AddressKind::Group,
                static_cast<std::int16_t>(ParseNumber(*groupText, 0, 15, "--group"))};
    return {AddressKind::Broadcast, 0};
}

Json TargetJson(const ColourTarget& target) {
    Json json = Json::object();
    switch (target.kind) {
        case AddressKind::Short:
            json["shortAddress"] = target.address;
            break;
        case AddressKind::Group:
            json["group"] = target.address;
            break;
        default:
            json["broadcast"] = true;
            break;
    }
    return json;
}

// Ends the run with the engine's text when the colour part was not reached or not changed.
void FailOn(const EngineOutcome& outcome, ColourCheck check, Json& document) {
    document["check"] = ColourCheckName(check);
    if (outcome.Ok()) return;
    throw CommandFailed(outcome.text, document);
}

Json AskedJson(std::optional<std::uint16_t> mirek, std::optional<int> kelvin) {
    Json json = ColourJson(mirek);
    if (kelvin && json.is_object()) json["kelvin"] = *kelvin;
    return json;
}

std::string GroupNote(const ColourTarget& target) {
    return "sent to " + ColourTargetText(target) +
           ": gear of another device type ignore it, and nothing was read back";
}

}  // namespace

PreparedCommand PrepareColour(const CommandArguments& arguments) {
    const ColourTarget target = ParseTarget(arguments);
    std::optional<std::uint16_t> colour;
    // The kelvin asked for, as given: the gear takes the nearest mirek (3000 K: 333 mirek, which
    // reads back as 3003 K).
    std::optional<int> askedKelvin;
    if (const auto text = arguments.Value("--kelvin")) {
        colour = ParseColour(*text, "--kelvin", false);
        if (text->find("mirek") == std::string::npos)
            askedKelvin = ParseNumber(*text, 16, 1000000, "--kelvin");
    }
    if (const auto text = arguments.Value("--mirek")) {
        if (colour) throw UsageError("give --kelvin or --mirek, not both");
        colour = ParseColour(*text, "--mirek", true);
    }
    ColourLimitsChange limits;
    const auto limit = [&](const char* option, std::optional<std::uint16_t>& into) {
        if (const auto text = arguments.Value(option)) into = ParseColour(*text, option, false);
    };
    limit("--coolest", limits.coolest);
    limit("--warmest", limits.warmest);
    limit("--physical-coolest", limits.physicalCoolest);
    limit("--physical-warmest", limits.physicalWarmest);
    std::optional<int> scene;
    std::optional<int> level;
    if (const auto text = arguments.Value("--scene")) scene = ParseNumber(*text, 0, 15, "--scene");
    if (const auto text = arguments.Value("--level")) level = ParseNumber(*text, 0, 254, "--level");
    if (scene.has_value() != level.has_value())
        throw UsageError("a scene is stored with --scene N and --level L together");
    if (scene && !limits.Empty()) throw UsageError("store a scene and the limits in two runs");
    if (colour && !limits.Empty()) throw UsageError("set the colour and the limits in two runs");
    const bool reading = !colour && limits.Empty() && !scene;
    if (reading && target.kind != AddressKind::Short)
        throw UsageError(
            "reading the colour needs --short A; a group or broadcast takes "
            "--kelvin, --mirek, the limits or --scene");
    ColourOptions options;
    options.refuseOutsideLimits = arguments.Has("--refuse-outside-limits");

    return [=](HeadlessSession& session) {
        EngineTerminal& terminal = session.Line().Terminal();
        Json document = TargetJson(target);
        if (reading) {
            const ColourReadout read = ReadColour(terminal, target.address);
            document["deviceType"] =
                read.deviceType.Value() ? Json(*read.deviceType.Value()) : Json();
            document["colour"] = ColourJson(read.actual);
            document["limits"] = LimitsJson(read.limits);
            document["powerOn"] = ColourJson(read.powerOn);
            document["systemFailure"] = ColourJson(read.systemFailure);
            if (read.outOfRange) document["outOfRange"] = *read.outOfRange;
            if (read.automaticActivation)
                document["automaticActivation"] = *read.automaticActivation;
            FailOn(read.outcome, read.check, document);
            return document;
        }
        if (scene) {
            const SceneColourResult result = StoreSceneColour(
                terminal, target, *scene, static_cast<std::uint8_t>(*level), colour, options);
            document["scene"] = *scene;
            document["level"] = *level;
            document["asked"] = AskedJson(colour, askedKelvin);
            if (result.levelRead) document["levelRead"] = *result.levelRead;
            if (result.colourRead) document["colourRead"] = ColourJson(result.colourRead);
            if (result.outsideLimits)
                document["warning"] =
                    "the colour lies outside the gear's limits: recalling the scene brings it to "
                    "the nearer limit";
            if (result.check == ColourCheck::NotChecked) document["note"] = GroupNote(target);
            FailOn(result.outcome, result.check, document);
            return document;
        }
        if (!limits.Empty()) {
            const ColourLimitsResult result = SetColourLimits(terminal, target, limits, options);
            Json asked = Json::object();
            if (limits.coolest) asked["coolest"] = ColourJson(limits.coolest);
            if (limits.warmest) asked["warmest"] = ColourJson(limits.warmest);
            if (limits.physicalCoolest)
                asked["physicalCoolest"] = ColourJson(limits.physicalCoolest);
            if (limits.physicalWarmest)
                asked["physicalWarmest"] = ColourJson(limits.physicalWarmest);
            document["asked"] = asked;
            if (result.before) document["before"] = LimitsJson(result.before);
            if (result.after) document["limits"] = LimitsJson(result.after);
            if (result.check == ColourCheck::NotChecked) document["note"] = GroupNote(target);
            FailOn(result.outcome, result.check, document);
            return document;
        }
        const ColourSetResult result = SetColourTemperature(terminal, target, *colour, options);
        document["asked"] = AskedJson(colour, askedKelvin);
        if (result.actual) document["colour"] = ColourJson(result.actual);
        if (result.limits) document["limits"] = LimitsJson(result.limits);
        if (result.check == ColourCheck::Clamped) {
            document["clamped"] = true;
            document["warning"] = "outside the gear's limits: the gear went to the nearer limit, " +
                                  std::to_string(KelvinFromMirek(*result.actual)) + " K";
        }
        if (result.check == ColourCheck::NotChecked) document["note"] = GroupNote(target);
        FailOn(result.outcome, result.check, document);
        return document;
    };
}

}  // namespace zd
