#include "engine/TerminalAddressing.h"

#include <algorithm>

#include "engine/internal/StepRunner.h"
#include "engine/internal/TerminalAddressing.h"
#include "link/Commands.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// Wait between the parameter word and the start bit, so that the terminal has taken the word.
constexpr std::int64_t kParameterSettleMs = 1000;

// The terminal's run as measured on the simulated line, whose frames keep the line's timing (4
// gear 10 s, 16 gear 36 s, 63 gear 137 s): the hand-over and the search's opening, and each
// gear's search, programming and check.
constexpr std::int64_t kTerminalRunBaseMs = 1500;
constexpr std::int64_t kTerminalRunPerGearMs = 2150;

std::uint16_t FirmwareAddressingParameter(bool bCompleteNewInstallation, bool bOpticalFeedback,
                                          int nStartAddress) {
    std::uint16_t word = 0;
    if (bCompleteNewInstallation) word |= 0x0001;
    if (bOpticalFeedback) word |= 0x0008;
    word = static_cast<std::uint16_t>(word + (nStartAddress & 0xFF) * 256);
    return word;
}

}  // namespace

EngineNotice FirmwareResultNotice(std::uint8_t nResult) {
    if (nResult <= kMaxShortAddress)
        return {EngineFailure::None,
                {msg::kGearAddressed, {}, {std::to_string(nResult)}},
                NoticeWeight::Information};
    EngineMessage message;
    switch (static_cast<FirmwareResult>(nResult)) {
        case FirmwareResult::InternalError:
            message.id = msg::kStateMachineError;
            break;
        case FirmwareResult::NoFreeShortAddress:
            message.id = msg::kNoFreeShortAddress;
            break;
        case FirmwareResult::SameShortAddress:
            message.id = msg::kSameShortAddress;
            break;
        case FirmwareResult::NoCompareReply:
            message.id = msg::kNoCompareReply;
            break;
        case FirmwareResult::NoReplyAfterProgramming:
            message.id = msg::kNoReplyAfterAddress;
            break;
        default:
            message = {msg::kInternalError, {}, {std::to_string(nResult)}};
            break;
    }
    return {EngineFailure::Incomplete, message, NoticeWeight::Critical};
}

TerminalAddressingEnd EndTerminalAddressing(AddressingLine& line, std::uint8_t nResult) {
    TerminalAddressingEnd end{FirmwareResultNotice(nResult), std::nullopt};
    if (nResult <= kMaxShortAddress) {
        end.addressed = nResult;
        return end;
    }
    if (nResult != static_cast<std::uint8_t>(FirmwareResult::NoFreeShortAddress)) return end;
    int holders = 0;
    std::uint8_t answer = 0;
    for (std::int16_t address = 0; address <= kMaxShortAddress; ++address) {
        const Result result =
            line.QueryTwice(kCmdQueryBallast, 0, AddressKind::Short, address, answer);
        // Two gear on one address answer as a corrupt frame: not a success.
        if (result == Result::Done) {
            ++holders;
        } else if (result != Result::Timeout) {
            return end;
        }
    }
    // A line where nobody answers at all tells nothing about the terminal's run.
    if (holders == 0 || line.QueryTwice(kCmdQueryMissingShortAddress, 0, AddressKind::Broadcast, 0,
                                        answer) != Result::Timeout)
        return end;
    end.addressed = holders;
    end.notice = {EngineFailure::None,
                  {msg::kGearAddressed, {}, {std::to_string(holders)}},
                  NoticeWeight::Information};
    return end;
}

void HandOverTerminalAddressing(AddressingLine& line, const TerminalAddressingOptions& options) {
    if (options.newInstallation) line.EmptyDeviceList();
    line.DeleteGroupsAndScenes(options.deleteGroups, options.deleteScenes);
    Link& link = line.TerminalLink();
    std::int32_t word = FirmwareAddressingParameter(options.newInstallation,
                                                    options.opticalFeedback, options.startAddress);
    link.WriteDataOut(word);
    line.GetContext().scheduler.Sleep(kParameterSettleMs);
    link.StartRandomAddressing();
}

std::int64_t TerminalAddressingEstimateMs(int gear) {
    return kTerminalRunBaseMs + kTerminalRunPerGearMs * std::max(gear, 0);
}

TerminalAddressingPoll PollTerminalAddressing(Link& link) {
    std::uint8_t status = 0;
    // Without the status byte there is no result to show, only the lost connection.
    if (link.ReadStatusByte(status) == Result::Error) return {};
    if ((status & kStatusFirmwareAddressing) != 0) return {true, std::nullopt};
    std::int16_t dataIn = 0;
    // A failed read has shown its error; a count made up from nothing would tell the user that no
    // gear was addressed.
    if (link.ReadDataIn(dataIn) != Result::Done) return {};
    return {false, static_cast<std::uint8_t>(dataIn & 0xFF)};
}

