// The line a served page works on: the terminals `zd4270 serve` was started for, each with the
// options a command line would give it, and the one command that runs at a time. A request names
// a command and gives its options as a JSON object; the command runs on a thread of its own, as
// `zd4270 COMMAND` would, and tells what it shows (progress, the bus monitor's rows) as it goes.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/HeadlessCommands.h"
#include "cli/Session.h"
#include "cli/StationRun.h"

namespace zd {

// A request that cannot be run as given: HTTP 400 with the text.
class BadRequest : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One terminal the server serves.
struct ServedTerminal {
    std::int32_t position = -1;
    std::string name;
    SessionOptions options;
    // The simulated line's state between two commands; empty over Modbus.
    std::filesystem::path workingLine;
};

// A command as the request gave it, checked and ready to run.
struct ServedCommand {
    const CommandSyntax* syntax = nullptr;
    CommandArguments arguments;
    std::size_t terminal = 0;
    std::optional<Language> language;
    // Files the command writes that a browser may download afterwards: the name it is offered
    // under, and where it lies.
    std::vector<std::pair<std::string, std::filesystem::path>> downloads;
};

// What goes on while a command runs, told on the command's thread.
class RunListener {
  public:
    virtual ~RunListener() = default;
    virtual void Progress(const Json& event) = 0;
    virtual void BusRows(const Json& rows) = 0;
};

// The command names the page's address gives: "/api/address/random" is "address random".
const CommandSyntax* CommandOfPath(const std::string& path);

class ServedLine {
  public:
    // The terminals of the selection (one without --all or --pos N,M), each with its working
    // copy of its simulated line in stateDir. Throws UsageError as a station command does.
    ServedLine(const SessionOptions& options, const StationSelection& selection,
               std::filesystem::path stateDir);
    ~ServedLine();
    ServedLine(const ServedLine&) = delete;
    ServedLine& operator=(const ServedLine&) = delete;

    const std::vector<ServedTerminal>& Terminals() const { return m_terminals; }

    // Reads a request's body (a JSON object, possibly empty) for the command: "words", the
    // command's options by their names without "--" (a value as a string or number, a flag as
    // true or false), "pos" for the terminal, "lang", and the files the command reads ("backup",
    // "archive"). Files the command writes are made in the state folder and offered for
    // download. Throws BadRequest for what no command line could say, UsageError for what the
    // command refuses (its document, exit code 2).
    ServedCommand Prepare(const CommandSyntax& syntax, const std::string& body);

    // The name of the command under way, or none.
    std::optional<std::string> Running() const;
    // Starts the command on its own thread; done is called on that thread with the document
    // (the command's exit code in "exitCode") once it has ended. False when a command runs.
    bool Start(ServedCommand command, RunListener& listener, std::function<void(Json)> done);
    // Asks the command under way to end as Ctrl-C would end it.
    void Cancel() { m_cancel = true; }
    // Waits for the command under way to end.
    void Join();
    // The file a download name stands for, or none.
    std::optional<std::filesystem::path> Download(const std::string& name) const;
    // Writes each simulated line where --save-line asked for it (one terminal only).
    void SaveLines(const std::string& saveLineFile) const;

  private:
    Json Run(const ServedCommand& command, RunListener& listener);

    std::vector<ServedTerminal> m_terminals;
    std::filesystem::path m_stateDir;
    mutable std::mutex m_mutex;
    std::optional<std::string> m_running;
    std::map<std::string, std::filesystem::path> m_downloads;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
    std::uint64_t m_fileNumber = 0;
};

}  // namespace zd
