// Single assignment: one short address (or none, for MASK) for every ballast on the line at once,
// and the handlers of the three tabs that this file and its two neighbours serve.

#include "engine/SingleAssignment.h"
#include "addressing/AddressingFrame.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

// List index of the MASK entry of the address combos: the entries 0 to 63 come first.
constexpr int kMaskListIndex = 64;

}  // namespace

void configZD4270::ConnectAssignmentHandlers() {
    cmdPhySelStart.Clicked.Connect([this] { cmdPhySelStart_Click(); });
    timerPhySel.Tick.Connect([this] { timerPhySel_Timer(); });
    cmdSingleAssignStart.Clicked.Connect([this] { cmdSingleAssignStart_Click(); });
    cmdChangeAddrStart.Clicked.Connect([this] { cmdChangeAddrStart_Click(); });
    timerChangeAddr.Tick.Connect([this] { timerChangeAddr_Timer(); });
    cboChangeAddrNewAddress.Clicked.Connect([this] { cboChangeAddrNewAddress_Click(); });
    lstChangeAddrView.ItemClick.Connect(
        [this](ListItem& item) { lstChangeAddrView_ItemClick(item); });
    chkChangeAddrOpticalSelectionFeedback.Clicked.Connect(
        [this] { chkChangeAddrOpticalSelectionFeedback_Click(); });
}

void configZD4270::cmdSingleAssignStart_Click() {
    SingleAssignment();
}

// Gives every ballast on the line the chosen short address at once (or deletes it for MASK): the
// tool for a line with one ballast, or for clearing a line before it is commissioned anew.
void configZD4270::SingleAssignment() {
    Guard(m_context, "SingleAssignment", [this] {
        if (!CheckDaliMode()) return;
        const MessageCatalogue& msg = m_context.messages;
        const int listIndex = cboSingleAssignAddress.ListIndex();
        if (listIndex < 0) return;
        const std::int16_t nAddress =
            listIndex >= kMaskListIndex ? kDaliMask : static_cast<std::int16_t>(listIndex);
        const bool bMask = nAddress == kDaliMask;

        const std::string question = bMask ? msg.Load(5099) + "!\r\n" + msg.Load(5097) + "?"
                                           : msg.Load(5096) + ": " + std::to_string(nAddress) +
                                                 "\r\n" + msg.Load(5097) + "?";
        const MsgResult answer = m_context.dialogs.MessageBox(
            {question, MsgButtons::OkCancel, MsgIcon::Information, msg.Load(5098)});
        if (answer != MsgResult::Ok) return;

        const SingleAssignmentReport report =
            AssignSingleAddress(m_addressingLine, nAddress, EnableLoggingAddressing,
                                m_logFilePrefix + kAddressingLogFile);
        if (report.outcome.failure == EngineFailure::CommunicationLost) return;
        ClearAddressingLists();
        RefreshDeviceViews();
    });
}

}  // namespace zd
