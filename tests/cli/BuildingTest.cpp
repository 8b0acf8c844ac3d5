// A whole building from the command line: the example station's twelve terminals run at once on
// their own simulated lines, a failing one beside the others, the fast search where the control
// searches, and the hand-over report in its three formats.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "cli/CommandLine.h"
#include "sim/LineFile.h"

namespace zd {
namespace {

const std::string kBuilding = std::string(ZD4270_EXAMPLES_DIR) + "/building";
const std::string kStation = kBuilding + "/station.xml";
const std::string kLines = kBuilding + "/lines";

using test::Outcome;
using test::Range;

// The terminals' entries of a station run by position.
std::map<int, Json> Terminals(const Outcome& run) {
    std::map<int, Json> byPosition;
    for (const Json& terminal : run.json.at("terminals"))
        byPosition[terminal.at("position").get<int>()] = terminal;
    return byPosition;
}

std::vector<int> Addresses(const Json& terminal) {
    return test::ShortAddresses(terminal.at("devices"));
}

class BuildingTest : public test::FolderTest {
  protected:
    BuildingTest() : FolderTest("zd_building_") {}

    // zd4270 on the example building, with a store of the test's own.
    Outcome Zd(const std::vector<std::string>& args) const {
        std::vector<std::string> all = {"--station", kStation, "--registry", File("store.ini")};
        all.insert(all.end(), args.begin(), args.end());
        SessionOptions defaults;
        defaults.connection.lineFile = test::ExampleLine("three-addressed.json");
        Outcome run = test::RunZd(all, defaults);
        EXPECT_FALSE(run.json.is_string()) << "stdout holds no JSON: " << run.json;
        return run;
    }

