#include "host/LineBackup.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

#include "frame/configZD4270.h"
#include "host/DeviceReadout.h"
#include "host/DeviceSettings.h"
#include "link/Commands.h"
#include "link/ModuleState.h"
#include "pages/configZD4270Groups.h"
#include "pages/configZD4270Scenes.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

constexpr std::size_t kVariableCount = configZD4270Variables::kVariableCount;

// The Variables page's rows that restoring writes: the levels and the fade. The actual level is
// where the lamp stands now, not a setting; the rest is the gear's own.
constexpr int kPowerOnLevel = 1;
constexpr int kSystemFailureLevel = 2;
constexpr int kMinLevel = 3;
constexpr int kMaxLevel = 4;
constexpr int kFadeRate = 5;
constexpr int kFadeTime = 6;
constexpr int kRandomAddress = 7;
constexpr int kDeviceType = 10;
constexpr std::uint32_t kRandomAddressMax = 0xFFFFFF;

// What a variable may hold in a file: what a gear can answer (the fade rate 1 to 15, the random
// address 24 bits, the rest a byte).
int VariableMax(std::size_t pos) {
    if (pos == kRandomAddress) return static_cast<int>(kRandomAddressMax);
    if (pos == kFadeRate || pos == kFadeTime) return 15;
    return 255;
}
int VariableMin(std::size_t pos) {
    return pos == kFadeRate ? 1 : 0;
}

std::string LevelText(int level) {
    return level == kDaliMask ? "mask" : std::to_string(level);
}

std::string NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// ---- strict reading

[[noreturn]] void Fail(const std::string& file, const std::string& where,
                       const std::string& reason) {
    throw ControlError(file + ": " + (where.empty() ? "" : "at " + where + ": ") + reason,
                       kLibraryTitle, kErrAutomation);
}

// nlohmann keeps the last of two equal keys; a file with a key twice is ambiguous.
struct DuplicateKeys {
    std::string file;
    std::vector<std::set<std::string>> objects;
    bool operator()(int, Json::parse_event_t event, Json& parsed) {
        switch (event) {
            case Json::parse_event_t::object_start:
                objects.emplace_back();
                break;
            case Json::parse_event_t::object_end:
                if (!objects.empty()) objects.pop_back();
                break;
            case Json::parse_event_t::key:
                if (!objects.empty() && !objects.back().insert(parsed.get<std::string>()).second)
                    Fail(file, "", "the key \"" + parsed.get<std::string>() + "\" comes twice");
                break;
            default:
                break;
        }
        return true;
    }
};

