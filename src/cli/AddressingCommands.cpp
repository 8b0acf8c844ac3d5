// The addressing commands: random addressing (by the control or the terminal, as the firmware
// decides), single assignment and change addresses, each run through the engine.
#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "cli/HeadlessCommands.h"
#include "engine/ChangeAddresses.h"
#include "engine/RandomAddressing.h"
#include "engine/SingleAssignment.h"
#include "engine/TerminalAddressing.h"
#include "link/Commands.h"
#include "maintenance/GearReplacement.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

Json AddressJson(int address) {
    return address == kDaliMask ? Json("mask") : Json(address);
}

std::set<int> DeviceAddresses(const ModuleState& state) {
    std::set<int> addresses;
    if (state.devices)
        for (const auto& [key, device] : state.devices->Items())
            addresses.insert(device->m_nShortAddress);
    return addresses;
}

// The first thing that went wrong in a command, and the step it went wrong in.
struct Outcome {
    std::optional<std::string> problem;
    std::string step;

    void Note(const std::optional<std::string>& what, const std::string& where) {
        if (what && !problem) {
            problem = what;
            step = where;
        }
    }
    // Throws CommandFailed with details and the step when something went wrong.
    void Check(Json details) const {
        if (!problem) return;
        details["failedStep"] = step;
        throw CommandFailed(*problem, std::move(details));
    }
};

// The first warning or failure the procedure told: the procedures end with one when they stop
// short of what they were started for; else the first error reported since mark.
std::optional<std::string> ProblemOf(const HeadlessSession& session, const EngineOutcome& outcome,
                                     std::size_t mark) {
    for (const EngineNotice& notice : outcome.notices)
        if (notice.weight == NoticeWeight::Critical || notice.weight == NoticeWeight::Warning)
            return ForConsole(MessageText(notice.message, session.Catalogue().GetLanguage()));
    return session.ErrorSince(mark);
}

// What the control holds after a run is its plan, not the line: the devices printed come from a
// scan, with the short addresses that several gear share.
void ScanAfterRun(HeadlessSession& session, Json& details, Outcome& outcome,
                  bool conflictsFail = true, const ScanOptions& options = {}) {
    try {
        RunDeviceScan(session, options);
    } catch (const CommandFailed& failure) {
        outcome.Note(failure.Text(session.Catalogue().GetLanguage()), "scan");
    }
    details["devices"] = DevicesJson(session.State());
    if (!conflictsFail) return;
    for (const Json& device : details["devices"]) {
        if (device.at("conflict").get<bool>()) {
            outcome.Note(HostText(session.Catalogue().GetLanguage(),
                                  "several gear share the short address %1",
                                  {std::to_string(device.at("shortAddress").get<int>())}),
                         "check");
        }
    }
}

}  // namespace

