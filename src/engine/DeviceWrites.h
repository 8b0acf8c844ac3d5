// One device written straight through the terminal link, typed: a variable stored through the DTR
// (the actual level as a direct arc power), groups joined and left, scene levels stored, each with
// the transactions it took and, where asked, a read-back through DeviceReadout that says what the
// device took.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "engine/DeviceReadout.h"
#include "engine/Outcome.h"
#include "engine/Terminal.h"
#include "link/Results.h"

namespace zd {

// One transaction of a write: the command, its data byte and how the link came back.
struct WriteTransaction {
    std::int16_t nCommandId = 0;
    std::uint8_t nData = 0;
    Result result = Result::Done;
};

// What the read-back says of one change.
enum class WriteCheck : std::uint8_t {
    // No read-back was asked for, or the change was not sent.
    NotChecked,
    // The device answers with the value written.
    Taken,
    // The device answers with another value (a limit of its own, a fade on the way).
    NotTaken,
    // The read-back got no answer for it.
    Unread,
};
const char* WriteCheckName(WriteCheck check);

// One change as it went: sent when every transaction of it came back done.
struct WriteResult {
    bool sent = false;
    std::vector<WriteTransaction> transactions;
    WriteCheck check = WriteCheck::NotChecked;
    // What the read-back found, where it found something.
    std::optional<std::int32_t> readBack;
};

// The variables a write can change: the five levels, the fade rate and the fade time.
bool DeviceVariableWritable(DeviceVariable variable);
// The range a written value takes: levels 0 to 255, fade rate 1 to 15, fade time 0 to 15.
struct WritableRange {
    int min = 0;
    int max = 0;
};
WritableRange DeviceVariableRange(DeviceVariable variable);

struct VariableWrite {
    DeviceVariable variable = DeviceVariable::MaxLevel;
    std::uint8_t value = 0;
    WriteResult result;
};

struct GroupWrite {
    int group = 0;
    // Join (ADD TO GROUP) or leave (REMOVE FROM GROUP).
    bool member = true;
    WriteResult result;
};

struct SceneWrite {
    int scene = 0;
    // 255 (MASK): the device leaves the scene.
    std::uint8_t level = 0;
    WriteResult result;
};

struct DeviceWriteOptions {
    // Reads the written part again afterwards and checks each change against it.
    bool readBack = true;
    // Waits this long before the read-back, when something was sent: a new actual level fades in
    // at the gear's fade time, and is read once it is there. The wait runs the scheduler's events
    // (its RunUntil), or is the caller's own (a front end that ends it on an interrupt).
    std::int64_t settleMs = 0;
    std::function<void(std::int64_t ms)> settle;
    // Scenes only: shows each scene on the lamp before it is stored, as someone picking the scene
    // and typing its level in the window's editor sees it: the level the scene held (from the
    // reading given), then the new one, each by direct arc power, none that repeats the level
    // sent last. lastShown is the level the editor held before the first scene.
    struct LampPreview {
        DeviceScenes held;
        std::uint8_t lastShown = 0;
        // The lamp's level is read first and set again after the last scene, so that a run
        // leaves the lamp as it found it (the page's editor leaves it at what it shows).
        bool putBack = false;
    };
    std::optional<LampPreview> scenePreview;
};

// How a write of one device ended. outcome: Refused (not in DALI mode, an address outside 0 to
// 63, a value the variable does not take; nothing was sent), CommunicationLost (the writing ended
// there), Incomplete (a change was not sent, not taken or could not be read back), or none.
template <typename Write>
struct DeviceWriteReport {
    int shortAddress = 0;
    // The changes asked for, in the order they were sent, each with its result.
    std::vector<Write> writes;
    // The read-back, where asked for and the writing got that far.
    std::optional<DeviceReadout> readBack;
    EngineOutcome outcome;
    // Scenes shown on the lamp: the level it had before (none when it could not be read) and
    // whether it went back to it at the end.
    std::optional<std::uint8_t> lampLevelBefore;
    bool lampLevelRestored = false;
};
using VariablesWriteReport = DeviceWriteReport<VariableWrite>;
using GroupsWriteReport = DeviceWriteReport<GroupWrite>;
using ScenesWriteReport = DeviceWriteReport<SceneWrite>;

// Stores each variable as the Variables page saves it: DATA TRANSFER REGISTER with the value, then
// STORE THE DTR AS ... (sent twice by the terminal), not sent when the DTR failed; the actual level
// by DIRECT ARC POWER. The read-back reads the variables.
VariablesWriteReport WriteVariables(EngineTerminal& terminal, int shortAddress,
                                    std::vector<VariableWrite> writes,
                                    const DeviceWriteOptions& options = {});
// ADD TO GROUP or REMOVE FROM GROUP for each change, in the order given. The read-back reads the
// groups.
GroupsWriteReport WriteGroups(EngineTerminal& terminal, int shortAddress,
                              std::vector<GroupWrite> writes,
                              const DeviceWriteOptions& options = {});
// DATA TRANSFER REGISTER with the level, then STORE THE DTR AS SCENE (not sent when the DTR
// failed), for each scene in the order given. The read-back reads the scenes. With a scene
// preview the lamp's level is read first and set again after the last scene shown.
ScenesWriteReport WriteScenes(EngineTerminal& terminal, int shortAddress,
                              std::vector<SceneWrite> writes,
                              const DeviceWriteOptions& options = {});

}  // namespace zd
