// The headless commands as users run them: the command line main passes on, on the example lines,
// with the JSON document read back; runs chained through the line files they save.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "sim/LineFile.h"

namespace zd {
namespace {

std::string Example(const std::string& name) {
    return std::string(ZD4270_EXAMPLES_DIR) + "/lines/" + name;
}

std::string ReadAll(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    std::fclose(file);
    return text;
}

struct Outcome {
    int exitCode = -1;
    Json json;
    std::string console;
};

class CommandLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder = std::filesystem::temp_directory_path() / (std::string("zd_cli_") + info->name());
        std::filesystem::remove_all(m_folder);
        std::filesystem::create_directories(m_folder);
    }
    void TearDown() override { std::filesystem::remove_all(m_folder); }

    std::string File(const std::string& name) const { return (m_folder / name).string(); }

    // zd4270 with these arguments on the packed Intel station, three-addressed line by default.
    static Outcome Zd(const std::vector<std::string>& args) {
        std::vector<const char*> argv{"zd4270", "--lang", "en"};
        for (const std::string& arg : args) argv.push_back(arg.c_str());
        SessionOptions defaults;
        defaults.stationFile = std::string(ZD4270_EXAMPLES_DIR) + "/stations/packed-intel.xml";
        defaults.lineFile = Example("three-addressed.json");
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome run;
        run.exitCode =
            RunCommandLine(static_cast<int>(argv.size()), argv.data(), defaults, out, err);
        const std::string text = ReadAll(out);
        run.console = ReadAll(err);
        run.json = Json::parse(text);
        return run;
    }

    static std::vector<int> ShortAddresses(const Json& devices) {
        std::vector<int> addresses;
        for (const Json& device : devices)
            addresses.push_back(device.at("shortAddress").get<int>());
        return addresses;
    }

  private:
    std::filesystem::path m_folder;
};

TEST_F(CommandLineTest, ScanListsTheAddressedDevicesAndTheirConflicts) {
    const Outcome three = Zd({"scan"});
    ASSERT_EQ(three.exitCode, 0) << three.json.dump();
    EXPECT_EQ(three.json.at("command"), "scan");
    EXPECT_EQ(ShortAddresses(three.json.at("devices")), (std::vector<int>{0, 5, 63}));
    EXPECT_TRUE(three.json.at("messages").empty());

    const Outcome shared = Zd({"scan", "--line", Example("shared-address.json")});
    ASSERT_EQ(shared.exitCode, 0);
    EXPECT_EQ(shared.json.at("devices").at(0), (Json{{"shortAddress", 7}, {"conflict", true}}));
}

TEST_F(CommandLineTest, RandomAddressingIsSavedWithTheLineAndFoundByTheNextScan) {
    const Outcome addressing =
        Zd({"address", "random", "--line", Example("sixteen-unaddressed.json"), "--save-line",
            File("addressed.json")});
    ASSERT_EQ(addressing.exitCode, 0) << addressing.json.dump();
    EXPECT_EQ(addressing.json.at("variant"), "terminal");
    // The terminal reports its count in a box, which the document carries.
    ASSERT_EQ(addressing.json.at("messages").size(), 1u);
    EXPECT_NE(addressing.json.at("messages").at(0).at("text").get<std::string>().find("16"),
              std::string::npos);

    const Outcome scan = Zd({"scan", "--line", File("addressed.json")});
    ASSERT_EQ(scan.exitCode, 0);
    std::vector<int> expected;
    for (int a = 0; a < 16; ++a) expected.push_back(a);
    EXPECT_EQ(ShortAddresses(scan.json.at("devices")), expected);
}

