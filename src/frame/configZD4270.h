// The main control the host embeds for one terminal: its surface (tabs and controls inside a
// scrolled window), its life (initialise, resize, RefreshData, terminate), the watchdog, the
// logging settings and the routing of the device pages' requests to the terminal.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/AddressingLine.h"
#include "engine/ArchiveTransfer.h"
#include "engine/ChangeAddresses.h"
#include "engine/DeviceScan.h"
#include "engine/PhysicalSelection.h"
#include "engine/RandomAddressing.h"
#include "engine/TerminalAddressing.h"
#include "engine/TerminalConnection.h"
#include "engine/TerminalDescription.h"
#include "engine/TerminalOptions.h"
#include "engine/internal/ChangeAddresses.h"
#include "engine/internal/DeviceScan.h"
#include "engine/internal/PhysicalSelection.h"
#include "engine/internal/RandomAddressing.h"
#include "frame/AddressingRun.h"
#include "frame/PageEvents.h"
#include "link/Link.h"
#include "link/ModuleState.h"
#include "platform/Context.h"
#include "platform/DevCom.h"
#include "platform/LogFile.h"
#include "platform/RegistryAccess.h"
#include "platform/Xml.h"
#include "ui/Controls.h"

namespace zd {

// Twips: where a device page lies on tabMain.
inline constexpr double kPageLeft = 3240;
inline constexpr double kPageTop = 480;
inline constexpr double kPageWidth = 5415;
inline constexpr double kPageHeight = 6450;

class configZD4270 {
  public:
    // Initialises the control: empty device list, captions and lists from the catalogue.
    configZD4270(const Context& context, RegistryAccess& registry,
                 ModuleState& state = ModuleState::Shared());
    ~configZD4270();
    configZD4270(const configZD4270&) = delete;
    configZD4270& operator=(const configZD4270&) = delete;

    // The host's one call: locate the terminal in the process image, read its settings and
    // registers, load the device list and start the watchdog. Failures are shown, never thrown.
    void RefreshData(XmlNode objDeviceNode, std::shared_ptr<DevCom> objDevCom,
                     const std::string& UserData);
    // The host resized the control: the scrolled window covers it again.
    void Resize(double width, double height);
    // The host destroys the control: watchdog off, device list saved, pages dropped. Runs once;
    // the destructor calls it when the host did not.
    void Terminate();

    // Log files go to the current folder under their own names; a host that drives several
    // terminals at once gives each control a prefix of its own ("pos-3."), so that no two
    // controls write one file.
    void SetLogFilePrefix(std::string prefix) { m_logFilePrefix = std::move(prefix); }
    const std::string& LogFilePrefix() const { return m_logFilePrefix; }

    // The single handler of every page event (exact names; unknown names are ignored).
    void HandleObjectEvents(std::string_view eventName, EventParams& params);

    // The page references: each page kind has one, empty while that page is not shown. Taking a
    // page connects its events; it lies on tabMain at the page position.
    DevicePage* Page(PageKind kind) const { return m_pages[static_cast<int>(kind)].get(); }
    DevicePage& SetPage(PageKind kind, std::unique_ptr<DevicePage> page);
    void RemovePage(PageKind kind);
    // Removes every page, in the order commands, light control, variables, groups, scenes.
    void RemovePageControls();

    // Reading the device node (each returns a status: 0, or 1 on a read error).
    std::int32_t GetChannelVariableInfo(XmlNode node, std::string_view direction,
                                        ProcessImageEntry& entry);
    std::int32_t GetDevicePos(XmlNode node, std::int32_t& position);
    std::int32_t GetDeviceDesc(XmlNode node, std::string& name);
    bool IsMotorolaFormat(XmlNode node);
    // The logging switches: each is on while its registry value is a number other than 0.
    void ReadLoggingSettingsFromRegistry();

    // The views built from the device list, and the addressing helpers the refresh needs.
    void CreateTreeDevices();
    // A page read a gear's device type: a gear of device type 1 gets an emergency node below
    // its device node (the line's scan does not ask device types).
    void NoteDeviceTypeAnswer(std::int16_t nAddr, std::uint8_t deviceType);
    void CreateChangeAddrListView();
    void CreateScenesView();
    void CreateGroupsView();

