// Emergency gear through the engine on the simulated line: the frames a test start puts on the
// line, a test that waits for its battery, a cancel that stops the test, and a limit that passes.
#include "engine/Emergency.h"
#include "engine/EmergencyLog.h"
#include "support/EngineRig.h"

namespace zd::test {
namespace {

using EmergencyTest = ProcedureRig;

constexpr std::uint16_t kFirmware = 0x314D;

TEST_F(EmergencyTest, ExtendedCommandsGoOutAfterTheEnableAndTwiceWhereTheGearWantsIt) {
    UseExampleLine("emergency.json", kFirmware);
    Sim().ClearFrameLog();
    ASSERT_TRUE(StartEmergencyTest(line.Terminal(), 1, EmergencyTestKind::Function).Ok());
    std::vector<std::uint16_t> frames;
    std::vector<sim::Micros> times;
    for (const sim::SentFrame& sent : Sim().FrameLog()) {
        frames.push_back(sent.frame);
        times.push_back(sent.endUs);
    }
    EXPECT_EQ(frames, (std::vector<std::uint16_t>{0xC101, 0x03E6, 0x03E6, 0xC101, 0x03E3, 0x03E3}));
    ASSERT_EQ(times.size(), 6u);
    EXPECT_LE(times[5] - times[4], 100000);
    Sim().ClearFrameLog();
    const EmergencyStatusReport status = ReadEmergencyStatus(line.Terminal(), 1);
    EXPECT_EQ(EmergencyModeOf(status.state->mode.value), EmergencyMode::FunctionTest);
}

TEST_F(EmergencyTest, APendingTestIsShownAndACancelStopsIt) {
    UseExampleLine("emergency.json", kFirmware);
    // A drained battery: the duration test waits until it is full again.
    for (const auto& gear : Sim().GetLine().Gear())
        if (gear->ShortAddress() == 1) gear->Emergency()->SetMains(false, 0);
    ctx.scheduler.RunFor(10 * 60 * 1000);
    for (const auto& gear : Sim().GetLine().Gear())
        if (gear->ShortAddress() == 1)
            gear->Emergency()->SetMains(true, ctx.scheduler.Now() * 1000);

    std::vector<ProgressState> seen;
    EmergencyTestRequest request;
    request.address = 1;
    request.kind = EmergencyTestKind::Duration;
    const EmergencyTestReport report = RunEmergencyTest(
        line.Terminal(), request, [&](const ProgressState& p) { seen.push_back(p); },
        [&] {
            return !seen.empty() && seen.back().stage == ProgressStage::Running &&
                   seen.back().elapsedMs > 600000;
        });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().stage, ProgressStage::Pending);
    EXPECT_EQ(seen.back().stage, ProgressStage::Running);
    EXPECT_EQ(report.outcome.failure, EngineFailure::Cancelled);
    EXPECT_FALSE(report.result.done);
    const EmergencyStatusReport after = ReadEmergencyStatus(line.Terminal(), 1);
    EXPECT_EQ(EmergencyModeOf(after.state->mode.value), EmergencyMode::Normal);
    EXPECT_EQ(after.state->emergencyStatus.value & kEmergencyDurationTestDone, 0);

