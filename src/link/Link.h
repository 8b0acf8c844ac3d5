// The terminal link: reads and writes the terminal's control, status and data bytes where the
// process-image layout puts them, and runs the command handshake of DALI and DSI transactions.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "link/Commands.h"
#include "link/ModuleState.h"
#include "link/Results.h"
#include "platform/Context.h"
#include "platform/LogFile.h"

namespace zd {

// Status byte bits reported by the terminal. Acknowledge equals control bit 0 once the terminal
// has taken a command.
inline constexpr std::uint8_t kStatusAcknowledge = 0x01;
inline constexpr std::uint8_t kStatusCollision = 0x02;
inline constexpr std::uint8_t kStatusCorruptFrame = 0x04;
inline constexpr std::uint8_t kStatusFirmwareAddressing = 0x08;
// The bits above are all the terminal ever sets; a status byte with any other bit is not its own.
inline constexpr std::uint8_t kStatusDefinedBits = 0x0F;

// Control byte bits written by the control.
inline constexpr std::uint8_t kControlToggle = 0x01;
inline constexpr std::uint8_t kControlBit1 = 0x02;
inline constexpr std::uint8_t kControlStartFirmwareAddressing = 0x08;

// Bit 8 of the input data value: the low byte holds an answer from the line.
inline constexpr std::uint16_t kInputAnswerPresent = 0x0100;

// Waits of the handshake, in milliseconds and poll counts.
inline constexpr int kTakeOverReads = 50;
inline constexpr std::int64_t kTakeOverPollMs = 100;
inline constexpr std::int64_t kTakeOverGraceMs = 200;
inline constexpr std::int64_t kCommandSettleMs = 50;
inline constexpr int kAcknowledgePolls = 2;
inline constexpr std::int64_t kAcknowledgePollMs = 20;
inline constexpr int kAnswerPolls = 2;
inline constexpr std::int64_t kAnswerPollMs = 20;
// Quick pacing waits for each command's acknowledge before the next goes out (a terminal never
// holds more of our commands than it has confirmed) and learns when that acknowledge comes, so
// that it reads the status once, about when the acknowledge is due, instead of polling. The
// line estimate behind it: each frame takes the line for the settling time after the frame
// before (9.17 ms) and the forward frame (15.83 ms); a configuration command, INITIALISE and
// RANDOMISE go out twice; an answer is complete at the latest the longest answer delay (9.17 ms)
// and the backward frame (9.17 ms) after its forward frame, and the line is quiet for the
// settling time after it.
inline constexpr std::int64_t kQuickFrameMs = 25;
inline constexpr std::int64_t kQuickAnswerWindowMs = 19;
inline constexpr std::int64_t kQuickSettleMs = 10;
// After a read that came too early, the next one follows this soon; after a few more, the gaps
// grow up to the longest, so that a slow terminal is not flooded with reads.
inline constexpr std::int64_t kQuickRepollMs = 2;
inline constexpr int kQuickShortRepolls = 3;
inline constexpr std::int64_t kQuickLongestRepollMs = 25;
// A query that a gear answers keeps the line longer than one nobody answers: the answer delay and
// the backward frame instead of the answer window (5 ms with our gear).
inline constexpr std::int64_t kQuickAnswerExtraMs = 5;
// Once the acknowledge has been there at the first read this many times in a row, the next first
// read comes a millisecond earlier: the learned time follows a terminal that got faster.
inline constexpr int kQuickEarlierAfter = 4;
// An acknowledge that has not come this long after it was due ends the quick waits: the terminal
// does not behave as they assume, and the procedure goes on with the paced handshake.
inline constexpr std::int64_t kQuickAcknowledgeLimitMs = 1000;
// Answers are taken as complete with their acknowledge once this many have come with it and none
// after it.
inline constexpr int kQuickAnswersWithAcknowledge = 2;
// A command that met another master on the line goes out again after a wait that starts here and
// doubles each time, at most this often.
inline constexpr std::int64_t kCollisionFirstWaitMs = 20;
inline constexpr int kCollisionRetries = 5;
inline constexpr int kFirmwareStartPolls = 10;
inline constexpr std::int64_t kFirmwareStartPollMs = 100;

// Exchanges the two bytes of a 16-bit data value (Motorola order on the wire).
constexpr std::uint16_t SwapBytes(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | ((value & 0xFF) << 8));
}

