// The headless commands as users run them: the command line main passes on, on the example lines,
// with the JSON document read back; runs chained through the line files they save.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliRun.h"
#include "cli/CommandLine.h"
#include "documents/Building.h"
#include "documents/StationDocument.h"
#include "platform/RealScheduler.h"
#include "sim/LineFile.h"
#include "simserver/ModbusSimServer.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using test::Outcome;

using test::Args;
using test::ExampleLine;
using test::ShortAddresses;

class CommandLineTest : public test::FolderTest {
  protected:
    CommandLineTest() : FolderTest("zd_cli_") {}

    // zd4270 with these arguments on the packed Intel station, three-addressed line by default.
    // prepare reaches the simulated device communication before the control opens it.
    static Outcome Zd(const std::vector<std::string>& args,
                      std::function<void(SimDevCom&)> prepare = {}) {
        SessionOptions defaults = test::ExampleDefaults();
        defaults.prepareSimulatedLine = std::move(prepare);
        Outcome run = test::RunZd(args, defaults);
        EXPECT_FALSE(run.json.is_string()) << "stdout holds no JSON: " << run.json;
        return run;
    }
};

TEST_F(CommandLineTest, RandomAddressingIsSavedWithTheLineAndFoundByTheNextScan) {
    const Outcome addressing =
        Zd({"address", "random", "--line", ExampleLine("sixteen-unaddressed.json"), "--save-line",
            File("addressed.json")});
    ASSERT_EQ(addressing.exitCode, 0) << addressing.json.dump();
    EXPECT_EQ(addressing.json.at("variant"), "terminal");
    // The terminal's box with its count is carried by the document.
    EXPECT_EQ(addressing.json.at("messages").size(), 1u);

    const Outcome scan = Zd({"scan", "--line", File("addressed.json")});
    ASSERT_EQ(scan.exitCode, 0);
    EXPECT_EQ(ShortAddresses(scan.json.at("devices")), test::Range(0, 16));
    // The terminal does not say which addresses it gave; the run's own scan does.
    EXPECT_EQ(addressing.json.at("devices"), scan.json.at("devices"));
}

// The example of a messy site: a lost answer, a gear that answers every second question, a slow
// gear, two gear with one random address, a gear that powers up late. Both searches address every
// gear, the closing scan finds them all, and the document says what was got over.
TEST_F(CommandLineTest, BothSearchesHoldOnTheMessySiteAndSaySo) {
    for (const bool fast : {false, true}) {
        std::vector<std::string> args = {"address", "random", "--line",
                                         ExampleLine("messy-site.json")};
        if (fast) args.push_back("--fast");
        const Outcome run = Zd(args);
        ASSERT_EQ(run.exitCode, 0) << run.json.dump();
        EXPECT_EQ(ShortAddresses(run.json.at("devices")), test::Range(0, 9)) << fast;
        std::set<std::string> kinds;
        for (const Json& r : run.json.at("recovered"))
            kinds.insert(r.at("what").get<std::string>());
        EXPECT_EQ(kinds.count("clash"), 1u) << run.json.dump();
        EXPECT_EQ(kinds.count("second-ask"), 1u) << run.json.dump();
        EXPECT_GT(run.json.at("requests").get<int>(), 0);
    }
    // A plain scan misses the gear that answers every second question; the second ask finds it.
    const Outcome plain = Zd({"scan", "--line", ExampleLine("messy-site.json")});
    const Outcome twice = Zd({"scan", "--ask-twice", "--line", ExampleLine("messy-site.json")});
    EXPECT_EQ(ShortAddresses(plain.json.at("devices")), std::vector<int>{});
    EXPECT_EQ(ShortAddresses(twice.json.at("devices")), std::vector<int>{0});
    EXPECT_EQ(twice.json.at("recovered").at(0).at("shortAddress"), 0);
    // The quick pace asks a silent address again just as safely.
    const Outcome quick =
        Zd({"scan", "--ask-twice", "--quick", "--line", ExampleLine("messy-site.json")});
    EXPECT_EQ(ShortAddresses(quick.json.at("devices")), std::vector<int>{0});
    EXPECT_EQ(quick.json.at("recovered").at(0).at("what"), "second-ask");
}

// The quick scan of a full line takes well under half the line time of the usual pace and finds
// the same devices.
TEST_F(CommandLineTest, TheQuickScanFindsAFullLineInUnderThreeSeconds) {
    const Outcome paced = Zd({"scan", "--line", ExampleLine("full-line.json")});
    const Outcome quick = Zd({"scan", "--quick", "--line", ExampleLine("full-line.json")});
    ASSERT_EQ(quick.exitCode, 0) << quick.json.dump();
    EXPECT_EQ(ShortAddresses(quick.json.at("devices")), test::Range(0, 64));
    EXPECT_EQ(quick.json.at("devices"), paced.json.at("devices"));
    EXPECT_LE(quick.json.at("lineTimeMs").get<int>(), 2600);
    EXPECT_GE(paced.json.at("lineTimeMs").get<int>(), 6000);
}

