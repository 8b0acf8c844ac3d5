#include "serve/ServedLine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <future>

#include "cli/CommandLine.h"
#include "cli/EmergencyCommands.h"
#include "cli/Report.h"
#include "engine/BusLog.h"
#include "host/StationDocument.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/RealScheduler.h"
#include "platform/Utf8.h"

namespace zd {

namespace {

// Keys of a request's body that are no option of the command.
constexpr const char* kOwnKeys[] = {"words", "pos", "lang", "backup", "archive"};

// Commands whose first word is a file the command writes, and the extension it gets.
std::optional<std::string> WrittenFileWord(const std::string& command) {
    if (command == "backup") return ".json";
    if (command == "archive upload") return ".xml";
    if (command == "report") return "";
    return std::nullopt;
}

// Options that name a file on the computer that serves the line: a browser names none.
bool IsServerFileOption(const std::string& command, const std::string& option) {
    return option == "--backup" || (option == "--report" && command != "report");
}

double EpochMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string OptionText(const std::string& option, const Json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (value.is_number_integer()) return std::to_string(value.get<long long>());
    if (value.is_number()) return value.dump();
    throw BadRequest("\"" + option.substr(2) + "\" takes a string or a number");
}

// The bus monitor of one run: every transaction as the window's bus monitor shows it, passed on
// in batches with the last row again (its answer may have come since).
class BusRelay : public TransactionObserver {
  public:
    explicit BusRelay(RunListener& listener) : m_log(m_clock, 2000), m_listener(listener) {}

    void Observe(const Transaction& transaction) override {
        m_log.Observe(transaction);
        const auto now = std::chrono::steady_clock::now();
        if (now - m_lastSent >= std::chrono::milliseconds(100)) Flush();
    }

    void Flush() {
        m_lastSent = std::chrono::steady_clock::now();
        const std::uint64_t end = m_log.FirstNumber() + m_log.Entries().size();
        if (end == 0) return;
        std::uint64_t from = m_sent == 0 ? 0 : m_sent - 1;
        // A browser shows the newest few hundred; a fast simulated run makes thousands.
        if (end - from > 300) from = end - 300;
        from = std::max(from, m_log.FirstNumber());
        Json rows = Json::array();
        for (std::uint64_t n = from; n < end; ++n) {
            const BusEntry* entry = m_log.Entry(n);
            if (!entry) continue;
            Json row = {{"n", n}};
            static const char* const kColumns[kBusColumnCount] = {
                "time", "address", "command", "word", "result", "answer", "meaning"};
            for (int column = 0; column < kBusColumnCount; ++column)
                row[kColumns[column]] = ValidUtf8(BusColumnText(*entry, column));
            rows.push_back(std::move(row));
        }
        m_sent = end;
        if (!rows.empty()) m_listener.BusRows(rows);
    }

  private:
    RealScheduler m_clock;
    BusLog m_log;
    RunListener& m_listener;
    std::uint64_t m_sent = 0;
    std::chrono::steady_clock::time_point m_lastSent{};
};

}  // namespace

// One terminal's session, held open on a thread of its own: jobs run one after the other, and
// between them the session's clock runs (the watchdog) and the tests in the gear are followed.
class ServedLine::Worker {
  public:
    Worker(ServedLine& line, const ServedTerminal& terminal)
        : m_line(line),
          m_terminal(terminal),
          m_console(std::fopen("/dev/null", "w")),
          m_virtual(!terminal.options.connection.OverModbus() &&
                    !terminal.options.realTimeSimulation),
          m_thread([this] { Loop(); }) {}

    ~Worker() {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
        if (m_console) std::fclose(m_console);
    }

    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void Post(std::function<void()> job) {
        {
            std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
        }
        m_wake.notify_all();
    }

    // On the worker's thread: the command as one job of the session.
    CommandOutcome Run(const std::string& name, const PreparedCommand& prepared,
                       const SessionOptions& options) {
        if (!LetsShortJobsIn(name)) return RunJob(name, prepared, options, false);
        // Short jobs that come meanwhile run between its steps.
        SessionOptions letting = options;
        letting.betweenSteps = [this] { RunBetween(); };
        {
            std::lock_guard lock(m_mutex);
            m_letsIn = true;
        }
        CommandOutcome outcome;
        try {
            outcome = RunJob(name, prepared, letting, false);
        } catch (...) {
            StopLettingIn();
            throw;
        }
        StopLettingIn();
        return outcome;
    }