TEST_F(CommandLineTest, OlderFirmwareLetsTheControlSearchFromTheStartAddress) {
    sim::LineDescription line = sim::LoadLineFile(Example("sixteen-unaddressed.json"));
    line.terminal.firmwareVersion = 0x314C;
    std::ofstream(File("older.json")) << sim::WriteLineDescription(line);

    const Outcome run = Zd({"address", "random", "--start", "20", "--line", File("older.json"),
                            "--save-line", File("done.json")});
    ASSERT_EQ(run.exitCode, 0) << run.json.dump();
    EXPECT_EQ(run.json.at("variant"), "control");
    std::vector<int> expected;
    for (int a = 20; a < 36; ++a) expected.push_back(a);
    EXPECT_EQ(ShortAddresses(run.json.at("devices")), expected);
    // The control found them in the order of their random addresses.
    std::map<std::uint32_t, int> byRandom;
    for (const sim::GearConfig& gear : sim::LoadLineFile(File("done.json")).gear)
        byRandom[gear.randomAddress] = gear.shortAddress.value_or(-1);
    std::vector<int> inRandomOrder;
    for (const auto& [random, shortAddress] : byRandom) inRandomOrder.push_back(shortAddress);
    EXPECT_EQ(inRandomOrder, expected);
}

TEST_F(CommandLineTest, SendOffThenQueryOnTheSavedLineReadsLevelZero) {
    const Outcome off = Zd({"send", "off", "--short", "5", "--save-line", File("off.json")});
    ASSERT_EQ(off.exitCode, 0) << off.json.dump();
    EXPECT_EQ(off.json.at("word"), "0x0B00");
    EXPECT_EQ(off.json.at("result"), 0);
    EXPECT_TRUE(off.json.at("answer").is_null());

    const Outcome saved =
        Zd({"query", "query actual level", "--short", "5", "--line", File("off.json")});
    ASSERT_EQ(saved.exitCode, 0) << saved.json.dump();
    EXPECT_EQ(saved.json.at("word"), "0x0BA0");
    EXPECT_EQ(saved.json.at("answer"), 0);
    // Without the saved line the gear is back at its power-on level.
    EXPECT_EQ(Zd({"query", "160", "--short", "5"}).json.at("answer"), 254);
    // Nobody at 7: no answer, which is a result and not a failure.
    const Outcome nobody = Zd({"query", "QUERY BALLAST", "--short", "7"});
    EXPECT_EQ(nobody.exitCode, 0);
    EXPECT_TRUE(nobody.json.at("answer").is_null());
    EXPECT_EQ(nobody.json.at("answerResultText"), "timeout");
}

