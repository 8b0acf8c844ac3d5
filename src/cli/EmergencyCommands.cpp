// "zd4270 emergency ...": emergency lighting gear (device type 1): their state, a function or
// duration test followed to its result on the progress line, and the test intervals and delays.
#include "cli/EmergencyCommands.h"

#include <chrono>

#include "engine/AddressingTypes.h"
#include "link/Commands.h"
#include "maintenance/EmergencyReadout.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

std::int16_t ParseEmergencyShort(const CommandArguments& arguments, const std::string& command) {
    const auto text = arguments.Value("--short");
    if (!text) throw UsageError(command + " needs --short A");
    return static_cast<std::int16_t>(ParseNumber(*text, 0, kMaxShortAddress, "--short"));
}

// An engine outcome in the session's language where it is one of the fixed ones.
std::string OutcomeText(HeadlessSession& session, const EngineOutcome& outcome) {
    const Language language = session.Catalogue().GetLanguage();
    switch (outcome.failure) {
        case EngineFailure::Cancelled:
            return HostText(language, "the test was stopped");
        case EngineFailure::CommunicationLost:
            return HostText(language, "the connection was lost");
        default:
            return outcome.text;
    }
}

// The reason a command on one address did not get to its emergency gear, in the session's
// language; the document keeps what was found there.
[[noreturn]] void FailOnGear(HeadlessSession& session, const EmergencyGearCheck& gear,
                             std::int16_t address, const EngineOutcome& outcome, Json details) {
    const Language language = session.Catalogue().GetLanguage();
    const std::string at = std::to_string(address);
    std::string text;
    switch (gear.presence) {
        case EmergencyPresence::OtherType:
            text = HostText(language,
                            "the gear at short address %1 is of device type %2, not emergency "
                            "lighting (device type 1)",
                            {at, std::to_string(gear.deviceType.value)});
            break;
        case EmergencyPresence::NoGear:
            text = HostText(language, "no gear answers at short address %1", {at});
            break;
        default:
            text = OutcomeText(session, outcome);
            break;
    }
    throw CommandFailed(text, std::move(details));
}

}  // namespace

PreparedCommand PrepareEmergencyStatus(const CommandArguments& arguments) {
    const bool all = arguments.Has("--all-gear");
    if (all == arguments.Value("--short").has_value())
        throw UsageError("emergency status needs either --short A or --all-gear");
    if (all) {
        return [](HeadlessSession& session) {
            const Language language = session.Catalogue().GetLanguage();
            const std::string what = HostText(language, "reading emergency gear");
            const Json gear = ReadEmergencyLine(session, [&](std::size_t done, std::size_t total) {
                session.ShowProgress(
                    {what, "", static_cast<double>(done) / static_cast<double>(total), language});
            });
            session.EndProgress();
            int emergency = 0;
            for (const Json& unit : gear) emergency += unit.at("gear") == "emergency" ? 1 : 0;
            return Json{{"gear", gear}, {"emergencyGear", emergency}};
        };
    }
    const std::int16_t address = ParseEmergencyShort(arguments, "emergency status");
    return [address](HeadlessSession& session) {
        const EmergencyStatusReport report =
            ReadEmergencyStatus(session.Line().Terminal(), address);
        const Json gear = EmergencyStatusJson(report);
        if (report.gear.presence != EmergencyPresence::Emergency)
            FailOnGear(session, report.gear, address, report.outcome, gear);
        if (!report.outcome.Ok()) throw CommandFailed(OutcomeText(session, report.outcome), gear);
        return gear;
    };
}

namespace {

EmergencyTestRequest ParseEmergencyTest(const CommandArguments& arguments) {
    const std::string kindWord = arguments.words.at(0);
    if (kindWord != "function" && kindWord != "duration")
        throw UsageError("emergency test takes function, duration or stop, not \"" + kindWord +
                         "\"");
    EmergencyTestRequest request;
    request.kind =
        kindWord == "function" ? EmergencyTestKind::Function : EmergencyTestKind::Duration;
    request.address = ParseEmergencyShort(arguments, "emergency test");
    if (const auto poll = arguments.Value("--poll"))
        request.pollMs = ParseNumber(*poll, 1, 3600, "--poll") * 1000LL;
    return request;
}

// "emergency test stop": STOP TEST at the address; a test the session follows there ends with
// it, and its end is told as a stopped test.
PreparedCommand PrepareEmergencyTestStop(const CommandArguments& arguments) {
    if (arguments.Value("--poll")) throw UsageError("emergency test stop takes no --poll");
    const std::int16_t address = ParseEmergencyShort(arguments, "emergency test");
    return [address](HeadlessSession& session) {
        const bool followed = session.StopGearTest(address);
        if (!followed) {
            const EngineOutcome stopped = StopEmergencyTest(session.Line().Terminal(), address);
            if (!stopped.Ok()) throw CommandFailed(OutcomeText(session, stopped));
        }
        session.KeepStoredDeviceList();
        return Json{{"address", address}, {"stopped", true}, {"followed", followed}};
    };
}

bool StopWord(const CommandArguments& arguments) {
    return !arguments.words.empty() && arguments.words.front() == "stop";
}

}  // namespace

