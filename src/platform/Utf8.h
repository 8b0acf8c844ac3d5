// Text that comes from files, devices and the command line may hold any bytes. Before such text
// reaches a log file, a message box or a JSON document it is made valid UTF-8, so that a stray
// ISO-8859-1 byte shows as a replacement character instead of ending the program.
#pragma once

#include <string>
#include <string_view>

namespace zd {

// The text with every ill-formed sequence (a stray continuation byte, a cut or overlong
// sequence, a surrogate, a code point past U+10FFFF) replaced by U+FFFD, one per maximal bad
// subpart as Unicode recommends. Valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);
bool IsValidUtf8(std::string_view text);
// ValidUtf8, with the control characters a terminal would act on (all below U+0020 but line feed
// and tab, and DEL) written as "\x1B": a corrupt file's bytes quoted in a message cannot move the
// cursor, ring or cut the line (a NUL byte).
std::string PrintableText(std::string_view text);

// UTF-8 to UTF-16 code units; ill-formed sequences become U+FFFD as in ValidUtf8.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 code units to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace zd
