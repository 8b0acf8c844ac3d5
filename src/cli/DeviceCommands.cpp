// The variables, groups and scenes of one device: read by the engine, which sends only queries,
// and written through the page that selecting the device's node in the device tree opens, as in
// the window, with the page's own controls. Every write is read back, since the pages themselves
// do not look at the answers.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "cli/DeviceCommands.h"
#include "host/DeviceReadout.h"
#include "host/DeviceSettings.h"
#include "link/Commands.h"
#include "pages/configZD4270Groups.h"
#include "pages/configZD4270Scenes.h"
#include "pages/configZD4270Variables.h"

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

constexpr int kActualLevel = 0;
constexpr int kFadeTimeVariable = 6;
constexpr int kStatusVariable = 8;
// Status byte bit 4: a fade is running.
constexpr std::int32_t kStatusFadeRunning = 0x10;

// How long a fade to a new level takes at fade time X: 0.5 s times the square root of 2 to the
// X, none at 0 (under 0.7 s), and a little more for the line.
std::int64_t FadeMs(std::int32_t fadeTime) {
    if (fadeTime <= 0 || fadeTime > 15) return 0;
    return static_cast<std::int64_t>(500.0 * std::sqrt(std::pow(2.0, fadeTime))) + 200;
}

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
        throw UsageError("--set takes NAME=VALUE, such as max-level=200, not \"" + text + "\"");
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
    throw UsageError("no variable \"" + text.substr(0, equals) +
                     "\" to set; these can be set: " + writable);
}

// ---- groups

std::vector<int> ParseGroups(const CommandArguments& arguments, const std::string& option) {
    const auto text = arguments.Value(option);
    if (!text) return {};
    return ParseList(*text, option, [&](const std::string& part) {
        return ParseNumber(part, 0, configZD4270Groups::kGroupCount - 1, option);
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
        throw UsageError("--set takes SCENE=LEVEL, such as 3=200 or 3=mask, not \"" + part + "\"");
    SceneSetting setting;
    setting.scene =
        ParseNumber(part.substr(0, equals), 0, configZD4270Scenes::kSceneCount - 1, "the scene");
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
        auto& page = OpenDevicePage<configZD4270Variables>(session, address, "Variables",
                                                           PageKind::Variables, feedback);
        Json document = {{"shortAddress", address}};
        const VariableName& variable = kVariableNames[static_cast<std::size_t>(setting->pos)];
        // As the user edits it: pick the row, type the value, save.
        const bool sent = SaveVariable(page, setting->pos, setting->value);
        document["set"] = {{"name", variable.name}, {"value", setting->value}, {"sent", sent}};
        // A new actual level fades in at the gear's fade time: read back once it is there,
        // not a step on the way.
        if (sent && setting->pos == kActualLevel) {
            const std::int64_t fadeMs = FadeMs(page.Value(kFadeTimeVariable));
            if (fadeMs > 0) session.RunUntil([] { return false; }, fadeMs);
        }
        page.btnRefreshList.Click();
        const DeviceVariables read = VariablesOfPage(page);
        document["variables"] = VariablesJson(read, session.Control().GetContext().messages);
        if (setting->pos == kActualLevel && sent &&
            (page.Value(kStatusVariable) & kStatusFadeRunning) != 0 &&
            page.Value(kActualLevel) != setting->value) {
            document["warning"] = "the level is still fading to " + std::to_string(setting->value) +
                                  "; " + std::to_string(page.Value(kActualLevel)) +
                                  " is on the way";
        }
        if (!sent) {
            throw CommandFailed(std::string("the device did not take ") + variable.name, document);
        }
        // A ballast keeps its own limits (a minimum level below its physical minimum, say):
        // what it stored is what it answers now. The actual level may still be fading.
        const std::int32_t stored = page.Value(setting->pos);
        if (setting->pos != kActualLevel && stored != setting->value) {
            throw CommandFailed(std::string("the device keeps ") + variable.name + " at " +
                                    std::to_string(stored) + ", not " +
                                    std::to_string(setting->value),
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
            throw UsageError("group " + std::to_string(group) + " is in --add and in --remove");
    const bool feedback = arguments.Has("--optical-feedback");
    return [=](HeadlessSession& session) {
        if (add.empty() && remove.empty()) return ReadGroups(session, address, feedback);
        auto& page = OpenDevicePage<configZD4270Groups>(session, address, "Groups",
                                                        PageKind::Groups, feedback);
        Json document = {{"shortAddress", address}};
        // The page sends ADD TO GROUP or REMOVE FROM GROUP as a box is ticked or cleared.
        CheckGroups(page, add, remove);
        document["added"] = add;
        document["removed"] = remove;
        page.btnRefreshList.Click();
        const DeviceGroups read = GroupsOfPage(page);
        const std::vector<int> unread = read.Unread();
        document["groups"] = GroupsJson(read);
        std::vector<int> missed;
        for (int group : add)
            if (!page.Member(group)) missed.push_back(group);
        for (int group : remove)
            if (page.Member(group)) missed.push_back(group);
        std::sort(missed.begin(), missed.end());
        if (unread.empty() && !missed.empty()) {
            throw CommandFailed("the device did not change group(s) " + NumberList(missed),
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
                throw UsageError("scene " + std::to_string(settings[i].scene) + " is set twice");
    const bool feedback = arguments.Has("--optical-feedback");
    return [=](HeadlessSession& session) {
        if (settings.empty()) return ReadScenes(session, address, feedback);
        auto& page = OpenDevicePage<configZD4270Scenes>(session, address, "Scenes",
                                                        PageKind::Scenes, feedback);
        Json document = {{"shortAddress", address}};
        Json set = Json::object();
        // As the user does it: pick the scene, type its level (the lamp shows it), save.
        for (const SceneSetting& setting : settings) {
            SaveSceneLevel(page, setting.scene, setting.level);
            set[std::to_string(setting.scene)] = LevelJson(setting.level);
        }
        document["set"] = set;
        page.btnRefreshList.Click();
        const DeviceScenes read = ScenesOfPage(page);
        const std::vector<int> unread = read.Unread();
        document["scenes"] = ScenesJson(read);
        std::vector<int> missed;
        for (const SceneSetting& setting : settings)
            if (page.SceneLevel(setting.scene) != setting.level) missed.push_back(setting.scene);
        if (unread.empty() && !missed.empty()) {
            throw CommandFailed("the device did not store scene(s) " + NumberList(missed),
                                document);
        }
        FailOnUnread("scenes", unread, document);
        return document;
    };
}

}  // namespace zd