    // A line of count gear without short address whose terminal runs the control's own search.
    std::string UnaddressedLine(const std::string& folder, int position, int count) const {
        sim::LineDescription line;
        line.terminal.firmwareVersion = 0x314C;
        line.terminal.randomSeed = 11;
        line.gear.resize(static_cast<std::size_t>(count));
        std::filesystem::create_directories(File(folder));
        std::ofstream(File(folder) + "/pos-" + std::to_string(position) + ".json")
            << sim::WriteLineDescription(line);
        return File(folder);
    }
};

TEST_F(BuildingTest, EveryChosenTerminalRunsOnItsOwnLineWithItsOwnDeviceList) {
    const Outcome scan = Zd({"--all", "--lines", kLines, "scan"});
    ASSERT_EQ(scan.exitCode, 0) << scan.json.dump();
    const auto terminals = Terminals(scan);
    // Twelve ZD4270 on three couplers; the other terminals of the station are left alone.
    ASSERT_EQ(terminals.size(), 12u);
    EXPECT_EQ(scan.json.at("succeeded"), 12);
    EXPECT_EQ(terminals.at(11).at("coupler"), "Coupler 3 - plant room");
    EXPECT_EQ(Addresses(terminals.at(3)), Range(0, 8));
    EXPECT_EQ(Addresses(terminals.at(11)), Range(10, 6));
    // No line file: an empty line.
    EXPECT_TRUE(terminals.at(15).at("devices").empty());
    for (const auto& [position, terminal] : terminals) EXPECT_GT(terminal.at("lineTimeMs"), 0);

    // Each control saved its own device list under its own position.
    const std::string store = test::ReadFileText(File("store.ini"));
    for (int position : {3, 4, 11})
        EXPECT_NE(store.find("Terminal_" + std::to_string(position)), std::string::npos)
            << position;

    // Chosen by position, in the order given.
    const Outcome two = Zd({"--pos", "11,3", "--lines", kLines, "scan"});
    ASSERT_EQ(two.exitCode, 0);
    ASSERT_EQ(two.json.at("terminals").size(), 2u);
    EXPECT_EQ(two.json.at("terminals").at(0).at("position"), 11);
    EXPECT_EQ(Addresses(two.json.at("terminals").at(1)), Range(0, 8));
}

TEST_F(BuildingTest, StationCommandLinesThatCannotWorkAreRefusedBeforeAnythingIsSent) {
    const struct {
        std::vector<std::string> args;
        std::string says;
    } cases[] = {
        {{"--pos", "2,99", "scan"}, "no ZD4270 at position 99"},
        // Position 1 is a digital input terminal.
        {{"--pos", "1,2", "scan"}, "no ZD4270 at position 1"},
        {{"--all", "--pos", "2", "scan"}, "give one of them"},
        {{"--all", "archive", "upload", "a.xml"}, "{pos}"},
        {{"--all", "settings", "--log-mapping", "on"}, "without --all"},
        {{"--all", "--save-line", "x.json", "scan"}, "--save-lines"},
        {{"--all", "--frame-log", "f.txt", "scan"}, "frames-{pos}.txt"},
        {{"--all", "--modbus", "127.0.0.1:1", "--lines", kLines, "scan"}, "not --modbus"},
        {{"--pos", "2,", "scan"}, "--pos"},
        {{"--all", "report", "r.doc"}, "--format"},
        {{"--all", "scan", "--report", "r.doc"}, "--format"},
        {{"--all", "scan", "--format", "pdf"}, "goes with --report"},
        {{"--all"}, "go with a command"},
    };
    for (const auto& c : cases) {
        const Outcome run = Zd(c.args);
        EXPECT_EQ(run.exitCode, 2) << c.says;
        EXPECT_NE(run.json.value("error", "").find(c.says), std::string::npos) << run.json.dump();
    }
}

TEST_F(BuildingTest, AFailingTerminalStopsNoneOfTheOthersAndTheLinesCarryOver) {
    const Outcome addressing =
        Zd({"--all", "--lines", kLines, "--save-lines", File("saved"), "address", "random"});
    // The stairs' two gear at one short address fail that terminal alone.
    EXPECT_EQ(addressing.exitCode, 1);
    EXPECT_EQ(addressing.json.at("failed"), 1);
    const auto terminals = Terminals(addressing);
    EXPECT_EQ(terminals.at(5).at("exitCode"), 1);
    EXPECT_NE(terminals.at(5).at("error").get<std::string>().find("same short address"),
              std::string::npos);
    // The control's search (firmware 1L, paced unless asked otherwise) and the terminal's own (1M)
    // side by side.
    EXPECT_EQ(terminals.at(2).at("variant"), "control");
    EXPECT_EQ(terminals.at(2).at("fastSearch"), false);
    EXPECT_EQ(terminals.at(9).at("variant"), "terminal");
    // What each search finds the addressing tests pin; here each terminal keeps its own list.
    const std::map<int, std::vector<int>> expected = {
        {2, Range(0, 16)}, {9, Range(0, 12)}, {12, Range(0, 32)}, {15, {}}};
    for (const auto& [position, addresses] : expected) {
        EXPECT_EQ(terminals.at(position).at("exitCode"), 0) << position;
        EXPECT_EQ(Addresses(terminals.at(position)), addresses) << position;
    }
    // The command's line time is the longest terminal's: they ran side by side.
    std::int64_t longest = 0;
    for (const auto& [position, terminal] : terminals)
        longest = std::max<std::int64_t>(longest, terminal.at("lineTimeMs"));
    EXPECT_EQ(addressing.json.at("lineTimeMs"), longest);

    // Every line was saved, the empty one too, and the next run continues from them.
    EXPECT_TRUE(std::filesystem::exists(File("saved/pos-15.json")));
    const Outcome scan = Zd({"--all", "--lines", File("saved"), "scan"});
    const auto after = Terminals(scan);
    for (const auto& [position, addresses] : expected)
        EXPECT_EQ(Addresses(after.at(position)), addresses) << position;
}

// What the fast search finds, and how much sooner, the addressing tests pin; here --fast reaches
// the terminals whose control searches, and only those.
TEST_F(BuildingTest, EachControlWritesItsOwnLogFilesAndSearchesFastWhereItSearches) {
    ASSERT_EQ(Zd({"settings", "--log-addressing", "on", "--log-mapping", "on"}).exitCode, 0);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(File(""));
    const Outcome run = Zd({"--pos", "2,9,10", "--lines", kLines, "address", "random", "--fast"});
    std::filesystem::current_path(previous);
    ASSERT_EQ(run.exitCode, 0) << run.json.dump();
    const auto terminals = Terminals(run);
    EXPECT_EQ(terminals.at(2).at("fastSearch"), true);
    EXPECT_EQ(terminals.at(10).at("fastSearch"), true);
    // The terminal at 9 searches itself (firmware 1M): --fast leaves it as it is.
    EXPECT_EQ(terminals.at(9).at("fastSearch"), false);
    EXPECT_EQ(terminals.at(9).at("variant"), "terminal");
    for (const std::string position : {"2", "10"}) {
        const std::string log = test::ReadFileText(
            File("pos-" + position + ".OrvixVTermZD4270.Logging.Addressing.txt"));
        EXPECT_GT(log.size(), 1000u) << position;
        // The mapping log holds this terminal's node, not another's.
        const std::string mapping = test::ReadFileText(
            File("pos-" + position + ".OrvixVTermZD4270.Logging.MappingData.xml"));
        std::string utf8;
        for (std::size_t i = 2; i < mapping.size(); i += 2) utf8 += mapping[i];
        EXPECT_NE(utf8.find("Pos=\"" + position + "\""), std::string::npos) << utf8;
    }
    EXPECT_FALSE(std::filesystem::exists(File("OrvixVTermZD4270.Logging.Addressing.txt")));
}

TEST_F(BuildingTest, TheReportShowsEveryDeviceAndMarksConflicts) {
    const std::string lines = UnaddressedLine("lines", 2, 3);
    // From new gear to a report in one command: the devices are read after the addressing.
    const Outcome addressed = Zd({"--pos", "2", "--lines", lines, "--save-lines", File("lines"),
                                  "address", "random", "--fast", "--report", File("a.csv")});
    ASSERT_EQ(addressed.exitCode, 0) << addressed.json.dump();
    EXPECT_EQ(addressed.json.at("file"), File("a.csv"));
    const std::string first = test::ReadFileText(File("a.csv"));
    EXPECT_EQ(std::count(first.begin(), first.end(), '\n'), 1 + 3) << first;
    EXPECT_NE(first.find("\n2,Coupler 1 - ground floor,2,"), std::string::npos) << first;
    std::filesystem::copy(kLines + "/pos-5.json", File("lines/pos-5.json"));
    std::filesystem::copy(kLines + "/pos-3.json", File("lines/pos-3.json"));

    const Outcome csv = Zd({"--pos", "2,3,5", "--lines", File("lines"), "report", File("r.csv")});
    ASSERT_EQ(csv.exitCode, 0) << csv.json.dump();
    std::vector<std::string> rows;
    std::stringstream text(test::ReadFileText(File("r.csv")));
    for (std::string row; std::getline(text, row);) rows.push_back(row);
    // A header and one row per device: 3 + 8 + 2.
    ASSERT_EQ(rows.size(), 14u);
    EXPECT_EQ(rows[0].rfind("position,coupler,short address,random address", 0), 0u);
    std::set<std::string> seen;
    for (std::size_t i = 1; i < rows.size(); ++i) seen.insert(rows[i].substr(0, rows[i].find(',')));
    EXPECT_EQ(seen, (std::set<std::string>{"2", "3", "5"}));
    // Some row starts with start and holds part.
    const auto anyRow = [&rows](const std::string& start, const std::string& part) {
        return std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
            return row.rfind(start, 0) == 0 && row.find(part) != std::string::npos;
        });
    };
    // Corridor gear 1: group 1, scene 1 at 101, random address 0x200000.
    EXPECT_TRUE(anyRow("3,Coupler 1 - ground floor,1,20 00 00,", ",1,0=200 1=101,no,yes,"))
        << test::ReadFileText(File("r.csv"));
    EXPECT_TRUE(anyRow("5,Coupler 1 - ground floor,3,?,", ",yes,no,several gear share"));

