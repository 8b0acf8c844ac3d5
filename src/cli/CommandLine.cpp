#include "cli/CommandLine.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/CommandHelp.h"
#include "cli/Demo.h"
#include "cli/DeviceCommands.h"
#include "cli/HeadlessCommands.h"
#include "cli/Report.h"
#include "cli/SiteCommands.h"
#include "cli/StationRun.h"
#include "documents/Building.h"
#include "documents/StationDocument.h"
#include "link/Link.h"
#include "platform/Error.h"
#include "platform/Interrupt.h"
#include "platform/Utf8.h"
#include "transport/ModbusDevCom.h"

namespace zd {

namespace {

// The options and words of a command line, before the command looks at its own.
struct Invocation {
    SessionOptions options;
    StationSelection station;
    bool help = false;
    std::vector<std::string> rest;
};

// The value after the option at i; an option in its place means the value was left out
// ("--line --registry x.ini" would otherwise read a file named "--registry").
const std::string& OptionValue(const std::vector<std::string>& args, std::size_t& i) {
    const std::string& option = args[i];
    if (i + 1 >= args.size()) throw UsageError("%1 needs a value", {option});
    const std::string& value = args[i + 1];
    if (value.size() > 2 && value.rfind("--", 0) == 0)
        throw UsageError("%1 needs a value, not the option %2", {option, value});
    return args[++i];
}

Invocation ParseInvocation(const std::vector<std::string>& args, const SessionOptions& defaults) {
    Invocation invocation;
    invocation.options = defaults;
    SessionOptions& options = invocation.options;
    ConnectionTarget& connection = options.connection;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&]() -> const std::string& { return OptionValue(args, i); };
        if (arg == "--station" || arg == "--pos" || arg == "--line" || arg == "--modbus" ||
            arg == "--modbus-rtu")
            options.connectionChosen = true;
        if (arg == "-h" || arg == "--help") {
            invocation.help = true;
        } else if (arg == "--station") {
            connection.stationFile = value();
        } else if (arg == "--pos") {
            invocation.station.positions = ParsePositions(value());
            connection.position = invocation.station.positions.front();
        } else if (arg == "--all") {
            invocation.station.all = true;
        } else if (arg == "--lines") {
            invocation.station.linesDir = value();
        } else if (arg == "--save-lines") {
            invocation.station.saveLinesDir = value();
        } else if (arg == "--line") {
            connection.lineFile = value();
            connection.lineFileGiven = true;
        } else if (arg == "--modbus") {
            connection.modbus = value();
        } else if (arg == "--modbus-rtu") {
            connection.modbusRtu = value();
        } else if (arg == "--save-line") {
            options.saveLineFile = value();
        } else if (arg == "--frame-log") {
            options.frameLogFile = value();
        } else if (arg == "--registry") {
            connection.registryFile = value();
        } else if (arg == "--site") {
            connection.siteFile = value();
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--lang") {
            const std::string& lang = value();
            if (lang != "en" && lang != "de") throw UsageError("--lang takes en or de", {});
            options.language = lang == "de" ? Language::German : Language::English;
            options.languageChosen = true;
        } else {
            invocation.rest.push_back(arg);
        }
    }
    return invocation;
}

// The command named by the first one or two words; its arguments are the words after the name.
const CommandSyntax& FindCommand(const std::vector<std::string>& rest, std::size_t& nameWords) {
    for (const CommandSyntax& syntax : CommandTable()) {
        const bool twoWords = syntax.name.find(' ') != std::string::npos;
        if (twoWords && rest.size() >= 2 && rest[0] + " " + rest[1] == syntax.name) {
            nameWords = 2;
            return syntax;
        }
        if (!twoWords && rest[0] == syntax.name) {
            nameWords = 1;
            return syntax;
        }
    }
    if (rest[0] == "address" || rest[0] == "archive" || rest[0] == "emergency") {
        throw UsageError(rest[0] == "address"   ? "address needs random, physical, single or change"
                         : rest[0] == "archive" ? "archive needs upload or download"
                                                : "emergency needs status, test or timing",
                         {});
    }
    throw UsageError("unknown command \"%1\"", {rest[0]});
}