// One transaction as the link made it, for a watcher of the bus: a DALI command (with its word
// when one was built), the answer read after it, or a DSI byte.
struct Transaction {
    enum class Kind : std::uint8_t { DALICommand, DALIAnswer, DSICommand };
    Kind kind = Kind::DALICommand;
    std::int16_t nCommandId = 0;
    std::uint8_t nData = 0;
    AddressKind nAddrType = AddressKind::Short;
    std::int16_t nAddr = 0;
    std::optional<std::uint16_t> word;
    Result result = Result::Done;
    bool acknowledged = false;
};

class TransactionObserver {
  public:
    virtual ~TransactionObserver() = default;
    // Called on the control's thread as each transaction ends; it must not call into the link.
    virtual void Observe(const Transaction& transaction) = 0;
};

class Link {
  public:
    Link(ModuleState& state, const Context& context);

    // The status byte. 0, 1 after a reported error, 2 without a device-communication object.
    Result ReadStatusByte(std::uint8_t& nStatus);
    // The input data value after the byte-order swap; a value above 32767 is reported as an
    // overflow.
    Result ReadDataIn(std::int16_t& nData);
    // Writes the output data value (0 to 65535) without touching the control byte. nData is
    // swapped in place in Motorola order. No handler of its own: errors reach the caller.
    Result WriteDataOut(std::int32_t& nData);

    // The handshake of one command word: 0, 2, 256 (collision) or 257 (corrupt frame). nWord is
    // swapped in place in Motorola order. No handler of its own: errors reach the caller.
    Result SendCommand(std::int32_t& nWord);
    // Logs, checks the address, builds the word and sends it. nData may be changed by the build.
    Result SendDALICommand(std::int16_t& nCommandId, std::uint8_t& nData, AddressKind& nAddrType,
                           std::int16_t& nAddr, LogStream* log);
    // SendDALICommand, and when the frame met another master on the line (256), the same command
    // again after a short wait that grows, at most kCollisionRetries times: the collided frame
    // reached no gear. nAgain: how often it went out again. A query whose frame went out and
    // whose answer collided is not sent again here; the caller reads that answer.
    Result SendDALICommandAgainOnCollision(std::int16_t& nCommandId, std::uint8_t& nData,
                                           AddressKind& nAddrType, std::int16_t& nAddr,
                                           LogStream* log, int& nAgain);
    // A forward frame the catalogue does not build, as it goes on the line: ENABLE DEVICE TYPE,
    // the further data transfer registers and the device-type commands. One frame (the terminal
    // repeats none of them); bQuery when an answer may follow. The watcher sees it with the
    // catalogue's number where the frame has one (the command byte of an addressed frame).
    Result SendDALIWord(std::uint16_t word, bool bQuery);
    // Waits briefly for an answer byte: 0, or 258 timeout / 257 corrupt frame / 256 collision.
    Result ReceiveDALIData(std::uint8_t& nData, LogStream* log);
    // A DSI command: the data byte alone as the command word.
    Result SendDSICommand(std::uint8_t& nData);
    // Pulses control bit 3 to start random addressing in the terminal firmware: sets it, waits up
    // to a second for status bit 3, clears it. No handler of its own: errors reach the caller.
    Result StartRandomAddressing();

    // Whether the terminal acknowledged the last command that SendCommand put out. One that it did
    // not acknowledge within the polls still counts as sent, and an answer to it may be lost.
    bool LastCommandAcknowledged() const { return m_bLastAcknowledged; }

    ModuleState& State() { return m_state; }