    // A short job for a procedure that lets it in, run between two of its steps; false when no
    // such procedure runs (the job goes into the queue then).
    bool PostBetween(const std::string& name, const PreparedCommand& prepared,
                     const SessionOptions& options, std::function<void(CommandOutcome)> done) {
        std::lock_guard lock(m_mutex);
        if (!m_letsIn) return false;
        m_between.push_back([this, name, prepared, options, done = std::move(done)] {
            const HeadlessSession::JobState outer = m_session->SaveJob();
            CommandOutcome outcome = RunJob(name, prepared, options, true);
            m_session->RestoreJob(outer);
            done(std::move(outcome));
        });
        return true;
    }

  private:
    CommandOutcome RunJob(const std::string& name, const PreparedCommand& prepared,
                          const SessionOptions& options, bool betweenSteps) {
        CommandOutcome outcome = ExecuteOnSession(name, prepared, options, m_session,
                                                  m_console ? m_console : stderr, betweenSteps);
        if (m_session) {
            // The job's hooks go with the job.
            SessionOptions& held = m_session->JobOptions();
            held.progressObserver = {};
            held.transactionObserver = nullptr;
            held.cancelRequested = {};
            const std::int32_t position = m_terminal.position;
            m_session->SetGearTestObserver([this, position](const Json& result) {
                // Whoever hears of the end finds the test gone from the list.
                {
                    const Json tests = m_session->GearTests();
                    std::lock_guard lock(m_mutex);
                    m_gearTests = tests;
                }
                if (RunListener* listener = m_line.m_listener.load())
                    listener->LineEvent(
                        {{"type", "gear-test"}, {"position", position}, {"document", result}});
            });
        }
        return outcome;
    }

    void RunBetween() {
        if (m_inBetween || !m_session) return;
        m_inBetween = true;
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(m_mutex);
                if (m_between.empty()) break;
                job = std::move(m_between.front());
                m_between.pop_front();
            }
            job();
        }
        m_inBetween = false;
    }

    // The jobs that came after the last step are run next, before anything queued after them.
    void StopLettingIn() {
        std::lock_guard lock(m_mutex);
        m_letsIn = false;
        while (!m_between.empty()) {
            m_jobs.push_front(std::move(m_between.back()));
            m_between.pop_back();
        }
    }

  public:
    // From another thread: the command run on the worker's thread, waited for.
    CommandOutcome Execute(const std::string& name, const PreparedCommand& prepared,
                           const SessionOptions& options) {
        std::promise<CommandOutcome> result;
        Post([&] { result.set_value(Run(name, prepared, options)); });
        return result.get_future().get();
    }

    // From another thread: call on the worker's thread with the session (null while none is
    // open), waited for.
    void Call(const std::function<void(std::unique_ptr<HeadlessSession>&)>& call) {
        std::promise<void> done;
        std::exception_ptr failure;
        Post([&] {
            try {
                call(m_session);
            } catch (...) {
                failure = std::current_exception();
            }
            done.set_value();
        });
        done.get_future().get();
        if (failure) std::rethrow_exception(failure);
    }

    Json GearTests() const {
        std::lock_guard lock(m_mutex);
        return m_gearTests;
    }

  private:
    void Loop() {
        for (;;) {
            std::function<void()> job;
            {
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, IdleWait(), [&] { return m_stop || !m_jobs.empty(); });
                if (!m_jobs.empty()) {
                    job = std::move(m_jobs.front());
                    m_jobs.pop_front();
                } else if (m_stop) {
                    break;
                }
            }
            if (job)
                job();
            else
                Idle();
            const Json tests = m_session ? m_session->GearTests() : Json::array();
            std::lock_guard lock(m_mutex);
            m_gearTests = tests;
        }
        // The terminal is closed on the thread that used it.
        m_session.reset();
    }

    // How long the thread waits for a job before the session's clock runs again.
    std::chrono::milliseconds IdleWait() const {
        if (!m_session) return std::chrono::milliseconds(1000);
        // The watchdog every half second; a test's polls on virtual time come at once.
        if (!m_virtual) return std::chrono::milliseconds(100);
        return m_session->NextGearPollMs() ? std::chrono::milliseconds(1)
                                           : std::chrono::milliseconds(1000);
    }

    void Idle() {
        if (!m_session) return;
        try {
            Scheduler& clock = m_session->Clock();
            if (m_virtual) {
                // Virtual time passes only while something waits for it: the next poll of a test.
                const auto next = m_session->NextGearPollMs();
                if (!next) return;
                const std::int64_t wait = std::max<std::int64_t>(*next - clock.Now(), 0);
                clock.RunUntil([] { return false; }, wait);
            } else {
                clock.DoEvents();
            }
            m_session->WatchGearTests();
        } catch (const std::exception&) {
            // A failing poll or watchdog write: the link marks itself lost, and the next job
            // tells what failed.
        }
    }

    ServedLine& m_line;
    const ServedTerminal& m_terminal;
    std::FILE* m_console;
    const bool m_virtual;
    std::unique_ptr<HeadlessSession> m_session;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    // Short jobs waiting for the next step of a procedure that lets them in.
    std::deque<std::function<void()>> m_between;
    bool m_letsIn = false;
    bool m_inBetween = false;
    bool m_stop = false;
    Json m_gearTests = Json::array();
    // Last: it starts running at once.
    std::thread m_thread;
};

