#include "frame/ControlProgress.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "addressing/AddressingFrame.h"

namespace zd {

namespace {

std::string Trimmed(const std::string& caption) {
    std::string text = caption;
    while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
    return text;
}

std::string Counted(int count, const char* what) {
    return std::to_string(count) + " " + what;
}

}  // namespace

ProgressState ControlProgress(const configZD4270& control) {
    ProgressState state;
    if (control.m_bScanning) {
        state.what = "scan";
        state.detail = "address " + std::to_string(control.m_nScanAddress);
        state.fraction = control.m_nScanAddress / 64.0;
    } else if (control.m_bRndAddrRunning) {
        state.what = "random addressing";
        if (control.lstRndAddrView.Visible()) {
            // The control finds the gear in the order of their random addresses, which are spread
            // evenly: how far the search has come through the random address space is how far it
            // has come through the gear.
            state.detail = Counted(control.lstRndAddrView.ItemCount(), "addressed");
            state.fraction = static_cast<double>(control.m_addressingState.lSearchLow) /
                             (kSearchAddressMax + 1.0);
        } else {
            // The terminal searches on its own and tells nothing until it is done.
            state.detail = Trimmed(control.lblRndAddrStatus.Caption());
        }
    } else if (control.m_bPhySelRunning) {
        state.what = "physical selection";
        state.detail = Counted(control.lstPhySelView.ItemCount(), "addressed");
        const std::string status = Trimmed(control.lblPhySelStatus.Caption());
        if (!status.empty()) state.detail += ", " + status;
    } else if (control.m_bChangeAddrRunning) {
        state.what = "change addresses";
        state.detail = Trimmed(control.lblChangeAddrStatus.Caption());
    } else if (control.prgArchiv.Visible() && control.prgArchiv.Max() > control.prgArchiv.Min()) {
        state.what = "archive";
        state.fraction = (control.prgArchiv.Value() - control.prgArchiv.Min()) /
                         (control.prgArchiv.Max() - control.prgArchiv.Min());
    }
    return state;
}

std::function<void()> WatchControlProgress(configZD4270& control,
                                           const std::function<void()>& changed) {
    std::vector<std::function<void()>> undo;
    for (Control* model : std::initializer_list<Control*>{
             &control.prgState, &control.prgArchiv, &control.lblRndAddrStatus,
             &control.lstRndAddrView, &control.lblPhySelStatus, &control.lstPhySelView,
             &control.lblChangeAddrStatus,
             // A run's button reads "Start" again only once the run has ended.
             &control.cmdScanDevices, &control.cmdRndAddrStart, &control.cmdPhySelStart,
             &control.cmdChangeAddrStart}) {
        const auto id = model->OnChanged.Connect(changed);
        undo.push_back([model, id] { model->OnChanged.Disconnect(id); });
    }
    return [undo] {
        for (const auto& u : undo) u();
    };
}

Button* ProgressCancelButton(configZD4270& control) {
    Button* button = nullptr;
    if (control.m_bScanning)
        button = &control.cmdScanDevices;
    else if (control.m_bRndAddrRunning)
        button = &control.cmdRndAddrStart;
    else if (control.m_bPhySelRunning)
        button = &control.cmdPhySelStart;
    else if (control.m_bChangeAddrRunning)
        button = &control.cmdChangeAddrStart;
    // A run offers its cancel through its own button, and only while that reads "Cancel".
    if (!button || !button->Enabled() ||
        button->Caption() != control.GetContext().messages.Load(5076))
        return nullptr;
    return button;
}

std::string DurationText(std::int64_t ms) {
    const std::int64_t seconds = std::max<std::int64_t>(0, (ms + 500) / 1000);
    if (seconds < 60) return std::to_string(seconds) + " s";
    const std::int64_t minutes = seconds / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::optional<std::int64_t> TimeLeftMs(const ProgressState& state, std::int64_t elapsedMs) {
    if (!state.fraction) return std::nullopt;
    const double fraction = std::clamp(*state.fraction, 0.0, 1.0);
    // The rest will take as long per part as the parts done so far; an estimate needs a little
    // of the run behind it.
    if (fraction < 0.01 || fraction >= 1 || elapsedMs < 1000) return std::nullopt;
    return static_cast<std::int64_t>(elapsedMs * (1 - fraction) / fraction);
}

std::string ProgressText(const ProgressState& state, std::int64_t elapsedMs) {
    std::string text = state.what;
    if (!state.detail.empty()) text += ": " + state.detail;
    if (state.fraction) {
        const double fraction = std::clamp(*state.fraction, 0.0, 1.0);
        text += ", " + std::to_string(static_cast<int>(std::floor(fraction * 100))) + " %";
        if (const auto left = TimeLeftMs(state, elapsedMs))
            text += ", about " + DurationText(*left) + " left";
    }
    text += " (" + DurationText(elapsedMs) + " so far)";
    return text;
}

}  // namespace zd
