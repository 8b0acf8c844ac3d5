// A whole line kept for later: every device's short and random address, device type, the twelve
// variables of the Variables page, its groups and scene levels, read by the engine (which changes
// nothing on the line), in a versioned JSON file (examples/backup/FORMAT.md). Restoring compares
// the line with the file device by device and writes back, through the engine, the levels,
// fade, groups and scenes that differ.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "connection/ControlRun.h"
#include "engine/DeviceReadout.h"
#include "engine/SiteFile.h"
#include "maintenance/ColourBackup.h"

namespace zd {

inline constexpr const char* kBackupFormat = "zd4270-line-backup";
inline constexpr int kBackupVersion = 1;
inline constexpr int kBackupGroupCount = 16;
inline constexpr int kBackupSceneCount = 16;

struct DeviceBackup {
    int shortAddress = 0;
    std::uint32_t randomAddress = 0;
    int deviceType = 0;
    // In the Variables page's order (kVariableNames).
    std::array<std::int32_t, kDeviceVariableCount> variables{};
    std::vector<int> groups;  // ascending
    // 255: mask (the device is not in the scene).
    std::array<int, kBackupSceneCount> scenes{};
    // The luminaire's name and place from the site file, when it has one (its name, room, floor
    // and note; the address fields are the device's).
    std::optional<SiteEntry> luminaire;
    // Device type 8: the colour temperature part.
    std::optional<ColourBackup> colour;
};

struct LineBackup {
    // Ascending short addresses, each once.
    std::vector<DeviceBackup> devices;
    // Where it was read: free text and numbers kept as they are, for people.
    Json terminal = Json::object();
    std::string created;
    // The reading was stopped (the host asked it to) before every device of the line was read.
    // Not part of the file.
    bool stopped = false;

    const DeviceBackup* Find(int shortAddress) const;
};

// A device the line has but that could not be read whole, and why.
struct UnreadDevice {
    int shortAddress = 0;
    std::string reason;
};

// How far a backup's reading or a restore's writing has come: the stage (Reading, Writing), the
// device at hand (address), and how many of how many devices are done.
using BackupProgress = ProgressFn;
// That progress of the device at address, done of total devices.
ProgressState DeviceStepProgress(ProgressStage stage, int address, std::size_t done,
                                 std::size_t total);

// One device as the engine reads it: its variables, then its groups, then its scenes. CommandFailed
// when anything could not be read.
DeviceBackup ReadDeviceBackup(ControlRun& run, int address);
// A scan, then every device found. Devices that could not be read whole go to unread. The host's
// StopRequested is asked between two devices; a stopped reading says so (LineBackup::stopped).
LineBackup ReadLineBackup(ControlRun& run, std::vector<UnreadDevice>& unread,
                          const BackupProgress& progress = {});

// The file's text, and back. Parsing is strict: a key it does not know, a value out of range, a
// short address twice or a format or version it does not read is refused with a ControlError
// naming the file, the place ("/devices/2/scenes/3") and what is wrong.
std::string WriteLineBackup(const LineBackup& backup);
LineBackup ParseLineBackup(const std::string& text, const std::string& fileName,
                           Language language = Language::English);
// Reads at most the backup's size limit. Throws ControlError.
LineBackup LoadLineBackup(const std::string& path, Language language = Language::English);
// Replaces path only once the whole file is written. Throws ControlError.
void SaveLineBackup(const std::string& path, const LineBackup& backup);

// "0x0A0B0C"
std::string RandomAddressText(std::uint32_t address);

// What restoring does to one short address.
enum class RestoreState {
    Unchanged,   // the same gear, settings as in the file
    Changed,     // the same gear, some settings differ and are written
    Replaced,    // another gear (other random address) holds the address: settings are written
    Missing,     // in the file, but nothing answers at the address
    New,         // on the line, not in the file: left as it is
    Unreadable,  // answers, but could not be read whole: left as it is
};
const char* RestoreStateName(RestoreState state);

struct DevicePlan {
    int shortAddress = 0;
    RestoreState state = RestoreState::Unchanged;
    std::optional<std::uint32_t> fileRandomAddress;
    std::optional<std::uint32_t> lineRandomAddress;
    std::string reason;  // Unreadable
    // Variable writes in the order they are sent (pos in the page, value).
    std::vector<std::pair<int, int>> variables;
    // Current values, for the plan's "from".
    std::vector<int> variablesFrom;
    std::vector<int> addGroups;
    std::vector<int> removeGroups;
    std::vector<std::pair<int, int>> scenes;  // scene, level
    std::vector<int> scenesFrom;
    ColourPlan colour;

    bool Writes() const {
        return !variables.empty() || !addGroups.empty() || !removeGroups.empty() ||
               !scenes.empty() || colour.Writes();
    }
    Json ToJson() const;
    // One line per change, for the question before anything is sent.
    std::string Text(Language language = Language::English) const;
};

// The writes that make now hold want's levels, fade, groups and scenes. The minimum and maximum
// level go in the order that keeps minimum <= maximum on the way.
DevicePlan PlanDevice(const DeviceBackup& want, const DeviceBackup& now);
// Every short address of the file and of the line.
std::vector<DevicePlan> PlanRestore(const LineBackup& file, const LineBackup& line,
                                    const std::vector<UnreadDevice>& unread);

// Sends the plan's writes to its device through the engine and reads them back; what the device
// did not take is listed ("max-level", "groups 3, 5", "scene 7"). Throws CommandFailed when the
// device cannot be written (DSI mode, nothing at the address, the connection lost).
std::vector<std::string> ApplyDevicePlan(ControlRun& run, const DevicePlan& plan);

// What one device of a restore was sent: what it did not take, or why it could not be written.
struct DeviceWritten {
    int shortAddress = 0;
    std::vector<std::string> notTaken;
    std::optional<std::string> error;
};

// How a restore went: the plan, whether the user confirmed it (a plan without writes needs no
// confirmation), the devices written in order, those the plan meant to write but that were not
// written because the host asked the restore to stop, and whether the line's reading was stopped
// before the plan was made (then nothing was written).
struct RestoreResult {
    std::vector<DevicePlan> plans;
    // Where the backup and the line disagree beyond the settings: another terminal position,
    // other device types at an address, no random address in common.
    std::vector<std::string> mismatches;
    // No gear of the backup is on the line (no random address matches, other gear hold its
    // addresses): written only when the caller accepts it, else nothing is sent.
    bool otherGear = false;
    bool confirmed = false;
    std::vector<DeviceWritten> written;
    std::vector<int> notWritten;
    bool stopped = false;
};

// The restore of a whole line: reads it, plans, and unless dryRun asks the context's dialogs
// (Yes/No, with the plan) before it writes anything. The host's StopRequested is asked between
// two devices, never within one device's writes.
RestoreResult RestoreLine(ControlRun& run, const LineBackup& file, const std::string& fileName,
                          bool dryRun, const BackupProgress& progress = {},
                          bool acceptOtherGear = false);
// The same as a document: the plan, a summary, and what was written (and, when stopped, what was
// not). CommandFailed (with that document) when the user said no or a device did not take what
// was sent or could not be read; a stopped restore returns its document.
Json RunRestore(ControlRun& run, const LineBackup& file, const std::string& fileName, bool dryRun,
                const BackupProgress& progress = {}, bool acceptOtherGear = false);

}  // namespace zd
