// Inside the engine: the pieces of the terminal's own random addressing (hand-over, polls, result).
// Only the engine and the form, which steps it on its own timer, include this; every other front
// end runs the whole procedure through engine/TerminalAddressing.h.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/TerminalAddressing.h"

namespace zd {

// The notice that tells the terminal's result: how many gear it addressed, or its failure.
EngineNotice FirmwareResultNotice(std::uint8_t nResult);

// The terminal's result as the run ends: the notice that tells it and, when it succeeded, the gear
// addressed. A terminal that has given the last free short address reports that none is free
// whether or not a gear is left without one: then the line is asked (every short address twice
// where silent, and QUERY MISSING SHORT ADDRESS twice) and, when every address answers cleanly
// and nobody is missing one, the run succeeded with the count of gear that hold one.
struct TerminalAddressingEnd {
    EngineNotice notice;
    std::optional<int> addressed;
};
TerminalAddressingEnd EndTerminalAddressing(AddressingLine& line, std::uint8_t nResult);

// Hands the run over to the terminal: groups and scenes cleared by the control where asked (the
// only DALI commands of this variant), the parameter word, a second for the terminal to take it,
// and the start bit.
void HandOverTerminalAddressing(AddressingLine& line, const TerminalAddressingOptions& options);

// One poll of the terminal's run: still running, done with its result byte, or the status or the
// result could not be read (the failure has shown its box).
struct TerminalAddressingPoll {
    bool running = false;
    std::optional<std::uint8_t> result;
};
TerminalAddressingPoll PollTerminalAddressing(Link& link);

}  // namespace zd
