// One transaction on the line as a front end asks for it: a DALI command, a DALI query with its
// answer, or a DSI byte. The terminal's mode decides which of them it takes; the transaction runs
// as a device page's does, without the addressing log.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/Outcome.h"
#include "engine/Terminal.h"
#include "link/Commands.h"

namespace zd {

struct LineCommand {
    std::int16_t commandId = 0;
    std::uint8_t data = 0;
    AddressKind addressKind = AddressKind::Broadcast;
    std::int16_t address = 0;
};

// What came back after a query.
enum class QueryAnswer {
    // No answer was read: the command was not sent, or it was no query.
    NotRead,
    // One backward frame: its byte.
    Byte,
    // Silence.
    None,
    // A corrupt frame: several gear answered at once.
    Several,
    // A collision, or the link failed (an error box was shown, or there is no terminal).
    Failed,
};

struct LineCommandResult {
    // Refused when the terminal's mode does not take the transaction (nothing was sent; the box
    // a device page shows has been shown); the transaction's own result is in sent.
    EngineOutcome outcome;
    Result sent = Result::Error;
    // Whether the terminal acknowledged the frame; none when it never reached the handshake.
    std::optional<bool> acknowledged;
    // How often the command went out again because it met another master on the line.
    int sentAgain = 0;
    // The answer of a query: the receive's result, what it means, and the byte of a Byte.
    std::optional<Result> answerResult;
    QueryAnswer answer = QueryAnswer::NotRead;
    std::uint8_t answerByte = 0;
};

// Sends a DALI command; refused in DSI mode.
LineCommandResult SendLineCommand(EngineTerminal& terminal, const LineCommand& command);
// Reads the answer to the last command into result.
void ReceiveLineAnswer(EngineTerminal& terminal, LineCommandResult& result);
// Sends a DALI query and reads its answer when the query went out: acknowledged, or answered by a
// corrupt frame (several gear at once).
LineCommandResult QueryLine(EngineTerminal& terminal, const LineCommand& command);
// Sends a DSI byte (the level, to every DSI gear); refused in DALI mode.
LineCommandResult SendDsiByte(EngineTerminal& terminal, std::uint8_t level);

}  // namespace zd
