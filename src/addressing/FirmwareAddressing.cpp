// Random addressing run by the terminal firmware, on the addressing tab: the engine's hand-over
// and poll (engine/TerminalAddressing) driven by the Start button and a once-a-second timer, with
// the tab locked while the terminal runs and its result shown in a box.
#include "addressing/AddressingFrame.h"
#include "engine/TerminalAddressing.h"
#include "engine/internal/TerminalAddressing.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

void configZD4270::StartFirmwareAddressing() {
    if (m_bRndAddrRunning) return;
    if (!ConfirmAddressingWipe(5090, chkRndAddrCompleteNewInstallation.IsChecked(),
                               chkRndAddrDeleteAllGroupAssignments.IsChecked(),
                               chkRndAddrDeleteAllScenes.IsChecked()))
        return;
    NoteFirmwareRunBegins();
    // The terminal's own run is never logged: it sends nothing the log could show.
    m_addressingLine.DropLog();
    EnableRndAddrOptionsAndTabs(false);
    cmdRndAddrStart.SetEnabled(false);
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5139) + "...");
    ClearAddressingLists();
    m_context.scheduler.DoEvents();
    m_bRndAddrRunning = true;
    m_link.BeginProcedure();
    bool bFinished = false;
    RandomAddressingFirmware(true, false, false, bFinished);
    // A start that already failed would leave the options locked for good.
    if (bFinished) {
        EndFirmwareAddressing();
        return;
    }
    timerRndAddrFirmware.SetInterval(kRndAddrFirmwareIntervalMs);
    timerRndAddrFirmware.SetEnabled(true);
}

void configZD4270::timerRndAddrFirmware_Timer() {
    Guard(m_context, "timerRndAddrFirmware_Timer", [this] {
        timerRndAddrFirmware.SetEnabled(false);
        bool bFinished = false;
        RandomAddressingFirmware(false, false, false, bFinished);
        if (bFinished || m_link.CommunicationLost()) {
            EndFirmwareAddressing();
        } else {
            timerRndAddrFirmware.SetEnabled(true);
        }
    });
}

void configZD4270::EndFirmwareAddressing() {
    EnableRndAddrOptionsAndTabs(true);
    cmdRndAddrStart.SetEnabled(true);
    lblRndAddrStatus.SetCaption("");
    m_context.scheduler.DoEvents();
    m_bRndAddrRunning = false;
    bool bFinished = false;
    RandomAddressingFirmware(false, true, false, bFinished);
    m_link.EndProcedure();
}

void configZD4270::RandomAddressingFirmware(bool bStart, bool bStop, bool bPoll, bool& bFinished) {
    bFinished = false;
    AddressingState& s = m_addressingState;
    // A poll takes up the terminal's run whatever the machine was at.
    if (bPoll) {
        bStart = bStop = false;
        s.nFirmwareState = FirmwareStep::Poll;
    }
    const AddressingMachine machine{"RandomAddressingFirmware", &lblRndAddrStatus, false, true};
    AddressingMachineStep(machine, s.nFirmwareState, bStart, bStop, bFinished, [&] {
        switch (s.nFirmwareState) {
            case FirmwareStep::Start:
                FirmwareAddressingHandOver();
                s.nFirmwareState = FirmwareStep::Poll;
                break;
            case FirmwareStep::Poll: {
                const TerminalAddressingPoll poll = PollTerminalAddressing(m_link);
                if (poll.running) break;
                if (poll.result)
                    m_context.dialogs.MessageBox(
                        NoticeBox(EndTerminalAddressing(m_addressingLine, *poll.result).notice,
                                  m_context.messages));
                bFinished = true;
                s.nFirmwareState = FirmwareStep::Idle;
                break;
            }
            default:
                return false;
        }
        return true;
    });
}

// The terminal tells nothing until it is done: how long its run takes is estimated from the gear
// the device list knows as it begins (before a new installation empties it).
void configZD4270::NoteFirmwareRunBegins() {
    m_nFirmwareSinceMs = m_context.scheduler.Now();
    m_nFirmwareGear = m_state.devices ? static_cast<int>(m_state.devices->Count()) : 0;
}

// The options are the tab's as the run starts.
void configZD4270::FirmwareAddressingHandOver() {
    HandOverTerminalAddressing(
        m_addressingLine,
        {static_cast<std::int16_t>(cboRndAddrStartAddress.ListIndex()),
         chkRndAddrCompleteNewInstallation.IsChecked(),
         chkRndAddrDeleteAllGroupAssignments.IsChecked(), chkRndAddrDeleteAllScenes.IsChecked(),
         chkRndAddrOpticalFeedback.IsChecked()});
}

// The terminal is still addressing (the page was opened again during a run): show it, lock the
// options and follow the run until the terminal reports its result.
void configZD4270::ResumeFirmwareAddressing() {
    chkRndAddrOpticalFeedback.SetVisible(true);
    lstRndAddrView.SetVisible(false);
    tabMain.SetTab(1);
    tabAddressing.SetTab(1);
    // No pending events run before the lock below: a queued click must find the button disabled.
    m_addressingLine.DropLog();
    EnableRndAddrOptionsAndTabs(false);
    cmdRndAddrStart.SetEnabled(false);
    lblRndAddrStatus.SetCaption(m_context.messages.Load(5141));
    NoteFirmwareRunBegins();
    ClearAddressingLists();
    m_context.scheduler.DoEvents();
    m_link.BeginProcedure();
    bool bFinished = false;
    RandomAddressingFirmware(false, false, true, bFinished);
    m_bRndAddrRunning = true;
    // The terminal may have finished between the refresh's status read and this poll.
    if (bFinished) {
        EndFirmwareAddressing();
        return;
    }
    timerRndAddrFirmware.SetInterval(kRndAddrFirmwareIntervalMs);
    timerRndAddrFirmware.SetEnabled(true);
}

}  // namespace zd
