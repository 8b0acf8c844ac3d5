#include <algorithm>

#include "link/Link.h"
#include "platform/Error.h"

namespace zd {

namespace {

// The process image is reached through device 0 of the device-communication object.
constexpr std::int32_t kProcessImageDevice = 0;
// The input data value's bits that mean something to the control: the answer byte and bit 8.
constexpr std::uint16_t kMeaningfulInputBits = 0x01FF;

}  // namespace

Link::Link(ModuleState& state, const Context& context) : m_state(state), m_context(context) {}

template <class Call>
void Link::CallDevCom(Call&& call) const {
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
        status = ReadByteAt(statusEntry);
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
    return out;
}

void Link::WriteOutputWords(const OutputWords& out) const {
    WriteWords(out.entry, 2, out.words.data());
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
