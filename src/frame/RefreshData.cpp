// The host's call into the control and what keeps running after it: RefreshData with its thirteen
// steps, the logging switches, the watchdog and the page events.
#include <limits>

#include "devices/DeviceRegistry.h"
#include "devices/NumericText.h"
#include "frame/DeviceNode.h"
#include "frame/configZD4270.h"
#include "platform/Error.h"
#include "platform/Files.h"

namespace zd {

namespace {

constexpr const char* kSettingsKeyPath =
    "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Settings\\";
constexpr std::uint16_t kWatchdogMessage[3] = {1793, 1, 15000};
constexpr std::int32_t kWatchdogTable = 99;

// The integer text of one element of the user data.
std::int32_t ReadUserDataValue(const XmlDocument& userData, const char* path) {
    XmlNode node = userData.DocumentNode().SelectSingleNode(path);
    if (!node) {
        throw ControlError(std::string("The user data lacks the element \"") + path + "\"",
                           kLibraryTitle, kErrObjectRequired);
    }
    return static_cast<std::int32_t>(DecimalField(node.Text(), std::string("\"") + path + "\"",
                                                  std::numeric_limits<std::int32_t>::min(),
                                                  std::numeric_limits<std::int32_t>::max()));
}

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
    bool failed = false;
    m_state.objDevCom = std::move(objDevCom);

    XmlDocument userData;
    if (UserData.size() > kUserDataInput.limit) {
        throw ControlError("The user data is larger than " + SizeText(kUserDataInput.limit) +
                               ", the most this program reads",
                           kLibraryTitle, kErrXmlParse);
    }
    if (!userData.LoadXml(UserData)) {
        throw ControlError("The user data is no XML document: " + userData.ParseError()->Describe(),
                           kLibraryTitle, kErrXmlParse);
    }
    m_nChannel = ReadUserDataValue(userData, "Params/UserData");
    m_nCompanyId = ReadUserDataValue(userData, "Params/CompanyId");

    IgnoreErrors([&] { ReadLoggingSettingsFromRegistry(); });
    IgnoreErrors([&] {
        if (EnableLoggingMappingData)
            LogFile::WriteWholeFile(m_logFilePrefix + kMappingDataLogFile, objDeviceNode.Xml());
    });
    IgnoreErrors([&] {
        if (EnableLoggingUserData)
            LogFile::WriteWholeFile(m_logFilePrefix + kUserDataLogFile, userData.Xml());
    });

    m_state.m_bMotorola = IsMotorolaFormat(objDeviceNode);
    m_description.motorola = m_state.m_bMotorola;
    lblValueFormat.SetCaption(ByteOrderText(m_state.m_bMotorola));

    std::int32_t status = GetDevicePos(objDeviceNode, Pos);
    m_addressingLine.Terminal().position = Pos;
    if (status != 0 || Pos == -1) {
        failed = true;
        ShowCritical("Error: RefreshData.GetDevicePos()!\r\nnRet: " + std::to_string(status));
    }

    if (!objDeviceNode.SelectSingleNode("ProcessData")) {
        failed = true;
        IgnoreErrors([&] {
            m_context.dialogs.MessageBox(
                {m_context.messages.Load(5135) + "\r\n" + m_context.messages.Load(5136),
                 MsgButtons::Ok, MsgIcon::Exclamation, m_context.messages.Load(5112)});
        });
    } else {
        for (int i = 0; i < 4; ++i) {
            status =
                GetChannelVariableInfo(objDeviceNode, kProcessImageNames[i],
                                       m_state.ProcessImageLayout[static_cast<std::size_t>(i)]);
            if (status != 0) {
                failed = true;
                ShowCritical("Error: RefreshData.GetChannelVariableInfo()!\r\nnRet: " +
                             std::to_string(status));
            }
        }
        status = GetDeviceDesc(objDeviceNode, m_sDeviceName);
        if (status != 0) {
            failed = true;
            ShowCritical("Error: RefreshData.GetDeviceDesc()!\r\nnRet: " + std::to_string(status));
        }
        m_description.nodeRead = true;
        m_description.position = Pos;
        m_description.channel = static_cast<std::int64_t>(m_nChannel) + 1;
        m_description.deviceName = m_sDeviceName;
        m_description.offsetText = StatusOffsetText(m_state.ProcessImageLayout[kStatus]);
        lblValuePos.SetCaption(std::to_string(m_description.position));
        lblValueChannel.SetCaption(std::to_string(m_description.channel));
        lblValueType.SetCaption(m_description.deviceName);
        lblValueOffset.SetCaption(m_description.offsetText);
    }

