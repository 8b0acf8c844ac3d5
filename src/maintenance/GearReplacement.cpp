#include "maintenance/GearReplacement.h"

#include <set>
#include <vector>

#include "engine/LineCommands.h"
#include "link/Commands.h"
#include "link/ModuleState.h"
#include "maintenance/DeviceJson.h"
#include "platform/Error.h"

namespace zd {

namespace {

const char* NewGearName(NewGear found) {
    return found == NewGear::None ? "none" : found == NewGear::One ? "one" : "several";
}

std::set<int> ScannedAddresses(ControlRun& run) {
    std::set<int> addresses;
    for (const Json& device : DevicesJson(run.State()))
        addresses.insert(device.at("shortAddress").get<int>());
    return addresses;
}

// The scan that decides what is on the line asks twice, so that a gear that answers only every
// second question is not taken for a failed one.
void ScanTwice(ControlRun& run) {
    RunDeviceScan(run, {true, false});
}

}  // namespace

const char* ReplaceStepName(ReplaceStep step) {
    switch (step) {
        case ReplaceStep::Scan:
            return "scan";
        case ReplaceStep::Addressing:
            return "addressing";
        case ReplaceStep::Check:
            return "check";
        case ReplaceStep::Restore:
            return "restore";
    }
    return "";
}

// QUERY MISSING SHORT ADDRESS through the engine's query: a frame that met another master goes
// out again, and an answer is read only after a frame that went out.
NewGear GearWithoutShortAddress(ControlRun& run) {
    EngineTerminal terminal = RunTerminal(run);
    const LineCommandResult result =
        QueryLine(terminal, {kCmdQueryMissingShortAddress, 0, AddressKind::Broadcast, 0});
    if (result.answer == QueryAnswer::Byte) return NewGear::One;
    if (result.answer == QueryAnswer::Several) return NewGear::Several;
    return NewGear::None;
}

NewGear CountNewGear(ControlRun& run) {
    for (int ask = 0; ask < 2; ++ask) {
        const NewGear found = GearWithoutShortAddress(run);
        if (found != NewGear::None) return found;
    }
    return NewGear::None;
}

Json RunReplace(ControlRun& run, const LineBackup& backup, const std::string& backupName,
                int address, bool byLamp, const std::function<Json()>& addressGear,
                const std::function<void(ReplaceStep)>& step) {
    // True when the host asks to stop before next begins; a step once begun runs to its end.
    const auto begin = [&](ReplaceStep next) {
        if (run.StopRequested("replace")) return false;
        if (step) step(next);
        return true;
    };
    const DeviceBackup* saved = backup.Find(address);
    if (!saved) {
        std::vector<int> held;
        for (const DeviceBackup& device : backup.devices) held.push_back(device.shortAddress);
        const Language language = run.GetContext().messages.GetLanguage();
        throw ControlError(
            HostText(language, "the backup %1 holds no device at address %2 (it holds %3)",
                     {backupName, std::to_string(address),
                      held.empty() ? HostText(language, "none") : NumberList(held)}));
    }
    const DeviceBackup wanted = *saved;
    Json document = {{"shortAddress", address},
                     {"backup", backupName},
                     {"method", byLamp ? "physical selection" : "random addressing"}};
    const auto stopBefore = [&](ReplaceStep next) {
        document["stoppedBefore"] = ReplaceStepName(next);
        return document;
    };
    // What is on the line decides whether this is a replacement at all.
    if (!begin(ReplaceStep::Scan)) return stopBefore(ReplaceStep::Scan);
    ScanTwice(run);
    const std::set<int> before = ScannedAddresses(run);
    std::vector<int> silent;
    for (const DeviceBackup& device : backup.devices)
        if (!before.count(device.shortAddress)) silent.push_back(device.shortAddress);
    const NewGear newGear = CountNewGear(run);
    document["found"] = {{"silent", silent},
                         {"newGear", NewGearName(newGear)},
                         {"devices", DevicesJson(run.State())}};
    if (before.count(address)) {
        throw CommandFailed(HostWording("the device at address %1 answers: there is nothing to "
                                        "replace",
                                        {std::to_string(address)}),
                            document);
    }
    if (newGear == NewGear::None) {
        throw CommandFailed(HostWording("no gear without a short address is on the line: put the "
                                        "new gear in, power it, and try again",
                                        {}),
                            document);
    }
    if (!byLamp && newGear == NewGear::Several) {
        throw CommandFailed(HostWording("several gear without a short address are on the line: "
                                        "pick the new one by its lamp (physical selection, "
                                        "--physical)",
                                        {}),
                            document);
    }
    if (!byLamp && silent.size() > 1) {
        throw CommandFailed(HostWording("the addresses %1 of the backup are silent: the search "
                                        "cannot tell which one the new gear replaces; pick it by "
                                        "its lamp (physical selection, --physical)",
                                        {NumberList(silent)}),
                            document);
    }

    if (!begin(ReplaceStep::Addressing)) return stopBefore(ReplaceStep::Addressing);
    try {
        document["addressing"] = addressGear();
    } catch (const CommandFailed& failure) {
        document["addressing"] = failure.Details();
        document["failedStep"] = "addressing";
        throw CommandFailed(failure, document);
    }
    // The new gear has its address now: the check and the restore run whatever comes.
    if (step) step(ReplaceStep::Check);
    ScanTwice(run);
    const std::set<int> after = ScannedAddresses(run);
    std::vector<int> added;
    for (int a : after)
        if (!before.count(a) && a != address) added.push_back(a);
    document["devices"] = DevicesJson(run.State());
    if (!after.count(address)) {
        document["failedStep"] = "check";
        throw CommandFailed(HostWording("no gear answers at address %1 after the addressing",
                                        {std::to_string(address)}),
                            document);
    }
    if (!added.empty()) {
        document["failedStep"] = "check";
        document["alsoAddressed"] = added;
        throw CommandFailed(HostWording("more than one new gear took an address (%1 and %2); "
                                        "restore each from the backup or address it anew",
                                        {std::to_string(address), NumberList(added)}),
                            document);
    }

    // The new gear takes the failed one's settings, written as restore writes them.
    if (step) step(ReplaceStep::Restore);
    const DeviceBackup now = ReadDeviceBackup(run, address);
    const DevicePlan plan = PlanDevice(wanted, now);
    document["randomAddress"] = RandomAddressText(now.randomAddress);
    document["replacedRandomAddress"] = RandomAddressText(wanted.randomAddress);
    document["restored"] = plan.ToJson().value("changes", Json::array());
    const std::vector<std::string> missed = ApplyDevicePlan(run, plan);
    document["notTaken"] = missed;
    if (!missed.empty()) {
        document["failedStep"] = "restore";
        std::string list;
        for (const std::string& what : missed) list += (list.empty() ? "" : ", ") + what;
        throw CommandFailed(HostWording("the new gear did not take %1", {list}), document);
    }
    return document;
}

}  // namespace zd
