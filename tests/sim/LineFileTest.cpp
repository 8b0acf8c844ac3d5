// The line description file: the examples load into the terminals they describe, and a bad file is
// refused whole with the file, the place and the reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

#include "platform/VirtualScheduler.h"
#include "sim/Faults.h"
#include "sim/LineFile.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd::sim {
namespace {

using test::kExampleLines;

// The error a text's parse ends with.
std::optional<LineFileError> Refusal(const std::string& text, const std::string& file) {
    return test::Thrown<LineFileError>([&] { ParseLineDescription(text, file); });
}

// Every example loads into a terminal with its gear (what each holds, the tests that use it pin).
TEST(LineFileTest, ExamplesMakeWorkingTerminals) {
    for (const auto& entry : std::filesystem::directory_iterator(kExampleLines)) {
        if (entry.path().extension() != ".json") continue;
        VirtualScheduler clock;
        const LineDescription line = LoadLineFile(entry.path().string());
        auto terminal = MakeTerminal(clock, line);
        EXPECT_EQ(terminal->GetLine().Gear().size(), line.gear.size()) << entry.path();
    }
    EXPECT_THROW(LoadLineFile((kExampleLines / "no-such-line.json").string()), ControlError);
}

TEST(LineFileTest, ValuesAreReadIntoTheGear) {
    const LineDescription line = ParseLineDescription(R"({
        "terminal": {"position": 4, "firmwareVersion": 12620},
        "gear": [{"shortAddress": 12, "randomAddress": "0xABCDEF", "groups": [1, 15],
                  "scenes": {"2": 40}, "lamp": "failed", "minLevel": 20, "maxLevel": 200,
                  "powerOnLevel": 255, "randomise": [1, "0x10"]},
                 {"shortAddress": null}]
    })",
                                                      "inline.json");
    EXPECT_EQ(line.terminal.position, 4);
    EXPECT_EQ(line.terminal.firmwareVersion, 0x314C);
    const GearConfig& gear = line.gear.at(0);
    EXPECT_EQ(gear.randomAddress, 0xABCDEFu);
    EXPECT_EQ(gear.groups, 0x8002);
    EXPECT_EQ(gear.scenes[2], 40);
    EXPECT_EQ(gear.scenes[3], 255);
    EXPECT_EQ(gear.lamp, LampState::Failed);
    EXPECT_EQ(gear.randomise, (std::vector<std::uint32_t>{1, 16}));
    EXPECT_FALSE(line.gear.at(1).shortAddress.has_value());

    VirtualScheduler clock;
    auto terminal = MakeTerminal(clock, line);
    const Ballast& made = *terminal->GetLine().Gear().at(0);
    EXPECT_EQ(made.ShortAddress(), 12);
    EXPECT_EQ(made.MinLevel(), 20);
    EXPECT_EQ(made.LevelAt(0), 200);  // power-on level MASK: the gear comes up at its maximum
}

// A saved line continues: a fade in progress and the initialisation window run on from where they
// were, over what was left of them.
TEST(LineFileTest, ASavedLineContinuesFadesAndTheInitialisationWindow) {
    const LineDescription start = ParseLineDescription(R"({"gear": [{"shortAddress": 1,
        "actualLevel": 100, "fade": {"target": 200, "remainingMs": 1000}, "dtr": 42,
        "powerFailure": false, "initialiseRemainingMs": 60000, "withdrawn": true}]})",
                                                       "start.json");
    VirtualScheduler first;
    auto terminal = MakeTerminal(first, start);
    first.RunFor(400);
    const LineDescription saved =
        ParseLineDescription(WriteLineDescription(CaptureLine(*terminal, {})), "saved.json");
    const GearConfig& gear = saved.gear.at(0);
    ASSERT_TRUE(gear.fade.has_value());
    EXPECT_EQ(std::tuple(int(gear.actualLevel.value_or(0)), int(gear.fade->target),
                         gear.fade->remainingMs, gear.initialiseRemainingMs, gear.withdrawn,
                         int(gear.dtr), gear.powerFailure),
              std::tuple(140, 200, std::int64_t{600}, std::int64_t{59600}, true, 42, false));

    VirtualScheduler second;
    second.RunFor(5000);  // a later run's clock does not start where the first one stopped
    auto reloaded = MakeTerminal(second, saved);
    const Ballast& continued = reloaded->Gear(1);
    EXPECT_TRUE(continued.FadeRunningAt(reloaded->NowMicros()));
    second.RunFor(600);
    EXPECT_EQ(reloaded->GearLevel(1), 200);
    EXPECT_FALSE(continued.FadeRunningAt(reloaded->NowMicros()));
    second.RunFor(59000 - 600);
    EXPECT_TRUE(continued.InInitialisation(reloaded->NowMicros()));
    EXPECT_TRUE(continued.Withdrawn());
    second.RunFor(600);
    EXPECT_FALSE(continued.InInitialisation(reloaded->NowMicros()));
}