PreparedCommand PrepareAddressRandom(const CommandArguments& arguments) {
    const auto startText = arguments.Value("--start");
    const int start = startText ? ParseNumber(*startText, 0, kMaxShortAddress, "--start") : 0;
    const bool newInstallation = arguments.Has("--new-installation");
    const bool deleteGroups = arguments.Has("--delete-groups");
    const bool deleteScenes = arguments.Has("--delete-scenes");
    if ((newInstallation || deleteGroups || deleteScenes) && !arguments.Has("--yes")) {
        throw UsageError(newInstallation ? "--new-installation deletes every short address on "
                                           "the line; confirm with --yes"
                                         : "--delete-groups and --delete-scenes wipe settings of "
                                           "every gear; confirm with --yes",
                         {});
    }
    const bool opticalFeedback = arguments.Has("--optical-feedback");
    const bool fast = arguments.Has("--fast");
    return [=](HeadlessSession& session) {
        const RandomAddressingVariant variantKind =
            RandomAddressingVariantOf(session.State().m_nFirmwareVersion);
        const bool terminalSearches = variantKind == RandomAddressingVariant::Terminal;
        // The terminal's own search can light each gear it addresses; the control's search
        // lights each one anyway.
        if (opticalFeedback && !terminalSearches) {
            throw UsageError(
                "--optical-feedback needs the terminal's own random addressing (firmware 1M or "
                "later)",
                {});
        }
        // The fast search is the control's; a terminal that searches itself sets its own pace,
        // so that on a mixed station --fast speeds up the terminals it can and leaves the rest.
        const bool fastSearch = fast && !terminalSearches;
        // Firmware before the first that can address at all runs neither variant.
        const auto variantName = RandomAddressingVariantName(variantKind);
        const Json variant = variantName ? Json(*variantName) : Json();
        Json details = {{"variant", variant}, {"startAddress", start}, {"fastSearch", fastSearch}};
        if (fast && !fastSearch && variant == "terminal") {
            details["note"] = HostText(
                session.Catalogue().GetLanguage(),
                "--fast did not apply: this terminal (firmware 1M or later) searches itself, at "
                "its own pace");
        }

        const std::size_t mark = session.BoxCount();
        Outcome outcome;
        const Language language = session.Catalogue().GetLanguage();
        const std::string what = HostText(language, "random addressing");
        // A refused run sent nothing; the device list the control loaded from the store may be
        // old: the line says what is there.
        // Line time the control's search spent on its checks.
        std::optional<std::int64_t> checkMs;
        const auto refuse = [&](const std::string& why) {
            Outcome refused;
            refused.Note(ForConsole(why), "start");
            ScanAfterRun(session, details, refused, false);
            refused.Check(details);
        };
        const auto showStatus = [&](const ProgressState& progress) {
            session.ShowProgress({what, progress.detail, std::nullopt, language});
        };
        if (session.TerminalStillAddressing()) {
            // The terminal was still addressing when it was opened: that run is followed to its
            // end instead of starting another.
            const TerminalAddressingReport report =
                FollowTerminalAddressing(session.Line(), showStatus,
                                         [&] { return session.StopRequestedLeavingRunning(what); });
            session.Connection().TerminalAddressingEnded();
            session.EndEngineRun();
            outcome.Note(ProblemOf(session, report.outcome, mark), "addressing");
            if (!report.outcome.Ok()) outcome.Note(ForConsole(report.outcome.text), "addressing");
        } else if (terminalSearches) {
            const TerminalAddressingReport report = RunTerminalAddressing(
                session.Line(),
                {static_cast<std::int16_t>(start), newInstallation, deleteGroups, deleteScenes,
                 opticalFeedback},
                showStatus, [&] { return session.StopRequestedLeavingRunning(what); });
            session.EndEngineRun();
            if (report.outcome.failure == EngineFailure::Refused) refuse(report.outcome.text);
            // The terminal's error codes end the run with a box.
            outcome.Note(ProblemOf(session, report.outcome, mark), "addressing");
            if (!report.outcome.Ok()) outcome.Note(ForConsole(report.outcome.text), "addressing");
        } else {
            RandomAddressingRequest request;
            request.options = {static_cast<std::int16_t>(start), newInstallation, deleteGroups,
                               deleteScenes, fastSearch};
            request.log = session.Connection().LoggingAddressing();
            request.logPath = session.AddressingLogPath();
            const RandomAddressingReport report = RunRandomAddressing(
                session.Line(), request,
                [&](const ProgressState& progress) {
                    session.ShowProgress(
                        {what,
                         HostText(language, "%1 addressed",
                                  {std::to_string(progress.addressed.value_or(0))}),
                         progress.fraction, language});
                },
                [&] { return session.StopRequested(what); });
            if (report.outcome.failure != EngineFailure::Refused)
                session.NoteAddressesGiven(report.addressed, newInstallation);
            session.EndEngineRun();
            checkMs = report.checkMs;
            if (report.outcome.failure == EngineFailure::Refused) refuse(report.outcome.text);
            // The address limit and gear left end the run with a box, as in the window.
            outcome.Note(ProblemOf(session, report.outcome, mark), "addressing");
            if (!report.outcome.Ok()) outcome.Note(ForConsole(report.outcome.text), "addressing");
        }
        details["recovered"] = RecoveredJson(session.Line());
        if (checkMs) details["checkTimeMs"] = *checkMs;
        // The scan that checks a fast search keeps its pace; the second ask finds gear that
        // answer only every second question.
        ScanAfterRun(session, details, outcome, true, {true, fastSearch});
        // A run that ends before its search is through (a VERIFY SHORT ADDRESS that several gear
        // answered, for one) says nothing, but leaves gear without a short address.
        // Any answer to QUERY MISSING SHORT ADDRESS, a corrupt frame of several included, means
        // at least one is left.
        if (!outcome.problem && GearWithoutShortAddress(session) != NewGear::None)
            outcome.Note(HostText(language, "some gear on the line still have no short address"),
                         "check");
        outcome.Check(details);
        return details;
    };
}

