#include "cli/StationRun.h"

#include <time.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <sstream>
#include <thread>

#include "cli/CommandLine.h"
#include "cli/Report.h"
#include "host/Building.h"
#include "host/ModbusDevCom.h"
#include "host/OffscreenApplication.h"
#include "platform/Error.h"
#include "platform/Interrupt.h"
#include "platform/Utf8.h"

namespace zd {

namespace {

// One terminal's run: what it needs and what it gives back.
struct TerminalJob {
    StationTerminal terminal;
    SessionOptions options;
    PreparedCommand command;
    CommandOutcome outcome;
    std::string console;
    double cpuMs = 0;
};

std::string Substituted(const std::string& text, std::int32_t position) {
    std::string result = text;
    for (std::size_t at = result.find("{pos}"); at != std::string::npos;
         at = result.find("{pos}", at)) {
        result.replace(at, 5, std::to_string(position));
    }
    return result;
}

CommandArguments ArgumentsFor(const CommandArguments& arguments, std::int32_t position) {
    CommandArguments result = arguments;
    for (std::string& word : result.words) word = Substituted(word, position);
    for (auto& [option, value] : result.values) value = Substituted(value, position);
    return result;
}

double ThreadCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Runs on its own thread. Everything the control touches is the job's own; the console lines
// go to a buffer, so that the terminals' lines do not interleave on stderr.
void RunJob(const std::string& name, TerminalJob& job, const TerminalExecutor& execute) {
    const double cpuStart = ThreadCpuMs();
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* console = open_memstream(&buffer, &size);
    try {
        std::FILE* to = console ? console : stderr;
        job.outcome = execute ? execute(name, job.command, job.options, job.terminal.position, to)
                              : ExecuteCommand(name, job.command, job.options, to);
    } catch (const std::exception& error) {
        // ExecuteCommand reports what it can; only a failure to report (out of memory) gets here.
        job.outcome.document = {{"command", name}, {"error", error.what()}};
        job.outcome.exitCode = 1;
    }
    if (console) {
        std::fclose(console);
        job.console.assign(buffer, size);
        std::free(buffer);
    }
    job.cpuMs = ThreadCpuMs() - cpuStart;
}

}  // namespace

std::vector<std::int32_t> ParsePositions(const std::string& text) {
    std::vector<std::int32_t> positions;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        const auto position = ParseNumber(item, 1, 65535, "--pos");
        if (std::find(positions.begin(), positions.end(), position) == positions.end())
            positions.push_back(position);
    }
    if (positions.empty() || text.back() == ',')
        throw UsageError("--pos takes positions N or N,M,..., not \"%1\"", {text});
    return positions;
}

SessionOptions StationTerminalOptions(const SessionOptions& options,
                                      const StationTerminal& terminal, const std::string& linesDir,
                                      std::size_t count) {
    SessionOptions chosen = options;
    ConnectionTarget& connection = chosen.connection;
    connection.position = terminal.position;
    if (count > 1) chosen.logFilePrefix = "pos-" + std::to_string(terminal.position) + ".";
    if (!linesDir.empty()) {
        // A position without its file is on a line without gear.
        const std::string lineFile = LineFileOfPosition(linesDir, terminal.position);
        connection.lineFile =
            std::filesystem::exists(lineFile) ? std::optional<std::string>(lineFile) : std::nullopt;
        connection.lineFileGiven = true;
    }
    if (!options.connection.modbus.empty()) {
        ModbusEndpoint endpoint = ParseModbusEndpoint(options.connection.modbus);
        const int port = endpoint.port + terminal.coupler;
        if (port > 65535) throw UsageError("--modbus: no port for the station's couplers", {});
        endpoint.port = static_cast<std::uint16_t>(port);
        connection.modbus = endpoint.Text();
    }
    return chosen;
}

