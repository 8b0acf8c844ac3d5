// zd4270-sim: a simulated ZD4270 terminal and its DALI line, served on Modbus TCP so that zd4270
// --modbus HOST:PORT (or any Modbus client) can drive it over a real socket, or on Modbus RTU over
// a serial line for zd4270 --modbus-rtu. Headless, or with --window a window of the lamps; runs
// until SIGINT or SIGTERM (or the window is closed).
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QTimer>

#include "gui/LampWindow.h"
#include "gui/MainWindow.h"
#include "host/Building.h"
#include "host/InstallPaths.h"
#include "host/ModbusDevCom.h"
#include "host/ModbusRtuServer.h"
#include "host/ModbusSimServer.h"
#include "host/SimDevCom.h"
#include "host/StationDocument.h"
#include "platform/Error.h"
#include "platform/RealScheduler.h"
#include "platform/Version.h"
#include "sim/Faults.h"
#include "sim/LineFile.h"

namespace {

volatile std::sig_atomic_t g_stopRequested = 0;

void RequestStop(int) {
    g_stopRequested = 1;
}

const zd::ModbusServerLimits kLimits;

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
std::string UnitsText(const zd::ModbusEndpoint& endpoint) {
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
        Wrapped(zd::sim::GearFaultNames(), 28).c_str(),
        Wrapped(zd::sim::TerminalFaultNames(), 32).c_str(), zd::kModbusMappingText,
        zd::kMbapMaxLength, kLimits.maxClients,
        static_cast<long long>(kLimits.idleTimeoutMs / 1000),
        static_cast<long long>(kLimits.frameTimeoutMs / 1000));
}

struct Options {
    std::string lineFile = zd::ExamplesDir() + "/lines/three-addressed.json";
    std::string stationFile;
    std::optional<std::int32_t> position;
    std::string listen = "127.0.0.1:1502";
    bool listenGiven = false;
    // A serial line to serve Modbus RTU on instead of TCP.
    std::string listenRtu;
    bool window = false;
    std::string linesDir;
    bool lineGiven = false;
    std::vector<zd::sim::FaultSetting> faults;
};

// How often the window's event loop looks for Modbus traffic.
constexpr int kWindowPollMs = 5;

std::string DescribeEntry(const char* name, const zd::sim::ImageEntry& entry) {
    return std::string(name) + " table " + std::to_string(entry.nTableNumber) + " word " +
           std::to_string(entry.nWordOffset) + "." + std::to_string(entry.nBitOffset);
}

std::string DescribeTerminal(zd::sim::Terminal& terminal, const std::string& source) {
    const zd::sim::ImageLayout& layout = terminal.Layout();
    return "terminal at position " + std::to_string(terminal.Position()) + " with " +
           std::to_string(terminal.GetLine().Gear().size()) + " gear from " + source + " (" +
           DescribeEntry("STATUS", layout.entries[zd::sim::kImageStatus]) + ", " +
           DescribeEntry("INPUT", layout.entries[zd::sim::kImageInput]) + ", " +
           DescribeEntry("CONTROL", layout.entries[zd::sim::kImageControl]) + ", " +
           DescribeEntry("OUTPUT", layout.entries[zd::sim::kImageOutput]) + ", " +
           (layout.motorola ? "Motorola" : "Intel") + ")";
}

// Checks that the Modbus mapping reaches a terminal's registers and process-image words.
void CheckMapping(zd::sim::Terminal& terminal) {
    if (!zd::ModbusRegisterAddress(terminal.Position(), 0, 0, 1)) {
        throw zd::ControlError("the terminal's position " + std::to_string(terminal.Position()) +
                               " has no Modbus registers (positions 1 to 63)");
    }
    for (const zd::sim::ImageEntry& entry : terminal.Layout().entries) {
        if (!zd::ModbusRegisterAddress(0, entry.nTableNumber, entry.nWordOffset, 2)) {
            throw zd::ControlError("process-image table " + std::to_string(entry.nTableNumber) +
                                   " word " + std::to_string(entry.nWordOffset) +
                                   " has no Modbus register (tables 0 to 15)");
        }
    }
}

