// Random addressing on the addressing tab: the Start button and its timer run the control's
// search (engine/RandomAddressing) one step per tick, or hand the run to the terminal where its
// firmware searches itself. The status label and the lamp list show the search as it goes.
#include <string>

#include "addressing/AddressingFrame.h"
#include "engine/internal/RandomAddressing.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

AddressingRun configZD4270::RndAddrRun() {
    AddressingRun run;
    run.button = &cmdRndAddrStart;
    run.timer = &timerRndAddr;
    const bool quick = chkRndAddrFastSearch.IsChecked() && !m_link.QuickTimingDistrust();
    run.intervalMs = quick ? kRndAddrFastIntervalMs : kRndAddrIntervalMs;
    run.statusLabel = &lblRndAddrStatus;
    run.running = &m_bRndAddrRunning;
    run.enableOptions = [this](bool bEnable) { EnableRndAddrOptions(bEnable); };
    run.startMessage = 5080;
    run.logWords = "random addressing";
    run.step = [this](bool bStart, bool bStop, bool& bFinished) {
        RandomAddressing(bStart, bStop, bFinished);
    };
    run.confirmStart = [this] {
        return ConfirmAddressingWipe(5090, chkRndAddrCompleteNewInstallation.IsChecked(),
                                     chkRndAddrDeleteAllGroupAssignments.IsChecked(),
                                     chkRndAddrDeleteAllScenes.IsChecked());
    };
    return run;
}

// Firmware before "1H" cannot address at all; up to "1L" the control searches itself; from "1M"
// the terminal does it.
void configZD4270::cmdRndAddrStart_Click() {
    Guard(m_context, "cmdRndAddrStart_Click", [this] {
        const MessageCatalogue& msg = m_context.messages;
        const RandomAddressingVariant variant =
            RandomAddressingVariantOf(m_state.m_nFirmwareVersion);
        if (variant == RandomAddressingVariant::None) {
            m_context.dialogs.MessageBox(
                {msg.Load(5124), MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
            return;
        }
        if (!CheckDaliMode()) return;
        if (variant == RandomAddressingVariant::Control) {
            AddressingStartClick(RndAddrRun());
        } else {
            StartFirmwareAddressing();
        }
    });
}

void configZD4270::timerRndAddr_Timer() {
    Guard(m_context, "timerRndAddr_Timer", [this] { AddressingTimerTick(RndAddrRun()); });
}

void configZD4270::RandomAddressing(bool bStart, bool bStop, bool& bFinished) {
    bFinished = false;
    // The options are the tab's as the run starts; they are locked while it runs.
    if (bStart) {
        m_rndSearch.SetOptions({static_cast<std::int16_t>(cboRndAddrStartAddress.ListIndex()),
                                chkRndAddrCompleteNewInstallation.IsChecked(),
                                chkRndAddrDeleteAllGroupAssignments.IsChecked(),
                                chkRndAddrDeleteAllScenes.IsChecked(),
                                chkRndAddrFastSearch.IsChecked()});
        m_rndSearch.SetView({[this](const std::string& text) { lblRndAddrStatus.SetCaption(text); },
                             [this](std::int16_t lampNo, std::int16_t address) {
                                 AddLampRow(lstRndAddrView, lampNo, address);
                             }});
    }
    const SearchPacing pacing(m_rndSearch, bStart);
    const AddressingMachine machine{"RandomAddressing", &lblRndAddrStatus, true, false};
    AddressingMachineStep(machine, m_rndSearch.MachineState(), bStart, bStop, bFinished,
                          [&] { return m_rndSearch.RunOwnStep(bFinished); });
}

}  // namespace zd
