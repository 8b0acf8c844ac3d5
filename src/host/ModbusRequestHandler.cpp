#include "host/ModbusRequestHandler.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "host/ModbusDevCom.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr std::uint8_t kFunctionReadRegisters = 0x03;
constexpr std::uint8_t kFunctionWriteRegisters = 0x10;
constexpr std::uint8_t kExceptionFlag = 0x80;
constexpr std::int32_t kMaxReadRegisters = 125;
constexpr std::int32_t kMaxWriteRegisters = 123;

std::uint16_t Word(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

std::string Hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

// The header of a response to adu with a PDU of pduBytes.
std::vector<std::uint8_t> ResponseHeader(std::span<const std::uint8_t> adu, std::size_t pduBytes) {
    const auto length = static_cast<std::uint16_t>(1 + pduBytes);
    // Transaction and protocol id as asked, the length, the unit id.
    return {adu[0],
            adu[1],
            adu[2],
            adu[3],
            static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length & 0xFF),
            adu[6]};
}

ModbusReply Exception(std::span<const std::uint8_t> adu, ModbusException code, std::string why) {
    ModbusReply reply;
    reply.bytes = ResponseHeader(adu, 2);
    // A function code that already has bit 7 set stays as it is: the answer is still one
    // well-formed exception frame.
    reply.bytes.push_back(static_cast<std::uint8_t>(adu[7] | kExceptionFlag));
    reply.bytes.push_back(static_cast<std::uint8_t>(code));
    reply.refusal = std::move(why);
    return reply;
}

ModbusReply Close(std::string why) {
    ModbusReply reply;
    reply.close = true;
    reply.refusal = std::move(why);
    return reply;
}

}  // namespace

std::ptrdiff_t ModbusFrameLength(std::span<const std::uint8_t> stream) {
    // The protocol id is known after 4 bytes: a stream that is not Modbus is dropped at once.
    if (stream.size() >= 4 && Word(stream.data() + 2) != 0) return -1;
    if (stream.size() < 6) return 0;
    const std::size_t length = Word(stream.data() + 4);
    if (length < 2 || length > kMbapMaxLength) return -1;
    const std::size_t total = 6 + length;
    return stream.size() >= total ? static_cast<std::ptrdiff_t>(total) : 0;
}

ModbusReply ModbusRequestHandler::Handle(std::span<const std::uint8_t> adu) {
    if (adu.size() < kMbapHeaderBytes + 1) return Close("frame too short");
    if (Word(adu.data() + 2) != 0) return Close("protocol id " + Hex(Word(adu.data() + 2)));
    const std::size_t length = Word(adu.data() + 4);
    if (length != adu.size() - 6 || length > kMbapMaxLength)
        return Close("length field " + std::to_string(length) + " for a frame of " +
                     std::to_string(adu.size()) + " bytes");

    const std::uint8_t unit = adu[6];
    const std::uint8_t function = adu[7];
    const std::span<const std::uint8_t> pdu = adu.subspan(7);
    if (function & kExceptionFlag)
        return Exception(adu, ModbusException::IllegalFunction,
                         "function " + std::to_string(function));
    const bool direct = !m_unitOnly && (unit == 0 || unit == 255);
    if (unit != m_unit && !direct)
        return Exception(adu, ModbusException::GatewayTargetFailed, "unit " + std::to_string(unit));
    if (function != kFunctionReadRegisters && function != kFunctionWriteRegisters)
        return Exception(adu, ModbusException::IllegalFunction,
                         "function " + std::to_string(function));

    const bool write = function == kFunctionWriteRegisters;
    if (pdu.size() < (write ? 6u : 5u))
        return Exception(adu, ModbusException::IllegalDataValue, "request too short");
    const std::uint16_t address = Word(pdu.data() + 1);
    const std::int32_t count = Word(pdu.data() + 3);
    const std::string what = std::string(write ? "write" : "read") + " of " +
                             std::to_string(count) + " at register " + Hex(address);
    if (count < 1 || count > (write ? kMaxWriteRegisters : kMaxReadRegisters))
        return Exception(adu, ModbusException::IllegalDataValue, what + ": bad count");
    if (write ? (pdu[5] != count * 2 || pdu.size() != 6u + pdu[5]) : pdu.size() != 5)
        return Exception(adu, ModbusException::IllegalDataValue, what + ": bad length");
    const std::optional<TableAddress> call = TableAddressOfRegister(address, count);
    if (!call) return Exception(adu, ModbusException::IllegalDataAddress, what + ": not mapped");

    std::vector<std::uint16_t> words(static_cast<std::size_t>(count));
    try {
        if (write) {
            for (std::int32_t i = 0; i < count; ++i)
                words[static_cast<std::size_t>(i)] = Word(pdu.data() + 6 + 2 * i);
            m_devCom.WriteTable(call->nDevice, call->nTable, call->nOffset, count, words.data());
        } else {
            m_devCom.ReadTable(call->nDevice, call->nTable, call->nOffset, count, words.data());
        }
    } catch (const ControlError& error) {
        return Exception(adu, ModbusException::IllegalDataAddress,
                         what + ": " + error.Description());
    } catch (const std::exception& error) {
        return Exception(adu, ModbusException::ServerFailure, what + ": " + error.what());
    }

    ModbusReply reply;
    if (write) {
        reply.bytes = ResponseHeader(adu, 5);
        for (std::size_t i = 0; i < 5; ++i) reply.bytes.push_back(pdu[i]);
    } else {
        reply.bytes = ResponseHeader(adu, 2 + 2 * words.size());
        reply.bytes.push_back(function);
        reply.bytes.push_back(static_cast<std::uint8_t>(2 * words.size()));
        for (std::uint16_t word : words) PutWord(reply.bytes, word);
    }
    return reply;
}

}  // namespace zd