CommandArguments ParseArguments(const CommandSyntax& syntax, const std::vector<std::string>& rest,
                                std::size_t first) {
    auto listed = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    CommandArguments arguments;
    for (std::size_t i = first; i < rest.size(); ++i) {
        const std::string& arg = rest[i];
        if (arg.rfind("--", 0) != 0) {
            arguments.words.push_back(arg);
        } else if (listed(syntax.valueOptions, arg)) {
            arguments.values[arg] = OptionValue(rest, i);
        } else if (listed(syntax.flags, arg)) {
            arguments.flags.insert(arg);
        } else {
            throw UsageError("%1 has no option %2", {syntax.name, arg});
        }
    }
    if (arguments.words.size() < syntax.minWords || arguments.words.size() > syntax.maxWords) {
        const HostWording count = syntax.minWords == syntax.maxWords
                                      ? HostWording(std::to_string(syntax.minWords))
                                      : HostWording("%1 to %2", {std::to_string(syntax.minWords),
                                                                 std::to_string(syntax.maxWords)});
        throw UsageError("%1 takes %2 argument(s), see --help", {syntax.name, count});
    }
    return arguments;
}

// Texts in the document come from files, devices and the command line: a byte that is not UTF-8
// is printed as U+FFFD rather than ending the program.
void PrintJson(std::FILE* out, const Json& document) {
    std::fprintf(out, "%s\n", document.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
}

int Fail(std::FILE* out, std::FILE* err, Json document, const std::string& reason, int exitCode) {
    std::fprintf(err, "zd4270: %s\n", PrintableText(reason).c_str());
    document["error"] = reason;
    PrintJson(out, document);
    return exitCode;
}

// What the run showed and found before it failed goes with the error: the boxes, and the devices
// found so far when the command was to find them.
void KeepWhatHappened(Json& document, const HeadlessSession* session) {
    if (!session) return;
    document["messages"] = session->Messages();
    document["lineTimeMs"] = session->LineTimeMs();
    const std::string name = document.value("command", "");
    // Only a command that looks for devices reports them: for any other, the list may still be the
    // one the store held from an earlier run, which says nothing of this line.
    const bool findsDevices = name == "scan" || name.rfind("address", 0) == 0;
    if (!document.contains("devices") && findsDevices)
        document["devices"] = DevicesJson(session->State());
}

// A run that did not finish (a signal, or the device communication failed on the way) leaves the
// store's device list as it was, unless it gave or moved addresses: those it knows for sure. The
// document says which list the store holds.
void KeepStoredListOfUnfinishedRun(Json& document, HeadlessSession* session, bool interrupted) {
    if (!session || (!interrupted && !session->CommunicationFailed())) return;
    const Language language = session->Catalogue().GetLanguage();
    const std::string name = document.value("command", "");
    if (name == "address change" || name == "address single") {
        // Moves and the one address for all are in the list as they were made.
        document["storedDevices"] =
            HostText(language, "this run's list: it holds the addresses the run gave");
        return;
    }
    if (name.rfind("address", 0) == 0 || name == "replace") {
        session->KeepStoredListWithAddressesGiven();
        document["devices"] = DevicesJson(session->State());
        document["storedDevices"] =
            HostText(language,
                     "the store's list from before the run, with the addresses the run gave; scan "
                     "to see the whole line");
        return;
    }
    session->KeepStoredDeviceList();
    document["storedDevices"] = HostText(
        language,
        "kept: the run did not finish, and the store keeps the device list it held before");
}

// Counts the DALI commands a run sends and those the terminal acknowledged. Over Modbus a station
// document whose process-image layout or byte order does not match the terminal reads words that
// cannot be right: the acknowledge never follows, and every command "counts as sent".
class AcknowledgeCount : public TransactionObserver {
  public:
    // Over a wire a terminal that acknowledges nothing most likely has another process-image
    // layout; on the simulated line it is one that takes no output words at all.
    void Watch(bool overModbus) {
        m_watching = true;
        m_overModbus = overModbus;
    }
    // Passes every transaction on as well (a served bus monitor).
    void Follow(TransactionObserver* next) { m_next = next; }

    void Observe(const Transaction& transaction) override {
        if (m_next) m_next->Observe(transaction);
        if (!m_watching) return;
        if (transaction.kind != Transaction::Kind::DALICommand || !transaction.word) return;
        ++m_sent;
        if (transaction.acknowledged) ++m_acknowledged;
    }
    // Says so in the document when no command of the run was acknowledged.
    void Note(Json& document, Language language) const {
        if (m_sent == 0 || m_acknowledged != 0) return;
        const std::string text =
            m_overModbus
                ? HostText(language,
                           "the terminal acknowledged none of the %1 DALI command(s) sent: the "
                           "station document (process-image layout or byte order, --station and "
                           "--pos) may not match the terminal, so what was read back cannot be "
                           "trusted",
                           {std::to_string(m_sent)})
                : HostText(
                      language,
                      "the terminal acknowledged none of the %1 DALI command(s) sent: it took "
                      "none of the control's commands, so nothing of this run reached the line",
                      {std::to_string(m_sent)});
        const std::string before = document.value("warning", "");
        document["warning"] = before.empty() ? text : before + "; " + text;
        if (m_overModbus) document["stationMayNotMatch"] = true;
    }

  private:
    bool m_watching = false;
    bool m_overModbus = false;
    TransactionObserver* m_next = nullptr;
    int m_sent = 0;
    int m_acknowledged = 0;
};

// A run that ended before its session finished still writes the frame log asked for: what went
// over the line before the failure is what the log is for.
void SaveFrameLogAfterFailure(HeadlessSession* session, std::FILE* err) {
    if (!session) return;
    try {
        session->SaveFrameLog();
    } catch (const ControlError& error) {
        std::fprintf(err, "zd4270: %s\n", PrintableText(error.Description()).c_str());
    } catch (const std::exception& error) {
        std::fprintf(err, "zd4270: %s\n", PrintableText(error.what()).c_str());
    }
}

}  // namespace

