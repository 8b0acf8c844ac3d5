#include "engine/Emergency.h"

#include <algorithm>

#include "engine/LineCommands.h"
#include "engine/Progress.h"
#include "engine/internal/StepRunner.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr std::uint8_t kEmergencyDeviceType = 1;
constexpr std::uint16_t kEnableEmergency = 0xC100 | kEmergencyDeviceType;

constexpr std::uint8_t kReset = 0xE0;  // first of the commands sent twice
constexpr std::uint8_t kStartFunctionTest = 0xE3;
constexpr std::uint8_t kStartDurationTest = 0xE4;
constexpr std::uint8_t kStopTest = 0xE5;
constexpr std::uint8_t kResetFunctionTestDone = 0xE6;
constexpr std::uint8_t kResetDurationTestDone = 0xE7;
constexpr std::uint8_t kStoreTestDelayHigh = 0xEA;
constexpr std::uint8_t kStoreTestDelayLow = 0xEB;
constexpr std::uint8_t kStoreFunctionInterval = 0xEC;
constexpr std::uint8_t kStoreDurationInterval = 0xED;
constexpr std::uint8_t kStoreTimeout = 0xEE;
constexpr std::uint8_t kStoreProlongTime = 0xEF;
constexpr std::uint8_t kStartIdentification = 0xF0;
constexpr std::uint8_t kQueryBatteryCharge = 0xF1;
constexpr std::uint8_t kQueryTestTiming = 0xF2;
constexpr std::uint8_t kQueryDurationResult = 0xF3;
constexpr std::uint8_t kQueryRatedDuration = 0xF9;
constexpr std::uint8_t kQueryMode = 0xFA;
constexpr std::uint8_t kQueryFailureStatus = 0xFC;
constexpr std::uint8_t kQueryStatus = 0xFD;
constexpr std::uint8_t kPerformDtrSelected = 0xFE;

constexpr std::int64_t kMinuteMs = 60 * 1000;
// The longest a function test may run once the gear has begun it (a function test lights the
// lamp on battery for seconds); a duration test may run its rated duration and this much more.
constexpr std::int64_t kFunctionTestRunLimitMs = 5 * kMinuteMs;
constexpr std::int64_t kDurationTestOverrunMs = 30 * kMinuteMs;
// Polls in a row that find the gear back in normal operation, nothing pending, without the done
// flag, before the test is taken as ended without a result.
constexpr int kNoResultPolls = 2;
// Polls in a row that draw no answer before the gear is taken as gone.
constexpr int kSilentPollsLimit = 5;

bool SentTwice(std::uint8_t command) {
    return (command >= kReset && command <= kStartIdentification) || command == kPerformDtrSelected;
}

std::uint8_t CommandByte(std::int16_t address) {
    return static_cast<std::uint8_t>((address << 1) | 1);
}

Result SendWord(EngineTerminal& terminal, std::uint16_t word) {
    return ResultFromNumber(GuardStatus(terminal.context, "SendEmergencyCommand", [&] {
        std::int32_t value = word;
        return terminal.link.SendCommand(value);
    }));
}

// ENABLE DEVICE TYPE 1 and the command, twice for those the gear take only so: the pair right
// after the enable, as the enable covers the next command and its repeat. A sequence that met
// another master goes out again whole.
Result SendExtended(EngineTerminal& terminal, std::int16_t address, std::uint8_t command) {
    const auto word = static_cast<std::uint16_t>((CommandByte(address) << 8) | command);
    Result result = Result::Done;
    for (int attempt = 0; attempt <= kCollisionRetries; ++attempt) {
        result = SendWord(terminal, kEnableEmergency);
        if (result == Result::Done) result = SendWord(terminal, word);
        if (result == Result::Done && SentTwice(command)) result = SendWord(terminal, word);
        if (result != Result::Collision) break;
        terminal.context.scheduler.Sleep(kCollisionFirstWaitMs << attempt);
    }
    return result;
}

ReadByte AskExtendedOnce(EngineTerminal& terminal, std::int16_t address, std::uint8_t query) {
    ReadByte read;
    const Result sent = SendExtended(terminal, address, query);
    if (sent != Result::Done && sent != Result::CorruptFrame) {
        read.state = sent == Result::Collision ? ReadState::SeveralAnswered : ReadState::LinkFailed;
        return read;
    }
    std::uint8_t data = 0;
    read.state = ReadStateOf(terminal.link.ReceiveDALIData(data, nullptr));
    if (read.Answered()) read.value = data;
    return read;
}

