// Commissioning a building at once: 1, 4 and 16 terminals with 64 new gear each, run side by side
// through the command line (zd4270 --all) on simulated lines, and the scan over Modbus TCP on
// loopback against the simulator's coupler server. Prints line time, wall time, the ratio of wall
// time to one terminal's and CPU per terminal; then, first, what a user waits for: the line time
// per gear of the whole fast addressing command (search and closing scan), and of the paced one;
// the search alone (the command less a quick scan of the addressed line), the requests per
// second the fast search puts on a coupler, the line time the paced search spends on its checks,
// and the scan at the usual and the quick pace.
//
//   BenchBuilding [--no-modbus] [--modbus-addressing]
// --modbus-addressing also runs the fast random addressing over Modbus: some three and a half
// minutes of real time per size.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "cli/CommandLine.h"
#include "documents/Building.h"
#include "platform/RealScheduler.h"
#include "sim/LineFile.h"
#include "simserver/ModbusSimServer.h"

namespace {

namespace fs = std::filesystem;
using zd::Json;

constexpr int kGear = 64;

// A station of count ZD4270 on one coupler, word-aligned two words apart, and a line of 64 new gear
// for each, whose terminal leaves the search to the control.
std::string MakeBuilding(const fs::path& folder, int count) {
    fs::create_directories(folder / "lines");
    std::string xml =
        "<Station Name=\"Bench\"><Coupler Name=\"K1\">"
        "<ProcessDataGlobal EndianFormat=\"Intel\"/>";
    for (int i = 0; i < count; ++i) {
        const std::string pos = std::to_string(i + 1);
        const std::string word = std::to_string(2 * i);
        const std::string data = std::to_string(2 * i + 1);
        xml += "<Device Pos=\"" + pos +
               "\" Name=\"ZD4270\"><ProcessData><Channel No=\"0\">"
               "<Variable Dir=\"STATUS\" Offset=\"" +
               word +
               ".0\" Table=\"0\"/>"
               "<Variable Dir=\"INPUT\" Offset=\"" +
               data +
               ".0\" Table=\"0\"/>"
               "<Variable Dir=\"CONTROL\" Offset=\"" +
               word +
               ".0\" Table=\"1\"/>"
               "<Variable Dir=\"OUTPUT\" Offset=\"" +
               data +
               ".0\" Table=\"1\"/>"
               "</Channel></ProcessData></Device>";
        zd::sim::LineDescription line;
        line.terminal.firmwareVersion = 0x314C;
        line.terminal.randomSeed = static_cast<std::uint32_t>(i + 1);
        line.gear.resize(kGear);
        std::ofstream(folder / "lines" / ("pos-" + pos + ".json"))
            << zd::sim::WriteLineDescription(line);
    }
    std::ofstream(folder / "station.xml") << xml << "</Coupler></Station>\n";
    return (folder / "station.xml").string();
}

struct Figures {
    int exitCode = -1;
    double wallMs = 0;
    double lineMs = 0;
    double cpuPerTerminalMs = 0;
    // Per terminal: requests per second of line time, and the line time of the search's checks.
    double requestsPerSecond = 0;
    double checkMs = 0;
};

Figures Run(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"zd4270", "--lang", "en"};
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    zd::SessionOptions defaults;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const auto start = std::chrono::steady_clock::now();
    Figures figures;
    figures.exitCode =
        zd::RunCommandLine(static_cast<int>(argv.size()), argv.data(), defaults, out, err);
    figures.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::rewind(out);
    std::string text;
    char buffer[65536];
    for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
        text.append(buffer, n);
    std::fclose(out);
    std::fclose(err);
    const Json document = Json::parse(text);
    figures.lineMs = document.value("lineTimeMs", 0.0);
    double cpu = 0;
    double rate = 0;
    double check = 0;
    for (const Json& terminal : document.at("terminals")) {
        cpu += terminal.value("cpuMs", 0.0);
        const double lineMs = terminal.value("lineTimeMs", 0.0);
        if (lineMs > 0) rate += 1000.0 * terminal.value("requests", 0.0) / lineMs;
        check += terminal.value("checkTimeMs", 0.0);
    }
    const auto count = static_cast<double>(document.at("terminals").size());
    figures.cpuPerTerminalMs = cpu / count;
    figures.requestsPerSecond = rate / count;
    figures.checkMs = check / count;
    return figures;
}

void Print(const char* what, int terminals, const Figures& f, double oneWallMs) {
    std::printf("%-26s %3d  %10.2f s %10.0f ms %7.2f %10.1f ms%s\n", what, terminals,
                f.lineMs / 1000.0, f.wallMs, f.wallMs / oneWallMs, f.cpuPerTerminalMs,
                f.exitCode == 0 ? "" : "  (failed)");
}

}  // namespace