// The fast search of a full line of new gear, closing scan included, stays within 1.6 s of line
// time per gear, and writes hardly more search address bytes than it asks COMPAREs.
TEST_F(CommandLineTest, TheFastSearchAddressesAFullLineWithinItsLineTime) {
    const std::string line = EditedLine("new.json", "full-line.json", [](sim::LineDescription& l) {
        l.terminal.firmwareVersion = 0x314C;
        for (auto& gear : l.gear) gear.shortAddress.reset();
    });
    const Outcome run =
        Zd({"address", "random", "--fast", "--line", line, "--frame-log", File("frames.txt")});
    ASSERT_EQ(run.exitCode, 0) << run.json.dump();
    EXPECT_EQ(ShortAddresses(run.json.at("devices")), test::Range(0, 64));
    EXPECT_LE(run.json.at("lineTimeMs").get<int>(), 64 * 1600);
    const std::string frames = test::ReadFileText(File("frames.txt"));
    const auto count = [&](const std::string& word) {
        std::size_t n = 0;
        for (std::size_t at = frames.find(word); at != std::string::npos;
             at = frames.find(word, at + 1))
            ++n;
        return n;
    };
    EXPECT_LE(count("* search addr"), count("* compare") + 2 * 64);
}

// A second master on the line: collided commands go out again and the document counts them;
// collisions that go on end the run with exit 1 and say so. send does the same.
TEST_F(CommandLineTest, CollisionsAreSentAgainAndCollisionsThatGoOnFail) {
    const auto line = [&](const std::string& name, int afterInitialise, int percent) {
        return EditedLine(name, "sixteen-unaddressed-1L.json", [&](sim::LineDescription& l) {
            l.gear.resize(4);
            l.terminal.faults.m_collideAfterInitialise = afterInitialise;
            l.terminal.faults.m_collisionPercent = percent;
            l.terminal.faults.m_collideNextCommands = afterInitialise == 0 ? 2 : 0;
        });
    };
    const Outcome run = Zd({"address", "random", "--fast", "--line", line("c.json", 5, 5)});
    ASSERT_EQ(run.exitCode, 0) << run.json.dump();
    EXPECT_EQ(ShortAddresses(run.json.at("devices")), test::Range(0, 4));
    EXPECT_EQ(run.json.at("recovered").at(0).at("what"), "collision") << run.json.dump();

    const Outcome stopped = Zd({"address", "random", "--line", line("g.json", 1000, 0)});
    EXPECT_EQ(stopped.exitCode, 1) << stopped.json.dump();
    test::ExpectParts(stopped.json.dump(), {"Another master keeps colliding"});

    const Outcome sent = Zd({"send", "off", "--broadcast", "--line", line("s.json", 0, 0)});
    ASSERT_EQ(sent.exitCode, 0) << sent.json.dump();
    EXPECT_EQ(sent.json.at("recovered").at(0).at("count"), 2) << sent.json.dump();
}

TEST_F(CommandLineTest, ArchiveUploadWritesAFileThatDownloadWritesBackIntoTheGear) {
    const Outcome upload = Zd({"archive", "upload", File("archive.xml")});
    ASSERT_EQ(upload.exitCode, 0) << upload.json.dump();
    ASSERT_TRUE(std::filesystem::exists(File("archive.xml")));

    // Address 0 leaves group 0 and scene 0; the download puts it back.
    const std::string bare =
        EditedLine("b.json", "three-addressed.json", [](sim::LineDescription& l) {
            l.gear.at(0).groups = 0;
            l.gear.at(0).scenes[0] = 255;
        });
    const Outcome download = Zd({"archive", "download", File("archive.xml"), "--yes", "--line",
                                 bare, "--save-line", File("c.json")});
    ASSERT_EQ(download.exitCode, 0) << download.json.dump();
    const sim::GearConfig gear = sim::LoadLineFile(File("c.json")).gear.at(0);
    EXPECT_EQ(gear.groups, 1);
    EXPECT_EQ(gear.scenes[0], 200);
    // 63 has no groups or scenes, so the archive has no element for it: it is written empty.
    EXPECT_EQ(download.json.at("cleared"), Json::array({63}));

    // An archive of address 0 alone: the devices the last scan found at 5 and 63 lose their
    // groups and scenes, which the refusal names before anything is sent and the document lists.
    std::string text = test::ReadFileText(File("archive.xml"));
    const std::size_t from = text.find("<ballast address=\"5\"");
    ASSERT_NE(from, std::string::npos) << text;
    text.erase(from, text.rfind("</ballast>") + 10 - from);
    std::ofstream(File("only0.xml")) << text;
    ASSERT_EQ(Zd({"scan"}).exitCode, 0);
    const Outcome refused = Zd({"archive", "download", File("only0.xml")});
    EXPECT_EQ(refused.exitCode, 2);
    test::ExpectParts(
        refused.json.at("error").get<std::string>(),
        {"2 device(s) on this line that the archive does not list lose theirs (5, 63)"});
    // The refusal names this line's gear, not the list a scan of another line left in the store.
    const Outcome onEmpty =
        Zd({"archive", "download", File("only0.xml"), "--line", ExampleLine("empty.json")});
    EXPECT_EQ(onEmpty.exitCode, 2);
    EXPECT_EQ(onEmpty.json.at("error").get<std::string>().find("lose theirs"), std::string::npos)
        << onEmpty.json.dump();
    const Outcome partial = Zd({"archive", "download", File("only0.xml"), "--yes"});
    ASSERT_EQ(partial.exitCode, 0) << partial.json.dump();
    EXPECT_EQ(partial.json.at("cleared"), Json::array({5, 63}));
}

TEST_F(CommandLineTest, OptionsSwitchToDsiModeWhichTheNextRunKeeps) {
    const Outcome before = Zd({"options"});
    EXPECT_EQ(before.json.at("mode"), "dali");
    // A number for scripts, the text the options tab shows beside it.
    EXPECT_EQ(before.json.at("firmwareVersion"), 0x314D);
    EXPECT_THAT(before.json.at("firmwareVersionText").get<std::string>(),
                ::testing::HasSubstr("1M"));
    const Outcome set =
        Zd({"options", "--mode", "dsi", "--power-supply", "off", "--save-line", File("dsi.json")});
    ASSERT_EQ(set.exitCode, 0) << set.json.dump();
    EXPECT_EQ(set.json.at("mode"), "dsi");
    EXPECT_EQ(set.json.at("powerSupply"), false);

    const Outcome reread = Zd({"options", "--line", File("dsi.json")});
    EXPECT_EQ(reread.json.at("mode"), "dsi");
    EXPECT_EQ(reread.json.at("countDevices"), true);
}

