// The device scan: one QUERY BALLAST per short address, one address per tick of
// timerScanDevices, with the tabs and the tree locked while it runs, and the lock itself.
#include <memory>
#include <string>

#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr std::int64_t kScanIntervalMs = 50;
constexpr std::int64_t kQuickScanIntervalMs = 1;
constexpr std::int16_t kLastShortAddress = 63;

}  // namespace

// Everything the scan, the tree and the options react to; called once from the constructor.
void configZD4270::ConnectDeviceHandlers() {
    cmdScanDevices.Clicked.Connect([this] { cmdScanDevices_Click(); });
    timerScanDevices.Tick.Connect([this] { timerScanDevices_Timer(); });
    treeDevices.NodeClick.Connect([this](TreeNode& node) { treeDevices_NodeClick(&node); });
    chkOpticalSelectionFeedback.Clicked.Connect([this] { chkOpticalSelectionFeedback_Click(); });
    chkPowerSupplyUnit.Clicked.Connect([this] { chkPowerSupplyUnit_Click(); });
    chkCountDALIDevices.Clicked.Connect([this] { chkCountDALIDevices_Click(); });
    Option4.Clicked.Connect([this] { Option4_Click(); });
    Option5.Clicked.Connect([this] { Option5_Click(); });
}

void configZD4270::cmdScanDevices_Click() {
    Guard(m_context, "cmdScanDevices_Click", [this] {
        const MessageCatalogue& msg = m_context.messages;
        // The mode is checked before anything else, so a cancel in DSI mode is refused as well.
        if (m_state.m_nOperationMode != kModeDali) {
            m_context.dialogs.MessageBox(
                {msg.Load(5122) + "!", MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
            return;
        }
        ScanResult result = ScanResult::Running;
        if (!m_bScanning) {
            EnableControls(false);
            RemovePageControls();
            // Lists and tree hold pointers into the old device list: empty them before it goes.
            ClearAddressingLists();
            treeDevices.Clear();
            m_state.devices = std::make_shared<colDevices>();
            m_bScanning = true;
            m_recovered.clear();
            if (m_bQuickScan) m_link.ResetQuickTiming();
            cmdScanDevices.SetCaption(msg.Load(5076));
            m_link.BeginProcedure();
            ScanDevices(true, false, result);
            timerScanDevices.SetInterval(m_bQuickScan ? kQuickScanIntervalMs : kScanIntervalMs);
            timerScanDevices.SetEnabled(true);
        } else {
            EnableControls(true);
            timerScanDevices.SetEnabled(false);
            m_bScanning = false;
            cmdScanDevices.SetCaption(msg.Load(5071));
            ScanDevices(false, true, result);
        }
    });
}

// The timer stays off while the step's transactions run, so the period is 50 ms plus the step.
void configZD4270::timerScanDevices_Timer() {
    Guard(m_context, "timerScanDevices_Timer", [this] {
        timerScanDevices.SetEnabled(false);
        ScanResult result = ScanResult::Running;
        ScanDevices(false, false, result);
        // The device communication failed (the connection is gone; a silent address is a
        // timeout): its box has been shown, and querying the other addresses would only fail
        // again. The scan finishes at once on the devices it has found, as a cancel does.
        if (result == ScanResult::Running && m_link.CommunicationLost())
            ScanDevices(false, true, result);
        if (result == ScanResult::Running) {
            timerScanDevices.SetEnabled(true);
        } else if (result == ScanResult::Finished) {
            EnableControls(true);
            m_bScanning = false;
            cmdScanDevices.SetCaption(m_context.messages.Load(5071));
        } else {
            // The caption stays as it was on this path.
            EnableControls(true);
            m_bScanning = false;
            ScanDevices(false, true, result);
        }
    });
}

void configZD4270::ScanDevices(bool bStart, bool bStop, ScanResult& result) {
    try {
        if (bStart) m_nScanState = ScanStep::Start;
        if (bStop) m_nScanState = ScanStep::Finish;
        result = ScanResult::Running;
        switch (m_nScanState) {
            case ScanStep::Idle:
                break;
            case ScanStep::Start:
                m_nScanAddress = 0;
                m_nScanState = ScanStep::Query;
                break;
            case ScanStep::Query:
                QueryScanAddress();
                if (++m_nScanAddress > kLastShortAddress) m_nScanState = ScanStep::Finish;
                break;
            case ScanStep::Finish:
                m_link.EndProcedure();
                CreateTreeDevices();
                CreateChangeAddrListView();
                CreateScenesView();
                CreateGroupsView();
                EnableControls(true);
                prgState.SetValue(0);
                treeDevices.SelectNode("Root");
                result = ScanResult::Finished;
                m_nScanState = ScanStep::Idle;
                break;
            default:
                result = ScanResult::Failed;
                m_nScanState = ScanStep::Idle;
                break;
        }
    } catch (...) {
        ReportCurrentException(m_context, "ScanDevices");
        result = ScanResult::Failed;
    }
}

// A backward frame means one ballast at the address; a corrupt frame means several answered at
// once, so the address is used twice on the line. The answer's value does not matter.
void configZD4270::QueryScanAddress() {
    prgState.SetValue(m_nScanAddress);
    std::int16_t nCommandId = kCmdQueryBallast;
    std::uint8_t nData = 0;
    AddressKind nAddrType = AddressKind::Short;
    std::int16_t nAddr = m_nScanAddress;
    const Link::Pacing before = m_link.CurrentPacing();
    if (m_bQuickScan) m_link.SetPacing(Link::Pacing::Quick);
    m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
    std::uint8_t answer = 0;
    Result received = m_link.ReceiveDALIData(answer, nullptr);
    // A gear that lost one answer, or answers every second question, is found on the second ask.
    if (received == Result::Timeout && chkScanAskTwice.IsChecked()) {
        m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
        received = m_link.ReceiveDALIData(answer, nullptr);
        if (received != Result::Timeout) {
            NoteRecovery(
                "second-ask",
                "address " + std::to_string(m_nScanAddress) + " answered only when asked again",
                m_nScanAddress, -1);
        }
    }
    m_link.SetPacing(before);
    if (received != Result::Done && received != Result::CorruptFrame) return;

    clsDevice device;
    device.m_nShortAddress = m_nScanAddress;
    device.m_nNewShortAddress = m_nScanAddress;
    device.m_nRandomAddress = 0;
    device.m_bDALIConflict = received == Result::CorruptFrame;
    if (!m_state.devices) m_state.devices = std::make_shared<colDevices>();
    m_state.devices->Add(device, std::to_string(m_nScanAddress));
    CreateTreeDevices();
}

// The lock of the control while a scan runs: the progress bar shows exactly while the rest is
// disabled.
void configZD4270::EnableControls(bool bEnable) {
    treeDevices.SetEnabled(bEnable);
    for (int tab = 1; tab <= 3; ++tab) tabMain.SetTabEnabled(tab, bEnable);
    chkOpticalSelectionFeedback.SetVisible(bEnable);
    chkScanAskTwice.SetEnabled(bEnable);
    prgState.SetVisible(!bEnable);
}

}  // namespace zd
