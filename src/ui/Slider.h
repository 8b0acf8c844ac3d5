// Range models: the slider, the scroll bar and the progress bar. Values are kept inside the range;
// a new value raises Change whether set by code or by the user, a drag raises Scroll.
#pragma once

#include <string>

#include "ui/Control.h"

namespace zd {

enum class Orientation { Horizontal, Vertical };

// What the slider and the scroll bar share: a value in Min..Max with small and large steps.
class RangeControl : public Control {
  public:
    explicit RangeControl(std::string name, int min, int max);

    int Value() const { return m_value; }
    // The value limited to Min..Max; a different value raises Change, an equal one nothing.
    void SetValue(int value);
    // The user drags the thumb to value (limited to the range): raises Scroll when it moved.
    void DragTo(int value);

    int Min() const { return m_min; }
    int Max() const { return m_max; }
    // A range that no longer holds the value moves the value into it (raising Change).
    void SetMin(int min);
    void SetMax(int max);
    void SetRange(int min, int max);

    int SmallChange() const { return m_smallChange; }
    void SetSmallChange(int smallChange);
    int LargeChange() const { return m_largeChange; }
    void SetLargeChange(int largeChange);

    Event<> Change;
    Event<> Scroll;

  private:
    int Limit(int value) const;
    int m_value;
    int m_min;
    int m_max;
    int m_smallChange = 1;
    int m_largeChange = 1;
};

class Slider : public RangeControl {
  public:
    explicit Slider(std::string name, int min = 0, int max = 10);

    int TickFrequency() const { return m_tickFrequency; }
    void SetTickFrequency(int frequency);
    Orientation GetOrientation() const { return m_orientation; }
    void SetOrientation(Orientation orientation);

  private:
    int m_tickFrequency = 1;
    Orientation m_orientation = Orientation::Horizontal;
};

class ScrollBar : public RangeControl {
  public:
    explicit ScrollBar(std::string name, Orientation orientation, int min = 0, int max = 32767);

    Orientation GetOrientation() const { return m_orientation; }

  private:
    Orientation m_orientation;
};

class ProgressBar : public Control {
  public:
    explicit ProgressBar(std::string name, double min = 0, double max = 100);

    double Value() const { return m_value; }
    // Limited to Min..Max.
    void SetValue(double value);
    double Min() const { return m_min; }
    double Max() const { return m_max; }
    void SetMin(double min);
    void SetMax(double max);
    void SetRange(double min, double max);

  private:
    double m_value;
    double m_min;
    double m_max;
};

}  // namespace zd
