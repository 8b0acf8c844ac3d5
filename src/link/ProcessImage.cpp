#include <algorithm>
#include <cstdio>

#include "link/Link.h"
#include "platform/Error.h"

namespace zd {

namespace {

// The process image is reached through device 0 of the device-communication object.
constexpr std::int32_t kProcessImageDevice = 0;
// The input data value's bits that mean something to the control: the answer byte and bit 8.
constexpr std::uint16_t kMeaningfulInputBits = 0x01FF;

std::string Hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

std::string WordName(const ProcessImageEntry& entry, std::int32_t index) {
    return "word " + std::to_string(entry.nWordOffset + index) + " of table " +
           std::to_string(entry.nTableNumber);
}

}  // namespace

Link::Link(ModuleState& state, const Context& context) : m_state(state), m_context(context) {}

template <class Call>
void Link::CallDevCom(Call&& call) const {
    ForgetAnotherTerminal();
    if (m_untrusted) throw ReportedError(*m_untrusted, kLibraryTitle, kErrDevCom);
    if (m_bProcedure && m_bCommunicationLost)
        throw ReportedError("device communication lost", kLibraryTitle, kErrDevCom);
    const bool bReported = m_bCommunicationLost;
    try {
        call();
    } catch (...) {
        m_bCommunicationLost = true;
        ++m_communicationLosses;
        // The user has been told that the connection is gone; one box per loss is enough.
        if (bReported) throw ReportedError("device communication lost", kLibraryTitle, kErrDevCom);
        throw;
    }
    m_bCommunicationLost = false;
}

void Link::ReadWords(const ProcessImageEntry& entry, std::int32_t nCount,
                     std::uint16_t* pData) const {
    ++m_nDevComCalls;
    CallDevCom([&] {
        m_state.objDevCom->ReadTable(kProcessImageDevice, entry.nTableNumber, entry.nWordOffset,
                                     nCount, pData);
    });
}

void Link::WriteWords(const ProcessImageEntry& entry, std::int32_t nCount,
                      const std::uint16_t* pData) const {
    ++m_nDevComCalls;
    CallDevCom([&] {
        m_state.objDevCom->WriteTable(kProcessImageDevice, entry.nTableNumber, entry.nWordOffset,
                                      nCount, pData);
    });
}

std::uint8_t Link::ReadByteAt(const ProcessImageEntry& entry) const {
    std::uint16_t word = 0;
    ReadWords(entry, 1, &word);
    return static_cast<std::uint8_t>(entry.nBitOffset != 0 ? word >> 8 : word & 0xFF);
}

std::uint16_t Link::ReadInputValue() const {
    const ProcessImageEntry& input = Entry(kInput);
    std::uint16_t value = 0;
    if (input.nBitOffset != 0) {
        // The two input data bytes straddle a word boundary.
        std::array<std::uint16_t, 2> words{};
        ReadWords(input, 2, words.data());
        value = static_cast<std::uint16_t>((words[0] >> 8) | ((words[1] & 0xFF) << 8));
    } else {
        ReadWords(input, 1, &value);
    }
    return m_state.m_bMotorola ? SwapBytes(value) : value;
}

void Link::ReadStatusAndInput(std::uint8_t& status, std::uint16_t& input) const {
    const ProcessImageEntry& statusEntry = Entry(kStatus);
    const ProcessImageEntry& inputEntry = Entry(kInput);
    // The input value spans two words when it starts in a high byte.
    const std::int32_t inputWords = inputEntry.nBitOffset != 0 ? 2 : 1;
    const std::int32_t first = std::min(statusEntry.nWordOffset, inputEntry.nWordOffset);
    const std::int32_t last =
        std::max(statusEntry.nWordOffset, inputEntry.nWordOffset + inputWords - 1);
    if (statusEntry.nTableNumber != inputEntry.nTableNumber || last - first >= 4) {
        status = ReadStatus();
        input = ReadInputValue();
        if (m_state.m_bMotorola) input = SwapBytes(input);
        return;
    }
    std::array<std::uint16_t, 4> words{};
    ProcessImageEntry span = statusEntry;
    span.nWordOffset = first;
    ReadWords(span, last - first + 1, words.data());
    const auto word = [&](std::int32_t offset) {
        return words[static_cast<std::size_t>(offset - first)];
    };
    const std::uint16_t statusWord = word(statusEntry.nWordOffset);
    status = static_cast<std::uint8_t>(statusEntry.nBitOffset != 0 ? statusWord >> 8
                                                                   : statusWord & 0xFF);
    CheckStatus(status);
    if (inputEntry.nBitOffset != 0) {
        input = static_cast<std::uint16_t>((word(inputEntry.nWordOffset) >> 8) |
                                           ((word(inputEntry.nWordOffset + 1) & 0xFF) << 8));
    } else {
        input = word(inputEntry.nWordOffset);
    }
}

Link::OutputWords Link::ReadOutputWords() const {
    OutputWords out;
    const ProcessImageEntry& output = Entry(kOutput);
    if (output.nBitOffset != 0) {
        // Packed: control byte and the data value's low byte share word 1.
        out.entry = output;
        out.bPacked = true;
    } else {
        // Word-aligned: the control byte has word 1 to itself, the data value is word 2.
        out.entry = Entry(kControl);
        out.bControlInHighByte = out.entry.nBitOffset != 0;
    }
    ReadWords(out.entry, 2, out.words.data());
    CheckOutputReadBack(out);
    return out;
}

void Link::WriteOutputWords(const OutputWords& out) const {
    WriteWords(out.entry, 2, out.words.data());
    // A new toggle is a new command: the answer to the last one may go.
    const std::uint16_t toggle = ControlMask(out, kControlToggle);
    if (!m_lastWritten || ((m_lastWritten->words[0] ^ out.words[0]) & toggle)) m_answerSeen.reset();
    m_lastWritten = out;
}

namespace {

// The bytes of the two output words that the control owns, the control byte and the data value
// apart; the others belong to whoever shares the words and are written back as read.
struct OwnBytes {
    std::array<std::uint16_t, 2> control;
    std::array<std::uint16_t, 2> data;
};
OwnBytes OwnBytesOf(bool bPacked, bool bControlInHighByte) {
    if (bPacked) return {{0x00FF, 0x0000}, {0xFF00, 0x00FF}};
    return {{static_cast<std::uint16_t>(bControlInHighByte ? 0xFF00 : 0x00FF), 0x0000},
            {0x0000, 0xFFFF}};
}

bool SameIn(const std::array<std::uint16_t, 2>& a, const std::array<std::uint16_t, 2>& b,
            const std::array<std::uint16_t, 2>& mask) {
    return (a[0] & mask[0]) == (b[0] & mask[0]) && (a[1] & mask[1]) == (b[1] & mask[1]);
}

constexpr const char* kLikelyCauses =
    ": the terminal's position or the station's process-image layout does not match the "
    "terminal, another master writes the same words, or the coupler maps something else there. "
    "Nothing more is sent to the terminal";

}  // namespace

void Link::ForgetAnotherTerminal() const {
    const auto same = [](const ProcessImageEntry& a, const ProcessImageEntry& b) {
        return a.nWordOffset == b.nWordOffset && a.nBitOffset == b.nBitOffset &&
               a.nTableNumber == b.nTableNumber;
    };
    bool changed = m_wordsOf != m_state.objDevCom.get();
    for (std::size_t i = 0; i < m_wordsLayout.size(); ++i)
        changed = changed || !same(m_wordsLayout[i], m_state.ProcessImageLayout[i]);
    if (!changed) return;
    m_wordsOf = m_state.objDevCom.get();
    m_wordsLayout = m_state.ProcessImageLayout;
    m_untrusted.reset();
    m_lastWritten.reset();
    m_lastSeen.reset();
    m_answerSeen.reset();
}

void Link::Distrust(const std::string& what) const {
    m_untrusted = what + kLikelyCauses;
    throw ControlError(*m_untrusted, kLibraryTitle, kErrDevCom);
}

void Link::CheckOutputReadBack(const OutputWords& read) const {
    // The words toggled in what came back would carry every foreign bit to the terminal (a set
    // bit 3 starts its own addressing). Only the control writes these bytes, so each reads back
    // as it wrote it last, or, on a host that has not taken the write over (or never reflects
    // writes), as it read it before; the first read of a link has nothing to compare with.
    const auto accept = [&] { m_lastSeen = read.words; };
    if (!m_lastWritten) return accept();
    const OutputWords& written = *m_lastWritten;
    if (written.entry.nTableNumber != read.entry.nTableNumber ||
        written.entry.nWordOffset != read.entry.nWordOffset || written.bPacked != read.bPacked ||
        written.bControlInHighByte != read.bControlInHighByte)
        return accept();
    const OwnBytes own = OwnBytesOf(read.bPacked, read.bControlInHighByte);
    for (const auto& mask : {own.control, own.data}) {
        if (SameIn(read.words, written.words, mask) ||
            (m_lastSeen && SameIn(read.words, *m_lastSeen, mask)))
            continue;
        const std::size_t i = (read.words[0] & mask[0]) != (written.words[0] & mask[0]) ? 0 : 1;
        Distrust("the terminal's output " + WordName(read.entry, static_cast<std::int32_t>(i)) +
                 " reads back " + Hex(read.words[i], 4) + " where the control wrote " +
                 Hex(written.words[i], 4) + " last");
    }
    accept();
}

std::uint8_t Link::ReadStatus() const {
    return CheckStatus(ReadByteAt(Entry(kStatus)));
}

std::uint8_t Link::CheckStatus(std::uint8_t status) const {
    if (status & ~kStatusDefinedBits) {
        Distrust("the terminal's status byte (" + WordName(Entry(kStatus), 0) + ") reads " +
                 Hex(status, 2) + ", with bits that the terminal never sets");
    }
    return status;
}

void Link::CheckAnswerRead(std::uint16_t input) const {
    // Only after the acknowledge: before it the terminal may not have taken the command yet, and
    // clears the last answer when it does.
    if (!m_bLastAcknowledged) return;
    const std::uint16_t meaningful = input & kMeaningfulInputBits;
    // An answer that goes may be a terminal that clears what was read; another one is not.
    if (!(meaningful & kInputAnswerPresent)) return;
    if (m_answerSeen && *m_answerSeen != meaningful) {
        Distrust("the terminal's answer (" + WordName(Entry(kInput), 0) + ") changed from " +
                 Hex(*m_answerSeen, 4) + " to " + Hex(meaningful, 4) + " without a new command");
    }
    m_answerSeen = meaningful;
}

void Link::PlaceDataValue(OutputWords& out, std::uint16_t value) {
    if (out.bPacked) {
        out.words[0] = static_cast<std::uint16_t>(((value & 0xFF) << 8) | (out.words[0] & 0x00FF));
        out.words[1] = static_cast<std::uint16_t>((value >> 8) | (out.words[1] & 0xFF00));
    } else {
        out.words[1] = value;
    }
}

std::uint16_t Link::ToDataValue(std::int32_t nData) {
    if (nData < 0 || nData > 0xFFFF) throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
    return static_cast<std::uint16_t>(nData);
}

std::uint16_t Link::ControlMask(const OutputWords& out, std::uint8_t bits) {
    return out.bControlInHighByte ? static_cast<std::uint16_t>(bits << 8) : bits;
}

Result Link::ReadStatusByte(std::uint8_t& nStatus) {
    if (!m_state.objDevCom) return Result::NoDevCom;
    return ResultFromNumber(GuardStatus(m_context, "ReadStatusByte", [&] {
        nStatus = ReadByteAt(Entry(kStatus));
        return Result::Done;
    }));
}

Result Link::ReadDataIn(std::int16_t& nData) {
    if (!m_state.objDevCom) return Result::NoDevCom;
    return ResultFromNumber(GuardStatus(m_context, "ReadDataIn", [&] {
        // Only the low byte (the answer or a result code) and bit 8 (an answer is there) carry
        // meaning; the terminal may use the other bits of the second data byte for its own ends.
        // Taking them would make a set bit 15 overflow the 16-bit signed result and lose a good
        // answer; without them the value always fits.
        const std::uint16_t value = ReadInputValue() & kMeaningfulInputBits;
        nData = static_cast<std::int16_t>(value);
        return Result::Done;
    }));
}

Link::OutputWords Link::WriteOutputValue(std::int32_t& nValue) {
    std::uint16_t value = ToDataValue(nValue);
    if (m_state.m_bMotorola) {
        value = SwapBytes(value);
        nValue = value;
    }
    OutputWords out = ReadOutputWords();
    PlaceDataValue(out, value);
    WriteOutputWords(out);
    return out;
}

Result Link::WriteDataOut(std::int32_t& nData) {
    if (!m_state.objDevCom) return Result::NoDevCom;
    m_quickOut.reset();
    WriteOutputValue(nData);
    return Result::Done;
}

}  // namespace zd
