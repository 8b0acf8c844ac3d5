// One Modbus TCP or Modbus RTU request in, its answer out: the frame checks, the exception codes
// and the register mapping of ModbusDevCom.h over a device-communication object, without any
// socket, so that the simulator's server, its tests and a fuzzer all drive the very same code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/DevCom.h"
#include "transport/ModbusDevCom.h"

namespace zd {

// The MBAP header: transaction id, protocol id (0), length of what follows, unit id.
inline constexpr std::size_t kMbapHeaderBytes = 7;
// The length field counts the unit id and the PDU. The standard caps the PDU at 253 bytes; a
// longer frame is still read whole while a write's one-byte count can describe it (1 unit id +
// 6 bytes of function 16 + 255 data bytes), so that a write of one register too many is answered
// with "illegal data value" instead of a dropped connection.
inline constexpr std::size_t kMbapMaxLength = 262;
inline constexpr std::size_t kModbusMaxFrameBytes = 6 + kMbapMaxLength;

// An RTU frame: unit, PDU (at least the function code), CRC; at most 256 bytes.
inline constexpr std::size_t kRtuMinFrameBytes = 4;
inline constexpr std::size_t kRtuMaxFrameBytes = 256;
// The unit every server on a serial line carries out and none answers.
inline constexpr std::uint8_t kModbusBroadcastUnit = 0;

// The CRC-16 of an RTU frame (polynomial 0xA001 reflected, start 0xFFFF); sent low byte first.
std::uint16_t ModbusCrc(std::span<const std::uint8_t> bytes);

// The standard exception codes the server answers with.
enum class ModbusException : std::uint8_t {
    IllegalFunction = 0x01,
    IllegalDataAddress = 0x02,
    IllegalDataValue = 0x03,
    ServerFailure = 0x04,
    GatewayTargetFailed = 0x0B,
};

// The length of the frame at the start of a client's byte stream: 0 while the header or the frame
// is incomplete, -1 when the stream cannot be Modbus TCP (protocol id not 0, a length field below
// 2 or above kMbapMaxLength); the connection is then closed, since no later frame can be found.
std::ptrdiff_t ModbusFrameLength(std::span<const std::uint8_t> stream);

struct ModbusReply {
    // The response ADU; empty when the connection is to be closed.
    std::vector<std::uint8_t> bytes;
    bool close = false;
    // Why the request was refused or the connection closed (or, on a serial line, not answered),
    // for the server's log; empty when the request was served or was for another unit.
    std::string refusal;
};

// The one unit it is made for, 1 unless told otherwise (another unit: exception 0x0B); units 0 and
// 255 as well unless that unit was chosen on purpose (unitOnly), since a client that reaches a
// server directly by its address often sends one of those. Function 3
// reads holding registers, function 16 writes them; any other function is 01, a count beyond the
// protocol's limits (125 for a read, 123 for a write) or a length that does not fit 03, an address
// outside the mapping (which covers calls of up to 123 words within one table) or one the served
// object refuses (ControlError) 02, another failure of the served object 04. The served object is
// called only for a request that passed every check.
class ModbusRequestHandler {
  public:
    explicit ModbusRequestHandler(DevCom& devCom, int unit = kModbusDefaultUnit,
                                  bool unitOnly = false)
        : m_devCom(devCom), m_unit(unit), m_unitOnly(unitOnly) {}
    int Unit() const { return m_unit; }

    // adu: exactly one frame (header included), as ModbusFrameLength delimits it. A frame whose
    // header is not Modbus TCP, or whose length field does not match its size, gets close.
    ModbusReply Handle(std::span<const std::uint8_t> adu);
    // frame: one RTU frame (unit, PDU, CRC). Bytes holds the answer with its CRC, the same PDU as
    // over TCP; none for a frame of another unit (on a serial line only the unit addressed
    // answers, so there is no exception 0B and units 0 and 255 are not this one), for a broadcast
    // (unit 0: a write is carried out, nothing answered) and for a frame too short, too long or
    // with a wrong CRC (the client asks again). Never close.
    ModbusReply HandleRtu(std::span<const std::uint8_t> frame);

  private:
    // The answer PDU (or exception PDU) to a request PDU of the unit; refusal says why it was
    // refused.
    std::vector<std::uint8_t> Answer(std::span<const std::uint8_t> pdu, std::string& refusal);

    DevCom& m_devCom;
    int m_unit;
    bool m_unitOnly;
};

}  // namespace zd
