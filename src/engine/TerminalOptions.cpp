#include "engine/TerminalOptions.h"

#include <cstdio>
#include <memory>

#include "link/TerminalRegisters.h"
#include "platform/Error.h"

namespace zd {

namespace {

DevCom& DevComOf(const EngineTerminal& terminal) {
    const std::shared_ptr<DevCom>& devCom = terminal.state.objDevCom;
    if (!devCom) throw ControlError("There is no terminal to read the options from");
    return *devCom;
}

std::uint16_t ReadRegister(const EngineTerminal& terminal, std::int32_t offset) {
    std::uint16_t value = 0;
    DevComOf(terminal).ReadTable(terminal.position, 0, offset, 1, &value);
    return value;
}

// A set bit switches an option off.
std::uint16_t WithOption(std::uint16_t value, std::uint16_t offBit, bool on) {
    return static_cast<std::uint16_t>(on ? (value & ~offBit) : (value | offBit));
}

}  // namespace

TerminalOptions OptionsOfFeatures(std::uint16_t features) {
    TerminalOptions options;
    options.featureRegister = features;
    options.powerSupplyUnit = (features & kPowerSupplyInactive) == 0;
    options.countDaliDevices = (features & kDaliDevicesNotCounted) == 0;
    switch (features & kOperationModeBits) {
        case kOperationModeDali:
            options.mode = TerminalMode::Dali;
            break;
        case kOperationModeDsi:
            options.mode = TerminalMode::Dsi;
            break;
        default:
            options.mode = TerminalMode::Other;
            break;
    }
    return options;
}

TerminalOptions ReadTerminalOptions(const EngineTerminal& terminal) {
    return OptionsOfFeatures(ReadRegister(terminal, kFeatureRegister));
}

std::uint16_t ReadFirmwareVersion(const EngineTerminal& terminal) {
    return ReadRegister(terminal, kFirmwareRegister);
}

TerminalOptions WriteTerminalOptions(const EngineTerminal& terminal,
                                     const TerminalOptionsChange& change) {
    DevCom& devCom = DevComOf(terminal);
    const std::uint16_t before = ReadRegister(terminal, kFeatureRegister);
    std::uint16_t value = before;
    if (change.mode == TerminalMode::Dali || change.mode == TerminalMode::Dsi) {
        const std::uint16_t mode =
            change.mode == TerminalMode::Dsi ? kOperationModeDsi : kOperationModeDali;
        value = static_cast<std::uint16_t>((value & ~kOperationModeBits) | mode);
    }
    if (change.powerSupplyUnit)
        value = WithOption(value, kPowerSupplyInactive, *change.powerSupplyUnit);
    if (change.countDaliDevices)
        value = WithOption(value, kDaliDevicesNotCounted, *change.countDaliDevices);
    if (value == before) return OptionsOfFeatures(before);

    const std::uint16_t closed = 0;
    devCom.WriteTable(terminal.position, 0, kCodeWordRegister, 1, &kCodeWord);
    devCom.WriteTable(terminal.position, 0, kFeatureRegister, 1, &value);
    devCom.WriteTable(terminal.position, 0, kCodeWordRegister, 1, &closed);
    return OptionsOfFeatures(value);
}

std::string FirmwareVersionText(std::int32_t version) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(version));
    auto character = [](int byte) {
        return (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
    };
    std::string text = "0x";
    text += hex;
    text += "  (";
    text += character((version >> 8) & 0xFF);
    text += character(version & 0xFF);
    text += ")";
    return text;
}

}  // namespace zd
