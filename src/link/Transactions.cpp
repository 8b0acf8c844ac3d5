#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "link/Commands.h"
#include "link/ForwardFrames.h"
#include "link/Link.h"
#include "platform/Error.h"

namespace zd {

namespace {

// The terminal repeats what the gear take only when it comes twice: the configuration commands
// (32 to 129), INITIALISE and RANDOMISE.
int FramesOnTheLine(std::int16_t nCommandId) {
    const bool twice = (nCommandId >= kCmdReset && nCommandId <= 129) ||
                       nCommandId == kCmdInitialise || nCommandId == kCmdRandomise;
    return twice ? 2 : 1;
}

// Commands that a gear may answer.
bool IsQuery(std::int16_t nCommandId) {
    return (nCommandId >= kCmdQueryStatus && nCommandId <= 255) || nCommandId == kCmdCompare ||
           nCommandId == kCmdVerifyShortAddress || nCommandId == kCmdQueryShortAddress;
}

}  // namespace

Result Link::SendCommand(std::int32_t& nWord) {
    m_bLastAcknowledged = false;
    if (!m_state.objDevCom) return Result::NoDevCom;
    if (m_pacing == Pacing::Quick && !m_quickDistrust) return SendCommandQuick(nWord);
    m_quickOut.reset();
    m_quickSeen = false;
    // The data goes out first with the control byte as it was; the toggle then marks it as new.
    OutputWords out = WriteOutputValue(nWord);
    out.words[0] ^= ControlMask(out, kControlToggle);
    WriteOutputWords(out);

    // The toggle as written: a control byte read back before the terminal took the write over
    // still holds the old one, and would match the old acknowledge.
    const bool toggle = (out.words[0] & ControlMask(out, kControlToggle)) != 0;
    AwaitTakeOver(out);
    const std::int64_t lineStartMs = std::max(m_context.scheduler.Now(), m_lineFreeMs);
    m_lineFreeMs = lineStartMs + std::exchange(m_nextFrames, 1) * kQuickFrameMs;
    m_answerCompleteMs = m_lineFreeMs + kQuickAnswerWindowMs;
    m_context.scheduler.Sleep(kCommandSettleMs);

    for (int poll = 0;; ++poll) {
        const std::uint8_t control = ReadByteAt(Entry(kControl));
        const std::uint8_t status = ReadStatus();
        m_bLastAcknowledged = ((status & kStatusAcknowledge) != 0) == toggle;
        if (status & kStatusCollision) return Result::Collision;
        if (status & kStatusCorruptFrame) return Result::CorruptFrame;
        if ((control & kControlToggle) == (status & kStatusAcknowledge)) return Result::Done;
        // A command the terminal does not acknowledge in time still counts as sent.
        if (poll + 1 >= kAcknowledgePolls) return Result::Done;
        m_context.scheduler.Sleep(kAcknowledgePollMs);
    }
}

// The data value and the toggle go out in one write of the two output words, which the terminal
// takes whole; the acknowledge of our toggle shows that it took them, so the read-backs of the
// paced handshake are left out. The status is read when the acknowledge is due by what this
// terminal has shown so far, then a little later while it is not there; the input value comes
// with it, for the answer.
Result Link::SendCommandQuick(std::int32_t& nWord) {
    std::uint16_t value = ToDataValue(nWord);
    if (m_state.m_bMotorola) {
        value = SwapBytes(value);
        nWord = value;
    }
    OutputWords out = m_quickOut ? *m_quickOut : ReadOutputWords();
    PlaceDataValue(out, value);
    out.words[0] ^= ControlMask(out, kControlToggle);
    WriteOutputWords(out);
    m_quickOut = out;
    const bool toggle = (out.words[0] & ControlMask(out, kControlToggle)) != 0;

    Scheduler& clock = m_context.scheduler;
    const std::int64_t writtenMs = clock.Now();
    const std::int64_t lineStartMs = std::max(writtenMs, m_lineFreeMs);
    const int frames = std::exchange(m_nextFrames, 1);
    const auto kind = static_cast<std::size_t>(std::exchange(m_nextKind, 0));
    m_lineFreeMs = lineStartMs + frames * kQuickFrameMs;
    m_answerCompleteMs = m_lineFreeMs + kQuickAnswerWindowMs;
    m_quickSeen = false;

    // The first read when the acknowledge is due; for a query, a second when an answered one's
    // is due; then reads a little apart, further apart the longer it takes.
    LearnedTime& silent = m_quick.ack[kind];
    const bool query = kind == 1;
    const std::int64_t floorMs = writtenMs - lineStartMs;
    std::vector<std::int64_t> plannedMs{std::max(floorMs, silent.ms)};
    if (query) plannedMs.push_back(std::max(plannedMs[0] + 1, m_quick.answered.ms));
    std::int64_t lastReadMs = -1;
    for (int read = 0;; ++read) {
        const std::int64_t atMs =
            read < static_cast<int>(plannedMs.size())
                ? plannedMs[static_cast<std::size_t>(read)]
                : lastReadMs + std::min(kQuickLongestRepollMs,
                                        kQuickRepollMs << std::max(
                                            0, read - static_cast<int>(plannedMs.size()) -
                                                   kQuickShortRepolls + 1));
        if (lineStartMs + atMs > clock.Now()) clock.Sleep(lineStartMs + atMs - clock.Now());
        const std::int64_t readMs = clock.Now() - lineStartMs;
        std::uint8_t status = 0;
        std::uint16_t input = 0;
        ReadStatusAndInput(status, input);
        m_bLastAcknowledged = ((status & kStatusAcknowledge) != 0) == toggle;
        if (m_bLastAcknowledged) {
            m_quickSeen = true;
            m_quickStatus = status;
            m_quickInput = m_state.m_bMotorola ? SwapBytes(input) : input;
            CheckAnswerRead(m_quickInput);
            const bool answered = (m_quickInput & kInputAnswerPresent) != 0;
            // Learn from it. Found at the read planned for it: now and then the next comes a
            // millisecond earlier. Found later: it came after the read before.
            LearnedTime& learned = query && answered ? m_quick.answered : silent;
            const int plannedRead = query && answered ? static_cast<int>(plannedMs.size()) - 1 : 0;
            if (read == plannedRead) {
                learned.lates = 0;
                if (++learned.streak >= kQuickEarlierAfter) {
                    learned.streak = 0;
                    learned.ms = std::max(floorMs, learned.ms - 1);
                }
            } else if (read > plannedRead) {
                learned.streak = 0;
                learned.ms = ++learned.lates >= 2 ? lastReadMs + 1 : learned.ms + 1;
            } else {
                // An answered query acknowledged before its planned read: sooner than thought.
                learned.streak = 0;
                learned.lates = 0;
                learned.ms = readMs;
            }
            // A backward frame, clean or not, keeps the line busy for the settling time after it.
            if (answered || (status & (kStatusCollision | kStatusCorruptFrame)))
                m_lineFreeMs = std::max(m_lineFreeMs, clock.Now() + kQuickSettleMs);
            if (status & kStatusCollision) return Result::Collision;
            if (status & kStatusCorruptFrame) return Result::CorruptFrame;
            return Result::Done;
        }
        lastReadMs = readMs;
        if (readMs - plannedMs[0] >= kQuickAcknowledgeLimitMs) {
            // Sending on would leave commands queued in the terminal, where answers lose their
            // questions: the rest of the procedure is paced. The command counts as sent.
            m_quickDistrust = "the terminal did not acknowledge a command within " +
                              std::to_string(kQuickAcknowledgeLimitMs) + " ms";
            m_quickOut.reset();
            return Result::Done;
        }
    }
}

// The answer to a command sent quickly. The read that showed the acknowledge holds it when this
// terminal answers with its acknowledge; a terminal that acknowledges as it takes a command
// answers later, and silence is believed only once an answer would have been complete on the
// line.
Result Link::ReceiveQuick(std::uint8_t& nData) {
    Scheduler& clock = m_context.scheduler;
    std::uint8_t status = m_quickStatus;
    std::uint16_t input = m_quickInput;
    const bool seen = std::exchange(m_quickSeen, false);
    const bool trusted = m_quick.answersWithAcknowledge >= kQuickAnswersWithAcknowledge;
    if (!seen || (!(input & kInputAnswerPresent) && !trusted)) {
        if (clock.Now() < m_answerCompleteMs) clock.Sleep(m_answerCompleteMs - clock.Now());
        std::uint16_t raw = 0;
        ReadStatusAndInput(status, raw);
        input = m_state.m_bMotorola ? SwapBytes(raw) : raw;
        CheckAnswerRead(input);
        if (seen && (input & kInputAnswerPresent)) {
            // The answer came after its acknowledge: silence read with the acknowledge would
            // have lost it. From now on every silence waits for the line.
            m_quick.answersWithAcknowledge = -1000000;
        }
        if (input & kInputAnswerPresent)
            m_lineFreeMs = std::max(m_lineFreeMs, clock.Now() + kQuickSettleMs);
    } else if (input & kInputAnswerPresent) {
        ++m_quick.answersWithAcknowledge;
    }
    if (input & kInputAnswerPresent) {
        nData = static_cast<std::uint8_t>(input & 0xFF);
        return Result::Done;
    }
    nData = 0;
    if (status & kStatusCollision) return Result::Collision;
    if (status & kStatusCorruptFrame) return Result::CorruptFrame;
    return Result::Timeout;
}

void Link::ResetQuickTiming() {
    m_quick = QuickTiming{};
    m_quickDistrust.reset();
    m_quickOut.reset();
    m_quickSeen = false;
}

void Link::AwaitTakeOver(const OutputWords& out) const {
    for (int read = 0; read < kTakeOverReads; ++read) {
        std::array<std::uint16_t, 2> readBack{};
        ReadWords(out.entry, 2, readBack.data());
        if (readBack == out.words) return;
        m_context.scheduler.Sleep(kTakeOverPollMs);
    }
    // The host never reflected the write; give it a last moment and carry on regardless.
    m_context.scheduler.Sleep(kTakeOverGraceMs);
}

Result Link::SendDALICommand(std::int16_t& nCommandId, std::uint8_t& nData, AddressKind& nAddrType,
                             std::int16_t& nAddr, LogStream* log) {
    std::optional<std::uint16_t> sentWord;
    const Result result = ResultFromNumber(GuardStatus(m_context, "SendDALICommand", [&] {
        // Logged before any check, so that the log also shows the commands that were refused.
        if (log) {
            IgnoreErrors([&] {
                log->Write(CreateDALICommandString(m_context, nCommandId, nData, nAddrType, nAddr));
            });
        }
        if (const Result check = CheckDALIAddress(nAddrType, nAddr); check != Result::Done)
            return check;
        const auto word = BuildDALICommandWord(nCommandId, nData, nAddrType, nAddr);
        if (!word) return Result::BadAddress;
        sentWord = word;
        m_nextFrames = FramesOnTheLine(nCommandId);
        m_nextKind = m_nextFrames == 2 ? 2 : IsQuery(nCommandId) ? 1 : 0;
        std::int32_t nWord = *word;
        return SendCommand(nWord);
    }));
    if (m_observer) {
        m_observer->Observe({Transaction::Kind::DALICommand, nCommandId, nData, nAddrType, nAddr,
                             sentWord, result, sentWord && m_bLastAcknowledged});
    }
    return result;
}

Result Link::SendDALIWord(std::uint16_t word, bool bQuery) {
    const Result result = ResultFromNumber(GuardStatus(m_context, "SendDALICommand", [&] {
        m_nextFrames = 1;
        m_nextKind = bQuery ? 1 : 0;
        std::int32_t nWord = word;
        return SendCommand(nWord);
    }));
    if (m_observer) {
        const DecodedFrame decoded = DecodeForwardFrame(word);
        // A special command the catalogue has no number for is numbered as the others are.
        const auto special = static_cast<std::int16_t>(256 + ((word >> 8) - 0xA1) / 2);
        m_observer->Observe({Transaction::Kind::DALICommand, decoded.nCommandId.value_or(special),
                             decoded.nData, decoded.nAddrType, decoded.nAddr, word, result,
                             m_bLastAcknowledged});
    }
    return result;
}

Result Link::ReceiveDALIData(std::uint8_t& nData, LogStream* log) {
    if (!m_state.objDevCom) return Result::NoDevCom;
    const Result result = ResultFromNumber(GuardStatus(m_context, "ReceiveDALIData", [&] {
        if (m_pacing == Pacing::Quick && !m_quickDistrust) return ReceiveQuick(nData);
        for (int poll = 0;; ++poll) {
            const std::uint16_t value = ReadInputValue();
            CheckAnswerRead(value);
            if (value & kInputAnswerPresent) {
                // The backward frame is over: the line is free from now.
                m_lineFreeMs = std::max(m_lineFreeMs, m_context.scheduler.Now());
                nData = static_cast<std::uint8_t>(value & 0xFF);
                return Result::Done;
            }
            m_context.scheduler.Sleep(kAnswerPollMs);
            if (poll + 1 >= kAnswerPolls) break;
        }
        nData = 0;
        m_lineFreeMs = std::max(m_lineFreeMs, m_context.scheduler.Now());
        const std::uint8_t status = ReadStatus();
        if (status & kStatusCollision) return Result::Collision;
        if (status & kStatusCorruptFrame) return Result::CorruptFrame;
        return Result::Timeout;
    }));
    if (m_observer) {
        m_observer->Observe({Transaction::Kind::DALIAnswer, 0, nData, AddressKind::Short, 0,
                             std::nullopt, result, result == Result::Done});
    }
    // A reported error ends the transaction without a log line.
    if (result == Result::Error || !log) return result;

    IgnoreErrors([&] {
        std::string line = DateTimeText(m_context.scheduler.WallClock());
        switch (result) {
            case Result::Done: {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(nData));
                line += "   0x";
                line += hex;
                break;
            }
            case Result::Collision:
                line += "   collision";
                break;
            case Result::CorruptFrame:
                line += "   corrupt frame";
                break;
            default:
                line += "   timeout";
                break;
        }
        line += "\r\n";
        log->Write(line);
    });
    return result;
}

