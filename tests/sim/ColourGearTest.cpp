// Tunable-white gear (device type 8) on the bare line: device-type commands only right after
// ENABLE DEVICE TYPE 8, the stores that need a repeat, 16-bit values through DTR1 and DTR0,
// limits kept in order, colour with scenes and power-up, and the line file's colour part.
#include <gtest/gtest.h>

#include "platform/Error.h"
#include "sim/Line.h"
#include "sim/LineFile.h"
#include "support/TestContext.h"

namespace zd::sim {
namespace {

constexpr std::uint8_t kA5 = (5 << 1) | 1;

class ColourGearTest : public ::testing::Test {
  protected:
    LineAnswer Send(std::uint8_t address, std::uint8_t data, Micros gapUs = 25000) {
        m_now += gapUs;
        return m_line.SendForward(MakeFrame(address, data), m_now);
    }
    void Enable() { Send(kEnableDeviceType, kColourDeviceType); }
    void Value16(std::uint16_t value) {
        Send(kDataTransferRegister1, static_cast<std::uint8_t>(value >> 8));
        Send(kDataTransferRegister, static_cast<std::uint8_t>(value & 0xFF));
    }
    // SET TEMPORARY COLOUR TEMPERATURE and ACTIVATE.
    void SetColour(std::uint16_t mirek) {
        Value16(mirek);
        Enable();
        Send(kA5, 0xE7);
        Enable();
        Send(kA5, 0xE2);
    }
    void StoreLimit(std::uint8_t which, std::uint16_t mirek) {
        Value16(mirek);
        Send(kDataTransferRegister2, which);
        Enable();
        Send(kA5, 0xF2);
        Send(kA5, 0xF2);
    }
    // QUERY COLOUR VALUE: high byte answered, low byte from DTR0.
    std::optional<std::uint16_t> Value(std::uint8_t selector) {
        Send(kDataTransferRegister, selector);
        Enable();
        const LineAnswer high = Send(kA5, 0xFA);
        const LineAnswer low = Send(kA5, 152);
        if (high.kind != AnswerKind::Byte || low.kind != AnswerKind::Byte) return std::nullopt;
        return static_cast<std::uint16_t>((high.value << 8) | low.value);
    }
    const ColourConfig& Colour() const { return m_gear->Colour()->State(); }

    Ballast* Add(std::uint8_t deviceType) {
        GearConfig config;
        config.shortAddress = 5;
        config.deviceType = deviceType;
        return &m_line.AddGear(config);
    }

