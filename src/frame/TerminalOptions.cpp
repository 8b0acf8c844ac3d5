// The options tab's write paths: each click changes the terminal's feature register (DALI or DSI
// mode, power supply unit, counting of DALI devices) behind its code word, through the engine.
#include "engine/TerminalOptions.h"

#include "frame/configZD4270.h"
#include "platform/Error.h"

namespace zd {

// Writes the change through the engine. Returns false when there is no terminal to write to or
// the controls are being set from the terminal. Errors reach the handler.
bool configZD4270::ChangeTerminalOptions(const TerminalOptionsChange& change) {
    if (!m_state.objDevCom || m_bRefreshing) return false;
    WriteTerminalOptions(m_addressingLine.Terminal(), change);
    return true;
}

void configZD4270::chkPowerSupplyUnit_Click() {
    Guard(m_context, "chkPowerSupplyUnit_Click", [this] {
        TerminalOptionsChange change;
        change.powerSupplyUnit = chkPowerSupplyUnit.IsChecked();
        ChangeTerminalOptions(change);
    });
}

void configZD4270::chkCountDALIDevices_Click() {
    Guard(m_context, "chkCountDALIDevices_Click", [this] {
        TerminalOptionsChange change;
        change.countDaliDevices = chkCountDALIDevices.IsChecked();
        ChangeTerminalOptions(change);
    });
}

// The mode is taken over only after the register was written, so a write that breaks off leaves
// the control in the mode the terminal still has.
void configZD4270::Option4_Click() {
    Guard(m_context, "Option4_Click", [this] {
        if (!Option4.Value()) return;
        TerminalOptionsChange change;
        change.mode = TerminalMode::Dali;
        if (ChangeTerminalOptions(change)) m_state.m_nOperationMode = kModeDali;
    });
}

void configZD4270::Option5_Click() {
    Guard(m_context, "Option5_Click", [this] {
        if (!Option5.Value()) return;
        TerminalOptionsChange change;
        change.mode = TerminalMode::Dsi;
        if (ChangeTerminalOptions(change)) m_state.m_nOperationMode = kModeDsi;
    });
}

}  // namespace zd
