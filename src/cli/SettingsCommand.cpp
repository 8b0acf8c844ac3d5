// The store's logging switches, which the window has no control for: the mapping data and user
// data logs written at each refresh and the log of every addressing run, all in the current
// folder. The control reads them when it is refreshed, so a change counts from the next run.
#include <array>

#include "cli/DeviceCommands.h"
#include "devices/NumericText.h"

namespace zd {

namespace {

// Where the control reads its logging switches.
constexpr const char* kSettingsKeyPath =
    "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Settings\\";

struct LoggingSwitch {
    const char* option;
    const char* valueName;
    const char* field;
};

constexpr std::array<LoggingSwitch, 3> kSwitches{{
    {"--log-mapping", "EnableLoggingMappingData", "logMapping"},
    {"--log-user-data", "EnableLoggingUserData", "logUserData"},
    {"--log-addressing", "EnableLoggingAddressing", "logAddressing"},
}};

}  // namespace

PreparedCommand PrepareSettings(const CommandArguments& arguments) {
    std::array<std::optional<bool>, kSwitches.size()> wanted;
    for (std::size_t i = 0; i < kSwitches.size(); ++i)
        if (const auto value = arguments.Value(kSwitches[i].option))
            wanted[i] = ParseOnOff(*value, kSwitches[i].option);
    return [wanted](HeadlessSession& session) {
        IniRegistry& store = session.Registry();
        Json document = {{"store", store.FileName()}};
        for (std::size_t i = 0; i < kSwitches.size(); ++i) {
            if (wanted[i]) {
                store.WriteString(RegistryAccess::kHkeyCurrentUser, kSettingsKeyPath,
                                  kSwitches[i].valueName, *wanted[i] ? "1" : "0");
            }
        }
        if (!store.Sync())
            throw CommandFailed(HostWording("the store %1 cannot be written: %2",
                                            {store.FileName(), store.LastError()}),
                                document);
        // Read back as the control reads them: on when the value is a number other than 0.
        for (const LoggingSwitch& loggingSwitch : kSwitches) {
            std::string text;
            bool on = false;
            if (store.ReadString(RegistryAccess::kHkeyCurrentUser, kSettingsKeyPath,
                                 loggingSwitch.valueName, text) &&
                IsNumericText(text)) {
                try {
                    on = TextToLong(text) != 0;
                } catch (const ControlError&) {
                    // A number beyond 32 bits: the control reports it and leaves the switch off.
                }
            }
            document[loggingSwitch.field] = on;
        }
        return document;
    };
}

}  // namespace zd
