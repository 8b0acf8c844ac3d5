// zd4270-sim's program as a library: its command line, and a terminal served as it serves one,
// which the shared opening of a station's terminal reaches over Modbus TCP.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "connection/OpenTerminal.h"
#include "sim/Terminal.h"
#include "simserver/SimServerApp.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd {
namespace {

using test::ExamplePath;
using test::ReadAll;

struct Parsed {
    SimServerCommand command;
    std::string out;
    std::string err;
};

Parsed Parse(std::vector<std::string> args) {
    args.insert(args.begin(), "zd4270-sim");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Parsed parsed;
    parsed.command = ParseSimServerCommand(static_cast<int>(argv.size()), argv.data(), out, err);
    parsed.out = ReadAll(out);
    parsed.err = ReadAll(err);
    return parsed;
}

TEST(SimServerAppTest, TheCommandLineIsReadOrRefusedWithItsExitCode) {
    const Parsed served = Parse({"--station", "s.xml", "--pos", "3", "--listen", "127.0.0.1:1600/7",
                                 "--fault", "2:silent=on", "--window"});
    ASSERT_FALSE(served.command.exitCode) << served.err;
    const SimServerOptions& options = served.command.options;
    EXPECT_EQ(options.terminal.position, 3);
    EXPECT_EQ(options.listen, "127.0.0.1:1600/7");
    ASSERT_EQ(options.faults.size(), 1u);
    EXPECT_EQ(options.faults[0].gearId, 2);
    EXPECT_TRUE(options.window && !options.terminal.lineFileGiven);
    EXPECT_TRUE(options.terminal.lineFile->ends_with("/lines/three-addressed.json"));
    const Parsed serial = Parse({"--listen-rtu", "/dev/ttyUSB0:9600:N:2/4"});
    ASSERT_FALSE(serial.command.exitCode) << serial.err;
    EXPECT_EQ(serial.command.options.listenRtu, "/dev/ttyUSB0:9600:N:2/4");

    struct Case {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Case> refused = {
        {{"--pos", "64", "--station", "s.xml"}, "--pos needs a position 1 to 63, not \"64\""},
        {{"--pos", "2"}, "--pos chooses a terminal of --station; give both"},
        {{"--fault", "2:nonsense=on"}, "a gear's faults are "},
        {{"--listen", "127.0.0.1"}, "--listen: "},
        {{"--station", "s.xml", "--lines", "d", "--window"}, "it goes without --pos, --line"},
        {{"--station"}, "--station needs a value"},
        {{"--listen-rtu", "/dev/ttyUSB0:9601"}, "--listen-rtu: "},
        {{"--listen-rtu", "/dev/ttyUSB0", "--listen", "127.0.0.1:1502"},
         "--listen and --listen-rtu choose the transport both"},
        {{"--station", "s.xml", "--lines", "d", "--listen-rtu", "/dev/ttyUSB0"},
         "--lines serves a station's couplers on Modbus TCP"},
    };
    for (const Case& c : refused) {
        const Parsed run = Parse(c.args);
        EXPECT_EQ(run.command.exitCode, 2) << c.err;
        EXPECT_TRUE(run.err.starts_with("zd4270-sim: ")) << run.err;
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const Parsed version = Parse({"--version", "--nonsense"});
    EXPECT_EQ(version.command.exitCode, 0);
    EXPECT_TRUE(version.out.starts_with("zd4270-sim ")) << version.out;
}

TEST(SimServerAppTest, AServedTerminalFollowsItsStationAndTheOpeningReachesIt) {
    SimServerOptions options;
    options.terminal.stationFile = ExamplePath("stations/packed-intel.xml");
    options.terminal.lineFile = ExamplePath("lines/packed-motorola.json");
    options.faults = {sim::ParseFaultSetting("1:silent=on")};
    std::FILE* err = std::tmpfile();
    SimTerminalServer served(options, ModbusEndpoint{"127.0.0.1", 0}, err);
    // The station decides the byte order; the line file's other one is noted.
    EXPECT_NE(ReadAll(err).find("zd4270-sim: note: the line file"), std::string::npos);
    const std::string description = served.Description();
    for (const char* part :
         {"terminal at position 1 with 3 gear from ", "packed-motorola.json and ",
          "packed-intel.xml (STATUS table ", ", Intel)"})
        EXPECT_NE(description.find(part), std::string::npos) << part << ": " << description;
    EXPECT_TRUE(served.Terminal().Gear(1).Faults().m_silent);

    options.faults = {sim::ParseFaultSetting("4:silent=on")};
    std::FILE* quiet = std::tmpfile();
    EXPECT_THROW(SimTerminalServer(options, ModbusEndpoint{"127.0.0.1", 0}, quiet),
                 SimFaultRefused);
    std::fclose(quiet);

    // Over Modbus no line file is read; on the simulated line none means a line without gear.
    test::TestContext ctx;
    std::vector<std::string> notes;
    const auto note = [&notes](const std::string& text) { notes.push_back(text); };
    ConnectionTarget source = options.terminal;
    source.lineFile = ExamplePath("lines/no-such-line.json");
    source.modbus = "127.0.0.1:" + std::to_string(served.TcpServer()->Port());
    const OpenedTerminal remote = OpenTerminal(source, ctx.scheduler, note);
    EXPECT_TRUE(remote.devCom && !remote.simulated);
    source.modbus.clear();
    source.lineFile.reset();
    const OpenedTerminal empty = OpenTerminal(source, ctx.scheduler, note);
    ASSERT_TRUE(empty.simulated);
    EXPECT_EQ(empty.devCom, empty.simulated);
    EXPECT_TRUE(empty.simulated->Terminal().GetLine().Gear().empty());
    EXPECT_TRUE(notes.empty());
    source.lineFile = options.terminal.lineFile;
    const OpenedTerminal line = OpenTerminal(source, ctx.scheduler, note);
    EXPECT_EQ(line.simulated->Terminal().GetLine().Gear().size(), 3u);
    EXPECT_EQ(notes.size(), 1u);
}

}  // namespace
}  // namespace zd