// An error about a value points at it: the line and column where the value starts (found by the
// text before the marker in each row), or none when the path has a key the search cannot follow.
TEST(LineFileTest, AWrongValueIsFoundByLineAndColumn) {
    struct Case {
        std::string text;
        const char* marker;  // where the wrong value starts; empty: not found
        const char* where;
    };
    const Case cases[] = {
        {"{\n  \"gear\": [\n    {\"scenes\": {\"1\": 2}},\n    {\"lamp\": \"on\"}\n  ]\n}\n",
         "\"on\"", "/gear/1/lamp"},
        {"{\"description\": \"[{,\\\"}\", \"gear\": [{},\n {\"groups\": [1, 2,\n\t99]}]}", "99",
         "/gear/1/groups/2"},
        {"{\"terminal\": {\"layout\": \"packed\"},\r\n \"gear\": []}", "\"packed\"",
         "/terminal/layout"},
        {"{\"gear\": [{\"x\\\"y\": 1}]}", "", "/gear/0/x\"y"},
    };
    for (const Case& c : cases) {
        int line = 0;
        int column = 0;
        if (*c.marker != '\0') {
            const std::string before = c.text.substr(0, c.text.find(c.marker));
            line = 1 + static_cast<int>(std::count(before.begin(), before.end(), '\n'));
            column = static_cast<int>(before.size() - before.rfind('\n'));
            if (line == 1) column = static_cast<int>(before.size()) + 1;
        }
        const auto error = Refusal(c.text, "f.json");
        ASSERT_TRUE(error) << "accepted: " << c.text;
        EXPECT_EQ(error->Where(), c.where) << error->Description();
        EXPECT_EQ(std::pair(error->Line(), error->Column()), std::pair(line, column))
            << error->Description();
    }
}

TEST(LineFileTest, SyntaxErrorNamesFileLineAndColumn) {
    const struct {
        const char* text;
        const char* file;
        int line, column;
        const char* reasonPart;
    } cases[] = {
        {"{\n  \"gear\": [\n    {\"shortAddress\": 1,}\n  ]\n}\n", "bad.json", 3, 24, ""},
        // A number beyond every number type is a syntax error at its place too.
        {"{\n \"gear\": [{\"fadeTime\": 1e999}]}", "big.json", 2, 24, "1e999"},
    };
    for (const auto& c : cases) {
        const auto error = Refusal(c.text, c.file);
        ASSERT_TRUE(error) << "no error: " << c.text;
        EXPECT_EQ(std::tuple(error->File(), error->Line(), error->Column()),
                  std::tuple(std::string(c.file), c.line, c.column));
        const std::string place =
            c.file + (":" + std::to_string(c.line) + ":" + std::to_string(c.column) + ": ");
        EXPECT_NE(std::string(error->what()).find(place), std::string::npos) << error->what();
        EXPECT_NE(error->Reason().find(c.reasonPart), std::string::npos) << error->Reason();
    }
}

