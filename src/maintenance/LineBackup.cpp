#include "maintenance/LineBackup.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

#include "link/Commands.h"
#include "link/ModuleState.h"
#include "maintenance/DeviceJson.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/HostTexts.h"

namespace zd {

ProgressState DeviceStepProgress(ProgressStage stage, int address, std::size_t done,
                                 std::size_t total) {
    ProgressState progress;
    progress.stage = stage;
    progress.address = static_cast<std::int16_t>(address);
    progress.done = static_cast<int>(done);
    progress.total = static_cast<int>(total);
    if (total > 0) progress.fraction = static_cast<double>(done) / static_cast<double>(total);
    return progress;
}

namespace {

constexpr std::size_t kVariableCount = kDeviceVariableCount;

// Rows of the Variables page.
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

std::string NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

// ---- strict reading

[[noreturn]] void Fail(const std::string& file, const std::string& where, const std::string& reason,
                       Language language) {
    throw ControlError(where.empty() ? file + ": " + reason
                                     : HostText(language, "%1: at %2: %3", {file, where, reason}),
                       kLibraryTitle, kErrAutomation);
}

// A backup is a few levels deep (document, devices, device, its groups); a value nested far
// deeper is no backup, and copying or printing it would recurse once per level.
constexpr int kMaxNesting = 32;
constexpr std::size_t kExcerptLength = 40;

// A value as a message shows it: a short one whole, a long one cut, lists and objects by kind.
std::string Excerpt(const Json& value, Language language) {
    if (value.is_object()) return HostText(language, "an object");
    if (value.is_array()) return HostText(language, "a list");
    std::string text = value.dump(-1, ' ', true, Json::error_handler_t::replace);
    if (text.size() > kExcerptLength) text = text.substr(0, kExcerptLength) + "...";
    return text;
}

// nlohmann keeps the last of two equal keys; a file with a key twice is ambiguous.
struct DuplicateKeys {
    std::string file;
    Language language;
    std::vector<std::set<std::string>> objects;
    bool operator()(int depth, Json::parse_event_t event, Json& parsed) {
        if (depth > kMaxNesting) {
            Fail(file, "",
                 HostText(language, "values are nested deeper than %1 levels",
                          {std::to_string(kMaxNesting)}),
                 language);
        }
        switch (event) {
            case Json::parse_event_t::object_start:
                objects.emplace_back();
                break;
            case Json::parse_event_t::object_end:
                if (!objects.empty()) objects.pop_back();
                break;
            case Json::parse_event_t::key:
                if (!objects.empty() && !objects.back().insert(parsed.get<std::string>()).second)
                    Fail(file, "",
                         HostText(language, "the key %1 comes twice", {Excerpt(parsed, language)}),
                         language);
                break;
            default:
                break;
        }
        return true;
    }
};

class Reader {
  public:
    Reader(std::string file, Language language) : m_file(std::move(file)), m_language(language) {}

    [[noreturn]] void Fail(const std::string& where, const std::string& reason) const {
        zd::Fail(m_file, where, reason, m_language);
    }
    // A reason in the reader's language.
    std::string T(std::string_view english,
                  std::initializer_list<std::string_view> args = {}) const {
        return HostText(m_language, english, args);
    }
    std::string Excerpt(const Json& value) const { return zd::Excerpt(value, m_language); }
    void Object(const Json& value, const std::string& where,
                std::initializer_list<const char*> required,
                std::initializer_list<const char*> optional = {}) const {
        if (!value.is_object()) Fail(where, T("an object is expected"));
        for (const auto& entry : value.items()) {
            const std::string& key = entry.key();
            const auto known = [&](auto list) {
                return std::any_of(list.begin(), list.end(),
                                   [&](const char* name) { return key == name; });
            };
            if (!known(required) && !known(optional))
                Fail(where, T("unknown key %1", {Excerpt(key)}));
        }
        for (const char* key : required)
            if (!value.contains(key)) Fail(where, T("the key \"%1\" is missing", {key}));
    }
    int Integer(const Json& value, const std::string& where, std::int64_t low,
                std::int64_t high) const {
        if (!value.is_number_integer() || value.get<std::int64_t>() < low ||
            value.get<std::int64_t>() > high) {
            Fail(where, T("a whole number %1 to %2 is expected, not %3",
                          {std::to_string(low), std::to_string(high), Excerpt(value)}));
        }
        return static_cast<int>(value.get<std::int64_t>());
    }
    std::uint32_t RandomAddress(const Json& value, const std::string& where) const {
        const std::string text = value.is_string() ? value.get<std::string>() : "";
        const bool hex = text.size() == 8 && text.rfind("0x", 0) == 0 &&
                         text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
        if (!hex) Fail(where, T("a random address \"0x\" and six hexadecimal digits is expected"));
        return static_cast<std::uint32_t>(std::stoul(text.substr(2), nullptr, 16));
    }
    int Level(const Json& value, const std::string& where) const {
        if (value == "mask") return kDaliMask;
        if (!value.is_number_integer() || value.get<std::int64_t>() < 0 ||
            value.get<std::int64_t>() > 254)
            Fail(where, T("a level 0 to 254 or \"mask\" is expected, not %1", {Excerpt(value)}));
        return value.get<int>();
    }