    ModuleState& State() { return m_state; }
    const ModuleState& State() const { return m_state; }
    // Devices whose planned address differs from their own, both on the line: the moves a change
    // run still has to make.
    int ChangeAddrMovesLeft() const { return m_changeRun.MovesLeft(); }
    // The moves the change run had to make when it started.
    int ChangeAddrPlanned() const { return m_changeRun.Planned(); }
    Link& TerminalLink() { return m_link; }
    const Context& GetContext() const { return m_context; }
    RegistryAccess& Registry() { return m_registry; }

    // The run state, read-only: what the refresh read from the terminal's node and user data and
    // the registry, and which procedure runs and how far it has come.
    std::int32_t Position() const { return Pos; }
    std::int32_t CompanyId() const { return m_nCompanyId; }
    const std::string& DeviceName() const { return m_sDeviceName; }
    // What the last refresh read about the terminal, as the device settings tab shows it.
    const TerminalDescription& Description() const { return m_description; }
    bool Refreshing() const { return m_bRefreshing; }
    bool LoggingMappingData() const { return EnableLoggingMappingData; }
    bool LoggingUserData() const { return EnableLoggingUserData; }
    bool LoggingAddressing() const { return EnableLoggingAddressing; }
    bool Scanning() const { return m_bScanning; }
    // The short address the scan queries next.
    std::int16_t ScanAddress() const { return m_scan.Address(); }
    bool PhySelRunning() const { return m_bPhySelRunning; }
    bool RndAddrRunning() const { return m_bRndAddrRunning; }
    // The terminal's own random addressing: when it began (or was found running), and how many
    // devices the device list held then.
    std::int64_t RndAddrFirmwareSinceMs() const { return m_nFirmwareSinceMs; }
    int RndAddrFirmwareGear() const { return m_nFirmwareGear; }
    bool ChangeAddrRunning() const { return m_bChangeAddrRunning; }
    // The archive transfer that runs, and the short address it is at.
    enum class ArchivTransfer { None, Upload, Download };
    ArchivTransfer ArchivTransferRunning() const { return m_archivTransfer; }
    std::int16_t ArchivAddress() const { return m_nArchivAddress; }
    // The step state of the addressing machines.
    const AddressingState& Addressing() const { return m_addressingState; }
    // Devices of the device list that the archive loaded last does not list: a download clears
    // their groups and scenes. Empty after an upload (the grids then hold what the devices hold).
    std::vector<std::int16_t> ArchivUnlistedDevices() const;
    // The addresses whose groups and scenes the last download cleared, as it found them there.
    const std::vector<std::int16_t>& ArchivCleared() const { return m_archivCleared; }
    // What the last addressing run recovered from (see AddressingRecovery), in the order met.
    const std::vector<AddressingRecovery>& Recovered() const {
        return m_addressingLine.Recovered();
    }
    // Line time the control's last search spent on its checks (the second ask of a free address,
    // the random address of each new address, the second ask of the last COMPARE).
    std::int64_t RndAddrCheckMs() const { return m_rndSearch.CheckMs(); }
    // The control's search, as far as it has come.
    const RandomAddressingSearch& RndAddrSearch() const { return m_rndSearch; }
    // The engine the form runs its procedures on: the line of this terminal.
    AddressingLine& EngineLine() { return m_addressingLine; }

    // The surface: everything lies in the scrolled window, on the tabs of tabMain.
    ScrolledWindow scrolledWindow{"ScrolledWindow"};
    TabStrip tabMain{"tabMain", 4};

    // Device settings tab.
    TreeView treeDevices{"treeDevices"};
    Label lblPos{"lblPos"};
    Label lblChannel{"lblChannel"};
    Label lblOffset{"lblOffset"};
    Label lblType{"lblType"};
    Label lblValuePos{"lblValuePos"};
    Label lblValueChannel{"lblValueChannel"};
    Label lblValueOffset{"lblValueOffset"};
    Label lblValueType{"lblValueType"};
    Label lblValueFormat{"lblValueFormat"};
    CheckBox chkOpticalSelectionFeedback{"chkOpticalSelectionFeedback"};
    // The scan asks a silent address once more before it takes it as free.
    CheckBox chkScanAskTwice{"chkScanAskTwice"};
    // The scan asks the addresses back to back with the quick handshake, as the scan after a
    // fast search does.
    CheckBox chkScanQuick{"chkScanQuick"};
    Button cmdScanDevices{"cmdScanDevices"};
    ProgressBar prgState{"prgState", 0, 63};
    Timer timerScanDevices{"timerScanDevices"};