TEST(LineFileTest, WrongValuesAreRefusedWithTheirPlace) {
    struct Case {
        const char* text;
        const char* where;
        const char* reasonPart;
    };
    const Case cases[] = {
        {R"({"gear": [{}, {"shortAddress": 64}]})", "/gear/1/shortAddress", "0..63"},
        {R"({"gear": [{"shortAdress": 4}]})", "/gear/0/shortAdress", "unknown key"},
        {R"({"gear": [{"randomAddress": "0x1000000"}]})", "/gear/0/randomAddress", "outside"},
        {R"({"gear": [{"groups": [16]}]})", "/gear/0/groups/0", "outside"},
        {R"({"gear": [{"minLevel": 30, "maxLevel": 20}]})", "/gear/0/minLevel", "above"},
        {R"({"gear": {"shortAddress": 1}})", "/gear", "list"},
        {R"({"terminal": {"byteOrder": "big"}})", "/terminal/byteOrder", "Motorola"},
        {R"({"terminal": {"layout": {"STATUS": {"word": 0, "bit": 0, "table": 0}, "INPUT": {"word": 0, "bit": 8, "table": 0}, "CONTROL": {"word": 0, "bit": 0, "table": 0}, "OUTPUT": {"word": 0, "bit": 8, "table": 0}}}})",
         "/terminal/layout", "input bytes"},
        {R"([1, 2])", "/", "object"},
        // Numbers are read one way: JSON integers, and "0x" texts only where hexadecimal is
        // allowed; no octal, signs, blanks, decimal texts or fractions.
        {R"({"gear": [{"randomAddress": "010"}]})", "/gear/0/randomAddress", "not a number"},
        {R"({"gear": [{"randomAddress": " 0x5"}]})", "/gear/0/randomAddress", "not a number"},
        {R"({"gear": [{"randomAddress": "+5"}]})", "/gear/0/randomAddress", "not a number"},
        {R"({"gear": [{"randomAddress": "0x"}]})", "/gear/0/randomAddress", "not a number"},
        {R"({"gear": [{"shortAddress": "5"}]})", "/gear/0/shortAddress", "is a text"},
        {R"({"gear": [{"shortAddress": "0x5"}]})", "/gear/0/shortAddress", "is a text"},
        {R"({"gear": [{"maxLevel": 200.0}]})", "/gear/0/maxLevel", "whole number"},
        {R"({"gear": [{"randomise": [18446744073709551615]}]})", "/gear/0/randomise/0", "outside"},
        {R"({"terminal": {"position": -3}})", "/terminal/position", "outside"},
        // Scene keys are the plain numbers, each once; a key twice anywhere is refused.
        {R"({"gear": [{"scenes": {"00": 1}}]})", "/gear/0/scenes/00", "scene number"},
        {R"({"gear": [{"scenes": {"0x0": 1}}]})", "/gear/0/scenes/0x0", "scene number"},
        {R"({"gear": [{"scenes": {"16": 1}}]})", "/gear/0/scenes/16", "scene number"},
        {R"({"gear": [{}, {"scenes": {"2": 1, "2": 5}}]})", "/gear/1/scenes/2", "twice"},
        {R"({"gear": [{"groups": [3, 3]}]})", "/gear/0/groups/1", "twice"},
        // Contradictions are refused, not made to fit.
        {R"({"gear": [{"maxLevel": 100, "physicalMinimum": 253}]})", "/gear/0/maxLevel",
         "physical minimum 253"},
        {R"({"gear": [{"maxLevel": 100, "actualLevel": 200}]})", "/gear/0/actualLevel", "limits"},
        {R"({"gear": [{"actualLevel": 50, "fade": {"target": 254, "final": 7, "remainingMs": 9}}]})",
         "/gear/0/fade/final", "target"},
        {R"({"gear": [{"fade": {"target": 254, "remainingMs": 9}}]})", "/gear/0/fade",
         "actualLevel"},
        {R"({"gear": [{"withdrawn": true}]})", "/gear/0/withdrawn", "initialisation window"},
        {R"({"terminal": {"layout": {"STATUS": {"word": 0, "bit": 4, "table": 0}}}})",
         "/terminal/layout/STATUS/bit", "0 or 8"},
        {R"({"powerUp": "yes"})", "/powerUp", "true or false"},
        // Faults by name, each within its range.
        {R"({"gear": [{"faults": {"loseAnswr": 1}}]})", "/gear/0/faults/loseAnswr",
         "unknown fault"},
        {R"({"gear": [{"faults": {"answerDelayUs": 1000}}]})", "/gear/0/faults/answerDelayUs",
         "0, or 2917..9167"},
        {R"({"gear": [{"faults": {"randomiseDelayMs": 60001}}]})",
         "/gear/0/faults/randomiseDelayMs", "0..60000"},
        {R"({"gear": [{"faults": {"silent": 1}}]})", "/gear/0/faults/silent", "true or false"},
        {R"({"terminal": {"faults": {"acknowledgeDelayMs": 5001}}})",
         "/terminal/faults/acknowledgeDelayMs", "0..5000"},
        {R"({"gear": [{"lampEvents": [{"atMs": 5}]}]})", "/gear/0/lampEvents/0", "both"},
    };
    for (const Case& c : cases) {
        const auto error = Refusal(c.text, "line.json");
        ASSERT_TRUE(error) << "accepted: " << c.text;
        EXPECT_EQ(error->Where(), c.where) << c.text;
        EXPECT_NE(error->Reason().find(c.reasonPart), std::string::npos) << error->Reason();
        // Every value here is on the one line of its text: the column points at it.
        EXPECT_EQ(error->Line(), 1) << c.text;
        EXPECT_EQ(
            error->Description().rfind(
                "line.json:1:" + std::to_string(error->Column()) + ": at " + c.where + ": ", 0),
            0u)
            << error->Description();
    }
}

