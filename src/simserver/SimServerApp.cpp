#include "simserver/SimServerApp.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <thread>

#include "connection/OpenTerminal.h"
#include "documents/Building.h"
#include "documents/StationDocument.h"
#include "platform/Version.h"
#include "sim/LineFile.h"

namespace zd {

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void RequestStop(int) {
    g_stopRequested = 1;
}

// The first signal only asks the server to stop: the serving loop looks at the flag between two
// steps, and a wait for traffic that the signal interrupts returns at once (no SA_RESTART).
void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A saved line past `ulimit -f` fails with EFBIG and is reported instead of ending the server.
    std::signal(SIGXFSZ, SIG_IGN);
}

const ModbusServerLimits kLimits;

// The options whose value is the next argument.
bool TakesValue(const std::string& arg) {
    for (const char* option :
         {"--line", "--lines", "--station", "--pos", "--listen", "--listen-rtu", "--fault"})
        if (arg == option) return true;
    return false;
}

// A list of names broken into lines of the help's second column; first: the width taken before it
// on its first line.
std::string Wrapped(const std::string& names, std::size_t first) {
    constexpr std::size_t kWidth = 79;
    const std::string indent(22, ' ');
    std::string text;
    std::size_t column = first;
    for (std::size_t at = 0; at < names.size();) {
        std::size_t end = names.find(' ', at);
        if (end == std::string::npos) end = names.size();
        const std::string word = names.substr(at, end - at);
        if (column + word.size() + 1 > kWidth && column > indent.size()) {
            text += "\n" + indent;
            column = indent.size();
        } else if (!text.empty()) {
            text += ' ';
            ++column;
        }
        text += word;
        column += word.size();
        at = end + 1;
    }
    return text;
}

// "unit 1 (also 0 and 255)": the units the server answers.
std::string UnitsText(const ModbusEndpoint& endpoint) {
    return "unit " + std::to_string(endpoint.unit) +
           (endpoint.unitGiven ? std::string() : std::string(" (also 0 and 255)"));
}

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out,
        "usage: zd4270-sim [--line FILE] [--station FILE [--pos N]]\n"
        "                  [--listen HOST:PORT[/UNIT] | --listen-rtu DEVICE[:...][/UNIT]]\n"
        "                  [--window] [--fault FAULT]...\n"
        "       zd4270-sim --station FILE --lines DIR [--listen HOST:PORT[/UNIT]]\n"
        "       zd4270-sim --version\n"
        "  --line FILE         simulated DALI line (JSON; default: "
        "examples/lines/three-addressed.json)\n"
        "  --station FILE      take position and process-image layout from a station "
        "document (XML)\n"
        "  --pos N             the station's terminal at position N (default: the first)\n"
        "  --listen HOST:PORT[/UNIT]\n"
        "                      where to serve Modbus TCP (default: 127.0.0.1:1502), and\n"
        "                      the unit to answer as (1 to 247; default 1). Without\n"
        "                      /UNIT units 0 and 255 are answered as well\n"
        "  --listen-rtu DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT]\n"
        "                      serve Modbus RTU on a serial device instead (8 data bits;\n"
        "                      default 19200, parity E, 1 stop bit, unit 1): the same\n"
        "                      registers; only the unit answers, a broadcast (unit 0)\n"
        "                      is carried out unanswered, a frame with a wrong CRC is\n"
        "                      dropped\n"
        "  --window            show the lamps in a window; take lamps out, put them back\n"
        "                      or let them fail from there, and switch faults\n"
        "  --fault GEAR:NAME=VALUE | terminal:NAME=VALUE\n"
        "                      switch on a fault (repeatable); GEAR: the gear's place in\n"
        "                      the line file, from 1; booleans on, off, true or false\n"
        "                      gear: %s\n"
        "                      terminal: %s\n"
        "                      (examples/lines/FORMAT.md says what each does)\n"
        "  --lines DIR         a building: every ZD4270 of --station on its own line\n"
        "                      DIR/pos-N.json (none: an empty line); the station's\n"
        "                      first coupler on PORT, the next on PORT+1, and so on,\n"
        "                      each serving the registers of its terminals\n"
        "\n"
        "Register mapping: the unit given (1 by default; without /UNIT also units 0\n"
        "and 255, which clients send to a server reached by its address), %s.\n"
        "Function 3 reads, function 16 writes 1 to 123 registers within one table.\n"
        "Exceptions: 01 illegal function, 02 illegal data address (unmapped, or words\n"
        "the terminal refuses, such as its input words), 03 illegal data value (a count\n"
        "beyond the protocol's 125 or 123, or a bad length), 04 server failure, 0B any\n"
        "other unit. A frame whose protocol id is not 0 or whose length field is\n"
        "outside 2 to %zu closes the connection.\n"
        "Limits: %zu clients at once (a newcomer takes the place of the client silent\n"
        "longest); a client silent for %lld s, or whose frame is not complete %lld s\n"
        "after its first byte, is closed.\n",
        Wrapped(sim::GearFaultNames(), 28).c_str(), Wrapped(sim::TerminalFaultNames(), 32).c_str(),
        kModbusMappingText, kMbapMaxLength, kLimits.maxClients,
        static_cast<long long>(kLimits.idleTimeoutMs / 1000),
        static_cast<long long>(kLimits.frameTimeoutMs / 1000));
}

