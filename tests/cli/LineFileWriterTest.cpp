// The line file written from a simulated line reads back as the line it was taken from: every
// terminal setting and every gear variable the file can hold.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/VirtualScheduler.h"
#include "sim/LineFile.h"

namespace zd::sim {
namespace {

std::string Fields(const TerminalConfig& t) {
    std::ostringstream s;
    s << t.position << ' ' << t.firmwareVersion << ' ' << t.featureRegister << ' '
      << t.takeOverDelayMs << ' ' << t.identicalAnswersDecode << ' ' << t.randomSeed << ' '
      << t.layout.motorola;
    for (const ImageEntry& e : t.layout.entries)
        s << ' ' << e.nWordOffset << '.' << e.nBitOffset << '@' << e.nTableNumber;
    return s.str();
}

std::string Fields(const GearConfig& g) {
    std::ostringstream s;
    s << (g.kind == GearKind::Dsi) << ' ' << (g.shortAddress ? int(*g.shortAddress) : -1) << ' '
      << g.randomAddress << ' ' << int(g.actualLevel.value_or(0)) << ' ' << int(g.powerOnLevel)
      << ' ' << int(g.systemFailureLevel) << ' ' << int(g.minLevel.value_or(0)) << ' '
      << int(g.maxLevel) << ' ' << int(g.physicalMinimum) << ' ' << int(g.fadeTime) << ' '
      << int(g.fadeRate) << ' ' << g.groups << ' ' << static_cast<int>(g.lamp) << ' '
      << int(g.deviceType) << ' ' << int(g.version);
    for (std::uint8_t level : g.scenes) s << ' ' << int(level);
    return s.str();
}

TEST(LineFileWriterTest, ACapturedLineWrittenAndReadBackKeepsEverySetting) {
    LineDescription line;
    line.terminal.position = 3;
    line.terminal.firmwareVersion = 0x314C;
    line.terminal.featureRegister = 0x1018;
    line.terminal.takeOverDelayMs = 12;
    line.terminal.layout = ImageLayout::WordAligned(2, 3, true);
    line.terminal.identicalAnswersDecode = true;
    line.terminal.randomSeed = 4711;

    GearConfig dali;
    dali.shortAddress = 17;
    dali.randomAddress = 0x00ABCD;
    dali.actualLevel = 120;
    dali.powerOnLevel = 200;
    dali.systemFailureLevel = kMask;
    dali.physicalMinimum = 40;
    dali.minLevel = 60;
    dali.maxLevel = 230;
    dali.fadeTime = 4;
    dali.fadeRate = 9;
    dali.groups = 0x8005;
    dali.scenes[0] = 0;
    dali.scenes[15] = 180;
    dali.deviceType = 1;
    dali.version = 2;
    GearConfig dsi;
    dsi.kind = GearKind::Dsi;
    dsi.actualLevel = 0;
    dsi.lamp = LampState::Failed;
    line.gear = {dali, dsi};

    VirtualScheduler scheduler;
    auto terminal = MakeTerminal(scheduler, line);
    const std::string text = WriteLineDescription(CaptureLine(*terminal, line.terminal));
    const LineDescription back = ParseLineDescription(text, "written.json");

    EXPECT_EQ(Fields(back.terminal), Fields(line.terminal)) << text;
    ASSERT_EQ(back.gear.size(), 2u);
    // The gear reports its minimum level itself, where the description left it to the default.
    dsi.minLevel = 1;
    EXPECT_EQ(Fields(back.gear[0]), Fields(dali)) << text;
    EXPECT_EQ(Fields(back.gear[1]), Fields(dsi)) << text;
}

}  // namespace
}  // namespace zd::sim
