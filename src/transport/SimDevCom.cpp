#include "transport/SimDevCom.h"

#include "platform/Error.h"
#include "sim/LineFile.h"

namespace zd {

SimDevCom::SimDevCom(std::shared_ptr<sim::Terminal> terminal) : m_terminal(std::move(terminal)) {}

std::shared_ptr<SimDevCom> SimDevCom::FromLineFile(Scheduler& scheduler, const std::string& path) {
    return std::make_shared<SimDevCom>(sim::MakeTerminal(scheduler, sim::LoadLineFile(path)));
}

void SimDevCom::CountCall() {
    ++m_calls;
    if (m_faults.m_beforeCall) m_faults.m_beforeCall(m_calls);
    if (m_faults.m_connectionLost) {
        throw ControlError("device communication failed (connection lost before call " +
                               std::to_string(m_calls) + ")",
                           kLibraryTitle, kErrDevCom);
    }
    if (m_faults.m_failOnCall > 0 && --m_faults.m_failOnCall == 0) {
        m_faults.m_connectionLost = m_faults.m_staysFailed;
        throw ControlError(
            "device communication failed (simulated fault on call " + std::to_string(m_calls) + ")",
            kLibraryTitle, kErrDevCom);
    }
}

void SimDevCom::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                          std::int32_t nCount, std::uint16_t* pData) {
    CountCall();
    m_terminal->ReadTable(nDevice, nTable, nOffset, nCount, pData);
}

void SimDevCom::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                           std::int32_t nCount, const std::uint16_t* pData) {
    CountCall();
    if (nTable == m_faults.m_failWritesToTable) {
        throw ControlError("device communication failed (simulated fault on writes to table " +
                               std::to_string(nTable) + ")",
                           kLibraryTitle, kErrDevCom);
    }
    m_terminal->WriteTable(nDevice, nTable, nOffset, nCount, pData);
}

}  // namespace zd
