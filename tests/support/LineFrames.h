// The forward frames a run put on the simulated line, and what each one does to the gear by the
// command catalogue (link/Commands.h): queries and the special commands leave levels and settings
// as they are; direct arc power, the level commands, the configuration commands and DSI change
// them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "link/Commands.h"
#include "sim/Terminal.h"

namespace zd::test {

// The catalogue's number of a DALI forward frame: -1 direct arc power, 0 to 255 the command byte
// of an indirect command or query, 256 and on the special commands (256 + (byte - 0xA1) / 2).
inline int CommandOfFrame(std::uint16_t frame) {
    const int address = frame >> 8;
    if ((address & 0x01) == 0) return kCmdDirectArcPower;
    if (address >= 0xA1 && address <= 0xDF) return kCmdTerminate + (address - 0xA1) / 2;
    return frame & 0xFF;
}

// Changes a level or a setting of some gear: anything that is neither a query (144 to 255) nor
// a special command.
inline bool ChangesGear(const sim::SentFrame& frame) {
    return frame.dsi || CommandOfFrame(frame.frame) < kCmdQueryStatus;
}

// The frames that change gear, as "0x0105 (recall max level)", for a failed expectation.
inline std::vector<std::string> ChangingFrames(const std::vector<sim::SentFrame>& frames) {
    std::vector<std::string> changing;
    for (const sim::SentFrame& frame : frames) {
        if (!ChangesGear(frame)) continue;
        char word[8];
        std::snprintf(word, sizeof word, "0x%04X", frame.frame);
        changing.push_back(
            std::string(word) + " (" +
            (frame.dsi ? std::string("DSI")
                       : SentDALICommandText(static_cast<std::int16_t>(CommandOfFrame(frame.frame)),
                                             frame.frame)) +
            ")");
    }
    return changing;
}

}  // namespace zd::test
