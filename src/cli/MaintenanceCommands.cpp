// The commands of the years after hand-over: a backup of the whole line, its restore by short
// address, and the replacement of a failed gear by a new one that takes over the failed gear's
// address and settings from the backup.
#include <algorithm>
#include <filesystem>
#include <set>

#include "cli/DeviceCommands.h"
#include "cli/HeadlessCommands.h"
#include "host/LineBackup.h"
#include "link/Commands.h"

namespace zd {

namespace {

// How many gear on the line have no short address, as far as one broadcast query can tell.
enum class NewGear { None, One, Several };

const char* NewGearName(NewGear found) {
    return found == NewGear::None ? "none" : found == NewGear::One ? "one" : "several";
}

// QUERY MISSING SHORT ADDRESS to all: one clean YES is one gear, a corrupt frame several; a
// silence is asked again, since a gear may lose an answer.
NewGear CountNewGear(HeadlessSession& session) {
    configZD4270& control = session.Control();
    for (int ask = 0; ask < 2; ++ask) {
        std::int16_t commandId = kCmdQueryMissingShortAddress;
        std::uint8_t data = 0;
        std::int16_t addrType = kAddrBroadcast;
        std::int16_t addr = 0;
        std::int16_t sent = -1;
        EventParams request;
        request.Bind("nCommandId", commandId).Bind("nData", data).Bind("nAddrType", addrType);
        request.Bind("nAddr", addr).Bind("nRet", sent);
        control.HandleObjectEvents("SendDALICommand", request);
        std::uint8_t answer = 0;
        std::int16_t received = -1;
        EventParams reply;
        reply.Bind("nData", answer).Bind("nRet", received);
        control.HandleObjectEvents("ReceiveDALIData", reply);
        if (received == kResultDone) return NewGear::One;
        if (received == kResultCorruptFrame) return NewGear::Several;
    }
    return NewGear::None;
}

std::set<int> ScannedAddresses(HeadlessSession& session) {
    std::set<int> addresses;
    for (const Json& device : DevicesJson(session.State()))
        addresses.insert(device.at("shortAddress").get<int>());
    return addresses;
}

// The scan that decides what is on the line asks twice, so that a gear that answers only every
// second question is not taken for a failed one.
void ScanTwice(HeadlessSession& session) {
    session.Control().chkScanAskTwice.SetChecked(true);
    RunDeviceScan(session);
    session.Control().chkScanAskTwice.SetChecked(false);
}

}  // namespace

PreparedCommand PrepareBackup(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    std::error_code error;
    if (std::filesystem::exists(path, error) && !arguments.Has("--yes"))
        throw UsageError("the backup " + path + " exists; replace it with --yes");
    return [path](HeadlessSession& session) {
        std::vector<UnreadDevice> unread;
        const LineBackup backup = ReadLineBackup(session, unread);
        Json devices = Json::array();
        for (const DeviceBackup& device : backup.devices) {
            devices.push_back({{"shortAddress", device.shortAddress},
                               {"randomAddress", RandomAddressText(device.randomAddress)},
                               {"deviceType", device.deviceType}});
        }
        Json unreadJson = Json::array();
        for (const UnreadDevice& device : unread)
            unreadJson.push_back(
                {{"shortAddress", device.shortAddress}, {"reason", device.reason}});
        Json document = {{"file", path}, {"devices", devices}, {"unread", unreadJson}};
        // What could be read is kept even when a device could not: it is all there is. A line
        // without devices is kept as such, so that a station's backup covers every terminal.
        SaveLineBackup(path, backup);
        if (backup.devices.empty() && unread.empty())
            document["warning"] = "no device answers on the line: the backup holds none";
        if (!unread.empty()) {
            std::vector<int> addresses;
            for (const UnreadDevice& device : unread) addresses.push_back(device.shortAddress);
            throw CommandFailed("the device(s) " + NumberList(addresses) +
                                    " could not be read and are not in the backup",
                                document);
        }
        return document;
    };
}

PreparedCommand PrepareRestore(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    const bool dryRun = arguments.Has("--dry-run");
    if (!dryRun && !arguments.Has("--yes")) {
        throw UsageError(
            "restore writes levels, fade, groups and scenes to the devices; see the plan with "
            "--dry-run, then confirm with --yes");
    }
    return [=](HeadlessSession& session) {
        // The file is read before anything is sent: a bad one is refused with what is wrong. (A
        // station run names each terminal's file only as it prepares that terminal's run.)
        const LineBackup backup = LoadLineBackup(path);
        session.Dialogs().SetAssumeYes(true);
        return RunRestore(session, backup, path, dryRun);
    };
}

PreparedCommand PrepareReplace(const CommandArguments& arguments) {
    const auto shortText = arguments.Value("--short");
    if (!shortText) throw UsageError("replace needs --short A, the failed gear's address");
    const int address = ParseNumber(*shortText, 0, kMaxShortAddress, "--short");
    const auto path = arguments.Value("--backup");
    if (!path) throw UsageError("replace needs --backup FILE, a backup of the line");
    const bool physical = arguments.Has("--physical");
    for (const char* option : {"--remove-lamp", "--lamp-delay", "--timeout"})
        if (arguments.Value(option) && !physical)
            throw UsageError(std::string(option) + " goes with --physical");
    // The addressing is one of the addressing commands, prepared here so that its options are
    // checked before anything is sent.
    CommandArguments addressing;
    addressing.values["--start"] = std::to_string(address);
    if (physical) {
        addressing.values["--lamps"] = "1";
        for (const char* option : {"--remove-lamp", "--lamp-delay", "--timeout"})
            if (const auto value = arguments.Value(option)) addressing.values[option] = *value;
    }
    const PreparedCommand addressGear =
        physical ? PrepareAddressPhysical(addressing) : PrepareAddressRandom(addressing);

    return [=](HeadlessSession& session) {
        const LineBackup backup = LoadLineBackup(*path);
        const DeviceBackup* saved = backup.Find(address);
        if (!saved) {
            std::vector<int> held;
            for (const DeviceBackup& device : backup.devices) held.push_back(device.shortAddress);
            throw ControlError("the backup " + *path + " holds no device at address " +
                               std::to_string(address) + " (it holds " +
                               (held.empty() ? std::string("none") : NumberList(held)) + ")");
        }
        const DeviceBackup wanted = *saved;
        Json document = {{"shortAddress", address},
                         {"backup", *path},
                         {"method", physical ? "physical selection" : "random addressing"}};
        // What is on the line decides whether this is a replacement at all.
        ScanTwice(session);
        const std::set<int> before = ScannedAddresses(session);
        std::vector<int> silent;
        for (const DeviceBackup& device : backup.devices)
            if (!before.count(device.shortAddress)) silent.push_back(device.shortAddress);
        const NewGear newGear = CountNewGear(session);
        document["found"] = {{"silent", silent},
                             {"newGear", NewGearName(newGear)},
                             {"devices", DevicesJson(session.State())}};
        if (before.count(address)) {
            throw CommandFailed("the device at address " + std::to_string(address) +
                                    " answers: there is nothing to replace",
                                document);
        }
        if (newGear == NewGear::None) {
            throw CommandFailed(
                "no gear without a short address is on the line: put the new "
                "gear in, power it, and try again",
                document);
        }
        if (!physical && newGear == NewGear::Several) {
            throw CommandFailed(
                "several gear without a short address are on the line: pick the "
                "new one by its lamp with --physical",
                document);
        }
        if (!physical && silent.size() > 1) {
            throw CommandFailed("the addresses " + NumberList(silent) +
                                    " of the backup are silent: the search cannot tell which "
                                    "one the new gear replaces; pick it by its lamp with "
                                    "--physical",
                                document);
        }

        try {
            document["addressing"] = addressGear(session);
        } catch (const CommandFailed& failure) {
            document["addressing"] = failure.Details();
            document["failedStep"] = "addressing";
            throw CommandFailed(failure.what(), document);
        }
        ScanTwice(session);
        const std::set<int> after = ScannedAddresses(session);
        std::vector<int> added;
        for (int a : after)
            if (!before.count(a) && a != address) added.push_back(a);
        document["devices"] = DevicesJson(session.State());
        if (!after.count(address)) {
            document["failedStep"] = "check";
            throw CommandFailed(
                "no gear answers at address " + std::to_string(address) + " after the addressing",
                document);
        }
        if (!added.empty()) {
            document["failedStep"] = "check";
            document["alsoAddressed"] = added;
            throw CommandFailed("more than one new gear took an address (" +
                                    std::to_string(address) + " and " + NumberList(added) +
                                    "); restore each from the backup or address it anew",
                                document);
        }

        // The new gear takes the failed one's settings, written as restore writes them.
        const DeviceBackup now = ReadDeviceBackup(session, address);
        const DevicePlan plan = PlanDevice(wanted, now);
        document["randomAddress"] = RandomAddressText(now.randomAddress);
        document["replacedRandomAddress"] = RandomAddressText(wanted.randomAddress);
        document["restored"] = plan.ToJson().value("changes", Json::array());
        const std::vector<std::string> missed = ApplyDevicePlan(session, plan);
        document["notTaken"] = missed;
        if (!missed.empty()) {
            document["failedStep"] = "restore";
            std::string list;
            for (const std::string& what : missed) list += (list.empty() ? "" : ", ") + what;
            throw CommandFailed("the new gear did not take " + list, document);
        }
        return document;
    };
}

}  // namespace zd
