// The headless demonstration end to end: the station's terminal on a simulated line, refreshed and
// commanded through the link, as the README's run command shows it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/CliRun.h"
#include "cli/Demo.h"

namespace zd {
namespace {

struct Captured {
    int exitCode = 0;
    std::string text;
};

Captured RunCaptured(const DemoOptions& options) {
    std::FILE* file = std::tmpfile();
    Captured captured;
    captured.exitCode = RunDemo(options, file);
    captured.text = test::ReadAll(file);
    return captured;
}

DemoOptions Options(const std::string& station, const std::string& line) {
    DemoOptions options;
    options.connection.stationFile = test::ExampleStation(station);
    options.connection.lineFile = test::ExampleLine(line);
    return options;
}

TEST(DemoTest, RefreshesTheTerminalAndTalksToTheGearOnTheLine) {
    Captured run = RunCaptured(Options("packed-motorola.xml", "three-addressed.json"));
    ASSERT_EQ(run.exitCode, 0) << run.text;
    // Gear at 0 answers, nobody at 1; recall max then query gives 254; arc power 128 reaches 63.
    test::ExpectParts(
        run.text,
        {"Motorola", "0x314D  (1M)", "query ballast A0               0x0191   0 done",
         "none: timeout", "0xFE (254)", "0x80 (128)", "<unkown short address> 64   query ballast"});
    EXPECT_EQ(run.text.find("[error]"), std::string::npos) << run.text;
}

TEST(DemoTest, AMissingFileIsAClearError) {
    Captured missing = RunCaptured(Options("no-such-station.xml", "three-addressed.json"));
    EXPECT_EQ(missing.exitCode, 1);
    test::ExpectParts(missing.text, {"no-such-station.xml"});
}

}  // namespace
}  // namespace zd
