// With --lang de the command line's own texts are German: its refusals, errors, notes and the
// texts of what a run recovered from, and the PDF report's column headings stay whole words.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "host/SimDevCom.h"

namespace zd {
namespace {

using test::ExampleLine;
using test::Outcome;

class GermanTest : public test::FolderTest {
  protected:
    GermanTest() : FolderTest("zd_german_") {}

    static Outcome Zd(const std::string& lang, std::vector<std::string> args,
                      std::function<void(SimDevCom&)> prepare = {}) {
        SessionOptions defaults = test::ExampleDefaults();
        defaults.prepareSimulatedLine = std::move(prepare);
        args.insert(args.begin(), {"--lang", lang});
        return test::RunZd(args, defaults);
    }
};

// Words of English that German never uses: one of them left in a German text is a text that was
// not translated.
std::string EnglishWordIn(const std::string& text) {
    static const std::regex english(
        R"(\b(the|with|was|were|could|cannot|does|did|not|needs|takes|give|confirm|answers|is|of|and|to|no|this|there|been|goes|keeps)\b)",
        std::regex::icase);
    std::smatch found;
    return std::regex_search(text, found, english) ? found.str() : "";
}

TEST_F(GermanTest, RefusalsErrorsNotesAndRecoveriesAreGerman) {
    // A backup for the replacement below; the second gear answers only every second query.
    ASSERT_EQ(Zd("en", {"backup", File("b.json")}).exitCode, 0);
    const auto everySecond = [](SimDevCom& devCom) {
        devCom.Terminal().Gear(2).Faults().m_answerEverySecondQuery = true;
    };
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        // The document's field that holds the text: "error", "note", "warning", "recovered".
        std::string field;
        std::function<void(SimDevCom&)> prepare = {};
    };
    const std::vector<Case> cases = {
        {{"frobnicate"}, 2, "error"},
        {{"address"}, 2, "error"},
        {{"scan", "--bogus"}, 2, "error"},
        {{"scan", "--line"}, 2, "error"},
        {{"send", "nonsense", "--broadcast"}, 2, "error"},
        {{"send", "reset", "--broadcast"}, 2, "error"},
        {{"send", "off"}, 2, "error"},
        {{"query", "off", "--broadcast"}, 2, "error"},
        {{"variables", "--short", "99"}, 2, "error"},
        {{"scenes", "--short", "1", "--set", "3=200,3=100"}, 2, "error"},
        {{"groups", "--short", "1", "--add", "3", "--remove", "3"}, 2, "error"},
        {{"options", "--mode", "x"}, 2, "error"},
        {{"address", "single", "3"}, 2, "error"},
        {{"address", "random", "--new-installation"}, 2, "error"},
        {{"address", "change", "5:7", "5:8"}, 2, "error"},
        {{"restore", File("b.json")}, 2, "error"},
        {{"replace", "--backup", File("b.json")}, 2, "error"},
        {{"backup", File("b.json")}, 2, "error"},
        {{"scan", "--modbus", "127.0.0.1:1502", "--save-line", File("x.json")}, 2, "error"},
        {{"--station", test::ExampleStation("packed-intel.xml"), "--pos", "9", "scan"}, 2, "error"},
        {{"replace", "--short", "5", "--backup", File("b.json")}, 1, "error"},
        {{"address", "change", "9:10"}, 1, "error"},
        {{"variables", "--short", "9"}, 1, "error"},
        {{"address", "random", "--fast", "--line", ExampleLine("sixteen-unaddressed.json")},
         0,
         "note"},
        {{"scan", "--ask-twice"}, 0, "recovered", everySecond},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Joined(c.args));
        const Outcome english = Zd("en", c.args, c.prepare);
        const Outcome german = Zd("de", c.args, c.prepare);
        EXPECT_EQ(german.exitCode, c.exitCode) << german.json.dump();
        ASSERT_TRUE(german.json.contains(c.field)) << german.json.dump();
        const auto text = [&](const Outcome& run) {
            const Json& value = run.json.at(c.field);
            return value.is_array() ? value.at(0).at("text").get<std::string>()
                                    : value.get<std::string>();
        };
        const std::string german_text = text(german);
        EXPECT_NE(german_text, text(english));
        EXPECT_EQ(EnglishWordIn(german_text), "") << german_text;
        // What the console says is the document's text.
        if (c.field == "error") {
            EXPECT_NE(german.console.find("zd4270: " + german_text), std::string::npos)
                << german.console;
        }
    }
}

// pdftotext puts a heading that the table broke inside a word on two lines ("Kurzadre", "sse").
TEST_F(GermanTest, TheReportsPdfKeepsEveryColumnHeadingWhole) {
    const std::vector<std::pair<std::string, std::vector<std::string>>> languages = {
        {"de",
         {"Kurzadresse", "Zufallsadresse", "Gerätetyp", "Aktuell", "Einschalten", "Systemfehler",
          "Min", "Max", "Überblendzeit", "Überblendrate", "Gruppen", "Szenen", "Bemerkungen"}},
        {"en",
         {"Short", "address", "Random", "Device", "type", "Actual", "Power", "System", "failure",
          "Min", "Max", "Fade", "time", "rate", "Groups", "Scenes", "Remarks"}},
    };
    for (const auto& [lang, headings] : languages) {
        SCOPED_TRACE(lang);
        const std::string pdf = File("report-" + lang + ".pdf");
        ASSERT_EQ(Zd(lang, {"report", pdf}).exitCode, 0);
        const std::string text = File("report-" + lang + ".txt");
        ASSERT_EQ(std::system(("pdftotext '" + pdf + "' '" + text + "'").c_str()), 0)
            << "pdftotext (poppler-utils, see scripts/setup.sh) is needed";
        std::istringstream words(test::ReadFileText(text));
        std::vector<std::string> found;
        for (std::string word; words >> word;) found.push_back(word);
        for (const std::string& heading : headings)
            EXPECT_NE(std::find(found.begin(), found.end(), heading), found.end()) << heading;
    }
}

}  // namespace
}  // namespace zd
