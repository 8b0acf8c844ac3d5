// Emergency gear (device type 1) on the bare line: the extended commands after ENABLE DEVICE TYPE,
// the tests in their real length on the simulator's clock, the battery, named failures and the
// line file.
#include <gtest/gtest.h>

#include "sim/Line.h"
#include "sim/LineFile.h"

namespace zd::sim {
namespace {

constexpr std::uint8_t Short(int address) {
    return static_cast<std::uint8_t>((address << 1) | 1);
}
constexpr Micros kMinuteUs = 60LL * 1000 * 1000;

class EmergencyGearTest : public ::testing::Test {
  protected:
    LineAnswer Send(std::uint8_t address, std::uint8_t data) {
        m_now += 25000;
        return m_line.SendForward(MakeFrame(address, data), m_now);
    }
    // ENABLE DEVICE TYPE 1, then the command once or twice.
    void Extended(int address, std::uint8_t command, int times = 2) {
        Send(kEnableDeviceType, 1);
        for (int i = 0; i < times; ++i) Send(Short(address), command);
    }
    std::optional<std::uint8_t> Ask(int address, std::uint8_t query, bool enable = true) {
        if (enable) Send(kEnableDeviceType, 1);
        const LineAnswer answer = Send(Short(address), query);
        if (answer.kind != AnswerKind::Byte) return std::nullopt;
        return answer.value;
    }
    void Store(int address, std::uint8_t dtr, std::uint8_t command) {
        Send(kDataTransferRegister, dtr);
        Extended(address, command);
    }
    Ballast& Add(int address, std::uint8_t deviceType = 1, EmergencyConfig emergency = {}) {
        GearConfig config;
        config.shortAddress = static_cast<std::uint8_t>(address);
        config.deviceType = deviceType;
        config.emergency = emergency;
        return m_line.AddGear(config, m_now);
    }
    void Pass(Micros us) { m_now += us; }

