// The engine's readout of one device on a simulated line, with no control around it: the queries
// of the device pages in their order, typed results for a healthy gear, a failed lamp, a silent
// address, two gear on one address and a connection lost midway, and nothing sent that changes a
// level or a setting unless the optical feedback is asked for.
#include <gtest/gtest.h>

#include <vector>

#include "engine/DeviceReadout.h"
#include "link/Commands.h"
#include "support/EngineRig.h"
#include "support/LineFrames.h"

namespace zd {
namespace {

using test::EngineRig;

constexpr int kAddress = 5;

sim::GearConfig Gear(std::uint8_t shortAddress) {
    sim::GearConfig gear;
    gear.shortAddress = shortAddress;
    gear.randomAddress = 0x123456;
    gear.actualLevel = 200;
    gear.powerOnLevel = 180;
    gear.systemFailureLevel = 170;
    gear.minLevel = 20;
    gear.maxLevel = 250;
    gear.fadeTime = 3;
    gear.fadeRate = 9;
    gear.groups = 0x0109;  // 0, 3 and 8
    gear.scenes[0] = 200;
    gear.scenes[15] = 0;
    return gear;
}

sim::LineDescription Line(std::vector<sim::GearConfig> gear) {
    sim::LineDescription line;
    line.gear = std::move(gear);
    return line;
}

// The queries the device pages ask, in their order: the twelve variables (the fade byte twice,
// the random address in three), both halves of the groups, the sixteen scenes.
std::vector<std::uint16_t> PageQueries(int address) {
    const auto word = [address](int command) {
        return static_cast<std::uint16_t>(((2 * address + 1) << 8) | command);
    };
    std::vector<std::uint16_t> frames;
    for (int command : {160, 163, 164, 162, 161, 165, 165, 194, 195, 196, 144, 151, 153, 154})
        frames.push_back(word(command));
    for (int command : {192, 193}) frames.push_back(word(command));
    for (int scene = 0; scene < 16; ++scene) frames.push_back(word(176 + scene));
    return frames;
}

// Each frame twice, as a silent address is asked a second time.
std::vector<std::uint16_t> Twice(const std::vector<std::uint16_t>& frames) {
    std::vector<std::uint16_t> twice;
    for (std::uint16_t frame : frames) twice.insert(twice.end(), {frame, frame});
    return twice;
}

TEST(DeviceReadoutTest, AHealthyGearIsReadWholeWithThePagesQueriesAndNothingElse) {
    EngineRig rig(Line({Gear(kAddress)}));
    std::vector<ProgressState> steps;
    ReadoutOptions options;
    options.progress = [&steps](const ProgressState& step) { steps.push_back(step); };
    EngineTerminal terminal = rig.Terminal();
    const DeviceReadout readout = ReadDevice(terminal, kAddress, options);

    EXPECT_TRUE(readout.outcome.Ok()) << readout.outcome.text;
    EXPECT_EQ(readout.answer, DeviceAnswer::Answered);
    const DeviceVariables& v = *readout.variables;
    EXPECT_EQ(v.Value(DeviceVariable::ActualLevel), 200);
    EXPECT_EQ(v.Value(DeviceVariable::PowerOnLevel), 180);
    EXPECT_EQ(v.Value(DeviceVariable::SystemFailureLevel), 170);
    EXPECT_EQ(v.Value(DeviceVariable::MinLevel), 20);
    EXPECT_EQ(v.Value(DeviceVariable::MaxLevel), 250);
    EXPECT_EQ(v.Value(DeviceVariable::FadeRate), 9);
    EXPECT_EQ(v.Value(DeviceVariable::FadeTime), 3);
    EXPECT_EQ(v.RandomAddress(), 0x123456u);
    EXPECT_EQ(v.Value(DeviceVariable::RandomAddress), 0x123456);
    EXPECT_EQ(v.Value(DeviceVariable::Version), 1);
    EXPECT_EQ(v.Value(DeviceVariable::DeviceType), 6);
    EXPECT_EQ(v.Value(DeviceVariable::PhysicalMinLevel), 1);
    EXPECT_EQ(v.LampFailure(), false);
    EXPECT_TRUE(v.Unread().empty());
    EXPECT_EQ(readout.groups->Groups(), (std::vector<int>{0, 3, 8}));
    EXPECT_EQ(readout.scenes->Level(0), 200);
    EXPECT_EQ(readout.scenes->Level(15), 0);
    EXPECT_EQ(readout.scenes->Level(7), kDaliMask);

    EXPECT_EQ(rig.Frames(), PageQueries(kAddress));
    // One step per variable, half of the groups and scene, each told before it is read.
    ASSERT_EQ(steps.size(), 30u);
    EXPECT_EQ(steps[12].stage, ProgressStage::Groups);
    EXPECT_EQ(steps[12].stageStep, 0);
    EXPECT_EQ(steps.back().done, 29);
    EXPECT_EQ(steps.back().total, 30);
    EXPECT_EQ(rig.Sim().GearLevel(1), 200);
    EXPECT_TRUE(rig.ctx.dialogs.boxes.empty());
}

TEST(DeviceReadoutTest, AFailedLampIsInTheStatusAndTheActualLevel) {
    sim::GearConfig gear = Gear(kAddress);
    gear.lamp = sim::LampState::Failed;
    EngineRig rig(Line({gear}));
    EngineTerminal terminal = rig.Terminal();
    const DeviceReadout readout = ReadDevice(terminal, kAddress);

    EXPECT_EQ(readout.answer, DeviceAnswer::Answered);
    EXPECT_EQ(readout.variables->LampFailure(), true);
    EXPECT_NE(*readout.variables->Value(DeviceVariable::Status) & kStatusLampFailure, 0);
    EXPECT_EQ(readout.variables->Value(DeviceVariable::ActualLevel), 255);
}

// Another master on the line: a collided query reached no gear; it goes out again and the gear
// is read whole.
TEST(DeviceReadoutTest, ACollidedQueryGoesOutAgain) {
    EngineRig rig(Line({Gear(kAddress)}));
    EngineTerminal terminal = rig.Terminal();
    rig.Sim().Faults().m_collideNextCommands = 3;
    const DeviceReadout readout = ReadDevice(terminal, kAddress);
    EXPECT_EQ(readout.answer, DeviceAnswer::Answered);
    EXPECT_EQ(readout.variables->Value(DeviceVariable::ActualLevel), 200);
}

TEST(DeviceReadoutTest, ASilentAddressIsAskedTwiceForEachValueAndSaysSo) {
    EngineRig rig(Line({Gear(kAddress)}));
    EngineTerminal terminal = rig.Terminal();
    const DeviceReadout readout = ReadDevice(terminal, 9);

    EXPECT_EQ(readout.answer, DeviceAnswer::Silent);
    EXPECT_EQ(readout.outcome.failure, EngineFailure::Incomplete);
    EXPECT_EQ(readout.outcome.text, "the device at address 9 does not answer");
    EXPECT_EQ((*readout.variables)[DeviceVariable::MaxLevel].state, ReadState::NoAnswer);
    EXPECT_EQ(readout.variables->Unread().size(), 12u);
    EXPECT_EQ(readout.groups->Unread().size(), 16u);
    EXPECT_EQ(readout.scenes->Unread().size(), 16u);
    EXPECT_FALSE(readout.variables->LampFailure());
    EXPECT_EQ(rig.Frames(), Twice(PageQueries(9)));

    // A gear that answers only every second question answers the second ask.
    sim::GearConfig wary = Gear(kAddress);
    wary.faults.m_answerEverySecondQuery = true;
    EngineRig second(Line({wary}));
    EngineTerminal secondTerminal = second.Terminal();
    const DeviceReadout read = ReadDevice(secondTerminal, kAddress);
    EXPECT_EQ(read.answer, DeviceAnswer::Answered);
    EXPECT_EQ(read.variables->Value(DeviceVariable::MaxLevel), 250);
}

TEST(DeviceReadoutTest, TwoGearOnOneAddressAreAConflict) {
    sim::GearConfig other = Gear(kAddress);
    other.randomAddress = 0x654321;
    other.actualLevel = 100;
    EngineRig rig(Line({Gear(kAddress), other}));
    EngineTerminal terminal = rig.Terminal();
    const DeviceReadout readout = ReadDevice(terminal, kAddress);

    EXPECT_EQ(readout.answer, DeviceAnswer::Conflict);
    EXPECT_EQ(readout.outcome.text, "several devices answer at address 5 at once");
    EXPECT_EQ((*readout.variables)[DeviceVariable::ActualLevel].state, ReadState::SeveralAnswered);
    EXPECT_EQ((*readout.variables)[DeviceVariable::RandomAddress].state,
              ReadState::SeveralAnswered);
    EXPECT_FALSE(readout.variables->RandomAddress());
    // A corrupt frame is no silence: each query is asked once.
    EXPECT_EQ(rig.Frames(), PageQueries(kAddress));
}

TEST(DeviceReadoutTest, ALostConnectionEndsTheReadingWithWhatItHasRead) {
    EngineRig rig(Line({Gear(kAddress)}));
    EngineTerminal terminal = rig.Terminal();
    ReadoutOptions options;
    int steps = 0;
    std::int64_t armedAt = 0;
    options.progress = [&](const ProgressState&) {
        // The connection goes while the fourth variable is read.
        if (++steps == 4) {
            armedAt = rig.devCom->Calls();
            rig.devCom->Faults().m_failOnCall = 3;
            rig.devCom->Faults().m_staysFailed = true;
        }
    };
    const DeviceReadout readout = ReadDevice(terminal, kAddress, options);

    EXPECT_EQ(readout.answer, DeviceAnswer::LinkLost);
    EXPECT_EQ(readout.outcome.failure, EngineFailure::CommunicationLost);
    const DeviceVariables& v = *readout.variables;
    EXPECT_EQ(v.Value(DeviceVariable::ActualLevel), 200);
    EXPECT_EQ(v.Value(DeviceVariable::SystemFailureLevel), 170);
    EXPECT_EQ(v[DeviceVariable::MinLevel].state, ReadState::LinkFailed);
    EXPECT_EQ(v[DeviceVariable::MaxLevel].state, ReadState::NotAsked);
    EXPECT_EQ(readout.groups->masks[0].state, ReadState::NotAsked);
    EXPECT_EQ(readout.scenes->Unread().size(), 16u);
    EXPECT_EQ(steps, 4);
    // One box for the loss, and nothing more tried on the wire after the call that failed.
    EXPECT_EQ(rig.ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(rig.devCom->Calls(), armedAt + 3);
    EXPECT_EQ(rig.Frames().size(), 3u);
}

TEST(DeviceReadoutTest, OpticalFeedbackOnlyOnRequestAndNothingOutsideDaliMode) {
    EngineRig rig(Line({Gear(kAddress), Gear(7)}));
    ReadoutOptions options;
    options.variables = false;
    options.scenes = false;
    options.opticalFeedback = true;
    EngineTerminal terminal = rig.Terminal();
    const DeviceReadout readout = ReadDevice(terminal, kAddress, options);
    EXPECT_TRUE(readout.outcome.Ok());
    EXPECT_FALSE(readout.variables);
    const std::vector<std::uint16_t> frames = rig.Frames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0], 0xFF06);  // RECALL MIN LEVEL to every gear
    EXPECT_EQ(frames[1], 0x0B05);  // RECALL MAX LEVEL to the device
    EXPECT_EQ(readout.groups->Groups(), (std::vector<int>{0, 3, 8}));

    rig.state.m_nOperationMode = kModeDsi;
    rig.Sim().ClearFrameLog();
    const DeviceReadout refused = ReadDevice(terminal, kAddress);
    EXPECT_EQ(refused.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(refused.outcome.text, "The ZD4270 is not in the DALI-Mode!");
    EXPECT_TRUE(rig.Frames().empty());
}

}  // namespace
}  // namespace zd
