// The line description file: the examples load into the terminals they describe, and a bad file is
// refused whole with the file, the place and the reason.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/VirtualScheduler.h"
#include "sim/LineFile.h"

namespace zd::sim {
namespace {

std::filesystem::path Examples() {
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "examples" /
           "lines";
}

LineDescription Example(const char* name) {
    return LoadLineFile((Examples() / name).string());
}

std::multiset<int> ShortAddresses(const LineDescription& line) {
    std::multiset<int> addresses;
    for (const GearConfig& gear : line.gear)
        addresses.insert(gear.shortAddress ? *gear.shortAddress : -1);
    return addresses;
}

TEST(LineFileTest, ExamplesDescribeTheirLinesAndMakeWorkingTerminals) {
    EXPECT_EQ(ShortAddresses(Example("three-addressed.json")), (std::multiset<int>{0, 5, 63}));
    EXPECT_EQ(ShortAddresses(Example("shared-address.json")).count(7), 2u);
    EXPECT_EQ(Example("dsi-line.json").gear.at(0).kind, GearKind::Dsi);
    const LineDescription packed = Example("packed-motorola.json");
    EXPECT_TRUE(packed.terminal.layout.motorola);
    EXPECT_EQ(packed.terminal.layout.entries[kImageOutput].nBitOffset, 8);
    EXPECT_EQ(Example("word-aligned-intel.json").terminal.layout.entries[kImageInput].nWordOffset,
              1);

    for (const auto& entry : std::filesystem::directory_iterator(Examples())) {
        VirtualScheduler clock;
        const LineDescription line = LoadLineFile(entry.path().string());
        auto terminal = MakeTerminal(clock, line);
        EXPECT_EQ(terminal->GetLine().Gear().size(), line.gear.size()) << entry.path();
    }
    EXPECT_THROW(LoadLineFile((Examples() / "no-such-line.json").string()), ControlError);
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

TEST(LineFileTest, SyntaxErrorNamesFileLineAndColumn) {
    try {
        ParseLineDescription("{\n  \"gear\": [\n    {\"shortAddress\": 1,}\n  ]\n}\n", "bad.json");
        FAIL() << "no error";
    } catch (const LineFileError& error) {
        EXPECT_EQ(error.File(), "bad.json");
        EXPECT_EQ(error.Line(), 3);
        EXPECT_EQ(error.Column(), 24);
        EXPECT_NE(std::string(error.what()).find("bad.json:3:24: "), std::string::npos)
            << error.what();
    }
    // A number beyond every number type is a syntax error at its place too.
    try {
        ParseLineDescription("{\n \"gear\": [{\"fadeTime\": 1e999}]}", "big.json");
        FAIL() << "no error";
    } catch (const LineFileError& error) {
        EXPECT_EQ(error.Line(), 2);
        EXPECT_EQ(error.Column(), 24);
        EXPECT_NE(error.Reason().find("1e999"), std::string::npos) << error.Reason();
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
        {R"({"terminal": {"layout": {"STATUS": {"word": 0, "bit": 0, "table": 0},
             "INPUT": {"word": 0, "bit": 8, "table": 0}, "CONTROL": {"word": 0, "bit": 0, "table": 0},
             "OUTPUT": {"word": 0, "bit": 8, "table": 0}}}})",
         "/terminal/layout", "input bytes"},
        {R"([1, 2])", "/", "object"},
    };
    for (const Case& c : cases) {
        try {
            ParseLineDescription(c.text, "line.json");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const LineFileError& error) {
            EXPECT_EQ(error.Where(), c.where) << c.text;
            EXPECT_NE(error.Reason().find(c.reasonPart), std::string::npos) << error.Reason();
            EXPECT_EQ(error.Line(), 0);
            EXPECT_EQ(error.Description().rfind("line.json: at ", 0), 0u) << error.Description();
        }
    }
}

}  // namespace
}  // namespace zd::sim
