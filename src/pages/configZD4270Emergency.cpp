#include "pages/configZD4270Emergency.h"

#include <initializer_list>
#include <string>

#include "engine/Progress.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// How often a running test is asked how it goes.
constexpr std::int64_t kTestPollMs = 2000;

}  // namespace

configZD4270Emergency::configZD4270Emergency(const Context& context)
    : DaliDevicePage(PageClassName(PageKind::Emergency), context) {
    PlaceControls();
    btnFunctionTest.Clicked.Connect([this] { StartTest(EmergencyTestKind::Function); });
    btnDurationTest.Clicked.Connect([this] { StartTest(EmergencyTestKind::Duration); });
    btnStopTest.Clicked.Connect([this] { btnStopTest_Click(); });
    btnRefresh.Clicked.Connect(
        [this] { Guard(m_context, "btnRefresh_Click", [this] { ReadState(); }); });
    timerTest.Tick.Connect([this] { timerTest_Timer(); });
    timerTest.SetInterval(kTestPollMs);
    timerTest.AttachScheduler(m_context.scheduler);
}

configZD4270Emergency::~configZD4270Emergency() {
    timerTest.SetEnabled(false);
    timerTest.DetachScheduler();
}

std::string configZD4270Emergency::Text(std::string_view english,
                                        std::initializer_list<std::string_view> args) const {
    return HostText(m_context.messages.GetLanguage(), english, args);
}

void configZD4270Emergency::PlaceControls() {
    for (Control* c : std::initializer_list<Control*>{
             &lblInfo, &lblModeCaption, &lblMode, &lblStatusCaption, &lblStatus,
             &lblFailuresCaption, &lblFailures, &lblBatteryCaption, &lblBattery, &lblRatedCaption,
             &lblRated, &lblLastDurationCaption, &lblLastDuration, &lblTest, &btnFunctionTest,
             &btnDurationTest, &btnStopTest, &btnRefresh}) {
        AddChild(*c);
    }
    lblInfo.Move(120, 120, 5175, 480);
    lblInfo.SetWordWrap(true);
    const std::pair<Label*, Label*> rows[] = {
        {&lblModeCaption, &lblMode},         {&lblStatusCaption, &lblStatus},
        {&lblFailuresCaption, &lblFailures}, {&lblBatteryCaption, &lblBattery},
        {&lblRatedCaption, &lblRated},       {&lblLastDurationCaption, &lblLastDuration}};
    int top = 720;
    for (const auto& [caption, value] : rows) {
        caption->Move(120, top, 1800, 600);
        value->Move(1980, top, 3315, 600);
        value->SetWordWrap(true);
        top += 660;
    }
    lblTest.Move(120, top, 5175, 480);
    lblTest.SetWordWrap(true);
    top += 600;
    btnFunctionTest.Move(120, top, 2535, 375);
    btnDurationTest.Move(2760, top, 2535, 375);
    btnStopTest.Move(120, top + 480, 2535, 375);
    btnRefresh.Move(2760, top + 480, 2535, 375);

    lblModeCaption.SetCaption(Text("Mode:"));
    lblStatusCaption.SetCaption(Text("Status:"));
    lblFailuresCaption.SetCaption(Text("Failures:"));
    lblBatteryCaption.SetCaption(Text("Battery:"));
    lblRatedCaption.SetCaption(Text("Rated duration:"));
    lblLastDurationCaption.SetCaption(Text("Last duration test:"));
    btnFunctionTest.SetCaption(Text("Function test"));
    btnDurationTest.SetCaption(Text("Duration test"));
    btnStopTest.SetCaption(Text("Stop test"));
    btnRefresh.SetCaption(Text("Refresh"));
    EnableButtons();
}

void configZD4270Emergency::SetDALIAddr(std::int16_t nAddr) {
    if (nAddr < 0 || nAddr > 63 || nAddr == m_nLastReadAddr) return;
    DaliDevicePage::SetDALIAddr(nAddr);
    m_nLastReadAddr = nAddr;
    Guard(m_context, "SetDALIAddr", [this] { ReadState(); });
}

void configZD4270Emergency::EnableButtons() {
    btnFunctionTest.SetEnabled(m_bEmergency && !m_test);
    btnDurationTest.SetEnabled(m_bEmergency && !m_test);
    btnStopTest.SetEnabled(m_bEmergency);
    btnRefresh.SetEnabled(m_nLastReadAddr >= 0);
}

void configZD4270Emergency::ReadState() {
    EngineTerminal terminal = WriteTerminal();
    ShowState(ReadEmergencyStatus(terminal, DALIAddr()));
}

