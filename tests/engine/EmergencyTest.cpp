// Emergency gear through the engine on the simulated line: the frames a test start puts on the
// line, a test that waits for its battery, a cancel that stops the test, and a limit that passes.
#include "engine/Emergency.h"
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

}  // namespace
}  // namespace zd::test
