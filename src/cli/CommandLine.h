// The command line of zd4270: the options every run shares, the headless commands each printing
// one JSON document, the demonstration, and the window when no command is given.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "cli/HeadlessCommands.h"
#include "cli/Session.h"

namespace zd {

// Opens the window for the options, or gives nothing when there is no display.
using WindowRunner = std::function<std::optional<int>(const SessionOptions&)>;

// Runs argv (argv[0] is the program) with defaults for the options not given. A command prints its
// JSON document on out, the boxes the control shows on err. Returns the exit code: 0 done, 1 the
// command or its files failed, 2 the command line is wrong.
int RunCommandLine(int argc, const char* const* argv, const SessionOptions& defaults,
                   std::FILE* out, std::FILE* err, const WindowRunner& window = {});

void PrintUsage(std::FILE* out);

// A command's document and exit code, nothing printed but the console's lines on err.
struct CommandOutcome {
    Json document;
    int exitCode = 0;
};

// Runs a prepared command on the terminal the options name, as RunCommandLine does.
CommandOutcome ExecuteCommand(const std::string& name, const PreparedCommand& command,
                              const SessionOptions& options, std::FILE* err);

}  // namespace zd
