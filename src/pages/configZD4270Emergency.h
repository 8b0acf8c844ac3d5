// The emergency page of one emergency luminaire (device type 1): its mode, status, failures,
// battery and last duration test as the gear reports them, and function and duration tests
// started, followed every two seconds and stopped from here.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/Emergency.h"
#include "pages/PageSupport.h"
#include "ui/Controls.h"
#include "ui/Timer.h"

namespace zd {

class configZD4270Emergency : public DaliDevicePage {
  public:
    explicit configZD4270Emergency(const Context& context);
    ~configZD4270Emergency() override;

    // A new short address reads the gear's state.
    void SetDALIAddr(std::int16_t nAddr) override;

    // The test this page started and follows, if any.
    std::optional<EmergencyTestKind> RunningTest() const { return m_test; }

    Label lblInfo{"lblInfo"};
    Label lblModeCaption{"lblModeCaption"};
    Label lblMode{"lblMode"};
    Label lblStatusCaption{"lblStatusCaption"};
    Label lblStatus{"lblStatus"};
    Label lblFailuresCaption{"lblFailuresCaption"};
    Label lblFailures{"lblFailures"};
    Label lblBatteryCaption{"lblBatteryCaption"};
    Label lblBattery{"lblBattery"};
    Label lblRatedCaption{"lblRatedCaption"};
    Label lblRated{"lblRated"};
    Label lblLastDurationCaption{"lblLastDurationCaption"};
    Label lblLastDuration{"lblLastDuration"};
    Label lblTest{"lblTest"};
    Button btnFunctionTest{"btnFunctionTest"};
    Button btnDurationTest{"btnDurationTest"};
    Button btnStopTest{"btnStopTest"};
    Button btnRefresh{"btnRefresh"};
    Timer timerTest{"timerTest"};

  private:
    void PlaceControls();
    std::string Text(std::string_view english,
                     std::initializer_list<std::string_view> args = {}) const;
    void ReadState();
    void ShowState(const EmergencyStatusReport& report);
    void StartTest(EmergencyTestKind kind);
    void btnStopTest_Click();
    void timerTest_Timer();
    // Tells the main control of a finished test, for the store's log of tests.
    void NoteTestDone(bool function, bool passed, const EmergencyState& state);
    void EnableButtons();

    std::int16_t m_nLastReadAddr = -1;
    bool m_bEmergency = false;
    std::optional<EmergencyTestKind> m_test;
    std::int64_t m_testStartMs = 0;
};

}  // namespace zd
