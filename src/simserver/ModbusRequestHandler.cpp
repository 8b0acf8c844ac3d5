#include "simserver/ModbusRequestHandler.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "platform/Error.h"
#include "transport/ModbusDevCom.h"

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

// A function code that already has bit 7 set stays as it is: the answer is still one well-formed
// exception.
std::vector<std::uint8_t> ExceptionPdu(std::uint8_t function, ModbusException code) {
    return {static_cast<std::uint8_t>(function | kExceptionFlag), static_cast<std::uint8_t>(code)};
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
    const bool direct = !m_unitOnly && (unit == 0 || unit == 255);
    const std::uint8_t function = adu[7];
    ModbusReply reply;
    std::vector<std::uint8_t> pdu;
    // A function with bit 7 set is an answer, never a request; it is refused as unknown before
    // the unit is looked at.
    if (unit != m_unit && !direct && !(function & kExceptionFlag)) {
        pdu = ExceptionPdu(function, ModbusException::GatewayTargetFailed);
        reply.refusal = "unit " + std::to_string(unit);
    } else {
        pdu = Answer(adu.subspan(7), reply.refusal);
    }
    reply.bytes = ResponseHeader(adu, pdu.size());
    reply.bytes.insert(reply.bytes.end(), pdu.begin(), pdu.end());
    return reply;
}

ModbusReply ModbusRequestHandler::HandleRtu(std::span<const std::uint8_t> frame) {
    ModbusReply reply;
    if (frame.size() < kRtuMinFrameBytes || frame.size() > kRtuMaxFrameBytes) {
        reply.refusal = "an RTU frame of " + std::to_string(frame.size()) + " bytes";
        return reply;
    }
    const std::size_t body = frame.size() - 2;
    const std::uint16_t crc = ModbusCrc(frame.first(body));
    if (frame[body] != (crc & 0xFF) || frame[body + 1] != (crc >> 8)) {
        reply.refusal = "a frame with a wrong checksum (CRC)";
        return reply;
    }
    // Another unit on the line answers for itself; this one keeps quiet.
    const std::uint8_t unit = frame[0];
    if (unit != m_unit && unit != kModbusBroadcastUnit) return reply;
    const std::vector<std::uint8_t> pdu = Answer(frame.subspan(1, body - 1), reply.refusal);
    // A broadcast is carried out (a write) but never answered, or the units would talk at once.
    if (unit == kModbusBroadcastUnit) return reply;
    reply.bytes.push_back(unit);
    reply.bytes.insert(reply.bytes.end(), pdu.begin(), pdu.end());
    const std::uint16_t answerCrc = ModbusCrc(reply.bytes);
    reply.bytes.push_back(static_cast<std::uint8_t>(answerCrc & 0xFF));
    reply.bytes.push_back(static_cast<std::uint8_t>(answerCrc >> 8));
    return reply;
}

std::vector<std::uint8_t> ModbusRequestHandler::Answer(std::span<const std::uint8_t> pdu,
                                                       std::string& refusal) {
    const std::uint8_t function = pdu[0];
    const auto exception = [&](ModbusException code, std::string why) {
        refusal = std::move(why);
        return ExceptionPdu(function, code);
    };
    if (function != kFunctionReadRegisters && function != kFunctionWriteRegisters)
        return exception(ModbusException::IllegalFunction, "function " + std::to_string(function));

    const bool write = function == kFunctionWriteRegisters;
    if (pdu.size() < (write ? 6u : 5u))
        return exception(ModbusException::IllegalDataValue, "request too short");
    const std::uint16_t address = Word(pdu.data() + 1);
    const std::int32_t count = Word(pdu.data() + 3);
    const std::string what = std::string(write ? "write" : "read") + " of " +
                             std::to_string(count) + " at register " + Hex(address);
    if (count < 1 || count > (write ? kMaxWriteRegisters : kMaxReadRegisters))
        return exception(ModbusException::IllegalDataValue, what + ": bad count");
    if (write ? (pdu[5] != count * 2 || pdu.size() != 6u + pdu[5]) : pdu.size() != 5)
        return exception(ModbusException::IllegalDataValue, what + ": bad length");
    const std::optional<TableAddress> call = TableAddressOfRegister(address, count);
    if (!call) return exception(ModbusException::IllegalDataAddress, what + ": not mapped");

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
        return exception(ModbusException::IllegalDataAddress, what + ": " + error.Description());
    } catch (const std::exception& error) {
        return exception(ModbusException::ServerFailure, what + ": " + error.what());
    }

    std::vector<std::uint8_t> answer;
    if (write) {
        answer.assign(pdu.begin(), pdu.begin() + 5);
    } else {
        answer.push_back(function);
        answer.push_back(static_cast<std::uint8_t>(2 * words.size()));
        for (std::uint16_t word : words) PutWord(answer, word);
    }
    return answer;
}

std::uint16_t ModbusCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    }
    return crc;
}

}  // namespace zd
