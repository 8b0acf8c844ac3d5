// The text box model: text, caret and selection, length limit, alignment and lock. A new text
// raises Change whether typed or set by code, which the number boxes' handlers rely on.
#pragma once

#include <string>

#include "ui/Control.h"

namespace zd {

class TextBox : public Control {
  public:
    explicit TextBox(std::string name, std::string text = {});

    const std::string& Text() const { return m_text; }
    // A different text replaces the text, puts the caret at its end and raises Change; an equal
    // text raises nothing. The length limit applies to typing only (as in classic forms).
    void SetText(const std::string& text);

    // The user's typing: the text as the user left it, cut to MaxLength characters; ignored when
    // the box is locked or cannot be used now.
    bool Type(const std::string& text);

    // Caret position and selection length, in characters.
    int SelStart() const { return m_selStart; }
    void SetSelStart(int start);
    int SelLength() const { return m_selLength; }
    void SetSelLength(int length);

    // 0: no limit.
    int MaxLength() const { return m_maxLength; }
    void SetMaxLength(int maxLength);

    Alignment GetAlignment() const { return m_alignment; }
    void SetAlignment(Alignment alignment);

    bool Locked() const { return m_locked; }
    void SetLocked(bool locked);

    bool MultiLine() const { return m_multiLine; }
    void SetMultiLine(bool multiLine);

    Event<> Change;

  private:
    std::string m_text;
    int m_selStart = 0;
    int m_selLength = 0;
    int m_maxLength = 0;
    Alignment m_alignment = Alignment::Left;
    bool m_locked = false;
    bool m_multiLine = false;
};

}  // namespace zd
