#include "engine/TerminalConnection.h"

#include <limits>

#include "devices/DeviceRegistry.h"
#include "devices/NumericText.h"
#include "engine/TerminalNode.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/LogFile.h"

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

void ShowCritical(const Context& context, const std::string& text) {
    IgnoreErrors([&] {
        context.dialogs.MessageBox(
            {text, MsgButtons::Ok, MsgIcon::Critical, context.messages.Load(5113)});
    });
}

// The node into the state's layout and byte order and into the description; a box for each part
// that cannot be read. False when any part failed.
bool ReadTerminalNode(EngineTerminal& terminal, XmlNode node, TerminalRefresh& refresh) {
    const Context& context = terminal.context;
    ModuleState& state = terminal.state;
    bool failed = false;
    state.m_bMotorola = ReadMotorolaFormat(node);
    refresh.description.motorola = state.m_bMotorola;

    std::int32_t position = -1;
    std::int32_t status = ReadDevicePos(node, position);
    terminal.position = position;
    if (status != 0 || position == -1) {
        failed = true;
        ShowCritical(context,
                     "Error: RefreshData.GetDevicePos()!\r\nnRet: " + std::to_string(status));
    }

    if (!node.SelectSingleNode("ProcessData")) {
        IgnoreErrors([&] {
            context.dialogs.MessageBox(
                {context.messages.Load(5135) + "\r\n" + context.messages.Load(5136), MsgButtons::Ok,
                 MsgIcon::Exclamation, context.messages.Load(5112)});
        });
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        status = GuardStatus(context, "GetChannelVariableInfo", [&] {
            return ReadChannelVariable(node, kProcessImageNames[i],
                                       state.ProcessImageLayout[static_cast<std::size_t>(i)]);
        });
        if (status != 0) {
            failed = true;
            ShowCritical(context, "Error: RefreshData.GetChannelVariableInfo()!\r\nnRet: " +
                                      std::to_string(status));
        }
    }
    TerminalDescription& description = refresh.description;
    status = ReadDeviceDesc(node, description.deviceName);
    if (status != 0) {
        failed = true;
        ShowCritical(context,
                     "Error: RefreshData.GetDeviceDesc()!\r\nnRet: " + std::to_string(status));
    }
    description.nodeRead = true;
    description.position = position;
    description.channel = static_cast<std::int64_t>(refresh.channel) + 1;
    description.offsetText = StatusOffsetText(state.ProcessImageLayout[kStatus]);
    return !failed;
}

}  // namespace

LoggingSwitches ReadLoggingSwitches(RegistryAccess& registry, const Context& context) {
    LoggingSwitches switches;
    Guard(context, "ReadLoggingSettingsFromRegistry", [&] {
        auto readSwitch = [&](const char* valueName, bool& flag) {
            std::string text;
            if (!registry.ReadString(RegistryAccess::kHkeyCurrentUser, kSettingsKeyPath, valueName,
                                     text)) {
                return;
            }
            if (IsNumericText(text) && TextToLong(text) != 0) flag = true;
        };
        readSwitch("EnableLoggingMappingData", switches.mappingData);
        readSwitch("EnableLoggingUserData", switches.userData);
        readSwitch("EnableLoggingAddressing", switches.addressing);
    });
    return switches;
}

