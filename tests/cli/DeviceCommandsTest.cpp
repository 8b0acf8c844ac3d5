// The commands that reach a device's pages, physical selection, the store, the progress line and
// the help, run as users run them: the command line main passes on, on the example lines, with
// the JSON document read back and the line files they save.
#include <gtest/gtest.h>

#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliRun.h"
#include "cli/CommandLine.h"
#include "cli/HeadlessCommands.h"
#include "sim/LineFile.h"

namespace zd {
namespace {

using test::Outcome;

using test::ExampleLine;

class DeviceCommandsTest : public test::FolderTest {
  protected:
    DeviceCommandsTest() : FolderTest("zd_dev_") {}

    // zd4270 with these arguments on the packed Intel station and the three-addressed line, with
    // a store of the test's own unless the arguments name one; err receives stderr (a temporary
    // file when null).
    Outcome Zd(std::vector<std::string> args, std::FILE* err = nullptr) const {
        bool store = false;
        for (const std::string& arg : args) store = store || arg == "--registry";
        if (!store) args.insert(args.end(), {"--registry", File("store.ini")});
        return test::RunZd(args, test::ExampleDefaults(), err);
    }

    // A line of the example with the firmware that leaves random addressing to the control.
    std::string OlderFirmwareLine(const std::string& base) const {
        return EditedLine("older.json", base,
                          [](sim::LineDescription& l) { l.terminal.firmwareVersion = 0x314C; });
    }