    Line m_line;
    Micros m_now = 0;
};

TEST_F(EmergencyGearTest, ExtendedCommandsNeedEnableDeviceTypeOneAndTheirRepeat) {
    Add(1);
    Add(2, 6);
    // A new unit: normal mode, battery full, rated for 3 hours, nothing tested yet.
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    EXPECT_EQ(Ask(1, 0xFD), 0x08);
    EXPECT_EQ(Ask(1, 0xF1), 254);
    EXPECT_EQ(Ask(1, 0xF9), 90);
    // Without the enable, or in gear of another type, the commands do nothing.
    EXPECT_EQ(Ask(1, 0xFA, false), std::nullopt);
    EXPECT_EQ(Ask(2, 0xFA), std::nullopt);
    // ENABLE DEVICE TYPE covers only the next command, and a test starts only when sent twice.
    Send(Short(1), 0xE3);
    Send(Short(1), 0xE3);
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    Extended(1, 0xE3, 1);
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    Send(kEnableDeviceType, 1);
    Send(Short(1), 0xE3);
    Send(kEnableDeviceType, 1);
    Send(Short(1), 0xE3);
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    Extended(1, 0xE3);
    EXPECT_EQ(Ask(1, 0xFA), 0x10);
}

TEST_F(EmergencyGearTest, FunctionTestTakesItsTimeAndReportsTheNamedFailures) {
    Add(1);
    EmergencyConfig broken;
    broken.failures = static_cast<std::uint8_t>(EmergencyFailure::Lamp);
    Add(2, 1, broken);
    Extended(1, 0xE3);
    Extended(2, 0xE3);
    Pass(9 * 1000 * 1000);
    EXPECT_EQ(Ask(1, 0xFA), 0x10);
    EXPECT_EQ(Ask(1, 0xFD).value() & 0x02, 0);
    Pass(1000 * 1000);
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    EXPECT_EQ(Ask(1, 0xFD).value() & 0x02, 0x02);
    EXPECT_EQ(Ask(1, 0xFC), 0x00);
    EXPECT_EQ(Ask(2, 0xFC), 0x48);  // function test failed: emergency lamp
    // The done flag stays until it is reset; a new test clears the old result.
    Extended(1, 0xE6);
    EXPECT_EQ(Ask(1, 0xFD).value() & 0x02, 0);
}

TEST_F(EmergencyGearTest, DurationTestRunsTheRatedDurationOrUntilTheBatteryGivesOut) {
    Add(1);
    EmergencyConfig weak;
    weak.batteryMinutes = 120;
    Add(2, 1, weak);
    Extended(1, 0xE4);
    Extended(2, 0xE4);
    EXPECT_EQ(Ask(1, 0xFA), 0x20);
    Pass(179 * kMinuteUs);
    EXPECT_EQ(Ask(1, 0xFA), 0x20);
    // The weak battery gave out after 2 hours.
    EXPECT_EQ(Ask(2, 0xFA), 0x02);
    EXPECT_EQ(Ask(2, 0xFC), 0x82);
    EXPECT_EQ(Ask(2, 0xF3), 60);
    // Empty at 2 hours, and an hour on mains since.
    EXPECT_EQ(Ask(2, 0xF1), 254 * 59 / (24 * 60));
    Pass(kMinuteUs);
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    EXPECT_EQ(Ask(1, 0xFC), 0x00);
    EXPECT_EQ(Ask(1, 0xF3), 90);
    EXPECT_EQ(Ask(1, 0xF4), 3);
    // The battery is no longer full: another duration test waits until it has recharged.
    EXPECT_EQ(Ask(1, 0xFD), 0x04);
    Extended(1, 0xE4);
    EXPECT_EQ(Ask(1, 0xFD), 0x24);
    Pass(24 * 60 * kMinuteUs);
    EXPECT_EQ(Ask(1, 0xFA), 0x20);
    // STOP TEST ends it without a result.
    Extended(1, 0xE7);
    Extended(1, 0xE5);
    EXPECT_EQ(Ask(1, 0xFA), 0x02);
    EXPECT_EQ(Ask(1, 0xFD).value() & 0x24, 0);
}

TEST_F(EmergencyGearTest, MainsFailureLightsOnBatteryAndAPendingTestTimesOut) {
    Ballast& unit = Add(1);
    unit.Emergency()->SetMains(false, m_now);
    EXPECT_EQ(Ask(1, 0xFA), 0x04);
    // No test on battery: it waits, and past the execution timeout (0: 15 minutes) says so.
    Store(1, 0, 0xEE);
    Extended(1, 0xE3);
    EXPECT_EQ(Ask(1, 0xFD).value() & 0x10, 0x10);
    Pass(16 * kMinuteUs);
    EXPECT_EQ(Ask(1, 0xFC), 0x10);
    unit.Emergency()->SetMains(true, m_now);
    // Back on mains the pending test runs at once; the prolong time is cut short by it.
    EXPECT_EQ(Ask(1, 0xFA), 0x10);
}

TEST_F(EmergencyGearTest, IntervalsDelaysAndFactorySettingsReadBackThroughTestTiming) {
    Add(1);
    auto timing = [&](std::uint8_t selector) {
        Send(kDataTransferRegister, selector);
        return Ask(1, 0xF2);
    };
    EXPECT_EQ(timing(4), 7);
    EXPECT_EQ(timing(5), 52);
    Store(1, 30, 0xEC);
    Store(1, 0, 0xED);
    Store(1, 3, 0xEF);
    EXPECT_EQ(timing(4), 30);
    EXPECT_EQ(timing(5), 0);
    EXPECT_EQ(timing(7), 3);
    // 98 weeks is out of range: kept as it was.
    Store(1, 98, 0xED);
    EXPECT_EQ(timing(5), 0);
    // A test delay of 0x0102 quarter hours puts off the next function test; without automatic
    // duration tests their time reads 255 255.
    Store(1, 0x01, 0xEA);
    Store(1, 0x02, 0xEB);
    EXPECT_EQ(timing(0), 0x01);
    EXPECT_EQ(timing(1), 0x02);
    EXPECT_EQ(timing(2), 0xFF);
    EXPECT_EQ(timing(3), 0xFF);
    Pass(0x0102 * 15 * kMinuteUs);
    EXPECT_EQ(Ask(1, 0xFA), 0x10);
    Store(1, 0, 0xFE);
    EXPECT_EQ(timing(4), 7);
    EXPECT_EQ(timing(7), 2);
}

TEST_F(EmergencyGearTest, ALineFileKeepsTheEmergencyStateAndRefusesUnknownFailures) {
    const std::string text = R"({"gear": [
        {"shortAddress": 1, "deviceType": 1,
         "emergency": {"failures": ["battery", "circuit"], "ratedMinutes": 60}},
        {"shortAddress": 2}]})";
    const LineDescription description = ParseLineDescription(text, "line.json");
    EXPECT_EQ(description.gear[0].emergency.failures, 0x05);
    EXPECT_EQ(description.gear[0].emergency.ratedMinutes, 60);
    Ballast& unit = m_line.AddGear(description.gear[0], m_now);
    Extended(1, 0xE4);
    Pass(30 * kMinuteUs);
    LineDescription saved;
    saved.gear.push_back(unit.Capture(m_now));
    const LineDescription again = ParseLineDescription(WriteLineDescription(saved), "saved.json");
    EXPECT_EQ(again.gear[0].emergency, saved.gear[0].emergency);
    EXPECT_TRUE(again.gear[0].emergency.durationTestDone);
    EXPECT_EQ(again.gear[0].emergency.failureStatus, 0x80 | 0x05);
    // Gear of another type have no emergency part in the file.
    EXPECT_EQ(WriteLineDescription({{}, {GearConfig{}}}).find("emergency"), std::string::npos);

    for (const char* bad :
         {R"({"gear": [{"deviceType": 1, "emergency": {"failures": ["fuse"]}}]})",
          R"({"gear": [{"emergency": {}}]})",
          R"({"gear": [{"deviceType": 1, "emergency": {"ratedMinutes": 61}}]})"}) {
        EXPECT_THROW(ParseLineDescription(bad, "bad.json"), LineFileError) << bad;
    }
}

}  // namespace
}  // namespace zd::sim