// --fast speeds up the control's own search, and a terminal that searches itself says that it did
// not apply.
TEST_F(CommandLineTest, RandomAddressingSaysWhichOfItsOptionsApply) {
    const std::string older = ExampleLine("sixteen-unaddressed-1L.json");
    const Outcome control = Zd({"address", "random", "--fast", "--line", older});
    ASSERT_EQ(control.exitCode, 0) << control.json.dump();
    EXPECT_EQ(control.json.at("variant"), "control");
    EXPECT_EQ(control.json.at("fastSearch"), true);
    EXPECT_FALSE(control.json.contains("note"));
    EXPECT_EQ(control.json.at("devices").size(), 16u);
    // The line time of the search's checks (every new address asked about twice) is told.
    EXPECT_GT(control.json.at("checkTimeMs").get<std::int64_t>(), 0);

    const Outcome terminal =
        Zd({"address", "random", "--fast", "--line", ExampleLine("sixteen-unaddressed.json")});
    ASSERT_EQ(terminal.exitCode, 0) << terminal.json.dump();
    EXPECT_EQ(terminal.json.at("fastSearch"), false);
    EXPECT_FALSE(terminal.json.contains("checkTimeMs"));
    EXPECT_THAT(terminal.json.at("note").get<std::string>(),
                ::testing::HasSubstr("--fast did not apply"));
}

// A terminal still running its own random addressing (its client was stopped) keeps the scan
// from starting: the scan says why and what to do.
TEST_F(CommandLineTest, AScanWhileTheTerminalIsStillAddressingSaysWhy) {
    const Outcome scan =
        Zd({"scan", "--line", ExampleLine("sixteen-unaddressed.json")}, [](SimDevCom& devCom) {
            // Control bit 3, as an earlier run set it.
            sim::Terminal& terminal = devCom.Terminal();
            std::uint16_t words[2] = {};
            terminal.ReadTable(0, 1, 0, 2, words);
            words[0] ^= 0x08;
            terminal.WriteTable(0, 1, 0, 2, words);
        });
    EXPECT_EQ(scan.exitCode, 1) << scan.json.dump();
    EXPECT_EQ(scan.json.at("failedStep"), "start");
    EXPECT_THAT(scan.json.at("error").get<std::string>(),
                ::testing::AllOf(::testing::HasSubstr("the terminal is still addressing"),
                                 ::testing::HasSubstr("scan again")));
}

// The same terminal, asked to address: the run it is already making is followed to its end (no
// second start), its count told, the line scanned afterwards.
TEST_F(CommandLineTest, RandomAddressingTakesUpTheRunTheTerminalIsMaking) {
    const Outcome addressing =
        Zd({"address", "random", "--line", ExampleLine("sixteen-unaddressed.json")},
           [](SimDevCom& devCom) {
               sim::Terminal& terminal = devCom.Terminal();
               std::uint16_t words[2] = {};
               terminal.ReadTable(0, 1, 0, 2, words);
               words[0] ^= 0x08;
               terminal.WriteTable(0, 1, 0, 2, words);
           });
    ASSERT_EQ(addressing.exitCode, 0) << addressing.json.dump();
    ASSERT_EQ(addressing.json.at("messages").size(), 1u);
    EXPECT_THAT(addressing.json.at("messages")[0].at("text").get<std::string>(),
                ::testing::HasSubstr("16"));
    EXPECT_EQ(ShortAddresses(addressing.json.at("devices")), test::Range(0, 16));
}

// A scan whose connection fails half-way, or a backup, found part of the line: the store keeps
// the list it held, and the document says so. A scan that ends finds the line for sure.
TEST_F(CommandLineTest, ARunThatDidNotFinishKeepsTheStoredDeviceList) {
    const std::string line = ExampleLine("full-line.json");
    const auto stored = [&] { return test::StoredDevices(File("store.ini")); };
    ASSERT_EQ(Zd({"scan", "--line", line, "--registry", File("store.ini")}).exitCode, 0);
    ASSERT_EQ(stored(), 64);
    // The connection goes for good a little way into the command's own calls.
    const auto cutAfter = [](std::int64_t calls) {
        return [calls](SimDevCom& devCom) {
            DevComFaults& faults = devCom.Faults();
            faults.m_beforeCall = [&faults, calls](std::int64_t call) {
                if (call == calls) {
                    faults.m_failOnCall = 1;
                    faults.m_staysFailed = true;
                }
            };
        };
    };
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"scan"}, {"backup", File("b.json")}}) {
        std::vector<std::string> args = command;
        args.insert(args.end(), {"--line", line, "--registry", File("store.ini")});
        const Outcome cut = Zd(args, cutAfter(300));
        EXPECT_EQ(cut.exitCode, 1) << cut.json.dump();
        EXPECT_THAT(cut.json.value("storedDevices", ""), ::testing::HasSubstr("kept"));
        EXPECT_EQ(stored(), 64) << command[0];
    }
}