    const Outcome html = Zd(
        {"--pos", "2,3,5", "--lines", File("lines"), "report", "--format", "html", File("r.txt")});
    ASSERT_EQ(html.exitCode, 0);
    const std::string page = test::ReadFileText(File("r.txt"));
    test::ExpectParts(page, {"Office building, Hall street 4", ">Terminal at position 5 (",
                             "<tr class=\"conflict\"><td>3</td>"});
    // The title block with the signature line comes before the first terminal's page.
    EXPECT_LT(page.find("Name, date, signature:"), page.find("page-break-before"));

    // In German, words and headings; the numbers and the devices' own texts as they are.
    const Outcome german =
        Zd({"--lang", "de", "--pos", "3", "--lines", File("lines"), "report", File("de.csv")});
    ASSERT_EQ(german.exitCode, 0) << german.json.dump();
    const std::string germanCsv = test::ReadFileText(File("de.csv"));
    EXPECT_EQ(germanCsv.rfind("Position;Koppler;Kurzadresse;Zufallsadresse;Gerätetyp", 0), 0u)
        << germanCsv;
    EXPECT_NE(germanCsv.find(";nein;ja;"), std::string::npos) << germanCsv;
    ASSERT_EQ(
        Zd({"--lang", "de", "--pos", "3", "--lines", File("lines"), "report", File("de.html")})
            .exitCode,
        0);
    test::ExpectParts(test::ReadFileText(File("de.html")),
                      {"<h1>Inbetriebnahmeprotokoll</h1>", "Name, Datum, Unterschrift:",
                       ">Klemme an Position 3 (", "<th>Überblendzeit</th>"});