    DeviceBackup Device(const Json& value, const std::string& where) const {
        Object(value, where,
               {"shortAddress", "randomAddress", "deviceType", "variables", "groups", "scenes"},
               {"luminaire", "colour"});
        DeviceBackup device;
        device.shortAddress =
            Integer(value.at("shortAddress"), where + "/shortAddress", 0, kMaxShortAddress);
        device.randomAddress = RandomAddress(value.at("randomAddress"), where + "/randomAddress");
        device.deviceType = Integer(value.at("deviceType"), where + "/deviceType", 0, 255);

        const Json& variables = value.at("variables");
        const std::string vWhere = where + "/variables";
        if (!variables.is_object()) Fail(vWhere, T("an object is expected"));
        for (const auto& entry : variables.items()) {
            const std::string& key = entry.key();
            const bool known = std::any_of(kVariableNames.begin(), kVariableNames.end(),
                                           [&](const VariableName& v) { return key == v.name; });
            if (!known) Fail(vWhere, T("unknown variable %1", {Excerpt(key)}));
        }
        for (std::size_t pos = 0; pos < kVariableCount; ++pos) {
            const char* name = kVariableNames[pos].name;
            if (!variables.contains(name))
                Fail(vWhere, T("the variable \"%1\" is missing", {name}));
            device.variables[pos] = Integer(variables.at(name), vWhere + "/" + name,
                                            VariableMin(pos), VariableMax(pos));
        }
        if (static_cast<std::uint32_t>(device.variables[kRandomAddress]) != device.randomAddress)
            Fail(vWhere + "/random-address", T("differs from the device's randomAddress"));
        if (device.variables[kDeviceType] != device.deviceType)
            Fail(vWhere + "/device-type", T("differs from the device's deviceType"));

        const Json& groups = value.at("groups");
        if (!groups.is_array()) Fail(where + "/groups", T("a list of groups is expected"));
        for (std::size_t i = 0; i < groups.size(); ++i) {
            const std::string gWhere = where + "/groups/" + std::to_string(i);
            const int group = Integer(groups[i], gWhere, 0, kBackupGroupCount - 1);
            if (std::find(device.groups.begin(), device.groups.end(), group) != device.groups.end())
                Fail(gWhere, T("group %1 comes twice", {std::to_string(group)}));
            device.groups.push_back(group);
        }
        std::sort(device.groups.begin(), device.groups.end());

        const Json& scenes = value.at("scenes");
        const std::string sWhere = where + "/scenes";
        if (!scenes.is_object())
            Fail(sWhere, T("an object of the scenes \"0\" to \"15\" is expected"));
        for (const auto& [key, item] : scenes.items()) {
            bool known = false;
            for (int scene = 0; scene < kBackupSceneCount; ++scene)
                known = known || key == std::to_string(scene);
            if (!known) Fail(sWhere, T("unknown scene %1", {Excerpt(key)}));
        }
        for (int scene = 0; scene < kBackupSceneCount; ++scene) {
            const std::string key = std::to_string(scene);
            if (!scenes.contains(key)) Fail(sWhere, T("the scene \"%1\" is missing", {key}));
            device.scenes[static_cast<std::size_t>(scene)] =
                Level(scenes.at(key), sWhere + "/" + key);
        }
        if (value.contains("luminaire")) device.luminaire = Luminaire(value.at("luminaire"), where);
        if (value.contains("colour")) {
            if (device.deviceType != kDeviceTypeColour)
                Fail(where + "/colour", "only a device of type 8 has a colour temperature");
            device.colour = ParseColourBackup(
                value.at("colour"), where + "/colour",
                [this](const std::string& at, const std::string& why) { Fail(at, why); });
        }
        return device;
    }

