#include "engine/LineCommands.h"

#include <string>

namespace zd {

namespace {

// A transaction that does not fit the terminal's mode is refused with the notice of that mode.
void Refuse(EngineTerminal& terminal, int message, LineCommandResult& result) {
    Tell(terminal, result.outcome, {EngineFailure::Refused, {message}, NoticeWeight::Information});
}

// Collision and corrupt frame come with the acknowledge.
void NoteAcknowledge(const Link& link, LineCommandResult& result) {
    if (result.sent == Result::Done || result.sent == Result::Collision ||
        result.sent == Result::CorruptFrame) {
        result.acknowledged = link.LastCommandAcknowledged();
    }
}

}  // namespace

LineCommandResult SendLineCommand(EngineTerminal& terminal, const LineCommand& command) {
    LineCommandResult result;
    if (terminal.state.m_nOperationMode == kModeDsi) {
        Refuse(terminal, msg::kNotDaliMode, result);
        return result;
    }
    // Copies: the link may change them while it builds the word.
    std::int16_t commandId = command.commandId;
    std::uint8_t data = command.data;
    AddressKind addressKind = command.addressKind;
    std::int16_t address = command.address;
    result.sent = terminal.link.SendDALICommandAgainOnCollision(commandId, data, addressKind,
                                                                address, nullptr, result.sentAgain);
    NoteAcknowledge(terminal.link, result);
    return result;
}

void ReceiveLineAnswer(EngineTerminal& terminal, LineCommandResult& result) {
    std::uint8_t data = 0;
    const Result received = terminal.link.ReceiveDALIData(data, nullptr);
    result.answerResult = received;
    switch (received) {
        case Result::Done:
            result.answer = QueryAnswer::Byte;
            result.answerByte = data;
            break;
        case Result::Timeout:
            result.answer = QueryAnswer::None;
            break;
        case Result::CorruptFrame:
            result.answer = QueryAnswer::Several;
            break;
        default:
            result.answer = QueryAnswer::Failed;
            break;
    }
}

LineCommandResult QueryLine(EngineTerminal& terminal, const LineCommand& command) {
    LineCommandResult result = SendLineCommand(terminal, command);
    if (result.sent == Result::Done || result.sent == Result::CorruptFrame)
        ReceiveLineAnswer(terminal, result);
    return result;
}

LineCommandResult SendDsiByte(EngineTerminal& terminal, std::uint8_t level) {
    LineCommandResult result;
    if (terminal.state.m_nOperationMode != kModeDsi) {
        Refuse(terminal, msg::kNotDsiMode, result);
        return result;
    }
    std::uint8_t data = level;
    result.sent = terminal.link.SendDSICommand(data);
    NoteAcknowledge(terminal.link, result);
    return result;
}

}  // namespace zd