    // A limit shorter than the test stops it too, and says so.
    request.kind = EmergencyTestKind::Function;
    request.limitMs = 5000;
    const EmergencyTestReport late = RunEmergencyTest(line.Terminal(), request);
    EXPECT_EQ(late.outcome.failure, EngineFailure::Incomplete);
    EXPECT_NE(late.outcome.text.find("no result within"), std::string::npos) << late.outcome.text;
}

// Every test ends: a gear back in normal operation without its done flag gave no result; a
// function test that never ends is stopped at its ceiling.
TEST_F(EmergencyTest, ATestWithoutResultOrThatNeverEndsEndsWithTheReason) {
    UseExampleLine("emergency.json", kFirmware);
    sim::Ballast& gear = *Sim().GetLine().Gear()[0];
    EmergencyTestRequest request;
    request.address = 1;
    gear.Faults().m_emergency.m_testEndsWithoutResult = true;
    const EmergencyTestReport silent = RunEmergencyTest(line.Terminal(), request);
    EXPECT_EQ(silent.outcome.failure, EngineFailure::Incomplete);
    EXPECT_EQ(silent.outcome.text, "the gear gave no result");
    EXPECT_LT(silent.result.tookMs, 60000);

    gear.Faults().m_emergency = {};
    gear.Faults().m_emergency.m_testNeverEnds = true;
    const EmergencyTestReport hung = RunEmergencyTest(line.Terminal(), request);
    EXPECT_EQ(hung.outcome.failure, EngineFailure::Incomplete);
    EXPECT_NE(hung.outcome.text.find("ran longer than"), std::string::npos) << hung.outcome.text;
    EXPECT_LT(hung.result.tookMs, 6 * 60000);
    EXPECT_EQ(EmergencyModeOf(ReadEmergencyStatus(line.Terminal(), 1).state->mode.value),
              EmergencyMode::Normal);
}

// A gear that loses every other answer: each query is asked again, and the failure status of a
// failed test is read as the gear holds it. A failure status that stays unread is none, not 0.
TEST_F(EmergencyTest, ALostAnswerIsAskedAgainAndAnUnreadResultIsNone) {
    UseExampleLine("emergency.json", kFirmware);
    sim::Ballast& lamp = *Sim().GetLine().Gear()[1];
    lamp.Faults().m_answerEverySecondQuery = true;
    EmergencyTestRequest request;
    request.address = 2;
    const EmergencyTestReport failed = RunEmergencyTest(line.Terminal(), request);
    ASSERT_TRUE(failed.outcome.Ok()) << failed.outcome.text;
    EXPECT_EQ(failed.result.failureStatus, std::optional<std::uint8_t>(0x48));
    EXPECT_EQ(failed.result.passed, std::optional<bool>(false));

    lamp.Faults().m_answerEverySecondQuery = false;
    const EmergencyTestReport unread =
        RunEmergencyTest(line.Terminal(), request, [&](const ProgressState& p) {
            if (p.stage != ProgressStage::Running && p.stage != ProgressStage::Pending)
                lamp.Faults().m_silent = true;
        });
    EXPECT_TRUE(unread.result.done);
    EXPECT_EQ(unread.result.failureStatus, std::nullopt);
    EXPECT_EQ(unread.result.passed, std::nullopt);
    EXPECT_EQ(unread.outcome.failure, EngineFailure::Incomplete);
}

// The store's log is checked as it is read: a value no gear could give is no entry.
TEST(EmergencyLogTest, ImpossibleValuesInTheStoreAreNoEntry) {
    MemoryRegistry store;
    const EmergencyLogEntry good{"2026-03-01 10:00:00", true, 0, 180, 180};
    WriteEmergencyLogEntry(store, 1, 5, EmergencyTestKind::Duration, good);
    ASSERT_TRUE(ReadEmergencyLogEntry(store, 1, 5, EmergencyTestKind::Duration).has_value());
    const std::string key =
        "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Emergency\\Position 1";
    for (const char* text :
         {"date=2026-03-01 10:00:00;passed=1;failureStatus=0;durationMinutes=-5;ratedMinutes=0",
          "date=2026-03-01 10:00:00;passed=2;failureStatus=0",
          "date=2026-03-01 10:00:00;passed=0;failureStatus=300",
          "date=yesterday;passed=1;failureStatus=0"}) {
        store.WriteString(RegistryAccess::kHkeyCurrentUser, key, "A5 duration", text);
        EXPECT_FALSE(ReadEmergencyLogEntry(store, 1, 5, EmergencyTestKind::Duration).has_value())
            << text;
    }
}

}  // namespace
}  // namespace zd::test
