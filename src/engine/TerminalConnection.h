// A terminal opened for the engine's procedures: its node of the station document read (position,
// process-image layout, byte order, name, channel), its registers (mode, firmware), the device list
// the store keeps for its position, the watchdog message every half second while it is open, and
// the device list written back to the store when it is closed. The window's form opens its
// terminal with the same refresh and shows what it read; the command line and every other front
// end hold a TerminalConnection and no form.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "engine/AddressingLine.h"
#include "engine/TerminalDescription.h"
#include "engine/TerminalOptions.h"
#include "link/Link.h"
#include "link/ModuleState.h"
#include "platform/Context.h"
#include "platform/DevCom.h"
#include "platform/RegistryAccess.h"
#include "platform/Scheduler.h"
#include "platform/Xml.h"

namespace zd {

inline constexpr const char* kMappingDataLogFile = "OrvixVTermZD4270.Logging.MappingData.xml";
inline constexpr const char* kUserDataLogFile = "OrvixVTermZD4270.Logging.UserData.xml";
inline constexpr std::int64_t kWatchdogIntervalMs = 500;

// The logging switches of the store: each is on while its value is a number other than 0.
struct LoggingSwitches {
    bool mappingData = false;
    bool userData = false;
    bool addressing = false;
};
LoggingSwitches ReadLoggingSwitches(RegistryAccess& registry, const Context& context);

// What one refresh of a terminal read. The failures of the node were shown in boxes.
struct TerminalRefresh {
    // The user data was read: channel and company hold what it says, and the node was read next.
    bool userDataRead = false;
    std::int32_t channel = 0;
    std::int32_t companyId = 0;
    LoggingSwitches logging;
    TerminalDescription description;
    // The node held everything and the device communication is there: the registers, the mode
    // and the device list were read.
    bool opened = false;
    // The feature register, once read.
    std::optional<TerminalOptions> options;
    // The terminal was running its own random addressing (started by an earlier client).
    bool terminalAddressing = false;
};

// The refresh of the terminal on the node: the user data (channel and company; throws
// ControlError when it is not the XML it must be), the logging switches and their log files
// (under logFilePrefix), the node into the state's layout and byte order (a box for each part that
// cannot be read, then "Error: RefreshData!"), and, when all is there, the feature and firmware
// registers into the state, the store's device list for the position, and the terminal's status.
// refresh holds what was read so far when a read throws.
void RefreshTerminal(EngineTerminal& terminal, RegistryAccess& registry, XmlNode node,
                     std::shared_ptr<DevCom> devCom, const std::string& userData,
                     const std::string& logFilePrefix, TerminalRefresh& refresh);

// Writes the watchdog message once. A failing write marks the link lost and shows its box on the
// first failure of a series only (failures counts them); a write that goes through again tells the
// link that it is back, unless a procedure runs (it has ended on the loss already).
void WriteWatchdogMessage(EngineTerminal& terminal, int& failures);

class TerminalConnection {
  public:
    TerminalConnection(const Context& context, RegistryAccess& registry, ModuleState& state);
    // Closes the terminal when it was opened and not closed yet.
    ~TerminalConnection();
    TerminalConnection(const TerminalConnection&) = delete;
    TerminalConnection& operator=(const TerminalConnection&) = delete;

    // Log files go under their own names in the current folder, each after this prefix.
    void SetLogFilePrefix(std::string prefix) { m_logFilePrefix = std::move(prefix); }
    const std::string& LogFilePrefix() const { return m_logFilePrefix; }

    // Refreshes the terminal and starts the watchdog. Failures are shown in the context's
    // dialogs (as "RefreshData"), never thrown; false when the terminal was not opened.
    bool Open(XmlNode node, std::shared_ptr<DevCom> devCom, const std::string& userData);
    // Stops the watchdog and, unless saveDeviceList is false (a run that may have left the list
    // short of the line), saves the device list to the store for the position. Once.
    void Close(bool saveDeviceList = true);
    // Saves the device list to the store for the position and leaves the terminal open: a
    // session held open for many jobs keeps what each found.
    void SaveDeviceList();

    AddressingLine& Line() { return m_line; }
    Link& TerminalLink() { return m_link; }
    const Context& GetContext() const { return m_context; }
    const TerminalRefresh& Refreshed() const { return m_refresh; }
    const TerminalDescription& Description() const { return m_refresh.description; }
    std::int32_t Position() const { return m_line.Terminal().position; }
    bool LoggingAddressing() const { return m_refresh.logging.addressing; }
    // The terminal still runs a random addressing that it began before the refresh; cleared once
    // somebody has followed it to its end.
    bool TerminalAddressing() const { return m_terminalAddressing; }
    void TerminalAddressingEnded() { m_terminalAddressing = false; }

  private:
    Context m_context;
    RegistryAccess& m_registry;
    ModuleState& m_state;
    Link m_link;
    AddressingLine m_line;
    std::string m_logFilePrefix;
    TerminalRefresh m_refresh;
    std::optional<Scheduler::TimerId> m_watchdog;
    int m_watchdogFailures = 0;
    bool m_opened = false;
    bool m_closed = false;
    bool m_terminalAddressing = false;
};

}  // namespace zd