namespace {

// Runs a command on a session of its own (slot null: opened for it and closed after it) or as one
// job of a session held open in slot (opened for the first job, and again after a job that left
// words the terminal cannot have sent).
CommandOutcome RunOnSession(const std::string& name, const PreparedCommand& command,
                            const SessionOptions& options, std::FILE* err,
                            std::unique_ptr<HeadlessSession>* slot, bool betweenSteps = false) {
    CommandOutcome outcome;
    Json& document = outcome.document;
    document = {{"command", name}};
    // Before the session, which uses it until it ends.
    AcknowledgeCount acknowledges;
    std::unique_ptr<HeadlessSession> owned;
    const bool held = slot != nullptr;
    const bool opening = !held || !*slot;
    HeadlessSession* session = held ? slot->get() : nullptr;
    // A held session outlives this job: its link sees what it saw before once the job is over (a
    // job run between the steps of another gives the link back to that one), and a session
    // whose opening failed or whose words cannot be trusted is opened anew.
    struct HeldEnd {
        std::unique_ptr<HeadlessSession>* slot;
        TransactionObserver* after;
        bool keep = false;
        bool opened = false;
        ~HeldEnd() {
            if (!slot || !*slot) return;
            if (!keep && (!opened || (*slot)->Untrusted())) {
                slot->reset();
                return;
            }
            (*slot)->Line().TerminalLink().SetObserver(after);
        }
    } heldEnd{slot, held && *slot ? (*slot)->Line().TerminalLink().Observer() : nullptr,
              betweenSteps};
    auto fail = [&](const std::string& reason, int exitCode) {
        SaveFrameLogAfterFailure(session, err);
        std::fprintf(err, "zd4270: %s\n", PrintableText(reason).c_str());
        document["error"] = reason;
        outcome.exitCode = exitCode;
        return outcome;
    };
    // A session of its own closes with the job; a held one stays open.
    auto end = [&] {
        if (held)
            session->EndCommand();
        else
            session->Finish();
    };
    try {
        if (opening) {
            auto made = std::make_unique<HeadlessSession>(options, err);
            session = made.get();
            (held ? *slot : owned) = std::move(made);
        } else {
            session->JobOptions() = options;
        }
        acknowledges.Watch(options.connection.OverModbus());
        acknowledges.Follow(options.transactionObserver);
        session->Line().TerminalLink().SetObserver(&acknowledges);
        const std::int64_t requestsBefore =
            opening ? 0 : session->Line().TerminalLink().DevComCalls();
        if (opening) {
            session->Open();
        } else {
            session->BeginCommand();
        }
        heldEnd.opened = true;
        // The result goes into the document before the session ends, so that an error while
        // ending (a store that cannot be written) still reports what the command did.
        document.update(command(*session));
        UpdateSiteNames(name, *session, document);
        // Words that cannot be the terminal's end the run, whatever the command made of the
        // transactions that failed.
        if (const auto& untrusted = session->Line().TerminalLink().UntrustedWords())
            throw CommandFailed(*untrusted);
        acknowledges.Note(document, options.language);
        end();
        if (const auto& dropped = session->Registry().DroppedNote())
            document["storeNote"] = HostMessage(options.language, *dropped);
        document["messages"] = session->Messages();
        document["lineTimeMs"] = session->LineTimeMs();
        // Each read or write of the process image is one request on a fieldbus coupler.
        document["requests"] = session->Line().TerminalLink().DevComCalls() - requestsBefore;
        // A signal that came after the last wait: the command is done, and still ends as asked.
        if (const int signal = InterruptSignal()) {
            document["interrupted"] = true;
            outcome.exitCode = InterruptExitCode(signal);
        }
        return outcome;
    } catch (const UsageError& refused) {
        // Refused once the terminal said what it can (its firmware): nothing was sent, and the
        // store's device list says nothing of this line.
        return fail(refused.Text(options.language), 2);
    } catch (const CommandInterrupted& interrupted) {
        // What was found and done so far, and the line and the store as the run left them.
        KeepWhatHappened(document, session);
        for (const auto& [key, value] : interrupted.details.items()) document[key] = value;
        document["interrupted"] = true;
        if (const auto& note = session->InterruptNote()) document["note"] = *note;
        KeepStoredListOfUnfinishedRun(document, session, true);
        try {
            end();
            if (const auto& dropped = session->Registry().DroppedNote())
                document["storeNote"] = HostMessage(options.language, *dropped);
        } catch (const ControlError& error) {
            std::fprintf(err, "zd4270: %s\n", PrintableText(error.Description()).c_str());
            document["saveError"] = error.Description();
        } catch (const std::exception& error) {
            std::fprintf(err, "zd4270: %s\n", PrintableText(error.what()).c_str());
            document["saveError"] = error.what();
        }
        document["messages"] = session->Messages();
        if (interrupted.signal == kCancelRequested) {
            document["cancelled"] = true;
            return fail(HostText(options.language, "cancelled"), StopExitCode(interrupted.signal));
        }
        return fail(
            HostText(options.language, "interrupted by %1", {InterruptName(interrupted.signal)}),
            StopExitCode(interrupted.signal));
    } catch (const CommandFailed& failure) {
        document.update(failure.Details());
        acknowledges.Note(document, options.language);
        KeepWhatHappened(document, session);
        KeepStoredListOfUnfinishedRun(document, session, false);
        // The line keeps what the command did before it failed.
        try {
            end();
        } catch (const std::exception& error) {
            std::fprintf(err, "zd4270: %s\n", PrintableText(error.what()).c_str());
        }
        // Said in the link's words, whichever transaction of the command met them first.
        if (const auto& untrusted =
                session ? session->Line().TerminalLink().UntrustedWords() : std::nullopt)
            return fail(HostMessage(options.language, *untrusted), 1);
        return fail(failure.Text(options.language), failure.ExitCode());
    } catch (const ControlError& error) {
        KeepWhatHappened(document, session);
        KeepStoredListOfUnfinishedRun(document, session, false);
        return fail(HostMessage(options.language, error.Description()), 1);
    } catch (const std::exception& error) {
        KeepWhatHappened(document, session);
        KeepStoredListOfUnfinishedRun(document, session, false);
        return fail(HostMessage(options.language, error.what()), 1);
    }
}

}  // namespace

