// Restoring a line from its backup: the plan device by device, and its writes through the engine.
#include <algorithm>
#include <set>

#include "link/Commands.h"
#include "maintenance/DeviceJson.h"
#include "maintenance/DeviceSettings.h"
#include "maintenance/LineBackup.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// The Variables page's rows that restoring writes: the levels and the fade. The actual level is
// where the lamp stands now, not a setting; the rest is the gear's own.
constexpr int kPowerOnLevel = 1;
constexpr int kSystemFailureLevel = 2;
constexpr int kMinLevel = 3;
constexpr int kMaxLevel = 4;
constexpr int kFadeRate = 5;
constexpr int kFadeTime = 6;

std::string LevelText(int level) {
    return level == kDaliMask ? "mask" : std::to_string(level);
}

int Count(const std::vector<DevicePlan>& plans, RestoreState state) {
    return static_cast<int>(std::count_if(plans.begin(), plans.end(),
                                          [&](const DevicePlan& p) { return p.state == state; }));
}

// Where the backup and the line disagree beyond the settings, for the plan and the question.
std::vector<std::string> Mismatches(const LineBackup& file, const LineBackup& line,
                                    std::int32_t position, const std::vector<DevicePlan>& plans,
                                    Language language) {
    std::vector<std::string> found;
    const Json& saved = file.terminal.contains("position") ? file.terminal.at("position") : Json();
    if (saved.is_number_integer() && saved.get<std::int64_t>() != position) {
        found.push_back(HostText(language,
                                 "the backup was made at terminal position %1, this terminal is "
                                 "at position %2",
                                 {saved.dump(), std::to_string(position)}));
    }
    if (Count(plans, RestoreState::Replaced) > 0 && Count(plans, RestoreState::Unchanged) == 0 &&
        Count(plans, RestoreState::Changed) == 0) {
        found.push_back(HostText(language,
                                 "no random address of the backup matches a gear on the line: %1 "
                                 "of its addresses are held by other gear",
                                 {std::to_string(Count(plans, RestoreState::Replaced))}));
    }
    for (const DeviceBackup& want : file.devices) {
        const DeviceBackup* now = line.Find(want.shortAddress);
        if (now && now->deviceType != want.deviceType) {
            found.push_back(
                HostText(language, "address %1: device type %2 in the backup, %3 on the line",
                         {std::to_string(want.shortAddress), std::to_string(want.deviceType),
                          std::to_string(now->deviceType)}));
        }
    }
    return found;
}

}  // namespace

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
    for (const Json& change : colour.ToJson()) changes.push_back(change);
    if (state != RestoreState::Missing && state != RestoreState::New &&
        state != RestoreState::Unreadable)
        entry["changes"] = changes;
    return entry;
}

