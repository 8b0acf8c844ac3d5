#include "serve/ServedLine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cli/CommandLine.h"
#include "cli/Report.h"
#include "documents/StationDocument.h"
#include "engine/BusLog.h"
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
        // A person reads the page, not a progress line; the frame log and the line file belong
        // to one command each.
        served.quiet = true;
        served.frameLogFile.clear();
        served.saveLineFile.clear();
        if (served.connection.OverModbus()) continue;
        // The simulated line lives on from command to command in its working copy.
        terminal.workingLine =
            m_stateDir / ("line-" + std::to_string(std::max(terminal.position, 0)) + ".json");
        std::filesystem::remove(terminal.workingLine);
        if (served.connection.lineFile)
            std::filesystem::copy_file(*served.connection.lineFile, terminal.workingLine);
        served.saveLineFile = terminal.workingLine.string();
    }
}

ServedLine::~ServedLine() {
    Cancel();
    Join();
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

bool ServedLine::Start(ServedCommand command, RunListener& listener,
                       std::function<void(Json)> done) {
    {
        std::lock_guard lock(m_mutex);
        if (m_running) return false;
        m_running = command.syntax->name;
        for (const auto& [name, path] : command.downloads) m_downloads[name] = path;
    }
    if (m_thread.joinable()) m_thread.join();
    m_cancel = false;
    m_thread = std::thread([this, command = std::move(command), &listener, done]() {
        Json document = Run(command, listener);
        {
            std::lock_guard lock(m_mutex);
            m_running.reset();
        }
        done(std::move(document));
    });
    return true;
}

void ServedLine::Join() {
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
}

std::optional<std::filesystem::path> ServedLine::Download(const std::string& name) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_downloads.find(name);
    if (found == m_downloads.end() || !std::filesystem::exists(found->second)) return std::nullopt;
    return found->second;
}

void ServedLine::SaveLines(const std::string& saveLineFile) const {
    if (saveLineFile.empty() || m_terminals.size() != 1) return;
    const ServedTerminal& terminal = m_terminals.front();
    if (terminal.workingLine.empty() || !std::filesystem::exists(terminal.workingLine)) return;
    std::ifstream in(terminal.workingLine, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WriteFileAtomically(saveLineFile, text);
}

Json ServedLine::Run(const ServedCommand& command, RunListener& listener) {
    const CommandSyntax& syntax = *command.syntax;
    ServedTerminal& terminal = m_terminals.at(command.terminal);
    SessionOptions options = terminal.options;
    if (command.language) options.language = *command.language;
    if (!terminal.workingLine.empty() && std::filesystem::exists(terminal.workingLine)) {
        options.connection.lineFile = terminal.workingLine.string();
        // The working copy is the server's own file: its placement note is no news.
        options.connection.lineFileGiven = false;
    }
    BusRelay bus(listener);
    options.transactionObserver = &bus;
    options.cancelRequested = [this] { return m_cancel.load(); };
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

    // The console's lines (the boxes, notes) are in the document already; they go nowhere else.
    char* consoleText = nullptr;
    std::size_t consoleSize = 0;
    std::FILE* console = open_memstream(&consoleText, &consoleSize);
    CommandOutcome outcome;
    try {
        const PreparedCommand prepared = syntax.prepare(command.arguments);
        if (ReportFileOf(syntax.name, command.arguments)) {
            StationSelection selection;
            if (terminal.position >= 0) selection.positions = {terminal.position};
            if (m_terminals.size() == 1) selection.positions.clear();
            outcome = RunStationCommand(syntax, command.arguments, options, selection, console);
        } else {
            outcome = ExecuteCommand(syntax.name, prepared, options, console);
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
    if (console) std::fclose(console);
    std::free(consoleText);
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
