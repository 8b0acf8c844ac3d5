#include "engine/SingleAssignment.h"

#include "link/Commands.h"
#include "platform/HostTexts.h"

namespace zd {

SingleAssignmentReport AssignSingleAddress(AddressingLine& line, std::int16_t address, bool log,
                                           const std::string& logPath) {
    SingleAssignmentReport report;
    EngineTerminal& terminal = line.Terminal();
    if (RefusedOutsideDaliMode(terminal, report.outcome)) return report;
    const bool bMask = address == kDaliMask;
    Link& link = terminal.link;
    line.StartLog(log, logPath, "single assignment");
    link.BeginProcedure();
    const std::uint8_t nData = bMask ? kDaliMask : AddressByte(address);
    line.Send(kCmdDataTransferRegister, nData, AddressKind::Broadcast, 0);
    line.Send(kCmdStoreDtrAsShortAddress, 0, AddressKind::Broadcast, 0);
    link.EndProcedure();
    // With the connection lost the line was not readdressed: the device list still holds.
    if (link.CommunicationLost()) {
        line.CloseLog(" end single assignment");
        report.outcome.Fail(
            EngineFailure::CommunicationLost,
            EngineMessage{0,
                          "the connection to the terminal was lost: the line was not readdressed"},
            terminal.context.messages.GetLanguage());
        return report;
    }
    line.EmptyDeviceList();
    if (!bMask) {
        line.Send(kCmdQueryBallast, 0, AddressKind::Short, address);
        std::uint8_t nAnswer = 0;
        const Result nRet = line.Receive(nAnswer, true);
        // Several gear answering together garble the frame: they now share the address.
        if (nRet == Result::Done && nAnswer == 255) {
            line.AddAddressedDevice(address, false);
            report.answered = true;
        } else if (nRet == Result::CorruptFrame) {
            line.AddAddressedDevice(address, true);
            report.answered = report.conflict = true;
        }
    }
    line.CloseLog(" end single assignment");
    return report;
}

}  // namespace zd
