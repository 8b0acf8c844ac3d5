#include "host/PageRequests.h"

#include "frame/configZD4270.h"

namespace zd {

Result SendDALICommandAsPage(configZD4270& control, std::int16_t commandId, std::uint8_t data,
                             AddressKind addrType, std::int16_t addr) {
    std::int16_t sent = -1;
    std::int16_t addrTypeNumber = AddressKindNumber(addrType);
    EventParams request;
    request.Bind("nCommandId", commandId).Bind("nData", data).Bind("nAddrType", addrTypeNumber);
    request.Bind("nAddr", addr).Bind("nRet", sent);
    control.HandleObjectEvents("SendDALICommand", request);
    return ResultFromNumber(sent);
}

Result ReceiveDALIDataAsPage(configZD4270& control, std::uint8_t& answer) {
    std::int16_t received = -1;
    EventParams reply;
    reply.Bind("nData", answer).Bind("nRet", received);
    control.HandleObjectEvents("ReceiveDALIData", reply);
    return ResultFromNumber(received);
}

}  // namespace zd
