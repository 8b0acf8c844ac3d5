#include "addressing/AddressingFrame.h"

#include <algorithm>
#include <vector>

#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

void configZD4270::ConnectAddressingHandlers() {
    cmdRndAddrStart.Clicked.Connect([this] { cmdRndAddrStart_Click(); });
    timerRndAddr.Tick.Connect([this] { timerRndAddr_Timer(); });
    timerRndAddrFirmware.Tick.Connect([this] { timerRndAddrFirmware_Timer(); });
}

void configZD4270::ClearAddressingLists() {
    lstPhySelView.Clear();
    lstRndAddrView.Clear();
    lstChangeAddrView.Clear();
}

void configZD4270::EnablePhySelOptions(bool bEnable) {
    for (Control* c : {static_cast<Control*>(&fraPhySelOptions),
                       static_cast<Control*>(&chkPhySelCompleteNewInstallation),
                       static_cast<Control*>(&chkPhySelDeleteAllGroupAssignments),
                       static_cast<Control*>(&chkPhySelDeleteAllScenes),
                       static_cast<Control*>(&lblPhySelStartAddress),
                       static_cast<Control*>(&cboPhySelStartAddress)}) {
        c->SetEnabled(bEnable);
    }
}

void configZD4270::EnableRndAddrOptions(bool bEnable) {
    for (Control* c : {static_cast<Control*>(&fraRndAddrOptions),
                       static_cast<Control*>(&chkRndAddrCompleteNewInstallation),
                       static_cast<Control*>(&chkRndAddrDeleteAllGroupAssignments),
                       static_cast<Control*>(&chkRndAddrDeleteAllScenes),
                       static_cast<Control*>(&chkRndAddrOpticalFeedback),
                       static_cast<Control*>(&chkRndAddrFastSearch),
                       static_cast<Control*>(&lblRndAddrStartAddress),
                       static_cast<Control*>(&cboRndAddrStartAddress)}) {
        c->SetEnabled(bEnable);
    }
}

// Locking tabMain locks the device tree on its first tab as well: nothing can open a device page
// while the terminal addresses the line on its own.
void configZD4270::EnableRndAddrOptionsAndTabs(bool bEnable) {
    EnableRndAddrOptions(bEnable);
    tabMain.SetEnabled(bEnable);
    tabAddressing.SetEnabled(bEnable);
}

// Change addresses moves ballasts that the tree, the pages and the archive point at: every tab
// but its own is locked for the run (tab 0 of tabMain holds the tree).
void configZD4270::EnableChangeAddrControls(bool bEnable) {
    chkChangeAddrOpticalSelectionFeedback.SetEnabled(bEnable);
    cboChangeAddrNewAddress.SetEnabled(bEnable);
    lstChangeAddrView.SetEnabled(bEnable);
    for (int tab : {0, 2, 3}) tabMain.SetTabEnabled(tab, bEnable);
    for (int tab : {0, 1, 2}) tabAddressing.SetTabEnabled(tab, bEnable);
}

void configZD4270::RefreshDeviceViews() {
    CreateChangeAddrListView();
    CreateScenesView();
    CreateGroupsView();
    CreateTreeDevices();
}

