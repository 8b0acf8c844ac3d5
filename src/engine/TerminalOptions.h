// The terminal's options as its registers keep them: the operation mode, the power supply unit and
// the counting of DALI devices in the feature register, and the firmware version. Read and written
// through the device communication at the terminal's position; a write opens the feature register
// with the code word and closes it again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "engine/Terminal.h"

namespace zd {

// The operation mode the feature register names; Other for a value the tool does not know.
enum class TerminalMode { Dali, Dsi, Other };

struct TerminalOptions {
    TerminalMode mode = TerminalMode::Dali;
    bool powerSupplyUnit = true;
    bool countDaliDevices = true;
    std::uint16_t featureRegister = 0;
};

// What to change; what is not given stays as the terminal has it.
struct TerminalOptionsChange {
    std::optional<TerminalMode> mode;
    std::optional<bool> powerSupplyUnit;
    std::optional<bool> countDaliDevices;
};

// The options a feature register value holds.
TerminalOptions OptionsOfFeatures(std::uint16_t features);

// Reads the feature register. Throws the device communication's error; ControlError without one.
TerminalOptions ReadTerminalOptions(const EngineTerminal& terminal);
// Reads the firmware version register.
std::uint16_t ReadFirmwareVersion(const EngineTerminal& terminal);

// Reads the feature register, changes the bits of what change gives and, when that changes the
// value, writes it behind the code word; the other bits keep what the terminal has. A mode other
// than DALI or DSI is not written. Returns the options as written (or as read when nothing had to
// change). Throws as ReadTerminalOptions.
TerminalOptions WriteTerminalOptions(const EngineTerminal& terminal,
                                     const TerminalOptionsChange& change);

// "0x314D  (1M)": the version word in hexadecimal, two blanks and its two bytes as characters,
// high byte first; a byte that is no printable character shows as ".".
std::string FirmwareVersionText(std::int32_t version);

}  // namespace zd
