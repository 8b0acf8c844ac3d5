// Change addresses: the plan of new short addresses edited in lstChangeAddrView, and the run that
// carries it out, moving one ballast at a time through a free address.

#include <any>
#include <array>
#include <vector>

#include "addressing/AddressingFrame.h"
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

void configZD4270::ChangeAddr(std::int16_t nFrom, std::int16_t nTo) {
    Guard(m_context, "ChangeAddr", [&] {
        const std::uint8_t nData = nTo == kDaliMask ? kDaliMask : AddressByte(nTo);
        SendAddressingCommand(kCmdDataTransferRegister, nData, AddressKind::Broadcast, 0);
        SendAddressingCommand(kCmdStoreDtrAsShortAddress, 0, AddressKind::Short, nFrom);
    });
}

// Exchanges the ballasts at nA and nB through the free address, so that no two ballasts ever
// answer to one address; with nobody at nB this is a plain move from nA to nB.
void configZD4270::SwapAddressViaFree(std::int16_t nA, std::int16_t nB, std::int16_t nFree) {
    ChangeAddr(nA, nFree);
    ChangeAddr(nB, nA);
    ChangeAddr(nFree, nB);
}

void configZD4270::ChangeAddresses(bool bStart, bool bStop, bool& bFinished) {
    bFinished = false;
    AddressingState& st = m_addressingState;
    const MessageCatalogue& msg = m_context.messages;
    try {
        if (bStart) st.nChangeAddrState = ChangeAddrStep::Start;
        if (bStop) st.nChangeAddrState = ChangeAddrStep::Stop;
        switch (st.nChangeAddrState) {
            case ChangeAddrStep::Idle:
                break;
            case ChangeAddrStep::Start:
                if (ChangeAddrPlanHasDouble()) {
                    bFinished = true;
                    st.nChangeAddrState = ChangeAddrStep::Idle;
                    break;
                }
                lblChangeAddrStatus.SetCaption(msg.Load(5106) + "...");
                st.nChangeAddrPlanned = ChangeAddrMovesLeft();
                st.nChangeAddrState = ChangeAddrStep::Delete;
                break;
            case ChangeAddrStep::Delete:
                ChangeAddrDeleteMasked();
                lblChangeAddrStatus.SetCaption(msg.Load(5108) + "...");
                st.nChangeAddrState = ChangeAddrStep::FindFree;
                break;
            case ChangeAddrStep::FindFree:
                st.bAddressMoved = false;
                st.nFreeAddress = ChangeAddrFindFree();
                if (st.nFreeAddress >= 0) {
                    lblChangeAddrStatus.SetCaption(msg.Load(5109) + "...");
                    st.nChangeAddrState = ChangeAddrStep::Move;
                } else {
                    m_context.dialogs.MessageBox({msg.Load(5110) + "!", MsgButtons::Ok,
                                                  MsgIcon::Exclamation, msg.Load(5112)});
                    EndChangeAddrRun(true, false);
                }
                break;
            case ChangeAddrStep::Move:
                st.bAddressMoved = ChangeAddrMoveOne(st.nFreeAddress);
                if (st.bAddressMoved) {
                    st.nChangeAddrState = ChangeAddrStep::FindFree;
                } else {
                    RefreshDeviceViews();
                    chkChangeAddrOpticalSelectionFeedback_Click();
                    st.nChangeAddrState = ChangeAddrStep::End;
                }
                break;
            case ChangeAddrStep::End:
                EndChangeAddrRun(true, true);
                break;
            case ChangeAddrStep::Stop:
                // Moves already made stay on the line and in the device list.
                st.nChangeAddrState = ChangeAddrStep::Idle;
                break;
            default:
                lblChangeAddrStatus.SetCaption(msg.Load(5112));
                EndChangeAddrRun(false, false);
                break;
        }
    } catch (...) {
        ReportCurrentException(m_context, "ChangeAddresses");
        bFinished = true;
    }
}

