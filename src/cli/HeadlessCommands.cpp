#include "cli/HeadlessCommands.h"

#include <algorithm>
#include <cctype>

#include "cli/DeviceCommands.h"
#include "cli/EmergencyCommands.h"
#include "cli/Report.h"
#include "cli/SiteCommands.h"
#include "link/Commands.h"

namespace zd {

std::optional<std::string> CommandArguments::Value(const std::string& option) const {
    const auto found = values.find(option);
    if (found == values.end()) return std::nullopt;
    return found->second;
}

const std::vector<CommandSyntax>& CommandTable() {
    static const std::vector<CommandSyntax> kTable = {
        {"scan",
         {"--report", "--format"},
         {"--optical-feedback", "--ask-twice", "--quick"},
         0,
         0,
         PrepareScan},
        {"address random",
         {"--start", "--report", "--format"},
         {"--new-installation", "--delete-groups", "--delete-scenes", "--yes", "--optical-feedback",
          "--fast"},
         0,
         0,
         PrepareAddressRandom},
        {"address physical",
         {"--start", "--remove-lamp", "--lamp-delay", "--lamps", "--timeout", "--report",
          "--format"},
         {"--new-installation", "--yes", "--delete-groups", "--delete-scenes"},
         0,
         0,
         PrepareAddressPhysical},
        {"address single", {"--report", "--format"}, {"--yes"}, 1, 1, PrepareAddressSingle},
        {"address change", {"--report", "--format"}, {}, 1, 64, PrepareAddressChange},
        {"send",
         {"--short", "--group", "--data", "--dsi"},
         {"--broadcast", "--yes"},
         0,
         8,
         PrepareSend},
        {"query", {"--short", "--group", "--data"}, {"--broadcast"}, 1, 8, PrepareQuery},
        {"archive upload", {}, {"--yes"}, 1, 1, PrepareArchiveUpload},
        {"archive download", {}, {"--yes"}, 1, 1, PrepareArchiveDownload},
        {"options", {"--mode", "--power-supply", "--count-devices"}, {}, 0, 0, PrepareOptions},
        {"variables", {"--short", "--set"}, {"--optical-feedback"}, 0, 0, PrepareVariables},
        {"groups", {"--short", "--add", "--remove"}, {"--optical-feedback"}, 0, 0, PrepareGroups},
        {"scenes", {"--short", "--set"}, {"--optical-feedback"}, 0, 0, PrepareScenes},
        {"status", {"--short"}, {"--scan"}, 0, 0, PrepareStatus},
        {"colour",
         {"--short", "--group", "--kelvin", "--mirek", "--coolest", "--warmest",
          "--physical-coolest", "--physical-warmest", "--scene", "--level"},
         {"--broadcast", "--refuse-outside-limits"},
         0,
         0,
         PrepareColour},
        {"report", {"--format"}, {}, 1, 1, PrepareReport},
        {"backup", {}, {"--yes"}, 1, 1, PrepareBackup},
        {"restore", {}, {"--yes", "--dry-run", "--other-gear"}, 1, 1, PrepareRestore},
        {"replace",
         {"--short", "--backup", "--remove-lamp", "--lamp-delay", "--timeout"},
         {"--physical"},
         0,
         0,
         PrepareReplace},
        {"emergency status", {"--short"}, {"--all-gear"}, 0, 0, PrepareEmergencyStatus},
        {"emergency test", {"--short", "--poll"}, {}, 1, 1, PrepareEmergencyTest},
        {"emergency timing",
         {"--short", "--function-interval", "--duration-interval", "--timeout", "--prolong",
          "--test-delay"},
         {},
         0,
         0,
         PrepareEmergencyTiming},
        {"identify", {"--short", "--seconds", "--mode"}, {}, 0, 0, PrepareIdentify},
        {"name", {"--short", "--room", "--floor", "--note"}, {}, 0, 1, PrepareName},
        {"settings",
         {"--log-mapping", "--log-user-data", "--log-addressing"},
         {},
         0,
         0,
         PrepareSettings},
    };
    return kTable;
}

int ParseNumber(const std::string& text, int low, int high, const std::string& what) {
    std::size_t used = 0;
    long long number = 0;
    try {
        // Base 16 only when asked for: a leading zero is no octal number on a command line.
        const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
        number = std::stoll(text, &used, hex ? 16 : 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (text.empty() || used != text.size() || number < low || number > high) {
        throw UsageError("%1 takes a number %2 to %3, not \"%4\"",
                         {HostWording(what, {}), std::to_string(low), std::to_string(high), text});
    }
    return static_cast<int>(number);
}

int ParseAddressOrMask(const std::string& text, const std::string& what) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower == "mask") return kDaliMask;
    try {
        return ParseNumber(text, 0, kMaxShortAddress, what);
    } catch (const UsageError&) {
        throw UsageError("%1 takes a short address 0 to 63 or \"mask\", not \"%2\"",
                         {HostWording(what, {}), text});
    }
}

bool ParseOnOff(const std::string& text, const std::string& what) {
    if (text == "on") return true;
    if (text == "off") return false;
    throw UsageError("%1 takes on or off, not \"%2\"", {HostWording(what, {}), text});
}

PreparedCommand PrepareScan(const CommandArguments& arguments) {
    const bool opticalFeedback = arguments.Has("--optical-feedback");
    const bool askTwice = arguments.Has("--ask-twice");
    const bool quick = arguments.Has("--quick");
    return [opticalFeedback, askTwice, quick](HeadlessSession& session) {
        // All lamps go to their minimum, before the scan and after it.
        RunDeviceScan(session, {askTwice, quick, opticalFeedback});
        return Json{{"devices", DevicesJson(session.State())},
                    {"recovered", RecoveredJson(session.Line())}};
    };
}

}  // namespace zd
