// The frame log of a run on the simulated line (--frame-log FILE): every DALI or DSI frame that
// went over the line, one a line, in a text that a person reads and a diff compares, so that the
// frames of a command can be recorded and compared across versions of the program.
#pragma once

#include <string>
#include <vector>

#include "sim/Terminal.h"

namespace zd {

// "1234.567 0BA0 A5 query actual level -> 0xFE (254)": the end of the forward frame on the
// simulator's clock (ms), the frame, what it is, and what the master heard after it ("no answer",
// "corrupt (several answered)"); a DSI frame is its level byte ("45.833 4D DSI level 77"). A
// frame the terminal sent of itself ends in " [repeat]" (its second frame of a send-twice command)
// or " [firmware]" (its own random addressing).
std::string FrameLogLine(const sim::SentFrame& frame);

// A comment line that says how to read the log, then a line per frame.
std::string FrameLogText(const std::vector<sim::SentFrame>& frames);

}  // namespace zd