namespace {

// The command ready to run on a session held open: a test that runs in the gear is started and
// followed by the session, not waited for. Throws UsageError as the command line does.
PreparedCommand PreparedForSession(const ServedCommand& command) {
    if (command.syntax->name == "emergency test")
        return PrepareEmergencyTestInGear(command.arguments);
    return command.syntax->prepare(command.arguments);
}

}  // namespace

bool LetsShortJobsIn(const std::string& command) {
    return command == "identify";
}

bool HoldsLine(const std::string& command) {
    static const char* const kShortJobs[] = {
        "send",   "query",   "variables",        "groups",         "scenes",
        "status", "colour",  "emergency status", "emergency test", "emergency timing",
        "name",   "options", "settings"};
    return std::none_of(std::begin(kShortJobs), std::end(kShortJobs),
                        [&](const char* job) { return command == job; });
}

const CommandSyntax* CommandOfPath(const std::string& path) {
    std::string name = path;
    std::replace(name.begin(), name.end(), '/', ' ');
    for (const CommandSyntax& syntax : CommandTable())
        if (syntax.name == name) return &syntax;
    return nullptr;
}

ServedLine::ServedLine(const SessionOptions& options, const StationSelection& selection,
                       std::filesystem::path stateDir)
    : m_stateDir(std::move(stateDir)) {
    std::filesystem::create_directories(m_stateDir);
    const ConnectionTarget& connection = options.connection;
    std::vector<StationTerminal> chosen;
    if (selection.all || !selection.positions.empty()) {
        if (selection.all && !selection.positions.empty())
            throw UsageError("--all and --pos choose terminals both; give one of them");
        const StationDocument station = StationDocument::Load(connection.stationFile);
        for (const StationTerminal& terminal : StationZd4270Terminals(station)) {
            const auto& wanted = selection.positions;
            if (selection.all ||
                std::find(wanted.begin(), wanted.end(), terminal.position) != wanted.end())
                chosen.push_back(terminal);
        }
        for (const std::int32_t position : selection.positions)
            if (std::none_of(chosen.begin(), chosen.end(),
                             [&](const auto& t) { return t.position == position; }))
                throw UsageError("the station " + connection.stationFile +
                                 " has no ZD4270 at position " + std::to_string(position));
        if (chosen.empty())
            throw UsageError("the station " + connection.stationFile + " has no ZD4270 terminal");
        if (!connection.modbusRtu.empty() && chosen.size() > 1)
            throw UsageError(
                "--modbus-rtu reaches one terminal at a time: serve each with --pos N by itself");
    }
    if (chosen.empty()) {
        ServedTerminal terminal;
        terminal.position = connection.PositionOrFirst();
        terminal.options = options;
        m_terminals.push_back(std::move(terminal));
    }
    for (const StationTerminal& station : chosen) {
        ServedTerminal terminal;
        terminal.position = station.position;
        terminal.name = station.name;
        terminal.options =
            StationTerminalOptions(options, station, selection.linesDir, chosen.size());
        m_terminals.push_back(std::move(terminal));
    }
    for (ServedTerminal& terminal : m_terminals) {
        SessionOptions& served = terminal.options;
        // A person reads the page, not a progress line; the frame log belongs to one command.
        served.quiet = true;
        served.frameLogFile.clear();
        // The simulated line lives in memory; with one terminal it is written where --save-line
        // asks after every job.
        if (m_terminals.size() > 1) served.saveLineFile.clear();
    }
    for (ServedTerminal& terminal : m_terminals)
        m_workers.push_back(std::make_unique<Worker>(*this, terminal));
}

