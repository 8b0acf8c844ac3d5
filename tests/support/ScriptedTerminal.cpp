#include "support/ScriptedTerminal.h"

#include <string>

#include "platform/Error.h"

namespace zd::test {

namespace {
std::uint16_t Swap(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | ((value & 0xFF) << 8));
}
}  // namespace

// Status, input, control, output.
Layout PackedLayout(std::int32_t word) {
    return {{{word, 0, kInputTable},
             {word, 8, kInputTable},
             {word, 0, kOutputTable},
             {word, 8, kOutputTable}}};
}

Layout WordAlignedLayout(std::int32_t word, bool bControlHigh) {
    const std::int32_t bit = bControlHigh ? 8 : 0;
    return {{{word, bit, kInputTable},
             {word + 1, 0, kInputTable},
             {word, bit, kOutputTable},
             {word + 1, 0, kOutputTable}}};
}

ScriptedTerminal::ScriptedTerminal(const Scheduler& scheduler, const Layout& layout, bool bMotorola)
    : m_scheduler(scheduler), m_layout(layout), m_bMotorola(bMotorola) {
    RenderInputs();
    m_controlHistory.push_back(ControlByte());
}

void ScriptedTerminal::BeginCall(bool bWrite, std::int32_t nDevice, std::int32_t nTable,
                                 std::int32_t nOffset, std::int32_t nCount) {
    m_calls.push_back({bWrite, nDevice, nTable, nOffset, nCount, {}, m_scheduler.Now()});
    if (static_cast<int>(m_calls.size()) == m_failOnCall)
        throw ControlError("Table access failed", "VmDcCOM", kErrDevCom);
    if (nCount < 1 || nCount > 3 || nOffset < 0)
        throw ControlError(
            "Invalid table range " + std::to_string(nOffset) + "/" + std::to_string(nCount),
            "VmDcCOM", kErrDevCom);
}

void ScriptedTerminal::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                                 std::int32_t nCount, std::uint16_t* pData) {
    BeginCall(false, nDevice, nTable, nOffset, nCount);
    const Words& words = m_tables[{nDevice, nTable}];
    for (std::int32_t i = 0; i < nCount; ++i) {
        auto it = words.find(nOffset + i);
        pData[i] = it == words.end() ? 0 : it->second;
        m_calls.back().words.push_back(pData[i]);
    }
}

void ScriptedTerminal::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                                  std::int32_t nCount, const std::uint16_t* pData) {
    BeginCall(true, nDevice, nTable, nOffset, nCount);
    m_calls.back().words.assign(pData, pData + nCount);
    if (m_bTakeOverNever) return;
    for (std::int32_t i = 0; i < nCount; ++i) m_tables[{nDevice, nTable}][nOffset + i] = pData[i];
    React();
}

// What the terminal does with a newly taken-over output image.
void ScriptedTerminal::React() {
    const std::uint8_t control = ControlByte();
    if (control == m_lastControl) return;
    if ((control ^ m_lastControl) & 0x01) m_commands.push_back(OutputValue());
    if (m_bAcknowledge) m_status = static_cast<std::uint8_t>((m_status & ~0x01) | (control & 0x01));
    if (m_bFirmwareStarts && (control & 0x08)) m_status |= 0x08;
    m_lastControl = control;
    m_controlHistory.push_back(control);
    RenderInputs();
}

void ScriptedTerminal::SetWord(std::int32_t nTable, std::int32_t nOffset, std::uint16_t value) {
    m_tables[{0, nTable}][nOffset] = value;
    m_lastControl = ControlByte();
}

std::uint16_t ScriptedTerminal::Word(std::int32_t nTable, std::int32_t nOffset) const {
    auto table = m_tables.find({0, nTable});
    if (table == m_tables.end()) return 0;
    auto it = table->second.find(nOffset);
    return it == table->second.end() ? 0 : it->second;
}

void ScriptedTerminal::SetByte(std::int32_t nTable, std::int32_t nOffset, bool bHigh,
                               std::uint8_t value) {
    std::uint16_t& word = m_tables[{0, nTable}][nOffset];
    word = bHigh ? static_cast<std::uint16_t>((word & 0x00FF) | (value << 8))
                 : static_cast<std::uint16_t>((word & 0xFF00) | value);
}

void ScriptedTerminal::SetStatus(std::uint8_t status) {
    m_status = status;
    RenderInputs();
}

void ScriptedTerminal::SetInputValue(std::uint16_t value) {
    m_input = value;
    RenderInputs();
}

void ScriptedTerminal::RenderInputs() {
    const ProcessImageEntry& status = m_layout[kStatus];
    SetByte(status.nTableNumber, status.nWordOffset, status.nBitOffset != 0, m_status);
    const ProcessImageEntry& input = m_layout[kInput];
    const std::uint16_t raw = m_bMotorola ? Swap(m_input) : m_input;
    if (input.nBitOffset != 0) {
        SetByte(input.nTableNumber, input.nWordOffset, true, static_cast<std::uint8_t>(raw & 0xFF));
        SetByte(input.nTableNumber, input.nWordOffset + 1, false,
                static_cast<std::uint8_t>(raw >> 8));
    } else {
        m_tables[{0, input.nTableNumber}][input.nWordOffset] = raw;
    }
}

std::uint8_t ScriptedTerminal::ControlByte() const {
    const ProcessImageEntry& control = m_layout[kControl];
    const std::uint16_t word = Word(control.nTableNumber, control.nWordOffset);
    return static_cast<std::uint8_t>(control.nBitOffset != 0 ? word >> 8 : word & 0xFF);
}

std::uint16_t ScriptedTerminal::OutputValue() const {
    const ProcessImageEntry& output = m_layout[kOutput];
    std::uint16_t raw = 0;
    if (output.nBitOffset != 0) {
        raw = static_cast<std::uint16_t>(
            (Word(output.nTableNumber, output.nWordOffset) >> 8) |
            ((Word(output.nTableNumber, output.nWordOffset + 1) & 0xFF) << 8));
    } else {
        raw = Word(output.nTableNumber, output.nWordOffset);
    }
    return m_bMotorola ? Swap(raw) : raw;
}

std::size_t ScriptedTerminal::CountCalls(bool bWrite) const {
    return static_cast<std::size_t>(std::count_if(
        m_calls.begin(), m_calls.end(), [&](const DevComCall& c) { return c.bWrite == bWrite; }));
}

}  // namespace zd::test
