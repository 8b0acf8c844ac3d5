// The text of the store's INI file, read and written without the INI reader of a toolkit: the
// key paths as groups in the layout other INI readers of the same file expect ("[Software]",
// "VB%20and%20...\Devices\00\Short%20Address=3", "General" for keys without a group). Reading
// takes time and memory in proportion to the text and keeps what it understands; every line it
// cannot take is named, so that the caller can say what a rewrite of the file leaves out.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zd {

// Longest group or key name and longest value kept; no setting of this program comes near them,
// and a line past them is dropped rather than carried into every later rewrite.
inline constexpr std::size_t kIniMaxName = 1024;
inline constexpr std::size_t kIniMaxValue = 64 * 1024;

struct IniContent {
    // Key ("group/sub/name") to its text. A value listed with commas outside quotes is read as
    // its parts joined with ", ".
    std::map<std::string, std::string> values;
    // Lines that are no setting (a group header without its "]", a line without "=", a name or
    // value past the limits, and the keys under a group header that was dropped): how many, and
    // the first few as "line N: <text>" (cut to 60 characters).
    std::size_t droppedLines = 0;
    // Of those, the lines dropped for a name or value past the limits.
    std::size_t tooLongLines = 0;
    std::vector<std::string> droppedExamples;
};

IniContent ParseIniText(std::string_view text);

// The file's text for these values, groups in key order.
std::string IniTextOf(const std::map<std::string, std::string>& values);

// "2 lines that hold no setting (line 2: [[[bad; line 5: x)": for messages about dropped lines.
std::string DroppedLinesText(const IniContent& content);

}  // namespace zd
