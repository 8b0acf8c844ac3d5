// Physical selection on the addressing tab: the engine's run (engine/PhysicalSelection) one step
// per tick of timerPhySel, its status and lamps shown in the tab's label and list.
#include "addressing/AddressingFrame.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

AddressingRun configZD4270::PhySelRun() {
    AddressingRun run;
    run.button = &cmdPhySelStart;
    run.timer = &timerPhySel;
    run.intervalMs = kPhySelIntervalMs;
    run.statusLabel = &lblPhySelStatus;
    run.running = &m_bPhySelRunning;
    run.enableOptions = [this](bool bEnable) { EnablePhySelOptions(bEnable); };
    run.startMessage = 5079;
    run.logWords = "physical addressing";
    run.step = [this](bool bStart, bool bStop, bool& bFinished) {
        AddressingPhysical(bStart, bStop, bFinished);
    };
    run.confirmStart = [this] {
        return ConfirmAddressingWipe(5089, chkPhySelCompleteNewInstallation.IsChecked(),
                                     chkPhySelDeleteAllGroupAssignments.IsChecked(),
                                     chkPhySelDeleteAllScenes.IsChecked());
    };
    return run;
}

void configZD4270::cmdPhySelStart_Click() {
    Guard(m_context, "cmdPhySelStart_Click", [this] { AddressingStartClick(PhySelRun()); });
}

void configZD4270::timerPhySel_Timer() {
    Guard(m_context, "timerPhySel_Timer", [this] { AddressingTimerTick(PhySelRun()); });
}

void configZD4270::AddressingPhysical(bool bStart, bool bStop, bool& bFinished) {
    bFinished = false;
    // The options are the tab's as the run starts; they are locked while it runs.
    if (bStart) {
        m_phySel.SetOptions({static_cast<std::int16_t>(cboPhySelStartAddress.ListIndex()),
                             chkPhySelCompleteNewInstallation.IsChecked(),
                             chkPhySelDeleteAllGroupAssignments.IsChecked(),
                             chkPhySelDeleteAllScenes.IsChecked()});
        m_phySel.SetView({[this](const std::string& text) { lblPhySelStatus.SetCaption(text); },
                          [this](std::int16_t lampNo, std::int16_t address) {
                              AddLampRow(lstPhySelView, lampNo, address);
                          }});
    }
    const AddressingMachine machine{"AddressingPhysical", &lblPhySelStatus, true, false};
    AddressingMachineStep(machine, m_phySel.MachineState(), bStart, bStop, bFinished,
                          [&] { return m_phySel.RunOwnStep(bFinished); });
}

}  // namespace zd