ServedLine::~ServedLine() {
    Cancel();
    Join();
    m_workers.clear();
}

ServedCommand ServedLine::Prepare(const CommandSyntax& syntax, const std::string& body) {
    Json request = Json::object();
    if (!body.empty()) {
        try {
            request = Json::parse(body);
        } catch (const Json::parse_error& error) {
            throw BadRequest(std::string("the body is no JSON: ") + error.what());
        }
    }
    if (!request.is_object()) throw BadRequest("the body must be a JSON object");
    ServedCommand command;
    command.syntax = &syntax;
    CommandArguments& arguments = command.arguments;
    auto listed = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (const auto& [key, value] : request.items()) {
        if (std::find(std::begin(kOwnKeys), std::end(kOwnKeys), key) != std::end(kOwnKeys))
            continue;
        const std::string option = "--" + key;
        if (IsServerFileOption(syntax.name, option)) {
            if (option == "--report") continue;
            throw BadRequest("\"" + key + "\" names a file on the server; give its content");
        }
        if (listed(syntax.flags, option)) {
            if (!value.is_boolean()) throw BadRequest("\"" + key + "\" takes true or false");
            if (value.get<bool>()) arguments.flags.insert(option);
        } else if (listed(syntax.valueOptions, option)) {
            arguments.values[option] = OptionText(option, value);
        } else {
            throw BadRequest(syntax.name + " has no option \"" + key + "\"");
        }
    }
    if (request.contains("words")) {
        const Json& words = request["words"];
        if (!words.is_array()) throw BadRequest("\"words\" takes an array");
        for (const Json& word : words) arguments.words.push_back(OptionText("--words", word));
    }
    if (request.contains("lang")) {
        const Json& lang = request["lang"];
        if (lang != "en" && lang != "de") throw BadRequest("\"lang\" takes \"en\" or \"de\"");
        command.language = lang == "de" ? Language::German : Language::English;
    }
    if (request.contains("pos")) {
        const Json& pos = request["pos"];
        if (!pos.is_number_integer()) throw BadRequest("\"pos\" takes a terminal's position");
        const auto found = std::find_if(m_terminals.begin(), m_terminals.end(),
                                        [&](const auto& t) { return t.position == pos; });
        if (found == m_terminals.end())
            throw BadRequest("no terminal at position " + pos.dump() + " is served");
        command.terminal = static_cast<std::size_t>(found - m_terminals.begin());
    }

    // The files of the command live on the serving computer, under names the server makes.
    const std::uint64_t number = ++m_fileNumber;
    auto serverFile = [&](const std::string& stem, const std::string& extension) {
        return m_stateDir / (stem + "-" + std::to_string(number) + extension);
    };
    if (const auto extension = WrittenFileWord(syntax.name)) {
        if (!arguments.words.empty())
            throw BadRequest(syntax.name + " writes its file on the server: give no \"words\"");
        std::string ext = *extension;
        if (ext.empty())
            ext = arguments.Value("--format").value_or("html") == "pdf" ? ".pdf" : ".html";
        const std::string stem = syntax.name == "archive upload" ? "archive" : syntax.name;
        const auto file = serverFile(stem, ext);
        arguments.words.push_back(file.string());
        command.downloads.emplace_back(file.filename().string(), file);
    }
    if (request.contains("report") && syntax.name != "report") {
        const Json& format = request["report"];
        if (format != "html" && format != "pdf")
            throw BadRequest("\"report\" takes \"html\" or \"pdf\"");
        const auto file = serverFile("report", "." + format.get<std::string>());
        arguments.values["--report"] = file.string();
        command.downloads.emplace_back(file.filename().string(), file);
    }
    auto readFile = [&](const std::string& key, const std::string& extension) {
        if (!request.contains(key)) throw BadRequest(syntax.name + " needs \"" + key + "\"");
        const Json& content = request[key];
        const auto file = serverFile(key, extension);
        WriteFileAtomically(file.string(),
                            content.is_string() ? content.get<std::string>() : content.dump(2));
        return file.string();
    };
    if (syntax.name == "restore" || syntax.name == "archive download") {
        if (!arguments.words.empty())
            throw BadRequest(syntax.name + " reads its file from the body: give no \"words\"");
        arguments.words.push_back(syntax.name == "restore" ? readFile("backup", ".json")
                                                           : readFile("archive", ".xml"));
    }
    if (syntax.name == "replace" && request.contains("backup"))
        arguments.values["--backup"] = readFile("backup", ".json");

    if (arguments.words.size() < syntax.minWords || arguments.words.size() > syntax.maxWords)
        throw UsageError(syntax.name + " takes " + std::to_string(syntax.minWords) + " to " +
                         std::to_string(syntax.maxWords) + " word(s) in \"words\"");
    return command;
}

