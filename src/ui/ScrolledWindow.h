// The scrolling container: it holds controls (its children) and, when they do not fit, shows a
// horizontal and a vertical scroll bar and the corner box between them, and moves the children as
// the bars scroll. It knows nothing of what it holds.
#pragma once

#include <string>

#include "ui/Control.h"
#include "ui/Slider.h"

namespace zd {

class ScrolledWindow : public Control {
  public:
    // Distance of the horizontal bar from the container's bottom edge, in twips.
    static constexpr double kHorizontalBarMargin = 50;
    static constexpr double kDefaultBarThickness = 255;

    explicit ScrolledWindow(std::string name);

    // Computes the content extent and shows, sizes and places the bars and the corner box.
    void ArrangeConstituentControls();
    // The current scroll position: the negated bar values as last applied to the children.
    float GetXOffset() const { return m_xOffset; }
    float GetYOffset() const { return m_yOffset; }

    // The first paint lays out once; every resize lays out.
    void OnFirstPaint();
    void Resize(double width, double height);
    bool LaidOut() const { return m_laidOut; }

    ScrollBar& HorizontalBar() { return m_hbar; }
    ScrollBar& VerticalBar() { return m_vbar; }
    Control& Corner() { return m_corner; }
    const ScrollBar& HorizontalBar() const { return m_hbar; }
    const ScrollBar& VerticalBar() const { return m_vbar; }
    const Control& Corner() const { return m_corner; }

  private:
    void ScrollContents();

    ScrollBar m_hbar;
    ScrollBar m_vbar;
    Control m_corner;
    float m_xOffset = 0;
    float m_yOffset = 0;
    bool m_laidOut = false;
};

}  // namespace zd
