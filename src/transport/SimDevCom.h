// The in-process device-communication object over a simulated terminal: what the window and the
// command line use when no real terminal is named, and what the tests drive. No Qt needed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/DevCom.h"
#include "platform/Scheduler.h"
#include "sim/Terminal.h"

namespace zd {

// Misbehaviour on request.
struct DevComFaults {
    // The n-th call from now (1 = the next one) throws ControlError; 0 = none. Counts down per
    // call.
    int m_failOnCall = 0;
    // The failing call breaks the connection for good: every later call fails as well, as on a
    // wire whose peer has gone, until the test clears m_connectionLost.
    bool m_staysFailed = false;
    bool m_connectionLost = false;
    // Every write to this table throws ControlError while it is set; -1 = none.
    std::int32_t m_failWritesToTable = -1;
    // Called with the call's number before each call: a test's way to act at a point of a run.
    std::function<void(std::int64_t)> m_beforeCall;
};

class SimDevCom : public DevCom {
  public:
    explicit SimDevCom(std::shared_ptr<sim::Terminal> terminal);

    // A terminal and its line from a line description file. Throws sim::LineFileError.
    static std::shared_ptr<SimDevCom> FromLineFile(Scheduler& scheduler, const std::string& path);

    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData) override;
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData) override;

    sim::Terminal& Terminal() { return *m_terminal; }
    const std::shared_ptr<sim::Terminal>& SharedTerminal() const { return m_terminal; }
    // The fieldbus cycle: a written output word reaches the terminal, and reads back, after this.
    void SetTakeOverDelay(std::int64_t ms) { m_terminal->SetTakeOverDelay(ms); }
    std::int64_t Calls() const { return m_calls; }
    DevComFaults& Faults() { return m_faults; }

  private:
    void CountCall();

    std::shared_ptr<sim::Terminal> m_terminal;
    std::int64_t m_calls = 0;
    DevComFaults m_faults;
};

}  // namespace zd
