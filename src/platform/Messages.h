// The numbered message catalogue: every caption, list entry, status text and message box text the
// user sees, in English and German. Code asks for a text by number each time it shows one.
#pragma once

#include <string>

namespace zd {

enum class Language { English, German };

class MessageCatalogue {
  public:
    explicit MessageCatalogue(Language language = LanguageFromEnvironment())
        : m_language(language) {}

    // The text of message number in the current language (UTF-8). Numbers outside the catalogue
    // are a programming error and give an empty text.
    std::string Load(int number) const;
    std::string Load(int number, Language language) const;

    Language GetLanguage() const { return m_language; }
    void SetLanguage(Language language) { m_language = language; }

    // German when the first set of LANGUAGE, LC_ALL, LC_MESSAGES, LANG names German, else English.
    static Language LanguageFromEnvironment();

  private:
    Language m_language;
};

}  // namespace zd
