#include "platform/IniText.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "platform/Utf8.h"

namespace zd {

namespace {

constexpr std::size_t kDroppedExamples = 3;
constexpr std::size_t kDroppedTextLength = 60;

std::string_view Trimmed(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && space(text.front())) text.remove_prefix(1);
    while (!text.empty() && space(text.back())) text.remove_suffix(1);
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<unsigned> HexValue(std::string_view digits) {
    unsigned value = 0;
    for (char c : digits) {
        value <<= 4;
        if (c >= '0' && c <= '9') {
            value |= static_cast<unsigned>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            value |= static_cast<unsigned>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            value |= static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
    }
    return value;
}

void AppendCodeUnit(std::u16string& out, unsigned unit) {
    out.push_back(static_cast<char16_t>(unit));
}

// "%XX" and "%UXXXX" are UTF-16 code units, "\" separates the parts of a key.
std::string UnescapedKey(std::string_view key) {
    std::u16string units;
    std::string plain;
    auto flushPlain = [&] {
        units += Utf8ToUtf16(plain);
        plain.clear();
    };
    for (std::size_t i = 0; i < key.size(); ++i) {
        const char c = key[i];
        if (c == '\\') {
            plain.push_back('/');
        } else if (c == '%' && i + 5 < key.size() && key[i + 1] == 'U' &&
                   HexValue(key.substr(i + 2, 4))) {
            flushPlain();
            AppendCodeUnit(units, *HexValue(key.substr(i + 2, 4)));
            i += 5;
        } else if (c == '%' && i + 2 < key.size() && HexValue(key.substr(i + 1, 2))) {
            flushPlain();
            AppendCodeUnit(units, *HexValue(key.substr(i + 1, 2)));
            i += 2;
        } else {
            plain.push_back(c);
        }
    }
    flushPlain();
    return Utf16ToUtf8(units);
}

std::string EscapedKey(std::string_view key) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char16_t unit : Utf8ToUtf16(key)) {
        if (unit == u'/') {
            out.push_back('\\');
        } else if ((unit >= u'a' && unit <= u'z') || (unit >= u'A' && unit <= u'Z') ||
                   (unit >= u'0' && unit <= u'9') || unit == u'_' || unit == u'-' || unit == u'.') {
            out.push_back(static_cast<char>(unit));
        } else if (unit <= 0xFF) {
            out += {'%', kHex[unit >> 4], kHex[unit & 0xF]};
        } else {
            out += {'%',
                    'U',
                    kHex[unit >> 12],
                    kHex[(unit >> 8) & 0xF],
                    kHex[(unit >> 4) & 0xF],
                    kHex[unit & 0xF]};
        }
    }
    return out;
}

// A value: quotes, backslash escapes, parts separated by commas outside quotes (joined with
// ", "), ";" outside quotes starting a comment, blanks outside quotes around each part dropped.
std::string UnescapedValue(std::string_view text) {
    std::vector<std::string> parts;
    std::string part;
    std::size_t kept = 0;  // the length of part that trailing blanks must not cut into
    bool quoted = false;
    std::size_t i = 0;
    auto skipBlanks = [&] {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    };
    skipBlanks();
    while (i < text.size()) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
            kept = part.size();
            ++i;
        } else if (c == '\\' && i + 1 < text.size()) {
            const char e = text[i + 1];
            i += 2;
            switch (e) {
                case 'a':
                    part.push_back('\a');
                    break;
                case 'b':
                    part.push_back('\b');
                    break;
                case 'f':
                    part.push_back('\f');
                    break;
                case 'n':
                    part.push_back('\n');
                    break;
                case 'r':
                    part.push_back('\r');
                    break;
                case 't':
                    part.push_back('\t');
                    break;
                case 'v':
                    part.push_back('\v');
                    break;
                case 'x': {
                    unsigned value = 0;
                    std::size_t digits = 0;
                    while (i < text.size() && digits < 4 && HexValue(text.substr(i, 1))) {
                        value = value * 16 + *HexValue(text.substr(i, 1));
                        ++i;
                        ++digits;
                    }
                    part += Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(value)));
                    break;
                }
                default:
                    if (e >= '0' && e <= '7') {
                        unsigned value = static_cast<unsigned>(e - '0');
                        for (int d = 0;
                             d < 2 && i < text.size() && text[i] >= '0' && text[i] <= '7'; ++d, ++i)
                            value = value * 8 + static_cast<unsigned>(text[i] - '0');
                        part += Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(value)));
                    } else {
                        part.push_back(e);  // \" \' \? \\ \; \, and any other
                    }
            }
            kept = part.size();
        } else if (!quoted && c == ',') {
            while (part.size() > kept && (part.back() == ' ' || part.back() == '\t'))
                part.pop_back();
            parts.push_back(part);
            part.clear();
            kept = 0;
            ++i;
            skipBlanks();
        } else if (!quoted && c == ';') {
            break;
        } else {
            part.push_back(c);
            if (quoted) kept = part.size();
            ++i;
        }
    }
    while (part.size() > kept && (part.back() == ' ' || part.back() == '\t')) part.pop_back();
    parts.push_back(part);
    std::string value;
    for (std::size_t k = 0; k < parts.size(); ++k) value += (k ? ", " : "") + parts[k];
    // A text that begins with "@" is written with a second one, so that it is not taken for a
    // typed value; "@String(...)" is a text as well.
    if (value.rfind("@@", 0) == 0) return value.substr(1);
    if (value.rfind("@String(", 0) == 0 && value.back() == ')')
        return value.substr(8, value.size() - 9);
    return value;
}

