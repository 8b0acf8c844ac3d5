// With --lang de the command line's own texts are German: its refusals, errors, notes and the
// texts of what a run recovered from, and the PDF report's column headings stay whole words.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "platform/HostTexts.h"
#include "transport/SimDevCom.h"

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
        R"(\b(the|with|was|were|could|cannot|does|did|not|needs|takes|give|confirm|answers|is|of|and|to|no|this|there|been|goes|keeps|from|changed|remove|gear|device|devices|groups|has|have|only|when|which|its|their|after|before|but|or)\b)",
        std::regex::icase);
    // Options, paths, commands quoted and what a user typed are no text of the program.
    static const std::regex kept(R"(--?[A-Za-z][\w-]*|/[\w./-]+|„[^“]*“|"[^"]*")");
    const std::string own = std::regex_replace(text, kept, " ");
    std::smatch found;
    return std::regex_search(own, found, english) ? found.str() : "";
}

TEST_F(GermanTest, RefusalsErrorsNotesAndRecoveriesAreGerman) {
    // A backup for the replacement below, and a line that differs from it; the second gear
    // answers only every second query.
    ASSERT_EQ(Zd("en", {"backup", File("b.json")}).exitCode, 0);
    ASSERT_EQ(
        Zd("en", {"groups", "--short", "5", "--add", "7", "--save-line", File("changed.json")})
            .exitCode,
        0);
    std::string twice = test::ReadFileText(File("b.json"));
    twice.replace(twice.find("\"groups\": ["), 11, "\"groups\": [1, 1, ");
    std::ofstream(File("twice.json")) << twice;
    const auto everySecond = [](SimDevCom& devCom) {
        devCom.Terminal().Gear(2).Faults().m_answerEverySecondQuery = true;
    };
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        // The document's field that holds the text: "error", "note", "recovered", "messages".
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
        // A backup whose file is wrong: a group twice.
        {{"restore", File("twice.json"), "--dry-run"}, 1, "error"},
        // The question before the restore, with its plan.
        {{"restore", File("b.json"), "--yes", "--line", File("changed.json")}, 0, "messages"},
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

// The string literals that follow at in text, joined as the compiler joins them ("a " "b"); empty
// when no literal follows.
std::string LiteralsAt(const std::string& text, std::size_t at, std::size_t& end) {
    std::string joined;
    std::size_t i = at;
    while (true) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
        if (i >= text.size() || text[i] != '"') break;
        for (++i; i < text.size() && text[i] != '"'; ++i) {
            if (text[i] == '\\' && i + 1 < text.size()) ++i;
            joined += text[i];
        }
        ++i;
    }
    end = i;
    return joined;
}

// Every wording the source puts into a language where it is shown (HostText, Tr, HostWording, a
// refusal's wording) has its German: a text added without one reaches a German reader in English.
TEST(GermanWordings, EveryWordingInTheSourceHasItsGerman) {
    const std::filesystem::path src =
        std::filesystem::path(ZD4270_EXAMPLES_DIR).parent_path() / "src";
    std::vector<std::string> missing;
    std::size_t checked = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(src)) {
        if (entry.path().extension() != ".cpp") continue;
        std::ifstream file(entry.path());
        const std::string text((std::istreambuf_iterator<char>(file)), {});
        // The call, and whether the wording is its second argument (after the language).
        for (const auto& [call, second] :
             {std::pair{std::string("HostText("), true}, std::pair{std::string("Tr("), true},
              std::pair{std::string("HostWording("), false},
              std::pair{std::string("UsageError("), false}}) {
            for (std::size_t at = text.find(call); at != std::string::npos;
                 at = text.find(call, at + 1)) {
                if (at > 0 &&
                    (std::isalnum(static_cast<unsigned char>(text[at - 1])) || text[at - 1] == '_'))
                    continue;
                std::size_t start = at + call.size();
                if (second) {
                    const std::size_t comma = text.find_first_of(",)\"", start);
                    if (comma == std::string::npos || text[comma] != ',') continue;
                    start = comma + 1;
                }
                std::size_t end = 0;
                const std::string wording = LiteralsAt(text, start, end);
                if (wording.empty()) continue;
                // A refusal given as one text is no wording of the table.
                std::size_t next = end;
                while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next])))
                    ++next;
                if (call == "UsageError(" && text.compare(next, 1, ",") != 0) continue;
                ++checked;
                if (!HasHostText(wording))
                    missing.push_back(entry.path().filename().string() + ": " + wording);
            }
        }
    }
    EXPECT_GT(checked, 200u);
    for (const std::string& text : missing) ADD_FAILURE() << "no German for " << text;
}

}  // namespace
}  // namespace zd
