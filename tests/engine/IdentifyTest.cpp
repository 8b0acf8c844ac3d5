// A luminaire shows itself on the simulated line in virtual time: it flashes by itself where it
// knows IDENTIFY DEVICE, by the control's max and min where it does not, or lights alone; every
// gear is back at its level afterwards, and a second identify or an address without gear is
// refused.
#include "engine/Identify.h"

#include <set>

#include "engine/LineCommands.h"
#include "support/EngineRig.h"

namespace zd::test {
namespace {

constexpr std::uint16_t kFirmware = 0x314D;

class IdentifyTest : public ProcedureRig {
  protected:
    // three-addressed.json (gear at 0, 5 with a fade and 63) with the version given to every
    // gear, each gear at a level of its own, and the device list knowing all three.
    void UseLine(std::uint8_t version) {
        sim::LineDescription description =
            sim::LoadLineFile((kExampleLines / "three-addressed.json").string());
        for (sim::GearConfig& gear : description.gear) gear.version = version;
        EngineRig::UseLine(description);
        state.m_nFirmwareVersion = kFirmware;
        for (const auto& [address, level] : kLevels) {
            SendLineCommand(line.Terminal(), {kCmdDirectArcPower, level, AddressKind::Short,
                                              static_cast<std::int16_t>(address)});
            line.AddAddressedDevice(static_cast<std::int16_t>(address));
        }
        Settle();
    }
    void Settle() {
        ctx.scheduler.Sleep(5000);
        Sim().AdvanceToNow();
    }
    sim::Ballast& Gear(int address) {
        for (const auto& gear : Sim().GetLine().Gear())
            if (gear->ShortAddress() == address) return *gear;
        throw std::logic_error("no gear");
    }
    int Level(int address) { return Gear(address).LevelAt(ctx.scheduler.Now() * 1000); }
    void ExpectLevelsBack() {
        Settle();
        for (const auto& [address, level] : kLevels) EXPECT_EQ(Level(address), level) << address;
    }

