// The host's own texts in English and German: the window's menus, docks, status bar and About
// box, the lamp tiles and the progress of a long run. The control's texts stay in its numbered
// catalogue; these are the ones around it, looked up by their English wording.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

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

// Whether the table knows english (German wordings may equal the English one, as "&Deutsch").
bool HasHostText(std::string_view english);

}  // namespace zd