int Serve(const Options& options, int& argc, char** argv) {
    zd::RealScheduler scheduler;
    std::shared_ptr<zd::SimDevCom> devCom;
    std::string source = options.lineFile;
    if (options.stationFile.empty()) {
        devCom = zd::SimDevCom::FromLineFile(scheduler, options.lineFile);
    } else {
        const zd::StationDocument station = zd::StationDocument::Load(options.stationFile);
        const zd::XmlNode node =
            options.position ? station.ChooseTerminal(*options.position) : station.ChooseTerminal();
        const zd::sim::LineDescription line = zd::sim::LoadLineFile(options.lineFile);
        if (auto note = zd::LinePlacementNote(line, options.lineFile, node, options.stationFile))
            std::fprintf(stderr, "zd4270-sim: %s\n", note->c_str());
        devCom = zd::CreateSimulatedDevCom(scheduler, node, line);
        source += " and " + options.stationFile;
    }

    // A terminal the register mapping cannot reach would be served in vain.
    zd::sim::Terminal& terminal = devCom->Terminal();
    CheckMapping(terminal);
    for (const zd::sim::FaultSetting& fault : options.faults) {
        try {
            zd::sim::ApplyFault(terminal, fault);
        } catch (const zd::ControlError& error) {
            std::fprintf(stderr, "zd4270-sim: %s\n", error.Description().c_str());
            return 2;
        }
    }

    // The one transport served; the terminal and its registers are the same on both.
    std::unique_ptr<zd::ModbusSimServer> tcp;
    std::unique_ptr<zd::ModbusRtuSimServer> rtu;
    std::string where;
    const auto log = [](const std::string& line) {
        std::fprintf(stderr, "zd4270-sim: %s\n", line.c_str());
    };
    if (options.listenRtu.empty()) {
        tcp = std::make_unique<zd::ModbusSimServer>(devCom, zd::ParseModbusEndpoint(options.listen),
                                                    kLimits);
        tcp->SetLog(log);
        where = tcp->Endpoint().Text();
    } else {
        rtu = std::make_unique<zd::ModbusRtuSimServer>(
            devCom, zd::ParseModbusSerialLine(options.listenRtu));
        rtu->SetLog(log);
        where = rtu->Line().device;
    }
    const auto step = [&](int timeoutMs) { tcp ? tcp->Step(timeoutMs) : rtu->Step(timeoutMs); };

    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (tcp) {
        std::printf("zd4270-sim: serving the %s on Modbus TCP %s; %s, %s\n",
                    DescribeTerminal(terminal, source).c_str(), where.c_str(),
                    UnitsText(tcp->Endpoint()).c_str(), zd::kModbusMappingText);
    } else {
        std::printf("zd4270-sim: serving the %s on Modbus RTU %s; %s\n",
                    DescribeTerminal(terminal, source).c_str(), rtu->Line().Where().c_str(),
                    zd::kModbusMappingText);
    }
    std::fflush(stdout);

    if (options.window) {
        QApplication app(argc, argv);
        QApplication::setWindowIcon(zd::ApplicationIcon());
        zd::LampWindow window(terminal, nullptr, zd::LampWindow::kColumns,
                              zd::MessageCatalogue::LanguageFromEnvironment());
        window.setWindowTitle(QString::fromStdString("zd4270-sim lamps - " + where));
        QTimer poll;
        std::string failure;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (g_stopRequested != 0) {
                app.quit();
                return;
            }
            // Nothing may leave a slot of Qt's event loop: a failure ends the loop and is reported
            // by main like any other.
            try {
                step(0);
                scheduler.DoEvents();
            } catch (const zd::ControlError& error) {
                failure = error.Description();
            } catch (const std::exception& error) {
                failure = error.what();
            } catch (...) {
                failure = "unknown error";
            }
            if (!failure.empty()) app.exit(1);
        });
        poll.start(kWindowPollMs);
        window.show();
        app.exec();
        if (!failure.empty()) throw zd::ControlError(failure);
    } else {
        while (g_stopRequested == 0) {
            step(200);
            scheduler.DoEvents();
        }
    }
    std::printf("zd4270-sim: stopped after %lld requests\n",
                static_cast<long long>(tcp ? tcp->Requests() : rtu->Requests()));
    return 0;
}

// One coupler of a building: its own clock and terminals, served by its own thread, so that the
// couplers are as independent as on site.
struct CouplerServer {
    std::unique_ptr<zd::RealScheduler> scheduler;
    std::unique_ptr<zd::ModbusSimServer> server;
};

