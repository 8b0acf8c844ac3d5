// The commands that reach further than the line's scan and addressing: the variables, groups and
// scenes of one device (read by the engine, written through the pages the device tree opens),
// physical selection with the lamps taken out by a person (or by a script on the simulated line),
// the store's logging switches, and the help of each command.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/HeadlessCommands.h"

namespace zd {

PreparedCommand PrepareVariables(const CommandArguments& arguments);
PreparedCommand PrepareGroups(const CommandArguments& arguments);
PreparedCommand PrepareScenes(const CommandArguments& arguments);
// Each known device's level, status and device type (a scan first with --scan, or when the store
// knows no device).
PreparedCommand PrepareStatus(const CommandArguments& arguments);
// The colour temperature of tunable-white gear (device type 8).
PreparedCommand PrepareColour(const CommandArguments& arguments);
PreparedCommand PrepareAddressPhysical(const CommandArguments& arguments);
PreparedCommand PrepareSettings(const CommandArguments& arguments);
// The line's backup, its restore and the replacement of a failed gear.
PreparedCommand PrepareBackup(const CommandArguments& arguments);
PreparedCommand PrepareRestore(const CommandArguments& arguments);
PreparedCommand PrepareReplace(const CommandArguments& arguments);

// "zd4270 help [COMMAND]": the usage, or one command's description with an example, in language.
// Throws UsageError for a command that does not exist.
int RunHelp(const std::vector<std::string>& words, std::FILE* out,
            Language language = Language::English);
// The help of the command named by words (one or two) in language, or null.
const char* CommandHelpText(const std::string& name, Language language = Language::English);

// A list given as "1,3,7": each part is checked by parse. UsageError names option.
template <typename Parse>
auto ParseList(const std::string& text, const std::string& option, Parse parse) {
    std::vector<decltype(parse(std::string()))> items;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t comma = std::min(text.find(',', begin), text.size());
        const std::string part = text.substr(begin, comma - begin);
        if (part.empty())
            throw UsageError(option + " takes a list such as 1,3,7, not \"" + text + "\"");
        items.push_back(parse(part));
        begin = comma + 1;
    }
    return items;
}

}  // namespace zd