std::string DescribeEntry(const char* name, const sim::ImageEntry& entry) {
    return std::string(name) + " table " + std::to_string(entry.nTableNumber) + " word " +
           std::to_string(entry.nWordOffset) + "." + std::to_string(entry.nBitOffset);
}

std::string DescribeTerminal(sim::Terminal& terminal, const std::string& source) {
    const sim::ImageLayout& layout = terminal.Layout();
    return "terminal at position " + std::to_string(terminal.Position()) + " with " +
           std::to_string(terminal.GetLine().Gear().size()) + " gear from " + source + " (" +
           DescribeEntry("STATUS", layout.entries[sim::kImageStatus]) + ", " +
           DescribeEntry("INPUT", layout.entries[sim::kImageInput]) + ", " +
           DescribeEntry("CONTROL", layout.entries[sim::kImageControl]) + ", " +
           DescribeEntry("OUTPUT", layout.entries[sim::kImageOutput]) + ", " +
           (layout.motorola ? "Motorola" : "Intel") + ")";
}

// Checks that the Modbus mapping reaches a terminal's registers and process-image words.
void CheckMapping(sim::Terminal& terminal) {
    if (!ModbusRegisterAddress(terminal.Position(), 0, 0, 1)) {
        throw ControlError("the terminal's position " + std::to_string(terminal.Position()) +
                           " has no Modbus registers (positions 1 to 63)");
    }
    for (const sim::ImageEntry& entry : terminal.Layout().entries) {
        if (!ModbusRegisterAddress(0, entry.nTableNumber, entry.nWordOffset, 2)) {
            throw ControlError("process-image table " + std::to_string(entry.nTableNumber) +
                               " word " + std::to_string(entry.nWordOffset) +
                               " has no Modbus register (tables 0 to 15)");
        }
    }
}

// One coupler of a building: its own clock and terminals, served by its own thread, so that the
// couplers are as independent as on site.
struct CouplerServer {
    std::unique_ptr<RealScheduler> scheduler;
    std::unique_ptr<ModbusSimServer> server;
};