CommandOutcome ExecuteCommand(const std::string& name, const PreparedCommand& command,
                              const SessionOptions& options, std::FILE* err) {
    return RunOnSession(name, command, options, err, nullptr);
}

CommandOutcome ExecuteOnSession(const std::string& name, const PreparedCommand& command,
                                const SessionOptions& options,
                                std::unique_ptr<HeadlessSession>& session, std::FILE* err,
                                bool betweenSteps) {
    return RunOnSession(name, command, options, err, &session, betweenSteps);
}

namespace {

// A station of several couplers over Modbus TCP: one --modbus address reaches one coupler. When the
// terminal asked for sits on another coupler than the first, the coupler at that address does not
// know its registers; the hint names the coupler and the port zd4270-sim --station serves it at
// (the port --all uses: the address's port plus the coupler's place).
std::optional<std::string> CouplerHint(const ConnectionTarget& connection, Language language) {
    if (connection.modbus.empty() || connection.stationFile.empty()) return std::nullopt;
    try {
        const StationDocument station = StationDocument::Load(connection.stationFile);
        for (const StationTerminal& terminal : StationZd4270Terminals(station)) {
            if (terminal.position != connection.PositionOrFirst() || terminal.coupler == 0)
                continue;
            ModbusEndpoint endpoint = ParseModbusEndpoint(connection.modbus);
            const int port = endpoint.port + terminal.coupler;
            return HostText(
                language,
                "terminal %1 sits on the station's coupler %2 (%3): give that "
                "coupler's address with --modbus (zd4270-sim --station serves it at "
                "port %4, as --all reaches it)",
                {std::to_string(terminal.position), std::to_string(terminal.coupler + 1),
                 terminal.couplerName, std::to_string(port)});
        }
    } catch (const std::exception&) {
        // The run itself has said what is wrong with the station.
    }
    return std::nullopt;
}

int RunCommand(const std::string& name, const PreparedCommand& command,
               const SessionOptions& options, std::FILE* out, std::FILE* err) {
    // A position the station does not have is a mistake on the command line, as it is for
    // several positions: exit 2, nothing sent.
    const ConnectionTarget& connection = options.connection;
    if (!connection.stationFile.empty() && connection.position) {
        std::optional<std::string> missing;
        try {
            if (!StationDocument::Load(connection.stationFile).TerminalNode(*connection.position))
                missing =
                    HostText(options.language, "the station %1 has no terminal at position %2",
                             {connection.stationFile, std::to_string(*connection.position)});
        } catch (const std::exception&) {
            // A station that cannot be read is the run's to report.
        }
        if (missing) return Fail(out, err, Json{{"command", name}}, *missing, 2);
    }
    CommandOutcome outcome = ExecuteCommand(name, command, options, err);
    const std::string error = outcome.document.value("error", "");
    if (error.find("Illegal data address") != std::string::npos) {
        if (const auto hint = CouplerHint(options.connection, options.language)) {
            std::fprintf(err, "zd4270: %s\n", hint->c_str());
            outcome.document["error"] = error + "; " + *hint;
        }
    }
    PrintJson(out, outcome.document);
    return outcome.exitCode;
}

}  // namespace