class Reader {
  public:
    explicit Reader(std::string file) : m_file(std::move(file)) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& reason) const {
        zd::Fail(m_file, where, reason);
    }
    void Object(const Json& value, const std::string& where,
                std::initializer_list<const char*> required,
                std::initializer_list<const char*> optional = {}) const {
        if (!value.is_object()) Fail(where, "an object is expected");
        for (const auto& [key, item] : value.items()) {
            const auto known = [&](auto list) {
                return std::any_of(list.begin(), list.end(),
                                   [&](const char* name) { return key == name; });
            };
            if (!known(required) && !known(optional)) Fail(where, "unknown key \"" + key + "\"");
        }
        for (const char* key : required)
            if (!value.contains(key))
                Fail(where, "the key \"" + std::string(key) + "\" is missing");
    }
    int Integer(const Json& value, const std::string& where, std::int64_t low,
                std::int64_t high) const {
        if (!value.is_number_integer() || value.get<std::int64_t>() < low ||
            value.get<std::int64_t>() > high) {
            Fail(where, "a whole number " + std::to_string(low) + " to " + std::to_string(high) +
                            " is expected, not " + value.dump());
        }
        return static_cast<int>(value.get<std::int64_t>());
    }
    std::uint32_t RandomAddress(const Json& value, const std::string& where) const {
        const std::string text = value.is_string() ? value.get<std::string>() : "";
        const bool hex = text.size() == 8 && text.rfind("0x", 0) == 0 &&
                         text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
        if (!hex) Fail(where, "a random address \"0x\" and six hexadecimal digits is expected");
        return static_cast<std::uint32_t>(std::stoul(text.substr(2), nullptr, 16));
    }
    int Level(const Json& value, const std::string& where) const {
        if (value == "mask") return kDaliMask;
        if (!value.is_number_integer() || value.get<std::int64_t>() < 0 ||
            value.get<std::int64_t>() > 254)
            Fail(where, "a level 0 to 254 or \"mask\" is expected, not " + value.dump());
        return value.get<int>();
    }

    DeviceBackup Device(const Json& value, const std::string& where) const {
        Object(value, where,
               {"shortAddress", "randomAddress", "deviceType", "variables", "groups", "scenes"});
        DeviceBackup device;
        device.shortAddress =
            Integer(value.at("shortAddress"), where + "/shortAddress", 0, kMaxShortAddress);
        device.randomAddress = RandomAddress(value.at("randomAddress"), where + "/randomAddress");
        device.deviceType = Integer(value.at("deviceType"), where + "/deviceType", 0, 255);

        const Json& variables = value.at("variables");
        const std::string vWhere = where + "/variables";
        if (!variables.is_object()) Fail(vWhere, "an object is expected");
        for (const auto& [key, item] : variables.items()) {
            const bool known = std::any_of(kVariableNames.begin(), kVariableNames.end(),
                                           [&](const VariableName& v) { return key == v.name; });
            if (!known) Fail(vWhere, "unknown variable \"" + key + "\"");
        }
        for (std::size_t pos = 0; pos < kVariableCount; ++pos) {
            const char* name = kVariableNames[pos].name;
            if (!variables.contains(name))
                Fail(vWhere, "the variable \"" + std::string(name) + "\" is missing");
            device.variables[pos] = Integer(variables.at(name), vWhere + "/" + name,
                                            VariableMin(pos), VariableMax(pos));
        }
        if (static_cast<std::uint32_t>(device.variables[kRandomAddress]) != device.randomAddress)
            Fail(vWhere + "/random-address", "differs from the device's randomAddress");
        if (device.variables[kDeviceType] != device.deviceType)
            Fail(vWhere + "/device-type", "differs from the device's deviceType");

        const Json& groups = value.at("groups");
        if (!groups.is_array()) Fail(where + "/groups", "a list of groups is expected");
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const std::string gWhere = where + "/groups/" + std::to_string(i);
            const int group = Integer(groups[i], gWhere, 0, kBackupGroupCount - 1);
            if (std::find(device.groups.begin(), device.groups.end(), group) != device.groups.end())
                Fail(gWhere, "group " + std::to_string(group) + " comes twice");
            device.groups.push_back(group);
        }
        std::sort(device.groups.begin(), device.groups.end());

        const Json& scenes = value.at("scenes");
        const std::string sWhere = where + "/scenes";
        if (!scenes.is_object())
            Fail(sWhere, "an object of the scenes \"0\" to \"15\" is expected");
        for (const auto& [key, item] : scenes.items()) {
            bool known = false;
            for (int scene = 0; scene < kBackupSceneCount; ++scene)
                known = known || key == std::to_string(scene);
            if (!known) Fail(sWhere, "unknown scene \"" + key + "\"");
        }
        for (int scene = 0; scene < kBackupSceneCount; ++scene) {
            const std::string key = std::to_string(scene);
            if (!scenes.contains(key)) Fail(sWhere, "the scene \"" + key + "\" is missing");
            device.scenes[static_cast<std::size_t>(scene)] =
                Level(scenes.at(key), sWhere + "/" + key);
        }
        return device;
    }

  private:
    std::string m_file;
};