    // Addressing tab.
    TabStrip tabAddressing{"tabAddressing", 4};
    Label lblPhySelInfo{"lblPhySelInfo"};
    Button cmdPhySelStart{"cmdPhySelStart"};
    Frame fraPhySelOptions{"fraPhySelOptions"};
    CheckBox chkPhySelCompleteNewInstallation{"chkPhySelCompleteNewInstallation"};
    CheckBox chkPhySelDeleteAllGroupAssignments{"chkPhySelDeleteAllGroupAssignments"};
    CheckBox chkPhySelDeleteAllScenes{"chkPhySelDeleteAllScenes"};
    Label lblPhySelStartAddress{"lblPhySelStartAddress"};
    ComboBox cboPhySelStartAddress{"cboPhySelStartAddress"};
    Label lblPhySelStatus{"lblPhySelStatus"};
    ListView lstPhySelView{"lstPhySelView"};
    Timer timerPhySel{"timerPhySel"};

    Label lblRndAddrInfo{"lblRndAddrInfo"};
    Button cmdRndAddrStart{"cmdRndAddrStart"};
    Frame fraRndAddrOptions{"fraRndAddrOptions"};
    CheckBox chkRndAddrCompleteNewInstallation{"chkRndAddrCompleteNewInstallation"};
    CheckBox chkRndAddrDeleteAllGroupAssignments{"chkRndAddrDeleteAllGroupAssignments"};
    CheckBox chkRndAddrDeleteAllScenes{"chkRndAddrDeleteAllScenes"};
    CheckBox chkRndAddrOpticalFeedback{"chkRndAddrOpticalFeedback"};
    // The control's own search with its steps back to back instead of one per timer period.
    CheckBox chkRndAddrFastSearch{"chkRndAddrFastSearch"};
    Label lblRndAddrStartAddress{"lblRndAddrStartAddress"};
    ComboBox cboRndAddrStartAddress{"cboRndAddrStartAddress"};
    Label lblRndAddrStatus{"lblRndAddrStatus"};
    ListView lstRndAddrView{"lstRndAddrView"};
    Timer timerRndAddr{"timerRndAddr"};
    Timer timerRndAddrFirmware{"timerRndAddrFirmware"};

    Label lblSingleAssignInfo{"lblSingleAssignInfo"};
    Button cmdSingleAssignStart{"cmdSingleAssignStart"};
    Frame fraSingleAssignOptions{"fraSingleAssignOptions"};
    Label lblSingleAssignStartAddress{"lblSingleAssignStartAddress"};
    ComboBox cboSingleAssignAddress{"cboSingleAssignAddress"};

    std::array<Label, 2> lblChangeAddrInfo{Label{"lblChangeAddrInfo(0)"},
                                           Label{"lblChangeAddrInfo(1)"}};
    Button cmdChangeAddrStart{"cmdChangeAddrStart"};
    CheckBox chkChangeAddrOpticalSelectionFeedback{"chkChangeAddrOpticalSelectionFeedback"};
    Label lblChangeAddrNewAddress{"lblChangeAddrNewAddress"};
    ComboBox cboChangeAddrNewAddress{"cboChangeAddrNewAddress"};
    Label lblChangeAddrStatus{"lblChangeAddrStatus"};
    ListView lstChangeAddrView{"lstChangeAddrView"};
    Timer timerChangeAddr{"timerChangeAddr"};

    // Options tab.
    Frame fraOperationMode{"fraOperationMode"};
    OptionGroup grpOperationMode;
    OptionButton Option4{"Option4"};
    OptionButton Option5{"Option5"};
    Frame fraPowerSupplyUnit{"fraPowerSupplyUnit"};
    CheckBox chkPowerSupplyUnit{"chkPowerSupplyUnit"};
    Frame fraCountDALIDevices{"fraCountDALIDevices"};
    CheckBox chkCountDALIDevices{"chkCountDALIDevices"};
    Frame fraFirmwareVersion{"fraFirmwareVersion"};
    Label lblFirmwareVersion{"lblFirmwareVersion"};
    Label lblOptions{"lblOptions"};