std::string DevicePlan::Text(Language language) const {
    std::string text =
        HostText(language, "address %1: %2",
                 {std::to_string(shortAddress), HostText(language, RestoreStateName(state))});
    if (state == RestoreState::Replaced && fileRandomAddress && lineRandomAddress)
        text += " " + HostText(language, "(random address %1, was %2)",
                               {RandomAddressText(*lineRandomAddress),
                                RandomAddressText(*fileRandomAddress)});
    if (!reason.empty()) text += " (" + reason + ")";
    for (std::size_t i = 0; i < variables.size(); ++i) {
        text += "\n  " +
                std::string(kVariableNames[static_cast<std::size_t>(variables[i].first)].name) +
                " " + LevelText(variablesFrom[i]) + " -> " + LevelText(variables[i].second);
    }
    if (!addGroups.empty())
        text += "\n  " + HostText(language, "add to groups %1", {NumberList(addGroups)});
    if (!removeGroups.empty())
        text += "\n  " + HostText(language, "remove from groups %1", {NumberList(removeGroups)});
    for (std::size_t i = 0; i < scenes.size(); ++i) {
        text += "\n  " + HostText(language, "scene %1", {std::to_string(scenes[i].first)}) + " " +
                LevelText(scenesFrom[i]) + " -> " + LevelText(scenes[i].second);
    }
    return text + colour.Text();
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
    plan.colour = PlanColour(want.colour, now.colour, want.scenes);
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
        std::vector<VariableWrite> writes;
        for (const auto& [pos, value] : plan.variables)
            writes.push_back({DeviceVariableAt(pos), static_cast<std::uint8_t>(value), {}});
        const VariablesWriteReport report = SaveVariables(run, address, std::move(writes));
        const DeviceVariables read = ReadBackVariables(report);
        for (const auto& [pos, value] : plan.variables) {
            const std::optional<std::int32_t> stored = read.Value(DeviceVariableAt(pos));
            const std::string name = kVariableNames[static_cast<std::size_t>(pos)].name;
            if (!stored)
                missed.push_back(name + " (could not be read back)");
            else if (*stored != value)
                missed.push_back(name + " (keeps " + std::to_string(*stored) + ", not " +
                                 std::to_string(value) + ")");
        }
    }
    if (!plan.addGroups.empty() || !plan.removeGroups.empty()) {
        const DeviceGroups read =
            ReadBackGroups(ChangeGroups(run, address, plan.addGroups, plan.removeGroups));
        std::vector<int> wrong;
        for (int group : plan.addGroups)
            if (!read.Member(group).value_or(false)) wrong.push_back(group);
        for (int group : plan.removeGroups)
            if (read.Member(group).value_or(false)) wrong.push_back(group);
        for (int group : read.Unread())
            if (std::find(wrong.begin(), wrong.end(), group) == wrong.end()) wrong.push_back(group);
        std::sort(wrong.begin(), wrong.end());
        if (!wrong.empty()) missed.push_back("groups " + NumberList(wrong));
    }
    if (!plan.scenes.empty()) {
        std::vector<SceneWrite> writes;
        for (const auto& [scene, level] : plan.scenes)
            writes.push_back({scene, static_cast<std::uint8_t>(level), {}});
        const DeviceScenes read = ReadBackScenes(SaveSceneLevels(run, address, std::move(writes)));
        for (const auto& [scene, level] : plan.scenes)
            if (read.Level(scene) != std::optional<std::uint8_t>(static_cast<std::uint8_t>(level)))
                missed.push_back("scene " + std::to_string(scene));
    }
    for (std::string& colour : ApplyColourPlan(run, address, plan.colour))
        missed.push_back(std::move(colour));
    return missed;
}

RestoreResult RestoreLine(ControlRun& run, const LineBackup& file, const std::string& fileName,
                          bool dryRun, const BackupProgress& progress, bool acceptOtherGear) {
    RestoreResult result;
    std::vector<UnreadDevice> unread;
    const LineBackup line = ReadLineBackup(run, unread, progress);
    // A plan from part of the line would take the devices not read for missing ones.
    if (line.stopped) {
        result.stopped = true;
        return result;
    }
    result.plans = PlanRestore(file, line, unread);
    result.mismatches = Mismatches(file, line, run.Line().Terminal().position, result.plans,
                                   run.GetContext().messages.GetLanguage());
    result.otherGear = Count(result.plans, RestoreState::Replaced) > 0 &&
                       Count(result.plans, RestoreState::Unchanged) == 0 &&
                       Count(result.plans, RestoreState::Changed) == 0;
    if (dryRun || (result.otherGear && !acceptOtherGear)) return result;

    const Language language = run.GetContext().messages.GetLanguage();
    std::string planText;
    std::size_t total = 0;
    for (const DevicePlan& plan : result.plans) {
        if (!plan.Writes()) continue;
        planText += plan.Text(language) + "\n";
        ++total;
    }
    if (planText.empty()) {
        result.confirmed = true;
        return result;
    }
    std::string warning;
    for (const std::string& mismatch : result.mismatches) warning += mismatch + "\r\n";
    // Nothing is sent before the user has seen what will change.
    const bool yes = run.Confirm(
        {warning + HostText(language, "Restoring %1 changes these devices:", {fileName}) + "\r\n" +
             planText + HostText(language, "Send these changes?"),
         MsgButtons::YesNo, MsgIcon::Question, HostText(language, "Restore line")});
    if (!yes) return result;
    result.confirmed = true;
    const std::string what = HostText(language, "restore");
    for (const DevicePlan& plan : result.plans) {
        if (!plan.Writes()) continue;
        // Between two devices only: a device's writes (each DTR with its STORE) go out whole.
        if (result.stopped || run.StopRequested(what)) {
            result.stopped = true;
            result.notWritten.push_back(plan.shortAddress);
            continue;
        }
        if (progress)
            progress(DeviceStepProgress(ProgressStage::Writing, plan.shortAddress,
                                        result.written.size(), total));
        DeviceWritten written{plan.shortAddress, {}, std::nullopt};
        try {
            written.notTaken = ApplyDevicePlan(run, plan);
        } catch (const CommandFailed& failure) {
            written.error = failure.what();
        }
        result.written.push_back(std::move(written));
    }
    return result;
}

