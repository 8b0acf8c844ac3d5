// The command line of zd4270: the options every run shares, the headless commands each printing
// one JSON document, the demonstration, and the window when no command is given.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/HeadlessCommands.h"
#include "cli/Session.h"
#include "cli/StationRun.h"

namespace zd {

// Opens the window for the options, or gives nothing when there is no display.
using WindowRunner = std::function<std::optional<int>(const SessionOptions&)>;

// The port `zd4270 serve` listens on unless --listen says otherwise.
inline constexpr int kServePort = 4270;

// The options of `zd4270 serve`.
struct ServeArguments {
    std::string listen = "127.0.0.1:" + std::to_string(kServePort);
    std::string tlsCert;
    std::string tlsKey;
    // Host names a request may give for the server besides its addresses (a DNS name of the
    // computer, say).
    std::vector<std::string> allowedHosts;
    // The simulated line runs as fast as it can, as for a command, rather than in real time.
    bool virtualTime = false;
};

// A command line as read and checked, before any file is opened or anything is sent.
struct ParsedCommandLine {
    SessionOptions options;
    bool help = false;
    // With help: the words whose help is asked for; none for the usage text.
    std::optional<std::vector<std::string>> helpTopic;
    // The command's name ("scan", "address random", ...), "demo", "serve", or empty for the
    // window.
    std::string command;
    // The command ready to run; empty for the window and the demonstration.
    PreparedCommand prepared;
    // The command's syntax and arguments, for a run over several terminals of the station.
    const CommandSyntax* syntax = nullptr;
    CommandArguments arguments;
    StationSelection station;
    ServeArguments serve;
};

struct ParsedCommandLine;
// Serves the line (`zd4270 serve`); returns the exit code.
using ServeRunner = std::function<int(const ParsedCommandLine&)>;

// Reads argv (argv[0] is the program) as RunCommandLine does and runs nothing; parsed.options
// starts from the defaults given in it. Throws UsageError for a command line that cannot be run
// as written; parsed.command is set as soon as the command is known, so the error can name it.
void ParseCommandLine(int argc, const char* const* argv, ParsedCommandLine& parsed);

// Runs argv (argv[0] is the program) with defaults for the options not given. A command prints its
// JSON document on out, the boxes the control shows on err. Returns the exit code: 0 done, 1 the
// command or its files failed, 2 the command line is wrong.
int RunCommandLine(int argc, const char* const* argv, const SessionOptions& defaults,
                   std::FILE* out, std::FILE* err, const WindowRunner& window = {},
                   const ServeRunner& serve = {});

// The usage text: every command, the options every run takes, the exit codes.
void PrintUsage(std::FILE* out, Language language = Language::English);

// Runs a prepared command on the terminal the options name, as RunCommandLine does.
CommandOutcome ExecuteCommand(const std::string& name, const PreparedCommand& command,
                              const SessionOptions& options, std::FILE* err);
// Runs a prepared command as one job of a session held open in session: the terminal is opened
// for the first job (and again after a job whose opening failed or whose words could not be the
// terminal's) and stays open; each job brings its own hooks in options (language, progress, bus
// monitor, cancel). err: the console of the session's life. betweenSteps: the job runs between
// two steps of another job on the same session, which must go on with it: the session is never
// dropped then (the other job's end tells what went wrong).
CommandOutcome ExecuteOnSession(const std::string& name, const PreparedCommand& command,
                                const SessionOptions& options,
                                std::unique_ptr<HeadlessSession>& session, std::FILE* err,
                                bool betweenSteps = false);

}  // namespace zd
