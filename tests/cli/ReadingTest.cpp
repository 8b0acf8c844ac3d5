// The commands that only read the line leave it as it was: every forward frame they put on the
// simulated line is a query or a special command, never one that changes a level or a setting
// (the Scenes page's preview of scene 0 used to switch the lamp on each reading). And what the
// report makes of a gear that stops answering once the scan has found it.
#include <gtest/gtest.h>
#include <algorithm>

#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "sim/LineFile.h"
#include "support/LineFrames.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using test::Args;
using test::Outcome;

class ReadingTest : public test::FolderTest {
  protected:
    ReadingTest() : FolderTest("zd_reading_") {}

    // zd4270 args on the three-addressed line with a store of the test's own; frames receives
    // every forward frame the run sent.
    Outcome Zd(std::vector<std::string> args, std::vector<sim::SentFrame>& frames) const {
        args.insert(args.end(), {"--registry", File("store.ini"), "--quiet"});
        SessionOptions defaults = test::ExampleDefaults();
        defaults.prepareSimulatedLine = [&frames](SimDevCom& devCom) {
            sim::Terminal& terminal = devCom.Terminal();
            terminal.SetFrameLog(true);
            // The terminal lives as long as the run: its log is taken before each call, by
            // which the frames of the call before have ended.
            devCom.Faults().m_beforeCall = [&frames, &terminal](std::int64_t) {
                const std::vector<sim::SentFrame>& log = terminal.FrameLog();
                frames.insert(frames.end(), log.begin(), log.end());
                terminal.ClearFrameLog();
            };
        };
        return test::RunZd(args, defaults);
    }
};

TEST_F(ReadingTest, ReadingCommandsSendNothingThatChangesTheGear) {
    const std::vector<std::vector<std::string>> readings = {
        Args("variables", "--short", "5"),
        Args("groups", "--short", "5"),
        Args("scenes", "--short", "5"),
        Args("scenes", "--short", "0"),
        Args("archive", "upload", File("archive.xml")),
        Args("backup", File("backup.json")),
        Args("report", File("report.csv")),
        Args("restore", File("backup.json"), "--dry-run"),
    };
    for (const std::vector<std::string>& args : readings) {
        std::vector<sim::SentFrame> frames;
        const Outcome run = Zd(args, frames);
        EXPECT_EQ(run.exitCode, 0) << test::Joined(args) << run.json.dump(1);
        EXPECT_FALSE(frames.empty()) << test::Joined(args);
        EXPECT_EQ(test::ChangingFrames(frames), std::vector<std::string>{}) << test::Joined(args);
    }

    // What a write sends is seen: a scene stored, and the lamp lit on request.
    std::vector<sim::SentFrame> frames;
    ASSERT_EQ(Zd(Args("scenes", "--short", "5", "--set", "3=128"), frames).exitCode, 0);
    EXPECT_FALSE(test::ChangingFrames(frames).empty());
    frames.clear();
    ASSERT_EQ(Zd(Args("groups", "--short", "5", "--optical-feedback"), frames).exitCode, 0);
    EXPECT_EQ(test::ChangingFrames(frames),
              (std::vector<std::string>{"0xFF06 (recall min level)", "0x0B05 (recall max level)"}));
}

TEST_F(ReadingTest, TheReportNamesAGearThatDoesNotAnswer) {
    // The gear at 63 answers the scan's question (the 64th frame), then loses its mains.
    const std::string line =
        EditedLine("dying.json", "three-addressed.json", [](sim::LineDescription& l) {
            for (sim::GearConfig& gear : l.gear)
                if (gear.shortAddress == 63) gear.faults.m_powerDownAfterFrames = 64;
        });
    std::vector<sim::SentFrame> frames;
    for (const auto& [language, remark] : {std::pair{"en", ",no,no,does not answer\r\n"},
                                           {"de", ",nein,nein,antwortet nicht\r\n"}}) {
        const Outcome run =
            Zd(Args("--lang", language, "report", "--line", line, File("report.csv")), frames);
        ASSERT_EQ(run.exitCode, 0) << run.json.dump(1);
        // The German CSV separates its fields by semicolons, read here as commas.
        std::string csv = test::ReadFileText(File("report.csv"));
        if (std::string(language) == "de") std::replace(csv.begin(), csv.end(), ';', ',');
        EXPECT_NE(csv.find("\r\n1,Coupler 1,63,?,?,?,?,?,?,?,?,?,?,?" + std::string(remark)),
                  std::string::npos)
            << csv;
        EXPECT_NE(csv.find("\r\n1,Coupler 1,5,5F 00 00,6,"), std::string::npos) << csv;
    }
}

}  // namespace
}  // namespace zd