    Line m_line;
    Micros m_now = 0;
    Ballast* m_gear = nullptr;
};

TEST_F(ColourGearTest, DeviceTypeCommandsActOnlyRightAfterEnableDeviceType8) {
    m_gear = Add(kColourDeviceType);
    EXPECT_EQ(Colour().actual, 250);
    EXPECT_EQ(*Value(129), 154);  // physical coolest: 6500 K
    EXPECT_EQ(*Value(131), 370);  // physical warmest: 2700 K

    SetColour(333);
    EXPECT_EQ(Colour().actual, 333);
    EXPECT_EQ(*Value(2), 333);

    // Without the enable, or with another type's, the command is ignored.
    Value16(300);
    Send(kA5, 0xE7);
    Send(kEnableDeviceType, 6);
    Send(kA5, 0xE2);
    EXPECT_EQ(Colour().actual, 333);
    EXPECT_FALSE(Colour().temporary.has_value());

    // Gear of another type ignore the whole sequence and do not answer its queries.
    Ballast* led = &m_line.AddGear([] {
        GearConfig config;
        config.shortAddress = 6;
        return config;
    }());
    EXPECT_EQ(led->Colour(), nullptr);
    Enable();
    EXPECT_EQ(Send((6 << 1) | 1, 0xF9).kind, AnswerKind::None);
    Enable();
    EXPECT_EQ(Send(kA5, 0xF9).value, 0x02);  // colour temperature capable
}

TEST_F(ColourGearTest, LimitsNeedTheRepeatInTimeAndStayInOrder) {
    m_gear = Add(kColourDeviceType);
    // One frame alone, or a repeat after 100 ms, stores nothing.
    Value16(200);
    Send(kDataTransferRegister2, 0);
    Enable();
    Send(kA5, 0xF2);
    Send(kA5, 0xF2, 120000);
    EXPECT_EQ(Colour().coolest, 154);

    StoreLimit(0, 200);
    EXPECT_EQ(Colour().coolest, 200);
    // A warmest below the coolest stops at the coolest; the actual colour follows the limits.
    StoreLimit(1, 100);
    EXPECT_EQ(Colour().warmest, 200);
    EXPECT_EQ(Colour().actual, 200);
    // A physical limit drags the configured ones along.
    StoreLimit(3, 180);
    EXPECT_EQ(Colour().physicalWarmest, 180);
    EXPECT_EQ(Colour().warmest, 180);
    EXPECT_EQ(Colour().coolest, 180);

    // A colour outside the limits is clamped, and the colour status says so.
    StoreLimit(0, 154);
    SetColour(400);
    EXPECT_EQ(Colour().actual, 180);
    Enable();
    EXPECT_EQ(Send(kA5, 0xF8).value, 0x22);
    SetColour(160);
    Enable();
    EXPECT_EQ(Send(kA5, 0xF8).value, 0x20);
}

TEST_F(ColourGearTest, ScenesPowerOnAndResetCarryTheColour) {
    m_gear = Add(kColourDeviceType);
    // Scene 3 at level 200 with 3000 K; scene 4 with a level alone.
    Value16(333);
    Enable();
    Send(kA5, 0xE7);
    Send(kDataTransferRegister, 200);
    Send(kA5, 64 + 3);
    Send(kA5, 64 + 3);
    Send(kDataTransferRegister, 100);
    Send(kA5, 64 + 4);
    Send(kA5, 64 + 4);
    EXPECT_EQ(Colour().scenes[3], 333);
    EXPECT_FALSE(Colour().scenes[4].has_value());
    EXPECT_FALSE(Colour().temporary.has_value());

    // QUERY SCENE LEVEL puts the scene's colour into the report value.
    Send(kA5, 176 + 3);
    EXPECT_EQ(*Value(226), 333);
    Send(kA5, 16 + 3);
    EXPECT_EQ(Colour().actual, 333);
    EXPECT_EQ(m_gear->LevelAt(m_now), 200);

    // Automatic activation: a pending colour goes out with the next arc power command.
    Value16(200);
    Enable();
    Send(kA5, 0xE7);
    EXPECT_EQ(Colour().actual, 333);
    Send(kA5 & 0xFE, 150);
    EXPECT_EQ(Colour().actual, 200);

    // Power-on colour, then a power cycle.
    Value16(370);
    Enable();
    Send(kA5, 0xE7);
    Send(kDataTransferRegister, 254);
    Send(kA5, 45);
    Send(kA5, 45);
    m_gear->PowerDown();
    m_gear->PowerUp(m_now);
    EXPECT_EQ(Colour().actual, 370);

    // RESET: scene colours gone, limits back to the physical ones.
    StoreLimit(0, 200);
    Send(kA5, 32);
    Send(kA5, 32);
    EXPECT_FALSE(Colour().scenes[3].has_value());
    EXPECT_EQ(Colour().coolest, 154);
}

TEST(ColourLineFileTest, TheColourPartIsReadCheckedAndSaved) {
    const LineDescription line = ParseLineDescription(R"({"gear": [
        {"shortAddress": 1, "deviceType": 8},
        {"shortAddress": 2, "deviceType": 8,
         "colour": {"coolestMirek": 200, "actualMirek": 300, "sceneMirek": {"3": 333},
                    "powerOnMirek": 370}}]})",
                                                      "colour.json");
    EXPECT_EQ(line.gear[0].colour, ColourConfig{});
    const ColourConfig& colour = line.gear[1].colour;
    EXPECT_EQ(colour.coolest, 200);
    EXPECT_EQ(colour.warmest, 370);
    EXPECT_EQ(colour.scenes[3], 333);

    // Saved and read again: the same colour part.
    test::TestContext t;
    auto terminal = MakeTerminal(t.scheduler, line);
    const LineDescription saved = ParseLineDescription(
        WriteLineDescription(CaptureLine(*terminal, line.terminal)), "saved.json");
    EXPECT_EQ(saved.gear[1].colour, colour);

    for (const char* bad : {
             R"({"gear": [{"colour": {}}]})",
             R"({"gear": [{"deviceType": 8, "colour": {"actualMirek": 100}}]})",
             R"({"gear": [{"deviceType": 8, "colour": {"coolestMirek": 400}}]})",
             R"({"gear": [{"deviceType": 8, "colour": {"kelvin": 3000}}]})",
             R"({"gear": [{"deviceType": 8, "colour": {"sceneMirek": {"16": 200}}}]})",
         }) {
        EXPECT_THROW(ParseLineDescription(bad, "bad.json"), LineFileError) << bad;
    }
}

}  // namespace
}  // namespace zd::sim