void PrintUsage(std::FILE* out, Language language) {
    if (language == Language::German) {
        std::fputs(GermanUsageText(), out);
        return;
    }
    std::fprintf(
        out,
        "usage: zd4270 [COMMAND] [--station FILE] [--pos N] [--line FILE]\n"
        "              [--modbus HOST:PORT[/UNIT] | --modbus-rtu DEVICE[:...][/UNIT]]\n"
        "              [--lang en|de] [--save-line FILE] [--frame-log FILE] [--registry FILE]\n"
        "              [--site FILE] [--quiet]\n"
        "       zd4270 COMMAND --station FILE --all|--pos N,M,... [--lines DIR]\n"
        "              [--save-lines DIR] [--modbus HOST:PORT] ...\n"
        "       zd4270 help [COMMAND]\n"
        "\n"
        "Without a command: the window, or the demonstration when there is no display. The\n"
        "window asks what to connect to when none of --station, --pos, --line, --modbus,\n"
        "--modbus-rtu is given.\n"
        "Each command prints one JSON document on stdout; the control's message boxes go to\n"
        "stderr and into the document's \"messages\". Exit codes: 0 done, 1 failed\n"
        "({\"error\": ...}, \"failedStep\"), 2 wrong command line or refused (nothing\n"
        "sent), 3 a test that ran and failed (emergency test), 130 or\n"
        "143 ended by SIGINT or SIGTERM ({\"interrupted\": true}: the procedure cancelled,\n"
        "what was done so far, the line and the store saved; a second signal ends at once).\n"
        "\n"
        "commands:\n"
        "  demo                          the headless demonstration (text)\n"
        "  status [--short A] [--scan]    each device's level, status and device type\n"
        "  serve [--listen ADDRESS:PORT] [--tls-cert FILE --tls-key FILE] [--virtual-time]\n"
        "                                serve the line to a phone's or computer's browser\n"
        "  scan [--optical-feedback] [--ask-twice] [--quick]\n"
        "                                scan the line: the devices found (--ask-twice: a\n"
        "                                silent address is asked once more; --quick: back to\n"
        "                                back)\n"
        "  address random [--start N] [--new-installation] [--delete-groups] [--delete-scenes]\n"
        "                 [--yes] [--optical-feedback] [--fast]\n"
        "                                random addressing, by the control or the terminal\n"
        "                                firmware as the firmware version decides, then a scan;\n"
        "                                the first three options wipe settings and need --yes\n"
        "  address physical [--start N] [--lamps N] [--timeout S] [--remove-lamp LIST] ...\n"
        "                                physical selection: lamps taken out and put back\n"
        "  address single N|mask --yes   every ballast on the line takes address N (mask: none)\n"
        "  address change OLD:NEW ...    after a scan, move devices to new addresses (NEW may be\n"
        "                                mask), then scan again\n"
        "  send COMMAND [--short A|--group G|--broadcast] [--data D] [--yes]\n"
        "                                one DALI command: a number -1 to 270 or its text, such\n"
        "                                as off, \"recall max level\", \"add to group 3\"; reset\n"
        "                                and store DTR as short address to several need --yes\n"
        "  send --dsi BYTE               one DSI data byte (light level), in DSI mode\n"
        "  query QUERY [--short A|--group G|--broadcast] [--data D]\n"
        "                                a DALI query and its answer (\"query actual level\");\n"
        "                                \"several\" when several gear answered at once\n"
        "  archive upload FILE [--yes]   read groups and scenes of the devices, save to FILE\n"
        "                                (--yes to replace an existing FILE)\n"
        "  archive download FILE --yes   load FILE and write it to the devices\n"
        "  options [--mode dali|dsi] [--power-supply on|off] [--count-devices on|off]\n"
        "                                the terminal's options, set where given\n"
        "  colour --short A|--group G|--broadcast [--kelvin K|--mirek M] [--coolest K]\n"
        "         [--warmest K] [--scene N --level L] ...\n"
        "                                colour temperature of device type 8 gear: read (--short\n"
        "                                alone), set, its limits, a scene with its colour\n"
        "  variables --short A [--set NAME=VALUE]\n"
        "                                the device's variables, one set first where given\n"
        "  groups --short A [--add G,...] [--remove G,...]\n"
        "                                the device's groups, changed where given\n"
        "  scenes --short A [--set SCENE=LEVEL,...]\n"
        "                                the device's scene levels, stored where given\n"
        "  report [--format html|pdf|csv] FILE\n"
        "                                the hand-over report: devices, levels, groups, scenes\n"
        "                                (scan and address commands: --report FILE after them)\n"
        "  backup FILE [--yes]           every device's addresses, variables, groups, scenes\n"
        "  restore FILE --dry-run|--yes [--other-gear]\n"
        "                                write a backup's levels, fade, groups, scenes back\n"
        "  replace --short A --backup FILE [--physical]\n"
        "                                a new gear takes a failed gear's address and settings\n"
        "  emergency status --short A|--all-gear\n"
        "                                emergency lighting gear (device type 1): mode, battery,\n"
        "                                failures, last results\n"
        "  emergency test function|duration|stop --short A\n"
        "                                run a test to its result, its progress on stderr;\n"
        "                                stop: end the test that runs at A\n"
        "  emergency timing --short A [--function-interval D] [--duration-interval W] ...\n"
        "                                the automatic test intervals and delays, set where given\n"
        "  identify --short A [--seconds S] [--mode flash|max|others-off]\n"
        "                                the luminaire shows itself for S seconds (10); every\n"
        "                                level is set back afterwards\n"
        "  name --short A [TEXT] [--room R] [--floor F] [--note N]\n"
        "                                the luminaire's name and place in the site file\n"
        "  settings [--log-mapping on|off] [--log-user-data on|off] [--log-addressing on|off]\n"
        "                                the logging switches in the store\n"
        "  help COMMAND                  a command's options and an example\n"
        "\n"
        "options:\n"
        "  --station FILE     station document (XML) with the terminal's device node\n"
        "  --pos N            the terminal's position in the station (default: the first)\n"
        "  --line FILE        simulated DALI line (JSON) the run starts from\n"
        "  --save-line FILE   after the command, write the simulated line's state to FILE, which\n"
        "                     --line reads in a later run\n"
        "  --frame-log FILE   after the command, write every DALI or DSI frame that went over\n"
        "                     the simulated line to FILE, one a line: the time (virtual ms),\n"
        "                     the frame, what it is, the answer; with --all, {pos} in FILE\n"
        "                     gives each terminal its own file\n"
        "  --modbus HOST:PORT[/UNIT]\n"
        "                     a terminal, or zd4270-sim, on Modbus TCP instead of the simulator;\n"
        "                     UNIT is the Modbus unit identifier, 1 to 247 (default 1)\n"
        "  --modbus-rtu DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT]\n"
        "                     a terminal on Modbus RTU over the serial DEVICE instead (8 data\n"
        "                     bits; BAUD 1200 to 921600, default 19200; PARITY N, E or O,\n"
        "                     default E; STOP 1 or 2, default 1; UNIT default 1), e.g.\n"
        "                     /dev/ttyUSB0:19200:E:1/3. One terminal per run: the device is\n"
        "                     this program's alone while it runs\n"
        "  --lang en|de       language of the texts (default: from the locale)\n"
        "  --registry FILE    the store of device lists and logging switches (default: the\n"
        "                     window's, ~/.config/zd4270/registry.ini)\n"
        "  --site FILE        the site file with the luminaires' names and places (default:\n"
        "                     site.json beside the store)\n"
        "  --quiet            no progress on stderr (shown only when stderr is a terminal)\n"
        "  --all              the command on every ZD4270 of the station at once; --pos N,M,...\n"
        "                     on some. One JSON document with a result per terminal; exit code\n"
        "                     0 only when every terminal succeeded. Over --modbus the station's\n"
        "                     first coupler is at PORT, the next at PORT+1, ...\n"
        "  --lines DIR        the simulated line of each terminal: DIR/pos-N.json (none: empty)\n"
        "  --save-lines DIR   after the command, each simulated line to DIR/pos-N.json\n"
        "\n"
        "Each document carries \"lineTimeMs\": the time the command took on the line (virtual\n"
        "time on the simulated line, real time over Modbus).\n");
}

