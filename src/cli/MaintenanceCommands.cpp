// The commands of the years after hand-over: a backup of the whole line, its restore by short
// address, and the replacement of a failed gear by a new one that takes over the failed gear's
// address and settings from the backup.
#include <algorithm>
#include <filesystem>
#include <set>

#include "cli/DeviceCommands.h"
#include "cli/HeadlessCommands.h"
#include "cli/SiteCommands.h"
#include "link/Commands.h"
#include "maintenance/GearReplacement.h"
#include "maintenance/LineBackup.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// A backup's reading and a restore's writing on the progress line.
BackupProgress ShowMaintenance(HeadlessSession& session) {
    return [&session](const ProgressState& progress) {
        const Language language = session.Catalogue().GetLanguage();
        const bool reading = progress.stage == ProgressStage::Reading;
        session.ShowProgress(
            {HostText(language, reading ? "reading the line" : "restore"),
             HostText(language, "address %1", {std::to_string(progress.address.value_or(-1))}),
             progress.total == 0
                 ? 0.0
                 : static_cast<double>(progress.done) / static_cast<double>(progress.total),
             language});
    };
}

}  // namespace

PreparedCommand PrepareBackup(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    std::error_code error;
    if (std::filesystem::exists(path, error) && !arguments.Has("--yes"))
        throw UsageError("the backup %1 exists; replace it with --yes", {path});
    return [path](HeadlessSession& session) {
        std::vector<UnreadDevice> unread;
        LineBackup backup = ReadLineBackup(session, unread, ShowMaintenance(session));
        session.EndProgress();
        NameBackup(session, backup);
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
        // Part of a line is no backup of it: an older file stays as it was.
        if (backup.stopped) {
            document["note"] =
                HostText(session.Catalogue().GetLanguage(),
                         "stopped before every device was read: the backup was not written");
            throw CommandInterrupted{session.InterruptedBy(), document};
        }
        // What could be read is kept even when a device could not: it is all there is. A line
        // without devices is kept as such, so that a station's backup covers every terminal.
        SaveLineBackup(path, backup);
        if (backup.devices.empty() && unread.empty())
            document["warning"] = HostText(session.Catalogue().GetLanguage(),
                                           "no device answers on the line: the backup holds none");
        if (!unread.empty()) {
            std::vector<int> addresses;
            for (const UnreadDevice& device : unread) addresses.push_back(device.shortAddress);
            throw CommandFailed(
                HostWording("the device(s) %1 could not be read and are not in the backup",
                            {NumberList(addresses)}),
                document);
        }
        return document;
    };
}

PreparedCommand PrepareRestore(const CommandArguments& arguments) {
    const std::string path = arguments.words.at(0);
    const bool dryRun = arguments.Has("--dry-run");
    const bool otherGear = arguments.Has("--other-gear");
    if (!dryRun && !arguments.Has("--yes")) {
        throw UsageError(
            "restore writes levels, fade, groups and scenes to the devices; see the plan with "
            "--dry-run, then confirm with --yes",
            {});
    }
    return [=](HeadlessSession& session) {
        // The file is read before anything is sent: a bad one is refused with what is wrong. (A
        // station run names each terminal's file only as it prepares that terminal's run.)
        const LineBackup backup = LoadLineBackup(path, session.Catalogue().GetLanguage());
        session.Dialogs().SetAssumeYes(true);
        Json document =
            RunRestore(session, backup, path, dryRun, ShowMaintenance(session), otherGear);
        session.EndProgress();
        if (!dryRun) RestoreBackupNames(session, backup, document);
        if (session.InterruptedBy()) throw CommandInterrupted{session.InterruptedBy(), document};
        return document;
    };
}

PreparedCommand PrepareReplace(const CommandArguments& arguments) {
    const auto shortText = arguments.Value("--short");
    if (!shortText) throw UsageError("replace needs --short A, the failed gear's address", {});
    const int address = ParseNumber(*shortText, 0, kMaxShortAddress, "--short");
    const auto path = arguments.Value("--backup");
    if (!path) throw UsageError("replace needs --backup FILE, a backup of the line", {});
    const bool physical = arguments.Has("--physical");
    for (const char* option : {"--remove-lamp", "--lamp-delay", "--timeout"})
        if (arguments.Value(option) && !physical)
            throw UsageError("%1 goes with --physical", {std::string(option)});
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
        const LineBackup backup = LoadLineBackup(*path, session.Catalogue().GetLanguage());
        const Language language = session.Catalogue().GetLanguage();
        Json document = RunReplace(
            session, backup, *path, address, physical, [&] { return addressGear(session); },
            [&](ReplaceStep step) {
                session.ShowProgress({HostText(language, "replace"),
                                      HostText(language, ReplaceStepName(step)), std::nullopt,
                                      language});
            });
        session.EndProgress();
        if (session.InterruptedBy()) throw CommandInterrupted{session.InterruptedBy(), document};
        return document;
    };
}

}  // namespace zd