// A building station over Modbus TCP: the address given reaches the first coupler, which does not
// know terminal 12's registers. The error names its coupler and the port that serves it.
TEST_F(CommandLineTest, ATerminalOnAnotherCouplerIsNamedWithItsPort) {
    const std::string building = test::ExamplePath("building/station.xml");
    RealScheduler clock;
    const StationDocument station = StationDocument::Load(building);
    std::vector<std::shared_ptr<SimDevCom>> first;
    for (const StationTerminal& terminal : StationZd4270Terminals(station))
        if (terminal.coupler == 0)
            first.push_back(CreateSimulatedDevCom(clock, terminal.node, sim::LineDescription{}));
    ModbusSimServer server(std::make_shared<CouplerDevCom>(first), ModbusEndpoint{"127.0.0.1", 0});
    std::thread serving([&server] { server.ServeFor(20'000); });
    const Outcome scan = Zd({"scan", "--station", building, "--pos", "12", "--modbus",
                             "127.0.0.1:" + std::to_string(server.Port())});
    server.Stop();
    serving.join();
    EXPECT_EQ(scan.exitCode, 1) << scan.json.dump();
    test::ExpectParts(scan.json.value("error", ""), {"Illegal data address", "coupler 3",
                                                     "port " + std::to_string(server.Port() + 2)});
}

// Over Modbus, a station document that places the terminal's bytes elsewhere than the terminal
// does reads words that cannot be right: the acknowledge never follows, and the document says that
// the station may not match instead of a plain "done".
TEST_F(CommandLineTest, AStationThatDoesNotMatchTheTerminalIsNamedOverModbus) {
    const std::string packed = test::ExampleStation("packed-intel.xml");
    // The same terminal, its output bytes placed two words further on.
    std::ifstream in(packed);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const char* offset : {"\"0.0\" Table=\"1\"", "\"0.8\" Table=\"1\""}) {
        std::string moved = offset;
        moved[1] = '2';
        text.replace(text.find(offset), moved.size(), moved);
    }
    std::ofstream(File("moved.xml")) << text;
    RealScheduler clock;
    const StationDocument station = StationDocument::Load(packed);
    ModbusSimServer server(
        CreateSimulatedDevCom(clock, station.ChooseTerminal(),
                              sim::LoadLineFile(ExampleLine("three-addressed.json"))),
        ModbusEndpoint{"127.0.0.1", 0});
    std::thread serving([&server] { server.ServeFor(20'000); });
    const std::string modbus = "127.0.0.1:" + std::to_string(server.Port());
    const Outcome wrong =
        Zd({"send", "off", "--short", "5", "--modbus", modbus, "--station", File("moved.xml")});
    const Outcome right = Zd({"send", "off", "--short", "5", "--modbus", modbus});
    server.Stop();
    serving.join();
    EXPECT_EQ(wrong.json.value("stationMayNotMatch", false), true) << wrong.json.dump();
    EXPECT_THAT(wrong.json.value("warning", ""),
                ::testing::HasSubstr("the station document (process-image layout"));
    EXPECT_EQ(right.exitCode, 0) << right.json.dump();
    EXPECT_EQ(right.json.at("acknowledged"), true);
    EXPECT_FALSE(right.json.contains("stationMayNotMatch"));
}

// A simulated terminal that takes no output words: the search finds nobody, and the document
// says that nothing reached the line instead of a plain empty line.
TEST_F(CommandLineTest, ARunNoCommandOfWhichReachedTheLineSaysSo) {
    std::ifstream in(ExampleLine("sixteen-unaddressed-1L.json"));
    Json line = Json::parse(in);
    line["terminal"]["faults"] = {{"takeOverNeverComes", true}};
    std::ofstream(File("stalled.json")) << line.dump(2);
    const Outcome run = Zd({"address", "random", "--new-installation", "--yes", "--fast", "--line",
                            File("stalled.json")});
    EXPECT_EQ(run.json.at("devices").size(), 0u);
    EXPECT_THAT(run.json.value("warning", ""),
                ::testing::HasSubstr("nothing of this run reached the line"))
        << run.json.dump();
    EXPECT_FALSE(run.json.contains("stationMayNotMatch"));
}

// A coupler that answers every read after the first ones with random words: a wrong position,
// another master or a mapping of something else look like this to the control.
class GarbageAfter : public DevCom {
  public:
    GarbageAfter(std::shared_ptr<DevCom> inner, int goodReads)
        : m_inner(std::move(inner)), m_goodReads(goodReads) {}
    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData) override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_inner->ReadTable(nDevice, nTable, nOffset, nCount, pData);
        if (m_garbage && ++m_reads > m_goodReads)
            for (std::int32_t i = 0; i < nCount; ++i)
                pData[i] = static_cast<std::uint16_t>(m_random());
    }
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData) override {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_inner->WriteTable(nDevice, nTable, nOffset, nCount, pData);
    }
    void StopGarbage() {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_garbage = false;
    }

  private:
    std::mutex m_mutex;
    std::shared_ptr<DevCom> m_inner;
    int m_goodReads;
    int m_reads = 0;
    bool m_garbage = true;
    std::mt19937 m_random{25};
};

// Words that cannot be the terminal's end the run at once, before the control writes back a bit
// it did not set: the gear keep their addresses, and the error says what came back and why.
TEST_F(CommandLineTest, AScanThatReadsGarbageEndsAtOnceAndLeavesTheLineAsItWas) {
    RealScheduler clock;
    const StationDocument station = StationDocument::Load(test::ExampleStation("packed-intel.xml"));
    const auto garbage = std::make_shared<GarbageAfter>(
        CreateSimulatedDevCom(clock, station.ChooseTerminal(),
                              sim::LoadLineFile(ExampleLine("three-addressed.json"))),
        50);
    ModbusSimServer server(garbage, ModbusEndpoint{"127.0.0.1", 0});
    std::thread serving([&server] { server.ServeFor(60'000); });
    const std::string modbus = "127.0.0.1:" + std::to_string(server.Port());
    const Outcome bad = Zd({"scan", "--modbus", modbus});
    garbage->StopGarbage();
    const Outcome again = Zd({"scan", "--modbus", modbus});
    server.Stop();
    serving.join();
    EXPECT_EQ(bad.exitCode, 1) << bad.json.dump();
    const std::string error = bad.json.value("error", "");
    EXPECT_THAT(error, ::testing::AnyOf(::testing::HasSubstr("reads back"),
                                        ::testing::HasSubstr("never sets"),
                                        ::testing::HasSubstr("without a new command")));
    EXPECT_THAT(error, ::testing::HasSubstr("position or the station's process-image layout"));
    EXPECT_THAT(error, ::testing::HasSubstr("Nothing more is sent"));
    ASSERT_EQ(again.exitCode, 0) << again.json.dump();
    EXPECT_EQ(ShortAddresses(again.json.at("devices")), (std::vector<int>{0, 5, 63}));
}

TEST_F(CommandLineTest, ChangeAddressesMovesAndDeletes) {
    const Outcome change = Zd({"address", "change", "5:6", "63:mask"});
    ASSERT_EQ(change.exitCode, 0) << change.json.dump();
    EXPECT_EQ(ShortAddresses(change.json.at("devices")), (std::vector<int>{0, 6}));
}

// --frame-log: each frame of the run with its time and what was heard, the terminal's repeat
// marked; the same log with or without --save-line, and from a run that fails as well.
TEST_F(CommandLineTest, TheFrameLogHoldsTheFramesOfTheRunWhateverItEndsIn) {
    const std::vector<std::string> send = {"send", "add to group 3", "--short", "63"};
    std::vector<std::string> args = send;
    args.insert(args.end(), {"--frame-log", File("send.txt")});
    ASSERT_EQ(Zd(args).exitCode, 0);
    const std::string log = test::ReadFileText(File("send.txt"));
    EXPECT_TRUE(log.starts_with("# zd4270 frame log"));
    EXPECT_NE(log.find("\n15.833 7F63 A63 add to group 3 -> no answer\n"
                       "40.833 7F63 A63 add to group 3 -> no answer [repeat]\n"),
              std::string::npos)
        << log;
    args = send;
    args.insert(args.end(), {"--frame-log", File("saved.txt"), "--save-line", File("line.json")});
    ASSERT_EQ(Zd(args).exitCode, 0);
    EXPECT_EQ(test::ReadFileText(File("saved.txt")), log);

    // The device is not on the line: the scan that looked for it is in the log.
    const Outcome failed = Zd({"variables", "--short", "7", "--frame-log", File("failed.txt")});
    EXPECT_EQ(failed.exitCode, 1);
    const std::string failedLog = test::ReadFileText(File("failed.txt"));
    EXPECT_NE(failedLog.find(" 0F91 A7 query ballast -> no answer\n"), std::string::npos)
        << failedLog;
    EXPECT_NE(failedLog.find(" 7F91 A63 query ballast -> 0xFF (255)\n"), std::string::npos);
}

TEST_F(CommandLineTest, BadArgumentsGiveAnErrorDocumentAndExitCodeTwo) {
    const std::vector<std::vector<std::string>> cases = {
        {"frobnicate"},
        {"scan", "now"},
        {"address"},
        {"scan", "--pos", "x"},
        {"scan", "--short", "3"},
        {"send", "off"},
        {"send", "dance", "--broadcast"},
        {"send", "off", "--short", "64"},
        {"send", "off", "--short", "1", "--group", "1"},
        {"query", "query actual level", "--short", "1", "--data", "256"},
        {"address", "random", "--start", "64"},
        {"address", "change", "5-6"},
        {"address", "change", "5:6", "5:7"},
        {"options", "--mode", "dmx"},
        {"options", "--count-devices", "yes"},
        {"scan", "--line"},
        {"scan", "--modbus", "127.0.0.1:1502", "--save-line", "x.json"},
        {"variables"},
        {"variables", "--short", "64"},
        {"variables", "--short", "5", "--set", "status=1"},
        {"variables", "--short", "5", "--set", "fade-rate=0"},
        {"variables", "--short", "5", "--set", "max-level"},
        {"groups", "--short", "5", "--add", "16"},
        {"groups", "--short", "5", "--add", "1,,2"},
        {"groups", "--short", "5", "--add", "1", "--remove", "1"},
        {"scenes", "--short", "5", "--set", "3=256"},
        {"scenes", "--short", "5", "--set", "16=1"},
        {"scenes", "--short", "5", "--set", "3=1,3=2"},
        {"address", "physical", "--new-installation"},
        {"address", "physical", "--remove-lamp", "index:x"},
        {"address", "physical", "--lamp-delay", "3"},
        {"address", "physical", "--timeout", "0"},
        {"address", "physical", "--remove-lamp", "5", "--modbus", "127.0.0.1:1"},
        {"settings", "--log-mapping", "yes"},
    };
    for (const auto& args : cases) {
        SCOPED_TRACE(test::Joined(args));
        const Outcome run = Zd(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.json.at("error").is_string());
        EXPECT_FALSE(run.json.contains("messages"));
    }
}

// Mistakes a newcomer makes: each is refused before anything is sent, saying what to do instead.
TEST_F(CommandLineTest, MistakesAreRefusedWithWhatWasMeant) {
    const std::string line = ExampleLine("three-addressed.json");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"scan", "--modbus", "127.0.0.1:1502/0"}, "the unit is not a number"},
        {{"scan", "--modbus", "127.0.0.1"}, "no port"},
        {{"scan", "--modbus", "terminal.invalid:502"}, "not an IPv4 address"},
        {{"scan", "--line", line, "--modbus", "127.0.0.1:1502"}, "give one of them"},
        // A serial line's settings, each named; the device is not opened.
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0:9600:X"}, "--modbus-rtu: Modbus RTU line"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0:9601"}, "the baud rate is not one of"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0:9600:N:3"}, "the stop bits are not 1 or 2"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0/248"}, "the unit is not a number"},
        {{"scan", "--modbus-rtu", ":19200"}, "no device"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0", "--modbus", "127.0.0.1:1502"},
         "--modbus and --modbus-rtu name the terminal both"},
        {{"--modbus-rtu", "/dev/ttyUSB0", "--modbus", "127.0.0.1:1502"},
         "--modbus and --modbus-rtu name the terminal both"},
        {{"scan", "--line", line, "--modbus-rtu", "/dev/ttyUSB0"},
         "over --modbus-rtu the terminal's own line answers"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0", "--save-line", "x.json"},
         "--save-line needs the simulated line, not --modbus-rtu"},
        {{"scan", "--modbus", "127.0.0.1:1502", "--frame-log", "f.txt"},
         "--frame-log needs the simulated line, not --modbus"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0", "--frame-log", "f.txt"},
         "--frame-log needs the simulated line, not --modbus-rtu"},
        {{"demo", "--frame-log", "f.txt"}, "--frame-log goes with a command"},
        {{"scan", "--modbus-rtu", "/dev/ttyUSB0", "--all", "--station",
          std::string(ZD4270_EXAMPLES_DIR) + "/building/station.xml"},
         "--modbus-rtu reaches one terminal at a time"},
        {{"scan", "--pos", "0"}, "--pos"},
        {{"scan", "--pos", "99"}, "has no terminal at position 99"},
        {{"scan", "--line", "--registry", "x.ini"}, "--line needs a value, not the option"},
        {{"variables", "--short", "--set", "max-level=3"}, "--short needs a value"},
        {{"query", "off", "--short", "5"}, "is no query"},
        {{"query", "recall max level", "--short", "5"}, "is no query"},
        {{"send", "272", "--broadcast"}, "cannot be sent through the terminal"},
        {{"send", "store DTR as short address", "--short", "5", "--data", "9"},
         "stores the DTR the gear hold, not --data"},
        {{"send", "off", "--short", "5", "--data", "3"}, "takes no data"},
    };
    for (const auto& [args, error] : cases) {
        SCOPED_TRACE(test::Joined(args));
        const Outcome run = Zd(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_THAT(run.json.at("error").get<std::string>(), ::testing::HasSubstr(error));
        EXPECT_FALSE(run.json.contains("lineTimeMs"));
    }
    // The data of a command that carries it, and a query of a scene by its name, still go.
    EXPECT_EQ(Zd({"send", "data transfer register (DTR)", "--data", "9"}).exitCode, 0);
    EXPECT_EQ(Zd({"query", "query scene level 0", "--short", "0"}).json.at("answer"), 200);
}