int ServeBuilding(const SimServerOptions& options, std::FILE* out, std::FILE* err) {
    const StationDocument station = StationDocument::Load(options.terminal.stationFile);
    const std::vector<StationTerminal> terminals = StationZd4270Terminals(station);
    const std::vector<std::string> couplers = StationCouplers(station);
    const ModbusEndpoint first = ParseModbusEndpoint(options.listen);
    std::vector<CouplerServer> servers;
    for (std::size_t coupler = 0; coupler < couplers.size(); ++coupler) {
        CouplerServer served;
        served.scheduler = std::make_unique<RealScheduler>();
        std::vector<std::shared_ptr<SimDevCom>> simulated;
        std::string positions;
        for (const StationTerminal& terminal : terminals) {
            if (terminal.coupler != static_cast<int>(coupler)) continue;
            const std::string path = LineFileOfPosition(options.linesDir, terminal.position);
            sim::LineDescription line;
            if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
                std::fclose(probe);
                line = sim::LoadLineFile(path);
            }
            simulated.push_back(CreateSimulatedDevCom(*served.scheduler, terminal.node, line));
            CheckMapping(simulated.back()->Terminal());
            const std::string faults = sim::ActiveFaultsText(simulated.back()->Terminal());
            positions += (positions.empty() ? "" : ", ") + std::to_string(terminal.position) +
                         " (" +
                         std::to_string(simulated.back()->Terminal().GetLine().Gear().size()) +
                         " gear" + (faults.empty() ? "" : "; faults " + faults) + ")";
        }
        ModbusEndpoint endpoint = first;
        endpoint.port = static_cast<std::uint16_t>(first.port + coupler);
        if (first.port == 0 || first.port + coupler > 65535)
            throw ControlError("--listen needs a port with room for every coupler after it");
        served.server = std::make_unique<ModbusSimServer>(
            std::make_shared<CouplerDevCom>(std::move(simulated)), endpoint, kLimits);
        const std::string name = couplers[coupler];
        served.server->SetLog([name, err](const std::string& line) {
            std::fprintf(err, "zd4270-sim: %s: %s\n", name.c_str(), line.c_str());
        });
        std::fprintf(out, "zd4270-sim: coupler \"%s\" on Modbus TCP %s: ZD4270 at %s\n",
                     name.c_str(), served.server->Endpoint().Text().c_str(),
                     positions.empty() ? "no position" : positions.c_str());
        servers.push_back(std::move(served));
    }
    std::fprintf(out, "zd4270-sim: %s, %s\n", UnitsText(first).c_str(), kModbusMappingText);
    std::fflush(out);

    InstallStopHandlers();

    std::vector<std::thread> threads;
    std::vector<std::string> failures(servers.size());
    for (std::size_t i = 0; i < servers.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                while (!servers[i].server->Stopping()) {
                    servers[i].server->Step(200);
                    servers[i].scheduler->DoEvents();
                }
            } catch (const ControlError& error) {
                failures[i] = error.Description();
            } catch (const std::exception& error) {
                failures[i] = error.what();
            }
            servers[i].server->Stop();
        });
    }
    // The signal only sets a flag; this thread passes it on to the couplers' threads.
    while (g_stopRequested == 0) {
        bool anyFailed = false;
        for (std::size_t i = 0; i < servers.size(); ++i) anyFailed |= servers[i].server->Stopping();
        if (anyFailed) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    for (CouplerServer& served : servers) served.server->Stop();
    for (std::thread& thread : threads) thread.join();
    std::int64_t requests = 0;
    for (const CouplerServer& served : servers) requests += served.server->Requests();
    std::fprintf(out, "zd4270-sim: stopped after %lld requests\n",
                 static_cast<long long>(requests));
    for (const std::string& failure : failures)
        if (!failure.empty()) throw ControlError(failure);
    return 0;
}

}  // namespace

