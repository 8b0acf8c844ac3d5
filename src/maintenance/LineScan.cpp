#include "maintenance/LineScan.h"

#include "maintenance/DeviceJson.h"
#include "platform/HostTexts.h"

namespace zd {

void RunDeviceScan(ControlRun& run, const ScanOptions& options) {
    // A random addressing run that the terminal's firmware was still doing at the refresh (one
    // whose client was stopped, say) keeps the line busy: say why, and what helps.
    if (run.TerminalStillAddressing()) {
        throw CommandFailed(
            HostWording("the scan did not start: the terminal is still addressing (a random "
                        "addressing run in its firmware, started earlier, goes on by itself). "
                        "Wait until it has ended, about 3 s per gear, then scan again",
                        {}),
            {{"failedStep", "start"}});
    }
    const std::size_t mark = run.BoxCount();
    const Language language = run.GetContext().messages.GetLanguage();
    const std::string what = HostText(language, "scan");
    const bool dali = run.State().m_nOperationMode == kModeDali;
    // The scan replaces the device list that the window's pages, lists and tree point into.
    if (dali) run.DeviceListReplacing();
    const ScanReport report = RunDeviceScan(
        run.Line(), options,
        [&](const ProgressState& progress) {
            run.ShowProgress(
                {what,
                 HostText(language, "address %1", {std::to_string(progress.address.value_or(0))}),
                 progress.fraction, language});
        },
        [&] { return run.StopRequested(what); });
    if (dali) run.DeviceListReplaced();
    run.EndEngineRun();
    if (!report.outcome.Ok()) {
        // The refusal (DSI mode) with its notice, the lost connection with its error.
        throw CommandFailed(run.FailureText(report.outcome, mark));
    }
    FailOnErrorBox(run, mark);
}

}  // namespace zd