// The window, the demonstration and the commands read one description of the connection, and
// each refuses a line file with a terminal over Modbus alike: exit 2, the same words, and no
// window opened.
TEST_F(CommandLineTest, EveryFrontEndRefusesALineFileWithATerminalOverModbus) {
    const std::string line = ExampleLine("three-addressed.json");
    int windowsOpened = 0;
    const WindowRunner window = [&windowsOpened](const SessionOptions&) -> std::optional<int> {
        ++windowsOpened;
        return 0;
    };
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"zd4270", "--lang", "en", "--line", line});
        std::vector<const char*> argv;
        for (const std::string& arg : args) argv.push_back(arg.c_str());
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        Outcome outcome;
        outcome.exitCode = RunCommandLine(static_cast<int>(argv.size()), argv.data(),
                                          test::ExampleDefaults(), out, err, window);
        outcome.console = test::ReadAll(err);
        const std::string text = test::ReadAll(out);
        outcome.json = text.empty() ? Json() : Json::parse(text);
        return outcome;
    };
    // On the simulated line the window opens.
    EXPECT_EQ(run({}).exitCode, 0);
    EXPECT_EQ(windowsOpened, 1);
    for (const auto& [option, value] :
         {std::pair{"--modbus", "127.0.0.1:1502"}, std::pair{"--modbus-rtu", "/dev/ttyUSB0"}}) {
        const std::string refusal = std::string("--line is the simulated line; over ") + option +
                                    " the terminal's own line answers: give one of them";
        for (const std::vector<std::string>& frontEnd :
             {std::vector<std::string>{}, {"demo"}, {"scan"}}) {
            std::vector<std::string> args = frontEnd;
            args.insert(args.end(), {option, value});
            SCOPED_TRACE(test::Joined(args));
            const Outcome refused = run(args);
            EXPECT_EQ(refused.exitCode, 2);
            EXPECT_EQ(refused.console, "zd4270: " + refusal + "\n");
            EXPECT_EQ(refused.json.value("error", ""), refusal);
        }
    }
    EXPECT_EQ(windowsOpened, 1);
}

