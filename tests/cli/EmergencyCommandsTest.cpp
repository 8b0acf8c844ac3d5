// The emergency commands as users run them, on the example line with three emergency luminaires
// and an LED gear: state, tests in their real length of virtual time, timing, the refusals for an
// empty address and gear of another type, and the report's emergency section.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "link/Commands.h"

namespace zd {
namespace {

using test::Outcome;

class EmergencyCommandsTest : public test::FolderTest {
  protected:
    EmergencyCommandsTest() : FolderTest("zd_emergency_") {}

    // zd4270 on the emergency example (or the line saved by the last run), a store of the
    // test's own, and the line saved for the next run.
    Outcome Zd(std::vector<std::string> args) {
        const std::string line = m_saved ? File("line.json") : test::ExampleLine("emergency.json");
        args.insert(args.end(), {"--line", line, "--registry", File("store.ini"), "--save-line",
                                 File("next.json")});
        Outcome run = test::RunZd(args, test::ExampleDefaults());
        // A refused command line writes no line: the next run starts from the same one.
        if (std::filesystem::exists(File("next.json"))) {
            std::filesystem::rename(File("next.json"), File("line.json"));
            m_saved = true;
        }
        return run;
    }

    static bool Lists(const Json& names, const std::string& name) {
        return std::find(names.begin(), names.end(), Json(name)) != names.end();
    }