// A query whose answer got lost is asked once more, as a scan does with its second ask: silence
// twice is no answer.
ReadByte AskExtended(EngineTerminal& terminal, std::int16_t address, std::uint8_t query) {
    const ReadByte first = AskExtendedOnce(terminal, address, query);
    if (first.state != ReadState::NoAnswer || terminal.link.CommunicationLost()) return first;
    return AskExtendedOnce(terminal, address, query);
}

Result SetDtr(EngineTerminal& terminal, std::uint8_t value) {
    return SendLineCommand(terminal, {kCmdDataTransferRegister, value, AddressKind::Broadcast, 0})
        .sent;
}

ReadByte AskTiming(EngineTerminal& terminal, std::int16_t address, std::uint8_t selector) {
    if (SetDtr(terminal, selector) != Result::Done) return {ReadState::LinkFailed, 0};
    return AskExtended(terminal, address, kQueryTestTiming);
}

std::string AtAddress(std::int16_t address) {
    return "short address " + std::to_string(address);
}

// Asks QUERY DEVICE TYPE (once more after silence: a lost answer is no missing gear) and fills in
// the outcome when the address holds no emergency gear.
EmergencyGearCheck CheckGear(EngineTerminal& terminal, std::int16_t address,
                             EngineOutcome& outcome) {
    EmergencyGearCheck check;
    if (address < 0 || address > 63) {
        outcome.Fail(EngineFailure::Refused,
                     "a short address 0 to 63 is needed, not " + std::to_string(address));
        check.presence = EmergencyPresence::Unreadable;
        return check;
    }
    if (RefusedOutsideDaliMode(terminal, outcome)) {
        check.presence = EmergencyPresence::Unreadable;
        return check;
    }
    for (int ask = 0; ask < 2; ++ask) {
        const LineCommandResult result =
            QueryLine(terminal, {kCmdQueryDeviceType, 0, AddressKind::Short, address});
        switch (result.answer) {
            case QueryAnswer::Byte:
                check.deviceType = {ReadState::Answered, result.answerByte};
                break;
            case QueryAnswer::None:
                check.deviceType = {ReadState::NoAnswer, 0};
                break;
            case QueryAnswer::Several:
                check.deviceType = {ReadState::SeveralAnswered, 0};
                break;
            default:
                check.deviceType = {ReadState::LinkFailed, 0};
                break;
        }
        if (check.deviceType.state != ReadState::NoAnswer) break;
    }
    switch (check.deviceType.state) {
        case ReadState::Answered:
            check.presence = check.deviceType.value == kEmergencyDeviceType
                                 ? EmergencyPresence::Emergency
                                 : EmergencyPresence::OtherType;
            break;
        case ReadState::NoAnswer:
            check.presence = EmergencyPresence::NoGear;
            break;
        default:
            check.presence = EmergencyPresence::Unreadable;
            break;
    }
    switch (check.presence) {
        case EmergencyPresence::Emergency:
            break;
        case EmergencyPresence::OtherType:
            outcome.Fail(EngineFailure::Refused, "the gear at " + AtAddress(address) +
                                                     " is of device type " +
                                                     std::to_string(check.deviceType.value) +
                                                     ", not emergency lighting (device type 1)");
            break;
        case EmergencyPresence::NoGear:
            outcome.Fail(EngineFailure::Incomplete, "no gear answers at " + AtAddress(address));
            break;
        case EmergencyPresence::Unreadable:
            outcome.Fail(terminal.link.CommunicationLost() ? EngineFailure::CommunicationLost
                                                           : EngineFailure::Incomplete,
                         "the device type at " + AtAddress(address) + " could not be read (" +
                             ReadStateName(check.deviceType.state) + ")");
            break;
    }
    return check;
}

std::vector<std::string> BitNames(std::uint8_t byte, const char* const (&names)[8]) {
    std::vector<std::string> set;
    for (int bit = 0; bit < 8; ++bit)
        if ((byte >> bit) & 1) set.emplace_back(names[bit]);
    return set;
}

}  // namespace

