// The variables, groups and scenes of one device, read and written by the engine: a reading sends
// only queries; a write reads the part first, writes it and reads it back, so that the document
// tells what the device took.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

#include "cli/DeviceCommands.h"
#include "link/Commands.h"
#include "maintenance/DeviceJson.h"
#include "maintenance/DeviceSettings.h"

namespace zd {

namespace {

int ParseShort(const CommandArguments& arguments, const std::string& command) {
    const auto text = arguments.Value("--short");
    if (!text) throw UsageError(command + " needs --short A");
    return ParseNumber(*text, 0, kMaxShortAddress, "--short");
}

std::string Normalised(std::string name) {
    for (char& c : name) c = c == '_' || c == ' ' ? '-' : static_cast<char>(std::tolower(c));
    return name;
}

// ---- variables

// Status byte bit 4: a fade is running.
constexpr std::int32_t kStatusFadeRunning = 0x10;

bool Writable(const VariableName& variable) {
    return variable.max > 0;
}

struct VariableSetting {
    int pos = -1;
    int value = 0;
};

VariableSetting ParseVariableSetting(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw UsageError("--set takes NAME=VALUE, such as max-level=200, not \"%1\"", {text});
    const std::string name = Normalised(text.substr(0, equals));
    const std::string valueText = text.substr(equals + 1);
    std::string writable;
    for (std::size_t pos = 0; pos < kVariableNames.size(); ++pos) {
        const VariableName& variable = kVariableNames[pos];
        if (!Writable(variable)) continue;
        writable += std::string(writable.empty() ? "" : ", ") + variable.name;
        if (name != variable.name) continue;
        VariableSetting setting;
        setting.pos = static_cast<int>(pos);
        setting.value = variable.max == 255 && Normalised(valueText) == "mask"
                            ? 255
                            : ParseNumber(valueText, variable.min, variable.max, variable.name);
        return setting;
    }
    throw UsageError("no variable \"%1\" to set; these can be set: %2",
                     {text.substr(0, equals), writable});
}

// ---- groups

std::vector<int> ParseGroups(const CommandArguments& arguments, const std::string& option) {
    const auto text = arguments.Value(option);
    if (!text) return {};
    return ParseList(*text, option, [&](const std::string& part) {
        return ParseNumber(part, 0, kDeviceGroupCount - 1, option);
    });
}

// ---- scenes

struct SceneSetting {
    int scene = 0;
    int level = 0;
};

SceneSetting ParseSceneSetting(const std::string& part) {
    const std::size_t equals = part.find('=');
    if (equals == std::string::npos)
        throw UsageError("--set takes SCENE=LEVEL, such as 3=200 or 3=mask, not \"%1\"", {part});
    SceneSetting setting;
    setting.scene = ParseNumber(part.substr(0, equals), 0, kDeviceSceneCount - 1, "the scene");
    const std::string level = part.substr(equals + 1);
    setting.level =
        Normalised(level) == "mask" ? kDaliMask : ParseNumber(level, 0, 255, "the level");
    return setting;
}

}  // namespace

PreparedCommand PrepareVariables(const CommandArguments& arguments) {
    const int address = ParseShort(arguments, "variables");
    std::optional<VariableSetting> setting;
    if (const auto text = arguments.Value("--set")) setting = ParseVariableSetting(*text);
    const bool feedback = arguments.Has("--optical-feedback");
    return [=](HeadlessSession& session) {
        if (!setting) return ReadVariables(session, address, feedback);
        const DeviceVariable variable = DeviceVariableAt(setting->pos);
        const VariablesWriteReport report =
            SaveVariables(session, address,
                          {{variable, static_cast<std::uint8_t>(setting->value), {}}}, feedback);
        const bool sent = report.writes.front().result.sent;
        Json document = {{"shortAddress", address}};
        document["set"] = {
            {"name", DeviceVariableName(variable)}, {"value", setting->value}, {"sent", sent}};
        const DeviceVariables read = ReadBackVariables(report);
        document["variables"] = VariablesJson(read, RunMessages(session));
        const std::int32_t actual = read.Value(DeviceVariable::ActualLevel).value_or(0);
        if (variable == DeviceVariable::ActualLevel && sent &&
            (read.Value(DeviceVariable::Status).value_or(0) & kStatusFadeRunning) != 0 &&
            actual != setting->value) {
            document["warning"] =
                HostText(RunMessages(session).GetLanguage(),
                         "the level is still fading to %1; %2 is on the way",
                         {std::to_string(setting->value), std::to_string(actual)});
        }
        if (!sent) {
            throw CommandFailed(
                HostWording("the device did not take %1", {DeviceVariableName(variable)}),
                document);
        }
        // A ballast keeps its own limits (a minimum level below its physical minimum, say):
        // what it stored is what it answers now. The actual level may still be fading.
        const std::optional<std::int32_t> stored = read.Value(variable);
        if (variable != DeviceVariable::ActualLevel && stored && *stored != setting->value) {
            throw CommandFailed(HostWording("the device keeps %1 at %2, not %3",
                                            {DeviceVariableName(variable), std::to_string(*stored),
                                             std::to_string(setting->value)}),
                                document);
        }
        FailOnUnreadVariables(session, address, read, document);
        return document;
    };
}

PreparedCommand PrepareGroups(const CommandArguments& arguments) {
    const int address = ParseShort(arguments, "groups");
    const std::vector<int> add = ParseGroups(arguments, "--add");
    const std::vector<int> remove = ParseGroups(arguments, "--remove");
    for (int group : add)
        if (std::find(remove.begin(), remove.end(), group) != remove.end())
            throw UsageError("group %1 is in --add and in --remove", {std::to_string(group)});
    const bool feedback = arguments.Has("--optical-feedback");
    return [=](HeadlessSession& session) {
        if (add.empty() && remove.empty()) return ReadGroups(session, address, feedback);
        const GroupsWriteReport report = ChangeGroups(session, address, add, remove, feedback);
        Json document = {{"shortAddress", address}};
        document["added"] = add;
        document["removed"] = remove;
        const DeviceGroups read = ReadBackGroups(report);
        const std::vector<int> unread = read.Unread();
        document["groups"] = GroupsJson(read);
        std::vector<int> missed;
        for (int group : add)
            if (!read.Member(group).value_or(false)) missed.push_back(group);
        for (int group : remove)
            if (read.Member(group).value_or(false)) missed.push_back(group);
        std::sort(missed.begin(), missed.end());
        if (unread.empty() && !missed.empty()) {
            throw CommandFailed(
                HostWording("the device did not change group(s) %1", {NumberList(missed)}),
                document);
        }
        FailOnUnread("groups", unread, document);
        return document;
    };
}

PreparedCommand PrepareScenes(const CommandArguments& arguments) {
    const int address = ParseShort(arguments, "scenes");
    std::vector<SceneSetting> settings;
    if (const auto text = arguments.Value("--set"))
        settings = ParseList(*text, "--set", ParseSceneSetting);
    for (std::size_t i = 0; i < settings.size(); ++i)
        for (std::size_t j = i + 1; j < settings.size(); ++j)
            if (settings[i].scene == settings[j].scene)
                throw UsageError("scene %1 is set twice", {std::to_string(settings[i].scene)});
    const bool feedback = arguments.Has("--optical-feedback");
    return [=](HeadlessSession& session) {
        if (settings.empty()) return ReadScenes(session, address, feedback);
        std::vector<SceneWrite> writes;
        Json set = Json::object();
        for (const SceneSetting& setting : settings) {
            writes.push_back({setting.scene, static_cast<std::uint8_t>(setting.level), {}});
            set[std::to_string(setting.scene)] = LevelJson(setting.level);
        }
        const ScenesWriteReport report =
            SaveSceneLevels(session, address, std::move(writes), feedback);
        Json document = {{"shortAddress", address}};
        document["set"] = set;
        const DeviceScenes read = ReadBackScenes(report);
        const std::vector<int> unread = read.Unread();
        document["scenes"] = ScenesJson(read);
        // The lamp showed each scene and went back to the level it had; where that level could
        // not be read it stays at the last scene shown, and the document says so.
        document["lampLevel"] = {
            {"before", report.lampLevelBefore ? LevelJson(*report.lampLevelBefore) : Json()},
            {"restored", report.lampLevelRestored}};
        std::vector<int> missed;
        for (const SceneSetting& setting : settings)
            if (read.Level(setting.scene).value_or(0) != setting.level)
                missed.push_back(setting.scene);
        if (unread.empty() && !missed.empty()) {
            throw CommandFailed(
                HostWording("the device did not store scene(s) %1", {NumberList(missed)}),
                document);
        }
        FailOnUnread("scenes", unread, document);
        return document;
    };
}

}  // namespace zd
