#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/Messages.h"

namespace zd {
namespace {

TEST(MessageCatalogueTest, TextsAreKeptExactlyInBothLanguages) {
    const MessageCatalogue catalogue;
    struct Sample {
        int number;
        const char* english;
        const char* german;
    };
    const Sample samples[] = {
        {110, "Pos", "Pos"},
        {112, "Channel", "Kanal"},
        {5000, "Device settings", "Geräte Einstellungen"},
        {5092, "MASK", "MASKE"},
        {5094, "Count DALI Devices ", "DALI-Geräte zählen"},
        {5112, "Exclamation", "Fehler"},
        {5113, "System failure", "Systemfehler"},
        {5127, "XML File (*.xml)|*.xml", "XML Datei (*.xml)|*.xml"},
        {5136, "Is the option 'Enable setup mode' under the menu 'Options' active?",
         "Ist unter dem Menü 'Optionen' die Option 'Online Monitoring' aktiviert?"},
        {5143, "selected ballast don't reply after the COMPARE command",
         "Selektiertes Vorschaltgerät antwortet nicht auf den Befehl COMPARE"},
        {5146, "internal error (Statemachine)", "Interner Fehler (Statemachine)"},
    };
    for (const Sample& s : samples) {
        EXPECT_EQ(catalogue.Load(s.number, Language::English), s.english) << s.number;
        EXPECT_EQ(catalogue.Load(s.number, Language::German), s.german) << s.number;
    }
}

TEST(MessageCatalogueTest, EveryNumberIsPresentInBothLanguagesAndNoOther) {
    const MessageCatalogue catalogue;
    auto check = [&](int number) {
        EXPECT_FALSE(catalogue.Load(number, Language::English).empty()) << number;
        EXPECT_FALSE(catalogue.Load(number, Language::German).empty()) << number;
    };
    for (int n = 110; n <= 113; ++n) check(n);
    for (int n = 5000; n <= 5146; ++n) check(n);
    for (int outside : {0, 109, 114, 4999, 5147}) {
        EXPECT_EQ(catalogue.Load(outside), "") << outside;
    }
}

TEST(MessageCatalogueTest, CurrentLanguageChoosesTheText) {
    MessageCatalogue catalogue(Language::German);
    EXPECT_EQ(catalogue.Load(5112), "Fehler");
    catalogue.SetLanguage(Language::English);
    EXPECT_EQ(catalogue.Load(5112), "Exclamation");
}

// Sets the locale variables for one test and puts the previous values back afterwards.
class LocaleEnvironment {
  public:
    LocaleEnvironment() {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved[name] = value ? std::optional<std::string>(value) : std::nullopt;
            unsetenv(name);
        }
    }
    ~LocaleEnvironment() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const char* name, const char* value) { setenv(name, value, 1); }

  private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST(MessageCatalogueTest, LanguageComesFromTheFirstSetLocaleVariable) {
    LocaleEnvironment env;
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::English);

    env.Set("LANG", "de_DE.UTF-8");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::German);
    EXPECT_EQ(MessageCatalogue().Load(5000), "Geräte Einstellungen");

    env.Set("LC_MESSAGES", "en_GB.UTF-8");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::English);

    env.Set("LC_ALL", "de_AT.UTF-8");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::German);

    env.Set("LANGUAGE", "en_US:de");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::English);
    env.Set("LANGUAGE", "de:en_US");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::German);
}

TEST(MessageCatalogueTest, EmptyLocaleVariablesAreSkipped) {
    LocaleEnvironment env;
    env.Set("LANGUAGE", "");
    env.Set("LC_ALL", "");
    env.Set("LANG", "de_CH.UTF-8");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::German);
    env.Set("LANGUAGE", ":");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::German);
    env.Set("LANGUAGE", "::fr:de");
    EXPECT_EQ(MessageCatalogue::LanguageFromEnvironment(), Language::English);
}

}  // namespace
}  // namespace zd