// The line and column of a byte offset, as people count them.
std::string Place(const std::string& text, std::size_t offset) {
    int line = 1;
    int column = 1;
    for (std::size_t i = 0; i < std::min(offset, text.size()); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return std::to_string(line) + ":" + std::to_string(column);
}

Json DeviceJson(const DeviceBackup& device) {
    Json variables = Json::object();
    for (std::size_t pos = 0; pos < kVariableCount; ++pos)
        variables[kVariableNames[pos].name] = device.variables[pos];
    Json scenes = Json::object();
    for (int scene = 0; scene < kBackupSceneCount; ++scene)
        scenes[std::to_string(scene)] = LevelJson(device.scenes[static_cast<std::size_t>(scene)]);
    return {{"shortAddress", device.shortAddress},
            {"randomAddress", RandomAddressText(device.randomAddress)},
            {"deviceType", device.deviceType},
            {"variables", variables},
            {"groups", device.groups},
            {"scenes", scenes}};
}

int Count(const std::vector<DevicePlan>& plans, RestoreState state) {
    return static_cast<int>(std::count_if(plans.begin(), plans.end(),
                                          [&](const DevicePlan& p) { return p.state == state; }));
}

}  // namespace

const DeviceBackup* LineBackup::Find(int shortAddress) const {
    for (const DeviceBackup& device : devices)
        if (device.shortAddress == shortAddress) return &device;
    return nullptr;
}

std::string RandomAddressText(std::uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", address & kRandomAddressMax);
    return text;
}

DeviceBackup ReadDeviceBackup(ControlRun& run, int address) {
    DeviceBackup device;
    device.shortAddress = address;
    Json document = {{"shortAddress", address}};
    auto& variables = OpenDevicePage<configZD4270Variables>(run, address, "Variables",
                                                            PageKind::Variables, false);
    int unreadVariables = 0;
    document["variables"] = VariablesJson(variables, unreadVariables);
    FailOnUnreadVariables(run, address, unreadVariables, document);
    for (std::size_t pos = 0; pos < kVariableCount; ++pos)
        device.variables[pos] = variables.Value(static_cast<int>(pos));
    device.randomAddress = static_cast<std::uint32_t>(device.variables[kRandomAddress]);
    device.deviceType = device.variables[kDeviceType];

    std::vector<int> unread;
    auto& groups =
        OpenDevicePage<configZD4270Groups>(run, address, "Groups", PageKind::Groups, false);
    document["groups"] = GroupsJson(groups, unread);
    FailOnUnread("groups", unread, document);
    for (int group = 0; group < kBackupGroupCount; ++group)
        if (groups.Member(group)) device.groups.push_back(group);

    auto& scenes =
        OpenDevicePage<configZD4270Scenes>(run, address, "Scenes", PageKind::Scenes, false);
    document["scenes"] = ScenesJson(scenes, unread);
    FailOnUnread("scenes", unread, document);
    for (int scene = 0; scene < kBackupSceneCount; ++scene)
        device.scenes[static_cast<std::size_t>(scene)] = scenes.SceneLevel(scene);
    return device;
}

LineBackup ReadLineBackup(ControlRun& run, std::vector<UnreadDevice>& unread,
                          const BackupProgress& progress) {
    RunDeviceScan(run);
    LineBackup backup;
    backup.created = NowUtc();
    configZD4270& control = run.Control();
    backup.terminal = {{"position", control.Pos},
                       {"firmwareVersion", "0x" + [&] {
                            char text[8];
                            std::snprintf(text, sizeof text, "%04X",
                                          static_cast<unsigned>(run.State().m_nFirmwareVersion));
                            return std::string(text);
                        }()}};
    const Json found = DevicesJson(run.State());
    unread.clear();
    std::size_t done = 0;
    for (const Json& entry : found) {
        if (progress) progress(done++, found.size());
        const int address = entry.at("shortAddress").get<int>();
        if (entry.at("conflict").get<bool>()) {
            unread.push_back({address, NoAnswerReason(run, address)});
            continue;
        }
        try {
            backup.devices.push_back(ReadDeviceBackup(run, address));
        } catch (const CommandFailed& failure) {
            unread.push_back({address, failure.what()});
        }
    }
    return backup;
}

