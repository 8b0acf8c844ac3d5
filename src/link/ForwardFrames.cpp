#include "link/ForwardFrames.h"

#include <cstdio>

namespace zd {

namespace {

std::string Hex2(unsigned value) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "0x%02X", value & 0xFFu);
    return buffer;
}

// The address byte 0AAAAAA1 that INITIALISE, PROGRAM and VERIFY SHORT ADDRESS carry.
std::string ShortAddressByteText(std::uint8_t data) {
    if (data == kDaliMask) return "mask";
    if ((data & 0x81) == 0x01) return std::to_string(data >> 1);
    return Hex2(data);
}

std::string SpecialDataText(std::int16_t nCommandId, std::uint8_t data) {
    switch (nCommandId) {
        case kCmdDataTransferRegister:
            return std::to_string(data);
        case kCmdInitialise:
            // 0x00 every gear, 0xFF the gear without a short address, 0AAAAAA1 one gear.
            if (data == 0x00) return "all";
            if (data == 0xFF) return "without short address";
            return (data & 0x81) == 0x01 ? "A" + std::to_string(data >> 1) : Hex2(data);
        case kCmdProgramShortAddress:
        case kCmdVerifyShortAddress:
            return ShortAddressByteText(data);
        case kCmdSearchAddrH:
        case kCmdSearchAddrM:
        case kCmdSearchAddrL:
            return Hex2(data);
        case kCmdEnableDeviceTypeX:
            return std::to_string(data);
        default:
            // The commands without data send 0; anything else is worth seeing.
            return data == 0 ? "" : "data " + Hex2(data);
    }
}

}  // namespace

DecodedFrame DecodeForwardFrame(std::uint16_t frame) {
    const auto address = static_cast<std::uint8_t>(frame >> 8);
    const auto data = static_cast<std::uint8_t>(frame);
    DecodedFrame decoded;
    decoded.nData = data;
    const bool directArcPower = (address & 1) == 0;
    if (address <= 0x7F) {
        decoded.nAddrType = AddressKind::Short;
        decoded.nAddr = static_cast<std::int16_t>(address >> 1);
    } else if (address <= 0x9F) {
        decoded.nAddrType = AddressKind::Group;
        decoded.nAddr = static_cast<std::int16_t>((address >> 1) & 0x0F);
    } else if (address >= 0xFE) {
        decoded.nAddrType = AddressKind::Broadcast;
    } else {
        // 101xxxx1 and 110xxxx1: the special commands, numbered 256 on from 0xA1.
        if (address >= 0xA1 && address <= 0xDF && !directArcPower) {
            const auto id = static_cast<std::int16_t>(kCmdTerminate + (address - 0xA1) / 2);
            if (HasDALICommandText(id)) decoded.nCommandId = id;
        }
        return decoded;
    }
    if (directArcPower) {
        decoded.nCommandId = kCmdDirectArcPower;
    } else if (HasDALICommandText(data)) {
        decoded.nCommandId = data;
    }
    return decoded;
}

std::string ForwardFrameText(std::uint16_t frame) {
    const auto address = static_cast<std::uint8_t>(frame >> 8);
    const DecodedFrame decoded = DecodeForwardFrame(frame);
    const bool addressed = address <= 0x9F || address >= 0xFE;
    if (!addressed) {
        if (!decoded.nCommandId) {
            // The further data transfer registers of the device types (colour values, limits).
            if (address == 0xC3 || address == 0xC5)
                return std::string("* data transfer register ") + (address == 0xC3 ? "1" : "2") +
                       " (DTR" + (address == 0xC3 ? "1" : "2") + ") " +
                       std::to_string(decoded.nData);
            return "reserved address byte " + Hex2(address) + ", data " + Hex2(decoded.nData);
        }
        const std::string data = SpecialDataText(*decoded.nCommandId, decoded.nData);
        return "* " + DALICommandText(*decoded.nCommandId) + (data.empty() ? "" : " " + data);
    }
    std::string target = AddressText(decoded.nAddrType, decoded.nAddr);
    while (!target.empty() && target.back() == ' ') target.pop_back();
    if (!decoded.nCommandId) {
        return target + " command " + Hex2(decoded.nData) + " (not in the catalogue)";
    }
    if (*decoded.nCommandId == kCmdDirectArcPower) {
        return target + " direct arc power " +
               (decoded.nData == kDaliMask ? std::string("mask") : std::to_string(decoded.nData));
    }
    return target + " " + SentDALICommandText(*decoded.nCommandId, frame);
}

}  // namespace zd
