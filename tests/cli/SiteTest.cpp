// The round on site from the command line, on the simulated line: identify a luminaire, name it,
// and the name follows its gear through address change, replace and a new random addressing; the
// names go into every document, the backup (and back with a restore) and the report, room by
// room in both languages; a site file that cannot be read is refused and left as it is.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "engine/SiteFile.h"
#include "sim/LineFile.h"

namespace zd {
namespace {

using test::Args;
using test::Outcome;

class SiteTest : public test::FolderTest {
  protected:
    SiteTest() : FolderTest("zd_site_") {}

    // On the line file of the test, saved after each run, with the store in the test's folder
    // (and so the site file beside it).
    Outcome Zd(std::vector<std::string> args, const std::string& language = "en") const {
        args.insert(args.end(), {"--registry", File("store.ini"), "--quiet", "--line", m_line,
                                 "--save-line", m_line, "--lang", language});
        return test::RunZd(args, test::ExampleDefaults());
    }
    std::string Site() const { return File("site.json"); }
    // The name the document gives the device at the address in its "devices".
    static std::string NameAt(const Json& document, int address) {
        for (const Json& device : document.value("devices", Json::array()))
            if (device.value("shortAddress", -1) == address) return device.value("name", "-");
        return "no device";
    }
    void EditLine(const std::function<void(sim::LineDescription&)>& change) const {
        sim::LineDescription line = sim::LoadLineFile(m_line);
        change(line);
        std::ofstream(m_line) << sim::WriteLineDescription(line);
    }

