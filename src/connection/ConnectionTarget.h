// What a front end connects to: a station's terminal on the simulated line of a line file, or over
// Modbus TCP or RTU, and the store it keeps its device lists in. The command line, the window, the
// demonstration and the simulator server each hold one, and the refusals of combinations that
// cannot be meant live here once, so that every front end refuses them alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zd {

struct ConnectionTarget {
    // The station document with the terminal's device node.
    std::string stationFile;
    // The terminal's position in the station; none: the station's first ZD4270.
    std::optional<std::int32_t> position;
    // The simulated line's file; none: a line without gear. Unused over Modbus.
    std::optional<std::string> lineFile;
    // The user named lineFile rather than taking a default: a note on how it places the terminal
    // is news, and it cannot go with a terminal over Modbus.
    bool lineFileGiven = false;
    // "HOST:PORT[/UNIT]" of a terminal (or zd4270-sim) on Modbus TCP instead of the simulator.
    std::string modbus;
    // "DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT]" of a terminal on Modbus RTU instead.
    std::string modbusRtu;
    // The store of device lists and settings (INI); empty: the user's own.
    std::string registryFile;
    // The site file with the luminaires' names and places; empty: site.json beside the store.
    std::string siteFile;

    // A real terminal (Modbus TCP or RTU) rather than the simulated line.
    bool OverModbus() const { return !modbus.empty() || !modbusRtu.empty(); }
    // The position to choose in the station, -1 for its first ZD4270 (as the store keeps it).
    std::int32_t PositionOrFirst() const { return position.value_or(-1); }
    // The Modbus option in use, for texts that name it: "--modbus" or "--modbus-rtu".
    const char* ModbusOption() const { return modbusRtu.empty() ? "--modbus" : "--modbus-rtu"; }
};

// Why target cannot be used as the command line gave it (both Modbus transports, a line file with
// a terminal over Modbus, an address or a serial line that cannot be parsed), in the options'
// words; none when it can. Nothing is opened or sent to find out.
std::optional<std::string> ConnectionRefusal(const ConnectionTarget& target);

}  // namespace zd
