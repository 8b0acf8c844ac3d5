#include "support/ScriptedTerminal.h"

#include <algorithm>
#include <string>

#include "platform/Error.h"

namespace zd::test {

namespace {
std::uint16_t Swap(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | ((value & 0xFF) << 8));
}
}  // namespace

Layout PackedLayout(std::int32_t word) {
    Layout layout;
    layout[kStatus] = {word, 0, kInputTable};
    layout[kInput] = {word, 8, kInputTable};
    layout[kControl] = {word, 0, kOutputTable};
    layout[kOutput] = {word, 8, kOutputTable};
    return layout;
}

Layout WordAlignedLayout(std::int32_t word, bool bControlHigh) {
    const std::int32_t bit = bControlHigh ? 8 : 0;
    Layout layout;
    layout[kStatus] = {word, bit, kInputTable};
    layout[kInput] = {word + 1, 0, kInputTable};
    layout[kControl] = {word, bit, kOutputTable};
    layout[kOutput] = {word + 1, 0, kOutputTable};
    return layout;
}

ScriptedTerminal::ScriptedTerminal(const Scheduler& scheduler, const Layout& layout, bool bMotorola)
    : m_scheduler(scheduler), m_layout(layout), m_bMotorola(bMotorola) {
    RenderInputs();
    m_controlHistory.push_back(ControlByte());
}

void ScriptedTerminal::BeginCall(bool bWrite, std::int32_t nDevice, std::int32_t nTable,
                                 std::int32_t nOffset, std::int32_t nCount) {
    m_calls.push_back({bWrite, nDevice, nTable, nOffset, nCount, {}, m_scheduler.Now()});
    ++m_callCount;
    if (m_callCount == m_failOnCall)
        throw ControlError("Table access failed", "VmDcCOM", kErrDevCom);
    if (nCount < 1 || nCount > 3 || nOffset < 0)
        throw ControlError(
            "Invalid table range " + std::to_string(nOffset) + "/" + std::to_string(nCount),
            "VmDcCOM", kErrDevCom);
}

void ScriptedTerminal::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                                 std::int32_t nCount, std::uint16_t* pData) {
    BeginCall(false, nDevice, nTable, nOffset, nCount);
    const TableKey key{nDevice, nTable};
    if (m_pending.count(key) && !m_bTakeOverNever) {
        if (m_readsLeft == 0)
            CommitPending();
        else
            --m_readsLeft;
    }
    const Words& words = m_tables[key];
    for (std::int32_t i = 0; i < nCount; ++i) {
        auto it = words.find(nOffset + i);
        pData[i] = it == words.end() ? 0 : it->second;
        m_calls.back().words.push_back(pData[i]);
    }
}

void ScriptedTerminal::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                                  std::int32_t nCount, const std::uint16_t* pData) {
    BeginCall(true, nDevice, nTable, nOffset, nCount);
    Words& pending = m_pending[{nDevice, nTable}];
    for (std::int32_t i = 0; i < nCount; ++i) {
        pending[nOffset + i] = pData[i];
        m_calls.back().words.push_back(pData[i]);
    }
    m_readsLeft = m_takeOverReads;
    if (m_takeOverReads == 0 && !m_bTakeOverNever) CommitPending();
}

void ScriptedTerminal::CommitPending() {
    for (const auto& [key, words] : m_pending)
        for (const auto& [offset, value] : words) m_tables[key][offset] = value;
    m_pending.clear();
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

std::uint16_t ScriptedTerminal::Get(std::int32_t nTable, std::int32_t nOffset) const {
    auto table = m_tables.find({0, nTable});
    if (table == m_tables.end()) return 0;
    auto it = table->second.find(nOffset);
    return it == table->second.end() ? 0 : it->second;
}

std::uint16_t ScriptedTerminal::Word(std::int32_t nTable, std::int32_t nOffset) const {
    return Get(nTable, nOffset);
}

void ScriptedTerminal::SetByte(std::int32_t nTable, std::int32_t nOffset, bool bHigh,
                               std::uint8_t value) {
    std::uint16_t& word = m_tables[{0, nTable}][nOffset];
    word = bHigh ? static_cast<std::uint16_t>((word & 0x00FF) | (value << 8))
                 : static_cast<std::uint16_t>((word & 0xFF00) | value);
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

void ScriptedTerminal::SetTakeOverAfterReads(int n) {
    m_takeOverReads = std::max(n, 0);
    m_bTakeOverNever = false;
}

void ScriptedTerminal::SetTakeOverNever() {
    m_bTakeOverNever = true;
}

void ScriptedTerminal::SetStatusBits(std::uint8_t bits) {
    m_status |= bits;
    RenderInputs();
}

void ScriptedTerminal::ClearStatusBits(std::uint8_t bits) {
    m_status = static_cast<std::uint8_t>(m_status & ~bits);
    RenderInputs();
}

void ScriptedTerminal::SetInputValue(std::uint16_t value) {
    m_input = value;
    RenderInputs();
}

std::uint8_t ScriptedTerminal::StatusByte() const {
    return m_status;
}

std::uint8_t ScriptedTerminal::ControlByte() const {
    const ProcessImageEntry& control = m_layout[kControl];
    const std::uint16_t word = Get(control.nTableNumber, control.nWordOffset);
    return static_cast<std::uint8_t>(control.nBitOffset != 0 ? word >> 8 : word & 0xFF);
}

std::uint16_t ScriptedTerminal::OutputValue() const {
    const ProcessImageEntry& output = m_layout[kOutput];
    std::uint16_t raw = 0;
    if (output.nBitOffset != 0) {
        raw = static_cast<std::uint16_t>(
            (Get(output.nTableNumber, output.nWordOffset) >> 8) |
            ((Get(output.nTableNumber, output.nWordOffset + 1) & 0xFF) << 8));
    } else {
        raw = Get(output.nTableNumber, output.nWordOffset);
    }
    return m_bMotorola ? Swap(raw) : raw;
}

std::size_t ScriptedTerminal::CountCalls(bool bWrite) const {
    return static_cast<std::size_t>(std::count_if(
        m_calls.begin(), m_calls.end(), [&](const DevComCall& c) { return c.bWrite == bWrite; }));
}

}  // namespace zd::test