PreparedCommand PrepareEmergencyTestInGear(const CommandArguments& arguments) {
    if (StopWord(arguments)) return PrepareEmergencyTestStop(arguments);
    const EmergencyTestRequest request = ParseEmergencyTest(arguments);
    return [request](HeadlessSession& session) {
        Json started = session.StartGearTest(request);
        // Starting reads; the device list the store holds stays as it was.
        session.KeepStoredDeviceList();
        return started;
    };
}

PreparedCommand PrepareEmergencyTest(const CommandArguments& arguments) {
    if (StopWord(arguments)) return PrepareEmergencyTestStop(arguments);
    const EmergencyTestRequest request = ParseEmergencyTest(arguments);
    return [request](HeadlessSession& session) {
        const Language language = session.Catalogue().GetLanguage();
        const bool function = request.kind == EmergencyTestKind::Function;
        const std::string what =
            HostText(language, function ? "function test at %1" : "duration test at %1",
                     {std::to_string(request.address)});
        const EmergencyTestReport report = RunEmergencyTest(
            session.Line().Terminal(), request,
            [&](const ProgressState& progress) {
                const std::string state =
                    HostText(language, progress.stage == ProgressStage::Pending   ? "pending"
                                       : progress.stage == ProgressStage::Running ? "running"
                                                                                  : "ending");
                session.ShowProgress({what, state, progress.fraction, language});
            },
            [&] { return session.StopRequested(what); });
        session.EndEngineRun();
        session.EndProgress();
        const Json result = EmergencyTestResultJson(report);
        if (report.gear.presence != EmergencyPresence::Emergency)
            FailOnGear(session, report.gear, request.address, report.outcome, result);
        if (report.result.done && session.Store()) {
            RecordEmergencyTest(*session.Store(), session.Line().Terminal().position, report,
                                DateTimeText(std::chrono::system_clock::now()));
        }
        if (!report.outcome.Ok()) throw CommandFailed(OutcomeText(session, report.outcome), result);
        // A test that ran and failed is a result, with an exit code of its own, so that a
        // scheduled check sees it without reading the document.
        if (report.result.passed == false) {
            const std::vector<std::string> failures =
                EmergencyFailureNames(report.result.failureStatus.value_or(0));
            std::string words;
            for (const std::string& failure : failures)
                words += (words.empty() ? "" : ", ") + failure;
            throw CommandFailed(
                HostWording(function ? "the function test at short address %1 failed: %2"
                                     : "the duration test at short address %1 failed: %2",
                            {std::to_string(request.address), words}),
                result)
                .ExitingWith(kExitTestFailed);
        }
        return result;
    };
}

PreparedCommand PrepareEmergencyTiming(const CommandArguments& arguments) {
    const std::int16_t address = ParseEmergencyShort(arguments, "emergency timing");
    EmergencyTimingChange change;
    auto number = [&](const char* option, int high, std::optional<int>& target) {
        if (const auto text = arguments.Value(option)) target = ParseNumber(*text, 0, high, option);
    };
    number("--function-interval", 255, change.functionTestInterval);
    number("--duration-interval", 97, change.durationTestInterval);
    number("--timeout", 255, change.testExecutionTimeout);
    number("--prolong", 255, change.prolongTime);
    number("--test-delay", 0xFFFF, change.testDelay);
    return [address, change](HeadlessSession& session) {
        EngineTerminal& terminal = session.Line().Terminal();
        const EmergencyTimingReport report = change.Empty()
                                                 ? ReadEmergencyTiming(terminal, address)
                                                 : WriteEmergencyTiming(terminal, address, change);
        const Json timing = EmergencyTimingJson(report);
        if (report.gear.presence != EmergencyPresence::Emergency)
            FailOnGear(session, report.gear, address, report.outcome, timing);
        if (!report.outcome.Ok()) throw CommandFailed(OutcomeText(session, report.outcome), timing);
        return timing;
    };
}

}  // namespace zd
