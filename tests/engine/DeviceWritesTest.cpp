// The engine's writes of one device on a simulated line: each kind of write lands in the gear and
// is read back, a limit the gear keeps and a silent address are told apart, nothing is sent that
// is refused, and the writes put the very frames on the line that the device pages send.
#include <gtest/gtest.h>

#include <vector>

#include "engine/DeviceWrites.h"
#include "link/Commands.h"
#include "pages/PageRig.h"
#include "pages/configZD4270Groups.h"
#include "pages/configZD4270Scenes.h"
#include "pages/configZD4270Variables.h"
#include "support/EngineRig.h"

namespace zd {
namespace {

using test::EngineRig;

constexpr int kAddress = 5;

sim::GearConfig Gear(std::uint8_t shortAddress) {
    sim::GearConfig gear;
    gear.shortAddress = shortAddress;
    gear.minLevel = 20;
    gear.physicalMinimum = 20;
    gear.groups = 0x0009;  // 0 and 3
    gear.scenes[0] = 200;
    return gear;
}

sim::LineDescription Line(std::vector<sim::GearConfig> gear) {
    sim::LineDescription line;
    line.gear = std::move(gear);
    return line;
}

const sim::Ballast& Ballast(EngineRig& rig) {
    return *rig.Sim().GetLine().Gear().front();
}

TEST(DeviceWritesTest, EachKindOfWriteLandsInTheGearAndIsReadBack) {
    EngineRig rig(Line({Gear(kAddress)}));
    EngineTerminal terminal = rig.Terminal();

    const VariablesWriteReport variables =
        WriteVariables(terminal, kAddress,
                       {{DeviceVariable::MaxLevel, 200, {}}, {DeviceVariable::FadeTime, 4, {}}});
    EXPECT_TRUE(variables.outcome.Ok()) << variables.outcome.text;
    EXPECT_EQ(Ballast(rig).MaxLevel(), 200);
    EXPECT_EQ(Ballast(rig).FadeTime(), 4);
    for (const VariableWrite& write : variables.writes) {
        EXPECT_TRUE(write.result.sent);
        EXPECT_EQ(write.result.check, WriteCheck::Taken);
        ASSERT_EQ(write.result.transactions.size(), 2u);
        EXPECT_EQ(write.result.transactions[0].nCommandId, kCmdDataTransferRegister);
        EXPECT_EQ(write.result.transactions[0].nData, write.value);
    }

    const GroupsWriteReport groups =
        WriteGroups(terminal, kAddress, {{1, true, {}}, {3, false, {}}, {15, true, {}}});
    EXPECT_TRUE(groups.outcome.Ok()) << groups.outcome.text;
    EXPECT_EQ(Ballast(rig).Groups(), 0x8003);
    EXPECT_EQ(groups.readBack->groups->Groups(), (std::vector<int>{0, 1, 15}));

    const ScenesWriteReport scenes =
        WriteScenes(terminal, kAddress, {{3, 128, {}}, {0, kDaliMask, {}}});
    EXPECT_TRUE(scenes.outcome.Ok()) << scenes.outcome.text;
    EXPECT_EQ(Ballast(rig).SceneLevel(3), 128);
    EXPECT_EQ(Ballast(rig).SceneLevel(0), kDaliMask);
    EXPECT_EQ(scenes.writes[1].result.readBack, kDaliMask);

    // A level below the gear's physical minimum is kept at its own limit: sent, not taken.
    const VariablesWriteReport kept =
        WriteVariables(terminal, kAddress, {{DeviceVariable::MinLevel, 5, {}}});
    EXPECT_TRUE(kept.writes[0].result.sent);
    EXPECT_EQ(kept.writes[0].result.check, WriteCheck::NotTaken);
    EXPECT_EQ(kept.writes[0].result.readBack, 20);
    EXPECT_EQ(kept.outcome.failure, EngineFailure::Incomplete);
    EXPECT_EQ(kept.outcome.text, "the device at address 5 did not take min-level");
}

TEST(DeviceWritesTest, ASilentAddressIsWrittenButNothingIsTakenAndRefusalsSendNothing) {
    EngineRig rig(Line({Gear(kAddress)}));
    EngineTerminal terminal = rig.Terminal();
    const GroupsWriteReport silent = WriteGroups(terminal, 9, {{2, true, {}}});
    // A configuration command has no answer: it goes out, and only the read-back tells.
    EXPECT_TRUE(silent.writes[0].result.sent);
    EXPECT_EQ(silent.writes[0].result.check, WriteCheck::Unread);
    EXPECT_EQ(silent.readBack->answer, DeviceAnswer::Silent);
    EXPECT_EQ(silent.outcome.failure, EngineFailure::Incomplete);
    EXPECT_EQ(silent.outcome.text, "group 2 could not be read back from the device at address 9");
    EXPECT_EQ(Ballast(rig).Groups(), 0x0009);

    rig.Sim().ClearFrameLog();
    EXPECT_EQ(WriteVariables(terminal, kAddress, {{DeviceVariable::Status, 1, {}}}).outcome.text,
              "status cannot be written");
    EXPECT_EQ(WriteVariables(terminal, kAddress, {{DeviceVariable::FadeRate, 0, {}}}).outcome.text,
              "fade-rate takes 1 to 15, not 0");
    EXPECT_EQ(WriteScenes(terminal, 64, {{1, 1, {}}}).outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(WriteGroups(terminal, kAddress, {{16, true, {}}}).outcome.failure,
              EngineFailure::Refused);
    EXPECT_TRUE(rig.Frames().empty());
}

// Another master on the line: a collided write reached no gear and goes out again. A scene
// preview leaves the lamp at the level it had.
TEST(DeviceWritesTest, CollidedWritesGoOutAgainAndAScenePreviewPutsTheLampBack) {
    EngineRig rig(Line({Gear(kAddress)}));
    EngineTerminal terminal = rig.Terminal();
    rig.Sim().Faults().m_collideNextCommands = 2;
    const GroupsWriteReport groups = WriteGroups(terminal, kAddress, {{2, true, {}}});
    EXPECT_TRUE(groups.outcome.Ok()) << groups.outcome.text;
    EXPECT_EQ(Ballast(rig).Groups(), 0x000D);

    DeviceWriteOptions options;
    options.readBack = false;
    DeviceScenes held;
    for (auto& level : held.levels) level = {ReadState::Answered, 0};
    options.scenePreview = DeviceWriteOptions::LampPreview{held, 0, true};
    const std::uint8_t before = Ballast(rig).LevelAt(rig.Sim().NowMicros());
    const ScenesWriteReport scenes =
        WriteScenes(terminal, kAddress, {{3, 100, {}}, {4, 50, {}}}, options);
    EXPECT_EQ(scenes.lampLevelBefore, std::optional<std::uint8_t>(before));
    EXPECT_TRUE(scenes.lampLevelRestored);
    rig.Sim().AdvanceToNow();
    EXPECT_EQ(Ballast(rig).LevelAt(rig.Sim().NowMicros() + 60000000), before);
}

// The page's save and the engine's write of the same change, to two gear alike at 5 and 6: the
// frames the pages have always sent, the address aside, at the same times after the first. The
// pages save through the engine; their editor's preview on the lamp is their own.
class WritesAsPagesTest : public test::PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        AddGear(Gear(5));
        AddGear(Gear(6));
        Start();
    }
    EngineTerminal Terminal() {
        return {control->State(), control->TerminalLink(), ctx.context, control->Position(), {}};
    }
    // The frames since the last call, gear 6 taken for gear 5, with their times from the first.
    std::vector<std::pair<std::uint16_t, sim::Micros>> Take() {
        std::vector<std::pair<std::uint16_t, sim::Micros>> frames;
        const auto& log = terminal->FrameLog();
        for (const sim::SentFrame& f : log) {
            std::uint16_t frame = f.frame;
            if ((frame >> 9) == 6) frame = static_cast<std::uint16_t>(frame - 0x0200);
            frames.emplace_back(frame, f.endUs - log.front().endUs);
        }
        terminal->ClearFrameLog();
        return frames;
    }
    static std::vector<std::uint16_t> FramesOf(
        const std::vector<std::pair<std::uint16_t, sim::Micros>>& timed) {
        std::vector<std::uint16_t> frames;
        for (const auto& [frame, at] : timed) frames.push_back(frame);
        return frames;
    }
    static DeviceWriteOptions NoReadBack() {
        DeviceWriteOptions options;
        options.readBack = false;
        return options;
    }
};

TEST_F(WritesAsPagesTest, VariablesGroupsAndScenesSendThePagesFrames) {
    EngineTerminal engine = Terminal();
    auto& variables = Open<configZD4270Variables>(PageKind::Variables, 5);
    Take();
    variables.lstViewVariables.ClickItem(5);
    variables.txtValue.SetText("200");
    variables.btnSaveVariable.Click();
    variables.lstViewVariables.ClickItem(1);
    variables.txtValue.SetText("80");
    variables.btnSaveVariable.Click();
    const auto pageVariables = Take();
    WriteVariables(engine, 6,
                   {{DeviceVariable::MaxLevel, 200, {}}, {DeviceVariable::ActualLevel, 80, {}}},
                   NoReadBack());
    // The terminal repeats each configuration command.
    EXPECT_EQ(FramesOf(pageVariables),
              (std::vector<std::uint16_t>{test::DtrFrame(200), test::ShortFrame(5, 42),
                                          test::ShortFrame(5, 42), test::ArcFrame(5, 80)}));
    EXPECT_EQ(Take(), pageVariables);

    auto& groups = Open<configZD4270Groups>(PageKind::Groups, 5);
    Take();
    groups.lstViewGroups.CheckItem(3, true);
    groups.lstViewGroups.CheckItem(4, false);
    const auto pageGroups = Take();
    WriteGroups(engine, 6, {{2, true, {}}, {3, false, {}}}, NoReadBack());
    EXPECT_EQ(FramesOf(pageGroups),
              (std::vector<std::uint16_t>{test::ShortFrame(5, 98), test::ShortFrame(5, 98),
                                          test::ShortFrame(5, 115), test::ShortFrame(5, 115)}));
    EXPECT_EQ(Take(), pageGroups);

    auto& scenes = Open<configZD4270Scenes>(PageKind::Scenes, 5);
    Take();
    for (const auto& [scene, level] : {std::pair{3, "128"}, std::pair{4, "255"}}) {
        scenes.lstViewScenes.ClickItem(scene + 1);
        scenes.txtValue.SetText(level);
        scenes.btnSaveToDevice.Click();
    }
    const auto pageScenes = Take();
    DeviceWriteOptions preview = NoReadBack();
    ReadoutOptions scenesOnly;
    scenesOnly.variables = scenesOnly.groups = false;
    const DeviceReadout before = ReadDevice(engine, 6, scenesOnly);
    preview.scenePreview = {*before.scenes, *before.scenes->Level(0)};
    Take();
    WriteScenes(engine, 6, {{3, 128, {}}, {4, kDaliMask, {}}}, preview);
    // The lamp shows scene 3 as it was (mask), then 128; scene 4 (mask) needs no second frame.
    EXPECT_EQ(FramesOf(pageScenes),
              (std::vector<std::uint16_t>{
                  test::ArcFrame(5, 255), test::ArcFrame(5, 128), test::DtrFrame(128),
                  test::ShortFrame(5, 67), test::ShortFrame(5, 67), test::ArcFrame(5, 255),
                  test::DtrFrame(255), test::ShortFrame(5, 68), test::ShortFrame(5, 68)}));
    EXPECT_EQ(Take(), pageScenes);
}

}  // namespace
}  // namespace zd