namespace {

void ParseServe(const std::vector<std::string>& rest, ParsedCommandLine& parsed) {
    const SessionOptions& options = parsed.options;
    if (const auto refusal = ConnectionRefusal(options.connection)) throw UsageError(*refusal);
    ServeArguments& serve = parsed.serve;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        const std::string& arg = rest[i];
        if (arg == "--listen") {
            serve.listen = OptionValue(rest, i);
        } else if (arg == "--tls-cert") {
            serve.tlsCert = OptionValue(rest, i);
        } else if (arg == "--tls-key") {
            serve.tlsKey = OptionValue(rest, i);
        } else if (arg == "--allow-host") {
            serve.allowedHosts.push_back(OptionValue(rest, i));
        } else if (arg == "--virtual-time") {
            serve.virtualTime = true;
        } else if (arg.rfind("--", 0) == 0) {
            throw UsageError("serve has no option " + arg);
        } else {
            throw UsageError("serve takes no arguments, see help serve");
        }
    }
    if (serve.tlsCert.empty() != serve.tlsKey.empty())
        throw UsageError("--tls-cert and --tls-key go together");
    const ConnectionTarget& connection = options.connection;
    if (!options.frameLogFile.empty())
        throw UsageError("--frame-log goes with a command, not serve");
    if (!options.saveLineFile.empty() && connection.OverModbus())
        throw UsageError("--save-line needs the simulated line, not " +
                         std::string(connection.ModbusOption()));
    const StationSelection& station = parsed.station;
    if (!station.saveLinesDir.empty()) throw UsageError("--save-lines goes with a command");
    if (!options.saveLineFile.empty() && (station.all || station.positions.size() > 1))
        throw UsageError("--save-line keeps one line; serve one terminal to keep its line");
    if (connection.OverModbus() && !station.linesDir.empty())
        throw UsageError("--lines needs the simulated lines, not " +
                         std::string(connection.ModbusOption()));
}

}  // namespace

