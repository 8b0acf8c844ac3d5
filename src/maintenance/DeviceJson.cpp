#include "maintenance/DeviceJson.h"

#include <algorithm>
#include <cstdio>

#include "engine/DeviceWrites.h"
#include "engine/VariableText.h"
#include "link/Commands.h"
#include "link/ModuleState.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

bool Known(const ModuleState& state, int address) {
    return state.devices && state.devices->Item(address) != nullptr;
}

ReadoutOptions PartOnly(bool variables, bool groups, bool scenes, bool opticalFeedback) {
    ReadoutOptions options;
    options.variables = variables;
    options.groups = groups;
    options.scenes = scenes;
    options.opticalFeedback = opticalFeedback;
    return options;
}

}  // namespace

// Names and ranges as the engine's readout and writes know them.
const std::array<VariableName, kDeviceVariableCount> kVariableNames = [] {
    std::array<VariableName, kDeviceVariableCount> names{};
    for (std::size_t pos = 0; pos < names.size(); ++pos) {
        const auto variable = static_cast<DeviceVariable>(pos);
        const WritableRange range = DeviceVariableRange(variable);
        names[pos] = {DeviceVariableName(variable), range.min, range.max};
    }
    return names;
}();

Json DevicesJson(const ModuleState& state) {
    std::vector<const clsDevice*> devices;
    if (state.devices)
        for (const auto& [key, device] : state.devices->Items()) devices.push_back(device.get());
    std::sort(devices.begin(), devices.end(), [](const clsDevice* a, const clsDevice* b) {
        return a->m_nShortAddress < b->m_nShortAddress;
    });
    Json list = Json::array();
    for (const clsDevice* device : devices) {
        list.push_back(
            {{"shortAddress", device->m_nShortAddress}, {"conflict", device->m_bDALIConflict}});
    }
    return list;
}

std::string RecoveryText(Language language, const AddressingRecovery& r) {
    if (language == Language::English) return r.text;
    char random[16];
    std::snprintf(random, sizeof random, "0x%X", static_cast<unsigned>(r.randomAddress));
    const std::string address = std::to_string(r.shortAddress);
    const auto text = [&](std::string_view english) {
        return HostText(language, english, {address, random});
    };
    if (r.what == "two-lamps") return text("two lamps were out at once: asked for one");
    if (r.what == "selected-again") return text("the gear at address %1 was selected again");
    if (r.what == "lamp-back-early") return text("lamp back before address %1 was programmed");
    if (r.what == "two-gear") return text("two gear took address %1: given back");
    if (r.what == "paced") return text("fast search went on with the paced handshake");
    if (r.what == "second-ask")
        return text(r.shortAddress < 0 ? "COMPARE answered only when asked again"
                                       : "address %1 answered only when asked again");
    if (r.what == "address-taken") return text("address %1 was taken: the next free one is used");
    if (r.what == "gear-below") return text("a gear turned up below the search: searched again");
    if (r.what == "verify-failed")
        return text(r.shortAddress < 0 ? "the gear at %2 keeps no short address: left"
                                       : "no answer to VERIFY at address %1: searched again");
    if (r.what == "vanished") return text("the gear at address %1 fell silent: searched again");
    if (r.what == "clash") return text("several gear took address %1: new random addresses");
    if (r.what == "clash-left") return text("gear at %2 keep drawing one random address: left");
    if (r.what == "collision")
        return text("a command met another master on the line and was sent again");
    if (r.what == "random-taken")
        return text(
            "a gear without a short address has the random address %2 of the gear at "
            "address %1: new random addresses drawn");
    if (r.what == "ignores-withdraw")
        return text(
            "the gear at address %1 (%2) ignores WITHDRAW: the gear without a short "
            "address were initialised again without it");
    if (r.what == "line-dark")
        return text(
            "nobody answered after the search, not even the gear addressed in it (the "
            "line's mains?): initialised again and searched");
    if (r.what == "missing")
        return text(
            "gear without a short address still answered after the search: initialised "
            "again and searched");
    return r.text;
}

Json RecoveredJson(const AddressingLine& line) {
    const Language language = line.GetContext().messages.GetLanguage();
    Json list = Json::array();
    for (const AddressingRecovery& r : line.Recovered()) {
        Json entry = {{"what", r.what}, {"text", RecoveryText(language, r)}, {"count", r.count}};
        if (r.shortAddress >= 0) entry["shortAddress"] = r.shortAddress;
        if (r.randomAddress >= 0) entry["randomAddress"] = r.randomAddress;
        list.push_back(entry);
    }
    return list;
}

void FailOnErrorBox(const ControlRun& run, std::size_t mark, Json details) {
    if (const auto error = run.ErrorSince(mark)) throw CommandFailed(*error, std::move(details));
}

EngineTerminal RunTerminal(ControlRun& run) {
    return run.Line().Terminal();
}

const MessageCatalogue& RunMessages(ControlRun& run) {
    return run.GetContext().messages;
}

ReadoutOptions VariablesOnly(bool opticalFeedback) {
    return PartOnly(true, false, false, opticalFeedback);
}
ReadoutOptions GroupsOnly(bool opticalFeedback) {
    return PartOnly(false, true, false, opticalFeedback);
}
ReadoutOptions ScenesOnly(bool opticalFeedback) {
    return PartOnly(false, false, true, opticalFeedback);
}