TEST_F(CommandLineTest, CommandsAreNamedInAnyCaseOrByNumberWithTheDataGiven) {
    struct Case {
        const char* command;  // sent to --short address, with --data when data is set
        const char* data;
        const char* word;
        const char* text;
    };
    // By number the data byte decides, and the text says what went out.
    const Case cases[] = {
        {"add to group 3", nullptr, "0x7F63", "add to group 3"},
        {"96", "3", "0x7F63", "add to group 3"},
        {"99", nullptr, "0x7F60", "add to group 0"},
        {"STORE THE DTR AS SCENE 4", nullptr, "0x7F44", "store the DTR as scene 4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> args = {"send", c.command, "--short", "63"};
        if (c.data) args.insert(args.end(), {"--data", c.data});
        const Outcome run = Zd(args);
        ASSERT_EQ(run.exitCode, 0) << run.json.dump();
        EXPECT_EQ(run.json.at("word"), c.word);
        EXPECT_EQ(run.json.at("commandText"), c.text);
        EXPECT_EQ(run.json.at("result"), 0);
        EXPECT_TRUE(run.json.at("answer").is_null());
    }
    EXPECT_EQ(Zd({"send", "add to group 3", "--data", "4", "--short", "1"}).exitCode, 2);
}

TEST_F(CommandLineTest, WhatWipesGearSettingsRunsOnlyWithYes) {
    ASSERT_EQ(Zd({"archive", "upload", File("good.xml")}).exitCode, 0);
    const auto archiveBefore = std::filesystem::file_size(File("good.xml"));
    const std::vector<std::vector<std::string>> refused = {
        {"send", "reset", "--short", "5"},
        {"send", "32", "--broadcast"},
        {"send", "store DTR as short address", "--broadcast"},
        {"send", "128", "--group", "0"},
        {"address", "random", "--new-installation"},
        {"address", "random", "--delete-scenes"},
        {"address", "single", "9"},
        {"archive", "download", File("good.xml")},
        // The upload would replace an archive that exists.
        {"archive", "upload", File("good.xml"), "--line", ExampleLine("empty.json")},
    };
    for (std::vector<std::string> args : refused) {
        SCOPED_TRACE(args.at(1));
        args.insert(args.end(), {"--save-line", File("refused.json")});
        const Outcome run = Zd(args);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_NE(run.json.at("error").get<std::string>().find("--yes"), std::string::npos);
        EXPECT_FALSE(std::filesystem::exists(File("refused.json")));
    }
    EXPECT_EQ(std::filesystem::file_size(File("good.xml")), archiveBefore);

    // One gear's short address, and anything confirmed, goes through.
    EXPECT_EQ(Zd({"send", "store DTR as short address", "--short", "5"}).exitCode, 0);
    EXPECT_EQ(Zd({"send", "reset", "--short", "5", "--yes"}).exitCode, 0);
    EXPECT_EQ(Zd({"address", "single", "9", "--yes"}).exitCode, 0);
    const Outcome replaced =
        Zd({"archive", "upload", File("good.xml"), "--yes", "--line", ExampleLine("empty.json")});
    EXPECT_EQ(replaced.exitCode, 0);
    EXPECT_NE(std::filesystem::file_size(File("good.xml")), archiveBefore);
}

TEST_F(CommandLineTest, DsiModeRefusesDaliCommandsAndTakesDsiBytes) {
    const std::string dsi = ExampleLine("dsi-line.json");
    for (const char* command : {"send", "query"}) {
        const Outcome refused = Zd({command, "query ballast", "--short", "5", "--line", dsi});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.json.at("error"), "The ZD4270 is not in the DALI-Mode!");
        ASSERT_EQ(refused.json.at("messages").size(), 1u);
        EXPECT_FALSE(refused.json.contains("result"));
        // The box reaches the console as well.
        EXPECT_NE(refused.console.find("[info]"), std::string::npos);
    }
    const Outcome level = Zd({"send", "--dsi", "200", "--line", dsi});
    ASSERT_EQ(level.exitCode, 0) << level.json.dump();
    EXPECT_EQ(level.json.at("word"), "0x00C8");
    EXPECT_EQ(Zd({"send", "--dsi", "20", "--short", "3", "--line", dsi}).exitCode, 2);
}