std::string EscapedValue(std::string_view value) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    if (!value.empty() && value.front() == '@') out.push_back('@');
    bool needsQuotes = false;
    bool hexBefore = false;  // a digit after "\xN" would extend the escape
    for (char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == ';' || c == ',' || c == '=') needsQuotes = true;
        const bool hexDigit = HexValue(std::string_view(&ch, 1)).has_value();
        if (hexBefore && hexDigit) {
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
            continue;
        }
        hexBefore = false;
        switch (c) {
            case '\0':
                out += "\\0";
                hexBefore = true;
                break;
            case '\a':
                out += "\\a";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\v':
                out += "\\v";
                break;
            case '"':
            case '\\':
                out.push_back('\\');
                out.push_back(ch);
                break;
            default:
                if (c <= 0x1F || c == 0x7F) {
                    out += {'\\', 'x', kHex[c >> 4], kHex[c & 0xF]};
                    hexBefore = true;
                } else {
                    out.push_back(ch);
                }
        }
    }
    if (needsQuotes || (!out.empty() && (out.front() == ' ' || out.back() == ' ')))
        return '"' + out + '"';
    return out;
}

// "a//b/" is "a/b": a key path has no empty parts, so that a rewrite, which files a key under
// its first part, reads back as the same key.
std::string NormalisedKey(std::string_view key) {
    std::string out;
    for (char c : key) {
        if (c == '/' && (out.empty() || out.back() == '/')) continue;
        out.push_back(c);
    }
    if (!out.empty() && out.back() == '/') out.pop_back();
    return out;
}

}  // namespace

IniContent ParseIniText(std::string_view text) {
    IniContent content;
    std::string group;
    bool groupValid = true;
    std::size_t lineNumber = 0;
    auto drop = [&](std::string_view line, bool tooLong = false) {
        ++content.droppedLines;
        if (tooLong) ++content.tooLongLines;
        if (content.droppedExamples.size() >= kDroppedExamples) return;
        std::string shown = ValidUtf8(line.substr(0, kDroppedTextLength));
        if (line.size() > kDroppedTextLength) shown += "...";
        if (tooLong) shown += " (too long)";
        content.droppedExamples.push_back("line " + std::to_string(lineNumber) + ": " + shown);
    };
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++lineNumber;
        const std::string_view line = Trimmed(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            groupValid = line.back() == ']' && line.size() >= 2;
            if (groupValid) {
                const std::string_view name = line.substr(1, line.size() - 2);
                if (EqualsNoCase(name, "general")) {
                    group.clear();
                } else if (EqualsNoCase(name, "%general")) {
                    group = std::string(name.substr(1));
                } else {
                    group = UnescapedKey(name);
                }
                groupValid = group.size() <= kIniMaxName;
                if (!groupValid) {
                    drop(line, true);
                    continue;
                }
            }
            if (!groupValid) drop(line);
            continue;
        }
        const std::size_t equals = line.find('=');
        const std::string_view key =
            Trimmed(line.substr(0, equals == std::string_view::npos ? 0 : equals));
        if (!groupValid || equals == std::string_view::npos || key.empty()) {
            drop(line);
            continue;
        }
        // The limits hold for what is kept, so that a rewrite, which may escape more than the
        // line did, never makes a line that the next read drops.
        std::string name = UnescapedKey(key);
        std::string value = UnescapedValue(line.substr(equals + 1));
        if (name.size() > kIniMaxName || value.size() > kIniMaxValue) {
            drop(line, true);
            continue;
        }
        name = NormalisedKey(group.empty() ? name : group + "/" + name);
        if (name.empty()) {
            drop(line);
            continue;
        }
        content.values[name] = std::move(value);
    }
    return content;
}

std::string IniTextOf(const std::map<std::string, std::string>& values) {
    // Group: the key's first part; keys without one go into [General], which comes first.
    std::map<std::string, std::string> groups;
    std::string general;
    for (const auto& [key, value] : values) {
        const std::size_t slash = key.find('/');
        const std::string line =
            EscapedKey(slash == std::string::npos ? key : key.substr(slash + 1)) + "=" +
            EscapedValue(value) + "\n";
        if (slash == std::string::npos) {
            general += line;
        } else {
            groups[key.substr(0, slash)] += line;
        }
    }
    std::string text;
    if (!general.empty()) text += "[General]\n" + general;
    for (const auto& [group, lines] : groups) {
        if (!text.empty()) text += "\n";
        text += "[" + (EqualsNoCase(group, "general") ? "%" + group : EscapedKey(group)) + "]\n" +
                lines;
    }
    return text;
}

std::string DroppedLinesText(const IniContent& content) {
    const std::size_t noSetting = content.droppedLines - content.tooLongLines;
    std::string text;
    if (noSetting > 0) {
        text = std::to_string(noSetting) +
               (noSetting == 1 ? " line that holds" : " lines that hold") + " no setting";
    }
    if (content.tooLongLines > 0) {
        text += (text.empty() ? "" : " and ") + std::to_string(content.tooLongLines) +
                (content.tooLongLines == 1 ? " line" : " lines") +
                " longer than this program keeps (a name up to " + std::to_string(kIniMaxName) +
                " bytes, a value up to " + std::to_string(kIniMaxValue / 1024) + " KB)";
    }
    text += " (";
    for (std::size_t i = 0; i < content.droppedExamples.size(); ++i)
        text += (i ? "; " : "") + content.droppedExamples[i];
    if (content.droppedLines > content.droppedExamples.size()) text += "; ...";
    return text + ")";
}

}  // namespace zd
