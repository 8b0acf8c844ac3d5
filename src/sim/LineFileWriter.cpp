// The writing half of the line description file: a running line captured as a description, and
// a description as the text of a file that the reader takes back.
#include "sim/LineFile.h"

#include <algorithm>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "sim/Faults.h"

namespace zd::sim {

namespace {

using OrderedJson = nlohmann::ordered_json;

// Codes and register values are written in hexadecimal, as people write them in the examples.
std::string HexText(std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

OrderedJson EntryJson(const ImageEntry& entry) {
    return {{"word", entry.nWordOffset}, {"bit", entry.nBitOffset}, {"table", entry.nTableNumber}};
}

const char* LampText(LampState lamp) {
    switch (lamp) {
        case LampState::Removed:
            return "removed";
        case LampState::Failed:
            return "failed";
        case LampState::Present:
            break;
    }
    return "present";
}

// The faults that are on, by name; nothing when none is.
template <class Faults>
OrderedJson FaultsJson(const Faults& faults, const std::vector<FaultField<Faults>>& fields) {
    OrderedJson json = OrderedJson::object();
    for (const auto& field : fields) {
        const std::int64_t value = field.get(faults);
        if (value == 0) continue;
        if (field.boolean) {
            json[field.name] = true;
        } else {
            json[field.name] = value;
        }
    }
    return json;
}

// The emergency part: what the gear is, then where it stands.
OrderedJson EmergencyJson(const EmergencyConfig& e) {
    OrderedJson json;
    json["batteryCharge"] = e.batteryCharge;
    json["batteryMinutes"] = e.batteryMinutes;
    json["ratedMinutes"] = e.ratedMinutes;
    json["rechargeMinutes"] = e.rechargeMinutes;
    json["functionTestSeconds"] = e.functionTestSeconds;
    OrderedJson failures = OrderedJson::array();
    for (EmergencyFailure failure : kEmergencyFailures)
        if (e.failures & static_cast<std::uint8_t>(failure))
            failures.push_back(EmergencyFailureName(failure));
    json["failures"] = failures;
    json["mains"] = e.mains;
    json["features"] = HexText(e.features, 2);
    json["emergencyLevel"] = e.emergencyLevel;
    json["emergencyMinLevel"] = e.emergencyMinLevel;
    json["emergencyMaxLevel"] = e.emergencyMaxLevel;
    json["functionTestInterval"] = e.functionTestInterval;
    json["durationTestInterval"] = e.durationTestInterval;
    json["testExecutionTimeout"] = e.testExecutionTimeout;
    json["prolongTime"] = e.prolongTime;
    json["testDelay"] = e.testDelay;
    if (e.nextFunctionTestMs)
        json["nextFunctionTestMs"] = std::max<std::int64_t>(0, *e.nextFunctionTestMs);
    if (e.nextDurationTestMs)
        json["nextDurationTestMs"] = std::max<std::int64_t>(0, *e.nextDurationTestMs);
    json["inhibitRemainingMs"] = e.inhibitRemainingMs;
    json["prolongRemainingMs"] = e.prolongRemainingMs;
    json["identifyRemainingMs"] = e.identifyRemainingMs;
    json["rest"] = e.rest;
    json["runningTest"] = e.runningTest;
    json["runningTestMs"] = e.runningTestMs;
    if (e.functionPendingMs) json["functionPendingMs"] = *e.functionPendingMs;
    if (e.durationPendingMs) json["durationPendingMs"] = *e.durationPendingMs;
    json["functionTestDone"] = e.functionTestDone;
    json["durationTestDone"] = e.durationTestDone;
    json["failureStatus"] = HexText(e.failureStatus, 2);
    json["durationResultMinutes"] = e.durationResultMinutes;
    json["lampEmergencyMs"] = e.lampEmergencyMs;
    json["lampTotalMs"] = e.lampTotalMs;
    return json;
}

OrderedJson GearJson(const GearConfig& gear) {
    OrderedJson json;
    json["kind"] = gear.kind == GearKind::Dsi ? "DSI" : "DALI";
    json["shortAddress"] = gear.shortAddress ? OrderedJson(*gear.shortAddress) : OrderedJson();
    json["randomAddress"] = HexText(gear.randomAddress, 6);
    if (gear.actualLevel) json["actualLevel"] = *gear.actualLevel;
    json["powerOnLevel"] = gear.powerOnLevel;
    json["systemFailureLevel"] = gear.systemFailureLevel;
    if (gear.minLevel) json["minLevel"] = *gear.minLevel;
    json["maxLevel"] = gear.maxLevel;
    json["physicalMinimum"] = gear.physicalMinimum;
    json["fadeTime"] = gear.fadeTime;
    json["fadeRate"] = gear.fadeRate;
    OrderedJson groups = OrderedJson::array();
    for (int group = 0; group < 16; ++group)
        if ((gear.groups >> group) & 1u) groups.push_back(group);
    json["groups"] = groups;
    OrderedJson scenes = OrderedJson::object();
    for (std::size_t scene = 0; scene < gear.scenes.size(); ++scene)
        if (gear.scenes[scene] != kMask) scenes[std::to_string(scene)] = gear.scenes[scene];
    json["scenes"] = scenes;
    json["lamp"] = LampText(gear.lamp);
    json["deviceType"] = gear.deviceType;
    json["version"] = gear.version;
    if (gear.deviceType == kColourDeviceType) json["colour"] = ColourJson(gear.colour);
    if (!gear.randomise.empty()) {
        OrderedJson randomise = OrderedJson::array();
        for (std::uint32_t value : gear.randomise) randomise.push_back(HexText(value, 6));
        json["randomise"] = randomise;
    }
    json["dtr"] = gear.dtr;
    json["powerFailure"] = gear.powerFailure;
    json["limitError"] = gear.limitError;
    json["searchAddress"] = HexText(gear.searchAddress, 6);
    if (gear.fade) {
        json["fade"] = {{"target", gear.fade->target},
                        {"final", gear.fade->final},
                        {"remainingMs", gear.fade->remainingMs}};
    }
    if (gear.initialiseRemainingMs > 0) {
        json["initialiseRemainingMs"] = gear.initialiseRemainingMs;
        json["withdrawn"] = gear.withdrawn;
        json["physicalSelection"] = gear.physicalSelection;
    }
    json["powered"] = gear.powered;
    const OrderedJson faults = FaultsJson(gear.faults, GearFaultFields());
    if (!faults.empty()) json["faults"] = faults;
    if (!gear.lampEvents.empty()) {
        OrderedJson events = OrderedJson::array();
        for (const GearConfig::LampEvent& event : gear.lampEvents)
            events.push_back({{"atMs", event.atMs}, {"lamp", LampText(event.lamp)}});
        json["lampEvents"] = events;
    }
    if (gear.deviceType == 1) json["emergency"] = EmergencyJson(gear.emergency);
    return json;
}

}  // namespace

LineDescription CaptureLine(Terminal& terminal, const TerminalConfig& settings) {
    terminal.AdvanceToNow();
    LineDescription description;
    description.positionStated = true;
    description.layoutStated = true;
    description.byteOrderStated = true;
    TerminalConfig& config = description.terminal;
    config.position = terminal.Position();
    config.firmwareVersion = terminal.Register(Terminal::kRegisterFirmwareVersion);
    config.featureRegister = terminal.Register(Terminal::kRegisterFeatures);
    config.codeWord = terminal.Register(Terminal::kRegisterCodeWord);
    config.takeOverDelayMs = settings.takeOverDelayMs;
    config.layout = terminal.Layout();
    config.identicalAnswersDecode = terminal.GetLine().IdenticalAnswersDecode();
    config.randomSeed = terminal.GetLine().NextSeed();
    const Micros nowUs = terminal.NowMicros();
    config.faults = terminal.Faults();
    for (const auto& ballast : terminal.GetLine().Gear()) {
        GearConfig gear = ballast->Capture(nowUs);
        // The lamp script goes on from the save: times from now, whole milliseconds rounded up.
        for (const auto& [atUs, lamp] : terminal.ScheduledLamps(ballast->Id()))
            gear.lampEvents.push_back(GearConfig::LampEvent{(atUs - nowUs + 999) / 1000, lamp});
        description.gear.push_back(gear);
    }
    return description;
}

std::string WriteLineDescription(const LineDescription& description) {
    const TerminalConfig& config = description.terminal;
    OrderedJson layout;
    const char* names[4] = {"STATUS", "INPUT", "CONTROL", "OUTPUT"};
    for (std::size_t i = 0; i < 4; ++i) layout[names[i]] = EntryJson(config.layout.entries[i]);
    OrderedJson document;
    document["terminal"] = {{"position", config.position},
                            {"firmwareVersion", HexText(config.firmwareVersion, 4)},
                            {"featureRegister", HexText(config.featureRegister, 4)},
                            {"codeWord", HexText(config.codeWord, 4)},
                            {"takeOverDelayMs", config.takeOverDelayMs},
                            {"byteOrder", config.layout.motorola ? "Motorola" : "Intel"},
                            {"layout", layout},
                            {"identicalAnswersDecode", config.identicalAnswersDecode},
                            {"randomSeed", config.randomSeed}};
    const OrderedJson faults = FaultsJson(config.faults, TerminalFaultFields());
    if (!faults.empty()) document["terminal"]["faults"] = faults;
    OrderedJson gear = OrderedJson::array();
    for (const GearConfig& one : description.gear) gear.push_back(GearJson(one));
    document["gear"] = gear;
    return document.dump(2) + "\n";
}

}  // namespace zd::sim
