// A station's terminal opened for a control, as the window and the command line open it: the
// station document, the terminal's node chosen by position, and the device communication to it,
// over Modbus TCP or RTU or to the in-process simulator on a line from a line file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/SimDevCom.h"
#include "host/StationDocument.h"
#include "platform/DevCom.h"
#include "platform/Scheduler.h"
#include "platform/Xml.h"
#include "sim/LineFile.h"

namespace zd {

// Where the terminal is.
struct TerminalSource {
    std::string stationFile;
    std::int32_t position = -1;  // -1: the station's first ZD4270
    // The simulated line's file; none: a line without gear.
    std::optional<std::string> lineFile;
    // "HOST:PORT": the terminal over Modbus TCP instead of the simulator.
    std::string modbus;
    // "DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT]": the terminal over Modbus RTU instead.
    std::string modbusRtu{};

    // A real terminal (Modbus TCP or RTU) rather than the simulated line.
    bool OverModbus() const { return !modbus.empty() || !modbusRtu.empty(); }
};

struct OpenedTerminal {
    StationDocument station;
    XmlNode terminal;
    // The simulated line as its file described it (empty over Modbus).
    sim::LineDescription line;
    std::shared_ptr<DevCom> devCom;
    // The same as devCom on the simulated line; null over Modbus.
    std::shared_ptr<SimDevCom> simulated;
};

// Opens what source names; the simulated terminal runs on clock. A line file that places the
// terminal otherwise than the station does is told to note (see LinePlacementNote) before the
// simulated terminal is made. Throws ControlError, or sim::LineFileError for a line file.
OpenedTerminal OpenTerminal(const TerminalSource& source, Scheduler& clock,
                            const std::function<void(const std::string&)>& note);

}  // namespace zd