std::string WriteLineBackup(const LineBackup& backup) {
    Json devices = Json::array();
    for (const DeviceBackup& device : backup.devices) devices.push_back(DeviceJson(device));
    Json document = {{"format", kBackupFormat}, {"version", kBackupVersion}};
    if (!backup.created.empty()) document["created"] = backup.created;
    if (!backup.terminal.empty()) document["terminal"] = backup.terminal;
    document["devices"] = devices;
    return document.dump(2) + "\n";
}

LineBackup ParseLineBackup(const std::string& text, const std::string& fileName) {
    Json document;
    try {
        document = Json::parse(text, DuplicateKeys{fileName, {}});
    } catch (const Json::parse_error& error) {
        std::string reason = error.what();
        const std::size_t colon = reason.find(": ");
        if (colon != std::string::npos) reason = reason.substr(colon + 2);
        throw ControlError(
            fileName + ":" + Place(text, error.byte == 0 ? 0 : error.byte - 1) + ": " + reason,
            kLibraryTitle, kErrAutomation);
    } catch (const Json::exception& error) {
        const std::string what = error.what();
        Fail(fileName, "", what.substr(what.find("] ") + 2));
    }
    const Reader reader(fileName);
    // What the file is and its version come first: a newer version may bring keys of its own.
    if (!document.is_object() || document.value("format", Json()) != kBackupFormat) {
        reader.Fail("/format", std::string("this is no line backup (\"format\": \"") +
                                   kBackupFormat + "\" is expected)");
    }
    if (!document.contains("version")) reader.Fail("/", "the key \"version\" is missing");
    const int version = reader.Integer(document.at("version"), "/version", 1, 1'000'000);
    if (version > kBackupVersion) {
        reader.Fail("/version", "version " + std::to_string(version) +
                                    " is newer than this program reads (" +
                                    std::to_string(kBackupVersion) + ")");
    }
    reader.Object(document, "/", {"format", "version", "devices"}, {"created", "terminal"});
    LineBackup backup;
    if (document.contains("created")) {
        if (!document.at("created").is_string()) reader.Fail("/created", "a text is expected");
        backup.created = document.at("created").get<std::string>();
    }
    if (document.contains("terminal")) {
        if (!document.at("terminal").is_object()) reader.Fail("/terminal", "an object is expected");
        backup.terminal = document.at("terminal");
    }
    const Json& devices = document.at("devices");
    if (!devices.is_array()) reader.Fail("/devices", "a list of devices is expected");
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string where = "/devices/" + std::to_string(i);
        DeviceBackup device = reader.Device(devices[i], where);
        if (backup.Find(device.shortAddress)) {
            reader.Fail(where + "/shortAddress",
                        "short address " + std::to_string(device.shortAddress) + " comes twice");
        }
        backup.devices.push_back(std::move(device));
    }
    std::sort(backup.devices.begin(), backup.devices.end(),
              [](const DeviceBackup& a, const DeviceBackup& b) {
                  return a.shortAddress < b.shortAddress;
              });
    return backup;
}

LineBackup LoadLineBackup(const std::string& path) {
    return ParseLineBackup(ReadInputFile(path, kBackupInput), path);
}

void SaveLineBackup(const std::string& path, const LineBackup& backup) {
    WriteFileAtomically(path, WriteLineBackup(backup));
}

const char* RestoreStateName(RestoreState state) {
    switch (state) {
        case RestoreState::Unchanged:
            return "unchanged";
        case RestoreState::Changed:
            return "changed";
        case RestoreState::Replaced:
            return "replaced";
        case RestoreState::Missing:
            return "missing";
        case RestoreState::New:
            return "new";
        case RestoreState::Unreadable:
            return "unreadable";
    }
    return "";
}

