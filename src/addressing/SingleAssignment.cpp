// Single assignment: one short address (or none, for MASK) for every ballast on the line at once,
// and the handlers of the three tabs that this file and its two neighbours serve.

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

        StartAddressingLog("single assignment");
        m_link.BeginProcedure();
        const std::uint8_t nData = bMask ? kDaliMask : AddressByte(nAddress);
        SendAddressingCommand(kCmdDataTransferRegister, nData, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdStoreDtrAsShortAddress, 0, AddressKind::Broadcast, 0);
        m_link.EndProcedure();
        // With the connection lost the line was not readdressed: the device list still holds.
        if (m_link.CommunicationLost()) {
            CloseAddressingLog(" end single assignment");
            return;
        }
        EmptyDeviceList();

        if (!bMask) {
            SendAddressingCommand(kCmdQueryBallast, 0, AddressKind::Short, nAddress);
            std::uint8_t nAnswer = 0;
            const Result nRet = ReceiveAddressingData(nAnswer, true);
            // Several ballasts answering together garble the frame: they now share the address.
            if (nRet == Result::Done && nAnswer == 255) {
                AddAddressedDevice(nAddress, false);
            } else if (nRet == Result::CorruptFrame) {
                AddAddressedDevice(nAddress, true);
            }
        }

        CloseAddressingLog(" end single assignment");
        ClearAddressingLists();
        RefreshDeviceViews();
    });
}

}  // namespace zd
