// The help in the run's language: every command and group has its German text, the German texts
// are German throughout, and --lang or the locale's default chooses them.

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "cli/CommandHelp.h"
#include "cli/DeviceCommands.h"

namespace zd {
namespace {

// The commands with a help text: the table's and those the command line handles itself.
std::vector<std::string> HelpTopics() {
    std::vector<std::string> topics{"serve", "demo", "help"};
    for (const CommandSyntax& syntax : CommandTable()) topics.push_back(syntax.name);
    return topics;
}

// The options a text names.
std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex option(R"(--[a-z][a-z-]*)");
    std::set<std::string> options;
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        options.insert(it->str());
    return options;
}

// A word of English prose in a German text, outside what a user types: options, paths, quoted
// commands and keys, and the examples at the end.
std::string EnglishWordIn(const std::string& text) {
    static const std::regex examples(R"(\nBeispiele?:\n[\s\S]*)");
    static const std::regex typed(R"(--?[A-Za-z][\w-]*|[\w.~-]*/[\w./{}~-]+|"[^"\n]*")");
    static const std::regex english(
        R"(\b(the|and|with|is|are|of|to|when|which|from|its|their|or|after|before|each|every)\b)",
        std::regex::icase);
    const std::string prose =
        std::regex_replace(std::regex_replace(text, examples, "\n"), typed, " ");
    std::smatch found;
    return std::regex_search(prose, found, english) ? found.str() : "";
}

// Lines wider than the English help's 88 characters, outside the examples.
std::string WideLineIn(const std::string& text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        const std::string line = text.substr(begin, end - begin);
        if (line.rfind("Beispiel", 0) == 0) break;
        std::size_t characters = 0;
        for (const unsigned char byte : line) characters += (byte & 0xC0) != 0x80;
        if (characters > 88) return line;
        begin = end + 1;
    }
    return "";
}

// zd4270 with exactly these arguments, the defaults' language unless --lang says otherwise.
std::string HelpOutput(std::vector<std::string> args, Language language) {
    SessionOptions defaults = test::ExampleDefaults();
    defaults.language = language;
    std::vector<const char*> argv{"zd4270"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    EXPECT_EQ(RunCommandLine(static_cast<int>(argv.size()), argv.data(), defaults, out, err), 0)
        << test::Joined(args);
    test::ReadAll(err);
    return test::ReadAll(out);
}

TEST(HelpTest, EveryCommandHasAGermanHelpOfTheSameOptions) {
    for (const std::string& topic : HelpTopics()) {
        SCOPED_TRACE(topic);
        const char* english = CommandHelpText(topic, Language::English);
        const char* german = CommandHelpText(topic, Language::German);
        ASSERT_NE(english, nullptr);
        ASSERT_NE(german, nullptr);
        EXPECT_EQ(std::string(german).rfind("zd4270 " + topic, 0), 0u) << german;
        EXPECT_EQ(OptionsIn(german), OptionsIn(english));
        EXPECT_EQ(EnglishWordIn(german), "") << german;
        EXPECT_EQ(WideLineIn(german), "");
    }
    // Nothing in the German table that names no command.
    for (const auto& [name, text] : GermanHelpTexts())
        EXPECT_NE(CommandHelpText(name, Language::English), nullptr) << name;
}

TEST(HelpTest, TheUsageAndTheGroupsAreGerman) {
    const std::string usage = HelpOutput({"--lang", "de", "help"}, Language::English);
    EXPECT_EQ(usage, GermanUsageText());
    EXPECT_EQ(EnglishWordIn(usage), "") << usage;
    EXPECT_EQ(WideLineIn(usage), "");
    const std::string english = HelpOutput({"--lang", "en", "help"}, Language::German);
    EXPECT_EQ(OptionsIn(usage), OptionsIn(english));
    for (const std::string group : {"address", "archive", "emergency"}) {
        const std::string text = HelpOutput({"help", group, "--lang", "de"}, Language::English);
        EXPECT_EQ(EnglishWordIn(text), "") << text;
        for (const CommandSyntax& syntax : CommandTable()) {
            if (syntax.name.rfind(group + " ", 0) != 0) continue;
            const std::string german = CommandHelpText(syntax.name, Language::German);
            EXPECT_NE(text.find(german.substr(0, german.find("\n\n"))), std::string::npos)
                << syntax.name << ":\n"
                << text;
        }
    }
}

TEST(HelpTest, TheRunsLanguageChoosesTheHelp) {
    const std::string german = CommandHelpText("scan", Language::German);
    const std::string english = CommandHelpText("scan", Language::English);
    ASSERT_NE(german, english);
    EXPECT_EQ(HelpOutput({"--lang", "de", "help", "scan"}, Language::English), german);
    EXPECT_EQ(HelpOutput({"help", "scan", "--lang", "de"}, Language::English), german);
    EXPECT_EQ(HelpOutput({"scan", "--help"}, Language::German), german);
    EXPECT_EQ(HelpOutput({"help", "scan"}, Language::English), english);
    EXPECT_EQ(HelpOutput({"--lang", "en", "help", "scan"}, Language::German), english);
    EXPECT_EQ(HelpOutput({"--lang", "de", "--help"}, Language::English), GermanUsageText());
    EXPECT_EQ(HelpOutput({"help"}, Language::German), GermanUsageText());
    // The English texts stay as they were.
    EXPECT_EQ(english.substr(0, english.find('\n', english.find("\n\n") + 2)),
              "zd4270 scan [--optical-feedback] [--ask-twice] [--quick]\n\n"
              "Asks every short address 0 to 63 whether a ballast answers and lists the devices,");
    const std::string usage = HelpOutput({"--help"}, Language::English);
    EXPECT_EQ(usage.rfind("usage: zd4270 [COMMAND] [--station FILE]", 0), 0u) << usage;
}

}  // namespace
}  // namespace zd