Json DevicePlan::ToJson() const {
    Json entry = {{"shortAddress", shortAddress}, {"state", RestoreStateName(state)}};
    if (fileRandomAddress) entry["fileRandomAddress"] = RandomAddressText(*fileRandomAddress);
    if (lineRandomAddress) entry["lineRandomAddress"] = RandomAddressText(*lineRandomAddress);
    if (!reason.empty()) entry["reason"] = reason;
    Json changes = Json::array();
    for (std::size_t i = 0; i < variables.size(); ++i) {
        const auto [pos, value] = variables[i];
        changes.push_back({{"what", kVariableNames[static_cast<std::size_t>(pos)].name},
                           {"from", variablesFrom[i]},
                           {"to", value}});
    }
    if (!addGroups.empty() || !removeGroups.empty())
        changes.push_back({{"what", "groups"}, {"add", addGroups}, {"remove", removeGroups}});
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        changes.push_back({{"what", "scene " + std::to_string(scenes[i].first)},
                           {"from", LevelJson(scenesFrom[i])},
                           {"to", LevelJson(scenes[i].second)}});
    }
    if (state != RestoreState::Missing && state != RestoreState::New &&
        state != RestoreState::Unreadable)
        entry["changes"] = changes;
    return entry;
}

std::string DevicePlan::Text() const {
    std::string text = "address " + std::to_string(shortAddress) + ": " + RestoreStateName(state);
    if (state == RestoreState::Replaced && fileRandomAddress && lineRandomAddress)
        text += " (random address " + RandomAddressText(*lineRandomAddress) + ", was " +
                RandomAddressText(*fileRandomAddress) + ")";
    if (!reason.empty()) text += " (" + reason + ")";
    for (std::size_t i = 0; i < variables.size(); ++i) {
        text += "\n  " +
                std::string(kVariableNames[static_cast<std::size_t>(variables[i].first)].name) +
                " " + LevelText(variablesFrom[i]) + " -> " + LevelText(variables[i].second);
    }
    if (!addGroups.empty()) text += "\n  add to groups " + NumberList(addGroups);
    if (!removeGroups.empty()) text += "\n  remove from groups " + NumberList(removeGroups);
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        text += "\n  scene " + std::to_string(scenes[i].first) + " " + LevelText(scenesFrom[i]) +
                " -> " + LevelText(scenes[i].second);
    }
    return text;
}

DevicePlan PlanDevice(const DeviceBackup& want, const DeviceBackup& now) {
    DevicePlan plan;
    plan.shortAddress = want.shortAddress;
    plan.fileRandomAddress = want.randomAddress;
    plan.lineRandomAddress = now.randomAddress;
    const auto differs = [&](int pos) {
        return want.variables[static_cast<std::size_t>(pos)] !=
               now.variables[static_cast<std::size_t>(pos)];
    };
    std::vector<int> order = {kPowerOnLevel, kSystemFailureLevel};
    // A gear keeps its minimum at or below its maximum: a new maximum below the present minimum
    // goes after the new minimum, otherwise before it.
    if (want.variables[kMaxLevel] < now.variables[kMinLevel]) {
        order.insert(order.end(), {kMinLevel, kMaxLevel});
    } else {
        order.insert(order.end(), {kMaxLevel, kMinLevel});
    }
    order.insert(order.end(), {kFadeRate, kFadeTime});
    for (int pos : order) {
        if (!differs(pos)) continue;
        plan.variables.emplace_back(pos, want.variables[static_cast<std::size_t>(pos)]);
        plan.variablesFrom.push_back(now.variables[static_cast<std::size_t>(pos)]);
    }
    for (int group : want.groups)
        if (std::find(now.groups.begin(), now.groups.end(), group) == now.groups.end())
            plan.addGroups.push_back(group);
    for (int group : now.groups)
        if (std::find(want.groups.begin(), want.groups.end(), group) == want.groups.end())
            plan.removeGroups.push_back(group);
    for (int scene = 0; scene < kBackupSceneCount; ++scene) {
        const auto s = static_cast<std::size_t>(scene);
        if (want.scenes[s] == now.scenes[s]) continue;
        plan.scenes.emplace_back(scene, want.scenes[s]);
        plan.scenesFrom.push_back(now.scenes[s]);
    }
    plan.state = want.randomAddress != now.randomAddress ? RestoreState::Replaced
                 : plan.Writes()                         ? RestoreState::Changed
                                                         : RestoreState::Unchanged;
    return plan;
}