    if (!m_state.objDevCom || failed) {
        ShowCritical("Error: RefreshData!");
        return;
    }

    {
        RefreshingScope refreshing(m_bRefreshing);
        ReadTerminalRegisters();
        ReadSettingsFromRegistry(m_state, &m_registry, Pos, m_context);
        CreateTreeDevices();
        CreateChangeAddrListView();
        CreateScenesView();
        CreateGroupsView();

        std::uint8_t terminalStatus = 0;
        if (m_link.ReadStatusByte(terminalStatus) == Result::Done &&
            (terminalStatus & kStatusFirmwareAddressing) != 0) {
            ResumeFirmwareAddressing();
        }

        // A second refresh starts the watchdog's period anew.
        timerWatchdog.SetEnabled(false);
        timerWatchdog.SetInterval(kWatchdogIntervalMs);
        timerWatchdog.SetEnabled(true);
    }
}

// The feature register sets the option controls (their handlers write nothing while
// m_bRefreshing is set) and the firmware version chooses the random addressing controls.
void configZD4270::ReadTerminalRegisters() {
    const TerminalOptions options = ReadTerminalOptions(m_addressingLine.Terminal());
    chkPowerSupplyUnit.SetChecked(options.powerSupplyUnit);
    chkCountDALIDevices.SetChecked(options.countDaliDevices);
    switch (options.mode) {
        case TerminalMode::Dali:
            Option4.SetValue(true);
            m_state.m_nOperationMode = kModeDali;
            break;
        case TerminalMode::Dsi:
            Option5.SetValue(true);
            m_state.m_nOperationMode = kModeDsi;
            break;
        case TerminalMode::Other:
            break;
    }

    m_state.m_nFirmwareVersion = ReadFirmwareVersion(m_addressingLine.Terminal());
    m_description.firmwareText = FirmwareVersionText(m_state.m_nFirmwareVersion);
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
    EnableLoggingMappingData = false;
    EnableLoggingUserData = false;
    EnableLoggingAddressing = false;
    Guard(m_context, "ReadLoggingSettingsFromRegistry", [this] {
        auto readSwitch = [this](const char* valueName, bool& flag) {
            std::string text;
            if (!m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kSettingsKeyPath,
                                       valueName, text)) {
                return;
            }
            if (IsNumericText(text) && TextToLong(text) != 0) flag = true;
        };
        readSwitch("EnableLoggingMappingData", EnableLoggingMappingData);
        readSwitch("EnableLoggingUserData", EnableLoggingUserData);
        readSwitch("EnableLoggingAddressing", EnableLoggingAddressing);
    });
}

// The terminal drops its outputs when the watchdog message stops. A failing write must not end
// the host, nor flood the user with a box every half second: the first failure of a series is
// shown, and the timer is enabled again so that the writes resume once the link is back.
void configZD4270::timerWatchdog_Timer() {
    timerWatchdog.SetEnabled(false);
    try {
        if (m_state.objDevCom) {
            m_state.objDevCom->WriteTable(0, kWatchdogTable, 0, 3, kWatchdogMessage);
            m_nWatchdogFailures = 0;
            // A running procedure has already ended on the loss; outside one the link is back.
            if (!m_link.InProcedure()) m_link.NoteCommunicationRestored();
        }
    } catch (...) {
        // A connection that a transaction has just reported lost needs no second box; and a
        // running procedure learns from the latch that the link is gone.
        const bool bReported = m_link.CommunicationLost();
        m_link.NoteCommunicationLost();
        if (m_nWatchdogFailures++ == 0 && !bReported)
            ReportCurrentException(m_context, "timerWatchdog_Timer");
    }
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
        Result nRet = m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
        params.Set("nRet", ResultNumber(nRet));
    } else if (eventName == "ReceiveDALIData") {
        std::uint8_t nData = 0;
        Result nRet = m_link.ReceiveDALIData(nData, nullptr);
        params.Set("nRet", ResultNumber(nRet));
        params.Set("nData", nData);
    } else if (eventName == "SendDSICommand") {
        std::uint8_t nData = ToParameter<std::uint8_t>(params.Get("nData"));
        Result nRet = m_link.SendDSICommand(nData);
        params.Set("nRet", ResultNumber(nRet));
    }
}

}  // namespace zd
