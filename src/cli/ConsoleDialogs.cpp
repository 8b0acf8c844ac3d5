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

namespace {

// The length of the well-formed UTF-8 sequence at the start of text, 0 when there is none.
std::size_t Utf8SequenceLength(std::string_view text) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        // No overlong forms and no surrogates.
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string ValidUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = Utf8SequenceLength(text);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            text.remove_prefix(1);
        } else {
            out.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return out;
}

std::string ForConsole(std::string_view text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out.push_back(c);
    return ValidUtf8(out);
}

MsgResult ConsoleDialogs::MessageBox(const MessageBoxRequest& request) {
    m_shown.push_back(request);
    if (m_beforePrint) m_beforePrint();
    std::fprintf(m_out, "[%s] %s: %s\n", IconWord(request.icon), ValidUtf8(request.title).c_str(),
                 ForConsole(request.text).c_str());
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