bool configZD4270::CheckDaliMode() {
    if (m_state.m_nOperationMode == kModeDali) return true;
    const MessageCatalogue& msg = m_context.messages;
    m_context.dialogs.MessageBox(
        {msg.Load(5122) + "!", MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
    return false;
}

void configZD4270::StartAddressingLog(const std::string& words) {
    m_addressingLine.StartLog(EnableLoggingAddressing, m_logFilePrefix + kAddressingLogFile, words);
}

void configZD4270::WriteAddressingLogLine(const std::string& words) {
    m_addressingLine.WriteLogLine(words);
}

void configZD4270::CloseAddressingLog(const std::string& words) {
    m_addressingLine.CloseLog(words);
}

Result configZD4270::SendAddressingCommand(std::int16_t nCommandId, std::uint8_t nData,
                                           AddressKind nAddrType, std::int16_t nAddr) {
    return m_addressingLine.Send(nCommandId, nData, nAddrType, nAddr);
}

Result configZD4270::ReceiveAddressingData(std::uint8_t& nData, bool bLogged) {
    return m_addressingLine.Receive(nData, bLogged);
}

void configZD4270::NoteRecovery(const std::string& what, const std::string& text,
                                std::int32_t shortAddress, std::int32_t randomAddress) {
    m_addressingLine.NoteRecovery(what, text, shortAddress, randomAddress);
}

Result configZD4270::AddressingQueryTwice(std::int16_t nCommandId, std::uint8_t nData,
                                          AddressKind nAddrType, std::int16_t nAddr,
                                          std::uint8_t& nAnswer) {
    return m_addressingLine.QueryTwice(nCommandId, nData, nAddrType, nAddr, nAnswer);
}

void configZD4270::ShowAddressLimitMessage() {
    m_addressingLine.TellAddressLimit();
}

void configZD4270::AddAddressedDevice(std::int16_t nShortAddress, bool bDALIConflict) {
    m_addressingLine.AddAddressedDevice(nShortAddress, bDALIConflict);
}

void configZD4270::EmptyDeviceList() {
    m_addressingLine.EmptyDeviceList();
}

void configZD4270::AddLampRow(ListView& view, std::int16_t nLampNo, std::int16_t nShortAddress) {
    ListItem& row = view.AddItem(std::to_string(nLampNo), {}, "Lamp");
    row.SetSubItem(1, std::to_string(nShortAddress));
}

// The options' defaults delete what was set up on site; a start that would do so waits for the
// user's yes. The device list may be old or empty (never scanned): the question says that gear
// it does not hold lose the same.
bool configZD4270::ConfirmAddressingWipe(int title, bool newInstallation, bool deleteGroups,
                                         bool deleteScenes) {
    if (!newInstallation && !deleteGroups && !deleteScenes) return true;
    const Language language = m_context.messages.GetLanguage();
    const auto text = [language](std::string_view english,
                                 std::initializer_list<std::string_view> args = {}) {
        return HostText(language, english, args);
    };
    std::vector<std::string> lost;
    if (newInstallation) lost.push_back(text("their short addresses"));
    if (deleteGroups) lost.push_back(text("their group assignments"));
    if (deleteScenes) lost.push_back(text("their scenes"));
    std::string what = lost.back();
    for (std::size_t i = lost.size() - 1; i-- > 0;)
        what = i + 2 == lost.size() ? text("%1 and %2", {lost[i], what}) : lost[i] + ", " + what;

    std::vector<int> known;
    if (m_state.devices)
        for (const auto& [key, device] : m_state.devices->Items())
            known.push_back(device->m_nShortAddress);
    std::sort(known.begin(), known.end());
    // Runs of neighbours as "0-15": a full line stays readable.
    std::string addresses;
    for (std::size_t i = 0; i < known.size();) {
        std::size_t last = i;
        while (last + 1 < known.size() && known[last + 1] == known[last] + 1) ++last;
        addresses += (addresses.empty() ? "" : ", ") + std::to_string(known[i]);
        if (last >= i + 2) {
            addresses += "-" + std::to_string(known[last]);
        } else if (last == i + 1) {
            addresses += ", " + std::to_string(known[last]);
        }
        i = last + 1;
    }
    std::string question;
    if (known.empty()) {
        question = text(
            "No device of this line is known (Scan Devices shows them): all gear on it lose %1.",
            {what});
    } else if (known.size() == 1) {
        question = text("1 device known on this line (%1) and any other gear on it lose %2.",
                        {addresses, what});
    } else {
        question = text("%1 devices known on this line (%2) and any other gear on it lose %3.",
                        {std::to_string(known.size()), addresses, what});
    }
    question += "\r\n" + text("Start anyway?");
    return m_context.dialogs.MessageBox({question, MsgButtons::YesNo, MsgIcon::Question,
                                         m_context.messages.Load(title)}) == MsgResult::Yes;
}

void configZD4270::AddressingStartClick(const AddressingRun& run) {
    if (!CheckDaliMode()) return;
    if (*run.running) {
        run.timer->SetEnabled(false);
        EndAddressingRun(run, " end " + run.logWords + " by user");
        return;
    }
    if (run.confirmStart && !run.confirmStart()) return;

    StartAddressingLog(run.logWords);
    m_addressingLine.ClearRecovered();
    run.enableOptions(false);
    run.button->SetCaption(m_context.messages.Load(5076));
    run.statusLabel->SetCaption(m_context.messages.Load(run.startMessage) + "...");
    if (run.clearLists) {
        run.clearLists();
    } else {
        ClearAddressingLists();
    }
    m_context.scheduler.DoEvents();
    *run.running = true;
    m_link.BeginProcedure();
    bool bFinished = false;
    run.step(true, false, bFinished);
    // A lost connection ends the run after its one box (see Link::BeginProcedure).
    if (m_link.CommunicationLost() && *run.running && !bFinished) {
        EndAddressingRun(run, " end " + run.logWords);
        return;
    }
    // A start state that already failed (change addresses refusing a plan) leaves nothing for the
    // timer to step. The run never got going: its log keeps the start line and no end line.
    if (bFinished) {
        if (*run.running) EndAddressingRun(run, "");
        return;
    }
    if (!*run.running) {
        m_link.EndProcedure();
        return;
    }
    run.timer->SetInterval(run.intervalMs);
    run.timer->SetEnabled(true);
}

bool configZD4270::RunAddressingMachineStep(const AddressingMachine& machine, bool bAtStop,
                                            bool& bFinished, const std::function<bool()>& ownStep) {
    try {
        if (bAtStop) {
            machine.statusLabel->SetCaption("");
            if (machine.terminateAtStop)
                SendAddressingCommand(kCmdTerminate, 0, AddressKind::Broadcast, 0);
            RefreshDeviceViews();
            return machine.idleAtEnd;
        }
        if (!ownStep()) {
            machine.statusLabel->SetCaption(m_context.messages.Load(5112));
            bFinished = true;
            return true;
        }
        return false;
    } catch (...) {
        ReportCurrentException(m_context, machine.procedure);
        bFinished = true;
        return machine.idleAtEnd;
    }
}

void configZD4270::AddressingTimerTick(const AddressingRun& run) {
    run.timer->SetEnabled(false);
    if (!*run.running) return;
    bool bFinished = false;
    run.step(false, false, bFinished);
    if (m_link.CommunicationLost() && *run.running) bFinished = true;
    if (bFinished) {
        EndAddressingRun(run, " end " + run.logWords);
    } else if (*run.running) {
        run.timer->SetEnabled(true);
    } else {
        m_link.EndProcedure();
    }
}

void configZD4270::EndAddressingRun(const AddressingRun& run, const std::string& logLine) {
    run.enableOptions(true);
    run.button->SetCaption(m_context.messages.Load(5075));
    run.statusLabel->SetCaption("");
    m_context.scheduler.DoEvents();
    *run.running = false;
    bool bFinished = false;
    run.step(false, true, bFinished);
    m_link.EndProcedure();
    CloseAddressingLog(logLine);
}

}  // namespace zd