const char* EmergencyPresenceName(EmergencyPresence presence) {
    switch (presence) {
        case EmergencyPresence::Emergency:
            return "emergency";
        case EmergencyPresence::OtherType:
            return "other-type";
        case EmergencyPresence::NoGear:
            return "no-gear";
        case EmergencyPresence::Unreadable:
            return "unreadable";
    }
    return "unknown";
}

const char* EmergencyModeName(EmergencyMode mode) {
    switch (mode) {
        case EmergencyMode::Rest:
            return "rest";
        case EmergencyMode::Normal:
            return "normal";
        case EmergencyMode::Emergency:
            return "emergency";
        case EmergencyMode::ExtendedEmergency:
            return "extended emergency";
        case EmergencyMode::FunctionTest:
            return "function test";
        case EmergencyMode::DurationTest:
            return "duration test";
        case EmergencyMode::Unknown:
            break;
    }
    return "unknown";
}

EmergencyMode EmergencyModeOf(std::uint8_t mode) {
    // Exactly one of bits 0 to 5 names the mode; bits 6 and 7 are the hardwired inputs.
    switch (mode & 0x3F) {
        case 0x01:
            return EmergencyMode::Rest;
        case 0x02:
            return EmergencyMode::Normal;
        case 0x04:
            return EmergencyMode::Emergency;
        case 0x08:
            return EmergencyMode::ExtendedEmergency;
        case 0x10:
            return EmergencyMode::FunctionTest;
        case 0x20:
            return EmergencyMode::DurationTest;
        default:
            return EmergencyMode::Unknown;
    }
}

std::vector<std::string> EmergencyFailureNames(std::uint8_t failureStatus) {
    static const char* const kNames[8] = {"circuit failure",
                                          "battery duration failure",
                                          "battery failure",
                                          "emergency lamp failure",
                                          "function test max delay exceeded",
                                          "duration test max delay exceeded",
                                          "function test failed",
                                          "duration test failed"};
    return BitNames(failureStatus, kNames);
}

std::vector<std::string> EmergencyStatusNames(std::uint8_t emergencyStatus) {
    static const char* const kNames[8] = {"inhibit mode",          "function test done",
                                          "duration test done",    "battery fully charged",
                                          "function test pending", "duration test pending",
                                          "identification active", "physically selected"};
    return BitNames(emergencyStatus, kNames);
}

std::vector<std::string> EmergencyFeatureNames(std::uint8_t features) {
    static const char* const kNames[8] = {"integral emergency gear",    "maintained",
                                          "switched maintained",        "automatic tests",
                                          "adjustable emergency level", "hardwired inhibit",
                                          "physical selection",         "re-light in rest mode"};
    return BitNames(features, kNames);
}

const char* EmergencyTestKindName(EmergencyTestKind kind) {
    return kind == EmergencyTestKind::Function ? "function" : "duration";
}

EmergencyStatusReport ReadEmergencyStatus(EngineTerminal& terminal, std::int16_t address) {
    EmergencyStatusReport report;
    report.address = address;
    report.gear = CheckGear(terminal, address, report.outcome);
    if (report.gear.presence != EmergencyPresence::Emergency) return report;
    EmergencyState state;
    const std::pair<ReadByte*, std::uint8_t> queries[] = {
        {&state.mode, kQueryMode},
        {&state.features, 0xFB},
        {&state.failureStatus, kQueryFailureStatus},
        {&state.emergencyStatus, kQueryStatus},
        {&state.batteryCharge, kQueryBatteryCharge},
        {&state.ratedDuration, kQueryRatedDuration},
        {&state.durationTestResult, kQueryDurationResult},
        {&state.lampEmergencyTime, 0xF4},
        {&state.lampTotalOperationTime, 0xF5},
        {&state.emergencyLevel, 0xF6},
        {&state.emergencyMinLevel, 0xF7},
        {&state.emergencyMaxLevel, 0xF8},
    };
    for (const auto& [target, query] : queries) {
        if (terminal.link.CommunicationLost()) break;
        *target = AskExtended(terminal, address, query);
    }
    if (terminal.link.CommunicationLost())
        report.outcome.Fail(EngineFailure::CommunicationLost, "the connection was lost");
    report.state = state;
    return report;
}

EmergencyTestRun::EmergencyTestRun(EngineTerminal& terminal, const EmergencyTestRequest& request)
    : m_terminal(terminal), m_request(request) {
    m_report.address = request.address;
    m_report.kind = request.kind;
}