    // Archiv tab.
    TabStrip tabArchiv{"tabArchiv", 2};
    Grid gridScenes{"gridScenes", 65, 17};
    Grid gridGroups{"gridGroups", 65, 17};
    Button cmdArchivOptions{"cmdArchivOptions"};
    PopupMenu mnuArchivOptions{"mnuArchivOptions"};
    CheckBox chkArchivOpticalSelectionFeedback{"chkArchivOpticalSelectionFeedback"};
    ProgressBar prgArchiv{"prgArchiv"};

    // Writes the watchdog message every 500 ms while the control lives.
    Timer timerWatchdog{"timerWatchdog"};

    // The change-address list, the scenes and groups views and the tree from colDevices.
    void RefreshDeviceViews();
    // Before a scan replaces the device list: pages, lists and tree let go of its records. After
    // it: the views show what it found, the tree's root selected, as the scan's end shows them.
    void ReleaseDeviceViews();
    void ShowScannedDevices();

  private:
    // The procedures of the tabs: their click and timer handlers, the steps they drive and the
    // helpers they share; the window reaches them through the models' events.
    void ClearAddressingLists();
    void EnableRndAddrOptions(bool bEnable);
    void EnableRndAddrOptionsAndTabs(bool bEnable);
    // One step of the terminal's own random addressing; the addressing procedures supply it.
    void RandomAddressingFirmware(bool bStart, bool bStop, bool bPoll, bool& bFinished);
    // Device scan, device tree and terminal options (DeviceScan.cpp, DeviceTree.cpp,
    // TerminalOptions.cpp).
    void cmdScanDevices_Click();
    void timerScanDevices_Timer();
    // One step of the scan: it goes on, has just finished, or failed or met a bad state.
    enum class ScanResult { Running, Finished, Failed };
    void ScanDevices(bool bStart, bool bStop, ScanResult& result);
    // The lock while a scan runs: tree and tabs 1 to 3 off, progress bar shown.
    void EnableControls(bool bEnable);
    void treeDevices_NodeClick(TreeNode* node);
    void chkOpticalSelectionFeedback_Click();
    void chkPowerSupplyUnit_Click();
    void chkCountDALIDevices_Click();
    void Option4_Click();
    void Option5_Click();

    // Archive tab (ArchiveTab.cpp): the grids to a file and back. ArchivSave lets its errors
    // reach the caller; ArchivLoad reports its own, keeping the rows it rewrote before the error.
    void ArchivSave(const std::string& fileName);
    void ArchivLoad(const std::string& fileName);

    // Addressing run frame, random addressing and its firmware variant (AddressingFrame.cpp,
    // RandomAddressing.cpp, FirmwareAddressing.cpp). See AddressingFrame.h for how a procedure
    // plugs into the frame.
    void EnablePhySelOptions(bool bEnable);
    void EnableChangeAddrControls(bool bEnable);
    // false (after message 5122) when the terminal is in DSI mode.
    bool CheckDaliMode();
    // A new log file for a run when EnableLoggingAddressing is set, with its " start " line; else
    // no log. Closing writes the last line first; both do nothing without an open log.
    void StartAddressingLog(const std::string& words);
    void WriteAddressingLogLine(const std::string& words);
    void CloseAddressingLog(const std::string& words);
    // The transactions of a run, with the open addressing log (or without it when bLogged is
    // false).
    Result SendAddressingCommand(std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                                 std::int16_t nAddr);
    Result ReceiveAddressingData(std::uint8_t& nData, bool bLogged = true);
    // A query whose silence decides something, asked once more before silence is believed.
    Result AddressingQueryTwice(std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                                std::int16_t nAddr, std::uint8_t& nAnswer);
    void ShowAddressLimitMessage();
    // colDevices gets a fresh record for the address, replacing any under its key.
    void AddAddressedDevice(std::int16_t nShortAddress, bool bDALIConflict = false);
    void EmptyDeviceList();
    void AddLampRow(ListView& view, std::int16_t nLampNo, std::int16_t nShortAddress);
    // Asks before a start whose options delete short addresses, group assignments or scenes of
    // the gear on the line, naming the devices the device list knows; true to go on. title: the
    // procedure's tab.
    bool ConfirmAddressingWipe(int title, bool newInstallation, bool deleteGroups,
                               bool deleteScenes);
    // The common Start/Cancel click and timer tick of a run.
    void AddressingStartClick(const AddressingRun& run);
    void AddressingTimerTick(const AddressingRun& run);
    // One step of a procedure's machine: bStart puts it into the start state, bStop (winning)
    // into the stop state, then exactly one state runs. ownStep runs the machine's own states and
    // returns false for a state it does not know; the idle state runs nothing, and the stop, an
    // unknown state and an error end as the machine's description says.
    template <typename Step>
    void AddressingMachineStep(const AddressingMachine& machine, Step& state, bool bStart,
                               bool bStop, bool& bFinished, const std::function<bool()>& ownStep) {
        if (bStart) state = Step::Start;
        if (bStop) state = Step::Stop;
        if (state == Step::Idle) return;
        if (RunAddressingMachineStep(machine, state == Step::Stop, bFinished, ownStep))
            state = Step::Idle;
    }
    // The stop or the machine's own state, with the shared ends; true when the machine goes back
    // to idle (AddressingFrame.cpp).
    bool RunAddressingMachineStep(const AddressingMachine& machine, bool bAtStop, bool& bFinished,
                                  const std::function<bool()>& ownStep);
    void RandomAddressing(bool bStart, bool bStop, bool& bFinished);
    void cmdRndAddrStart_Click();
    void timerRndAddr_Timer();
    void timerRndAddrFirmware_Timer();

