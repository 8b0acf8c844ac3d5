#include "engine/Terminal.h"

namespace zd {

void Tell(const EngineTerminal& terminal, EngineOutcome& outcome, const EngineNotice& notice) {
    outcome.notices.push_back(notice);
    if (notice.failure != EngineFailure::None)
        outcome.Fail(notice, terminal.context.messages.GetLanguage());
    if (terminal.tell) terminal.tell(notice);
}

bool RefusedOutsideDaliMode(const EngineTerminal& terminal, EngineOutcome& outcome) {
    if (terminal.state.m_nOperationMode == kModeDali) return false;
    Tell(terminal, outcome,
         {EngineFailure::Refused, {msg::kNotDaliMode}, NoticeWeight::Information});
    return true;
}

}  // namespace zd
