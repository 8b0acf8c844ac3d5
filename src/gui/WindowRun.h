// The window's control run to the end of a reading on the window's clock: the scan's timer and
// the window's events go on while a reading (the report, a backup) waits for them.
#pragma once

#include "frame/configZD4270.h"
#include "gui/WindowHost.h"
#include "host/ControlRun.h"
#include "platform/Scheduler.h"

namespace zd {

// How often a reading the window runs lets the control's timers and the window's events in.
inline constexpr std::int64_t kRunStepMs = 5;

class WindowRun : public ControlRun {
  public:
    WindowRun(configZD4270& control, const CountedDialogs& boxes)
        : m_control(control), m_boxes(boxes) {}
    configZD4270& Control() override { return m_control; }
    ModuleState& State() override { return m_control.State(); }
    bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) override {
        Scheduler& clock = m_control.GetContext().scheduler;
        const std::int64_t start = clock.Now();
        while (!done()) {
            if (clock.Now() - start >= limitMs) return false;
            clock.DoEvents();
            if (!done()) clock.Sleep(kRunStepMs);
        }
        return true;
    }
    std::size_t BoxCount() const override { return m_boxes.Shown().size(); }
    std::optional<std::string> ErrorSince(std::size_t mark) const override {
        const auto& shown = m_boxes.Shown();
        for (std::size_t i = mark; i < shown.size(); ++i)
            if (shown[i].icon == MsgIcon::Critical) return shown[i].text;
        return std::nullopt;
    }
    std::optional<std::string> LastBoxSince(std::size_t mark) const override {
        const auto& shown = m_boxes.Shown();
        if (shown.size() <= mark) return std::nullopt;
        return shown.back().text;
    }

  private:
    configZD4270& m_control;
    const CountedDialogs& m_boxes;
};

}  // namespace zd