    // Physical selection, single assignment and change addresses (PhysicalSelection.cpp,
    // SingleAssignment.cpp, ChangeAddresses.cpp).
    void cmdPhySelStart_Click();
    void timerPhySel_Timer();
    void AddressingPhysical(bool bStart, bool bStop, bool& bFinished);
    void cmdSingleAssignStart_Click();
    void SingleAssignment();
    void cmdChangeAddrStart_Click();
    void timerChangeAddr_Timer();
    void ChangeAddresses(bool bStart, bool bStop, bool& bFinished);
    void cboChangeAddrNewAddress_Click();
    void lstChangeAddrView_ItemClick(ListItem& item);
    void chkChangeAddrOpticalSelectionFeedback_Click();

    // The terminal firmware is still running random addressing: take up its supervision.
    void ResumeFirmwareAddressing();
    void ShowCritical(const std::string& text);
    // Device scan, device tree and terminal options (DeviceScan.cpp, DeviceTree.cpp,
    // TerminalOptions.cpp).
    void ConnectDeviceHandlers();
    void LightSelectedLamp(const std::string& key);
    void SendFeedbackCommand(std::int16_t nCommandId, AddressKind nAddrType, std::int16_t nAddr);
    void CreatePage(PageKind kind);
    bool ChangeTerminalOptions(const TerminalOptionsChange& change);
    // Archive tab (ArchiveTab.cpp).
    void ConnectArchivHandlers();
    // Reports an error of a menu handler and releases the tab it may have locked.
    void RunArchivHandler(std::string_view procedure, const std::function<void()>& body);
    void cmdArchivOptions_Click();
    void mnuArchivOptionsLoad_Click();
    void mnuArchivOptionsSave_Click();
    void mnuArchivOptionsUpload_Click();
    void mnuArchivOptionsDownload_Click();
    void chkArchivOpticalSelectionFeedback_Click();
    // The file dialog for load or save; nothing when it was cancelled or gave no name.
    std::optional<std::string> AskArchivFile(bool bSave);
    void EnableArchivFileControls(bool bEnable);
    bool RefuseArchivInDsiMode();
    void LockArchivTab(double progressMax);
    void UnlockArchivTab();
    // The grids of an upload; the archive a download writes (ControlError for a cell that is no
    // byte); the options that move the bar and show the levels as they are read.
    void ShowArchivUpload(const ArchiveUploadReport& report);
    Archive ArchivFromGrids() const;
    ArchiveTransferOptions ArchivTransferView(const char* procedure);
    // Addressing run frame and random addressing (AddressingFrame.cpp, RandomAddressing.cpp,
    // FirmwareAddressing.cpp).
    void ConnectAddressingHandlers();
    void EndAddressingRun(const AddressingRun& run, const std::string& logLine);
    AddressingRun RndAddrRun();
    // Notes a recovery of a run or scan (AddressingLine::NoteRecovery).
    void NoteRecovery(const std::string& what, const std::string& text, std::int32_t shortAddress,
                      std::int32_t randomAddress);
    void StartFirmwareAddressing();
    void EndFirmwareAddressing();
    void FirmwareAddressingHandOver();
    void NoteFirmwareRunBegins();
    // Physical selection, single assignment and change addresses (PhysicalSelection.cpp,
    // SingleAssignment.cpp, ChangeAddresses.cpp).
    void ConnectAssignmentHandlers();
    AddressingRun PhySelRun();
    AddressingRun ChangeAddrRun();
    void ShowChangeAddrFeedback(std::int16_t nShortAddress);
    void EndChangeAddrRun(bool bLogLine, bool bMessage);
    void UserControlInitialize();
    void InitializeDeviceSettingsTab();
    void InitializeAddressingTabs();
    void InitializeOptionsTab();
    void InitializeArchivTab();
    void PlaceControls();
    // Places the controls PlaceControls left without a place (SurfaceLayout.cpp).
    void LayOutSurface();
    void RefreshDataSteps(XmlNode objDeviceNode, std::shared_ptr<DevCom> objDevCom,
                          const std::string& UserData);
    void ShowRefresh(const TerminalRefresh& refresh);
    void timerWatchdog_Timer();
    void HandleObjectEventsSteps(std::string_view eventName, EventParams& params);
    void AddEmergencyNode(const std::string& nn);

