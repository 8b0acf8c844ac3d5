#include "connection/ControlRun.h"

namespace zd {

std::optional<std::string> ControlRun::ErrorSince(std::size_t mark) const {
    const auto& shown = ShownBoxes();
    for (std::size_t i = mark; i < shown.size(); ++i)
        if (shown[i].icon == MsgIcon::Critical) return BoxText(shown[i].text);
    return std::nullopt;
}

std::string ControlRun::FailureText(const EngineOutcome& outcome, std::size_t mark) {
    if (!outcome.notices.empty()) {
        const Language language = GetContext().messages.GetLanguage();
        return BoxText(MessageText(outcome.notices.back().message, language));
    }
    return ErrorSince(mark).value_or(outcome.text);
}

}  // namespace zd
