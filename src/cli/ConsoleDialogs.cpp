#include "cli/ConsoleDialogs.h"

#include <string_view>

namespace zd {

const char* IconWord(MsgIcon icon) {
    switch (icon) {
        case MsgIcon::Critical:
            return "error";
        case MsgIcon::Exclamation:
            return "warning";
        case MsgIcon::Question:
            return "question";
        case MsgIcon::Information:
            return "info";
        case MsgIcon::None:
            break;
    }
    return "message";
}

std::string ForConsole(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out.push_back(c);
    return ValidUtf8(out);
}

MsgResult ConsoleDialogs::MessageBox(const MessageBoxRequest& request) {
    m_shown.push_back(request);
    if (m_holdErrors && request.icon == MsgIcon::Critical) return MsgResult::Ok;
    if (m_beforePrint) m_beforePrint();
    std::fprintf(m_out, "[%s] %s: %s\n", IconWord(request.icon),
                 PrintableText(request.title).c_str(),
                 PrintableText(ForConsole(request.text)).c_str());
    switch (request.buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return m_assumeYes ? MsgResult::Yes : MsgResult::No;
        case MsgButtons::OkCancel:
            return m_assumeYes ? MsgResult::Ok : MsgResult::Cancel;
        case MsgButtons::Ok:
            break;
    }
    return MsgResult::Ok;
}

std::optional<std::string> ConsoleDialogs::FileDialog(const FileDialogRequest& request) {
    if (m_beforePrint) m_beforePrint();
    std::fprintf(m_out, "[file] %s: %s\n", ValidUtf8(request.title).c_str(),
                 m_filePath ? ValidUtf8(*m_filePath).c_str() : "(cancelled: no file given)");
    return m_filePath;
}

}  // namespace zd