    const std::vector<std::pair<int, std::uint8_t>> kLevels = {{0, 100}, {5, 0}, {63, 200}};
};

TEST_F(IdentifyTest, OldGearFlashesBetweenMaxAndMinAndGetsItsLevelBack) {
    UseLine(1);
    std::set<int> seen;
    const std::int64_t start = ctx.scheduler.Now();
    const IdentifyReport report =
        RunIdentify(line, {0, 4, IdentifyMode::Flash}, [&](const ProgressState&) {
            Sim().AdvanceToNow();
            seen.insert(Level(0));
            EXPECT_EQ(Level(63), 200);
        });
    EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
    EXPECT_FALSE(report.identifyDevice);
    EXPECT_EQ(report.version, 1);
    EXPECT_EQ(seen, (std::set<int>{1, 254}));
    EXPECT_GE(ctx.scheduler.Now() - start, 4000);
    ASSERT_EQ(report.levels.size(), 1u);
    EXPECT_TRUE(report.levels[0].restored);
    ExpectLevelsBack();
}

TEST_F(IdentifyTest, NewGearFlashesItselfUntilTheLevelGoesBack) {
    UseLine(8);
    bool identifying = false;
    const IdentifyReport report =
        RunIdentify(line, {5, 25, IdentifyMode::Flash}, [&](const ProgressState& progress) {
            Sim().AdvanceToNow();
            // Sent again before the gear's own 10 s run out.
            if (progress.elapsedMs < 25000) {
                EXPECT_TRUE(Gear(5).Identifying(ctx.scheduler.Now() * 1000)) << progress.elapsedMs;
            }
            identifying = true;
            EXPECT_EQ(Level(5), 0);
        });
    EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
    EXPECT_TRUE(report.identifyDevice);
    EXPECT_TRUE(identifying);
    Sim().AdvanceToNow();
    EXPECT_FALSE(Gear(5).Identifying(ctx.scheduler.Now() * 1000));
    ExpectLevelsBack();
}

TEST_F(IdentifyTest, MaxAndOthersOffLightItAloneAndPutEveryLevelBack) {
    for (const auto& [mode, level] :
         {std::pair{IdentifyMode::Max, 1}, std::pair{IdentifyMode::OthersOff, 0}}) {
        const int others = level;
        UseLine(8);
        bool checked = false;
        const IdentifyReport report = RunIdentify(line, {63, 2, mode}, [&](const ProgressState&) {
            Sim().AdvanceToNow();
            EXPECT_EQ(Level(63), 254);
            EXPECT_EQ(Level(0), others);
            checked = true;
        });
        EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
        EXPECT_FALSE(report.identifyDevice);
        EXPECT_TRUE(checked);
        EXPECT_EQ(report.levels.size(), 3u);
        ExpectLevelsBack();
    }
}

// A gear without a short address is not darkened, as its level could not be put back; the
// luminaire lights within a second of the start, before the others' levels are read.
TEST_F(IdentifyTest, OthersOffLeavesGearWithoutAddressAloneAndLightsTheLuminaireFirst) {
    UseLine(8);
    sim::GearConfig loose;
    loose.actualLevel = 200;
    const int looseId = Sim().AddGear(loose);
    Settle();
    Sim().SetFrameLog(true);
    Sim().ClearFrameLog();
    const std::int64_t startUs = ctx.scheduler.Now() * 1000;
    const IdentifyReport report = RunIdentify(line, {5, 2, IdentifyMode::OthersOff});
    EXPECT_TRUE(report.outcome.Ok()) << report.outcome.text;
    Settle();
    EXPECT_EQ(Sim().Gear(looseId).LevelAt(ctx.scheduler.Now() * 1000), 200);
    ExpectLevelsBack();
    std::optional<sim::Micros> litUs;
    for (const sim::SentFrame& sent : Sim().FrameLog())
        if (sent.frame == ((5 << 9) | 0x100 | kCmdRecallMaxLevel) && !litUs) litUs = sent.endUs;
    ASSERT_TRUE(litUs.has_value());
    EXPECT_LT(*litUs - startUs, 1000000);
}

TEST_F(IdentifyTest, ASecondIdentifyAnAddressWithoutGearAndBadOptionsAreRefused) {
    UseLine(1);
    IdentifyReport second;
    IdentifyReport first = RunIdentify(line, {0, 2, IdentifyMode::Max}, [&](const auto&) {
        if (second.outcome.Ok()) second = RunIdentify(line, {5, 2, IdentifyMode::Flash});
    });
    EXPECT_TRUE(first.outcome.Ok());
    EXPECT_EQ(second.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(second.outcome.text,
              "A luminaire is already identifying itself on this line; wait until it has ended.");
    ExpectLevelsBack();

    const IdentifyReport nobody = RunIdentify(line, {9, 2, IdentifyMode::Max});
    EXPECT_EQ(nobody.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(nobody.outcome.text, "No device answers at short address 9.");
    EXPECT_TRUE(nobody.levels.empty());
    EXPECT_EQ(RunIdentify(line, {0, 0, IdentifyMode::Flash}).outcome.failure,
              EngineFailure::Refused);
    EXPECT_EQ(RunIdentify(line, {64, 5, IdentifyMode::Flash}).outcome.failure,
              EngineFailure::Refused);
    // Only the questions went out; the line is as it was, and the next identify runs.
    ExpectLevelsBack();
    EXPECT_TRUE(RunIdentify(line, {5, 1, IdentifyMode::Flash}).outcome.Ok());
}

TEST_F(IdentifyTest, ACancelledIdentifyStillPutsTheLevelsBack) {
    UseLine(1);
    int steps = 0;
    const IdentifyReport report = RunIdentify(
        line, {0, 60, IdentifyMode::OthersOff}, [&](const auto&) { ++steps; },
        [&] { return steps >= 2; });
    EXPECT_EQ(report.outcome.failure, EngineFailure::Cancelled);
    EXPECT_LT(report.shownMs, 5000);
    ExpectLevelsBack();
}

}  // namespace
}  // namespace zd::test