bool EmergencyTestRun::Function() const {
    return m_request.kind == EmergencyTestKind::Function;
}

bool EmergencyTestRun::Start() {
    m_report.gear = CheckGear(m_terminal, m_request.address, m_report.outcome);
    if (m_report.gear.presence != EmergencyPresence::Emergency) return false;
    const ReadByte rated = AskExtended(m_terminal, m_request.address, kQueryRatedDuration);
    if (rated.Answered() && rated.value != 255) m_report.result.ratedMinutes = rated.value * 2;
    m_pollMs = m_request.pollMs > 0 ? m_request.pollMs : (Function() ? 2000 : kMinuteMs);
    m_limitMs = m_request.limitMs > 0 ? m_request.limitMs
                : Function()
                    ? 30 * kMinuteMs
                    : m_report.result.ratedMinutes.value_or(510) * kMinuteMs + 120 * kMinuteMs;
    const EngineOutcome started = StartEmergencyTest(m_terminal, m_request.address, m_request.kind);
    if (!started.Ok()) {
        m_report.outcome = started;
        return false;
    }
    m_startMs = m_terminal.context.scheduler.Now();
    m_runLimitMs = Function() ? kFunctionTestRunLimitMs
                              : m_report.result.ratedMinutes.value_or(510) * kMinuteMs +
                                    kDurationTestOverrunMs;
    return true;
}

bool EmergencyTestRun::Poll(const ProgressFn& progress) {
    const bool function = Function();
    const std::uint8_t doneBit = function ? kEmergencyFunctionTestDone : kEmergencyDurationTestDone;
    const std::uint8_t pendingBit =
        function ? kEmergencyFunctionTestPending : kEmergencyDurationTestPending;
    const EmergencyMode runningMode =
        function ? EmergencyMode::FunctionTest : EmergencyMode::DurationTest;
    const ReadByte status = AskExtended(m_terminal, m_request.address, kQueryStatus);
    const ReadByte mode = AskExtended(m_terminal, m_request.address, kQueryMode);
    if (!status.Answered()) {
        return ++m_silentPolls < kSilentPollsLimit && !m_terminal.link.CommunicationLost();
    }
    m_silentPolls = 0;
    const bool running = mode.Answered() && EmergencyModeOf(mode.value) == runningMode;
    m_done = (status.value & doneBit) != 0 && !running;
    // A gear that left its test without a result, or whose test runs past its ceiling, ends the
    // wait: it would otherwise go on until the whole limit passed.
    const bool pending = (status.value & pendingBit) != 0;
    if (!m_done && !running && !pending && mode.Answered() &&
        EmergencyModeOf(mode.value) == EmergencyMode::Normal) {
        if (++m_normalPolls >= kNoResultPolls) {
            m_endedWithout = "the gear gave no result";
            return false;
        }
    } else {
        m_normalPolls = 0;
    }
    const std::int64_t now = m_terminal.context.scheduler.Now();
    if (running && !m_runningSinceMs) m_runningSinceMs = now;
    if (running && now - *m_runningSinceMs > m_runLimitMs) {
        m_endedWithout = std::string("the ") + (function ? "function" : "duration") +
                         " test ran longer than " + DurationText(m_runLimitMs) +
                         " without a result; it was stopped";
        return false;
    }
    if (progress) {
        ProgressState shown;
        shown.stage = (status.value & pendingBit) != 0 ? ProgressStage::Pending
                      : running                        ? ProgressStage::Running
                                                       : ProgressStage::None;
        shown.elapsedMs = ElapsedMs();
        if (!function && running && m_report.result.ratedMinutes &&
            *m_report.result.ratedMinutes > 0) {
            const std::int64_t ratedMs = *m_report.result.ratedMinutes * kMinuteMs;
            shown.fraction =
                std::min(1.0, static_cast<double>(shown.elapsedMs) / static_cast<double>(ratedMs));
            shown.leftMs = std::max<std::int64_t>(0, ratedMs - shown.elapsedMs);
        }
        progress(shown);
    }
    return !m_done;
}

std::int64_t EmergencyTestRun::ElapsedMs() const {
    return m_terminal.context.scheduler.Now() - m_startMs;
}

