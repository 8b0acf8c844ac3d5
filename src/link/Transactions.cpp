#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>

#include "link/Commands.h"
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

}  // namespace

std::int16_t Link::SendCommand(std::int32_t& nWord) {
    m_bLastAcknowledged = false;
    if (!m_state.objDevCom) return kResultNoDevCom;
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
    const bool quick = m_pacing == Pacing::Quick;
    if (!quick) m_context.scheduler.Sleep(kCommandSettleMs);

    // Paced: two polls 20 ms apart; quick: a poll every millisecond for as long.
    const std::int64_t pauseMs = quick ? kQuickPollMs : kAcknowledgePollMs;
    const std::int64_t giveUpMs =
        quick ? kQuickAcknowledgeMs : (kAcknowledgePolls - 1) * kAcknowledgePollMs;
    for (std::int64_t waitedMs = 0;; waitedMs += pauseMs) {
        const std::uint8_t control = ReadByteAt(Entry(kControl));
        const std::uint8_t status = ReadByteAt(Entry(kStatus));
        m_bLastAcknowledged = ((status & kStatusAcknowledge) != 0) == toggle;
        if (status & kStatusCollision) return kResultCollision;
        if (status & kStatusCorruptFrame) return kResultCorruptFrame;
        if ((control & kControlToggle) == (status & kStatusAcknowledge)) return kResultDone;
        // A command the terminal does not acknowledge in time still counts as sent.
        if (waitedMs >= giveUpMs) return kResultDone;
        m_context.scheduler.Sleep(pauseMs);
    }
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

std::int16_t Link::SendDALICommand(std::int16_t& nCommandId, std::uint8_t& nData,
                                   std::int16_t& nAddrType, std::int16_t& nAddr, LogStream* log) {
    std::optional<std::uint16_t> sentWord;
    const std::int16_t result = GuardStatus(m_context, "SendDALICommand", [&]() -> std::int16_t {
        // Logged before any check, so that the log also shows the commands that were refused.
        if (log) {
            IgnoreErrors([&] {
                log->Write(CreateDALICommandString(m_context, nCommandId, nData, nAddrType, nAddr));
            });
        }
        if (const std::int16_t check = CheckDALIAddress(nAddrType, nAddr); check != kResultDone)
            return check;
        const auto word = BuildDALICommandWord(nCommandId, nData, nAddrType, nAddr);
        if (!word) return kResultBadAddress;
        sentWord = word;
        m_nextFrames = FramesOnTheLine(nCommandId);
        std::int32_t nWord = *word;
        return SendCommand(nWord);
    });
    if (m_observer) {
        m_observer->Observe({Transaction::Kind::DALICommand, nCommandId, nData, nAddrType, nAddr,
                             sentWord, result, sentWord && m_bLastAcknowledged});
    }
    return result;
}

std::int16_t Link::ReceiveDALIData(std::uint8_t& nData, LogStream* log) {
    if (!m_state.objDevCom) return kResultNoDevCom;
    const std::int16_t result = GuardStatus(m_context, "ReceiveDALIData", [&]() -> std::int16_t {
        const bool quick = m_pacing == Pacing::Quick;
        const std::int64_t quickUntilMs = m_answerCompleteMs;
        for (int poll = 0;; ++poll) {
            const std::uint16_t value = ReadInputValue();
            if (value & kInputAnswerPresent) {
                // The backward frame is over: the line is free from now.
                m_lineFreeMs = std::max(m_lineFreeMs, m_context.scheduler.Now());
                nData = static_cast<std::uint8_t>(value & 0xFF);
                return kResultDone;
            }
            if (quick) {
                if (m_context.scheduler.Now() >= quickUntilMs) break;
                m_context.scheduler.Sleep(kQuickPollMs);
            } else {
                m_context.scheduler.Sleep(kAnswerPollMs);
                if (poll + 1 >= kAnswerPolls) break;
            }
        }
        nData = 0;
        m_lineFreeMs = std::max(m_lineFreeMs, m_context.scheduler.Now());
        const std::uint8_t status = ReadByteAt(Entry(kStatus));
        if (status & kStatusCollision) return kResultCollision;
        if (status & kStatusCorruptFrame) return kResultCorruptFrame;
        return kResultTimeout;
    });
    if (m_observer) {
        m_observer->Observe({Transaction::Kind::DALIAnswer, 0, nData, 0, 0, std::nullopt, result,
                             result == kResultDone});
    }
    // A reported error ends the transaction without a log line.
    if (result == kResultError || !log) return result;

    IgnoreErrors([&] {
        std::string line = DateTimeText(m_context.scheduler.WallClock());
        switch (result) {
            case kResultDone: {
                char hex[8];
                std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(nData));
                line += "   0x";
                line += hex;
                break;
            }
            case kResultCollision:
                line += "   collision";
                break;
            case kResultCorruptFrame:
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

std::int16_t Link::SendDSICommand(std::uint8_t& nData) {
    const std::int16_t result = GuardStatus(m_context, "SendDSICommand", [&] {
        std::int32_t nWord = nData;
        return SendCommand(nWord);
    });
    if (m_observer) {
        m_observer->Observe(
            {Transaction::Kind::DSICommand, 0, nData, 0, 0, nData, result, m_bLastAcknowledged});
    }
    return result;
}

std::int16_t Link::StartRandomAddressing() {
    if (!m_state.objDevCom) return kResultNoDevCom;
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
    return kResultDone;
}

}  // namespace zd
