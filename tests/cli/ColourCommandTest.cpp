// "zd4270 colour" as users run it on the tunable-white example line, the line saved with its
// colour part, and the colour temperature in backup, restore and the report.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "cli/CliRun.h"
#include "sim/LineFile.h"

namespace zd {
namespace {

using test::ExampleLine;
using test::Outcome;

class ColourCommandTest : public test::FolderTest {
  protected:
    ColourCommandTest() : FolderTest("zd_colour_") {}

    Outcome Zd(std::vector<std::string> args, const std::string& line) const {
        args.insert(args.end(), {"--registry", File("store.ini"), "--line", line});
        return test::RunZd(args, test::ExampleDefaults());
    }
    Outcome Zd(const std::vector<std::string>& args) const {
        return Zd(args, ExampleLine("tunable-white.json"));
    }
};

TEST_F(ColourCommandTest, SetReadLimitsAndSceneGiveKelvinAndMirek) {
    const std::string saved = File("saved.json");
    Outcome set = Zd({"colour", "--short", "5", "--kelvin", "3000", "--save-line", saved});
    ASSERT_EQ(set.exitCode, 0) << set.json.dump();
    EXPECT_EQ(set.json.at("colour"), (Json{{"kelvin", 3003}, {"mirek", 333}}));
    EXPECT_EQ(set.json.at("check"), "taken");
    // The saved line holds the new colour.
    EXPECT_EQ(sim::LoadLineFile(saved).gear.at(0).colour.actual, 333);

    // Gear 7 is limited to 3000..5000 K: 2700 K is clamped, and said so.
    const Outcome clamped = Zd({"colour", "--short", "7", "--kelvin", "2700"});
    ASSERT_EQ(clamped.exitCode, 0) << clamped.json.dump();
    EXPECT_EQ(clamped.json.at("clamped"), true);
    EXPECT_EQ(clamped.json.at("colour").at("mirek"), 333);
    const Outcome refused =
        Zd({"colour", "--short", "7", "--kelvin", "2700", "--refuse-outside-limits"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.json.at("check"), "refused-outside-limits");

    const Outcome read = Zd({"colour", "--short", "7"});
    ASSERT_EQ(read.exitCode, 0) << read.json.dump();
    EXPECT_EQ(read.json.at("limits").at("coolest"), (Json{{"kelvin", 5000}, {"mirek", 200}}));
    EXPECT_EQ(read.json.at("colour").at("mirek"), 300);
    EXPECT_TRUE(read.json.at("powerOn").is_null());

    const Outcome limits =
        Zd({"colour", "--short", "5", "--coolest", "5000", "--warmest", "333mirek"});
    ASSERT_EQ(limits.exitCode, 0) << limits.json.dump();
    EXPECT_EQ(limits.json.at("limits").at("warmest").at("mirek"), 333);

    const Outcome scene =
        Zd({"colour", "--short", "5", "--scene", "3", "--level", "200", "--kelvin", "2700"});
    ASSERT_EQ(scene.exitCode, 0) << scene.json.dump();
    EXPECT_EQ(scene.json.at("colourRead").at("mirek"), 370);

    const Outcome group = Zd({"colour", "--group", "2", "--mirek", "250"});
    ASSERT_EQ(group.exitCode, 0) << group.json.dump();
    EXPECT_EQ(group.json.at("check"), "not-checked");
}

TEST_F(ColourCommandTest, BadInputIsToldAndSendsNothing) {
    const Outcome led = Zd({"colour", "--short", "10", "--kelvin", "3000"});
    EXPECT_EQ(led.exitCode, 1);
    EXPECT_EQ(led.json.at("check"), "other-device-type");
    EXPECT_NE(led.json.at("error").get<std::string>().find("device type 6"), std::string::npos);
    const Outcome none = Zd({"colour", "--short", "20", "--kelvin", "3000"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.json.at("check"), "no-gear");
    for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
             {"colour", "--short", "5", "--kelvin", "3000", "--mirek", "300"},
             {"colour", "--short", "5", "--kelvin", "10"},
             {"colour", "--group", "2"},
             {"colour", "--short", "5", "--scene", "3"},
             {"colour", "--kelvin", "3000"}}) {
        EXPECT_EQ(Zd(usage).exitCode, 2) << usage[1];
    }
}

TEST_F(ColourCommandTest, BackupRestoreAndReportKeepTheColour) {
    const std::string line = File("line.json");
    const std::string backup = File("backup.json");
    ASSERT_EQ(Zd({"colour", "--short", "7", "--save-line", line}).exitCode, 0);
    const Outcome saved = Zd({"backup", backup}, line);
    ASSERT_EQ(saved.exitCode, 0) << saved.json.dump();
    std::stringstream text;
    text << std::ifstream(backup).rdbuf();
    const Json file = Json::parse(text.str());
    const Json& colour = file.at("devices").at(2).at("colour");
    EXPECT_EQ(colour.at("coolest"), (Json{{"kelvin", 5000}, {"mirek", 200}}));
    EXPECT_EQ(colour.at("scenes").at("1").at("mirek"), 370);
    EXPECT_FALSE(file.at("devices").at(3).contains("colour"));

    // The limits and a scene colour change on site; the restore brings them back.
    ASSERT_EQ(
        Zd({"colour", "--short", "7", "--coolest", "6000", "--save-line", line}, line).exitCode, 0);
    ASSERT_EQ(Zd({"colour", "--short", "7", "--scene", "1", "--level", "200", "--kelvin", "4000",
                  "--save-line", line},
                 line)
                  .exitCode,
              0);
    const Outcome restored = Zd({"restore", backup, "--yes", "--save-line", line}, line);
    ASSERT_EQ(restored.exitCode, 0) << restored.json.dump();
    const sim::ColourConfig after = sim::LoadLineFile(line).gear.at(2).colour;
    EXPECT_EQ(after.coolest, 200);
    EXPECT_EQ(after.scenes[1], 370);

    const Outcome report = Zd({"report", File("report.csv")}, line);
    ASSERT_EQ(report.exitCode, 0) << report.json.dump();
    std::stringstream csv;
    csv << std::ifstream(File("report.csv")).rdbuf();
    EXPECT_NE(csv.str().find(",colour temperature\r\n"), std::string::npos);
    EXPECT_NE(csv.str().find("3333 K (3003 K to 5000 K)"), std::string::npos) << csv.str();
}

}  // namespace
}  // namespace zd
