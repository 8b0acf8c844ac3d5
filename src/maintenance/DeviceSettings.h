// Writes of one device for the command line, restore and replace, through the engine: the part is
// read first (the values the write starts from, the fade time a new level takes), then written,
// then read back, so that each change says whether the device took it.
#pragma once

#include <vector>

#include "connection/ControlRun.h"
#include "engine/DeviceWrites.h"

namespace zd {

// The part as it is before a write, read as ReadKnownDevice reads it (a scan first when the device
// list does not know the address). CommandFailed when there is nothing to write to (DSI mode, no
// device at the address) or the connection was lost.
DeviceReadout ReadBeforeWrite(ControlRun& run, int address, const ReadoutOptions& options);

// Stores the variables; a new actual level is read back once it has faded in at the fade time
// read before.
VariablesWriteReport SaveVariables(ControlRun& run, int address, std::vector<VariableWrite> writes,
                                   bool opticalFeedback = false);
// Joins the groups of add and leaves those of remove; a group the device already is in (or, for
// remove, not in, as far as it could be read) is not sent.
GroupsWriteReport ChangeGroups(ControlRun& run, int address, const std::vector<int>& add,
                               const std::vector<int>& remove, bool opticalFeedback = false);
// Stores the scene levels (255: the device leaves the scene), the lamp showing each level first.
ScenesWriteReport SaveSceneLevels(ControlRun& run, int address, std::vector<SceneWrite> writes,
                                  bool opticalFeedback = false);

// The read-back's values, empty (all unread) where the writing lost the connection before it.
DeviceVariables ReadBackVariables(const VariablesWriteReport& report);
DeviceGroups ReadBackGroups(const GroupsWriteReport& report);
DeviceScenes ReadBackScenes(const ScenesWriteReport& report);

}  // namespace zd
