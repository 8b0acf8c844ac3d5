// zd4270-sim's program: a simulated ZD4270 terminal and its DALI line, served on Modbus TCP so
// that zd4270 --modbus HOST:PORT (or any Modbus client) can drive it over a real socket, or on
// Modbus RTU over a serial line for zd4270 --modbus-rtu; or with --lines every ZD4270 of a
// station, a server per coupler. It runs until SIGINT or SIGTERM (or
// until the window of its lamps, which the program hands in, is closed).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection/ConnectionTarget.h"
#include "connection/InstallPaths.h"
#include "platform/Error.h"
#include "platform/RealScheduler.h"
#include "sim/Faults.h"
#include "simserver/ModbusRtuServer.h"
#include "simserver/ModbusSimServer.h"
#include "transport/ModbusDevCom.h"
#include "transport/SimDevCom.h"

namespace zd {

// What the command line asks for; see PrintUsage in SimServerApp.cpp.
struct SimServerOptions {
    // The terminal served: the line file's (its default the example line), at the station's
    // terminal when a station is given. Its Modbus fields stay empty: the simulator is the
    // terminal that --modbus reaches.
    ConnectionTarget terminal = DefaultTerminal();
    std::string listen = "127.0.0.1:1502";
    bool listenGiven = false;
    // A serial line to serve Modbus RTU on instead of TCP.
    std::string listenRtu;
    bool window = false;
    std::string linesDir;
    std::vector<sim::FaultSetting> faults;

    static ConnectionTarget DefaultTerminal() {
        ConnectionTarget terminal;
        terminal.lineFile = ExamplesDir() + "/lines/three-addressed.json";
        return terminal;
    }
};

// The command line read: the options to serve with, or the exit code of a run that ends with it
// (0 after --help or --version, printed on out; 2 for a wrong command line, said on err).
struct SimServerCommand {
    SimServerOptions options;
    std::optional<int> exitCode;
};
SimServerCommand ParseSimServerCommand(int argc, char** argv, std::FILE* out, std::FILE* err);

// A fault that the line or the terminal does not have: a wrong command line.
class SimFaultRefused : public ControlError {
  public:
    using ControlError::ControlError;
};

// One simulated terminal served on Modbus TCP or on Modbus RTU, as zd4270-sim serves it without
// --lines, on a real-time clock of its own. The terminal and its registers are the same on both.
class SimTerminalServer {
  public:
    // The terminal of options' line (at the station's terminal, when a station is given; a line
    // file that places it otherwise is noted on err), with options' faults switched on, listening
    // on endpoint (port 0: a free port). Throws ControlError when the files cannot be used, the
    // Modbus mapping cannot reach the terminal or the endpoint cannot be listened on;
    // SimFaultRefused for a fault that does not fit.
    SimTerminalServer(const SimServerOptions& options, const ModbusEndpoint& endpoint,
                      std::FILE* err);
    // The same terminal served on the serial line instead; ControlError as well when the line
    // cannot be opened.
    SimTerminalServer(const SimServerOptions& options, const ModbusSerialLine& line,
                      std::FILE* err);

    sim::Terminal& Terminal() { return m_devCom->Terminal(); }
    // The server of the transport served; null for the other one.
    ModbusSimServer* TcpServer() { return m_server.get(); }
    ModbusRtuSimServer* RtuServer() { return m_rtuServer.get(); }
    // Where it is served: the Modbus TCP address, or the serial device.
    std::string Where() const;
    std::int64_t Requests() const;
    // "the terminal at position 1 with 3 gear from FILE (STATUS table ..., Intel)".
    std::string Description();
    // Serves the requests that come within waitMs, then lets the simulator's due timers fire.
    void Step(int waitMs);

  private:
    // Opens the terminal and switches its faults on.
    void Prepare(const SimServerOptions& options, std::FILE* err);

    RealScheduler m_scheduler;
    std::shared_ptr<SimDevCom> m_devCom;
    std::string m_source;
    std::unique_ptr<ModbusSimServer> m_server;
    std::unique_ptr<ModbusRtuSimServer> m_rtuServer;
};

// Serves a terminal with its lamps in a window (--window), from the window's event loop, until
// SimStopRequested() or the window is closed. Throws ControlError for a failure while serving.
using SimLampWindow = std::function<void(int& argc, char** argv, SimTerminalServer& served)>;

// Whether SIGINT or SIGTERM asked a serving zd4270-sim to stop.
bool SimStopRequested();

// The whole program: 0 once a signal (or the window) stopped it, 2 for a wrong command line, 1
// for anything that cannot be served, said on err. Every failure, out of memory included, ends in
// a message and one of these codes.
int RunSimServer(int& argc, char** argv, std::FILE* out, std::FILE* err,
                 const SimLampWindow& lampWindow);

}  // namespace zd
