#include "ui/Slider.h"

#include <algorithm>
#include <utility>

namespace zd {

RangeControl::RangeControl(std::string name, int min, int max)
    : Control(std::move(name)), m_value(min), m_min(min), m_max(std::max(min, max)) {}

int RangeControl::Limit(int value) const {
    return std::clamp(value, m_min, m_max);
}

void RangeControl::SetValue(int value) {
    if (Assign(m_value, Limit(value))) {
        Change.Raise();
    }
}

void RangeControl::DragTo(int value) {
    if (!IsEffectivelyEnabled()) {
        return;
    }
    if (Assign(m_value, Limit(value))) {
        Scroll.Raise();
    }
}

void RangeControl::SetMin(int min) {
    SetRange(min, std::max(min, m_max));
}
void RangeControl::SetMax(int max) {
    SetRange(std::min(m_min, max), max);
}

void RangeControl::SetRange(int min, int max) {
    max = std::max(min, max);
    if (min == m_min && max == m_max) {
        return;
    }
    m_min = min;
    m_max = max;
    RaiseChanged();
    SetValue(m_value);
}

void RangeControl::SetSmallChange(int smallChange) {
    Assign(m_smallChange, smallChange);
}
void RangeControl::SetLargeChange(int largeChange) {
    Assign(m_largeChange, largeChange);
}

Slider::Slider(std::string name, int min, int max) : RangeControl(std::move(name), min, max) {}

void Slider::SetTickFrequency(int frequency) {
    Assign(m_tickFrequency, frequency);
}
void Slider::SetOrientation(Orientation orientation) {
    Assign(m_orientation, orientation);
}

ScrollBar::ScrollBar(std::string name, Orientation orientation, int min, int max)
    : RangeControl(std::move(name), min, max), m_orientation(orientation) {}

ProgressBar::ProgressBar(std::string name, double min, double max)
    : Control(std::move(name)), m_value(min), m_min(min), m_max(std::max(min, max)) {}

void ProgressBar::SetValue(double value) {
    Assign(m_value, std::clamp(value, m_min, m_max));
}
void ProgressBar::SetMin(double min) {
    SetRange(min, std::max(min, m_max));
}
void ProgressBar::SetMax(double max) {
    SetRange(std::min(m_min, max), max);
}

void ProgressBar::SetRange(double min, double max) {
    max = std::max(min, max);
    if (min == m_min && max == m_max) {
        return;
    }
    m_min = min;
    m_max = max;
    m_value = std::clamp(m_value, m_min, m_max);
    RaiseChanged();
}

}  // namespace zd
