#include "ui/Label.h"

#include <utility>

namespace zd {

Label::Label(std::string name, std::string caption)
    : Control(std::move(name)), m_caption(std::move(caption)) {}

void Label::SetCaption(const std::string& caption) {
    Assign(m_caption, caption);
}
void Label::SetAlignment(Alignment alignment) {
    Assign(m_alignment, alignment);
}
void Label::SetWordWrap(bool wordWrap) {
    Assign(m_wordWrap, wordWrap);
}

void Label::Click() {
    if (IsEffectivelyEnabled()) {
        Clicked.Raise();
    }
}

Frame::Frame(std::string name, std::string caption)
    : Control(std::move(name)), m_caption(std::move(caption)) {}

void Frame::SetCaption(const std::string& caption) {
    Assign(m_caption, caption);
}

Line::Line(std::string name, double x1, double y1, double x2, double y2)
    : Control(std::move(name)), m_x1(x1), m_y1(y1), m_x2(x2), m_y2(y2) {}

void Line::SetEndPoints(double x1, double y1, double x2, double y2) {
    if (m_x1 == x1 && m_y1 == y1 && m_x2 == x2 && m_y2 == y2) {
        return;
    }
    m_x1 = x1;
    m_y1 = y1;
    m_x2 = x2;
    m_y2 = y2;
    RaiseChanged();
}

void Line::Shift(double dx, double dy) {
    SetEndPoints(m_x1 + dx, m_y1 + dy, m_x2 + dx, m_y2 + dy);
}

}  // namespace zd
