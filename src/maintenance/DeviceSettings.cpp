#include "maintenance/DeviceSettings.h"

#include <cmath>

#include "maintenance/DeviceJson.h"

namespace zd {

namespace {

// How long a fade to a new level takes at fade time X: 0.5 s times the square root of 2 to the
// X, none at 0 (under 0.7 s), and a little more for the line.
std::int64_t FadeMs(std::int32_t fadeTime) {
    if (fadeTime <= 0 || fadeTime > 15) return 0;
    return static_cast<std::int64_t>(500.0 * std::sqrt(std::pow(2.0, fadeTime))) + 200;
}

// The write's refusal or lost connection as the command's failure; an incomplete write is the
// caller's to tell, change by change.
template <typename Report>
void FailOnWriteError(const Report& report) {
    if (report.outcome.failure == EngineFailure::Refused ||
        report.outcome.failure == EngineFailure::Error)
        throw CommandFailed(report.outcome.text);
}

DeviceWriteOptions WriteOptions(ControlRun& run) {
    DeviceWriteOptions options;
    options.settle = [&run](std::int64_t ms) { run.RunUntil([] { return false; }, ms); };
    return options;
}

}  // namespace

DeviceReadout ReadBeforeWrite(ControlRun& run, int address, const ReadoutOptions& options) {
    DeviceReadout before = ReadKnownDevice(run, address, options);
    if (before.outcome.failure == EngineFailure::CommunicationLost ||
        before.outcome.failure == EngineFailure::Error)
        throw CommandFailed(before.outcome.text);
    return before;
}

VariablesWriteReport SaveVariables(ControlRun& run, int address, std::vector<VariableWrite> writes,
                                   bool opticalFeedback) {
    const DeviceReadout before = ReadBeforeWrite(run, address, VariablesOnly(opticalFeedback));
    DeviceWriteOptions options = WriteOptions(run);
    for (const VariableWrite& write : writes) {
        if (write.variable == DeviceVariable::ActualLevel) {
            options.settleMs =
                FadeMs(before.variables->Value(DeviceVariable::FadeTime).value_or(0));
        }
    }
    EngineTerminal terminal = RunTerminal(run);
    VariablesWriteReport report = WriteVariables(terminal, address, std::move(writes), options);
    FailOnWriteError(report);
    return report;
}

GroupsWriteReport ChangeGroups(ControlRun& run, int address, const std::vector<int>& add,
                               const std::vector<int>& remove, bool opticalFeedback) {
    const DeviceReadout before = ReadBeforeWrite(run, address, GroupsOnly(opticalFeedback));
    std::vector<GroupWrite> writes;
    for (int group : add)
        if (!before.groups->Member(group).value_or(false)) writes.push_back({group, true, {}});
    for (int group : remove)
        if (before.groups->Member(group).value_or(false)) writes.push_back({group, false, {}});
    EngineTerminal terminal = RunTerminal(run);
    GroupsWriteReport report = WriteGroups(terminal, address, std::move(writes), WriteOptions(run));
    FailOnWriteError(report);
    return report;
}

ScenesWriteReport SaveSceneLevels(ControlRun& run, int address, std::vector<SceneWrite> writes,
                                  bool opticalFeedback) {
    const DeviceReadout before = ReadBeforeWrite(run, address, ScenesOnly(opticalFeedback));
    DeviceWriteOptions options = WriteOptions(run);
    options.scenePreview =
        DeviceWriteOptions::LampPreview{*before.scenes, before.scenes->Level(0).value_or(0), true};
    EngineTerminal terminal = RunTerminal(run);
    ScenesWriteReport report = WriteScenes(terminal, address, std::move(writes), options);
    FailOnWriteError(report);
    return report;
}

DeviceVariables ReadBackVariables(const VariablesWriteReport& report) {
    return report.readBack && report.readBack->variables ? *report.readBack->variables
                                                         : DeviceVariables{};
}

DeviceGroups ReadBackGroups(const GroupsWriteReport& report) {
    return report.readBack && report.readBack->groups ? *report.readBack->groups : DeviceGroups{};
}

DeviceScenes ReadBackScenes(const ScenesWriteReport& report) {
    return report.readBack && report.readBack->scenes ? *report.readBack->scenes : DeviceScenes{};
}

}  // namespace zd
