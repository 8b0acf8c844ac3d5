// The window's control run to the end of a reading on the window's clock: the scan's timer and
// the window's events go on while a reading (the report, a backup) waits for them.
#pragma once

#include "connection/ControlRun.h"
#include "frame/configZD4270.h"
#include "gui/WindowHost.h"
#include "platform/Scheduler.h"

namespace zd {

class WindowRun : public ControlRun {
  public:
    WindowRun(configZD4270& control, const CountedDialogs& boxes)
        : m_control(control), m_boxes(boxes) {}
    AddressingLine& Line() override { return m_control.EngineLine(); }
    // The form follows a run of the terminal's that it found at its refresh.
    bool TerminalStillAddressing() override { return m_control.RndAddrRunning(); }
    void DeviceListReplacing() override { m_control.ReleaseDeviceViews(); }
    void DeviceListReplaced() override { m_control.ShowScannedDevices(); }
    bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) override {
        return m_control.GetContext().scheduler.RunUntil(done, limitMs);
    }

    // The scan's progress bar shows how far an engine procedure has come.
    void ShowProgress(const ProgressState& state) override {
        if (!state.fraction) return;
        m_control.prgState.SetVisible(true);
        m_control.prgState.SetValue(*state.fraction * m_control.prgState.Max());
    }
    void EndEngineRun() override { m_control.prgState.SetVisible(false); }
    bool Confirm(const MessageBoxRequest& question) override {
        return m_control.GetContext().dialogs.MessageBox(question) == MsgResult::Yes;
    }
    // The control's store, which keeps the emergency tests' log the report shows.
    RegistryAccess* Store() override { return &m_control.Registry(); }

  protected:
    const std::vector<MessageBoxRequest>& ShownBoxes() const override { return m_boxes.Shown(); }

  private:
    configZD4270& m_control;
    const CountedDialogs& m_boxes;
};

}  // namespace zd