void RefreshTerminal(EngineTerminal& terminal, RegistryAccess& registry, XmlNode node,
                     std::shared_ptr<DevCom> devCom, const std::string& userData,
                     const std::string& logFilePrefix, TerminalRefresh& refresh) {
    refresh = TerminalRefresh();
    ModuleState& state = terminal.state;
    const Context& context = terminal.context;
    state.objDevCom = std::move(devCom);

    XmlDocument userDataDocument;
    if (userData.size() > kUserDataInput.limit) {
        throw ControlError("The user data is larger than " + SizeText(kUserDataInput.limit) +
                               ", the most this program reads",
                           kLibraryTitle, kErrXmlParse);
    }
    if (!userDataDocument.LoadXml(userData)) {
        throw ControlError(
            "The user data is no XML document: " + userDataDocument.ParseError()->Describe(),
            kLibraryTitle, kErrXmlParse);
    }
    refresh.channel = ReadUserDataValue(userDataDocument, "Params/UserData");
    refresh.companyId = ReadUserDataValue(userDataDocument, "Params/CompanyId");
    refresh.userDataRead = true;

    IgnoreErrors([&] { refresh.logging = ReadLoggingSwitches(registry, context); });
    IgnoreErrors([&] {
        if (refresh.logging.mappingData)
            LogFile::WriteWholeFile(logFilePrefix + kMappingDataLogFile, node.Xml());
    });
    IgnoreErrors([&] {
        if (refresh.logging.userData)
            LogFile::WriteWholeFile(logFilePrefix + kUserDataLogFile, userDataDocument.Xml());
    });

    const bool nodeRead = ReadTerminalNode(terminal, node, refresh);
    if (!state.objDevCom || !nodeRead) {
        ShowCritical(context, "Error: RefreshData!");
        return;
    }

    refresh.options = ReadTerminalOptions(terminal);
    switch (refresh.options->mode) {
        case TerminalMode::Dali:
            state.m_nOperationMode = kModeDali;
            break;
        case TerminalMode::Dsi:
            state.m_nOperationMode = kModeDsi;
            break;
        case TerminalMode::Other:
            break;
    }
    state.m_nFirmwareVersion = ReadFirmwareVersion(terminal);
    refresh.description.firmwareText = FirmwareVersionText(state.m_nFirmwareVersion);
    ReadSettingsFromRegistry(state, &registry, terminal.position, context);
    refresh.opened = true;

    std::uint8_t terminalStatus = 0;
    refresh.terminalAddressing = terminal.link.ReadStatusByte(terminalStatus) == Result::Done &&
                                 (terminalStatus & kStatusFirmwareAddressing) != 0;
}

void WriteWatchdogMessage(EngineTerminal& terminal, int& failures) {
    Link& link = terminal.link;
    try {
        if (terminal.state.objDevCom) {
            terminal.state.objDevCom->WriteTable(0, kWatchdogTable, 0, 3, kWatchdogMessage);
            failures = 0;
            // A running procedure has already ended on the loss; outside one the link is back.
            if (!link.InProcedure()) link.NoteCommunicationRestored();
        }
    } catch (...) {
        // A connection that a transaction has just reported lost needs no second box; and a
        // running procedure learns from the latch that the link is gone.
        const bool reported = link.CommunicationLost();
        link.NoteCommunicationLost();
        if (failures++ == 0 && !reported)
            ReportCurrentException(terminal.context, "timerWatchdog_Timer");
    }
}

TerminalConnection::TerminalConnection(const Context& context, RegistryAccess& registry,
                                       ModuleState& state)
    : m_context(context),
      m_registry(registry),
      m_state(state),
      m_link(state, m_context),
      m_line(EngineTerminal{m_state, m_link, m_context}) {
    m_state.devices = std::make_shared<colDevices>();
}

TerminalConnection::~TerminalConnection() {
    Close();
    if (m_watchdog) m_context.scheduler.RemoveTimer(*m_watchdog);
}

bool TerminalConnection::Open(XmlNode node, std::shared_ptr<DevCom> devCom,
                              const std::string& userData) {
    // Closing saves the device list even after a refresh that failed: the store's keys that the
    // refresh did not read are left as they are.
    m_opened = true;
    Guard(m_context, "RefreshData", [&] {
        RefreshTerminal(m_line.Terminal(), m_registry, node, std::move(devCom), userData,
                        m_logFilePrefix, m_refresh);
    });
    m_terminalAddressing = m_refresh.terminalAddressing;
    if (!m_refresh.opened) return false;
    Scheduler& clock = m_context.scheduler;
    if (!m_watchdog) {
        m_watchdog = clock.AddTimer([this] {
            Scheduler& scheduler = m_context.scheduler;
            scheduler.SetTimer(*m_watchdog, kWatchdogIntervalMs, false);
            WriteWatchdogMessage(m_line.Terminal(), m_watchdogFailures);
            scheduler.SetTimer(*m_watchdog, kWatchdogIntervalMs, true);
        });
    }
    clock.SetTimer(*m_watchdog, kWatchdogIntervalMs, true);
    return true;
}

void TerminalConnection::Close(bool saveDeviceList) {
    if (!m_opened || m_closed) return;
    m_closed = true;
    Guard(m_context, "UserControl_Terminate", [&] {
        if (m_watchdog) m_context.scheduler.SetTimer(*m_watchdog, kWatchdogIntervalMs, false);
        if (saveDeviceList) SaveSettingsToRegistry(m_state, &m_registry, Position(), m_context);
    });
}

void TerminalConnection::SaveDeviceList() {
    if (!m_opened || m_closed) return;
    Guard(m_context, "UserControl_Terminate",
          [&] { SaveSettingsToRegistry(m_state, &m_registry, Position(), m_context); });
}

}  // namespace zd
