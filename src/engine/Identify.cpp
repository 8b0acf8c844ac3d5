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

    // The luminaire's level is read first and it shows itself at once; with the rest of the line
    // darkened, the others are then read one by one and each is darkened by its short address
    // right after its level is known. Gear without a short address, or whose level cannot be
    // read, are left as they are: nothing is changed that cannot be put back. A silent address
    // the device list knows is asked once more, as its answer may have been lost.
    std::set<std::int16_t> listed{address};
    for (const auto& [key, device] : terminal.state.devices->Items())
        if (device && device->m_nShortAddress >= 0 && device->m_nShortAddress <= 63)
            listed.insert(device->m_nShortAddress);
    const auto readLevel = [&](std::int16_t each) {
        std::optional<std::uint8_t> level;
        if (listed.count(each)) {
            level = Ask(terminal, kCmdQueryActualLevel, each);
        } else {
            const LineCommandResult result =
                QueryLine(terminal, {kCmdQueryActualLevel, 0, AddressKind::Short, each});
            if (result.answer == QueryAnswer::Byte) level = result.answerByte;
        }
        if (level) report.levels.push_back({each, *level, false});
        return level;
    };
    readLevel(address);

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
    // The others, asked and darkened one address at a time: the device list's first, then the
    // addresses it does not know.
    std::vector<std::int16_t> others;
    for (const std::int16_t each : listed)
        if (each != address) others.push_back(each);
    for (std::int16_t each = 0; each <= 63; ++each)
        if (!listed.count(each)) others.push_back(each);
    std::size_t nextOther = 0;
    std::optional<std::int64_t> aloneSinceMs;
    const auto darkenNext = [&] {
        const std::int16_t each = others[nextOther++];
        const std::optional<std::uint8_t> level = readLevel(each);
        if (!level || *level == kDaliMask) return;
        sent(Send(terminal, options.mode == IdentifyMode::Max ? kCmdRecallMinLevel : kCmdOff, 0,
                  AddressKind::Short, each));
    };
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
                    sent(Send(terminal, kCmdRecallMaxLevel, 0, AddressKind::Short, address));
                }
                // For at most a step's time, so that a cancel and the progress come in between.
                for (const std::int64_t from = clock.Now(); nextOther < others.size() &&
                                                            !lostLine &&
                                                            clock.Now() - from < kIdentifyFlashMs;)
                    darkenNext();
                break;
        }
    };
    show();
    bool cancelled = false;
    if (!lostLine) {
        RunSteps(
            clock, kIdentifyFlashMs,
            [&] {
                // The time asked for counts once the luminaire is alone: with the others
                // darkened one by one, a line of unknown gear takes a few seconds more.
                if (!aloneSinceMs &&
                    (options.mode == IdentifyMode::Flash || nextOther >= others.size()))
                    aloneSinceMs = clock.Now();
                const std::int64_t elapsed = aloneSinceMs ? clock.Now() - *aloneSinceMs : 0;
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
