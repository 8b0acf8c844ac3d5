// The checks of a line description file's values: a parsed document read into a LineDescription,
// each complaint a LineFileError that names the JSON pointer of the value concerned and, where it
// can be found in the text, its line and column.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "sim/LineFile.h"

namespace zd::sim {

// Throws the LineFileError for the value at where (a JSON pointer) of text.
[[noreturn]] void FailAtValue(const std::string& file, const std::string& text,
                              const std::string& where, const std::string& reason);

// The description a parsed document gives; text is the document's text, file names it.
LineDescription ReadLineDocument(const nlohmann::json& document, const std::string& file,
                                 const std::string& text);

}  // namespace zd::sim
