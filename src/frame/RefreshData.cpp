// The host's call into the control and what keeps running after it: RefreshData with its thirteen
// steps, the logging switches, the watchdog and the page events.
#include <chrono>
#include <limits>

#include "engine/EmergencyLog.h"
#include "engine/TerminalNode.h"
#include "frame/configZD4270.h"
#include "platform/Error.h"

namespace zd {

namespace {

template <typename T>
T ToParameter(std::int32_t value) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
        throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
    }
    return static_cast<T>(value);
}

// Clears m_bRefreshing however the refresh of the option controls ends, so that a failed read
// does not leave the option handlers silenced for good.
class RefreshingScope {
  public:
    explicit RefreshingScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RefreshingScope() { m_flag = false; }
    RefreshingScope(const RefreshingScope&) = delete;
    RefreshingScope& operator=(const RefreshingScope&) = delete;

  private:
    bool& m_flag;
};

}  // namespace

void configZD4270::ShowCritical(const std::string& text) {
    IgnoreErrors([&] {
        m_context.dialogs.MessageBox(
            {text, MsgButtons::Ok, MsgIcon::Critical, m_context.messages.Load(5113)});
    });
}

void configZD4270::RefreshData(XmlNode objDeviceNode, std::shared_ptr<DevCom> objDevCom,
                               const std::string& UserData) {
    Guard(m_context, "RefreshData",
          [&] { RefreshDataSteps(objDeviceNode, std::move(objDevCom), UserData); });
}

void configZD4270::RefreshDataSteps(XmlNode objDeviceNode, std::shared_ptr<DevCom> objDevCom,
                                    const std::string& UserData) {
    // The engine reads the terminal as every front end does; the form shows what it read, also
    // what it had read when a read failed.
    TerminalRefresh refresh;
    try {
        RefreshTerminal(m_addressingLine.Terminal(), m_registry, objDeviceNode,
                        std::move(objDevCom), UserData, m_logFilePrefix, refresh);
    } catch (...) {
        ShowRefresh(refresh);
        throw;
    }
    ShowRefresh(refresh);
    if (!refresh.opened) return;

    RefreshingScope refreshing(m_bRefreshing);
    CreateTreeDevices();
    CreateChangeAddrListView();
    CreateScenesView();
    CreateGroupsView();
    if (refresh.terminalAddressing) ResumeFirmwareAddressing();

    // A second refresh starts the watchdog's period anew.
    timerWatchdog.SetEnabled(false);
    timerWatchdog.SetInterval(kWatchdogIntervalMs);
    timerWatchdog.SetEnabled(true);
}

// The device settings tab's labels, the option controls (their handlers write nothing while
// m_bRefreshing is set) and the random addressing controls the firmware version chooses.
void configZD4270::ShowRefresh(const TerminalRefresh& refresh) {
    if (!refresh.userDataRead) return;
    m_nChannel = refresh.channel;
    m_nCompanyId = refresh.companyId;
    EnableLoggingMappingData = refresh.logging.mappingData;
    EnableLoggingUserData = refresh.logging.userData;
    EnableLoggingAddressing = refresh.logging.addressing;
    Pos = m_addressingLine.Terminal().position;
    m_description = refresh.description;
    m_sDeviceName = m_description.deviceName;
    lblValueFormat.SetCaption(ByteOrderText(m_description.motorola));
    if (m_description.nodeRead) {
        lblValuePos.SetCaption(std::to_string(m_description.position));
        lblValueChannel.SetCaption(std::to_string(m_description.channel));
        lblValueType.SetCaption(m_description.deviceName);
        lblValueOffset.SetCaption(m_description.offsetText);
    }
    if (!refresh.options) return;
    RefreshingScope refreshing(m_bRefreshing);
    chkPowerSupplyUnit.SetChecked(refresh.options->powerSupplyUnit);
    chkCountDALIDevices.SetChecked(refresh.options->countDaliDevices);
    if (refresh.options->mode == TerminalMode::Dali) Option4.SetValue(true);
    if (refresh.options->mode == TerminalMode::Dsi) Option5.SetValue(true);
    if (m_description.firmwareText.empty()) return;
    lblFirmwareVersion.SetCaption(m_description.firmwareText);
    const bool firmwareAddressing = m_state.m_nFirmwareVersion >= kFirmwareAddressingVersion;
    chkRndAddrOpticalFeedback.SetVisible(firmwareAddressing);
    chkRndAddrFastSearch.SetVisible(!firmwareAddressing);
    lstRndAddrView.SetVisible(!firmwareAddressing);
}