    SiteEntry Luminaire(const Json& value, const std::string& device) const {
        const std::string where = device + "/luminaire";
        Object(value, where, {"name"}, {"room", "floor", "note"});
        SiteEntry entry;
        const std::pair<const char*, std::string*> texts[] = {{"name", &entry.name},
                                                              {"room", &entry.room},
                                                              {"floor", &entry.floor},
                                                              {"note", &entry.note}};
        for (const auto& [key, target] : texts) {
            if (!value.contains(key)) continue;
            if (!value.at(key).is_string()) Fail(where + "/" + key, "a text is expected");
            *target = value.at(key).get<std::string>();
            if (const auto refusal = SiteTextRefusal(*target)) Fail(where + "/" + key, *refusal);
        }
        return entry;
    }

  private:
    std::string m_file;
    Language m_language;
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
    Json json = {{"shortAddress", device.shortAddress},
                 {"randomAddress", RandomAddressText(device.randomAddress)},
                 {"deviceType", device.deviceType},
                 {"variables", variables},
                 {"groups", device.groups},
                 {"scenes", scenes}};
    if (device.luminaire) {
        Json luminaire = {{"name", device.luminaire->name}};
        if (!device.luminaire->room.empty()) luminaire["room"] = device.luminaire->room;
        if (!device.luminaire->floor.empty()) luminaire["floor"] = device.luminaire->floor;
        if (!device.luminaire->note.empty()) luminaire["note"] = device.luminaire->note;
        json["luminaire"] = luminaire;
    }
    if (device.colour) json["colour"] = ColourBackupJson(*device.colour);
    return json;
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
    // Part by part, as the pages were read: a device whose variables cannot be read is not asked
    // for its groups and scenes.
    const DeviceReadout variables = ReadKnownDevice(run, address, VariablesOnly());
    document["variables"] = VariablesJson(*variables.variables, RunMessages(run));
    FailOnLostLink(variables, document);
    FailOnUnreadVariables(run, address, *variables.variables, document, variables.answer);
    for (std::size_t pos = 0; pos < kVariableCount; ++pos)
        device.variables[pos] =
            variables.variables->Value(DeviceVariableAt(static_cast<int>(pos))).value_or(0);
    device.randomAddress = static_cast<std::uint32_t>(device.variables[kRandomAddress]);
    device.deviceType = device.variables[kDeviceType];

    const DeviceReadout groups = ReadKnownDevice(run, address, GroupsOnly());
    document["groups"] = GroupsJson(*groups.groups);
    FailOnLostLink(groups, document);
    FailOnUnread("groups", groups.groups->Unread(), document);
    device.groups = groups.groups->Groups();