std::vector<DevicePlan> PlanRestore(const LineBackup& file, const LineBackup& line,
                                    const std::vector<UnreadDevice>& unread) {
    std::set<int> addresses;
    for (const DeviceBackup& device : file.devices) addresses.insert(device.shortAddress);
    for (const DeviceBackup& device : line.devices) addresses.insert(device.shortAddress);
    for (const UnreadDevice& device : unread) addresses.insert(device.shortAddress);
    std::vector<DevicePlan> plans;
    for (int address : addresses) {
        const DeviceBackup* want = file.Find(address);
        const DeviceBackup* now = line.Find(address);
        const auto notRead = std::find_if(unread.begin(), unread.end(), [&](const UnreadDevice& d) {
            return d.shortAddress == address;
        });
        DevicePlan plan;
        plan.shortAddress = address;
        if (want) plan.fileRandomAddress = want->randomAddress;
        if (now) plan.lineRandomAddress = now->randomAddress;
        if (want && now) {
            plan = PlanDevice(*want, *now);
        } else if (notRead != unread.end()) {
            plan.state = want ? RestoreState::Unreadable : RestoreState::New;
            plan.reason = notRead->reason;
        } else {
            plan.state = want ? RestoreState::Missing : RestoreState::New;
        }
        plans.push_back(std::move(plan));
    }
    return plans;
}

std::vector<std::string> ApplyDevicePlan(ControlRun& run, const DevicePlan& plan) {
    std::vector<std::string> missed;
    const int address = plan.shortAddress;
    if (!plan.variables.empty()) {
        auto& page = OpenDevicePage<configZD4270Variables>(run, address, "Variables",
                                                           PageKind::Variables, false);
        for (const auto& [pos, value] : plan.variables) SaveVariable(page, pos, value);
        page.btnRefreshList.Click();
        for (const auto& [pos, value] : plan.variables) {
            const std::int32_t stored = page.Value(pos);
            const std::string name = kVariableNames[static_cast<std::size_t>(pos)].name;
            if (Unread(page.lstViewVariables.Item(pos + 1).SubItem(1)))
                missed.push_back(name + " (could not be read back)");
            else if (stored != value)
                missed.push_back(name + " (keeps " + std::to_string(stored) + ", not " +
                                 std::to_string(value) + ")");
        }
    }
    if (!plan.addGroups.empty() || !plan.removeGroups.empty()) {
        auto& page =
            OpenDevicePage<configZD4270Groups>(run, address, "Groups", PageKind::Groups, false);
        CheckGroups(page, plan.addGroups, plan.removeGroups);
        page.btnRefreshList.Click();
        std::vector<int> wrong;
        for (int group : plan.addGroups)
            if (!page.Member(group)) wrong.push_back(group);
        for (int group : plan.removeGroups)
            if (page.Member(group)) wrong.push_back(group);
        std::vector<int> unread;
        GroupsJson(page, unread);
        for (int group : unread)
            if (std::find(wrong.begin(), wrong.end(), group) == wrong.end()) wrong.push_back(group);
        std::sort(wrong.begin(), wrong.end());
        if (!wrong.empty()) missed.push_back("groups " + NumberList(wrong));
    }
    if (!plan.scenes.empty()) {
        auto& page =
            OpenDevicePage<configZD4270Scenes>(run, address, "Scenes", PageKind::Scenes, false);
        for (const auto& [scene, level] : plan.scenes) SaveSceneLevel(page, scene, level);
        page.btnRefreshList.Click();
        std::vector<int> unread;
        ScenesJson(page, unread);
        for (const auto& [scene, level] : plan.scenes) {
            const bool failed = std::find(unread.begin(), unread.end(), scene) != unread.end();
            if (failed || page.SceneLevel(scene) != level)
                missed.push_back("scene " + std::to_string(scene));
        }
    }
    return missed;
}

