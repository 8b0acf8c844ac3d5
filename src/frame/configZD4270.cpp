#include "frame/configZD4270.h"

#include <cstdio>

#include "devices/DeviceRegistry.h"
#include "platform/Error.h"

namespace zd {

namespace {

void FillAddressList(ComboBox& list) {
    list.Clear();
    for (int i = 0; i < 64; ++i) list.AddItem(std::to_string(i));
}

}  // namespace

configZD4270::configZD4270(const Context& context, RegistryAccess& registry, ModuleState& state)
    : m_context(context),
      m_registry(registry),
      m_state(state),
      m_link(state, m_context),
      m_addressingLine(EngineTerminal{m_state, m_link, m_context, 0, {}}) {
    for (Timer* timer : {&timerScanDevices, &timerPhySel, &timerRndAddr, &timerRndAddrFirmware,
                         &timerChangeAddr, &timerWatchdog}) {
        timer->AttachScheduler(m_context.scheduler);
    }
    timerWatchdog.Tick.Connect([this] { timerWatchdog_Timer(); });
    // The engine tells what it has to say as it arises; the form shows each notice as its box,
    // there and then.
    m_addressingLine.Terminal().tell = [this](const EngineNotice& notice) {
        m_context.dialogs.MessageBox(NoticeBox(notice, m_context.messages));
    };
    Guard(m_context, "UserControl_Initialize", [this] { UserControlInitialize(); });
    LayOutSurface();
    ConnectAssignmentHandlers();
    ConnectAddressingHandlers();
    ConnectArchivHandlers();
    ConnectDeviceHandlers();
}

configZD4270::~configZD4270() {
    Terminate();
    for (Timer* timer : {&timerScanDevices, &timerPhySel, &timerRndAddr, &timerRndAddrFirmware,
                         &timerChangeAddr, &timerWatchdog}) {
        timer->SetEnabled(false);
    }
}

void configZD4270::UserControlInitialize() {
    m_state.devices = std::make_shared<colDevices>();
    for (int kind = 0; kind < kPageKindCount; ++kind)
        m_pages[static_cast<std::size_t>(kind)].reset();
    m_bScanning = false;
    m_bPhySelRunning = false;
    m_bRndAddrRunning = false;
    m_bChangeAddrRunning = false;

    PlaceControls();
    InitializeDeviceSettingsTab();

    const MessageCatalogue& msg = m_context.messages;
    const int mainCaptions[] = {5000, 5001, 5070, 5125};
    for (int tab = 0; tab < 4; ++tab) tabMain.SetTabCaption(tab, msg.Load(mainCaptions[tab]));
    const int addressingCaptions[] = {5089, 5090, 5091, 5101};
    for (int tab = 0; tab < 4; ++tab)
        tabAddressing.SetTabCaption(tab, msg.Load(addressingCaptions[tab]));
    tabArchiv.SetTabCaption(0, msg.Load(5018));
    tabArchiv.SetTabCaption(1, msg.Load(5017));
    tabMain.SetTab(0);
    tabAddressing.SetTab(0);
    tabArchiv.SetTab(0);

    InitializeAddressingTabs();
    InitializeOptionsTab();
    InitializeArchivTab();
}

void configZD4270::InitializeDeviceSettingsTab() {
    const MessageCatalogue& msg = m_context.messages;
    lblPos.SetCaption(msg.Load(110));
    lblChannel.SetCaption(msg.Load(112));
    lblOffset.SetCaption(msg.Load(113));
    lblType.SetCaption(msg.Load(111));
    treeDevices.Clear();
    prgState.SetRange(0, 63);
    prgState.SetValue(0);
    prgState.SetVisible(false);
    chkOpticalSelectionFeedback.SetVisible(true);
    chkOpticalSelectionFeedback.SetCaption(msg.Load(5100));
    chkScanAskTwice.SetCaption(msg.Load(5155));
    chkScanQuick.SetCaption(msg.Load(5160));
    cmdScanDevices.SetCaption(msg.Load(5071));
}

void configZD4270::InitializeAddressingTabs() {
    const MessageCatalogue& msg = m_context.messages;
    const std::string start = msg.Load(5075);
    const std::string options = msg.Load(5070);
    const std::string maskEntry = "255 (" + msg.Load(5092) + ")";
    auto lampColumns = [&](ListView& view) {
        view.ClearColumns();
        view.AddColumn("No", msg.Load(5078));
        view.AddColumn("ShortAddress", msg.Load(5077));
    };

    lblPhySelInfo.SetCaption(msg.Load(5072));
    cmdPhySelStart.SetCaption(start);
    fraPhySelOptions.SetCaption(options);
    chkPhySelCompleteNewInstallation.SetCaption(msg.Load(5085));
    chkPhySelCompleteNewInstallation.SetChecked(true);
    chkPhySelDeleteAllGroupAssignments.SetCaption(msg.Load(5086));
    chkPhySelDeleteAllGroupAssignments.SetChecked(false);
    chkPhySelDeleteAllScenes.SetCaption(msg.Load(5105));
    chkPhySelDeleteAllScenes.SetChecked(false);
    lblPhySelStartAddress.SetCaption(msg.Load(5087));
    FillAddressList(cboPhySelStartAddress);
    cboPhySelStartAddress.SetListIndex(0);
    lblPhySelStatus.SetCaption("");
    lampColumns(lstPhySelView);

    lblRndAddrInfo.SetCaption(msg.Load(5073));
    cmdRndAddrStart.SetCaption(start);
    fraRndAddrOptions.SetCaption(options);
    chkRndAddrCompleteNewInstallation.SetCaption(msg.Load(5085));
    chkRndAddrCompleteNewInstallation.SetChecked(true);
    chkRndAddrDeleteAllGroupAssignments.SetCaption(msg.Load(5086));
    chkRndAddrDeleteAllGroupAssignments.SetChecked(false);
    chkRndAddrDeleteAllScenes.SetCaption(msg.Load(5105));
    chkRndAddrDeleteAllScenes.SetChecked(false);
    chkRndAddrOpticalFeedback.SetCaption(msg.Load(5138));
    chkRndAddrOpticalFeedback.SetChecked(false);
    chkRndAddrFastSearch.SetCaption(msg.Load(5150));
    chkRndAddrFastSearch.SetChecked(false);
    lblRndAddrStartAddress.SetCaption(msg.Load(5087));
    FillAddressList(cboRndAddrStartAddress);
    cboRndAddrStartAddress.SetListIndex(0);
    lblRndAddrStatus.SetCaption("");
    lampColumns(lstRndAddrView);

    lblSingleAssignInfo.SetCaption(msg.Load(5074));
    cmdSingleAssignStart.SetCaption(start);
    fraSingleAssignOptions.SetCaption(options);
    lblSingleAssignStartAddress.SetCaption(msg.Load(5088));
    FillAddressList(cboSingleAssignAddress);
    cboSingleAssignAddress.AddItem(maskEntry);
    cboSingleAssignAddress.SetListIndex(0);

    lblChangeAddrInfo[0].SetCaption(msg.Load(5120));
    lblChangeAddrInfo[1].SetCaption(msg.Load(5121));
    cmdChangeAddrStart.SetCaption(start);
    chkChangeAddrOpticalSelectionFeedback.SetCaption(msg.Load(5100));
    lblChangeAddrNewAddress.SetCaption(msg.Load(5088));
    FillAddressList(cboChangeAddrNewAddress);
    cboChangeAddrNewAddress.AddItem(maskEntry);
    cboChangeAddrNewAddress.SetListIndex(-1);
    lblChangeAddrStatus.SetCaption("");
    lstChangeAddrView.ClearColumns();
    lstChangeAddrView.AddColumn("Addr", msg.Load(5102));
    lstChangeAddrView.AddColumn("NewAddr", msg.Load(5103));
}

void configZD4270::InitializeOptionsTab() {
    const MessageCatalogue& msg = m_context.messages;
    fraOperationMode.SetCaption(msg.Load(5067));
    grpOperationMode.Add(Option4);
    grpOperationMode.Add(Option5);
    Option4.SetCaption("DALI");
    Option5.SetCaption("DSI");
    fraPowerSupplyUnit.SetCaption(msg.Load(5068));
    chkPowerSupplyUnit.SetCaption(msg.Load(5069));
    fraCountDALIDevices.SetCaption(msg.Load(5094));
    chkCountDALIDevices.SetCaption(msg.Load(5069));
    fraFirmwareVersion.SetCaption(msg.Load(5116));
    lblFirmwareVersion.SetCaption("");
    lblOptions.SetCaption(msg.Load(5126));
}

void configZD4270::InitializeArchivTab() {
    const MessageCatalogue& msg = m_context.messages;
    for (Grid* grid : {&gridScenes, &gridGroups}) {
        grid->SetSize(65, 17);
        grid->SetFixedRows(1);
        grid->SetFixedCols(1);
        grid->SetFontName("Courier New");
        grid->SetFontSize(8);
        grid->SetFontBold(false);
        // Headings: the short address down the side, the scene or group number across.
        for (int row = 1; row < 65; ++row) grid->SetTextMatrix(row, 0, std::to_string(row - 1));
        for (int col = 1; col < 17; ++col) grid->SetTextMatrix(0, col, std::to_string(col - 1));
    }
    gridScenes.SetTextMatrix(0, 0, msg.Load(5018));
    gridGroups.SetTextMatrix(0, 0, msg.Load(5017));
    cmdArchivOptions.SetCaption("Options");
    if (mnuArchivOptions.Entries().empty()) {
        mnuArchivOptions.AddEntry("mnuArchivOptionsLoad", msg.Load(5132));
        mnuArchivOptions.AddEntry("mnuArchivOptionsSave", msg.Load(5133));
        mnuArchivOptions.AddSeparator("mnuArchivOptionsSeparator01");
        mnuArchivOptions.AddEntry("mnuArchivOptionsDownload", msg.Load(5131));
        mnuArchivOptions.AddEntry("mnuArchivOptionsUpload", msg.Load(5130));
    }
    chkArchivOpticalSelectionFeedback.SetCaption(msg.Load(5100));
    prgArchiv.SetVisible(false);
    prgArchiv.SetValue(0);
}

// Where the controls lie: the position is left to us; what matters is that tabMain holds the
// page area (3240, 480, 5415 x 6450) and that the scrolled window sees tabMain's extent.
void configZD4270::PlaceControls() {
    scrolledWindow.AddChild(tabMain);
    tabMain.Move(0, 0, 8775, 9000);

    Control* settings[] = {&treeDevices,
                           &lblPos,
                           &lblChannel,
                           &lblOffset,
                           &lblType,
                           &lblValuePos,
                           &lblValueChannel,
                           &lblValueOffset,
                           &lblValueType,
                           &lblValueFormat,
                           &chkOpticalSelectionFeedback,
                           &chkScanAskTwice,
                           &chkScanQuick,
                           &cmdScanDevices,
                           &prgState};
    for (Control* c : settings) tabMain.AddChild(*c, 0);
    treeDevices.Move(120, 480, 3000, 5400);
    lblPos.Move(120, 6000, 900, 255);
    lblValuePos.Move(1080, 6000, 2000, 255);
    lblChannel.Move(120, 6300, 900, 255);
    lblValueChannel.Move(1080, 6300, 2000, 255);
    lblOffset.Move(120, 6600, 900, 255);
    lblValueOffset.Move(1080, 6600, 2000, 255);
    lblType.Move(120, 6900, 900, 255);
    lblValueType.Move(1080, 6900, 2000, 255);
    lblValueFormat.Move(1080, 7200, 2000, 255);
    chkOpticalSelectionFeedback.Move(120, 7560, 3000, 255);
    cmdScanDevices.Move(120, 7920, 1455, 375);
    chkScanAskTwice.Move(120, 8400, 3000, 255);
    chkScanQuick.Move(120, 8700, 3000, 255);
    prgState.Move(1680, 7980, 1440, 255);

    tabMain.AddChild(tabAddressing, 1);
    tabAddressing.Move(120, 480, 8535, 8400);
    Control* physical[] = {&lblPhySelInfo, &cmdPhySelStart, &fraPhySelOptions, &lblPhySelStatus,
                           &lstPhySelView};
    for (Control* c : physical) tabAddressing.AddChild(*c, 0);
    for (Control* c : {static_cast<Control*>(&chkPhySelCompleteNewInstallation),
                       static_cast<Control*>(&chkPhySelDeleteAllGroupAssignments),
                       static_cast<Control*>(&chkPhySelDeleteAllScenes),
                       static_cast<Control*>(&lblPhySelStartAddress),
                       static_cast<Control*>(&cboPhySelStartAddress)}) {
        fraPhySelOptions.AddChild(*c);
    }
    Control* random[] = {&lblRndAddrInfo, &cmdRndAddrStart, &fraRndAddrOptions, &lblRndAddrStatus,
                         &lstRndAddrView};
    for (Control* c : random) tabAddressing.AddChild(*c, 1);
    for (Control* c : {static_cast<Control*>(&chkRndAddrCompleteNewInstallation),
                       static_cast<Control*>(&chkRndAddrDeleteAllGroupAssignments),
                       static_cast<Control*>(&chkRndAddrDeleteAllScenes),
                       static_cast<Control*>(&chkRndAddrOpticalFeedback),
                       static_cast<Control*>(&chkRndAddrFastSearch),
                       static_cast<Control*>(&lblRndAddrStartAddress),
                       static_cast<Control*>(&cboRndAddrStartAddress)}) {
        fraRndAddrOptions.AddChild(*c);
    }
    Control* single[] = {&lblSingleAssignInfo, &cmdSingleAssignStart, &fraSingleAssignOptions};
    for (Control* c : single) tabAddressing.AddChild(*c, 2);
    fraSingleAssignOptions.AddChild(lblSingleAssignStartAddress);
    fraSingleAssignOptions.AddChild(cboSingleAssignAddress);
    Control* change[] = {&lblChangeAddrInfo[0],    &lblChangeAddrInfo[1],
                         &cmdChangeAddrStart,      &chkChangeAddrOpticalSelectionFeedback,
                         &lblChangeAddrNewAddress, &cboChangeAddrNewAddress,
                         &lblChangeAddrStatus,     &lstChangeAddrView};
    for (Control* c : change) tabAddressing.AddChild(*c, 3);

    Control* options[] = {&fraOperationMode, &fraPowerSupplyUnit, &fraCountDALIDevices,
                          &fraFirmwareVersion, &lblOptions};
    for (Control* c : options) tabMain.AddChild(*c, 2);
    fraOperationMode.AddChild(Option4);
    fraOperationMode.AddChild(Option5);
    fraPowerSupplyUnit.AddChild(chkPowerSupplyUnit);
    fraCountDALIDevices.AddChild(chkCountDALIDevices);
    fraFirmwareVersion.AddChild(lblFirmwareVersion);

    Control* archiv[] = {&tabArchiv, &cmdArchivOptions, &chkArchivOpticalSelectionFeedback,
                         &prgArchiv};
    for (Control* c : archiv) tabMain.AddChild(*c, 3);
    tabArchiv.Move(120, 480, 8535, 7800);
    tabArchiv.AddChild(gridScenes, 0);
    tabArchiv.AddChild(gridGroups, 1);
    cmdArchivOptions.Move(120, 8400, 1215, 375);
}

void configZD4270::Resize(double width, double height) {
    Guard(m_context, "UserControl_Resize", [&] {
        scrolledWindow.SetLeft(0);
        scrolledWindow.SetTop(0);
        scrolledWindow.Resize(width, height);
    });
}

void configZD4270::Terminate() {
    if (m_bTerminated) return;
    m_bTerminated = true;
    Guard(m_context, "UserControl_Terminate", [this] {
        timerWatchdog.SetEnabled(false);
        SaveSettingsToRegistry(m_state, &m_registry, Pos, m_context);
        for (int kind = 0; kind < kPageKindCount; ++kind) RemovePage(static_cast<PageKind>(kind));
    });
}

DevicePage& configZD4270::SetPage(PageKind kind, std::unique_ptr<DevicePage> page) {
    RemovePage(kind);
    const auto index = static_cast<std::size_t>(kind);
    m_pages[index] = std::move(page);
    DevicePage& added = *m_pages[index];
    added.AttachTerminal(m_state, m_link, Pos);
    m_pageConnections[index] =
        added.ObjectEvent.Connect([this](std::string_view eventName, EventParams& params) {
            HandleObjectEvents(eventName, params);
        });
    tabMain.AddChild(added, 0);
    added.Move(kPageLeft, kPageTop, kPageWidth, kPageHeight);
    added.SetVisible(true);
    return added;
}

void configZD4270::RemovePage(PageKind kind) {
    const auto index = static_cast<std::size_t>(kind);
    if (!m_pages[index]) return;
    m_pages[index]->ObjectEvent.Disconnect(m_pageConnections[index]);
    tabMain.RemoveChild(*m_pages[index]);
    m_pages[index].reset();
}

void configZD4270::RemovePageControls() {
    for (int kind = 0; kind < kPageKindCount; ++kind) RemovePage(static_cast<PageKind>(kind));
}

}  // namespace zd