namespace {

// The polls of a run the terminal has begun, once a second (the first at once when firstPollNow),
// until it reports its result, the link is lost or cancelled() holds; then the outcome.
void FollowRun(AddressingLine& line, const std::string& status, bool handOver,
               const TerminalAddressingOptions& options, const ProgressFn& progress,
               const std::function<bool()>& cancelled, TerminalAddressingReport& report) {
    const Context& context = line.GetContext();
    const MessageCatalogue& msg = context.messages;
    const Language language = msg.GetLanguage();
    Link& link = line.TerminalLink();
    Scheduler& clock = context.scheduler;
    // The terminal's own run is never logged: it sends nothing the log could show.
    line.DropLog();
    const std::int64_t startMs = clock.Now();
    // The terminal tells nothing until it is done: how far it has come is estimated from the gear
    // the device list knew as the run began.
    const ModuleState& state = line.Terminal().state;
    const int gear = state.devices ? static_cast<int>(state.devices->Count()) : 0;
    const std::int64_t expectedMs = TerminalAddressingEstimateMs(gear);
    const auto tell = [&](const std::string& text) {
        if (!progress) return;
        ProgressState now;
        now.detail = text;
        now.elapsedMs = clock.Now() - startMs;
        if (gear > 0 && now.elapsedMs < expectedMs) {
            now.fraction = static_cast<double>(now.elapsedMs) / static_cast<double>(expectedMs);
            now.leftMs = expectedMs - now.elapsedMs;
        }
        progress(now);
    };
    tell(status);
    clock.DoEvents();
    link.BeginProcedure();
    bool failed = false;
    bool cancel = false;
    bool finished = false;
    const auto poll = [&] {
        TerminalAddressingPoll answer;
        try {
            answer = PollTerminalAddressing(link);
        } catch (...) {
            ReportCurrentException(context, "RandomAddressingFirmware");
            failed = true;
            return false;
        }
        tell(status);
        if (answer.running) return !link.CommunicationLost();
        finished = true;
        report.result = answer.result;
        if (answer.result) {
            const TerminalAddressingEnd end = EndTerminalAddressing(line, *answer.result);
            report.addressed = end.addressed;
            report.outcome.notices.push_back(end.notice);
            if (line.Terminal().tell) line.Terminal().tell(end.notice);
        } else {
            failed = true;
        }
        return false;
    };
    if (handOver) {
        try {
            HandOverTerminalAddressing(line, options);
        } catch (...) {
            ReportCurrentException(context, "RandomAddressingFirmware");
            failed = true;
        }
    } else if (!poll()) {
        // A run taken up after a refresh may have ended between the refresh's read and this poll.
        finished = true;
    }
    if (!failed && !finished) {
        const bool ended = RunSteps(clock, kRndAddrFirmwareIntervalMs, poll,
                                    [&] { return cancel = cancelled && cancelled(); });
        if (!ended && !cancel)
            report.outcome.Fail(
                EngineFailure::Error,
                EngineMessage{0, "the terminal's random addressing did not end in time"}, language);
    }
    clock.DoEvents();
    link.EndProcedure();
    tell("");

    if (link.CommunicationLost()) {
        report.outcome.Fail(EngineFailure::CommunicationLost,
                            EngineMessage{0,
                                          "the connection to the terminal was lost during "
                                          "the random addressing"},
                            language);
    } else if (cancel) {
        report.outcome.Fail(
            EngineFailure::Cancelled,
            EngineMessage{0,
                          "the random addressing goes on in the terminal, which does "
                          "not let the control stop it; scan once it has finished"},
            language);
    } else if (failed) {
        report.outcome.Fail(EngineFailure::Error,
                            EngineMessage{0, "the terminal's result could not be read"}, language);
    } else if (report.addressed) {
        // Told by the terminal, or found on the line after it reported no free address.
    } else if (report.result) {
        report.outcome.Fail(EngineFailure::Incomplete, FirmwareResultNotice(*report.result).message,
                            language);
    }
}

}  // namespace

// The run as the window's Start button and its poll timer drive it, without the window.
TerminalAddressingReport RunTerminalAddressing(AddressingLine& line,
                                               const TerminalAddressingOptions& options,
                                               const ProgressFn& progress,
                                               const std::function<bool()>& cancelled) {
    TerminalAddressingReport report;
    if (RefusedOutsideDaliMode(line.Terminal(), report.outcome)) return report;
    FollowRun(line, line.GetContext().messages.Load(5139) + "...", true, options, progress,
              cancelled, report);
    return report;
}

TerminalAddressingReport FollowTerminalAddressing(AddressingLine& line, const ProgressFn& progress,
                                                  const std::function<bool()>& cancelled) {
    TerminalAddressingReport report;
    FollowRun(line, line.GetContext().messages.Load(5141), false, {}, progress, cancelled, report);
    return report;
}

}  // namespace zd
