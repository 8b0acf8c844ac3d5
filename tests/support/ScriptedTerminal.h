// A scripted terminal behind the device-communication object, for link and procedure tests: it
// holds the process image as tables of words, takes over writes at once or never, answers the
// command handshake, presents answer bytes, records every call with its time and fails on request.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "link/ModuleState.h"
#include "platform/DevCom.h"
#include "platform/Scheduler.h"

namespace zd::test {

using Layout = std::array<ProcessImageEntry, 4>;

// Table numbers of the test process image: the terminal's inputs and its outputs.
inline constexpr std::int32_t kInputTable = 1;
inline constexpr std::int32_t kOutputTable = 2;

// Status, input, control and output bytes packed into neighbouring words: the control byte shares
// word `word` with the output data's low byte (OUTPUT bit offset 8).
Layout PackedLayout(std::int32_t word = 2);
// The control byte alone in word `word` (in its high byte when bControlHigh), the data in the next
// word (OUTPUT bit offset 0).
Layout WordAlignedLayout(std::int32_t word = 6, bool bControlHigh = false);

struct DevComCall {
    bool bWrite = false;
    std::int32_t nDevice = 0;
    std::int32_t nTable = 0;
    std::int32_t nOffset = 0;
    std::int32_t nCount = 0;
    std::vector<std::uint16_t> words;  // the words written, or the words the read returned
    std::int64_t timeMs = 0;
};

class ScriptedTerminal : public DevCom {
  public:
    ScriptedTerminal(const Scheduler& scheduler, const Layout& layout, bool bMotorola);

    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData) override;
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData) override;

    // Raw words of the process image (device 0) as a read returns them now.
    void SetWord(std::int32_t nTable, std::int32_t nOffset, std::uint16_t value);
    std::uint16_t Word(std::int32_t nTable, std::int32_t nOffset) const;

    // Written words are taken over at once, or (after this) never.
    void SetTakeOverNever() { m_bTakeOverNever = true; }
    // Whether status bit 0 follows control bit 0 (acknowledge) once the control byte is taken over.
    void SetAcknowledge(bool bAcknowledge) { m_bAcknowledge = bAcknowledge; }
    // Whether a control byte with bit 3 set starts the firmware's addressing (status bit 3).
    void SetFirmwareAddressingStarts(bool bStarts) { m_bFirmwareStarts = bStarts; }
    void SetStatusBits(std::uint8_t bits) { SetStatus(static_cast<std::uint8_t>(m_status | bits)); }
    void ClearStatusBits(std::uint8_t bits) {
        SetStatus(static_cast<std::uint8_t>(m_status & ~bits));
    }
    // The input data value as the terminal means it (low byte answer, bit 8 present), placed by
    // the layout and byte order.
    void SetInputValue(std::uint16_t value);
    void PresentAnswer(std::uint8_t answer) {
        SetInputValue(static_cast<std::uint16_t>(0x0100 | answer));
    }
    // Throws a device-communication error on the n-th call (reads and writes counted from 1).
    void FailOnCall(int n) { m_failOnCall = n; }

    std::uint8_t StatusByte() const { return m_status; }
    std::uint8_t ControlByte() const;
    // The output data value as the terminal reads it, after the byte-order swap.
    std::uint16_t OutputValue() const;
    // The output data value at each toggle of control bit 0 that the terminal took over.
    const std::vector<std::uint16_t>& Commands() const { return m_commands; }
    // Every distinct control byte the terminal saw, in order, starting with the initial one.
    const std::vector<std::uint8_t>& ControlHistory() const { return m_controlHistory; }
    const std::vector<DevComCall>& Calls() const { return m_calls; }
    std::size_t CountCalls(bool bWrite) const;

  private:
    using TableKey = std::pair<std::int32_t, std::int32_t>;  // device, table
    using Words = std::map<std::int32_t, std::uint16_t>;

    void BeginCall(bool bWrite, std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount);
    void React();
    void SetStatus(std::uint8_t status);
    void SetByte(std::int32_t nTable, std::int32_t nOffset, bool bHigh, std::uint8_t value);
    void RenderInputs();

    const Scheduler& m_scheduler;
    Layout m_layout;
    bool m_bMotorola;
    std::map<TableKey, Words> m_tables;
    bool m_bTakeOverNever = false;
    bool m_bAcknowledge = true;
    bool m_bFirmwareStarts = false;
    std::uint8_t m_status = 0;
    std::uint16_t m_input = 0;
    std::uint8_t m_lastControl = 0;
    int m_failOnCall = 0;
    std::vector<std::uint16_t> m_commands;
    std::vector<std::uint8_t> m_controlHistory;
    std::vector<DevComCall> m_calls;
};

}  // namespace zd::test
