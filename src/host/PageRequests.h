// The two transactions a device page asks the control for, asked by a host straight on the
// control's link: the same transaction and result code as a page gets, without a page event. The
// command line's send and query and the window's device menu ask the line this way.
#pragma once

#include <cstdint>

#include "link/Commands.h"

namespace zd {

class configZD4270;

// SendDALICommand: the transaction's result code.
Result SendDALICommandAsPage(configZD4270& control, std::int16_t commandId, std::uint8_t data,
                             AddressKind addrType, std::int16_t addr);
// ReceiveDALIData: the result code of the answer to the last command; answer receives its byte.
Result ReceiveDALIDataAsPage(configZD4270& control, std::uint8_t& answer);

}  // namespace zd
