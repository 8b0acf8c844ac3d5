// Places in a JSON text, as line and column from 1: of a byte offset (where a parser stopped) and
// of the value a JSON pointer names, so that an error about a text or a value can point at it in
// an editor.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace zd::sim {

struct TextPlace {
    int line = 1;
    int column = 1;
};

// The line and column of the byte at offset; an offset past the end counts to the end.
TextPlace PlaceInText(const std::string& text, std::size_t offset);

// Where the value at pointer starts. Walks the text as the parser has read it; gives up (nothing)
// on anything it does not expect, such as a key with "/" or an escape in its name.
std::optional<TextPlace> LocateJsonPointer(const std::string& text, const std::string& pointer);

}  // namespace zd::sim