std::int32_t configZD4270::GetChannelVariableInfo(XmlNode node, std::string_view direction,
                                                  ProcessImageEntry& entry) {
    return GuardStatus(m_context, "GetChannelVariableInfo",
                       [&] { return ReadChannelVariable(node, direction, entry); });
}

std::int32_t configZD4270::GetDevicePos(XmlNode node, std::int32_t& position) {
    return ReadDevicePos(node, position);
}

std::int32_t configZD4270::GetDeviceDesc(XmlNode node, std::string& name) {
    return ReadDeviceDesc(node, name);
}

bool configZD4270::IsMotorolaFormat(XmlNode node) {
    return ReadMotorolaFormat(node);
}

void configZD4270::ReadLoggingSettingsFromRegistry() {
    const LoggingSwitches switches = ReadLoggingSwitches(m_registry, m_context);
    EnableLoggingMappingData = switches.mappingData;
    EnableLoggingUserData = switches.userData;
    EnableLoggingAddressing = switches.addressing;
}

// The terminal drops its outputs when the watchdog message stops. A failing write must not end
// the host, nor flood the user with a box every half second: the first failure of a series is
// shown, and the timer is enabled again so that the writes resume once the link is back.
void configZD4270::timerWatchdog_Timer() {
    timerWatchdog.SetEnabled(false);
    WriteWatchdogMessage(m_addressingLine.Terminal(), m_nWatchdogFailures);
    timerWatchdog.SetEnabled(true);
}

void configZD4270::HandleObjectEvents(std::string_view eventName, EventParams& params) {
    Guard(m_context, "HandleObjectEvents", [&] { HandleObjectEventsSteps(eventName, params); });
}

void configZD4270::HandleObjectEventsSteps(std::string_view eventName, EventParams& params) {
    if (eventName == "SendDALICommand") {
        // Copies: a scene number the command takes out of nData must not reach the page.
        std::int16_t nCommandId = ToParameter<std::int16_t>(params.Get("nCommandId"));
        std::uint8_t nData = ToParameter<std::uint8_t>(params.Get("nData"));
        AddressKind nAddrType =
            AddressKindFromNumber(ToParameter<std::int16_t>(params.Get("nAddrType")));
        std::int16_t nAddr = ToParameter<std::int16_t>(params.Get("nAddr"));
        m_deviceTypeAsked.reset();
        if (nCommandId == kCmdQueryDeviceType && nAddrType == AddressKind::Short)
            m_deviceTypeAsked = nAddr;
        Result nRet = m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
        params.Set("nRet", ResultNumber(nRet));
    } else if (eventName == "ReceiveDALIData") {
        std::uint8_t nData = 0;
        Result nRet = m_link.ReceiveDALIData(nData, nullptr);
        if (m_deviceTypeAsked && nRet == Result::Done)
            NoteDeviceTypeAnswer(*m_deviceTypeAsked, nData);
        m_deviceTypeAsked.reset();
        params.Set("nRet", ResultNumber(nRet));
        params.Set("nData", nData);
    } else if (eventName == "EmergencyTestDone") {
        // The emergency page saw a test end: it goes into the store's log for the report.
        EmergencyLogEntry entry;
        entry.date = DateTimeText(std::chrono::system_clock::now());
        entry.passed = params.Get("nPassed") != 0;
        entry.failureStatus = ToParameter<std::uint8_t>(params.Get("nFailure"));
        if (params.Get("nMinutes") >= 0) entry.durationMinutes = params.Get("nMinutes");
        if (params.Get("nRated") >= 0) entry.ratedMinutes = params.Get("nRated");
        WriteEmergencyLogEntry(
            m_registry, Pos, ToParameter<std::int16_t>(params.Get("nAddr")),
            params.Get("nKind") == 0 ? EmergencyTestKind::Function : EmergencyTestKind::Duration,
            entry);
    } else if (eventName == "SendDSICommand") {
        std::uint8_t nData = ToParameter<std::uint8_t>(params.Get("nData"));
        Result nRet = m_link.SendDSICommand(nData);
        params.Set("nRet", ResultNumber(nRet));
    }
}

}  // namespace zd