TEST_F(CommandLineTest, QueriesTellSeveralAnswersNoAnswerAndAnUnacknowledgedCommandApart) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        Json answer;
        Json yes;  // null where the query is no yes/no question
        bool acknowledged;
    };
    // The terminal stalls: the fieldbus takes longer than the whole handshake to deliver a write.
    const std::string stalled =
        EditedLine("stalled.json", "three-addressed.json",
                   [](sim::LineDescription& l) { l.terminal.takeOverDelayMs = 6000; });
    const std::vector<Case> cases = {
        {{"query", "query ballast", "--broadcast"}, 0, "several", true, true},
        // Nobody at 7: no answer, which is a result and not a failure. Names in any case.
        {{"query", "QUERY BALLAST", "--short", "7"}, 0, nullptr, false, true},
        {{"query", "query actual level", "--short", "5"}, 0, 254, nullptr, true},
        // Several levels at once cannot be read.
        {{"query", "query actual level", "--group", "0"}, 1, "several", nullptr, true},
        {{"query", "query ballast", "--short", "5", "--line", stalled}, 1, nullptr, nullptr, false},
        {{"send", "off", "--short", "5", "--line", stalled}, 0, nullptr, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::Joined(c.args));
        const Outcome run = Zd(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.json.dump();
        EXPECT_EQ(run.json.at("answer"), c.answer);
        EXPECT_EQ(run.json.value("yes", Json()), c.yes);
        EXPECT_EQ(run.json.at("acknowledged"), c.acknowledged);
        EXPECT_EQ(run.json.contains("warning"), !c.acknowledged);
    }
}

