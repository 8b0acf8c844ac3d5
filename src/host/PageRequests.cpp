#include "host/PageRequests.h"

#include "frame/configZD4270.h"

namespace zd {

Result SendDALICommandAsPage(configZD4270& control, std::int16_t commandId, std::uint8_t data,
                             AddressKind addrType, std::int16_t addr) {
    // Copies: the link may change the data byte as it builds the frame.
    std::int16_t nCommandId = commandId;
    std::uint8_t nData = data;
    AddressKind nAddrType = addrType;
    std::int16_t nAddr = addr;
    return control.TerminalLink().SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
}

Result ReceiveDALIDataAsPage(configZD4270& control, std::uint8_t& answer) {
    return control.TerminalLink().ReceiveDALIData(answer, nullptr);
}

}  // namespace zd
