// The device scan on the device settings tab: the engine's scan (engine/DeviceScan) one address
// per tick of timerScanDevices, with the tabs and the tree locked while it runs, and the lock
// itself.
#include <memory>
#include <string>

#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"

namespace zd {

namespace {}  // namespace

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
            ReleaseDeviceViews();
            m_bScanning = true;
            const bool quick = chkScanQuick.IsChecked();
            m_scan.Begin({chkScanAskTwice.IsChecked(), quick});
            cmdScanDevices.SetCaption(msg.Load(5076));
            ScanDevices(true, false, result);
            timerScanDevices.SetInterval(quick ? kQuickScanIntervalMs : kScanIntervalMs);
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
                m_nScanState = ScanStep::Query;
                break;
            case ScanStep::Query: {
                prgState.SetValue(m_scan.Address());
                bool found = false;
                if (m_scan.QueryNext(found)) m_nScanState = ScanStep::Finish;
                if (found) CreateTreeDevices();
                break;
            }
            case ScanStep::Finish:
                m_scan.End();
                ShowScannedDevices();
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

void configZD4270::ReleaseDeviceViews() {
    RemovePageControls();
    // Lists and tree hold pointers into the old device list: empty them before it goes.
    ClearAddressingLists();
    treeDevices.Clear();
}

void configZD4270::ShowScannedDevices() {
    CreateTreeDevices();
    CreateChangeAddrListView();
    CreateScenesView();
    CreateGroupsView();
    EnableControls(true);
    prgState.SetValue(0);
    treeDevices.SelectNode("Root");
}

// The lock of the control while a scan runs: the progress bar shows exactly while the rest is
// disabled.
void configZD4270::EnableControls(bool bEnable) {
    treeDevices.SetEnabled(bEnable);
    for (int tab = 1; tab <= 3; ++tab) tabMain.SetTabEnabled(tab, bEnable);
    chkOpticalSelectionFeedback.SetVisible(bEnable);
    chkScanAskTwice.SetEnabled(bEnable);
    chkScanQuick.SetEnabled(bEnable);
    prgState.SetVisible(!bEnable);
}

}  // namespace zd
