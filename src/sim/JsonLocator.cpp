#include "sim/JsonLocator.h"

#include <algorithm>
#include <string_view>

namespace zd::sim {

TextPlace PlaceInText(const std::string& text, std::size_t offset) {
    TextPlace place;
    const std::size_t end = std::min(offset, text.size());
    for (std::size_t i = 0; i < end; ++i) {
        if (text[i] == '\n') {
            ++place.line;
            place.column = 1;
        } else {
            ++place.column;
        }
    }
    return place;
}

namespace {

// Walks the text from its start along the members and elements a pointer names.
class ValueLocator {
  public:
    explicit ValueLocator(const std::string& text) : m_text(text) {}

    std::optional<TextPlace> Locate(const std::string& pointer) const {
        std::size_t at = SkipBlanks(0);
        std::size_t from = 1;
        while (from <= pointer.size() && pointer.size() > 1) {
            std::size_t to = pointer.find('/', from);
            if (to == std::string::npos) to = pointer.size();
            const std::optional<std::size_t> inner = Step(at, pointer.substr(from, to - from));
            if (!inner) return std::nullopt;
            at = *inner;
            from = to + 1;
        }
        if (at >= m_text.size()) return std::nullopt;
        return PlaceInText(m_text, at);
    }

  private:
    std::size_t SkipBlanks(std::size_t at) const {
        while (at < m_text.size() &&
               std::string_view(" \t\r\n").find(m_text[at]) != std::string_view::npos)
            ++at;
        return at;
    }
    // Past the string that starts at at; its raw text (escapes kept) into raw.
    std::optional<std::size_t> SkipString(std::size_t at, std::string* raw = nullptr) const {
        for (std::size_t i = at + 1; i < m_text.size(); ++i) {
            if (m_text[i] == '\\') {
                ++i;
            } else if (m_text[i] == '"') {
                if (raw) *raw = m_text.substr(at + 1, i - at - 1);
                return i + 1;
            }
        }
        return std::nullopt;
    }
    std::optional<std::size_t> SkipValue(std::size_t at) const {
        if (at >= m_text.size()) return std::nullopt;
        if (m_text[at] == '"') return SkipString(at);
        if (m_text[at] != '{' && m_text[at] != '[') {
            while (at < m_text.size() &&
                   std::string_view(",}] \t\r\n").find(m_text[at]) == std::string_view::npos)
                ++at;
            return at;
        }
        int depth = 0;
        for (std::size_t i = at; i < m_text.size(); ++i) {
            const char c = m_text[i];
            if (c == '"') {
                const auto end = SkipString(i);
                if (!end) return std::nullopt;
                i = *end - 1;
            } else if (c == '{' || c == '[') {
                ++depth;
            } else if ((c == '}' || c == ']') && --depth == 0) {
                return i + 1;
            }
        }
        return std::nullopt;
    }
    // From the container at at to the start of its member or element named token.
    std::optional<std::size_t> Step(std::size_t at, const std::string& token) const {
        if (at >= m_text.size()) return std::nullopt;
        const bool array = m_text[at] == '[';
        if (!array && m_text[at] != '{') return std::nullopt;
        std::size_t index = 0;
        if (array) {
            if (token.empty() || token.find_first_not_of("0123456789") != std::string::npos ||
                token.size() > 6)
                return std::nullopt;
            index = static_cast<std::size_t>(std::stoul(token));
        }
        at = SkipBlanks(at + 1);
        for (std::size_t item = 0; at < m_text.size(); ++item) {
            bool match = array && item == index;
            if (!array) {
                std::string key;
                const auto end = m_text[at] == '"' ? SkipString(at, &key) : std::nullopt;
                if (!end) return std::nullopt;
                at = SkipBlanks(*end);
                if (at >= m_text.size() || m_text[at] != ':') return std::nullopt;
                at = SkipBlanks(at + 1);
                match = key == token;
            }
            if (match) return at;
            const auto end = SkipValue(at);
            if (!end) return std::nullopt;
            at = SkipBlanks(*end);
            if (at >= m_text.size() || m_text[at] != ',') return std::nullopt;
            at = SkipBlanks(at + 1);
        }
        return std::nullopt;
    }

    const std::string& m_text;
};

}  // namespace

std::optional<TextPlace> LocateJsonPointer(const std::string& text, const std::string& pointer) {
    return ValueLocator(text).Locate(pointer);
}

}  // namespace zd::sim
