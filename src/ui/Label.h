// Passive display models: a label with its caption, a frame that groups controls under a caption,
// and a line given by its two end points.
#pragma once

#include <string>

#include "ui/Control.h"

namespace zd {

class Label : public Control {
  public:
    explicit Label(std::string name, std::string caption = {});

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);

    Alignment GetAlignment() const { return m_alignment; }
    void SetAlignment(Alignment alignment);

    bool WordWrap() const { return m_wordWrap; }
    void SetWordWrap(bool wordWrap);

    // The user clicked the label.
    void Click();
    Event<> Clicked;

  private:
    std::string m_caption;
    Alignment m_alignment = Alignment::Left;
    bool m_wordWrap = false;
};

// A frame: a captioned container; its children are placed relative to it.
class Frame : public Control {
  public:
    explicit Frame(std::string name, std::string caption = {});

    const std::string& Caption() const { return m_caption; }
    void SetCaption(const std::string& caption);

  private:
    std::string m_caption;
};

// A line: placed by its end points, not by Left/Top/Width/Height.
class Line : public Control {
  public:
    explicit Line(std::string name, double x1 = 0, double y1 = 0, double x2 = 0, double y2 = 0);

    double X1() const { return m_x1; }
    double Y1() const { return m_y1; }
    double X2() const { return m_x2; }
    double Y2() const { return m_y2; }
    void SetEndPoints(double x1, double y1, double x2, double y2);
    // Shifts both end points.
    void Shift(double dx, double dy);

  private:
    double m_x1;
    double m_y1;
    double m_x2;
    double m_y2;
};

}  // namespace zd
