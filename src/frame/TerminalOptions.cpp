// The options tab's write paths: each click changes the terminal's feature register (DALI or DSI
// mode, power supply unit, counting of DALI devices) behind its code word.
#include <cstdint>

#include "frame/configZD4270.h"
#include "link/TerminalRegisters.h"
#include "platform/Error.h"

namespace zd {

// Reads register 32, keeps the bits outside clearBits, adds setBits, and writes it back while the
// code word opens the register. Returns false when there is no terminal to write to or the
// controls are being set from the terminal. Errors reach the handler.
bool configZD4270::ChangeFeatureRegister(std::uint16_t clearBits, std::uint16_t setBits) {
    const std::shared_ptr<DevCom> devCom = m_state.objDevCom;
    if (!devCom || m_bRefreshing) return false;
    std::uint16_t value = 0;
    devCom->ReadTable(Pos, 0, kFeatureRegister, 1, &value);
    value = static_cast<std::uint16_t>((value & ~clearBits) | setBits);
    const std::uint16_t closed = 0;
    devCom->WriteTable(Pos, 0, kCodeWordRegister, 1, &kCodeWord);
    devCom->WriteTable(Pos, 0, kFeatureRegister, 1, &value);
    devCom->WriteTable(Pos, 0, kCodeWordRegister, 1, &closed);
    return true;
}

// The box shows the unit as active, which the register keeps as a cleared bit.
void configZD4270::chkPowerSupplyUnit_Click() {
    Guard(m_context, "chkPowerSupplyUnit_Click", [this] {
        if (chkPowerSupplyUnit.IsChecked()) {
            ChangeFeatureRegister(kPowerSupplyInactive, 0);
        } else {
            ChangeFeatureRegister(0, kPowerSupplyInactive);
        }
    });
}

void configZD4270::chkCountDALIDevices_Click() {
    Guard(m_context, "chkCountDALIDevices_Click", [this] {
        if (chkCountDALIDevices.IsChecked()) {
            ChangeFeatureRegister(kDaliDevicesNotCounted, 0);
        } else {
            ChangeFeatureRegister(0, kDaliDevicesNotCounted);
        }
    });
}

// The mode is taken over only after the register was written, so a write that breaks off leaves
// the control in the mode the terminal still has.
void configZD4270::Option4_Click() {
    Guard(m_context, "Option4_Click", [this] {
        if (!Option4.Value()) return;
        if (ChangeFeatureRegister(kOperationModeBits, 0)) m_state.m_nOperationMode = kModeDali;
    });
}

void configZD4270::Option5_Click() {
    Guard(m_context, "Option5_Click", [this] {
        if (!Option5.Value()) return;
        if (ChangeFeatureRegister(kOperationModeBits, kOperationModeDsi)) {
            m_state.m_nOperationMode = kModeDsi;
        }
    });
}

}  // namespace zd
