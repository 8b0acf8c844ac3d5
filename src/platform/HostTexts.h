// The host's own texts in English and German: the window's menus, docks, status bar and About
// box, the lamp tiles and the progress of a long run. The control's texts stay in its numbered
// catalogue; these are the ones around it, looked up by their English wording.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Messages.h"

namespace zd {

// The text in language: the German wording of english where the table has one, else english
// itself. "%1" to "%9" in the text are replaced by args, in order.
std::string HostText(Language language, std::string_view english,
                     std::initializer_list<std::string_view> args = {});

// A message the host composed from its parts (a Modbus failure, a station document it cannot
// use) in language: each part it knows is put in German; names, numbers and the parts it does not
// know stay as they are.
std::string HostMessage(Language language, const std::string& english);

// A host text whose language is chosen where it is shown: an error raised where the reader's
// language is not at hand (a command line being checked) carries its English wording and
// arguments, and whoever prints it puts it into that language. Arguments given as text (names,
// numbers, paths, what a user typed) stay as they are; arguments that are wordings themselves
// are put into the language with it.
class HostWording {
  public:
    HostWording(std::string text) : m_english(std::move(text)) {}
    HostWording(const char* text) : m_english(text) {}
    HostWording(std::string english, std::vector<HostWording> args)
        : m_english(std::move(english)), m_args(std::move(args)), m_verbatim(false) {}
    std::string In(Language language) const;

  private:
    std::string m_english;
    std::vector<HostWording> m_args;
    bool m_verbatim = true;
};

// Whether the table knows english (German wordings may equal the English one, as "&Deutsch").
bool HasHostText(std::string_view english);

}  // namespace zd