CommandOutcome RunStationCommand(const CommandSyntax& syntax, const CommandArguments& arguments,
                                 const SessionOptions& options, const StationSelection& selection,
                                 std::FILE* err, const TerminalExecutor& execute) {
    const std::optional<std::string> reportFile = ReportFileOf(syntax.name, arguments);
    const bool report = reportFile.has_value();
    if (!selection.all && selection.positions.empty() && !report)
        throw UsageError("--lines and --save-lines go with --all or --pos N,M,...", {});
    const ReportFormat format =
        report ? ReportFormatOf(*reportFile, arguments) : ReportFormat::Html;
    if (selection.all && !selection.positions.empty())
        throw UsageError("--all and --pos choose terminals both; give one of them", {});
    const ConnectionTarget& connection = options.connection;
    if (connection.OverModbus() && (!selection.linesDir.empty() || !selection.saveLinesDir.empty()))
        throw UsageError("--lines and --save-lines need the simulated lines, not %1",
                         {std::string(connection.ModbusOption())});
    // One terminal (a report without --all or --pos) may keep its line as a single run does.
    if (!options.saveLineFile.empty() && (selection.all || !selection.positions.empty()))
        throw UsageError("--save-line keeps one line; give --save-lines DIR for a station", {});
    if (syntax.name == "settings")
        throw UsageError(
            "settings changes the store that all terminals share: run it once, "
            "without --all or --pos",
            {});

    // The station is read here, before any thread starts: that also initialises the XML parser
    // once, which the threads' own parses then share.
    const StationDocument station = StationDocument::Load(connection.stationFile);
    std::vector<StationTerminal> chosen;
    const std::vector<StationTerminal> terminals = StationZd4270Terminals(station);
    if (selection.all) {
        chosen = terminals;
    } else if (selection.positions.empty()) {
        // One terminal, chosen as a single run chooses it.
        const XmlNode node = station.ChooseTerminal();
        for (const StationTerminal& terminal : terminals)
            if (terminal.node == node) chosen.push_back(terminal);
    } else {
        for (const std::int32_t position : selection.positions) {
            const auto found = std::find_if(terminals.begin(), terminals.end(),
                                            [&](const auto& t) { return t.position == position; });
            if (found == terminals.end()) {
                throw UsageError("the station %1 has no ZD4270 at position %2",
                                 {connection.stationFile, std::to_string(position)});
            }
            chosen.push_back(*found);
        }
    }
    if (chosen.empty())
        throw UsageError("the station %1 has no ZD4270 terminal", {connection.stationFile});
    // One master on a serial line at a time: the terminals' runs, side by side, would talk at once.
    if (!connection.modbusRtu.empty() && chosen.size() > 1)
        throw UsageError(
            "--modbus-rtu reaches one terminal at a time: run each with --pos N by itself", {});
    const bool backup = syntax.name == "backup" || syntax.name == "restore";
    if ((syntax.name.rfind("archive", 0) == 0 || backup) && chosen.size() > 1 &&
        arguments.words.at(0).find("{pos}") == std::string::npos) {
        throw UsageError(backup ? "each terminal needs its own backup: write {pos} into the file "
                                  "name, as in backup-{pos}.json"
                                : "each terminal needs its own archive: write {pos} into the file "
                                  "name, as in archive-{pos}.xml",
                         {});
    }
    // Each terminal's frames go to a file of their own, as its archive does.
    if (!options.frameLogFile.empty() && chosen.size() > 1 &&
        options.frameLogFile.find("{pos}") == std::string::npos) {
        throw UsageError(
            "each terminal needs its own frame log: write {pos} into the file name, as in "
            "frames-{pos}.txt",
            {});
    }
    if (!selection.saveLinesDir.empty())
        std::filesystem::create_directories(selection.saveLinesDir);

    std::vector<TerminalJob> jobs(chosen.size());
    for (std::size_t i = 0; i < chosen.size(); ++i) {
        TerminalJob& job = jobs[i];
        const std::int32_t position = chosen[i].position;
        job.terminal = chosen[i];
        // Checked here, before anything is sent to any terminal.
        job.command = syntax.prepare(ArgumentsFor(arguments, position));
        if (report && syntax.name != "report")
            job.command = FollowedByReport(std::move(job.command), arguments);
        job.options = StationTerminalOptions(options, chosen[i], selection.linesDir, chosen.size());
        // A person cannot follow several progress lines; the document tells the result.
        job.options.quiet = true;
        if (!selection.saveLinesDir.empty())
            job.options.saveLineFile = LineFileOfPosition(selection.saveLinesDir, position);
        job.options.frameLogFile = Substituted(options.frameLogFile, position);
    }

    const auto wallStart = std::chrono::steady_clock::now();
    {
        std::vector<std::jthread> threads;
        threads.reserve(jobs.size());
        for (TerminalJob& job : jobs)
            threads.emplace_back([&syntax, &job, &execute] { RunJob(syntax.name, job, execute); });
    }
    const auto wallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now() - wallStart)
                            .count();

    CommandOutcome result;
    Json entries = Json::array();
    int failed = 0;
    std::int64_t lineTimeMs = 0;
    for (TerminalJob& job : jobs) {
        // Each terminal's console lines in one piece, marked with its position.
        std::stringstream lines(job.console);
        for (std::string line; std::getline(lines, line);)
            std::fprintf(err, "pos %d: %s\n", job.terminal.position, PrintableText(line).c_str());
        Json entry = {{"position", job.terminal.position},
                      {"name", job.terminal.name},
                      {"coupler", job.terminal.couplerName},
                      {"exitCode", job.outcome.exitCode}};
        const ConnectionTarget& jobConnection = job.options.connection;
        if (!jobConnection.modbus.empty()) entry["modbus"] = jobConnection.modbus;
        if (!jobConnection.modbusRtu.empty()) entry["modbusRtu"] = jobConnection.modbusRtu;
        for (auto& [key, value] : job.outcome.document.items())
            if (key != "command") entry[key] = value;
        entry["cpuMs"] = job.cpuMs;
        lineTimeMs = std::max<std::int64_t>(lineTimeMs, entry.value("lineTimeMs", 0));
        if (job.outcome.exitCode != 0) ++failed;
        result.exitCode = std::max(result.exitCode, job.outcome.exitCode);
        entries.push_back(std::move(entry));
    }
    result.document = {{"command", syntax.name},
                       {"station", connection.stationFile},
                       {"terminals", std::move(entries)},
                       {"succeeded", static_cast<int>(jobs.size()) - failed},
                       {"failed", failed},
                       {"lineTimeMs", lineTimeMs},
                       {"wallTimeMs", wallMs}};
    if (const auto name = station.Document().DocumentElement().Attribute("Name"))
        result.document["stationName"] = *name;
    if (report) {
        const std::string& file = *reportFile;
        try {
            // Qt draws the PDF: the command line has no window, and makes its application here.
            std::optional<OffscreenApplication> drawing;
            if (format == ReportFormat::Pdf) drawing.emplace();
            WriteReport(result.document, format, file, options.language);
            result.document["file"] = file;
        } catch (const ControlError& error) {
            std::fprintf(err, "zd4270: %s\n", PrintableText(error.Description()).c_str());
            result.document["reportError"] = error.Description();
            result.exitCode = 1;
        }
    }
    // Every terminal's run was ended by the one signal; the whole run ends with its code.
    if (const int signal = InterruptSignal()) {
        result.document["interrupted"] = true;
        result.exitCode = InterruptExitCode(signal);
    }
    if (failed > 0 && InterruptSignal()) {
        // A signal ends every terminal's run: they were interrupted, not failed.
        result.document["error"] =
            HostText(options.language, "interrupted by %1; %2 of %3 terminals did not finish",
                     {InterruptName(InterruptSignal()), std::to_string(failed),
                      std::to_string(jobs.size())});
    } else if (failed > 0) {
        result.document["error"] = HostText(options.language, "%1 of %2 terminals failed",
                                            {std::to_string(failed), std::to_string(jobs.size())});
    }
    // A report that could not be written fails the run as any other error does.
    if (result.document.contains("reportError") && !result.document.contains("error"))
        result.document["error"] = result.document["reportError"];
    return result;
}

}  // namespace zd
