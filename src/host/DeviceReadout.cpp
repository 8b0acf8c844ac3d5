#include "host/DeviceReadout.h"

#include <algorithm>
#include <cstdio>

#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "link/ModuleState.h"
#include "pages/configZD4270Groups.h"
#include "pages/configZD4270Scenes.h"

namespace zd {

namespace {

std::string TreeKey(int address, const char* nodeType) {
    char key[32];
    std::snprintf(key, sizeof key, "%02d%s", address, nodeType);
    return key;
}

}  // namespace

const std::array<VariableName, configZD4270Variables::kVariableCount> kVariableNames{{
    {"actual-level", 0, 255},
    {"power-on-level", 0, 255},
    {"system-failure-level", 0, 255},
    {"min-level", 0, 255},
    {"max-level", 0, 255},
    {"fade-rate", 1, 15},
    {"fade-time", 0, 15},
    {"random-address", 0, 0},
    {"status", 0, 0},
    {"version", 0, 0},
    {"device-type", 0, 0},
    {"physical-min-level", 0, 0},
}};

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

Json RecoveredJson(const configZD4270& control) {
    Json list = Json::array();
    for (const AddressingRecovery& r : control.Recovered()) {
        Json entry = {{"what", r.what}, {"text", r.text}, {"count", r.count}};
        if (r.shortAddress >= 0) entry["shortAddress"] = r.shortAddress;
        if (r.randomAddress >= 0) entry["randomAddress"] = r.randomAddress;
        list.push_back(entry);
    }
    return list;
}

void FailOnErrorBox(const ControlRun& run, std::size_t mark, Json details) {
    if (const auto error = run.ErrorSince(mark)) throw CommandFailed(*error, std::move(details));
}

template <typename PageType>
PageType& OpenDevicePage(ControlRun& run, int address, const char* nodeType, PageKind kind,
                         bool opticalFeedback) {
    configZD4270& control = run.Control();
    const MessageCatalogue& msg = control.GetContext().messages;
    // The tree opens no device page in DSI mode, without a word: the reading says why.
    if (run.State().m_nOperationMode != kModeDali) throw CommandFailed(msg.Load(5122) + "!");
    const std::size_t mark = run.BoxCount();
    if (opticalFeedback) control.chkOpticalSelectionFeedback.SetChecked(true);
    const std::string key = TreeKey(address, nodeType);
    if (!control.treeDevices.Node(key)) RunDeviceScan(run);
    if (!control.treeDevices.Node(key)) {
        throw CommandFailed("no device answers at address " + std::to_string(address),
                            {{"devices", DevicesJson(run.State())}});
    }
    control.treeDevices.SelectNode(key);
    FailOnErrorBox(run, mark);
    auto* page = dynamic_cast<PageType*>(control.Page(kind));
    if (!page)
        throw CommandFailed(std::string("the ") + PageClassName(kind) + " page did not open");
    return *page;
}

template configZD4270Variables& OpenDevicePage<configZD4270Variables>(ControlRun&, int, const char*,
                                                                      PageKind, bool);
template configZD4270Groups& OpenDevicePage<configZD4270Groups>(ControlRun&, int, const char*,
                                                                PageKind, bool);
template configZD4270Scenes& OpenDevicePage<configZD4270Scenes>(ControlRun&, int, const char*,
                                                                PageKind, bool);

std::string NoAnswerReason(ControlRun& run, int address) {
    const ModuleState& state = run.State();
    const clsDevice* device = state.devices ? state.devices->Item(address) : nullptr;
    if (device && device->m_bDALIConflict)
        return "several devices answer at address " + std::to_string(address) + " at once";
    return "the device at address " + std::to_string(address) + " does not answer";
}

bool Unread(const std::string& text) {
    return text.find('?') != std::string::npos;
}

Json VariablesJson(const configZD4270Variables& page, int& unread) {
    Json variables = Json::object();
    unread = 0;
    for (int pos = 0; pos < configZD4270Variables::kVariableCount; ++pos) {
        const ListItem& row = page.lstViewVariables.Item(pos + 1);
        const bool failed = Unread(row.SubItem(1));
        if (failed) ++unread;
        Json entry = {{"key", row.Key()},
                      {"caption", row.Text()},
                      {"value", failed ? Json() : Json(page.Value(pos))},
                      {"text", row.SubItem(1)}};
        // The converted value (percent, steps per second, seconds, hexadecimal bytes) where the
        // page shows one.
        if (row.SubItem(2) != " " && !row.SubItem(2).empty()) entry["converted"] = row.SubItem(2);
        variables[kVariableNames[static_cast<std::size_t>(pos)].name] = entry;
    }
    return variables;
}

Json GroupsJson(const configZD4270Groups& page, std::vector<int>& unread) {
    Json groups = Json::array();
    unread.clear();
    for (int group = 0; group < configZD4270Groups::kGroupCount; ++group) {
        const ListItem& item = page.lstViewGroups.Item(group + 1);
        if (Unread(item.Text())) {
            unread.push_back(group);
        } else if (item.Checked()) {
            groups.push_back(group);
        }
    }
    return groups;
}

Json LevelJson(int level) {
    return level == kDaliMask ? Json("mask") : Json(level);
}

Json ScenesJson(const configZD4270Scenes& page, std::vector<int>& unread) {
    Json scenes = Json::object();
    unread.clear();
    for (int scene = 0; scene < configZD4270Scenes::kSceneCount; ++scene) {
        const bool failed = Unread(page.lstViewScenes.Item(scene + 1).SubItem(1));
        if (failed) unread.push_back(scene);
        scenes[std::to_string(scene)] = failed ? Json() : LevelJson(page.SceneLevel(scene));
    }
    return scenes;
}

std::string NumberList(const std::vector<int>& numbers) {
    std::string text;
    for (int n : numbers) text += (text.empty() ? "" : ", ") + std::to_string(n);
    return text;
}

void FailOnUnreadVariables(ControlRun& run, int address, int unread, const Json& document) {
    if (unread == configZD4270Variables::kVariableCount)
        throw CommandFailed(NoAnswerReason(run, address), document);
    if (unread > 0)
        throw CommandFailed(std::to_string(unread) + " of " +
                                std::to_string(configZD4270Variables::kVariableCount) +
                                " variables could not be read",
                            document);
}

void FailOnUnread(const char* what, const std::vector<int>& unread, Json& document) {
    if (unread.empty()) return;
    document["unread"] = unread;
    throw CommandFailed(
        std::string("the ") + what + " " + NumberList(unread) + " could not be read", document);
}

Json ReadVariables(ControlRun& run, int address, bool opticalFeedback) {
    auto& page = OpenDevicePage<configZD4270Variables>(run, address, "Variables",
                                                       PageKind::Variables, opticalFeedback);
    Json document = {{"shortAddress", address}};
    int unread = 0;
    document["variables"] = VariablesJson(page, unread);
    FailOnUnreadVariables(run, address, unread, document);
    return document;
}

Json ReadGroups(ControlRun& run, int address, bool opticalFeedback) {
    auto& page = OpenDevicePage<configZD4270Groups>(run, address, "Groups", PageKind::Groups,
                                                    opticalFeedback);
    Json document = {{"shortAddress", address}};
    std::vector<int> unread;
    document["groups"] = GroupsJson(page, unread);
    FailOnUnread("groups", unread, document);
    return document;
}

Json ReadScenes(ControlRun& run, int address, bool opticalFeedback) {
    auto& page = OpenDevicePage<configZD4270Scenes>(run, address, "Scenes", PageKind::Scenes,
                                                    opticalFeedback);
    Json document = {{"shortAddress", address}};
    std::vector<int> unread;
    document["scenes"] = ScenesJson(page, unread);
    FailOnUnread("scenes", unread, document);
    return document;
}

}  // namespace zd