void ParseCommandLine(int argc, const char* const* argv, ParsedCommandLine& parsed) {
    const Invocation invocation = ParseInvocation(
        std::vector<std::string>(argv + std::min(argc, 1), argv + argc), parsed.options);
    parsed.options = invocation.options;
    const SessionOptions& options = parsed.options;
    const std::vector<std::string>& rest = invocation.rest;
    if (invocation.help && !rest.empty() && rest[0] != "help") {
        parsed.help = true;
        parsed.helpTopic = rest;
        return;
    }
    if (invocation.help) {
        parsed.help = true;
        return;
    }
    if (!rest.empty() && rest[0] == "help") {
        parsed.help = true;
        parsed.helpTopic = std::vector<std::string>(rest.begin() + 1, rest.end());
        return;
    }
    parsed.station = invocation.station;
    if (!rest.empty() && rest[0] == "serve") {
        parsed.command = "serve";
        ParseServe(rest, parsed);
        return;
    }
    const bool command = !rest.empty() && rest[0] != "demo";
    std::size_t nameWords = 0;
    const CommandSyntax* syntax = command ? &FindCommand(rest, nameWords) : nullptr;
    parsed.command = syntax ? syntax->name : rest.empty() ? "" : "demo";
    // The window and the demonstration refuse what the commands refuse, before anything opens.
    if (const auto refusal = ConnectionRefusal(options.connection)) throw UsageError(*refusal);
    if (!syntax) {
        if (rest.size() > 1) throw UsageError("demo takes no arguments", {});
        if (!options.saveLineFile.empty())
            throw UsageError("--save-line goes with a command, not the demonstration", {});
        if (!options.frameLogFile.empty())
            throw UsageError("--frame-log goes with a command, not the demonstration", {});
        if (invocation.station.Chosen())
            throw UsageError("--all, --pos N,M, --lines and --save-lines go with a command", {});
        return;
    }
    const ConnectionTarget& connection = options.connection;
    const std::string modbusOption = connection.ModbusOption();
    if (!options.saveLineFile.empty() && connection.OverModbus())
        throw UsageError("--save-line needs the simulated line, not %1", {modbusOption});
    if (!options.frameLogFile.empty() && connection.OverModbus())
        throw UsageError("--frame-log needs the simulated line, not %1", {modbusOption});
    if (connection.OverModbus() &&
        std::find(rest.begin(), rest.end(), "--remove-lamp") != rest.end())
        throw UsageError(
            "--remove-lamp needs the simulated line: over %1 a person takes the lamps out",
            {modbusOption});
    parsed.syntax = syntax;
    parsed.arguments = ParseArguments(*syntax, rest, nameWords);
    if (const auto report = ReportFileOf(syntax->name, parsed.arguments)) {
        ReportFormatOf(*report, parsed.arguments);
    } else if (parsed.arguments.Value("--format")) {
        throw UsageError("--format goes with --report FILE", {});
    }
    // Preparing checks the command's words and options before anything is sent; a station run
    // prepares the command again for each of its terminals.
    parsed.prepared = syntax->prepare(parsed.arguments);
}