std::optional<std::string> ServedLine::Running() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

std::optional<std::string> ServedLine::Refusal(const std::string& command) const {
    std::lock_guard lock(m_mutex);
    if (!m_running || (LetsShortJobsIn(*m_running) && !HoldsLine(command))) return std::nullopt;
    return m_running;
}

bool ServedLine::Start(ServedCommand command, RunListener& listener,
                       std::function<void(Json)> done) {
    const std::string name = command.syntax->name;
    const bool holds = HoldsLine(name) || ReportFileOf(name, command.arguments).has_value();
    {
        std::lock_guard lock(m_mutex);
        const bool lettingIn = m_running && LetsShortJobsIn(*m_running) && !holds;
        if ((m_running && !lettingIn) || (holds && m_underWay > 0)) return false;
        if (holds) m_running = name;
        ++m_underWay;
        for (const auto& [file, path] : command.downloads) m_downloads[file] = path;
    }
    if (holds) m_cancel = false;
    m_listener = &listener;
    auto finish = [this, done = std::move(done), holds](Json document) {
        {
            std::lock_guard lock(m_mutex);
            if (holds) m_running.reset();
            --m_underWay;
        }
        m_idle.notify_all();
        done(std::move(document));
    };
    if (ReportFileOf(name, command.arguments)) {
        // A report reads every terminal it names at once, each on its own session's thread; a
        // thread of its own gathers them.
        std::thread([this, command = std::move(command), &listener, finish]() mutable {
            finish(Run(command, listener));
        }).detach();
        return true;
    }
    Worker& worker = *m_workers.at(command.terminal);
    if (!holds) {
        // A short job during an identify runs between its steps; the job's hooks live with it.
        auto job = std::make_shared<ServedCommand>(command);
        auto bus = std::make_shared<BusRelay>(listener);
        const SessionOptions options = JobOptions(*job, listener, *bus, false);
        const std::string jobName = name;
        PreparedCommand prepared;
        try {
            prepared = PreparedForSession(command);
        } catch (const std::exception&) {
            // Refused as it is prepared: the queue's run tells the reason.
        }
        if (prepared && worker.PostBetween(jobName, prepared, options,
                                           [this, job, bus, finish](CommandOutcome outcome) {
                                               bus->Flush();
                                               finish(Finished(*job, std::move(outcome)));
                                           }))
            return true;
    }
    worker.Post([this, command = std::move(command), &listener, finish]() mutable {
        finish(Run(command, listener));
    });
    return true;
}

void ServedLine::Join() {
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return m_underWay == 0; });
}

Json ServedLine::GearTests() const {
    Json tests = Json::object();
    for (std::size_t i = 0; i < m_workers.size(); ++i)
        tests[std::to_string(m_terminals[i].position)] = m_workers[i]->GearTests();
    return tests;
}

std::optional<std::filesystem::path> ServedLine::Download(const std::string& name) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_downloads.find(name);
    if (found == m_downloads.end() || !std::filesystem::exists(found->second)) return std::nullopt;
    return found->second;
}

void ServedLine::SaveLines(const std::string& saveLineFile) {
    if (saveLineFile.empty() || m_terminals.size() != 1) return;
    m_workers.front()->Call([&](std::unique_ptr<HeadlessSession>& session) {
        if (session) session->SaveLineTo(saveLineFile);
    });
}