// A run that cannot do its work exits with 1 and names the step that failed, with the devices it
// knows by then.
TEST_F(CommandLineTest, FailedRunsNameTheirStepAndListTheDevicesFromAScan) {
    // Two gear draw the same random address: the terminal's search cannot tell them apart; the
    // control's draws anew and fails only for a pair that draws the same again and again.
    const auto sameRandom = [&](const std::string& name, std::uint16_t firmware) {
        return EditedLine(name, "sixteen-unaddressed.json", [&](sim::LineDescription& l) {
            l.terminal.firmwareVersion = firmware;
            l.gear.resize(3);
            l.gear[0].faults.m_randomiseAlwaysDraws = 0x123456;
            l.gear[1].faults.m_randomiseAlwaysDraws = 0x123456;
        });
    };
    struct Case {
        std::vector<std::string> args;
        Json variant;
        const char* failedStep;
        std::string error;  // the start of it
        std::size_t devices;
    };
    const std::string control = sameRandom("control.json", 0x314C);
    const std::string terminal = sameRandom("terminal.json", 0x314D);
    const std::string old = sameRandom("old.json", 0x3140);
    const std::string empty = ExampleLine("empty.json");
    std::ofstream(File("other.xml")) << "<?xml version=\"1.0\"?>\n<notes><note>x</note></notes>\n";
    const char* const again = "Two ballast drew the same random address again and again";
    const char* const sameDot = "Two ballast have the same short address.";
    const std::vector<Case> cases = {
        {Args("address", "random", "--line", control), "control", "addressing", again, 1},
        {Args("address", "random", "--line", terminal), "terminal", "addressing", sameDot, 1},
        {Args("address", "random", "--line", old), nullptr, "start",
         "This function will not be supported by this firmware.", 0},
        {Args("address", "change", "0:7", "5:7"), nullptr, "change",
         "the following address is double: 7", 3},
        {Args("address", "single", "4", "--yes", "--line", empty), nullptr, "check",
         "no gear answers at the address 4", 0},
        {Args("address", "change", "9:10"), nullptr, "plan", "no device answers at address 9", 3},
        {Args("send", "--dsi", "200"), nullptr, "mode", "The ZD4270 is not in the DSI-Mode!", 0},
        {Args("archive", "download", File("none.xml"), "--yes"), nullptr, "load",
         "the archive " + File("none.xml") + " cannot be read", 0},
        // An archive that loads nothing is not downloaded.
        {Args("archive", "download", File("other.xml"), "--yes"), nullptr, "load",
         "the archive " + File("other.xml") +
             " holds no groups or scenes of this device; nothing was written",
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        const Outcome run = Zd(c.args);
        EXPECT_EQ(run.exitCode, 1) << run.json.dump();
        EXPECT_EQ(run.json.value("variant", Json()), c.variant);
        EXPECT_EQ(run.json.at("failedStep"), c.failedStep);
        EXPECT_EQ(run.json.at("error").get<std::string>().rfind(c.error, 0), 0u);
        EXPECT_EQ(run.json.value("devices", Json::array()).size(), c.devices);
    }
}

TEST_F(CommandLineTest, AFailedRunKeepsItsBoxesAndTheDevicesFoundSoFar) {
    // The device communication fails in the middle of the scan, after the first device.
    const Outcome scan =
        Zd({"scan"}, [](SimDevCom& devCom) { devCom.Faults().m_failOnCall = 120; });
    ASSERT_EQ(scan.exitCode, 1) << scan.json.dump();
    ASSERT_FALSE(scan.json.at("messages").empty());
    EXPECT_EQ(scan.json.at("messages").at(0).at("icon"), "error");
    const std::vector<int> found = ShortAddresses(scan.json.at("devices"));
    ASSERT_FALSE(found.empty());
    EXPECT_EQ(found.front(), 0);

    const Outcome refresh =
        Zd({"scan"}, [](SimDevCom& devCom) { devCom.Faults().m_failOnCall = 1; });
    EXPECT_EQ(refresh.exitCode, 1);
    ASSERT_EQ(refresh.json.at("messages").size(), 1u);
    EXPECT_NE(refresh.json.at("messages").at(0).at("text").get<std::string>().find("RefreshData"),
              std::string::npos);
    // The error says what went wrong, once, without the box's procedure, source and number.
    const std::string error = refresh.json.at("error");
    EXPECT_EQ(error.find("RefreshData"), std::string::npos) << error;
    EXPECT_EQ(error.find("Number:"), std::string::npos) << error;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(refresh.console.find("[error]"), std::string::npos) << refresh.console;
    EXPECT_NE(refresh.console.find("zd4270: " + error), std::string::npos) << refresh.console;
}

TEST_F(CommandLineTest, BytesThatAreNotUtf8ReachTheDocumentReplaced) {
    std::ofstream(File("latin1.xml"), std::ios::binary)
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>\xE9t\xE9</b>\n";
    std::ofstream(File("line.json"), std::ios::binary) << "{\"terminal\": \"\xff\"}";
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"send", "\xff", "--broadcast"}, 2},
        {{"scan", "--line", File("line.json")}, 1},
        {{"scan", "--line", File("\xfe.json")}, 1},
        {{"archive", "download", File("latin1.xml"), "--yes"}, 1},
    };
    for (const auto& [args, exitCode] : cases) {
        // Zd parses the document, which fails on a byte that is not UTF-8.
        const Outcome run = Zd(args);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_NE(run.json.at("error").get<std::string>().find("\xEF\xBF\xBD"), std::string::npos)
            << run.json.dump();
    }
}

}  // namespace
}  // namespace zd