    const DeviceReadout scenes = ReadKnownDevice(run, address, ScenesOnly());
    document["scenes"] = ScenesJson(*scenes.scenes);
    FailOnLostLink(scenes, document);
    FailOnUnread("scenes", scenes.scenes->Unread(), document);
    for (int scene = 0; scene < kBackupSceneCount; ++scene)
        device.scenes[static_cast<std::size_t>(scene)] = *scenes.scenes->Level(scene);
    if (device.deviceType == kDeviceTypeColour) device.colour = ReadColourBackup(run, address);
    return device;
}

LineBackup ReadLineBackup(ControlRun& run, std::vector<UnreadDevice>& unread,
                          const BackupProgress& progress) {
    RunDeviceScan(run);
    LineBackup backup;
    backup.created = NowUtc();
    backup.terminal = {{"position", run.Line().Terminal().position},
                       {"firmwareVersion", "0x" + [&] {
                            char text[8];
                            std::snprintf(text, sizeof text, "%04X",
                                          static_cast<unsigned>(run.State().m_nFirmwareVersion));
                            return std::string(text);
                        }()}};
    const Json found = DevicesJson(run.State());
    unread.clear();
    std::size_t done = 0;
    const std::string what = HostText(run.GetContext().messages.GetLanguage(), "backup");
    for (const Json& entry : found) {
        const int address = entry.at("shortAddress").get<int>();
        if (run.StopRequested(what)) {
            backup.stopped = true;
            break;
        }
        if (progress)
            progress(DeviceStepProgress(ProgressStage::Reading, address, done++, found.size()));
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

LineBackup ParseLineBackup(const std::string& text, const std::string& fileName,
                           Language language) {
    Json document;
    try {
        document = Json::parse(text, DuplicateKeys{fileName, language, {}});
    } catch (const Json::parse_error& error) {
        std::string reason = error.what();
        const std::size_t colon = reason.find(": ");
        if (colon != std::string::npos) reason = reason.substr(colon + 2);
        // The parser quotes what it read last, which may be long.
        if (reason.size() > 4 * kExcerptLength)
            reason = reason.substr(0, 4 * kExcerptLength) + "...";
        throw ControlError(
            fileName + ":" + Place(text, error.byte == 0 ? 0 : error.byte - 1) + ": " + reason,
            kLibraryTitle, kErrAutomation);
    } catch (const Json::exception& error) {
        // The parser may quote the text it stopped at (a number too large), which may be long.
        std::string what = error.what();
        what = what.substr(what.find("] ") + 2);
        if (what.size() > 4 * kExcerptLength) what = what.substr(0, 4 * kExcerptLength) + "...";
        Fail(fileName, "", what, language);
    }
    const Reader reader(fileName, language);
    // What the file is and its version come first: a newer version may bring keys of its own.
    if (!document.is_object() || document.value("format", Json()) != kBackupFormat) {
        reader.Fail("/format", reader.T("this is no line backup (\"format\": \"%1\" is expected)",
                                        {kBackupFormat}));
    }
    if (!document.contains("version"))
        reader.Fail("/", reader.T("the key \"%1\" is missing", {"version"}));
    const int version = reader.Integer(document.at("version"), "/version", 1, 1'000'000);
    if (version > kBackupVersion) {
        reader.Fail("/version",
                    reader.T("version %1 is newer than this program reads (%2)",
                             {std::to_string(version), std::to_string(kBackupVersion)}));
    }
    reader.Object(document, "/", {"format", "version", "devices"}, {"created", "terminal"});
    LineBackup backup;
    if (document.contains("created")) {
        if (!document.at("created").is_string())
            reader.Fail("/created", reader.T("a text is expected"));
        backup.created = document.at("created").get<std::string>();
    }
    if (document.contains("terminal")) {
        if (!document.at("terminal").is_object())
            reader.Fail("/terminal", reader.T("an object is expected"));
        backup.terminal = document.at("terminal");
    }
    const Json& devices = document.at("devices");
    if (!devices.is_array()) reader.Fail("/devices", reader.T("a list of devices is expected"));
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const std::string where = "/devices/" + std::to_string(i);
        DeviceBackup device = reader.Device(devices[i], where);
        if (backup.Find(device.shortAddress)) {
            reader.Fail(where + "/shortAddress", reader.T("short address %1 comes twice",
                                                          {std::to_string(device.shortAddress)}));
        }
        backup.devices.push_back(std::move(device));
    }
    std::sort(backup.devices.begin(), backup.devices.end(),
              [](const DeviceBackup& a, const DeviceBackup& b) {
                  return a.shortAddress < b.shortAddress;
              });
    return backup;
}

LineBackup LoadLineBackup(const std::string& path, Language language) {
    return ParseLineBackup(ReadInputFile(path, kBackupInput), path, language);
}

void SaveLineBackup(const std::string& path, const LineBackup& backup) {
    WriteFileAtomically(path, WriteLineBackup(backup));
}

}  // namespace zd