SessionOptions ServedLine::JobOptions(const ServedCommand& command, RunListener& listener,
                                      TransactionObserver& bus, bool holdsLine) {
    const CommandSyntax& syntax = *command.syntax;
    SessionOptions options = m_terminals.at(command.terminal).options;
    if (command.language) options.language = *command.language;
    options.transactionObserver = &bus;
    // The page's Cancel ends what holds the line; a short job is over before anyone could.
    if (holdsLine) options.cancelRequested = [this] { return m_cancel.load(); };
    options.progressObserver = [&listener, &syntax](HeadlessSession& session,
                                                    const ProgressState& state,
                                                    std::int64_t elapsedMs) {
        Json event = {{"type", "progress"},
                      {"command", syntax.name},
                      {"what", ValidUtf8(state.what)},
                      {"detail", ValidUtf8(state.detail)},
                      {"text", ValidUtf8(ProgressText(state, elapsedMs))},
                      {"elapsedMs", elapsedMs},
                      {"reportedAt", EpochMs()}};
        event["fraction"] = state.fraction ? Json(*state.fraction) : Json(nullptr);
        // The lamps addressed so far: the device list as the run has it now.
        Json addresses = Json::array();
        if (const auto& devices = session.State().devices)
            for (const auto& [key, device] : devices->Items())
                addresses.push_back(device->m_nShortAddress);
        std::sort(addresses.begin(), addresses.end());
        event["addresses"] = std::move(addresses);
        listener.Progress(event);
    };
    return options;
}

Json ServedLine::Run(const ServedCommand& command, RunListener& listener) {
    const CommandSyntax& syntax = *command.syntax;
    const ServedTerminal& terminal = m_terminals.at(command.terminal);
    const bool report = ReportFileOf(syntax.name, command.arguments).has_value();
    BusRelay bus(listener);
    const SessionOptions options =
        JobOptions(command, listener, bus, report || HoldsLine(syntax.name));

    CommandOutcome outcome;
    try {
        const PreparedCommand prepared = PreparedForSession(command);
        if (report) {
            StationSelection selection;
            if (terminal.position >= 0) selection.positions = {terminal.position};
            if (m_terminals.size() == 1) selection.positions.clear();
            // Each terminal's part runs on its own session, with this run's hooks.
            const TerminalExecutor execute =
                [this, &options](const std::string& name, const PreparedCommand& part,
                                 const SessionOptions&, std::int32_t position, std::FILE*) {
                    const auto found =
                        std::find_if(m_terminals.begin(), m_terminals.end(),
                                     [&](const auto& t) { return t.position == position; });
                    const std::size_t index =
                        found == m_terminals.end()
                            ? 0
                            : static_cast<std::size_t>(found - m_terminals.begin());
                    SessionOptions partOptions = m_terminals[index].options;
                    partOptions.language = options.language;
                    partOptions.transactionObserver = options.transactionObserver;
                    partOptions.cancelRequested = options.cancelRequested;
                    partOptions.progressObserver = options.progressObserver;
                    return m_workers[index]->Execute(name, part, partOptions);
                };
            // The terminals' console lines are in the document already.
            std::FILE* discard = std::fopen("/dev/null", "w");
            try {
                outcome = RunStationCommand(syntax, command.arguments, options, selection,
                                            discard ? discard : stderr, execute);
            } catch (...) {
                if (discard) std::fclose(discard);
                throw;
            }
            if (discard) std::fclose(discard);
        } else {
            outcome = m_workers.at(command.terminal)->Run(syntax.name, prepared, options);
        }
    } catch (const UsageError& error) {
        outcome.document = {{"command", syntax.name}, {"error", error.what()}};
        outcome.exitCode = 2;
    } catch (const ControlError& error) {
        outcome.document = {{"command", syntax.name}, {"error", error.Description()}};
        outcome.exitCode = 1;
    } catch (const std::exception& error) {
        outcome.document = {{"command", syntax.name}, {"error", error.what()}};
        outcome.exitCode = 1;
    }
    bus.Flush();
    return Finished(command, std::move(outcome));
}

Json ServedLine::Finished(const ServedCommand& command, CommandOutcome outcome) const {
    const ServedTerminal& terminal = m_terminals.at(command.terminal);
    Json document = std::move(outcome.document);
    document["exitCode"] = outcome.exitCode;
    if (m_terminals.size() > 1 || terminal.position >= 0) document["position"] = terminal.position;
    Json downloads = Json::array();
    for (const auto& [name, path] : command.downloads)
        if (std::filesystem::exists(path)) downloads.push_back("/download/" + name);
    if (!downloads.empty()) document["downloads"] = std::move(downloads);
    return document;
}

}  // namespace zd