Json RunRestore(ControlRun& run, const LineBackup& file, const std::string& fileName, bool dryRun,
                const BackupProgress& progress, bool acceptOtherGear) {
    const RestoreResult result =
        RestoreLine(run, file, fileName, dryRun, progress, acceptOtherGear);
    const std::vector<DevicePlan>& plans = result.plans;
    Json planJson = Json::array();
    for (const DevicePlan& plan : plans) planJson.push_back(plan.ToJson());
    Json summary = Json::object();
    for (RestoreState state :
         {RestoreState::Unchanged, RestoreState::Changed, RestoreState::Replaced,
          RestoreState::Missing, RestoreState::New, RestoreState::Unreadable})
        summary[RestoreStateName(state)] = Count(plans, state);
    Json document = {
        {"file", fileName}, {"dryRun", dryRun}, {"plan", planJson}, {"summary", summary}};
    if (result.stopped && plans.empty()) {
        document["note"] = HostText(run.GetContext().messages.GetLanguage(),
                                    "stopped while the line was read: nothing was sent");
        return document;
    }
    if (!result.mismatches.empty()) document["mismatch"] = result.mismatches;
    if (dryRun) return document;
    if (result.otherGear && !acceptOtherGear) {
        throw CommandFailed(
            HostWording("no gear of the backup is on this line (no random address matches): it "
                        "may be another line's backup, or the line was addressed anew since; "
                        "nothing was sent. Check the plan (--dry-run) and confirm with "
                        "--other-gear",
                        {}),
            document)
            .ExitingWith(kExitRefused);
    }

    Json written = Json::array();
    bool allTaken = true;
    for (const DeviceWritten& device : result.written) {
        Json entry = {{"shortAddress", device.shortAddress}};
        if (device.error) {
            entry["error"] = *device.error;
            allTaken = false;
        } else {
            entry["notTaken"] = device.notTaken;
            allTaken = allTaken && device.notTaken.empty();
        }
        written.push_back(entry);
    }
    document["written"] = written;
    if (!result.confirmed)
        throw CommandFailed(HostWording("the restore was not confirmed; nothing was sent", {}),
                            document)
            .ExitingWith(kExitRefused);
    if (result.stopped) {
        // What the stop left undone, for a restore run again later.
        document["notWritten"] = result.notWritten;
        return document;
    }
    // A restore that leaves the line short of the file says so with its exit code; new devices
    // are the line's own business.
    std::vector<int> missing;
    std::vector<int> notRead;
    for (const DevicePlan& plan : plans) {
        if (plan.state == RestoreState::Missing) missing.push_back(plan.shortAddress);
        if (plan.state == RestoreState::Unreadable) notRead.push_back(plan.shortAddress);
    }
    const Language language = run.GetContext().messages.GetLanguage();
    std::string problem;
    const auto add = [&](const std::string& text) {
        problem += (problem.empty() ? "" : "; ") + text;
    };
    if (!allTaken)
        add(HostText(language, "some devices did not take what was sent (see \"written\")"));
    if (!notRead.empty())
        add(HostText(language, "the device(s) %1 could not be read and were left as they are",
                     {NumberList(notRead)}));
    if (!missing.empty())
        add(HostText(language,
                     "nothing answers at %1 (a failed gear: zd4270 replace --short A --backup "
                     "FILE)",
                     {NumberList(missing)}));
    if (!problem.empty()) throw CommandFailed(problem, document);
    return document;
}

}  // namespace zd
