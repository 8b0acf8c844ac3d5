// The line a served page works on: the terminals `zd4270 serve` was started for, each with a
// session held open on a thread of its own for the server's life (one connection, the simulated
// line in memory, the watchdog running between jobs). A request names a command and gives its
// options as a JSON object; the command runs as one job of that session, as `zd4270 COMMAND`
// would, and tells what it shows (progress, the bus monitor's rows) as it goes. A procedure holds
// the line alone; switching, dimming, queries and naming queue behind each other; a test that
// runs in the gear is started and followed between jobs, its result told as an event.
#pragma once

#include <atomic>
#include <condition_variable>
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
    // What happened in the gear on its own, between jobs: a test's result ("type": "gear-test").
    virtual void LineEvent(const Json& /*event*/) {}
};

// Whether a command holds the line alone while it runs (a search, a scan, a transfer, a restore,
// an identify) rather than queueing behind other short jobs.
bool HoldsLine(const std::string& command);
// Whether short jobs may run between the steps of a command that holds the line.
bool LetsShortJobsIn(const std::string& command);

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

    // The name of the command that holds the line now, or none.
    std::optional<std::string> Running() const;
    // The command that would keep this one from starting now (it holds the line), or none. An
    // identify lets short jobs in: naming the luminaire that flashes, switching, queries.
    std::optional<std::string> Refusal(const std::string& command) const;
    // Starts the command as a job of its terminal's session; done is called on the session's
    // thread with the document (the command's exit code in "exitCode") once it has ended. False
    // when a command holds the line, or when a command that would hold it finds other jobs under
    // way.
    bool Start(ServedCommand command, RunListener& listener, std::function<void(Json)> done);
    // Asks the command that holds the line to end as Ctrl-C would end it.
    void Cancel() { m_cancel = true; }
    // Waits for every job under way and queued to end.
    void Join();
    // The tests followed in the gear now, per terminal position.
    Json GearTests() const;
    // The file a download name stands for, or none.
    std::optional<std::filesystem::path> Download(const std::string& name) const;
    // Writes each simulated line where --save-line asked for it (one terminal only), as it
    // stands. Every job that ended has written it already.
    void SaveLines(const std::string& saveLineFile);

  private:
    class Worker;

    Json Run(const ServedCommand& command, RunListener& listener);
    // The document of a command that ran: its exit code, position and downloads added.
    Json Finished(const ServedCommand& command, CommandOutcome outcome) const;
    // The options of a job on the terminal: its own, with the run's hooks.
    SessionOptions JobOptions(const ServedCommand& command, RunListener& listener,
                              TransactionObserver& bus, bool holdsLine);

    std::vector<ServedTerminal> m_terminals;
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::filesystem::path m_stateDir;
    mutable std::mutex m_mutex;
    std::condition_variable m_idle;
    std::optional<std::string> m_running;
    int m_underWay = 0;
    std::map<std::string, std::filesystem::path> m_downloads;
    std::atomic<bool> m_cancel{false};
    std::atomic<RunListener*> m_listener{nullptr};
    std::uint64_t m_fileNumber = 0;
};

}  // namespace zd