int ServeBuilding(const Options& options) {
    const zd::StationDocument station = zd::StationDocument::Load(options.stationFile);
    const std::vector<zd::StationTerminal> terminals = zd::StationZd4270Terminals(station);
    const std::vector<std::string> couplers = zd::StationCouplers(station);
    const zd::ModbusEndpoint first = zd::ParseModbusEndpoint(options.listen);
    std::vector<CouplerServer> servers;
    for (std::size_t coupler = 0; coupler < couplers.size(); ++coupler) {
        CouplerServer served;
        served.scheduler = std::make_unique<zd::RealScheduler>();
        std::vector<std::shared_ptr<zd::SimDevCom>> simulated;
        std::string positions;
        for (const zd::StationTerminal& terminal : terminals) {
            if (terminal.coupler != static_cast<int>(coupler)) continue;
            const std::string path = zd::LineFileOfPosition(options.linesDir, terminal.position);
            zd::sim::LineDescription line;
            if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
                std::fclose(probe);
                line = zd::sim::LoadLineFile(path);
            }
            simulated.push_back(zd::CreateSimulatedDevCom(*served.scheduler, terminal.node, line));
            CheckMapping(simulated.back()->Terminal());
            positions +=
                (positions.empty() ? "" : ", ") + std::to_string(terminal.position) + " (" +
                std::to_string(simulated.back()->Terminal().GetLine().Gear().size()) + " gear)";
        }
        zd::ModbusEndpoint endpoint = first;
        endpoint.port = static_cast<std::uint16_t>(first.port + coupler);
        if (first.port == 0 || first.port + coupler > 65535)
            throw zd::ControlError("--listen needs a port with room for every coupler after it");
        served.server = std::make_unique<zd::ModbusSimServer>(
            std::make_shared<zd::CouplerDevCom>(std::move(simulated)), endpoint, kLimits);
        const std::string name = couplers[coupler];
        served.server->SetLog([name](const std::string& line) {
            std::fprintf(stderr, "zd4270-sim: %s: %s\n", name.c_str(), line.c_str());
        });
        std::printf("zd4270-sim: coupler \"%s\" on Modbus TCP %s: ZD4270 at %s\n", name.c_str(),
                    served.server->Endpoint().Text().c_str(),
                    positions.empty() ? "no position" : positions.c_str());
        servers.push_back(std::move(served));
    }
    std::printf("zd4270-sim: %s, %s\n", UnitsText(first).c_str(), zd::kModbusMappingText);
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::vector<std::thread> threads;
    std::vector<std::string> failures(servers.size());
    for (std::size_t i = 0; i < servers.size(); ++i) {
        threads.emplace_back([&, i] {
            try {
                while (!servers[i].server->Stopping()) {
                    servers[i].server->Step(200);
                    servers[i].scheduler->DoEvents();
                }
            } catch (const zd::ControlError& error) {
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
    std::printf("zd4270-sim: stopped after %lld requests\n", static_cast<long long>(requests));
    for (const std::string& failure : failures)
        if (!failure.empty()) throw zd::ControlError(failure);
    return 0;
}

int Run(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zd4270-sim: %s needs a value\n", arg.c_str());
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--line") {
            options.lineFile = value();
            options.lineGiven = true;
        } else if (arg == "--lines") {
            options.linesDir = value();
        } else if (arg == "--station") {
            options.stationFile = value();
        } else if (arg == "--pos") {
            const char* text = value();
            char* end = nullptr;
            const long position = std::strtol(text, &end, 10);
            if (*text == '\0' || *end != '\0' || position < 1 ||
                position > zd::kModbusMaxPosition) {
                std::fprintf(stderr, "zd4270-sim: --pos needs a position 1 to %d, not \"%s\"\n",
                             zd::kModbusMaxPosition, text);
                return 2;
            }
            options.position = static_cast<std::int32_t>(position);
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
                options.faults.push_back(zd::sim::ParseFaultSetting(faultText));
            } catch (const zd::ControlError& error) {
                std::fprintf(stderr, "zd4270-sim: %s\n", error.Description().c_str());
                return 2;
            }
        } else if (arg == "-h" || arg == "--help") {
            PrintUsage(stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("zd4270-sim %s\n", zd::kProgramVersion);
            return 0;
        } else {
            std::fprintf(stderr, "zd4270-sim: unknown argument \"%s\"\n", arg.c_str());
            PrintUsage(stderr);
            return 2;
        }
    }
    // A listen address that cannot be served is a wrong command line, found before anything opens.
    try {
        zd::ParseModbusEndpoint(options.listen);
    } catch (const zd::ControlError& error) {
        std::fprintf(stderr, "zd4270-sim: --listen: %s\n", error.Description().c_str());
        return 2;
    }
    if (!options.listenRtu.empty()) {
        try {
            zd::ParseModbusSerialLine(options.listenRtu);
        } catch (const zd::ControlError& error) {
            std::fprintf(stderr, "zd4270-sim: --listen-rtu: %s\n", error.Description().c_str());
            return 2;
        }
        if (options.listenGiven) {
            std::fprintf(stderr,
                         "zd4270-sim: --listen and --listen-rtu choose the transport both; give "
                         "one of them\n");
            return 2;
        }
        if (!options.linesDir.empty()) {
            std::fprintf(stderr,
                         "zd4270-sim: --lines serves a station's couplers on Modbus TCP; "
                         "--listen-rtu serves one terminal (--station FILE --pos N)\n");
            return 2;
        }
    }
    if (options.position && options.stationFile.empty()) {
        std::fprintf(stderr, "zd4270-sim: --pos chooses a terminal of --station; give both\n");
        return 2;
    }
    if (!options.linesDir.empty()) {
        if (options.stationFile.empty()) {
            std::fprintf(stderr,
                         "zd4270-sim: --lines serves the terminals of a station; give --station "
                         "FILE with it\n");
            return 2;
        }
        if (options.position || options.window || options.lineGiven || !options.faults.empty()) {
            std::fprintf(stderr,
                         "zd4270-sim: --lines serves a whole --station; it goes without "
                         "--pos, --line, --window and --fault (faults go into the line files)\n");
            return 2;
        }
        return ServeBuilding(options);
    }
    return Serve(options, argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
    // Every failure, out of memory included, ends in a message and exit code 1 (bad arguments 2).
    try {
        return Run(argc, argv);
    } catch (const zd::ControlError& error) {
        std::fprintf(stderr, "zd4270-sim: %s\n", error.Description().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zd4270-sim: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "zd4270-sim: unknown error\n");
    }
    return 1;
}
