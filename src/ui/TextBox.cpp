#include "ui/TextBox.h"

#include <algorithm>
#include <utility>

namespace zd {

namespace {
// Texts are UTF-8; caret positions and lengths count characters, not bytes.
int CountCharacters(const std::string& text) {
    return static_cast<int>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string CutToCharacters(const std::string& text, int count) {
    int seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            if (seen == count) {
                return text.substr(0, i);
            }
            ++seen;
        }
    }
    return text;
}
}  // namespace

TextBox::TextBox(std::string name, std::string text)
    : Control(std::move(name)), m_text(std::move(text)) {}

void TextBox::SetText(const std::string& text) {
    if (text == m_text) {
        return;
    }
    m_text = text;
    m_selStart = CountCharacters(m_text);
    m_selLength = 0;
    RaiseChanged();
    Change.Raise();
}

bool TextBox::Type(const std::string& text) {
    if (m_locked || !IsEffectivelyEnabled()) {
        return false;
    }
    SetText(m_maxLength > 0 ? CutToCharacters(text, m_maxLength) : text);
    return true;
}

void TextBox::SetSelStart(int start) {
    start = std::clamp(start, 0, CountCharacters(m_text));
    if (start == m_selStart && m_selLength == 0) {
        return;
    }
    // Placing the caret drops the selection, as in classic forms.
    m_selStart = start;
    m_selLength = 0;
    RaiseChanged();
}

void TextBox::SetSelLength(int length) {
    Assign(m_selLength, std::clamp(length, 0, CountCharacters(m_text) - m_selStart));
}

void TextBox::SetMaxLength(int maxLength) {
    Assign(m_maxLength, std::max(0, maxLength));
}
void TextBox::SetAlignment(Alignment alignment) {
    Assign(m_alignment, alignment);
}
void TextBox::SetLocked(bool locked) {
    Assign(m_locked, locked);
}
void TextBox::SetMultiLine(bool multiLine) {
    Assign(m_multiLine, multiLine);
}

}  // namespace zd
