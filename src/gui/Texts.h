// The host's own texts for the window's widgets, in the language the window runs in.
#pragma once

#include <QString>
#include <initializer_list>
#include <string_view>

#include "platform/HostTexts.h"

namespace zd {

inline QString Tr(Language language, std::string_view english,
                  std::initializer_list<std::string_view> args = {}) {
    return QString::fromStdString(HostText(language, english, args));
}

}  // namespace zd