    // How the handshake waits. Paced: the fixed settle time and polls every transaction has
    // always had, which a slow host or terminal is known to tolerate. Quick: the same checks at
    // the times the terminal has shown so far, each command acknowledged before the next; for
    // procedures that ask the user for it (the fast search). Set per procedure step.
    enum class Pacing { Paced, Quick };
    void SetPacing(Pacing pacing) { m_pacing = pacing; }
    Pacing CurrentPacing() const { return m_pacing; }
    // Why the quick waits cannot be trusted with this terminal (an acknowledge that did not come,
    // an answer after its acknowledge), or none. Set by the quick handshake; a procedure that
    // sees it goes on paced. Cleared, with what was learned, by ResetQuickTiming.
    const std::optional<std::string>& QuickTimingDistrust() const { return m_quickDistrust; }
    void ResetQuickTiming();
    // What the quick handshake has learned: when an acknowledge follows a command of each kind
    // (0 one frame, 1 a query nobody answers, 2 a frame sent twice, 3 an answered query),
    // counted from when the line is free for it.
    std::int64_t LearnedAcknowledgeMs(int kind) const {
        return kind == 3 ? m_quick.answered.ms : m_quick.ack[static_cast<std::size_t>(kind)].ms;
    }
    // Reads and writes of the device-communication object so far: each is one request on a
    // fieldbus coupler.
    std::int64_t DevComCalls() const { return m_nDevComCalls; }

    // The watcher of every transaction, or none (the default: the path then costs one test).
    void SetObserver(TransactionObserver* observer) { m_observer = observer; }
    TransactionObserver* Observer() const { return m_observer; }

    // A long procedure (scan, addressing run, archive transfer) talks to the terminal hundreds of
    // times. When the device communication itself fails, the connection is gone rather than a
    // ballast silent, and every further transaction would fail and show its own box. So while a
    // procedure runs, the first such failure is reported as usual and every later transaction
    // fails at once (result 1, no box, no traffic); the procedure sees CommunicationLost() and
    // ends on what it has found. Outside a procedure each transaction tries the wire again, and
    // only the first failure of a loss shows a box; the next successful call ends the loss.
    void BeginProcedure() {
        m_bProcedure = true;
        m_bCommunicationLost = false;
    }
    void EndProcedure() { m_bProcedure = false; }
    bool InProcedure() const { return m_bProcedure; }
    // True from a failure of the device communication until its next successful call (or the next
    // procedure's start).
    bool CommunicationLost() const { return m_bCommunicationLost || m_untrusted.has_value(); }
    // Why the terminal's words cannot be its own (an output word that does not read back as the
    // control wrote it, a status byte with bits the terminal never sets, an answer that changed
    // without a new command), or none. Once set, nothing is read or written any more: every
    // transaction fails at once without traffic, so that no bit the control did not mean to set
    // reaches the terminal. Kept until the link is given another device-communication object or
    // layout (a refresh).
    const std::optional<std::string>& UntrustedWords() const { return m_untrusted; }
    // For callers that use the device-communication object directly (the watchdog).
    void NoteCommunicationLost() {
        m_bCommunicationLost = true;
        ++m_communicationLosses;
    }
    // Failures of the device communication since the link was made, however they ended.
    std::int64_t CommunicationFailures() const { return m_communicationLosses; }
    void NoteCommunicationRestored() { m_bCommunicationLost = false; }

  private:
    // The two output words that carry the control byte and the data value, as read or to be
    // written, with where the two lie in them.
    struct OutputWords {
        ProcessImageEntry entry;
        std::array<std::uint16_t, 2> words{};
        bool bPacked = false;             // data value spans the high byte of word 1 and word 2
        bool bControlInHighByte = false;  // control byte is the high byte of word 1
    };

    void ReadWords(const ProcessImageEntry& entry, std::int32_t nCount, std::uint16_t* pData) const;
    void WriteWords(const ProcessImageEntry& entry, std::int32_t nCount,
                    const std::uint16_t* pData) const;
    // One word at the entry, and its byte at the entry's bit offset.
    std::uint8_t ReadByteAt(const ProcessImageEntry& entry) const;
    // The input data value after the byte-order swap, without the 16-bit signed limit.
    std::uint16_t ReadInputValue() const;
    OutputWords ReadOutputWords() const;
    void WriteOutputWords(const OutputWords& out) const;
    // A data value or command word as the 16 bits it occupies; anything else is an overflow.
    static std::uint16_t ToDataValue(std::int32_t nData);
    static void PlaceDataValue(OutputWords& out, std::uint16_t value);
    // Swaps nValue in place under Motorola order, then writes it into the output data bytes with
    // the control byte as it was; returns the words written.
    OutputWords WriteOutputValue(std::int32_t& nValue);
    static std::uint16_t ControlMask(const OutputWords& out, std::uint8_t bits);
    // Waits until the written words read back, at most kTakeOverReads reads.
    void AwaitTakeOver(const OutputWords& out) const;
    // The status byte, refused (Distrust) when it has a bit that the terminal never sets.
    std::uint8_t ReadStatus() const;
    std::uint8_t CheckStatus(std::uint8_t status) const;
    // Refuses an output read-back whose control byte or data value is neither what the control
    // wrote last nor what it read back before.
    void CheckOutputReadBack(const OutputWords& read) const;
    // An input value read after the terminal acknowledged the current command: once an answer is
    // there, no other answer comes before the next command.
    void CheckAnswerRead(std::uint16_t input) const;
    // What was written to and seen of one terminal says nothing of another: a new
    // device-communication object or layout starts afresh.
    void ForgetAnotherTerminal() const;
    // Records why, and throws it as a run-time error of the transaction.
    [[noreturn]] void Distrust(const std::string& what) const;
    const ProcessImageEntry& Entry(ProcessImageIndex index) const {
        return m_state.ProcessImageLayout[index];
    }

