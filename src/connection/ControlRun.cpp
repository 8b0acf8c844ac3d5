#include "connection/ControlRun.h"

namespace zd {

std::optional<std::string> ControlRun::ErrorSince(std::size_t mark) const {
    const auto& shown = ShownBoxes();
    for (std::size_t i = mark; i < shown.size(); ++i)
        if (shown[i].icon == MsgIcon::Critical) return BoxText(shown[i].text);
    return std::nullopt;
}

std::optional<std::string> ControlRun::LastBoxSince(std::size_t mark) const {
    const auto& shown = ShownBoxes();
    if (shown.size() <= mark) return std::nullopt;
    return BoxText(shown.back().text);
}

}  // namespace zd
