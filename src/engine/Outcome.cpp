#include "engine/Outcome.h"

#include "platform/HostTexts.h"

namespace zd {

namespace {

std::string Arg(const EngineMessage& message, std::size_t index) {
    return index < message.args.size() ? message.args[index] : std::string();
}

}  // namespace

std::string MessageText(const EngineMessage& message, Language language) {
    if (message.id == 0) {
        std::vector<std::string_view> args(message.args.begin(), message.args.end());
        std::string text = HostText(language, message.wording);
        // The arguments go in after the lookup, so that a translated wording keeps them.
        std::string filled;
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char next = i + 1 < text.size() ? text[i + 1] : '\0';
            const auto index = static_cast<std::size_t>(next - '1');
            if (text[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
                filled += args[index];
                ++i;
            } else {
                filled += text[i];
            }
        }
        return filled;
    }
    const MessageCatalogue catalogue(language);
    const std::string text = catalogue.Load(message.id);
    switch (message.id) {
        case msg::kAddressLimit:
            return text + "!\r\n" + catalogue.Load(5115) + ".";
        case msg::kNoProcessImage:
            return text + "\r\n" + catalogue.Load(5136);
        case msg::kArchiveClearsDevices:
            return Arg(message, 0) + " " + catalogue.Load(5156) + ": " + Arg(message, 1) + ".\r\n" +
                   text + "?";
        case msg::kInternalError:
        case msg::kDoubleAddress:
        case msg::kGearAddressed:
            return text + ": " + Arg(message, 0);
        case msg::kNoFreeAddress:
        case msg::kAllAddressesChanged:
        case msg::kNotDaliMode:
        case msg::kNotDsiMode:
            return text + "!";
        case msg::kFirmwareLacksFunction:
            return text;
        default:
            return text + ".";
    }
}

MessageBoxRequest NoticeBox(const EngineNotice& notice, const MessageCatalogue& messages) {
    MessageBoxRequest box;
    box.text = MessageText(notice.message, messages.GetLanguage());
    switch (notice.weight) {
        case NoticeWeight::Information:
            box.icon = MsgIcon::Information;
            box.title = messages.Load(5098);
            break;
        case NoticeWeight::Question:
            box.icon = MsgIcon::Question;
            box.buttons = MsgButtons::YesNo;
            box.title = messages.Load(5098);
            break;
        case NoticeWeight::Warning:
            box.icon = MsgIcon::Exclamation;
            box.title = messages.Load(5112);
            break;
        case NoticeWeight::Critical:
            box.icon = MsgIcon::Critical;
            box.title = messages.Load(5113);
            break;
    }
    return box;
}

}  // namespace zd