PreparedCommand PrepareAddressSingle(const CommandArguments& arguments) {
    const int address = ParseAddressOrMask(arguments.words.at(0), "address single");
    // Every ballast on the line takes this address: nothing happens unless it is asked for.
    if (!arguments.Has("--yes")) {
        throw UsageError(
            "address single gives every ballast on the line the same address; "
            "confirm with --yes",
            {});
    }
    return [=](HeadlessSession& session) {
        const std::size_t mark = session.BoxCount();
        const SingleAssignmentReport report = AssignSingleAddress(
            session.Line(), static_cast<std::int16_t>(address),
            session.Connection().LoggingAddressing(), session.AddressingLogPath());
        Json details = {{"address", AddressJson(address)}};
        Outcome outcome;
        if (report.outcome.failure == EngineFailure::Refused) {
            outcome.Note(ForConsole(report.outcome.text), "start");
            outcome.Check(details);
        }
        outcome.Note(session.ErrorSince(mark), "assignment");
        if (!report.outcome.Ok()) outcome.Note(ForConsole(report.outcome.text), "assignment");
        // Several gear at one address is what was asked for here, not a fault.
        ScanAfterRun(session, details, outcome, false);
        const std::set<int> expected =
            address == kDaliMask ? std::set<int>{} : std::set<int>{address};
        const std::set<int> found = DeviceAddresses(session.State());
        if (found != expected) {
            const Language language = session.Catalogue().GetLanguage();
            outcome.Note(HostText(language,
                                  address == kDaliMask ? "some gear kept a short address"
                                  : found.empty()      ? "no gear answers at the address %1"
                                                       : "not every gear took the address %1",
                                  {std::to_string(address)}),
                         "check");
        }
        outcome.Check(details);
        return details;
    };
}

PreparedCommand PrepareAddressChange(const CommandArguments& arguments) {
    std::vector<std::pair<int, int>> plan;
    for (const std::string& word : arguments.words) {
        const std::size_t colon = word.find(':');
        if (colon == std::string::npos)
            throw UsageError("address change takes OLD:NEW pairs, not \"%1\"", {word});
        const int from = ParseNumber(word.substr(0, colon), 0, kMaxShortAddress, "OLD");
        const int to = ParseAddressOrMask(word.substr(colon + 1), "NEW");
        for (const auto& [planned, ignored] : plan)
            if (planned == from)
                throw UsageError("address %1 is planned twice", {std::to_string(from)});
        plan.emplace_back(from, to);
    }
    return [plan](HeadlessSession& session) {
        Json changes = Json::array();
        for (const auto& [from, to] : plan)
            changes.push_back({{"from", from}, {"to", AddressJson(to)}});
        Json details = {{"changes", changes}};
        try {
            RunDeviceScan(session);
        } catch (const CommandFailed& failure) {
            details["failedStep"] = "scan";
            throw CommandFailed(failure, details);
        }
        std::set<int> expected = DeviceAddresses(session.State());
        for (const auto& [from, to] : plan) expected.erase(from);
        for (const auto& [from, to] : plan)
            if (to != kDaliMask) expected.insert(to);

        if (const auto unknown = ApplyChangePlan(session.State(), plan)) {
            details["devices"] = DevicesJson(session.State());
            details["failedStep"] = "plan";
            throw CommandFailed(
                HostWording("no device answers at address %1", {std::to_string(*unknown)}),
                details);
        }

        const std::size_t mark = session.BoxCount();
        const Language language = session.Catalogue().GetLanguage();
        const std::string what = HostText(language, "change addresses");
        const ChangeAddressesReport report = RunChangeAddresses(
            session.Line(), session.Connection().LoggingAddressing(), session.AddressingLogPath(),
            [&](const ProgressState& progress) {
                session.ShowProgress({what, progress.detail, progress.fraction, language});
            },
            [&] { return session.StopRequested(what); });
        session.EndEngineRun();
        Outcome outcome;
        if (report.outcome.failure == EngineFailure::Refused) {
            outcome.Note(
                LastNoticeText(report.outcome, language).value_or(ForConsole(report.outcome.text)),
                "change");
            outcome.Check(details);
        }
        outcome.Note(ProblemOf(session, report.outcome, mark), "change");
        if (!report.outcome.Ok()) outcome.Note(ForConsole(report.outcome.text), "change");
        // Only a run that carried out the whole plan ends with "All addresses were changed!".
        if (!report.done)
            outcome.Note(
                HostText(language, "the address change ended before the plan was carried out"),
                "change");
        ScanAfterRun(session, details, outcome);
        if (DeviceAddresses(session.State()) != expected)
            outcome.Note(HostText(language, "the line does not hold the planned addresses"),
                         "check");
        outcome.Check(details);
        return details;
    };
}

}  // namespace zd