DeviceReadout ReadKnownDevice(ControlRun& run, int address, const ReadoutOptions& options) {
    // Nothing is read in DSI mode, as the device tree opens no device page there.
    if (run.State().m_nOperationMode != kModeDali)
        throw CommandFailed(RunMessages(run).Load(5122) + "!");
    if (!Known(run.State(), address)) RunDeviceScan(run);
    if (!Known(run.State(), address)) {
        throw CommandFailed(
            HostWording("no device answers at address %1", {std::to_string(address)}),
            {{"devices", DevicesJson(run.State())}});
    }
    const std::size_t mark = run.BoxCount();
    EngineTerminal terminal = RunTerminal(run);
    DeviceReadout readout = ReadDevice(terminal, address, options);
    if (readout.outcome.failure == EngineFailure::Refused)
        throw CommandFailed(readout.outcome.text);
    // The user has seen the device communication fail in a box: the reading says the same.
    if (const auto error = run.ErrorSince(mark)) {
        const EngineFailure kind = readout.answer == DeviceAnswer::LinkLost
                                       ? EngineFailure::CommunicationLost
                                       : EngineFailure::Error;
        readout.outcome = {};
        readout.outcome.Fail(kind, *error);
    }
    return readout;
}

std::string NoAnswerReason(ControlRun& run, int address, std::optional<DeviceAnswer> answer) {
    const ModuleState& state = run.State();
    const clsDevice* device = state.devices ? state.devices->Item(address) : nullptr;
    const Language language = RunMessages(run).GetLanguage();
    if ((device && device->m_bDALIConflict) || answer == DeviceAnswer::Conflict)
        return HostText(language, "several devices answer at address %1 at once",
                        {std::to_string(address)});
    return HostText(language, "the device at address %1 does not answer",
                    {std::to_string(address)});
}

Json VariablesJson(const DeviceVariables& read, const MessageCatalogue& messages) {
    Json variables = Json::object();
    for (int pos = 0; pos < kDeviceVariableCount; ++pos) {
        const DeviceVariable variable = DeviceVariableAt(pos);
        const std::optional<std::int32_t> value = read.Value(variable);
        const VariableTexts texts = FormatVariable(variable, value);
        Json entry = {{"key", VariableKey(variable)},
                      {"caption", messages.Load(VariableCaptionMessage(variable))},
                      {"value", value ? Json(*value) : Json()},
                      {"text", texts.value}};
        // The converted value (percent, steps per second, seconds, hexadecimal bytes) where the
        // page shows one.
        if (texts.converted != " " && !texts.converted.empty())
            entry["converted"] = texts.converted;
        variables[DeviceVariableName(variable)] = entry;
    }
    return variables;
}

Json GroupsJson(const DeviceGroups& read) {
    return read.Groups();
}

Json LevelJson(int level) {
    return level == kDaliMask ? Json("mask") : Json(level);
}

Json ScenesJson(const DeviceScenes& read) {
    Json scenes = Json::object();
    for (int scene = 0; scene < kDeviceSceneCount; ++scene) {
        const auto level = read.Level(scene);
        scenes[std::to_string(scene)] = level ? LevelJson(*level) : Json();
    }
    return scenes;
}

std::string NumberList(const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text;
}

void FailOnLostLink(const DeviceReadout& readout, const Json& document) {
    if (readout.outcome.failure == EngineFailure::CommunicationLost ||
        readout.outcome.failure == EngineFailure::Error)
        throw CommandFailed(readout.outcome.text, document);
}

void FailOnUnreadVariables(ControlRun& run, int address, const DeviceVariables& read,
                           const Json& document, std::optional<DeviceAnswer> answer) {
    const int unread = static_cast<int>(read.Unread().size());
    if (unread == kDeviceVariableCount)
        throw CommandFailed(NoAnswerReason(run, address, answer), document);
    if (unread > 0)
        throw CommandFailed(
            HostWording("%1 of %2 variables could not be read",
                        {std::to_string(unread), std::to_string(kDeviceVariableCount)}),
            document);
}

void FailOnUnread(const char* what, const std::vector<int>& unread, Json& document) {
    if (unread.empty()) return;
    document["unread"] = unread;
    throw CommandFailed(
        HostWording(std::string_view(what) == "groups" ? "the groups %1 could not be read"
                                                       : "the scenes %1 could not be read",
                    {NumberList(unread)}),
        document);
}

Json ReadVariables(ControlRun& run, int address, bool opticalFeedback) {
    const DeviceReadout readout = ReadKnownDevice(run, address, VariablesOnly(opticalFeedback));
    Json document = {{"shortAddress", address}};
    document["variables"] = VariablesJson(*readout.variables, RunMessages(run));
    FailOnLostLink(readout, document);
    FailOnUnreadVariables(run, address, *readout.variables, document, readout.answer);
    return document;
}

Json ReadGroups(ControlRun& run, int address, bool opticalFeedback) {
    const DeviceReadout readout = ReadKnownDevice(run, address, GroupsOnly(opticalFeedback));
    Json document = {{"shortAddress", address}};
    document["groups"] = GroupsJson(*readout.groups);
    FailOnLostLink(readout, document);
    FailOnUnread("groups", readout.groups->Unread(), document);
    return document;
}

Json ReadScenes(ControlRun& run, int address, bool opticalFeedback) {
    const DeviceReadout readout = ReadKnownDevice(run, address, ScenesOnly(opticalFeedback));
    Json document = {{"shortAddress", address}};
    document["scenes"] = ScenesJson(*readout.scenes);
    FailOnLostLink(readout, document);
    FailOnUnread("scenes", readout.scenes->Unread(), document);
    return document;
}

}  // namespace zd