// Faults and the lamp script come from the file; a saved line holds what is left of them and
// leaves out a gear's faults when none is on.
TEST(LineFileTest, ASavedLineKeepsWhatIsLeftOfFaultsAndTheLampScript) {
    const LineDescription start = ParseLineDescription(R"({
        "terminal": {"faults": {"acknowledgeDelayMs": 40, "collideNextCommands": 2}},
        "gear": [{"shortAddress": 1, "faults": {"loseAnswer": 3, "answerEverySecondQuery": true,
                   "randomiseDelayMs": 300, "answerDelayUs": 9000},
                  "lampEvents": [{"atMs": 1000, "lamp": "removed"}, {"atMs": 1300, "lamp": "present"}]},
                 {"shortAddress": 2, "faults": {"powerDownAfterFrames": 1}},
                 {"shortAddress": 3}]
    })",
                                                       "faults.json");
    VirtualScheduler clock;
    clock.RunFor(50);  // the script runs from when the line is loaded
    auto terminal = MakeTerminal(clock, start);
    EXPECT_EQ(terminal->Faults().m_acknowledgeDelayMs, 40);
    EXPECT_TRUE(terminal->Gear(1).Faults().m_answerEverySecondQuery);
    // Two asks of gear 1 (one answered) and the frame that takes gear 2's mains.
    for (int i = 0; i < 2; ++i) terminal->GetLine().SendForward(0x0391, terminal->NowMicros());
    clock.RunFor(1100);
    EXPECT_EQ(terminal->Gear(1).Lamp(), LampState::Removed);
    const std::string text = WriteLineDescription(CaptureLine(*terminal, {}));
    const LineDescription saved = ParseLineDescription(text, "saved.json");
    GearFaults left = start.gear[0].faults;
    left.m_loseAnswer = 2;
    EXPECT_EQ(saved.gear[0].faults, left);
    EXPECT_EQ(saved.gear[0].lampEvents,
              (std::vector<GearConfig::LampEvent>{{200, LampState::Present}}));
    EXPECT_FALSE(saved.gear[1].powered);
    EXPECT_EQ(saved.gear[1].faults, GearFaults{});
    EXPECT_EQ(saved.terminal.faults, start.terminal.faults);
    std::size_t faultObjects = 0;
    for (auto at = text.find("\"faults\""); at != std::string::npos;
         at = text.find("\"faults\"", at + 1))
        ++faultObjects;
    EXPECT_EQ(faultObjects, 2u);  // the terminal's and gear 1's
}

TEST(LineFileTest, FaultSettingsNameTheGearOrTheTerminal) {
    const FaultSetting lose = ParseFaultSetting("3:loseAnswer=2");
    EXPECT_EQ(std::tuple(lose.gearId, lose.name, lose.value),
              std::tuple(std::optional(3), std::string("loseAnswer"), std::int64_t{2}));
    const FaultSetting slow = ParseFaultSetting("terminal:acknowledgeDelayMs=40");
    EXPECT_FALSE(slow.gearId);
    EXPECT_EQ(ParseFaultSetting("1:silent=on").value, 1);
    EXPECT_EQ(ParseFaultSetting("1:silent=false").value, 0);
    const struct {
        const char* setting;
        const char* reasonPart;
    } wrong[] = {
        {"3:loseAnswr=2", "answerEverySecondQuery"},   // lists the gear's names
        {"terminal:silent=on", "acknowledgeDelayMs"},  // lists the terminal's names
        {"0:silent=on", "gear number from 1"},        {"1:silent=yes", "on, off, true or false"},
        {"1:answerDelayUs=100", "0, or 2917..9167"},  {"1:loseAnswer=-1", "0.."},
        {"loseAnswer=1", "GEAR:NAME=VALUE"},
    };
    for (const auto& c : wrong) {
        const auto error = test::Thrown<ControlError>([&] { ParseFaultSetting(c.setting); });
        ASSERT_TRUE(error) << "accepted: " << c.setting;
        EXPECT_NE(error->Description().find(c.setting), std::string::npos) << error->Description();
        EXPECT_NE(error->Description().find(c.reasonPart), std::string::npos)
            << error->Description();
    }
    VirtualScheduler clock;
    auto terminal = MakeTerminal(clock, ParseLineDescription(R"({"gear": [{}]})", "one.json"));
    ApplyFault(*terminal, ParseFaultSetting("1:answerDelayUs=9167"));
    EXPECT_EQ(terminal->Gear(1).Faults().m_answerDelayUs, 9167);
    EXPECT_THROW(ApplyFault(*terminal, ParseFaultSetting("2:silent=on")), ControlError);
}

}  // namespace
}  // namespace zd::sim
