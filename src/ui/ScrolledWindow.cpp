#include "ui/ScrolledWindow.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "ui/Label.h"

namespace zd {

namespace {
// Scroll bar settings are 16-bit: round to the nearest (ties to even) and stay inside that range
// rather than fail on a very large content.
int RoundTo16Bit(double value) {
    return static_cast<int>(std::clamp(std::nearbyint(value), -32768.0, 32767.0));
}
}  // namespace

ScrolledWindow::ScrolledWindow(std::string name)
    : Control(std::move(name)),
      m_hbar("hbarWindow", Orientation::Horizontal, 0, 0),
      m_vbar("vbarWindow", Orientation::Vertical, 0, 0),
      m_corner("picCorner") {
    m_hbar.Move(0, 0, kDefaultBarThickness * 4, kDefaultBarThickness);
    m_vbar.Move(0, 0, kDefaultBarThickness, kDefaultBarThickness * 4);
    m_corner.Move(0, 0, kDefaultBarThickness, kDefaultBarThickness);
    m_hbar.SetVisible(false);
    m_vbar.SetVisible(false);
    m_corner.SetVisible(false);
    m_hbar.SetSmallChange(RoundTo16Bit(kDefaultBarThickness));
    m_vbar.SetSmallChange(RoundTo16Bit(kDefaultBarThickness));
    for (ScrollBar* bar : {&m_hbar, &m_vbar}) {
        bar->Change.Connect([this] { ScrollContents(); });
        bar->Scroll.Connect([this] { ScrollContents(); });
    }
}

void ScrolledWindow::ArrangeConstituentControls() {
    const double innerWidth = Width();
    const double innerHeight = Height();

    double contentWidth = 0;
    double contentHeight = 0;
    for (const Control* child : Children()) {
        if (!child->Visible()) {
            continue;
        }
        double right = 0;
        double bottom = 0;
        if (const auto* line = dynamic_cast<const Line*>(child)) {
            right = std::max(line->X1(), line->X2());
            bottom = std::max(line->Y1(), line->Y2());
        } else {
            right = child->Left() + child->Width();
            bottom = child->Top() + child->Height();
        }
        contentWidth = std::max(contentWidth, right - m_xOffset);
        contentHeight = std::max(contentHeight, bottom - m_yOffset);
    }

    // The bars take room from each other: a horizontal bar can make a vertical one necessary, and
    // the vertical one can in turn make the horizontal one necessary.
    double availableWidth = innerWidth;
    double availableHeight = innerHeight;
    bool needHorizontal = contentWidth > availableWidth;
    if (needHorizontal) {
        availableHeight -= m_hbar.Height();
    }
    bool needVertical = false;
    if (contentHeight > availableHeight) {
        needVertical = true;
        availableWidth -= m_vbar.Width();
        if (!needHorizontal && contentWidth > availableWidth) {
            needHorizontal = true;
            availableHeight -= m_hbar.Height();
        }
    }

    if (!needHorizontal) {
        m_hbar.SetValue(0);
        m_hbar.SetVisible(false);
    } else if (availableWidth > 0) {
        m_hbar.Move(0, innerHeight - m_hbar.Height() - kHorizontalBarMargin, availableWidth,
                    m_hbar.Height());
        m_hbar.SetMax(RoundTo16Bit(contentWidth - availableWidth));
        m_hbar.SetLargeChange(RoundTo16Bit(availableWidth));
        m_hbar.SetVisible(true);
        m_hbar.BringToFront();
    }

    if (!needVertical) {
        m_vbar.SetValue(0);
        m_vbar.SetVisible(false);
    } else if (availableHeight > 0) {
        m_vbar.Move(innerWidth - m_vbar.Width(), 0, m_vbar.Width(), availableHeight);
        m_vbar.SetMax(RoundTo16Bit(contentHeight - availableHeight));
        m_vbar.SetLargeChange(RoundTo16Bit(availableHeight));
        m_vbar.SetVisible(true);
        m_vbar.BringToFront();
    }

    if (m_hbar.Visible() && m_vbar.Visible()) {
        m_corner.Move(innerWidth - m_vbar.Width(), innerHeight - m_hbar.Height(), m_vbar.Width(),
                      m_hbar.Height());
        m_corner.SetVisible(true);
        m_corner.BringToFront();
    } else {
        m_corner.SetVisible(false);
    }
}

void ScrolledWindow::ScrollContents() {
    const float dx = static_cast<float>(-m_hbar.Value()) - m_xOffset;
    const float dy = static_cast<float>(-m_vbar.Value()) - m_yOffset;
    for (Control* child : Children()) {
        if (!child->Visible()) {
            continue;
        }
        if (auto* line = dynamic_cast<Line*>(child)) {
            line->Shift(dx, dy);
        } else {
            child->Move(child->Left() + dx, child->Top() + dy, child->Width(), child->Height());
        }
    }
    m_xOffset = static_cast<float>(-m_hbar.Value());
    m_yOffset = static_cast<float>(-m_vbar.Value());
}

void ScrolledWindow::OnFirstPaint() {
    if (!m_laidOut) {
        m_laidOut = true;
        ArrangeConstituentControls();
    }
}

void ScrolledWindow::Resize(double width, double height) {
    SetWidth(width);
    SetHeight(height);
    ArrangeConstituentControls();
}

}  // namespace zd