EmergencyTestReport EmergencyTestRun::Finish(bool cancelled) {
    EmergencyTestReport report = m_report;
    report.result.tookMs = ElapsedMs();
    const std::int16_t address = m_request.address;
    if (!m_done) {
        // A test the tool gives up on does not go on draining the battery unseen.
        StopEmergencyTest(m_terminal, address);
        if (cancelled) {
            report.outcome.Fail(EngineFailure::Cancelled, "the test was stopped");
        } else if (!m_endedWithout.empty()) {
            report.outcome.Fail(EngineFailure::Incomplete, m_endedWithout);
        } else if (m_terminal.link.CommunicationLost()) {
            report.outcome.Fail(EngineFailure::CommunicationLost, "the connection was lost");
        } else if (ElapsedMs() >= m_limitMs) {
            report.outcome.Fail(
                EngineFailure::Incomplete,
                "the test gave no result within " + DurationText(m_limitMs) + "; it was stopped");
        } else {
            report.outcome.Fail(
                EngineFailure::Incomplete,
                "the gear at " + AtAddress(address) + " stopped answering during the test");
        }
        return report;
    }
    const bool function = Function();
    report.result.done = true;
    const ReadByte failure = AskExtended(m_terminal, address, kQueryFailureStatus);
    if (failure.Answered()) report.result.failureStatus = failure.value;
    // Without the failure status the result is not known: it stays unread, never a pass.
    if (failure.Answered())
        report.result.passed = (failure.value & (function ? kEmergencyFunctionTestFailed
                                                          : kEmergencyDurationTestFailed)) == 0;
    if (!function) {
        const ReadByte reached = AskExtended(m_terminal, address, kQueryDurationResult);
        if (reached.Answered()) report.result.durationMinutes = reached.value * 2;
    }
    const ReadByte battery = AskExtended(m_terminal, address, kQueryBatteryCharge);
    if (battery.Answered() && battery.value != 255) report.result.batteryCharge = battery.value;
    if (!failure.Answered())
        report.outcome.Fail(EngineFailure::Incomplete,
                            "the test's failure status could not be read");
    return report;
}

EmergencyTestReport RunEmergencyTest(EngineTerminal& terminal, const EmergencyTestRequest& request,
                                     const ProgressFn& progress,
                                     const std::function<bool()>& cancel) {
    EmergencyTestRun run(terminal, request);
    if (!run.Start()) return run.Finish(false);
    const bool ended = RunSteps(
        terminal.context.scheduler, run.PollMs(), [&] { return run.Poll(progress); }, cancel,
        run.LimitMs());
    return run.Finish(!run.Done() && ended && cancel && cancel());
}

EngineOutcome StartEmergencyTest(EngineTerminal& terminal, std::int16_t address,
                                 EmergencyTestKind kind) {
    const bool function = kind == EmergencyTestKind::Function;
    // The old result is cleared first, so that the done flag read afterwards is this test's.
    Result sent =
        SendExtended(terminal, address, function ? kResetFunctionTestDone : kResetDurationTestDone);
    if (sent == Result::Done)
        sent = SendExtended(terminal, address, function ? kStartFunctionTest : kStartDurationTest);
    EngineOutcome outcome;
    if (sent != Result::Done) {
        outcome.Fail(terminal.link.CommunicationLost() ? EngineFailure::CommunicationLost
                                                       : EngineFailure::Incomplete,
                     std::string("the test could not be started: ") + ResultText(sent));
    }
    return outcome;
}

EngineOutcome StopEmergencyTest(EngineTerminal& terminal, std::int16_t address) {
    EngineOutcome outcome;
    const Result sent = SendExtended(terminal, address, kStopTest);
    if (sent != Result::Done)
        outcome.Fail(EngineFailure::Incomplete,
                     std::string("STOP TEST could not be sent: ") + ResultText(sent));
    return outcome;
}

std::optional<std::string> EmergencyTimingChangeError(const EmergencyTimingChange& change) {
    auto outside = [](const std::optional<int>& value, int high) {
        return value && (*value < 0 || *value > high);
    };
    if (outside(change.functionTestInterval, 255)) return "function test interval: 0 to 255 days";
    if (outside(change.durationTestInterval, 97)) return "duration test interval: 0 to 97 weeks";
    if (outside(change.testExecutionTimeout, 255)) return "test execution timeout: 0 to 255 days";
    if (outside(change.prolongTime, 255)) return "prolong time: 0 to 255 half minutes";
    if (outside(change.testDelay, 0xFFFF)) return "test delay: 0 to 65535 quarter hours";
    return std::nullopt;
}