    // The same with stderr on a terminal, whose screen is read as the run goes on.
    Outcome ZdOnTerminal(const std::vector<std::string>& args) const {
        int master = -1;
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return {};
        std::string screen;
        std::thread reader([&] {
            char buffer[4096];
            ssize_t n = 0;
            // Once the run has closed its side, the read fails.
            while ((n = ::read(master, buffer, sizeof buffer)) > 0) screen.append(buffer, n);
        });
        std::FILE* tty = ::fdopen(slave, "w");
        Outcome run = Zd(args, tty);
        std::fclose(tty);
        reader.join();
        ::close(master);
        run.console = screen;
        return run;
    }
};

TEST_F(DeviceCommandsTest, VariablesGroupsAndScenesAreReadAndWrittenThroughTheirPages) {
    const Outcome read = Zd({"variables", "--short", "5"});
    ASSERT_EQ(read.exitCode, 0) << read.json.dump();
    // What each variable reads and how it is written the pages' tests pin; here the names and
    // the document.
    const Json& fadeRate = read.json.at("variables").at("fade-rate");
    EXPECT_EQ(fadeRate.at("value"), 7);
    EXPECT_EQ(fadeRate.at("converted"), "44.7 Steps/s");
    EXPECT_EQ(fadeRate.at("key"), "FADE RADE");

    // Names in either spelling.
    const Outcome max = Zd({"variables", "--short", "5", "--set", "MAX_LEVEL=200"});
    ASSERT_EQ(max.exitCode, 0) << max.json.dump();
    EXPECT_EQ(max.json.at("variables").at("max-level").at("value"), 200);
    // A ballast keeps its minimum at or above its physical minimum, and the command says so.
    const Outcome min = Zd({"variables", "--short", "63", "--set", "min-level=10"});
    EXPECT_EQ(min.exitCode, 1);
    EXPECT_EQ(min.json.at("error"), "the device keeps min-level at 85, not 10");
    EXPECT_EQ(min.json.at("variables").at("min-level").at("value"), 85);

    const Outcome groups = Zd({"groups", "--short", "5", "--add", "1,2", "--remove", "3"});
    ASSERT_EQ(groups.exitCode, 0) << groups.json.dump();
    EXPECT_EQ(groups.json.at("groups"), Json::array({0, 1, 2}));

    const Outcome scenes = Zd({"scenes", "--short", "0", "--set", "3=128,0=mask"});
    ASSERT_EQ(scenes.exitCode, 0) << scenes.json.dump();
    EXPECT_EQ(scenes.json.at("scenes").at("0"), "mask");
    EXPECT_EQ(scenes.json.at("scenes").at("1"), 100);
    EXPECT_EQ(scenes.json.at("scenes").at("3"), 128);
    // The lamp showed each scene and is back at the level it had.
    EXPECT_EQ(scenes.json.at("lampLevel"), (Json{{"before", 254}, {"restored", true}}));

    // Nobody at 7, not even after the scan the command runs for a device it does not know.
    const Outcome absent = Zd({"groups", "--short", "7"});
    EXPECT_EQ(absent.exitCode, 1);
    EXPECT_EQ(absent.json.at("error"), "no device answers at address 7");
    EXPECT_EQ(absent.json.at("devices").size(), 3u);
    // Two gear at 7 answer together: nothing can be read, and the command says why.
    const Outcome shared =
        Zd({"variables", "--short", "7", "--line", ExampleLine("shared-address.json")});
    EXPECT_EQ(shared.exitCode, 1);
    EXPECT_EQ(shared.json.at("error"), "several devices answer at address 7 at once");
}

// A new actual level fades in at the gear's fade time: it is read back once it is there.
TEST_F(DeviceCommandsTest, AnActualLevelIsReadBackOnceItsFadeIsOver) {
    const std::string slow = EditedLine("slow.json", "three-addressed.json",
                                        [](sim::LineDescription& l) { l.gear.at(1).fadeTime = 7; });
    const Outcome set =
        Zd({"variables", "--short", "5", "--set", "actual-level=100", "--line", slow});
    ASSERT_EQ(set.exitCode, 0) << set.json.dump();
    EXPECT_EQ(set.json.at("variables").at("actual-level").at("value"), 100);
    EXPECT_FALSE(set.json.contains("warning"));
    // Fade time 7 is about 5.7 s on the line.
    EXPECT_GT(set.json.at("lineTimeMs").get<std::int64_t>(), 5600);
}

TEST_F(DeviceCommandsTest, PhysicalSelectionAddressesTheLampsInTheOrderTheyAreTakenOut) {
    const Outcome run = Zd(
        {"address", "physical", "--line", ExampleLine("sixteen-unaddressed.json"), "--remove-lamp",
         "index:4,index:1", "--start", "10", "--save-line", File("physical.json")});
    ASSERT_EQ(run.exitCode, 0) << run.json.dump();
    EXPECT_EQ(
        run.json.at("lamps"),
        (Json::array({{{"lamp", 1}, {"shortAddress", 10}}, {{"lamp", 2}, {"shortAddress", 11}}})));
    EXPECT_EQ(run.json.at("devices").size(), 2u);
    EXPECT_EQ(sim::LoadLineFile(File("physical.json")).gear.at(3).shortAddress, 10);

    // Nobody takes a lamp out: the run gives up after --timeout.
    const Outcome idle = Zd({"address", "physical", "--timeout", "30"});
    EXPECT_EQ(idle.exitCode, 1);
    EXPECT_NE(idle.json.at("error").get<std::string>().find("nothing happened for 30 s"),
              std::string::npos);
    EXPECT_TRUE(idle.json.at("lamps").empty());
    EXPECT_EQ(idle.json.at("devices").size(), 3u);
    const Outcome unknown = Zd({"address", "physical", "--remove-lamp", "7"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.json.at("error"), "the simulated line has no gear at short address 7");
}

TEST_F(DeviceCommandsTest, OpticalFeedbackLightsTheLampsAsTheWindowsCheckBoxesDo) {
    auto levels = [](const std::string& file) {
        std::vector<int> found;
        for (const sim::GearConfig& gear : sim::LoadLineFile(file).gear)
            found.push_back(gear.actualLevel.value_or(-1));
        return found;
    };
    // The device tab's check box sends every lamp to its minimum.
    ASSERT_EQ(Zd({"scan", "--optical-feedback", "--save-line", File("scan.json")}).exitCode, 0);
    EXPECT_EQ(levels(File("scan.json")), (std::vector<int>{1, 1, 85}));
    ASSERT_EQ(Zd({"scan", "--save-line", File("plain.json")}).exitCode, 0);
    EXPECT_EQ(levels(File("plain.json")), (std::vector<int>{254, 254, 254}));

    // What the terminal's own search does with the option the addressing tests pin; the
    // control's own search has no such option: refused before anything is sent.
    const Outcome older =
        Zd({"address", "random", "--optical-feedback", "--line",
            OlderFirmwareLine("sixteen-unaddressed.json"), "--save-line", File("older-out.json")});
    EXPECT_EQ(older.exitCode, 2);
    // Nor does it list the store's old devices as if they had been found.
    EXPECT_FALSE(older.json.contains("devices"));
    EXPECT_FALSE(std::filesystem::exists(File("older-out.json")));
}

TEST_F(DeviceCommandsTest, TheStoreKeepsTheDeviceListAndTheLoggingSwitchesBetweenRuns) {
    // A device the store does not know is scanned for first; the scan's list is stored when
    // the run ends, and the next run opens the device at once.
    const Outcome first = Zd({"groups", "--short", "63"});
    ASSERT_EQ(first.exitCode, 0) << first.json.dump();
    const Outcome second = Zd({"groups", "--short", "63"});
    EXPECT_GT(first.json.at("lineTimeMs").get<std::int64_t>(), 64 * 50);
    EXPECT_LT(second.json.at("lineTimeMs").get<std::int64_t>(), 1000);

    const Outcome fresh = Zd({"settings"});
    ASSERT_EQ(fresh.exitCode, 0) << fresh.json.dump();
    EXPECT_EQ(fresh.json.at("store"), File("store.ini"));
    EXPECT_EQ(fresh.json.at("logAddressing"), false);
    const Outcome on = Zd({"settings", "--log-addressing", "on", "--log-user-data", "on"});
    EXPECT_EQ(on.json.at("logAddressing"), true);
    EXPECT_EQ(on.json.at("logUserData"), true);
    EXPECT_EQ(on.json.at("logMapping"), false);

    // From the next run on, the control logs: the addressing log and the user data in the
    // current folder.
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(File(""));
    const Outcome addressing =
        Zd({"address", "random", "--line", OlderFirmwareLine("sixteen-unaddressed.json")});
    std::filesystem::current_path(before);
    ASSERT_EQ(addressing.exitCode, 0) << addressing.json.dump();
    EXPECT_TRUE(std::filesystem::exists(File("OrvixVTermZD4270.Logging.Addressing.txt")));
    EXPECT_TRUE(std::filesystem::exists(File("OrvixVTermZD4270.Logging.UserData.xml")));
    EXPECT_FALSE(std::filesystem::exists(File("OrvixVTermZD4270.Logging.MappingData.xml")));
    EXPECT_EQ(Zd({"settings", "--log-addressing", "off"}).json.at("logAddressing"), false);

    // A store that cannot be written would lose the device list: the run says so.
    const Outcome readOnly = Zd({"scan", "--registry", "/proc/zd4270/store.ini"});
    EXPECT_EQ(readOnly.exitCode, 1);
    EXPECT_EQ(readOnly.json.at("error").get<std::string>().rfind(
                  "The store /proc/zd4270/store.ini cannot be written: Path/File access error", 0),
              0u)
        << readOnly.json.dump();

    // Without --registry: the window's store in the user's configuration folder.
    const Outcome user = Zd({"settings", "--registry", ""});
    ASSERT_EQ(user.exitCode, 0) << user.json.dump();
    EXPECT_EQ(user.json.at("store"),
              std::string(std::getenv("XDG_CONFIG_HOME")) + "/zd4270/registry.ini");
}

// A store written half-way (a file size limit, SIGXFSZ ignored) fails the run and leaves the old
// store whole; a store with lines that hold no setting is rewritten without them, and the
// document says which.
TEST_F(DeviceCommandsTest, TheStoreIsReplacedWholeOrNotAtAll) {
    const std::string store = File("store.ini");
    ASSERT_EQ(Zd({"settings", "--log-mapping", "on"}).exitCode, 0);
    const std::string old = test::ReadFileText(store);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        const Outcome scan = Zd({"scan"});
        const std::string error = scan.json.value("error", "");
        ::_exit(scan.exitCode == 1 && error.find("File too large") != std::string::npos ? 42 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 42) << status;
    EXPECT_EQ(test::ReadFileText(store), old);

    std::ofstream(store, std::ios::app) << "[[[bad\n";
    const Outcome scan = Zd({"scan"});
    ASSERT_EQ(scan.exitCode, 0) << scan.json.dump();
    EXPECT_EQ(scan.json.at("storeNote"),
              "The store " + store + " held 1 line that holds no setting (line " +
                  std::to_string(std::count(old.begin(), old.end(), '\n') + 1) +
                  ": [[[bad); it was left out when the store was written");
    EXPECT_EQ(test::ReadFileText(store).find("[[["), std::string::npos);
}

TEST_F(DeviceCommandsTest, ProgressGoesToATerminalOnlyAndEveryDocumentCarriesTheLineTime) {
    const Outcome shown = ZdOnTerminal(
        {"address", "random", "--line", OlderFirmwareLine("sixteen-unaddressed.json")});
    ASSERT_EQ(shown.exitCode, 0) << shown.json.dump();
    test::ExpectParts(shown.console, {"random addressing: 3 addressed", " left ("});
    // The line is erased at the end: what follows on the terminal starts on a clean line.
    ASSERT_GE(shown.console.size(), 4u);
    EXPECT_EQ(shown.console.substr(shown.console.size() - 4), "\r\033[K");
    const Outcome quiet = ZdOnTerminal({"scan", "--quiet"});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_EQ(quiet.console, "");
    // Not a terminal: the console holds the boxes and nothing else. The line time is the
    // command's, whether or not the line is saved afterwards (which lets the fades settle first).
    EXPECT_EQ(Zd({"scan"}).console, "");
    const Outcome fade = Zd({"send", "recall min level", "--short", "5"});
    const Outcome saved =
        Zd({"send", "recall min level", "--short", "5", "--save-line", File("fade.json")});
    EXPECT_EQ(saved.json.at("lineTimeMs"), fade.json.at("lineTimeMs"));
    EXPECT_LT(fade.json.at("lineTimeMs").get<std::int64_t>(), 1000);
    EXPECT_TRUE(Zd({"variables", "--short", "7"}).json.contains("lineTimeMs"));
    EXPECT_FALSE(Zd({"variables"}).json.contains("lineTimeMs"));
}

TEST_F(DeviceCommandsTest, HelpAndCompletionKnowEveryCommandAndItsOptions) {
    const std::string script =
        std::string(ZD4270_EXAMPLES_DIR) + "/../scripts/zd4270-completion.bash";
    // One bash for all completions: the command's words, then what completing "--" offers.
    std::ostringstream probe;
    probe << "source '" << script << "'\n";
    for (const CommandSyntax& syntax : CommandTable()) {
        std::vector<std::string> words{"zd4270"};
        std::istringstream name(syntax.name);
        for (std::string word; name >> word;) words.push_back(word);
        const Outcome help = Zd({"help", syntax.name});
        EXPECT_EQ(help.exitCode, 0) << syntax.name;
        EXPECT_NE(help.json.get<std::string>().find("example"), std::string::npos) << syntax.name;
        words.push_back("--");
        probe << "COMP_WORDS=(";
        for (const std::string& word : words) probe << "'" << word << "' ";
        probe << "); COMP_CWORD=" << words.size() - 1 << "; _zd4270; echo \"${COMPREPLY[*]}\"\n";
    }
    probe << "COMP_WORDS=(zd4270 address ''); COMP_CWORD=2; _zd4270; echo \"${COMPREPLY[*]}\"\n";
    // help goes on into a group's commands; zd4270-sim has its own; --version comes first alone.
    probe
        << "COMP_WORDS=(zd4270 help archive ''); COMP_CWORD=3; _zd4270; echo \"${COMPREPLY[*]}\"\n";
    probe << "COMP_WORDS=(zd4270-sim --l); COMP_CWORD=1; _zd4270_sim; echo \"${COMPREPLY[*]}\"\n";
    probe << "COMP_WORDS=(zd4270 --ver); COMP_CWORD=1; _zd4270; echo \"${COMPREPLY[*]}\"\n";
    std::ofstream(File("probe.bash")) << probe.str();
    std::FILE* pipe = ::popen(("bash " + File("probe.bash")).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, pipe)) lines.emplace_back(buffer);
    ASSERT_EQ(::pclose(pipe), 0);
    ASSERT_EQ(lines.size(), CommandTable().size() + 4);

    const std::set<std::string> global{"--station",    "--pos",       "--line",      "--modbus",
                                       "--modbus-rtu", "--lang",      "--save-line", "--registry",
                                       "--quiet",      "--help",      "--all",       "--lines",
                                       "--save-lines", "--frame-log", "--site"};
    for (std::size_t i = 0; i < CommandTable().size(); ++i) {
        const CommandSyntax& syntax = CommandTable()[i];
        std::set<std::string> expected = global;
        expected.insert(syntax.valueOptions.begin(), syntax.valueOptions.end());
        expected.insert(syntax.flags.begin(), syntax.flags.end());
        std::set<std::string> offered;
        std::istringstream words(lines[i]);
        for (std::string word; words >> word;) offered.insert(word);
        EXPECT_EQ(offered, expected) << syntax.name;
    }
    const std::size_t extra = CommandTable().size();
    EXPECT_EQ(lines[extra], "random physical single change\n");
    EXPECT_EQ(lines[extra + 1], "upload download\n");
    EXPECT_EQ(lines[extra + 2], "--line --listen --listen-rtu --lines\n");
    EXPECT_EQ(lines[extra + 3], "--version\n");

    // The groups and help itself, as the usage and the completion offer them.
    for (const auto& args : {test::Args("help", "address"), test::Args("address", "--help"),
                             test::Args("help", "archive"), test::Args("help", "help")}) {
        const Outcome group = Zd(args);
        EXPECT_EQ(group.exitCode, 0) << test::Joined(args);
        EXPECT_NE(group.json.get<std::string>().find(args.back() == "help" ? "zd4270 help [COMMAND]"
                                                     : args[1] == "archive"
                                                         ? "zd4270 archive download FILE"
                                                         : "zd4270 address change OLD:NEW"),
                  std::string::npos)
            << group.json;
    }

    const Outcome perCommand = Zd({"address", "physical", "--help"});
    EXPECT_EQ(perCommand.exitCode, 0);
    EXPECT_EQ(perCommand.json.get<std::string>().rfind("zd4270 address physical", 0), 0u);
    EXPECT_EQ(Zd({"help", "frobnicate"}).exitCode, 2);
}

}  // namespace
}  // namespace zd
