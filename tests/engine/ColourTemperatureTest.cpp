// The engine's colour temperature on a simulated line in virtual time: set, read, limits and
// scenes reach type 8 gear; no gear, gear of another type and a colour outside the limits are
// told apart; a group reaches its type 8 members only.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/ColourTemperature.h"
#include "support/EngineRig.h"

namespace zd {
namespace {

using test::EngineRig;

sim::GearConfig Gear(std::uint8_t shortAddress, std::uint8_t deviceType = 8) {
    sim::GearConfig gear;
    gear.shortAddress = shortAddress;
    gear.deviceType = deviceType;
    gear.groups = 0x0004;  // group 2
    return gear;
}

EngineRig Rig() {
    sim::LineDescription line;
    line.gear = {Gear(5), Gear(6), Gear(7, 6)};
    return EngineRig(line);
}

const sim::ColourConfig& Colour(EngineRig& rig, int index) {
    return rig.Sim().GetLine().Gear().at(static_cast<std::size_t>(index))->Colour()->State();
}

constexpr ColourTarget kA5{AddressKind::Short, 5};

// The command words a watcher of the link (the window's bus log) sees.
struct Watcher : TransactionObserver {
    std::vector<std::uint16_t> words;
    void Observe(const Transaction& transaction) override {
        if (transaction.word) words.push_back(*transaction.word);
    }
};

TEST(ColourTemperatureTest, KelvinAndMirekConvertBothWays) {
    EXPECT_EQ(MirekFromKelvin(3000), 333);
    EXPECT_EQ(MirekFromKelvin(2700), 370);
    EXPECT_EQ(MirekFromKelvin(6500), 154);
    EXPECT_EQ(KelvinFromMirek(250), 4000);
    EXPECT_FALSE(MirekFromKelvin(15).has_value());  // 66667 mirek: beyond 16 bits
    EXPECT_FALSE(MirekFromKelvin(0).has_value());
}

TEST(ColourTemperatureTest, SetReachesTheGearAndIsReadBackOrClamped) {
    EngineRig rig = Rig();
    EngineTerminal terminal = rig.Terminal();
    Watcher watcher;
    rig.link.SetObserver(&watcher);

    const ColourSetResult set = SetColourTemperature(terminal, kA5, 333);
    // The bus log sees every frame, the device-type ones too: DTR1, DTR0, ENABLE DEVICE TYPE 8
    // before SET TEMPORARY COLOUR TEMPERATURE and before ACTIVATE.
    const std::vector<std::uint16_t> sent{0xC301, 0xA34D, 0xC108, 0x0BE7, 0xC108, 0x0BE2};
    EXPECT_NE(std::search(watcher.words.begin(), watcher.words.end(), sent.begin(), sent.end()),
              watcher.words.end());
    EXPECT_TRUE(set.outcome.Ok()) << set.outcome.text;
    EXPECT_EQ(set.check, ColourCheck::Taken);
    EXPECT_EQ(set.actual, 333);
    EXPECT_EQ(Colour(rig, 0).actual, 333);
    EXPECT_EQ(Colour(rig, 1).actual, 250);  // the other gear is untouched

    // 10000 K lies beyond the coolest limit (6500 K): the gear clamps it, and the result says so.
    const ColourSetResult cool = SetColourTemperature(terminal, kA5, *MirekFromKelvin(10000));
    EXPECT_TRUE(cool.outcome.Ok());
    EXPECT_EQ(cool.check, ColourCheck::Clamped);
    EXPECT_EQ(cool.actual, 154);

    // Refused on request: nothing sent, the colour stays.
    ColourOptions refuse;
    refuse.refuseOutsideLimits = true;
    const ColourSetResult refused = SetColourTemperature(terminal, kA5, 500, refuse);
    EXPECT_EQ(refused.check, ColourCheck::RefusedOutsideLimits);
    EXPECT_EQ(refused.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(Colour(rig, 0).actual, 154);
}

TEST(ColourTemperatureTest, NoGearAndAnotherTypeAreToldAndNothingIsSent) {
    EngineRig rig = Rig();
    EngineTerminal terminal = rig.Terminal();

    const ColourSetResult none = SetColourTemperature(terminal, {AddressKind::Short, 9}, 333);
    EXPECT_EQ(none.check, ColourCheck::NoGear);
    EXPECT_EQ(none.outcome.failure, EngineFailure::Incomplete);
    EXPECT_EQ(none.outcome.text, "No gear answers at A9.");

    const std::size_t before = rig.Frames().size();
    const ColourSetResult led = SetColourTemperature(terminal, {AddressKind::Short, 7}, 333);
    EXPECT_EQ(led.check, ColourCheck::OtherType);
    EXPECT_EQ(led.deviceType, 6);
    EXPECT_NE(led.outcome.text.find("device type 6"), std::string::npos);
    // Only the device type was asked.
    for (std::size_t i = before; i < rig.Frames().size(); ++i)
        EXPECT_EQ(rig.Frames()[i], 0x0F99) << i;

    const ColourReadout read = ReadColour(terminal, 7);
    EXPECT_EQ(read.check, ColourCheck::OtherType);
    EXPECT_FALSE(read.actual.has_value());

    // A value no gear takes is refused before anything goes out.
    EXPECT_EQ(SetColourTemperature(terminal, kA5, 0).outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(SetColourTemperature(terminal, {AddressKind::Group, 16}, 300).outcome.failure,
              EngineFailure::Refused);
}

TEST(ColourTemperatureTest, AGroupReachesItsType8Members) {
    EngineRig rig = Rig();
    EngineTerminal terminal = rig.Terminal();
    const ColourSetResult set =
        SetColourTemperature(terminal, {AddressKind::Group, 2}, *MirekFromKelvin(2700));
    EXPECT_TRUE(set.outcome.Ok());
    EXPECT_EQ(set.check, ColourCheck::NotChecked);
    EXPECT_EQ(Colour(rig, 0).actual, 370);
    EXPECT_EQ(Colour(rig, 1).actual, 370);
}

TEST(ColourTemperatureTest, LimitsAreStoredInAnOrderTheGearKeepsAndReadBack) {
    EngineRig rig = Rig();
    EngineTerminal terminal = rig.Terminal();

    // Both configured limits move inwards; each lands whatever the other holds.
    ColourLimitsChange change;
    change.coolest = *MirekFromKelvin(5000);
    change.warmest = *MirekFromKelvin(3000);
    const ColourLimitsResult stored = SetColourLimits(terminal, kA5, change);
    EXPECT_TRUE(stored.outcome.Ok()) << stored.outcome.text;
    EXPECT_EQ(stored.check, ColourCheck::Taken);
    EXPECT_EQ(Colour(rig, 0).coolest, 200);
    EXPECT_EQ(Colour(rig, 0).warmest, 333);
    EXPECT_EQ(stored.after->physicalWarmest, 370);

    // A coolest limit beyond the physical one is kept at it: told, not hidden.
    ColourLimitsChange beyond;
    beyond.coolest = 100;
    const ColourLimitsResult kept = SetColourLimits(terminal, kA5, beyond);
    EXPECT_EQ(kept.check, ColourCheck::Clamped);
    EXPECT_EQ(kept.outcome.failure, EngineFailure::Incomplete);
    EXPECT_EQ(kept.after->coolest, 154);

    const ColourReadout read = ReadColour(terminal, 5);
    EXPECT_TRUE(read.outcome.Ok()) << read.outcome.text;
    EXPECT_EQ(read.limits, (ColourLimits{154, 333, 154, 370}));
    EXPECT_EQ(read.actual, 250);
}

TEST(ColourTemperatureTest, ASceneIsStoredWithItsColourAndRecalledWithIt) {
    EngineRig rig = Rig();
    EngineTerminal terminal = rig.Terminal();
    const SceneColourResult scene = StoreSceneColour(terminal, kA5, 3, 200, 333);
    EXPECT_TRUE(scene.outcome.Ok()) << scene.outcome.text;
    EXPECT_EQ(scene.check, ColourCheck::Taken);
    EXPECT_EQ(scene.levelRead, 200);
    EXPECT_EQ(scene.colourRead, 333);
    EXPECT_EQ(rig.Sim().GetLine().Gear()[0]->SceneLevel(3), 200);

    // Outside the limits the scene is stored, and the result warns of the clamp to come.
    const SceneColourResult warm = StoreSceneColour(terminal, kA5, 4, 100, 500);
    EXPECT_TRUE(warm.outsideLimits);
    EXPECT_EQ(Colour(rig, 0).scenes[4], 500);

    const ColourReadout read = ReadColour(terminal, 5, {true});
    EXPECT_EQ(read.scenes[3], 333);
    EXPECT_EQ(read.sceneLevels[3], 200);
    EXPECT_FALSE(read.scenes[5].has_value());

    EXPECT_EQ(StoreSceneColour(terminal, {AddressKind::Short, 7}, 3, 200, 333).check,
              ColourCheck::OtherType);
}

// The store of a limit needs its repeat within 100 ms: over a fieldbus with a 40 ms cycle it
// still lands; over a 100 ms cycle it cannot, and the result says so instead of blaming the order.
TEST(ColourTemperatureTest, TheRepeatedStoreLandsOverASlowFieldbusOrIsToldNotTaken) {
    for (const int delayMs : {40, 100}) {
        sim::LineDescription line;
        line.gear = {Gear(5)};
        line.terminal.takeOverDelayMs = delayMs;
        EngineRig rig(line);
        EngineTerminal terminal = rig.Terminal();
        ColourLimitsChange change;
        change.coolest = 200;
        const ColourLimitsResult result = SetColourLimits(terminal, kA5, change);
        if (delayMs == 40) {
            EXPECT_EQ(result.check, ColourCheck::Taken) << result.outcome.text;
            EXPECT_EQ(Colour(rig, 0).coolest, 200);
        } else {
            EXPECT_EQ(result.check, ColourCheck::NotTaken);
            EXPECT_NE(result.outcome.text.find("within 100 ms"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace zd