int RunCommandLine(int argc, const char* const* argv, const SessionOptions& defaults,
                   std::FILE* out, std::FILE* err, const WindowRunner& window,
                   const ServeRunner& serve) {
    // Signals held since the start go through when the run is over, with their default action
    // unless a command's handlers took them.
    struct ReleaseSignals {
        ~ReleaseSignals() { ReleaseInterruptSignals(); }
    } release;
    ParsedCommandLine parsed;
    parsed.options = defaults;
    // The error document names the command once it is known.
    auto document = [&parsed] {
        Json named = Json::object();
        if (!parsed.command.empty() && parsed.command != "demo" && parsed.command != "serve")
            named["command"] = parsed.command;
        return named;
    };
    // A mistake found before --lang is read is told in the language asked for as well.
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string_view(argv[i]) == "--lang" && std::string_view(argv[i + 1]) == "de")
            parsed.options.language = Language::German;
    try {
        ParseCommandLine(argc, argv, parsed);
        const SessionOptions& options = parsed.options;
        if (parsed.help) {
            if (parsed.helpTopic) return RunHelp(*parsed.helpTopic, out, options.language);
            PrintUsage(out, options.language);
            return 0;
        }
        if (parsed.command.empty() || parsed.command == "demo") {
            ReleaseInterruptSignals();
            if (parsed.command.empty() && window) {
                if (const auto exitCode = window(options)) return *exitCode;
                std::fprintf(
                    out, "%s\n\n",
                    HostText(options.language, "No display: running the headless demonstration.")
                        .c_str());
            }
            DemoOptions demo;
            demo.connection = options.connection;
            demo.language = options.language;
            return RunDemo(demo, out);
        }
        // Ctrl-C and SIGTERM end a command's run cleanly from here on.
        InstallInterruptHandlers();
        if (parsed.command == "serve") {
            if (!serve) throw UsageError("this program cannot serve the line");
            return serve(parsed);
        }
        // The report is written once, from the results of all its terminals.
        if (parsed.station.Chosen() || ReportFileOf(parsed.command, parsed.arguments)) {
            const CommandOutcome outcome =
                RunStationCommand(*parsed.syntax, parsed.arguments, options, parsed.station, err);
            PrintJson(out, outcome.document);
            return outcome.exitCode;
        }
        return RunCommand(parsed.command, parsed.prepared, options, out, err);
    } catch (const UsageError& error) {
        return Fail(out, err, document(), error.Text(parsed.options.language), 2);
    } catch (const ControlError& error) {
        return Fail(out, err, document(), HostMessage(parsed.options.language, error.Description()),
                    1);
    } catch (const std::exception& error) {
        return Fail(out, err, document(), HostMessage(parsed.options.language, error.what()), 1);
    }
}

}  // namespace zd
