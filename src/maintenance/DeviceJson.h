// What the control knows of the devices on its line, as JSON: the device list after a scan, and a
// device's variables, groups and scenes read by the engine (engine/DeviceReadout.h), which sends
// nothing that changes the device; the writes (maintenance/DeviceSettings.h) read back into the
// same typed results. Each reading fails with CommandFailed, carrying what it did read, where the
// control could not deliver it.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "connection/ControlRun.h"
#include "engine/DeviceReadout.h"
#include "maintenance/LineScan.h"

namespace zd {

// The device list as the control keeps it, by short address.
Json DevicesJson(const ModuleState& state);
// What the last addressing run or scan recovered from: kind, text, where and how often.
// One recovery in language (the English text is the engine's own, which its logs keep).
std::string RecoveryText(Language language, const AddressingRecovery& recovery);
// What the line's last run recovered from, its texts in the context's language.
Json RecoveredJson(const AddressingLine& line);
// CommandFailed with the first error box shown since mark, if there is one.
void FailOnErrorBox(const ControlRun& run, std::size_t mark, Json details = Json::object());

// The terminal the engine reads: the control's link, state and surroundings. The one place where
// a reading takes them from the form, until the engine holds the terminal itself.
EngineTerminal RunTerminal(ControlRun& run);
// The control's message catalogue: the language of the captions.
const MessageCatalogue& RunMessages(ControlRun& run);

// Reads the device through the engine, after a scan when the device list (from the store or an
// earlier reading) does not know the address. CommandFailed when the terminal is not in DALI mode
// or nothing answers at the address in the scan. A lost connection is in the result, its outcome
// then carrying the error box the user saw.
DeviceReadout ReadKnownDevice(ControlRun& run, int address, const ReadoutOptions& options);
// The options that read only variables, groups or scenes.
ReadoutOptions VariablesOnly(bool opticalFeedback = false);
ReadoutOptions GroupsOnly(bool opticalFeedback = false);
ReadoutOptions ScenesOnly(bool opticalFeedback = false);

// Why nothing could be read from the device: nobody answers, or several do at once (as the device
// list or the reading found).
std::string NoAnswerReason(ControlRun& run, int address,
                           std::optional<DeviceAnswer> answer = std::nullopt);

struct VariableName {
    const char* name;
    // The range the editor takes; 0..0: read only.
    int min;
    int max;
};
// The Variables page's rows by name (DeviceVariableName), in the page's list order.
extern const std::array<VariableName, kDeviceVariableCount> kVariableNames;

// The documents' parts: each variable by name with the page's key, caption (in the control's
// language), value, text and converted text (null value and a question mark where it was not
// read); the groups the device belongs to; the scene levels ("mask": not in the scene; null: not
// read).
Json VariablesJson(const DeviceVariables& read, const MessageCatalogue& messages);
Json GroupsJson(const DeviceGroups& read);
Json ScenesJson(const DeviceScenes& read);
// CommandFailed with document when the reading lost the connection (the box's text).
void FailOnLostLink(const DeviceReadout& readout, const Json& document);
// CommandFailed with document when variables could not be read.
void FailOnUnreadVariables(ControlRun& run, int address, const DeviceVariables& read,
                           const Json& document, std::optional<DeviceAnswer> answer = std::nullopt);
// CommandFailed when some of the groups or scenes (what: "groups", "scenes") could not be read;
// document then lists them as "unread".
void FailOnUnread(const char* what, const std::vector<int>& unread, Json& document);
// A scene level, "mask" for none.
Json LevelJson(int level);
// "1, 3, 7"
std::string NumberList(const std::vector<int>& numbers);

// The device's variables, groups or scenes as the engine reads them: {"shortAddress",
// "variables"|"groups"|"scenes"}, and CommandFailed with that document when anything could not
// be read.
Json ReadVariables(ControlRun& run, int address, bool opticalFeedback);
Json ReadGroups(ControlRun& run, int address, bool opticalFeedback);
Json ReadScenes(ControlRun& run, int address, bool opticalFeedback);

}  // namespace zd
