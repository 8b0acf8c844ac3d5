// Change addresses on its tab: the plan of new short addresses edited in lstChangeAddrView, and
// the engine's run (engine/ChangeAddresses) that carries it out, one step per timer tick.

#include <any>
#include <array>
#include <vector>

#include "addressing/AddressingFrame.h"
#include "engine/ChangeAddresses.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr int kMaskListIndex = 64;

bool IsShortAddress(std::int32_t n) {
    return n >= 0 && n <= kMaxShortAddress;
}

// The record filed under a short address, shared, so that a row can hold on to it without
// keeping it alive once the list has dropped it.
std::shared_ptr<clsDevice> FindRecord(const colDevices& devices, int shortAddress) {
    const std::string key = std::to_string(shortAddress);
    for (const auto& [itemKey, device] : devices.Items())
        if (itemKey == key) return device;
    return nullptr;
}

// The device a row of the change-address list stands for; none once the record has left the
// device list (the list is rebuilt while addresses move).
std::shared_ptr<clsDevice> RowDevice(const ListItem& row) {
    const auto* tag = std::any_cast<std::weak_ptr<clsDevice>>(&row.Tag());
    return tag ? tag->lock() : nullptr;
}

std::string PlannedAddressText(const MessageCatalogue& msg, std::int16_t planned) {
    if (planned == kDaliMask) return "255 (" + msg.Load(5092) + ")";
    return std::to_string(planned);
}

}  // namespace

AddressingRun configZD4270::ChangeAddrRun() {
    AddressingRun run;
    run.button = &cmdChangeAddrStart;
    run.timer = &timerChangeAddr;
    run.intervalMs = kChangeAddrIntervalMs;
    run.statusLabel = &lblChangeAddrStatus;
    run.running = &m_bChangeAddrRunning;
    run.enableOptions = [this](bool bEnable) { EnableChangeAddrControls(bEnable); };
    run.startMessage = 5107;
    run.logWords = "change addresses";
    run.step = [this](bool bStart, bool bStop, bool& bFinished) {
        ChangeAddresses(bStart, bStop, bFinished);
    };
    // The plan in lstChangeAddrView is what the run carries out: it stays.
    run.clearLists = [this] {
        lstPhySelView.Clear();
        lstRndAddrView.Clear();
    };
    return run;
}

void configZD4270::cmdChangeAddrStart_Click() {
    Guard(m_context, "cmdChangeAddrStart_Click", [this] { AddressingStartClick(ChangeAddrRun()); });
}

void configZD4270::timerChangeAddr_Timer() {
    Guard(m_context, "timerChangeAddr_Timer", [this] { AddressingTimerTick(ChangeAddrRun()); });
}

void configZD4270::CreateChangeAddrListView() {
    Guard(m_context, "CreateChangeAddrListView", [this] {
        lstChangeAddrView.Clear();
        if (!m_state.devices) return;
        for (int i = 0; i <= kMaxShortAddress; ++i) {
            std::shared_ptr<clsDevice> device = FindRecord(*m_state.devices, i);
            if (!device) continue;
            ListItem& row =
                lstChangeAddrView.AddItem(std::to_string(device->m_nShortAddress), {}, "Lamp");
            row.SetTag(std::weak_ptr<clsDevice>(device));
            if (lstChangeAddrView.ItemCount() == 1) lstChangeAddrView.SetSelectedIndex(1);
            row.SetSubItem(1, std::to_string(device->m_nNewShortAddress));
        }
    });
}

void configZD4270::cboChangeAddrNewAddress_Click() {
    Guard(m_context, "cboChangeAddrNewAddress_Change", [this] {
        ListItem* row = lstChangeAddrView.SelectedItem();
        if (!row) return;
        std::shared_ptr<clsDevice> device = RowDevice(*row);
        if (!device) return;
        const int listIndex = cboChangeAddrNewAddress.ListIndex();
        if (listIndex < 0 || listIndex > kMaskListIndex) return;
        device->m_nNewShortAddress =
            listIndex == kMaskListIndex ? kDaliMask : static_cast<std::int16_t>(listIndex);
        row->SetSubItem(1, PlannedAddressText(m_context.messages, device->m_nNewShortAddress));
    });
}

