#include "cli/ControlProgress.h"

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

void WatchControlProgress(configZD4270& control, const std::function<void()>& changed) {
    for (Control* model : std::initializer_list<Control*>{
             &control.prgState, &control.prgArchiv, &control.lblRndAddrStatus,
             &control.lstRndAddrView, &control.lblPhySelStatus, &control.lstPhySelView,
             &control.lblChangeAddrStatus}) {
        model->OnChanged.Connect(changed);
    }
}

}  // namespace zd