  private:
    bool m_saved = false;
};

TEST_F(EmergencyCommandsTest, StatusReadsEmergencyGearAndSaysWhatElseIsThere) {
    const Outcome one = Zd({"emergency", "status", "--short", "1"});
    ASSERT_EQ(one.exitCode, 0) << one.json.dump(2);
    EXPECT_EQ(one.json["mode"], "normal");
    EXPECT_EQ(one.json["batteryCharge"], 254);
    EXPECT_EQ(one.json["ratedDurationMinutes"], 180);
    EXPECT_TRUE(Lists(one.json["status"], "battery fully charged"));

    const Outcome led = Zd({"emergency", "status", "--short", "4"});
    EXPECT_EQ(led.exitCode, 1);
    EXPECT_EQ(led.json["gear"], "other-type");
    EXPECT_EQ(led.json["error"],
              "the gear at short address 4 is of device type 6, not emergency lighting (device "
              "type 1)");
    const Outcome none = Zd({"emergency", "status", "--short", "9"});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_EQ(none.json["error"], "no gear answers at short address 9");

    const Outcome all = Zd({"emergency", "status", "--all-gear"});
    ASSERT_EQ(all.exitCode, 0) << all.json.dump(2);
    EXPECT_EQ(all.json["emergencyGear"], 3);
    ASSERT_EQ(all.json["gear"].size(), 4u);
    EXPECT_EQ(all.json["gear"][3]["gear"], "other-type");
    EXPECT_EQ(all.json["gear"][3]["deviceType"], 6);

    for (const auto& args :
         {test::Args("emergency", "status"),
          test::Args("emergency", "status", "--short", "1", "--all-gear"),
          test::Args("emergency", "test", "smoke", "--short", "1"),
          test::Args("emergency", "timing", "--short", "1", "--duration-interval", "98"),
          test::Args("emergency")}) {
        EXPECT_EQ(Zd(args).exitCode, 2) << test::Joined(args);
    }
}

TEST_F(EmergencyCommandsTest, TestsRunTheirLengthAndTheReportShowsTheLastOnes) {
    const Outcome function = Zd({"emergency", "test", "function", "--short", "1"});
    ASSERT_EQ(function.exitCode, 0) << function.json.dump(2);
    EXPECT_EQ(function.json["passed"], true);
    EXPECT_GE(function.json["testMs"].get<int>(), 10000);

    // A failed test has its own exit code, distinct from the errors'.
    const Outcome lamp = Zd({"emergency", "test", "function", "--short", "2"});
    ASSERT_EQ(lamp.exitCode, 3) << lamp.json.dump(2);
    EXPECT_EQ(lamp.json["passed"], false);
    EXPECT_TRUE(Lists(lamp.json["failures"], "emergency lamp failure"));
    EXPECT_TRUE(Lists(lamp.json["failures"], "function test failed"));

    const Outcome weak = Zd({"emergency", "test", "duration", "--short", "3"});
    ASSERT_EQ(weak.exitCode, 3) << weak.json.dump(2);
    EXPECT_EQ(weak.json["passed"], false);
    EXPECT_EQ(weak.json["durationMinutes"], 120);
    EXPECT_EQ(weak.json["ratedMinutes"], 180);
    EXPECT_TRUE(Lists(weak.json["failures"], "battery duration failure"));

    const Outcome full = Zd({"emergency", "test", "duration", "--short", "1"});
    ASSERT_EQ(full.exitCode, 0) << full.json.dump(2);
    EXPECT_EQ(full.json["passed"], true);
    EXPECT_EQ(full.json["durationMinutes"], 180);
    EXPECT_GE(full.json["lineTimeMs"].get<std::int64_t>(), 3LL * 3600 * 1000);
    // Drained by the test: the line keeps what happened.
    EXPECT_LT(full.json["batteryCharge"].get<int>(), 254);

    // An LED gear is refused before anything is started.
    const Outcome led = Zd({"emergency", "test", "duration", "--short", "4"});
    EXPECT_EQ(led.exitCode, 1);
    EXPECT_EQ(led.json["gear"], "other-type");

    const Outcome report = Zd({"report", File("site.html")});
    ASSERT_EQ(report.exitCode, 0) << report.json.dump(2);
    const std::string html = test::ReadFileText(File("site.html"));
    test::ExpectParts(html, {"Emergency lighting", "Duration reached", "180 of 180 min",
                             "120 of 180 min", "emergency lamp failure", "not tested"});
    // The date this tool ran the test, as it keeps it: today's.
    EXPECT_NE(html.find(DateTimeText(std::chrono::system_clock::now()).substr(0, 10)),
              std::string::npos);
    // The CSV carries the same results.
    ASSERT_EQ(Zd({"report", File("site.csv")}).exitCode, 0);
    test::ExpectParts(test::ReadFileText(File("site.csv")),
                      {"duration test result", "120 of 180 min", "emergency lamp failure"});
    const Outcome german = Zd({"--lang", "de", "report", File("site-de.html")});
    ASSERT_EQ(german.exitCode, 0);
    test::ExpectParts(test::ReadFileText(File("site-de.html")),
                      {"Notbeleuchtung", "Erreichte Dauer", "Notlampe defekt", "bestanden"});
}

TEST_F(EmergencyCommandsTest, TimingIsReadAndSetWithItsReadBack) {
    const Outcome read = Zd({"emergency", "timing", "--short", "1"});
    ASSERT_EQ(read.exitCode, 0) << read.json.dump(2);
    EXPECT_EQ(read.json["functionTestIntervalDays"], 7);
    EXPECT_EQ(read.json["durationTestIntervalWeeks"], 52);
    EXPECT_EQ(read.json["prolongTimeSeconds"], 60);

    const Outcome set = Zd({"emergency", "timing", "--short", "1", "--function-interval", "30",
                            "--duration-interval", "0", "--test-delay", "4"});
    ASSERT_EQ(set.exitCode, 0) << set.json.dump(2);
    EXPECT_EQ(set.json["functionTestIntervalDays"], 30);
    EXPECT_EQ(set.json["durationTestIntervalWeeks"], 0);
    EXPECT_EQ(set.json["nextFunctionTestMinutes"], 60);
    EXPECT_TRUE(set.json["nextDurationTestMinutes"].is_null());
    EXPECT_EQ(set.json["written"].size(), 3u);
    // The saved line keeps them for the next run.
    EXPECT_EQ(Zd({"emergency", "timing", "--short", "1"}).json["functionTestIntervalDays"], 30);

    const Outcome led = Zd({"emergency", "timing", "--short", "4", "--timeout", "3"});
    EXPECT_EQ(led.exitCode, 1);
    EXPECT_EQ(led.json["gear"], "other-type");
}

}  // namespace
}  // namespace zd