Json RunRestore(ControlRun& run, const LineBackup& file, const std::string& fileName, bool dryRun,
                const BackupProgress& progress) {
    std::vector<UnreadDevice> unread;
    const LineBackup line = ReadLineBackup(run, unread, progress);
    const std::vector<DevicePlan> plans = PlanRestore(file, line, unread);
    Json planJson = Json::array();
    for (const DevicePlan& plan : plans) planJson.push_back(plan.ToJson());
    Json summary = Json::object();
    for (RestoreState state :
         {RestoreState::Unchanged, RestoreState::Changed, RestoreState::Replaced,
          RestoreState::Missing, RestoreState::New, RestoreState::Unreadable})
        summary[RestoreStateName(state)] = Count(plans, state);
    Json document = {
        {"file", fileName}, {"dryRun", dryRun}, {"plan", planJson}, {"summary", summary}};
    if (dryRun) return document;

    const Language language = run.Control().GetContext().messages.GetLanguage();
    std::string planText;
    for (const DevicePlan& plan : plans)
        if (plan.Writes()) planText += plan.Text() + "\n";
    Json written = Json::array();
    bool allTaken = true;
    if (!planText.empty()) {
        // Nothing is sent before the user has seen what will change.
        const MsgResult answer = run.Control().GetContext().dialogs.MessageBox(
            {HostText(language, "Restoring %1 changes these devices:", {fileName}) + "\r\n" +
                 planText + HostText(language, "Send these changes?"),
             MsgButtons::YesNo, MsgIcon::Question, HostText(language, "Restore line")});
        if (answer != MsgResult::Yes) {
            document["written"] = written;
            throw CommandFailed("the restore was not confirmed; nothing was sent", document);
        }
        for (const DevicePlan& plan : plans) {
            if (!plan.Writes()) continue;
            Json entry = {{"shortAddress", plan.shortAddress}};
            try {
                const std::vector<std::string> missed = ApplyDevicePlan(run, plan);
                entry["notTaken"] = missed;
                allTaken = allTaken && missed.empty();
            } catch (const CommandFailed& failure) {
                entry["error"] = failure.what();
                allTaken = false;
            }
            written.push_back(entry);
        }
    }
    document["written"] = written;
    // A restore that leaves the line short of the file says so with its exit code; new devices
    // are the line's own business.
    std::vector<int> missing;
    std::vector<int> notRead;
    for (const DevicePlan& plan : plans) {
        if (plan.state == RestoreState::Missing) missing.push_back(plan.shortAddress);
        if (plan.state == RestoreState::Unreadable) notRead.push_back(plan.shortAddress);
    }
    std::string problem;
    if (!allTaken) problem = "some devices did not take what was sent (see \"written\")";
    if (!notRead.empty())
        problem += std::string(problem.empty() ? "" : "; ") + "the device(s) " +
                   NumberList(notRead) + " could not be read and were left as they are";
    if (!missing.empty())
        problem += std::string(problem.empty() ? "" : "; ") + "nothing answers at " +
                   NumberList(missing) + " (a failed gear: zd4270 replace --short A --backup FILE)";
    if (!problem.empty()) throw CommandFailed(problem, document);
    return document;
}

}  // namespace zd
