#include "engine/Identify.h"

#include <algorithm>
#include <set>

#include "engine/LineCommands.h"
#include "engine/internal/StepRunner.h"
#include "platform/HostTexts.h"

namespace zd {

const char* IdentifyModeName(IdentifyMode mode) {
    switch (mode) {
        case IdentifyMode::Flash:
            return "flash";
        case IdentifyMode::Max:
            return "max";
        case IdentifyMode::OthersOff:
            return "others-off";
    }
    return "flash";
}

std::optional<IdentifyMode> IdentifyModeNamed(const std::string& name) {
    for (IdentifyMode mode : {IdentifyMode::Flash, IdentifyMode::Max, IdentifyMode::OthersOff})
        if (name == IdentifyModeName(mode)) return mode;
    return std::nullopt;
}

namespace {

LineCommandResult Send(EngineTerminal& terminal, std::int16_t command, std::uint8_t data,
                       AddressKind kind, std::int16_t address) {
    return SendLineCommand(terminal, {command, data, kind, address});
}

// The byte a gear answers, asked once more when it stays silent (a lost answer is no absent gear).
std::optional<std::uint8_t> Ask(EngineTerminal& terminal, std::int16_t query,
                                std::int16_t address) {
    for (int ask = 0; ask < 2; ++ask) {
        const LineCommandResult result =
            QueryLine(terminal, {query, 0, AddressKind::Short, address});
        if (result.answer == QueryAnswer::Byte) return result.answerByte;
        if (result.answer == QueryAnswer::Failed) return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

// Marks the line while the identify runs and clears the mark when it ends, however it ends.
class IdentifyUnderWayMark {
  public:
    explicit IdentifyUnderWayMark(AddressingLine& line) : m_line(line) {
        m_line.m_identifyUnderWay = true;
    }
    ~IdentifyUnderWayMark() { m_line.m_identifyUnderWay = false; }
    IdentifyUnderWayMark(const IdentifyUnderWayMark&) = delete;
    IdentifyUnderWayMark& operator=(const IdentifyUnderWayMark&) = delete;

  private:
    AddressingLine& m_line;
};

IdentifyReport RunIdentify(AddressingLine& line, const IdentifyOptions& options,
                           const ProgressFn& progress, const std::function<bool()>& cancel) {
    IdentifyReport report;
    EngineTerminal& terminal = line.Terminal();
    const Language language = terminal.context.messages.GetLanguage();
    const std::int16_t address = options.shortAddress;
    const std::string addressText = std::to_string(address);
    if (line.IdentifyUnderWay()) {
        report.outcome.Fail(EngineFailure::Refused,
                            EngineMessage{0,
                                          "A luminaire is already identifying itself on this line; "
                                          "wait until it has ended."},
                            language);
        return report;
    }
    if (address < 0 || address > 63) {
        report.outcome.Fail(
            EngineFailure::Refused,
            HostText(language, "The short address %1 is not 0 to 63.", {addressText}));
        return report;
    }
    if (options.seconds < 1 || options.seconds > kIdentifyMaxSeconds) {
        report.outcome.Fail(EngineFailure::Refused,
                            HostText(language, "An identify lasts 1 to %1 seconds.",
                                     {std::to_string(kIdentifyMaxSeconds)}));
        return report;
    }
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    IdentifyUnderWayMark underWay(line);

    if (!Ask(terminal, kCmdQueryBallast, address)) {
        report.outcome.Fail(
            EngineFailure::Refused,
            HostText(language, "No device answers at short address %1.", {addressText}));
        return report;
    }
    report.version = Ask(terminal, kCmdQueryVersionNumber, address);
    report.identifyDevice = options.mode == IdentifyMode::Flash && report.version &&
                            *report.version >= kIdentifyDeviceVersion;

    // The levels to put back: the luminaire's, and with the whole line darkened every gear's,
    // known to the device list or not. A silent address has nothing to put back; one the list
    // knows is asked once more, as its answer may have been lost.
    std::set<std::int16_t> listed{address};
    for (const auto& [key, device] : terminal.state.devices->Items())
        if (device && device->m_nShortAddress >= 0 && device->m_nShortAddress <= 63)
            listed.insert(device->m_nShortAddress);
    for (std::int16_t each = 0; each <= 63; ++each) {
        if (options.mode == IdentifyMode::Flash && each != address) continue;
        std::optional<std::uint8_t> level;
        if (listed.count(each)) {
            level = Ask(terminal, kCmdQueryActualLevel, each);
        } else {
            const LineCommandResult result =
                QueryLine(terminal, {kCmdQueryActualLevel, 0, AddressKind::Short, each});
            if (result.answer == QueryAnswer::Byte) level = result.answerByte;
        }
        if (level) report.levels.push_back({each, *level, false});
    }

    Scheduler& clock = terminal.context.scheduler;
    const std::int64_t totalMs = std::int64_t{options.seconds} * 1000;
    const std::int64_t startMs = clock.Now();
    bool lostLine = false;
    auto sent = [&](const LineCommandResult& result) {
        if (result.sent == Result::Error || result.sent == Result::NoDevCom) lostLine = true;
    };
    std::int64_t nextIdentifyMs = startMs;
    bool atMax = false;
    bool lit = false;
    auto show = [&] {
        const std::int64_t now = clock.Now();
        switch (options.mode) {
            case IdentifyMode::Flash:
                if (report.identifyDevice) {
                    if (now >= nextIdentifyMs) {
                        sent(Send(terminal, kCmdIdentifyDevice, 0, AddressKind::Short, address));
                        nextIdentifyMs = now + kIdentifyDeviceMs - kIdentifyFlashMs;
                    }
                } else {
                    atMax = !atMax;
                    sent(Send(terminal, atMax ? kCmdRecallMaxLevel : kCmdRecallMinLevel, 0,
                              AddressKind::Short, address));
                }
                break;
            case IdentifyMode::Max:
            case IdentifyMode::OthersOff:
                if (!lit) {
                    lit = true;
                    sent(Send(terminal,
                              options.mode == IdentifyMode::Max ? kCmdRecallMinLevel : kCmdOff, 0,
                              AddressKind::Broadcast, 0));
                    sent(Send(terminal, kCmdRecallMaxLevel, 0, AddressKind::Short, address));
                }
                break;
        }
    };
    show();
    bool cancelled = false;
    if (!lostLine) {
        RunSteps(
            clock, kIdentifyFlashMs,
            [&] {
                const std::int64_t elapsed = clock.Now() - startMs;
                if (progress) {
                    ProgressState now;
                    now.elapsedMs = elapsed;
                    now.leftMs = std::max<std::int64_t>(0, totalMs - elapsed);
                    now.fraction =
                        std::min(1.0, static_cast<double>(elapsed) / static_cast<double>(totalMs));
                    progress(now);
                }
                if (elapsed >= totalMs || lostLine) return false;
                show();
                return !lostLine;
            },
            [&] { return cancelled = cancel && cancel(); });
    }
    report.shownMs = clock.Now() - startMs;

    // Every level goes back, the luminaire's last, so that a flash of its own ends with it.
    std::stable_partition(
        report.levels.begin(), report.levels.end(),
        [&](const IdentifyLevel& level) { return level.shortAddress != address; });
    for (IdentifyLevel& level : report.levels) {
        if (level.level == kDaliMask) continue;
        const LineCommandResult result =
            Send(terminal, kCmdDirectArcPower, level.level, AddressKind::Short, level.shortAddress);
        sent(result);
        level.restored = result.sent == Result::Done;
    }
    if (lostLine) {
        report.outcome.Fail(EngineFailure::CommunicationLost,
                            EngineMessage{0, "The connection to the terminal was lost."}, language);
    } else if (cancelled) {
        report.outcome.Fail(EngineFailure::Cancelled,
                            EngineMessage{0, "The identify was cancelled; the levels are back."},
                            language);
    } else {
        for (const IdentifyLevel& level : report.levels) {
            if (level.level != kDaliMask && !level.restored) {
                report.outcome.Fail(
                    EngineFailure::Incomplete,
                    HostText(language, "The level of short address %1 could not be set back.",
                             {std::to_string(level.shortAddress)}));
            }
        }
    }
    return report;
}

}  // namespace zd