    std::string m_line = EditedLine("line.json", "three-addressed.json", [](auto&) {});
};

TEST_F(SiteTest, ANameFollowsItsGearThroughChangeReplaceAndANewAddressing) {
    const Outcome desk = Zd(Args("name", "--short", "0", "desk left", "--room", "2.14"));
    ASSERT_EQ(desk.exitCode, 0) << desk.json.dump(1);
    EXPECT_EQ(desk.json.value("randomAddress", ""), "0x0A0B0C");
    ASSERT_EQ(Zd(Args("name", "--short", "5", "door", "--room", "1.02")).exitCode, 0);
    EXPECT_EQ(Zd(Args("name", "--short", "9", "nobody")).json.value("error", ""),
              "No device answers at short address 9.");

    const Outcome change = Zd(Args("address", "change", "0:7"));
    ASSERT_EQ(change.exitCode, 0) << change.json.dump(1);
    EXPECT_EQ(change.json.at("siteMoves").at(0).at("to"), 7);
    EXPECT_EQ(NameAt(change.json, 7), "desk left");
    EXPECT_EQ(NameAt(Zd(Args("scan")).json, 5), "door");

    // The gear at 5 fails; a new one takes its address and the name of its luminaire.
    ASSERT_EQ(Zd(Args("backup", File("backup.json"))).exitCode, 0);
    EditLine([](sim::LineDescription& line) {
        for (sim::GearConfig& gear : line.gear)
            if (gear.shortAddress == 5) gear.faults.m_silent = true;
        sim::GearConfig fresh;
        fresh.randomAddress = 0x333333;
        line.gear.push_back(fresh);
    });
    const Outcome replace = Zd(Args("replace", "--short", "5", "--backup", File("backup.json")));
    ASSERT_EQ(replace.exitCode, 0) << replace.json.dump(1);
    EXPECT_EQ(replace.json.at("siteMoves").at(0).at("why"), "replaced");
    // The new gear drew its random address in the search that addressed it.
    for (const sim::GearConfig& gear : sim::LoadLineFile(m_line).gear) {
        if (gear.shortAddress == 5 && !gear.faults.m_silent) {
            EXPECT_EQ(LoadSiteFile(Site()).Find(1, 5)->randomAddress, gear.randomAddress);
        }
    }

    // Every address taken away, and the gear keep their random addresses through the search:
    // each name goes where its gear's random address now answers (0x0A0B0C first, then 0x333333).
    ASSERT_EQ(Zd(Args("address", "single", "mask", "--yes")).exitCode, 0);
    EditLine([](sim::LineDescription& line) {
        for (sim::GearConfig& gear : line.gear) gear.randomise = {gear.randomAddress};
    });
    const Outcome search = Zd(Args("address", "random"));
    ASSERT_EQ(search.exitCode, 0) << search.json.dump(1);
    EXPECT_EQ(NameAt(search.json, 0), "desk left");
    EXPECT_EQ(NameAt(search.json, 1), "door");
    EXPECT_EQ(NameAt(search.json, 2), "-");
    EXPECT_EQ(LoadSiteFile(Site()).luminaires.size(), 2u);
}

TEST_F(SiteTest, NamesGoIntoTheBackupComeBackWithARestoreAndSortTheReportByRoom) {
    ASSERT_EQ(Zd(Args("name", "--short", "0", "desk", "--room", "B", "--floor", "2")).exitCode, 0);
    ASSERT_EQ(Zd(Args("name", "--short", "5", "door", "--room", "A")).exitCode, 0);
    ASSERT_EQ(Zd(Args("name", "--short", "5", "--note", "above the door")).exitCode, 0);
    ASSERT_EQ(Zd(Args("backup", File("backup.json"))).exitCode, 0);
    const Json backup = Json::parse(test::ReadFileText(File("backup.json")));
    EXPECT_EQ(backup.at("devices").at(1).at("luminaire"),
              Json::parse(R"({"name": "door", "room": "A", "note": "above the door"})"));
    std::filesystem::remove(Site());
    const Outcome restore = Zd(Args("restore", File("backup.json"), "--yes"));
    ASSERT_EQ(restore.exitCode, 0) << restore.json.dump(1);
    EXPECT_EQ(restore.json.value("namesRestored", 0), 2);
    EXPECT_EQ(LoadSiteFile(Site()).Find(1, 0)->floor, "2");

    for (const std::string language : {"en", "de"}) {
        const std::string html = File("report-" + language + ".html");
        ASSERT_EQ(Zd(Args("report", "--format", "html", html), language).exitCode, 0);
        const std::string text = test::ReadFileText(html);
        const std::size_t door = text.find("<td>door; above the door</td>");
        const std::size_t desk =
            text.find(language == "en" ? "<td>desk; floor 2</td>" : "<td>desk; Geschoss 2</td>");
        const std::size_t unnamed = text.find("<td></td><td></td><td>63</td>");
        EXPECT_LT(door, desk) << text;
        EXPECT_LT(desk, unnamed) << text;
        EXPECT_NE(unnamed, std::string::npos) << text;
        EXPECT_NE(text.find(language == "en" ? "<th>Room</th><th>Luminaire</th>"
                                             : "<th>Raum</th><th>Leuchte</th>"),
                  std::string::npos);
        const Outcome pdf = Zd(Args("report", File("report-" + language + ".pdf")), language);
        EXPECT_EQ(pdf.exitCode, 0) << pdf.json.dump(1);
        // The table fits its words: pdftotext puts a word the layout broke on two lines.
        const std::string pdfText = File("report-" + language + ".txt");
        ASSERT_EQ(std::system(
                      ("pdftotext '" + File("report-" + language + ".pdf") + "' '" + pdfText + "'")
                          .c_str()),
                  0);
        std::istringstream words(test::ReadFileText(pdfText));
        std::set<std::string> found;
        for (std::string word; words >> word;) found.insert(word);
        const std::vector<std::string> whole =
            language == "en" ? std::vector<std::string>{"Luminaire", "Min", "Groups", "Remarks"}
                             : std::vector<std::string>{"Leuchte", "Min", "Gruppen"};
        for (const std::string& word : whole) EXPECT_EQ(found.count(word), 1u) << word;
    }
    const Outcome csv = Zd(Args("report", "--format", "csv", File("r.csv")));
    EXPECT_NE(test::ReadFileText(File("r.csv")).find(",door,A,,above the door\r\n"),
              std::string::npos);
}

TEST_F(SiteTest, ASiteFileThatCannotBeReadIsRefusedAndLeftAsItIs) {
    std::ofstream(Site()) << R"({"format": "zd4270-site", "version": 1, "luminaires": [)";
    const std::string before = test::ReadFileText(Site());
    const Outcome name = Zd(Args("name", "--short", "0", "desk"));
    EXPECT_EQ(name.exitCode, 1);
    EXPECT_NE(name.json.value("error", "").find(Site()), std::string::npos) << name.json.dump(1);
    const Outcome scan = Zd(Args("scan"));
    EXPECT_EQ(scan.exitCode, 0);
    EXPECT_NE(scan.json.value("siteWarning", "").find("left as it is"), std::string::npos);
    EXPECT_EQ(test::ReadFileText(Site()), before);
    // A text that cannot be a name is refused before anything is sent.
    EXPECT_EQ(Zd(Args("name", "--short", "0", "a\tb")).exitCode, 2);
}

// Another line at the same position: the gear at the named address is another gear, and the
// name is not shown on it.
TEST_F(SiteTest, ANameIsShownOnlyOnItsOwnGear) {
    ASSERT_EQ(Zd(Args("name", "--short", "5", "door", "--room", "1.02")).exitCode, 0);
    EXPECT_EQ(NameAt(Zd(Args("scan")).json, 5), "door");
    EditLine([](sim::LineDescription& line) {
        for (sim::GearConfig& gear : line.gear)
            if (gear.shortAddress == 5) gear.randomAddress = 0x777777;
    });
    EXPECT_EQ(NameAt(Zd(Args("scan")).json, 5), "-");
}

TEST_F(SiteTest, IdentifyShowsTheLuminaireAndPutsEveryLevelBack) {
    const Outcome run = Zd(Args("identify", "--short", "5", "--mode", "max", "--seconds", "3"));
    ASSERT_EQ(run.exitCode, 0) << run.json.dump(1);
    EXPECT_EQ(run.json.at("levels").size(), 3u);
    for (const Json& level : run.json.at("levels")) EXPECT_TRUE(level.at("restored").get<bool>());
    EXPECT_GE(run.json.at("lineTimeMs").get<int>(), 3000);
    for (const sim::GearConfig& gear : sim::LoadLineFile(m_line).gear)
        EXPECT_EQ(gear.actualLevel, 254);
    const Outcome nobody = Zd(Args("identify", "--short", "9"));
    EXPECT_EQ(nobody.exitCode, 2);
    EXPECT_EQ(nobody.json.value("error", ""), "No device answers at short address 9.");
    EXPECT_EQ(Zd(Args("identify", "--short", "5", "--mode", "blink")).exitCode, 2);
    EXPECT_EQ(Zd(Args("identify", "--short", "5", "--mode", "max"), "de").exitCode, 0);
    EXPECT_EQ(Zd(Args("identify", "--short", "9"), "de").json.value("error", ""),
              "An Kurzadresse 9 antwortet kein Gerät.");
}

}  // namespace
}  // namespace zd