    // A report that cannot be written fails the run, with the reason as its error.
    const Outcome full =
        Zd({"--pos", "3", "--lines", File("lines"), "report", "--format", "csv", "/dev/full"});
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_NE(full.json.value("error", "").find("/dev/full"), std::string::npos)
        << full.json.dump();

    const Outcome pdf = Zd({"--pos", "3", "--lines", File("lines"), "report", File("r.pdf")});
    ASSERT_EQ(pdf.exitCode, 0) << pdf.json.dump();
    const std::string document = test::ReadFileText(File("r.pdf"));
    EXPECT_EQ(document.rfind("%PDF-", 0), 0u);
    // A title page and the terminal's section.
    std::size_t pages = 0;
    for (std::size_t at = document.find("/Type /Page\n"); at != std::string::npos;
         at = document.find("/Type /Page\n", at + 1))
        ++pages;
    EXPECT_GE(pages, 2u);
}

// The hand-over report of a building run reads the devices of a terminal whose addressing failed
// as well: position 5 (two gear share address 3) used to show its healthy gear at 4 as "?" in
// every column. A failed lamp (position 8, address 3) is named in the report's language.
TEST_F(BuildingTest, TheReportReadsTheDevicesOfAFailedRunAndNamesAFailedLamp) {
    const Outcome run = Zd({"--pos", "5,8", "--lines", kLines, "address", "random", "--fast",
                            "--yes", "--report", File("r.csv"), "--format", "csv"});
    EXPECT_EQ(run.exitCode, 1) << run.json.dump();
    const auto terminals = Terminals(run);
    EXPECT_EQ(terminals.at(5).at("exitCode"), 1);
    EXPECT_EQ(terminals.at(5).at("devices").at(1).at("answer"), "answered");
    std::map<std::string, std::string> rows;
    std::stringstream text(test::ReadFileText(File("r.csv")));
    // By position and short address, the first and third fields.
    for (std::string row; std::getline(text, row);) {
        std::stringstream fields(row);
        std::string position, coupler, address;
        std::getline(fields, position, ',');
        std::getline(fields, coupler, ',');
        std::getline(fields, address, ',');
        rows[position + ":" + address] = row;
    }
    ASSERT_EQ(rows.count("5:4"), 1u) << test::ReadFileText(File("r.csv"));
    EXPECT_EQ(rows.at("5:4").find('?'), std::string::npos) << rows.at("5:4");
    EXPECT_NE(rows.at("5:4").find(",FF FF FF,6,254,254,254,1,254,0,7,-,-,no,yes,\r"),
              std::string::npos)
        << rows.at("5:4");
    EXPECT_NE(rows.at("5:3").find(",yes,no,several gear share this address"), std::string::npos)
        << rows.at("5:3");
    EXPECT_NE(rows.at("8:3").find(",255,"), std::string::npos) << rows.at("8:3");
    EXPECT_NE(rows.at("8:3").find(",no,yes,lamp failure\r"), std::string::npos) << rows.at("8:3");
    EXPECT_NE(rows.at("8:2").find(",no,yes,\r"), std::string::npos) << rows.at("8:2");

    const Outcome german =
        Zd({"--lang", "de", "--pos", "8", "--lines", kLines, "report", File("de.csv")});
    ASSERT_EQ(german.exitCode, 0) << german.json.dump();
    EXPECT_NE(test::ReadFileText(File("de.csv")).find(";nein;ja;Lampenfehler\r"), std::string::npos)
        << test::ReadFileText(File("de.csv"));
}

}  // namespace
}  // namespace zd
