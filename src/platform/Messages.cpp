#include "platform/Messages.h"

#include <cstdlib>
#include <string_view>

namespace zd {

namespace {
struct Entry {
    int number;
    const char* english;
    const char* german;  // null: the English text serves both languages
};

// Filled in with the whole catalogue.
const Entry kEntries[] = {
    {5113, "System failure", "Systemfehler"},
};
}  // namespace

std::string MessageCatalogue::Load(int number) const { return Load(number, m_language); }

std::string MessageCatalogue::Load(int number, Language language) const {
    for (const Entry& e : kEntries) {
        if (e.number == number) {
            return (language == Language::German && e.german) ? e.german : e.english;
        }
    }
    return {};
}

Language MessageCatalogue::LanguageFromEnvironment() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string_view v(value);
            return (v.substr(0, 2) == "de") ? Language::German : Language::English;
        }
    }
    return Language::English;
}

}  // namespace zd