namespace {

EmergencyTiming ReadTiming(EngineTerminal& terminal, std::int16_t address) {
    EmergencyTiming timing;
    auto quarters = [&](std::uint8_t high, std::uint8_t low) -> std::optional<int> {
        const ReadByte h = AskTiming(terminal, address, high);
        const ReadByte l = AskTiming(terminal, address, low);
        if (!h.Answered() || !l.Answered() || (h.value == 255 && l.value == 255))
            return std::nullopt;
        return h.value * 256 + l.value;
    };
    timing.nextFunctionTestQuarters = quarters(0, 1);
    timing.nextDurationTestQuarters = quarters(2, 3);
    timing.functionTestInterval = AskTiming(terminal, address, 4);
    timing.durationTestInterval = AskTiming(terminal, address, 5);
    timing.testExecutionTimeout = AskTiming(terminal, address, 6);
    timing.prolongTime = AskTiming(terminal, address, 7);
    return timing;
}

}  // namespace

EmergencyTimingReport ReadEmergencyTiming(EngineTerminal& terminal, std::int16_t address) {
    EmergencyTimingReport report;
    report.address = address;
    report.gear = CheckGear(terminal, address, report.outcome);
    if (report.gear.presence != EmergencyPresence::Emergency) return report;
    report.timing = ReadTiming(terminal, address);
    if (terminal.link.CommunicationLost())
        report.outcome.Fail(EngineFailure::CommunicationLost, "the connection was lost");
    return report;
}

EmergencyTimingReport WriteEmergencyTiming(EngineTerminal& terminal, std::int16_t address,
                                           const EmergencyTimingChange& change) {
    EmergencyTimingReport report;
    report.address = address;
    if (const std::optional<std::string> error = EmergencyTimingChangeError(change)) {
        report.outcome.Fail(EngineFailure::Refused, *error);
        report.gear.presence = EmergencyPresence::Unreadable;
        return report;
    }
    report.gear = CheckGear(terminal, address, report.outcome);
    if (report.gear.presence != EmergencyPresence::Emergency) return report;
    struct Store {
        const char* name;
        std::optional<int> value;
        std::uint8_t command;
    };
    const Store stores[] = {
        {"functionTestInterval", change.functionTestInterval, kStoreFunctionInterval},
        {"durationTestInterval", change.durationTestInterval, kStoreDurationInterval},
        {"testExecutionTimeout", change.testExecutionTimeout, kStoreTimeout},
        {"prolongTime", change.prolongTime, kStoreProlongTime},
    };
    auto store = [&](std::uint8_t value, std::uint8_t command) {
        return SetDtr(terminal, value) == Result::Done &&
               SendExtended(terminal, address, command) == Result::Done;
    };
    std::vector<std::pair<const Store*, bool>> sent;
    for (const Store& item : stores) {
        if (!item.value) continue;
        sent.emplace_back(&item, store(static_cast<std::uint8_t>(*item.value), item.command));
    }
    bool delaySent = false;
    if (change.testDelay) {
        delaySent = store(static_cast<std::uint8_t>(*change.testDelay >> 8), kStoreTestDelayHigh) &&
                    store(static_cast<std::uint8_t>(*change.testDelay & 0xFF), kStoreTestDelayLow);
    }
    report.timing = ReadTiming(terminal, address);
    const ReadByte* readBack[] = {
        &report.timing->functionTestInterval, &report.timing->durationTestInterval,
        &report.timing->testExecutionTimeout, &report.timing->prolongTime};
    for (const auto& [item, ok] : sent) {
        const ReadByte& back = *readBack[item - stores];
        const bool taken = ok && back.Answered() && back.value == *item->value;
        (taken ? report.written : report.notTaken).emplace_back(item->name);
    }
    if (change.testDelay) (delaySent ? report.written : report.notTaken).emplace_back("testDelay");
    if (terminal.link.CommunicationLost()) {
        report.outcome.Fail(EngineFailure::CommunicationLost, "the connection was lost");
    } else if (!report.notTaken.empty()) {
        std::string names;
        for (const std::string& name : report.notTaken) names += (names.empty() ? "" : ", ") + name;
        report.outcome.Fail(EngineFailure::Incomplete, "not taken by the gear: " + names);
    }
    return report;
}

}  // namespace zd
