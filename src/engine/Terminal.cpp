#include "engine/Terminal.h"

namespace zd {

bool RefusedOutsideDaliMode(const EngineTerminal& terminal, EngineOutcome& outcome) {
    if (terminal.state.m_nOperationMode == kModeDali) return false;
    const MessageCatalogue& msg = terminal.context.messages;
    terminal.context.dialogs.MessageBox(
        {msg.Load(5122) + "!", MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
    outcome.Fail(EngineFailure::Refused, msg.Load(5122) + "!");
    return true;
}

}  // namespace zd