SimServerCommand ParseSimServerCommand(int argc, char** argv, std::FILE* out, std::FILE* err) {
    SimServerCommand command;
    SimServerOptions& options = command.options;
    ConnectionTarget& terminal = options.terminal;
    const auto finish = [&command](int exitCode) {
        command.exitCode = exitCode;
        return command;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (TakesValue(arg) && i + 1 >= argc) {
            std::fprintf(err, "zd4270-sim: %s needs a value\n", arg.c_str());
            return finish(2);
        }
        const auto value = [&]() -> const char* { return argv[++i]; };
        if (arg == "--line") {
            terminal.lineFile = value();
            terminal.lineFileGiven = true;
        } else if (arg == "--lines") {
            options.linesDir = value();
        } else if (arg == "--station") {
            terminal.stationFile = value();
        } else if (arg == "--pos") {
            const char* text = value();
            char* end = nullptr;
            const long position = std::strtol(text, &end, 10);
            if (*text == '\0' || *end != '\0' || position < 1 || position > kModbusMaxPosition) {
                std::fprintf(err, "zd4270-sim: --pos needs a position 1 to %d, not \"%s\"\n",
                             kModbusMaxPosition, text);
                return finish(2);
            }
            terminal.position = static_cast<std::int32_t>(position);
        } else if (arg == "--listen") {
            options.listen = value();
            options.listenGiven = true;
        } else if (arg == "--listen-rtu") {
            options.listenRtu = value();
        } else if (arg == "--window") {
            options.window = true;
        } else if (arg == "--fault") {
            const std::string faultText = value();
            try {
                options.faults.push_back(sim::ParseFaultSetting(faultText));
            } catch (const ControlError& error) {
                std::fprintf(err, "zd4270-sim: %s\n", error.Description().c_str());
                return finish(2);
            }
        } else if (arg == "-h" || arg == "--help") {
            PrintUsage(out);
            return finish(0);
        } else if (arg == "--version") {
            std::fprintf(out, "zd4270-sim %s\n", kProgramVersion);
            return finish(0);
        } else {
            std::fprintf(err, "zd4270-sim: unknown argument \"%s\"\n", arg.c_str());
            PrintUsage(err);
            return finish(2);
        }
    }
    // A listen address that cannot be served is a wrong command line, found before anything opens.
    try {
        ParseModbusEndpoint(options.listen);
    } catch (const ControlError& error) {
        std::fprintf(err, "zd4270-sim: --listen: %s\n", error.Description().c_str());
        return finish(2);
    }
    if (!options.listenRtu.empty()) {
        try {
            ParseModbusSerialLine(options.listenRtu);
        } catch (const ControlError& error) {
            std::fprintf(err, "zd4270-sim: --listen-rtu: %s\n", error.Description().c_str());
            return finish(2);
        }
        if (options.listenGiven) {
            std::fprintf(err,
                         "zd4270-sim: --listen and --listen-rtu choose the transport both; give "
                         "one of them\n");
            return finish(2);
        }
        if (!options.linesDir.empty()) {
            std::fprintf(err,
                         "zd4270-sim: --lines serves a station's couplers on Modbus TCP; "
                         "--listen-rtu serves one terminal (--station FILE --pos N)\n");
            return finish(2);
        }
    }
    if (terminal.position && terminal.stationFile.empty()) {
        std::fprintf(err, "zd4270-sim: --pos chooses a terminal of --station; give both\n");
        return finish(2);
    }
    if (!options.linesDir.empty()) {
        if (terminal.stationFile.empty()) {
            std::fprintf(err,
                         "zd4270-sim: --lines serves the terminals of a station; give --station "
                         "FILE with it\n");
            return finish(2);
        }
        if (terminal.position || options.window || terminal.lineFileGiven ||
            !options.faults.empty()) {
            std::fprintf(err,
                         "zd4270-sim: --lines serves a whole --station; it goes without "
                         "--pos, --line, --window and --fault (faults go into the line files)\n");
            return finish(2);
        }
    }
    return command;
}

SimTerminalServer::SimTerminalServer(const SimServerOptions& options,
                                     const ModbusEndpoint& endpoint, std::FILE* err) {
    Prepare(options, err);
    m_server = std::make_unique<ModbusSimServer>(m_devCom, endpoint, kLimits);
    m_server->SetLog(
        [err](const std::string& line) { std::fprintf(err, "zd4270-sim: %s\n", line.c_str()); });
}

SimTerminalServer::SimTerminalServer(const SimServerOptions& options, const ModbusSerialLine& line,
                                     std::FILE* err) {
    Prepare(options, err);
    m_rtuServer = std::make_unique<ModbusRtuSimServer>(m_devCom, line);
    m_rtuServer->SetLog(
        [err](const std::string& text) { std::fprintf(err, "zd4270-sim: %s\n", text.c_str()); });
}

