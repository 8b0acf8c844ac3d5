// What a DALI forward frame on the line says, in the command catalogue's numbers and texts: the
// inverse of BuildDALICommandWord, for reading back the frames a line carried (the command line's
// frame log, and the tests that compare such logs).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/Commands.h"

namespace zd {

struct DecodedFrame {
    // The catalogue's number: -1 direct arc power, 0 to 255 the command byte of an indirect command
    // or query, 256 to 272 a special command. Nothing for a frame the catalogue has no number for
    // (a reserved address byte, a special command the control never sends).
    std::optional<std::int16_t> nCommandId;
    // Whom an addressed frame (number below 256) is for; special commands reach every gear.
    AddressKind nAddrType = AddressKind::Broadcast;
    std::int16_t nAddr = 0;
    // The second byte: the level of direct arc power, the data of a special command.
    std::uint8_t nData = 0;
};

DecodedFrame DecodeForwardFrame(std::uint16_t frame);

// One line for a person: "A5 query actual level", "Bcast direct arc power 254", "G3 go to scene 4",
// "* data transfer register (DTR) 200", "* program short address 5", "* search addr H 0x5F",
// "A5 command 0x0A (not in the catalogue)", "reserved address byte 0xE3, data 0x12".
std::string ForwardFrameText(std::uint16_t frame);

}  // namespace zd