Result Link::SendDSICommand(std::uint8_t& nData) {
    const Result result = ResultFromNumber(GuardStatus(m_context, "SendDSICommand", [&] {
        std::int32_t nWord = nData;
        return SendCommand(nWord);
    }));
    if (m_observer) {
        m_observer->Observe({Transaction::Kind::DSICommand, 0, nData, AddressKind::Short, 0, nData,
                             result, m_bLastAcknowledged});
    }
    return result;
}

Result Link::StartRandomAddressing() {
    if (!m_state.objDevCom) return Result::NoDevCom;
    m_quickOut.reset();
    OutputWords out = ReadOutputWords();
    out.words[0] = static_cast<std::uint16_t>(
        (out.words[0] & ~ControlMask(out, kControlBit1 | kControlStartFirmwareAddressing)) |
        ControlMask(out, kControlStartFirmwareAddressing));
    WriteOutputWords(out);

    for (int poll = 0; poll < kFirmwareStartPolls; ++poll) {
        std::uint8_t nStatus = 0;
        ReadStatusByte(nStatus);
        if (nStatus & kStatusFirmwareAddressing) break;
        m_context.scheduler.Sleep(kFirmwareStartPollMs);
    }

    // Whether the run started is seen later in status bit 3; the start bit is withdrawn either way.
    out = ReadOutputWords();
    out.words[0] = static_cast<std::uint16_t>(out.words[0] &
                                              ~ControlMask(out, kControlStartFirmwareAddressing));
    WriteOutputWords(out);
    return Result::Done;
}

// On a line with a second master both may start a frame at once; the terminal reports the
// collision and the frame reached nobody. Sending it again is safe for every command: none of it
// was carried out. The waits grow so that two masters that collided do not meet again in step.
Result Link::SendDALICommandAgainOnCollision(std::int16_t& nCommandId, std::uint8_t& nData,
                                             AddressKind& nAddrType, std::int16_t& nAddr,
                                             LogStream* log, int& nAgain) {
    nAgain = 0;
    // The build may change the data byte: each try starts from what was asked for.
    const std::uint8_t nAskedData = nData;
    Result result = SendDALICommand(nCommandId, nData, nAddrType, nAddr, log);
    std::int64_t waitMs = kCollisionFirstWaitMs;
    while (result == Result::Collision && nAgain < kCollisionRetries) {
        m_context.scheduler.Sleep(waitMs);
        waitMs *= 2;
        ++nAgain;
        nData = nAskedData;
        result = SendDALICommand(nCommandId, nData, nAddrType, nAddr, log);
    }
    return result;
}

}  // namespace zd