    // The run state (see the read-only views above). Read from the terminal's node and user data:
    std::int32_t Pos = -1;
    std::int32_t m_nChannel = 0;
    TerminalDescription m_description;
    std::int32_t m_nCompanyId = 0;
    std::string m_sDeviceName;
    bool m_bRefreshing = false;
    // The logging switches of the registry.
    bool EnableLoggingMappingData = false;
    bool EnableLoggingUserData = false;
    bool EnableLoggingAddressing = false;
    // The procedures that run.
    bool m_bScanning = false;
    bool m_bPhySelRunning = false;
    bool m_bRndAddrRunning = false;
    bool m_bChangeAddrRunning = false;
    std::int64_t m_nFirmwareSinceMs = 0;
    int m_nFirmwareGear = 0;
    ArchivTransfer m_archivTransfer = ArchivTransfer::None;
    std::int16_t m_nArchivAddress = 0;
    // Watchdog writes that failed since the last one that succeeded.
    int m_nWatchdogFailures = 0;
    // The scan's state and the short address it queries next.
    enum class ScanStep : std::int16_t { Idle = 0, Start = 10, Query = 20, Finish = 1000 };
    ScanStep m_nScanState = ScanStep::Idle;
    // The optical selection feedback: whether it has been used since the start, and the lamp lit
    // last (-1 for none).
    bool m_bOpticalSelectionInitialised = false;
    std::int16_t m_nOpticalSelectionAddress = -1;
    // The step state of every addressing machine; each procedure keeps its own fields.
    AddressingState m_addressingState;

    Context m_context;
    RegistryAccess& m_registry;
    ModuleState& m_state;
    Link m_link;
    std::array<std::unique_ptr<DevicePage>, kPageKindCount> m_pages;
    // Short addresses known to hold emergency gear, and the address whose device type a page
    // asked last.
    std::set<std::int16_t> m_emergencyAddresses;
    std::optional<std::int16_t> m_deviceTypeAsked;
    std::array<Event<std::string_view, EventParams&>::Connection, kPageKindCount>
        m_pageConnections{};
    bool m_bTerminated = false;
    std::string m_logFilePrefix;
    std::optional<std::set<std::int16_t>> m_archivListed;
    std::vector<std::int16_t> m_archivCleared;
    // The engine's procedures the form drives: the line with its log and recoveries, the scan
    // and the control's search.
    AddressingLine m_addressingLine;
    DeviceScan m_scan{m_addressingLine};
    RandomAddressingSearch m_rndSearch{m_addressingLine};
    ChangeAddressesRun m_changeRun{m_addressingLine};
    PhysicalSelectionRun m_phySel{m_addressingLine};
};

}  // namespace zd
