// A station's terminal opened for a control, as the window and the command line open it: the
// station document, the terminal's node chosen by position, and the device communication to it,
// over Modbus TCP or RTU or to the in-process simulator on a line from a line file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "connection/ConnectionTarget.h"
#include "documents/StationDocument.h"
#include "platform/DevCom.h"
#include "platform/Scheduler.h"
#include "platform/Xml.h"
#include "sim/LineFile.h"
#include "transport/SimDevCom.h"

namespace zd {

struct OpenedTerminal {
    StationDocument station;
    XmlNode terminal;
    // The simulated line as its file described it (empty over Modbus).
    sim::LineDescription line;
    std::shared_ptr<DevCom> devCom;
    // The same as devCom on the simulated line; null over Modbus.
    std::shared_ptr<SimDevCom> simulated;
};

// Opens the terminal target names; the simulated terminal runs on clock. A line file that places
// the terminal otherwise than the station does is told to note (see LinePlacementNote) before the
// simulated terminal is made. Throws ControlError, or sim::LineFileError for a line file.
OpenedTerminal OpenTerminal(const ConnectionTarget& target, Scheduler& clock,
                            const std::function<void(const std::string&)>& note);

}  // namespace zd
