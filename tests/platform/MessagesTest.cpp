// The message catalogue's numbers in both languages, and the language taken from the locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/HostTexts.h"
#include "platform/Messages.h"

namespace zd {
namespace {

TEST(MessageCatalogueTest, EveryNumberHasATextInBothLanguagesAndTheCurrentOneChooses) {
    const MessageCatalogue catalogue;
    // Every number is present in both languages, and no other.
    for (int n = 110; n <= 5146; n = (n == 113 ? 5000 : n + 1)) {
        EXPECT_FALSE(catalogue.Load(n, Language::English).empty()) << n;
        EXPECT_FALSE(catalogue.Load(n, Language::German).empty()) << n;
    }
    for (int outside : {109, 114, 4999, 5147}) EXPECT_EQ(catalogue.Load(outside), "") << outside;
    // Without a language argument the current one chooses.
    MessageCatalogue german(Language::German);
    EXPECT_EQ(german.Load(5112), "Fehler");
}

TEST(MessageCatalogueTest, LanguageComesFromTheFirstNonEmptyLocaleVariable) {
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::optional<std::string>> saved;
    for (const char* name : kNames) {
        const char* value = std::getenv(name);
        saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
        unsetenv(name);
    }
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::English);
    // Each step sets one more variable, in the order of increasing precedence; an empty one
    // counts as unset.
    const std::pair<const char*, const char*> steps[] = {{"LANG", "de_DE.UTF-8"},
                                                         {"LC_MESSAGES", "en_GB.UTF-8"},
                                                         {"LC_ALL", "de_AT.UTF-8"},
                                                         {"LANGUAGE", "en_US:de"},
                                                         {"LANGUAGE", ""}};
    const Language expected[] = {Language::German, Language::English, Language::German,
                                 Language::English, Language::German};
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        setenv(steps[i].first, steps[i].second, 1);
        EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), expected[i]) << i;
    }
    for (const auto& [name, value] : saved) {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
}

// The host's composed messages: the parts it knows in German, names and paths untouched.
TEST(HostMessageTest, KnownPartsTurnGermanAndPathsStayAsTheyAre) {
    const std::string station = "The station document /tmp/table count.xml has no terminal";
    EXPECT_EQ(HostMessage(Language::German, station),
              "Das Stationsdokument /tmp/table count.xml hat keine Klemme");
    EXPECT_EQ(HostMessage(Language::English, station), station);
    EXPECT_EQ(HostMessage(Language::German,
                          "Modbus TCP 127.0.0.1:1: connection refused (nothing listens at that "
                          "port)"),
              "Modbus TCP 127.0.0.1:1: Verbindung abgelehnt (an diesem Port wartet niemand)");
}

}  // namespace
}  // namespace zd
