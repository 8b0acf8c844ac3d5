// Single assignment: one short address (or none, MASK) for every gear on the line at once, the
// tool for a line with one gear or for clearing a line before it is commissioned anew. The device
// list then holds what answers at the address.
#pragma once

#include <cstdint>
#include <string>

#include "engine/AddressingLine.h"
#include "engine/Outcome.h"

namespace zd {

struct SingleAssignmentReport {
    // Whether a gear answers at the address afterwards, and whether several answered at once.
    bool answered = false;
    bool conflict = false;
    EngineOutcome outcome;
};

// Sends the address to every gear (DTR, STORE DTR AS SHORT ADDRESS, both broadcast) and asks who
// answers there. Refused (with the window's box) in DSI mode; the addressing log is written where
// log says so.
SingleAssignmentReport AssignSingleAddress(AddressingLine& line, std::int16_t address, bool log,
                                           const std::string& logPath = kAddressingLogFile);

}  // namespace zd