void SimTerminalServer::Prepare(const SimServerOptions& options, std::FILE* err) {
    const ConnectionTarget& served = options.terminal;
    // Without a line file the line has no gear.
    m_source = served.lineFile.value_or("an empty line");
    if (served.stationFile.empty()) {
        m_devCom = std::make_shared<SimDevCom>(
            sim::MakeTerminal(m_scheduler, served.lineFile ? sim::LoadLineFile(*served.lineFile)
                                                           : sim::LineDescription{}));
    } else {
        m_devCom = OpenTerminal(served, m_scheduler, [err](const std::string& note) {
                       std::fprintf(err, "zd4270-sim: %s\n", note.c_str());
                   }).simulated;
        m_source += " and " + served.stationFile;
    }

    // A terminal the register mapping cannot reach would be served in vain.
    sim::Terminal& terminal = m_devCom->Terminal();
    CheckMapping(terminal);
    for (const sim::FaultSetting& fault : options.faults) {
        try {
            sim::ApplyFault(terminal, fault);
        } catch (const ControlError& error) {
            throw SimFaultRefused(error.Description());
        }
    }
}

std::string SimTerminalServer::Where() const {
    return m_server ? m_server->Endpoint().Text() : m_rtuServer->Line().device;
}

std::int64_t SimTerminalServer::Requests() const {
    return m_server ? m_server->Requests() : m_rtuServer->Requests();
}

std::string SimTerminalServer::Description() {
    return DescribeTerminal(Terminal(), m_source);
}

void SimTerminalServer::Step(int waitMs) {
    if (m_server)
        m_server->Step(waitMs);
    else
        m_rtuServer->Step(waitMs);
    m_scheduler.DoEvents();
}

bool SimStopRequested() {
    return g_stopRequested != 0;
}

namespace {

int Serve(const SimServerOptions& options, int& argc, char** argv, std::FILE* out, std::FILE* err,
          const SimLampWindow& lampWindow) {
    // The one transport served.
    const auto served =
        options.listenRtu.empty()
            ? std::make_unique<SimTerminalServer>(options, ParseModbusEndpoint(options.listen), err)
            : std::make_unique<SimTerminalServer>(options, ParseModbusSerialLine(options.listenRtu),
                                                  err);
    InstallStopHandlers();

    if (const ModbusSimServer* tcp = served->TcpServer()) {
        std::fprintf(out, "zd4270-sim: serving the %s on Modbus TCP %s; %s, %s\n",
                     served->Description().c_str(), tcp->Endpoint().Text().c_str(),
                     UnitsText(tcp->Endpoint()).c_str(), kModbusMappingText);
    } else {
        std::fprintf(out, "zd4270-sim: serving the %s on Modbus RTU %s; %s\n",
                     served->Description().c_str(), served->RtuServer()->Line().Where().c_str(),
                     kModbusMappingText);
    }
    const std::string faults = sim::ActiveFaultsText(served->Terminal());
    std::fprintf(
        out, "zd4270-sim: %s\n",
        faults.empty() ? "no fault switched on" : ("starting with the faults " + faults).c_str());
    std::fflush(out);

    if (options.window) {
        lampWindow(argc, argv, *served);
    } else {
        while (!SimStopRequested()) served->Step(200);
    }
    std::fprintf(out, "zd4270-sim: stopped after %lld requests\n",
                 static_cast<long long>(served->Requests()));
    return 0;
}

}  // namespace

int RunSimServer(int& argc, char** argv, std::FILE* out, std::FILE* err,
                 const SimLampWindow& lampWindow) {
    try {
        const SimServerCommand command = ParseSimServerCommand(argc, argv, out, err);
        if (command.exitCode) return *command.exitCode;
        if (!command.options.linesDir.empty()) return ServeBuilding(command.options, out, err);
        return Serve(command.options, argc, argv, out, err, lampWindow);
    } catch (const SimFaultRefused& error) {
        std::fprintf(err, "zd4270-sim: %s\n", error.Description().c_str());
        return 2;
    } catch (const ControlError& error) {
        std::fprintf(err, "zd4270-sim: %s\n", error.Description().c_str());
    } catch (const std::exception& error) {
        std::fprintf(err, "zd4270-sim: %s\n", error.what());
    } catch (...) {
        std::fprintf(err, "zd4270-sim: unknown error\n");
    }
    return 1;
}

}  // namespace zd