TEST_F(CommandLineTest, ArchiveUploadWritesAFileThatDownloadWritesBackIntoTheGear) {
    const Outcome upload = Zd({"archive", "upload", File("archive.xml")});
    ASSERT_EQ(upload.exitCode, 0) << upload.json.dump();
    ASSERT_TRUE(std::filesystem::exists(File("archive.xml")));
    EXPECT_EQ(upload.json.at("ballasts").at(0),
              (Json{{"address", 0}, {"scenes", {{"0", 200}, {"1", 100}}}, {"groups", {0}}}));

    // Address 0 leaves group 0 and scene 0; the download puts it back.
    ASSERT_EQ(
        Zd({"send", "remove from group 0", "--short", "0", "--save-line", File("a.json")}).exitCode,
        0);
    ASSERT_EQ(Zd({"send", "remove from scene 0", "--short", "0", "--line", File("a.json"),
                  "--save-line", File("b.json")})
                  .exitCode,
              0);
    EXPECT_EQ(sim::LoadLineFile(File("b.json")).gear.at(0).groups, 0);
    const Outcome download = Zd({"archive", "download", File("archive.xml"), "--line",
                                 File("b.json"), "--save-line", File("c.json")});
    ASSERT_EQ(download.exitCode, 0) << download.json.dump();
    const sim::GearConfig gear = sim::LoadLineFile(File("c.json")).gear.at(0);
    EXPECT_EQ(gear.groups, 1);
    EXPECT_EQ(gear.scenes[0], 200);

    const Outcome missing = Zd({"archive", "download", File("none.xml")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.json.at("error").get<std::string>().find("none.xml"), std::string::npos);
}

TEST_F(CommandLineTest, OptionsSwitchToDsiModeWhichTheNextRunKeepsAndTheScanRefuses) {
    const Outcome before = Zd({"options"});
    EXPECT_EQ(before.json.at("mode"), "dali");
    const Outcome set =
        Zd({"options", "--mode", "dsi", "--power-supply", "off", "--save-line", File("dsi.json")});
    ASSERT_EQ(set.exitCode, 0) << set.json.dump();
    EXPECT_EQ(set.json.at("mode"), "dsi");
    EXPECT_EQ(set.json.at("powerSupply"), false);

    const Outcome reread = Zd({"options", "--line", File("dsi.json")});
    EXPECT_EQ(reread.json.at("mode"), "dsi");
    EXPECT_EQ(reread.json.at("powerSupply"), false);
    EXPECT_EQ(reread.json.at("countDevices"), true);
    const Outcome scan = Zd({"scan", "--line", File("dsi.json")});
    EXPECT_EQ(scan.exitCode, 1);
    EXPECT_EQ(scan.json.at("error"), "The ZD4270 is not in the DALI-Mode!");
    EXPECT_EQ(scan.json.at("messages").size(), 1u);
    EXPECT_NE(scan.console.find("[info]"), std::string::npos);
}

TEST_F(CommandLineTest, ChangeAddressesMovesAndDeletesAndRefusesADoubleAddress) {
    const Outcome change =
        Zd({"address", "change", "5:6", "63:mask", "--save-line", File("c.json")});
    ASSERT_EQ(change.exitCode, 0) << change.json.dump();
    EXPECT_EQ(ShortAddresses(change.json.at("devices")), (std::vector<int>{0, 6}));
    EXPECT_EQ(ShortAddresses(Zd({"scan", "--line", File("c.json")}).json.at("devices")),
              (std::vector<int>{0, 6}));

    const Outcome twice = Zd({"address", "change", "0:7", "5:7"});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_EQ(twice.json.at("error"), "the following address is double: 7");
    const Outcome absent = Zd({"address", "change", "9:10"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(absent.json.at("error"), "no device answers at address 9");
}

TEST_F(CommandLineTest, SingleAssignmentNeedsYesAndThenSharesOneAddress) {
    const Outcome refused = Zd({"address", "single", "9", "--save-line", File("s.json")});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_FALSE(std::filesystem::exists(File("s.json")));

    const Outcome single = Zd({"address", "single", "9", "--yes"});
    ASSERT_EQ(single.exitCode, 0) << single.json.dump();
    EXPECT_EQ(single.json.at("devices"),
              (Json::array({{{"shortAddress", 9}, {"conflict", true}}})));
    EXPECT_EQ(single.json.at("messages").at(0).at("text"),
              "All devices will be set to the following address: 9\nAre you sure?");
}

TEST_F(CommandLineTest, BadArgumentsGiveAnErrorDocumentAndExitCodeTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"frobnicate"},
        // A word that is no UTF-8 is quoted in the error with the bad bytes replaced.
        {"fr\xff\xfe"},
        {"scan", "now"},
        {"address"},
        {"scan", "--pos", "x"},
        {"scan", "--short", "3"},
        {"send", "off"},
        {"send", "dance", "--broadcast"},
        {"send", "off", "--short", "64"},
        {"send", "off", "--short", "1", "--group", "1"},
        {"query", "query actual level", "--short", "1", "--data", "256"},
        {"address", "random", "--start", "64"},
        {"address", "change", "5-6"},
        {"address", "change", "5:6", "5:7"},
        {"options", "--mode", "dmx"},
        {"options", "--count-devices", "yes"},
        {"scan", "--line"},
        {"scan", "--modbus", "127.0.0.1:1502", "--save-line", "x.json"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const std::string& arg : args) joined += arg + " ";
        SCOPED_TRACE(joined);
        const Outcome run = Zd(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.json.at("error").is_string());
        EXPECT_FALSE(run.json.contains("messages"));
    }
}

}  // namespace
}  // namespace zd
