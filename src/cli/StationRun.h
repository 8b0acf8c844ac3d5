// A command on many terminals of one station at once: each chosen ZD4270 gets its own control with
// its own state, clock, dialogs, store section and log files on a thread of its own, and the
// results come back as one document with one entry per terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/HeadlessCommands.h"
#include "cli/Session.h"
#include "host/Building.h"

namespace zd {

struct StationSelection {
    // Every ZD4270 of the station.
    bool all = false;
    // The positions given with --pos (one or several).
    std::vector<std::int32_t> positions;
    // Line files DIR/pos-N.json for the simulated terminals; a missing one is an empty line.
    std::string linesDir;
    // Where each simulated line's state goes after the command, as DIR/pos-N.json.
    std::string saveLinesDir;

    // Whether the command runs as a station command rather than on one terminal.
    bool Chosen() const {
        return all || positions.size() > 1 || !linesDir.empty() || !saveLinesDir.empty();
    }
};

// The options of one of the station's terminals when count of them run: its position, the port of
// its coupler over --modbus (the address's port plus the coupler's place), its line file
// DIR/pos-N.json from linesDir, and its own log file names when count is above 1. UsageError for a
// port beyond 65535.
SessionOptions StationTerminalOptions(const SessionOptions& options,
                                      const StationTerminal& terminal, const std::string& linesDir,
                                      std::size_t count);

// "3" or "3,5,8": positions 1 to 65535. UsageError otherwise.
std::vector<std::int32_t> ParsePositions(const std::string& text);

// Runs the command on every chosen terminal at the same time. Over --modbus HOST:PORT the
// station's first coupler is at PORT, the next at PORT+1, and so on (as zd4270-sim serves them).
// A word "{pos}" in the command's arguments (a file name) becomes each terminal's position.
// Exit code 0 only when every terminal succeeded, otherwise the highest of theirs.
// execute runs one terminal's part: by default on a session of its own (ExecuteCommand); a served
// line runs it on the session it holds open for the terminal.
using TerminalExecutor = std::function<CommandOutcome(
    const std::string& name, const PreparedCommand& command, const SessionOptions& options,
    std::int32_t position, std::FILE* console)>;
CommandOutcome RunStationCommand(const CommandSyntax& syntax, const CommandArguments& arguments,
                                 const SessionOptions& options, const StationSelection& selection,
                                 std::FILE* err, const TerminalExecutor& execute = {});

}  // namespace zd