void configZD4270::lstChangeAddrView_ItemClick(ListItem& item) {
    Guard(m_context, "lstChangeAddrView_ItemClick", [&] {
        if (m_state.m_nOperationMode != kModeDali) return;
        std::shared_ptr<clsDevice> device = RowDevice(item);
        if (!device) return;
        const std::int16_t planned = device->m_nNewShortAddress;
        if (IsShortAddress(planned)) {
            cboChangeAddrNewAddress.SetListIndex(planned);
        } else if (planned == kDaliMask) {
            cboChangeAddrNewAddress.SetListIndex(kMaskListIndex);
        }
        ShowChangeAddrFeedback(device->m_nShortAddress);
    });
}

// Lights the lamp of the row just chosen and puts out the one lit before, so that the user sees
// which ballast the row stands for.
void configZD4270::ShowChangeAddrFeedback(std::int16_t nShortAddress) {
    AddressingState& st = m_addressingState;
    if (!chkChangeAddrOpticalSelectionFeedback.IsChecked()) return;
    const std::int16_t lit = static_cast<std::int16_t>(st.nFeedbackAddress - 1);
    if (lit == nShortAddress) return;
    if (IsShortAddress(lit)) SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Short, lit);
    if (IsShortAddress(nShortAddress)) {
        SendAddressingCommand(kCmdRecallMaxLevel, 0, AddressKind::Short, nShortAddress);
        st.nFeedbackAddress = static_cast<std::int16_t>(nShortAddress + 1);
    }
}

void configZD4270::chkChangeAddrOpticalSelectionFeedback_Click() {
    Guard(m_context, "chkChangeAddrOpticalSelectionFeedback_Click", [this] {
        if (m_state.m_nOperationMode != kModeDali) return;
        // A dark line makes the one lamp the list lights stand out.
        if (chkChangeAddrOpticalSelectionFeedback.IsChecked())
            SendAddressingCommand(kCmdRecallMinLevel, 0, AddressKind::Broadcast, 0);
    });
}

void configZD4270::ChangeAddresses(bool bStart, bool bStop, bool& bFinished) {
    if (bStart) {
        m_changeRun.SetView(
            {[this](const std::string& text) { lblChangeAddrStatus.SetCaption(text); },
             [this] {
                 RefreshDeviceViews();
                 chkChangeAddrOpticalSelectionFeedback_Click();
             }});
    }
    switch (m_changeRun.RunStep(bStart, bStop, bFinished)) {
        case ChangeAddrEnd::NoFreeAddress:
            EndChangeAddrRun(true, false);
            break;
        case ChangeAddrEnd::Done:
            EndChangeAddrRun(true, true);
            break;
        case ChangeAddrEnd::Unknown:
            EndChangeAddrRun(false, false);
            break;
        case ChangeAddrEnd::None:
            break;
    }
}

// The end of a run that the machine makes itself: the frame only ends runs that report
// bFinished or are cancelled.
void configZD4270::EndChangeAddrRun(bool bLogLine, bool bMessage) {
    const MessageCatalogue& msg = m_context.messages;
    EnableChangeAddrControls(true);
    timerChangeAddr.SetEnabled(false);
    cmdChangeAddrStart.SetCaption(msg.Load(5075));
    lblChangeAddrStatus.SetCaption("");
    m_bChangeAddrRunning = false;
    CloseAddressingLog(bLogLine ? " end change addresses" : "");
    if (bMessage) {
        m_context.dialogs.MessageBox(
            {msg.Load(5111) + "!", MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
    }
}

}  // namespace zd