// A plan that gives two devices one address would leave two ballasts answering to it: refused
// before anything is sent. Any number of devices may be planned for deletion.
bool configZD4270::ChangeAddrPlanHasDouble() {
    std::array<int, kMaxShortAddress + 1> counters{};
    if (!m_state.devices) return false;
    for (const auto& [key, device] : m_state.devices->Items()) {
        const std::int16_t planned = device->m_nNewShortAddress;
        if (!IsShortAddress(planned)) continue;
        if (++counters[static_cast<std::size_t>(planned)] > 1) {
            const MessageCatalogue& msg = m_context.messages;
            m_context.dialogs.MessageBox({msg.Load(5104) + ": " + std::to_string(planned),
                                          MsgButtons::Ok, MsgIcon::Exclamation, msg.Load(5112)});
            return true;
        }
    }
    return false;
}

void configZD4270::ChangeAddrDeleteMasked() {
    if (!m_state.devices) return;
    std::vector<std::int16_t> deleted;
    for (const auto& [key, device] : m_state.devices->Items()) {
        if (device->m_nNewShortAddress == kDaliMask && IsShortAddress(device->m_nShortAddress))
            deleted.push_back(device->m_nShortAddress);
    }
    for (std::int16_t nShortAddress : deleted) {
        ChangeAddr(nShortAddress, kDaliMask);
        m_state.devices->Remove(nShortAddress);
    }
}

// The highest address that no ballast answers and no device is planned for, or -1. Only the
// queries are logged: the run's log would otherwise fill with 64 timeouts per move.
std::int16_t configZD4270::ChangeAddrFindFree() {
    for (std::int16_t a = kMaxShortAddress; a >= 0; --a) {
        SendAddressingCommand(kCmdQueryBallast, 0, AddressKind::Short, a);
        std::uint8_t nAnswer = 0;
        if (ReceiveAddressingData(nAnswer, false) != Result::Timeout) continue;
        bool bPlanned = false;
        if (m_state.devices) {
            for (const auto& [key, device] : m_state.devices->Items())
                bPlanned = bPlanned || device->m_nNewShortAddress == a;
        }
        if (!bPlanned) return a;
    }
    return -1;
}

// Moves the first device that is not yet at its planned address, exchanging it with whatever
// ballast sits there; returns whether there was one to move.
int configZD4270::ChangeAddrMovesLeft() const {
    if (!m_state.devices) return 0;
    int left = 0;
    for (const auto& [key, device] : m_state.devices->Items()) {
        left += device->m_nNewShortAddress != device->m_nShortAddress &&
                IsShortAddress(device->m_nShortAddress) &&
                IsShortAddress(device->m_nNewShortAddress);
    }
    return left;
}

bool configZD4270::ChangeAddrMoveOne(std::int16_t nFree) {
    if (!m_state.devices) return false;
    std::shared_ptr<clsDevice> moving;
    for (const auto& [key, device] : m_state.devices->Items()) {
        if (device->m_nNewShortAddress != device->m_nShortAddress &&
            IsShortAddress(device->m_nShortAddress) && IsShortAddress(device->m_nNewShortAddress)) {
            moving = device;
            break;
        }
    }
    if (!moving) return false;

    const std::int16_t from = moving->m_nShortAddress;
    const std::int16_t to = moving->m_nNewShortAddress;
    SwapAddressViaFree(from, to, nFree);
    IgnoreErrors([&] {
        if (clsDevice* occupant = m_state.devices->Item(to)) occupant->m_nShortAddress = from;
    });
    moving->m_nShortAddress = to;

    // File every record under its address again. The conflict mark does not survive: the
    // ballast that answers at an address is no longer the one that was marked.
    std::vector<clsDevice> records;
    for (const auto& [key, device] : m_state.devices->Items()) {
        clsDevice copy = *device;
        copy.m_bDALIConflict = false;
        records.push_back(copy);
    }
    EmptyDeviceList();
    for (const clsDevice& record : records) m_state.devices->Add(record);
    return true;
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
    m_addressingState.nChangeAddrState = ChangeAddrStep::Idle;
}

}  // namespace zd