int main(int argc, char** argv) {
    bool modbus = true;
    bool modbusAddressing = false;
    for (int i = 1; i < argc; ++i) {
        modbus = modbus && std::string(argv[i]) != "--no-modbus";
        modbusAddressing = modbusAddressing || std::string(argv[i]) == "--modbus-addressing";
    }
    const fs::path folder =
        fs::temp_directory_path() / ("zd_bench_building_" + std::to_string(::getpid()));
    fs::remove_all(folder);
    std::printf("simulated lines, %d new gear per terminal, terminals run side by side\n", kGear);
    std::printf("%-26s %3s  %12s %13s %7s %13s\n", "command", "n", "line time", "wall time",
                "ratio", "CPU/terminal");
    double fastPerGear = 0;
    double fastWholePerGear = 0;
    double pacedPerGear = 0;
    double pacedWholePerGear = 0;
    double scanS = 0;
    double quickScanS = 0;
    double fastRequests = 0;
    double pacedChecksPerGear = 0;
    std::vector<std::pair<int, std::string>> stations;
    double oneWall[4] = {0, 0, 0, 0};
    for (const int count : {1, 4, 16}) {
        const fs::path here = folder / std::to_string(count);
        const std::string station = MakeBuilding(here, count);
        stations.emplace_back(count, station);
        const std::string lines = (here / "lines").string();
        const std::string saved = (here / "saved").string();
        const std::string store = (here / "store.ini").string();
        const std::vector<std::string> common = {"--station", station, "--all", "--registry",
                                                 store};
        auto with = [&](std::vector<std::string> more) {
            std::vector<std::string> args = common;
            args.insert(args.end(), more.begin(), more.end());
            return Run(args);
        };
        const Figures fast =
            with({"--lines", lines, "--save-lines", saved, "address", "random", "--fast"});
        const Figures paced = with({"--lines", lines, "address", "random"});
        const Figures scan = with({"--lines", saved, "scan"});
        // The closing scan of the addressing commands: quick, each silent address asked twice.
        const Figures quickScan = with({"--lines", saved, "scan", "--quick", "--ask-twice"});
        if (count == 1) {
            oneWall[0] = fast.wallMs;
            oneWall[1] = paced.wallMs;
            oneWall[2] = scan.wallMs;
            oneWall[3] = quickScan.wallMs;
            fastWholePerGear = fast.lineMs / kGear / 1000.0;
            pacedWholePerGear = paced.lineMs / kGear / 1000.0;
            fastPerGear = (fast.lineMs - quickScan.lineMs) / kGear / 1000.0;
            pacedPerGear = (paced.lineMs - quickScan.lineMs) / kGear / 1000.0;
            fastRequests = fast.requestsPerSecond;
            pacedChecksPerGear = paced.checkMs / kGear / 1000.0;
            scanS = scan.lineMs / 1000.0;
            quickScanS = quickScan.lineMs / 1000.0;
        }
        Print("address random --fast", count, fast, oneWall[0]);
        Print("address random (paced)", count, paced, oneWall[1]);
        Print("scan", count, scan, oneWall[2]);
        Print("scan --quick --ask-twice", count, quickScan, oneWall[3]);
    }
    std::printf(
        "\naddress random --fast, whole command: %.3f s of line time per gear "
        "(paced: %.3f s, %.1f times as long)\n",
        fastWholePerGear, pacedWholePerGear, pacedWholePerGear / fastWholePerGear);
    std::printf("the search alone: fast %.3f s, paced %.3f s per gear; fast %.0f requests/s\n",
                fastPerGear, pacedPerGear, fastRequests);
    std::printf("checks of the paced search: %.2f s per gear (%.0f %% of its line time)\n",
                pacedChecksPerGear, 100.0 * pacedChecksPerGear / pacedPerGear);
    std::printf("scan of %d addresses: %.2f s, quick with the second ask %.2f s of line time\n",
                kGear, scanS, quickScanS);

    if (modbus) {
        std::printf("\nModbus TCP on loopback, the simulator's coupler server (real time)\n");
        double one = 0;
        double oneAddressing = 0;
        for (const auto& [count, station] : stations) {
            const fs::path here = folder / std::to_string(count);
            zd::RealScheduler scheduler;
            const zd::StationDocument document = zd::StationDocument::Load(station);
            // The new lines for the addressing, the addressed ones for the scan alone.
            const std::string lines = (here / (modbusAddressing ? "lines" : "saved")).string();
            std::vector<std::shared_ptr<zd::SimDevCom>> terminals;
            for (const zd::StationTerminal& terminal : zd::StationZd4270Terminals(document)) {
                terminals.push_back(zd::CreateSimulatedDevCom(
                    scheduler, terminal.node,
                    zd::sim::LoadLineFile(zd::LineFileOfPosition(lines, terminal.position))));
            }
            zd::ModbusEndpoint endpoint;
            endpoint.port = 0;
            zd::ModbusSimServer server(std::make_shared<zd::CouplerDevCom>(terminals), endpoint);
            std::thread serving([&] {
                while (!server.Stopping()) {
                    server.Step(50);
                    scheduler.DoEvents();
                }
            });
            const std::vector<std::string> common = {"--station",
                                                     station,
                                                     "--all",
                                                     "--registry",
                                                     (here / "store-mb.ini").string(),
                                                     "--modbus",
                                                     server.Endpoint().Text()};
            auto with = [&](std::vector<std::string> more) {
                std::vector<std::string> args = common;
                args.insert(args.end(), more.begin(), more.end());
                return Run(args);
            };
            if (modbusAddressing) {
                const Figures fast = with({"address", "random", "--fast"});
                if (count == 1) oneAddressing = fast.wallMs;
                Print("address random --fast", count, fast, oneAddressing);
            }
            const Figures scan = with({"scan"});
            server.Stop();
            serving.join();
            if (count == 1) one = scan.wallMs;
            Print("scan", count, scan, one);
        }
    }
    fs::remove_all(folder);
    return 0;
}