    // Runs one call of the device-communication object under the latch described above.
    template <class Call>
    void CallDevCom(Call&& call) const;
    // The status byte and the input data value (after the byte-order swap), in one read where
    // the layout puts them in one table close together.
    void ReadStatusAndInput(std::uint8_t& status, std::uint16_t& input) const;
    // The quick handshake of SendCommand.
    Result SendCommandQuick(std::int32_t& nWord);
    Result ReceiveQuick(std::uint8_t& nData);

    ModuleState& m_state;
    Context m_context;
    bool m_bProcedure = false;
    mutable bool m_bCommunicationLost = false;
    mutable std::int64_t m_communicationLosses = 0;
    bool m_bLastAcknowledged = false;
    Pacing m_pacing = Pacing::Paced;
    // Scheduler times, for the quick waits: when the line is free of the frames sent so far, and
    // when an answer to the last command would be complete.
    std::int64_t m_lineFreeMs = 0;
    std::int64_t m_answerCompleteMs = 0;
    // The frames the command SendCommand puts out next takes on the line, and its kind for the
    // learned times: 0 one frame, 1 a query, 2 a frame sent twice.
    int m_nextFrames = 1;
    int m_nextKind = 0;
    // When an acknowledge comes, counted from when the line is free for the command; below the
    // line estimate for a terminal that acknowledges as it takes a command. The first read of
    // the status comes then; streak counts the times in a row it found the acknowledge there.
    struct LearnedTime {
        std::int64_t ms = 0;
        int streak = 0;
        // Found after the planned read in a row: one alone may be a command that met a busy
        // line, two say that the terminal takes longer.
        int lates = 0;
    };
    struct QuickTiming {
        // One frame, a query nobody answers, a frame sent twice.
        std::array<LearnedTime, 3> ack{LearnedTime{kQuickFrameMs}, LearnedTime{kQuickFrameMs},
                                       LearnedTime{2 * kQuickFrameMs}};
        // A query that is answered.
        LearnedTime answered{kQuickFrameMs + kQuickAnswerExtraMs};
        int answersWithAcknowledge = 0;
    };
    QuickTiming m_quick;
    std::optional<std::string> m_quickDistrust;
    // The output words as the quick handshake last wrote them: the control is their only writer.
    std::optional<OutputWords> m_quickOut;
    // What the read that showed the last acknowledge saw, for the answer that follows.
    bool m_quickSeen = false;
    std::uint8_t m_quickStatus = 0;
    std::uint16_t m_quickInput = 0;
    mutable std::int64_t m_nDevComCalls = 0;
    mutable std::optional<std::string> m_untrusted;
    // The output words as the control wrote them last and as they were last read back, and the
    // answer seen since the command that the terminal acknowledged last (bit 8 and the answer
    // byte).
    mutable std::optional<OutputWords> m_lastWritten;
    mutable std::optional<std::array<std::uint16_t, 2>> m_lastSeen;
    mutable std::optional<std::uint16_t> m_answerSeen;
    mutable const DevCom* m_wordsOf = nullptr;
    mutable std::array<ProcessImageEntry, 4> m_wordsLayout{};
    TransactionObserver* m_observer = nullptr;
};

}  // namespace zd
