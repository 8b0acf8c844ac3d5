// The line file written from a simulated line reads back as the line it was taken from: every
// terminal setting and every gear variable the file can hold.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliRun.h"
#include "cli/CommandLine.h"
#include "platform/VirtualScheduler.h"
#include "sim/LineFile.h"

namespace zd::sim {
namespace {

std::string Fields(const TerminalConfig& t) {
    std::ostringstream s;
    s << t.position << ' ' << t.firmwareVersion << ' ' << t.featureRegister << ' '
      << t.takeOverDelayMs << ' ' << t.identicalAnswersDecode << ' ' << t.codeWord << ' '
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
      << int(g.deviceType) << ' ' << int(g.version) << ' ' << int(g.dtr) << ' ' << g.powerFailure
      << ' ' << g.limitError << ' ' << g.searchAddress << ' ' << g.initialiseRemainingMs << ' '
      << g.withdrawn << ' ' << g.physicalSelection;
    if (g.fade)
        s << " fade " << int(g.fade->target) << ' ' << int(g.fade->final) << ' '
          << g.fade->remainingMs;
    for (std::uint8_t level : g.scenes) s << ' ' << int(level);
    for (std::uint32_t random : g.randomise) s << ' ' << random;
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
    line.terminal.codeWord = 0x52D6;

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
    dali.randomise = {0x000001, 0xFFFFFE};
    dali.dtr = 77;
    dali.powerFailure = false;
    dali.limitError = true;
    dali.searchAddress = 0x123456;
    dali.fade = GearConfig::FadeState{230, 0, 1500};
    dali.initialiseRemainingMs = 600000;
    dali.withdrawn = true;
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
    // The seed is drawn afresh, so that the next run does not repeat this one's random addresses.
    EXPECT_NE(back.terminal.randomSeed, line.terminal.randomSeed);
    ASSERT_EQ(back.gear.size(), 2u);
    // The gear reports its minimum level itself, where the description left it to the default.
    dsi.minLevel = 1;
    EXPECT_EQ(Fields(back.gear[0]), Fields(dali)) << text;
    EXPECT_EQ(Fields(back.gear[1]), Fields(dsi)) << text;

    // A power-up asked for in the file: the gear come back at their power-on level with the power
    // failure reported, and lose their DTR, fade and initialisation window.
    LineDescription cycled = ParseLineDescription(
        text.substr(0, text.find('{') + 1) + "\"powerUp\": true," + text.substr(text.find('{') + 1),
        "cycled.json");
    const GearConfig& up = cycled.gear.at(0);
    EXPECT_EQ(up.actualLevel, std::nullopt);
    EXPECT_EQ(std::tuple(int(up.dtr), up.powerFailure, up.fade.has_value(),
                         up.initialiseRemainingMs, up.withdrawn),
              std::tuple(0, true, false, std::int64_t{0}, false));
    auto poweredUp = MakeTerminal(scheduler, cycled);
    EXPECT_EQ(poweredUp->GearLevel(1), 200);
}

// The command line on a line file that places the terminal otherwise than the station: the
// terminal follows the station, the run works, and the console says which placement was used.
TEST(LineFileWriterTest, ALineFilePlacingTheTerminalOtherwiseIsNotedAndTheStationIsFollowed) {
    // Only a line file the user names is worth the note; the default example is not.
    SessionOptions defaults = test::ExampleDefaults();
    defaults.connection.lineFile = test::ExampleLine("word-aligned-motorola.json");
    EXPECT_EQ(test::RunZd({"scan"}, defaults).console.find("differently"), std::string::npos);
    const test::Outcome run =
        test::RunZd({"--line", *defaults.connection.lineFile, "scan"}, defaults);
    EXPECT_EQ(run.exitCode, 0);
    // What the note says the station document's tests pin.
    test::ExpectParts(run.console, {"follows the station document"});
    EXPECT_EQ(run.json.at("devices").size(), 3u) << run.json;
}

}  // namespace
}  // namespace zd::sim
