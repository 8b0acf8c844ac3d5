// What the control shows of the devices on its line, read as JSON through the models a user
// looks at: the device list after a scan, and a device's variables, groups and scenes through
// the page that selecting its node in the device tree opens. Each reading fails with
// CommandFailed, carrying what it did read, where the control could not deliver it.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "host/ControlRun.h"
#include "host/LineScan.h"
#include "pages/configZD4270Variables.h"

namespace zd {

class configZD4270Groups;
class configZD4270Scenes;

// The device list as the control keeps it, by short address.
Json DevicesJson(const ModuleState& state);
// What the last addressing run or scan recovered from: kind, text, where and how often.
Json RecoveredJson(const configZD4270& control);
// CommandFailed with the first error box shown since mark, if there is one.
void FailOnErrorBox(const ControlRun& run, std::size_t mark, Json details = Json::object());

// Selects the device's node as the user does, after a scan when the device list (from the store
// or an earlier reading) does not know the device, and gives the page it opened. Made for
// configZD4270Variables, configZD4270Groups and configZD4270Scenes.
template <typename PageType>
PageType& OpenDevicePage(ControlRun& run, int address, const char* nodeType, PageKind kind,
                         bool opticalFeedback);

// Why nothing could be read from the device: nobody answers, or several do at once.
std::string NoAnswerReason(ControlRun& run, int address);
// A cell the page could not read shows a question mark ("?", "V?.?", "???? ????").
bool Unread(const std::string& text);

struct VariableName {
    const char* name;
    // The range the editor takes; 0..0: read only.
    int min;
    int max;
};
// The Variables page's rows by name, in the page's list order.
extern const std::array<VariableName, configZD4270Variables::kVariableCount> kVariableNames;

// What a page shows; unread counts (or lists) what it could not read.
Json VariablesJson(const configZD4270Variables& page, int& unread);
Json GroupsJson(const configZD4270Groups& page, std::vector<int>& unread);
Json ScenesJson(const configZD4270Scenes& page, std::vector<int>& unread);
// CommandFailed with document when unread of the variables could not be read.
void FailOnUnreadVariables(ControlRun& run, int address, int unread, const Json& document);
// CommandFailed when some of the groups or scenes (what: "groups", "scenes") could not be read;
// document then lists them as "unread".
void FailOnUnread(const char* what, const std::vector<int>& unread, Json& document);
// A scene level, "mask" for none.
Json LevelJson(int level);
// "1, 3, 7"
std::string NumberList(const std::vector<int>& numbers);

// The device's page read as it opens: {"shortAddress", "variables"|"groups"|"scenes"}, and
// CommandFailed with that document when anything could not be read.
Json ReadVariables(ControlRun& run, int address, bool opticalFeedback);
Json ReadGroups(ControlRun& run, int address, bool opticalFeedback);
Json ReadScenes(ControlRun& run, int address, bool opticalFeedback);

}  // namespace zd