void configZD4270Emergency::ShowState(const EmergencyStatusReport& report) {
    const std::string address = std::to_string(report.address);
    m_bEmergency = report.gear.presence == EmergencyPresence::Emergency;
    switch (report.gear.presence) {
        case EmergencyPresence::Emergency:
            lblInfo.SetCaption(
                Text("Emergency lighting (device type 1) at short address %1", {address}));
            break;
        case EmergencyPresence::OtherType:
            lblInfo.SetCaption(
                Text("the gear at short address %1 is of device type %2, not "
                     "emergency lighting (device type 1)",
                     {address, std::to_string(report.gear.deviceType.value)}));
            break;
        case EmergencyPresence::NoGear:
            lblInfo.SetCaption(Text("no gear answers at short address %1", {address}));
            break;
        case EmergencyPresence::Unreadable:
            lblInfo.SetCaption(report.outcome.text);
            break;
    }
    auto words = [this](const std::vector<std::string>& names) {
        std::string text;
        for (const std::string& name : names) text += (text.empty() ? "" : ", ") + Text(name);
        return text.empty() ? std::string("-") : text;
    };
    const EmergencyState state = report.state.value_or(EmergencyState{});
    lblMode.SetCaption(
        state.mode.Answered() ? Text(EmergencyModeName(EmergencyModeOf(state.mode.value))) : "?");
    lblStatus.SetCaption(state.emergencyStatus.Answered()
                             ? words(EmergencyStatusNames(state.emergencyStatus.value))
                             : "?");
    lblFailures.SetCaption(state.failureStatus.Answered()
                               ? words(EmergencyFailureNames(state.failureStatus.value))
                               : "?");
    lblBattery.SetCaption(state.batteryCharge.Answered() && state.batteryCharge.value != 255
                              ? std::to_string(state.batteryCharge.value * 100 / 254) + " %"
                              : "?");
    lblRated.SetCaption(state.ratedDuration.Answered() && state.ratedDuration.value != 255
                            ? std::to_string(state.ratedDuration.value * 2) + " min"
                            : "?");
    // A gear that never ran a duration test reports 0 minutes: no result rather than a short one.
    const bool durationTested = state.durationTestResult.Answered() &&
                                (state.durationTestResult.value != 0 ||
                                 (state.emergencyStatus.Answered() &&
                                  (state.emergencyStatus.value & kEmergencyDurationTestDone) != 0));
    lblLastDuration.SetCaption(!state.durationTestResult.Answered() ? "?"
                               : durationTested
                                   ? std::to_string(state.durationTestResult.value * 2) + " min"
                                   : "-");
    EnableButtons();
}

void configZD4270Emergency::StartTest(EmergencyTestKind kind) {
    Guard(m_context, "StartTest", [&] {
        EngineTerminal terminal = WriteTerminal();
        const EngineOutcome started = StartEmergencyTest(terminal, DALIAddr(), kind);
        if (!started.Ok()) {
            lblTest.SetCaption(started.text);
            return;
        }
        m_test = kind;
        m_testStartMs = m_context.scheduler.Now();
        lblTest.SetCaption(Text(
            kind == EmergencyTestKind::Function ? "function test at %1" : "duration test at %1",
            {std::to_string(DALIAddr())}));
        EnableButtons();
        timerTest.SetEnabled(true);
    });
}

void configZD4270Emergency::btnStopTest_Click() {
    Guard(m_context, "btnStopTest_Click", [this] {
        timerTest.SetEnabled(false);
        EngineTerminal terminal = WriteTerminal();
        StopEmergencyTest(terminal, DALIAddr());
        m_test.reset();
        lblTest.SetCaption(Text("the test was stopped"));
        ReadState();
    });
}

void configZD4270Emergency::NoteTestDone(bool function, bool passed, const EmergencyState& state) {
    std::int16_t nAddr = DALIAddr();
    std::int16_t nKind = function ? 0 : 1;
    std::int16_t nPassed = passed ? 1 : 0;
    std::uint8_t nFailure = state.failureStatus.value;
    std::int16_t nMinutes = -1;
    std::int16_t nRated = -1;
    if (!function && state.durationTestResult.Answered())
        nMinutes = static_cast<std::int16_t>(state.durationTestResult.value * 2);
    if (!function && state.ratedDuration.Answered() && state.ratedDuration.value != 255)
        nRated = static_cast<std::int16_t>(state.ratedDuration.value * 2);
    EventParams params;
    params.Bind("nAddr", nAddr)
        .Bind("nKind", nKind)
        .Bind("nPassed", nPassed)
        .Bind("nFailure", nFailure)
        .Bind("nMinutes", nMinutes)
        .Bind("nRated", nRated);
    RaiseEvent("EmergencyTestDone", params);
}

void configZD4270Emergency::timerTest_Timer() {
    Guard(m_context, "timerTest_Timer", [this] {
        if (!m_test) {
            timerTest.SetEnabled(false);
            return;
        }
        EngineTerminal terminal = WriteTerminal();
        const EmergencyStatusReport report = ReadEmergencyStatus(terminal, DALIAddr());
        ShowState(report);
        if (!report.state || !report.state->emergencyStatus.Answered()) return;
        const bool function = *m_test == EmergencyTestKind::Function;
        const std::uint8_t status = report.state->emergencyStatus.value;
        const bool running =
            report.state->mode.Answered() &&
            EmergencyModeOf(report.state->mode.value) ==
                (function ? EmergencyMode::FunctionTest : EmergencyMode::DurationTest);
        const std::uint8_t doneBit =
            function ? kEmergencyFunctionTestDone : kEmergencyDurationTestDone;
        const std::uint8_t pendingBit =
            function ? kEmergencyFunctionTestPending : kEmergencyDurationTestPending;
        const std::string what = Text(function ? "function test at %1" : "duration test at %1",
                                      {std::to_string(DALIAddr())});
        if ((status & doneBit) && !running) {
            const std::uint8_t failed =
                function ? kEmergencyFunctionTestFailed : kEmergencyDurationTestFailed;
            const bool passed = report.state->failureStatus.Answered() &&
                                (report.state->failureStatus.value & failed) == 0;
            lblTest.SetCaption(what + ": " + Text(passed ? "passed" : "failed"));
            NoteTestDone(function, passed, *report.state);
            m_test.reset();
            timerTest.SetEnabled(false);
            EnableButtons();
            return;
        }
        const std::int64_t elapsed = m_context.scheduler.Now() - m_testStartMs;
        lblTest.SetCaption(what + ": " +
                           ((status & pendingBit)
                                ? Text("pending")
                                : Text("running") + ", " + DurationText(elapsed)));
    });
}

}  // namespace zd
