// SIGINT and SIGTERM during a command. The command runs in a child process that stops at a call
// on the simulated line the test chooses and waits there for the signal the test sends, so that
// the signal always comes in the middle of the procedure; the child's document, exit code and
// saved line are read back.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "sim/LineFile.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using test::ExampleLine;
using test::Outcome;

struct ChildRun {
    int status = 0;
    Json json;
};

class InterruptTest : public test::FolderTest {
  protected:
    InterruptTest() : FolderTest("zd_int_") {}

    std::vector<std::string> Args(std::vector<std::string> args) const {
        args.insert(args.end(), {"--registry", File("store.ini"), "--save-line", File("out.json")});
        return args;
    }

    // The calls the whole command makes on the simulated line, run in this process.
    std::int64_t CallsOf(const std::vector<std::string>& args) const {
        std::int64_t calls = 0;
        SessionOptions defaults = test::ExampleDefaults();
        defaults.prepareSimulatedLine = [&calls](SimDevCom& devCom) {
            devCom.Faults().m_beforeCall = [&calls](std::int64_t call) { calls = call; };
        };
        const Outcome run = test::RunZd(args, defaults);
        EXPECT_EQ(run.exitCode, 0) << run.json.dump();
        return calls;
    }

    // zd4270 args in a child; at call atCall it stops and waits for a signal, once for each of
    // signals, which the test sends one by one.
    ChildRun RunInterrupted(const std::vector<std::string>& args, std::int64_t atCall,
                            const std::vector<int>& signals) const {
        int ready[2];
        int result[2];
        EXPECT_EQ(::pipe(ready), 0);
        EXPECT_EQ(::pipe(result), 0);
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(ready[0]);
            ::close(result[0]);
            // The signals wait until the child is at its stop, and come in there only.
            sigset_t blocked;
            sigset_t open;
            sigemptyset(&blocked);
            sigaddset(&blocked, SIGINT);
            sigaddset(&blocked, SIGTERM);
            ::sigprocmask(SIG_BLOCK, &blocked, &open);
            std::size_t stops = 0;
            SessionOptions defaults = test::ExampleDefaults();
            defaults.prepareSimulatedLine = [&](SimDevCom& devCom) {
                devCom.Faults().m_beforeCall = [&](std::int64_t call) {
                    if (call < atCall || stops >= signals.size()) return;
                    ++stops;
                    (void)!::write(ready[1], "!", 1);
                    ::sigsuspend(&open);
                };
            };
            const Outcome run = test::RunZd(args, defaults);
            const std::string text = run.json.dump();
            (void)!::write(result[1], text.data(), text.size());
            ::_exit(run.exitCode);
        }
        ::close(ready[1]);
        ::close(result[1]);
        for (int signal : signals) {
            char byte = 0;
            if (::read(ready[0], &byte, 1) != 1) break;
            ::kill(child, signal);
        }
        std::string text;
        char buffer[4096];
        for (ssize_t n = 0; (n = ::read(result[0], buffer, sizeof buffer)) > 0;)
            text.append(buffer, n);
        ::close(ready[0]);
        ::close(result[0]);
        ChildRun run;
        ::waitpid(child, &run.status, 0);
        run.json = text.empty() ? Json() : Json::parse(text);
        return run;
    }

    // The older firmware leaves random addressing to the control: the control's search.
    std::string ControlSearchLine() const {
        return EditedLine("older.json", "sixteen-unaddressed.json",
                          [](sim::LineDescription& l) { l.terminal.firmwareVersion = 0x314C; });
    }
};

// The first signal ends the search as Cancel does (TERMINATE: no gear left in the initialisation
// state), and the document, the line and the store say what was done; SIGTERM the same with its
// own code; a second signal ends the run at once.
TEST_F(InterruptTest, TheFirstSignalEndsTheProcedureCleanlyTheSecondAtOnce) {
    const std::vector<std::string> args =
        Args({"address", "random", "--line", ControlSearchLine()});
    const std::int64_t calls = CallsOf(args);
    std::filesystem::remove(File("out.json"));
    std::filesystem::remove(File("store.ini"));

    const ChildRun interrupted = RunInterrupted(args, calls / 2, {SIGINT});
    ASSERT_TRUE(WIFEXITED(interrupted.status)) << interrupted.status;
    EXPECT_EQ(WEXITSTATUS(interrupted.status), 130);
    const Json& document = interrupted.json;
    EXPECT_EQ(document.at("interrupted"), true) << document.dump();
    EXPECT_EQ(document.at("error"), "interrupted by SIGINT");
    const std::size_t found = document.at("devices").size();
    EXPECT_GT(found, 0u);
    EXPECT_LT(found, 16u);
    const sim::LineDescription line = sim::LoadLineFile(File("out.json"));
    std::size_t addressed = 0;
    for (const auto& gear : line.gear) {
        EXPECT_EQ(gear.initialiseRemainingMs, 0);
        if (gear.shortAddress) ++addressed;
    }
    EXPECT_EQ(addressed, found);
    EXPECT_NE(test::ReadFileText(File("store.ini")).find("Terminal_"), std::string::npos);

    const ChildRun terminated = RunInterrupted(args, calls / 2, {SIGTERM});
    EXPECT_TRUE(WIFEXITED(terminated.status) && WEXITSTATUS(terminated.status) == 143)
        << terminated.status;
    EXPECT_EQ(terminated.json.at("error"), "interrupted by SIGTERM");

    const ChildRun twice = RunInterrupted(args, calls / 2, {SIGINT, SIGINT});
    EXPECT_TRUE(WIFSIGNALED(twice.status) && WTERMSIG(twice.status) == SIGINT) << twice.status;
    EXPECT_TRUE(twice.json.is_null());
}

// Stopped in the scan that follows the search: every address the search gave is in the document
// and the store, not just those the scan had reached.
TEST_F(InterruptTest, AnAddressingStoppedInItsClosingScanKeepsEveryAddressItGave) {
    const std::vector<std::string> args =
        Args({"address", "random", "--start", "48", "--line", ControlSearchLine()});
    // The scan asks 0 to 63: cut before it reaches 48, it has found none of the new gear.
    const ChildRun stopped = RunInterrupted(args, CallsOf(args) - 200, {SIGINT});
    ASSERT_TRUE(WIFEXITED(stopped.status) && WEXITSTATUS(stopped.status) == 130) << stopped.status;
    const Json& devices = stopped.json.at("devices");
    ASSERT_EQ(devices.size(), 16u) << stopped.json.dump();
    EXPECT_EQ(devices.front().at("shortAddress"), 48);
    EXPECT_EQ(test::StoredDevices(File("store.ini")), 16);
}

// The terminal's own random addressing: stopped where the terminal lets the control, else named.
TEST_F(InterruptTest, TheTerminalsOwnAddressing) {
    const std::vector<std::string> args =
        Args({"address", "random", "--line", ExampleLine("sixteen-unaddressed.json")});
    // Early in the run: the terminal searches for most of it, the closing scan comes after.
    const ChildRun own = RunInterrupted(args, CallsOf(args) / 20, {SIGINT});
    EXPECT_TRUE(WIFEXITED(own.status) && WEXITSTATUS(own.status) == 130) << own.status;
    EXPECT_EQ(own.json.at("interrupted"), true) << own.json.dump();
    EXPECT_EQ(own.json.value("note", ""),
              "random addressing goes on in the terminal, which does not let the control stop it; "
              "scan once it has finished");
}

// A restore stops between two devices: the document lists the devices written and those not, and
// the line holds exactly what the written ones were sent.
TEST_F(InterruptTest, ARestoreStopsBetweenDevicesAndSaysWhatWasWritten) {
    const std::string line = ExampleLine("full-line.json");
    ASSERT_EQ(
        test::RunZd({"backup", File("b.json"), "--line", line}, test::ExampleDefaults()).exitCode,
        0);
    Json backup = Json::parse(test::ReadFileText(File("b.json")));
    for (Json& device : backup.at("devices")) device.at("variables").at("max-level") = 200;
    std::ofstream(File("lower.json")) << backup.dump();

    const std::vector<std::string> args =
        Args({"restore", File("lower.json"), "--yes", "--line", line});
    // Late in the run: the line has been read, the writes are under way.
    const ChildRun stopped = RunInterrupted(args, CallsOf(args) * 9 / 10, {SIGINT});
    ASSERT_TRUE(WIFEXITED(stopped.status) && WEXITSTATUS(stopped.status) == 130) << stopped.status;
    const Json& document = stopped.json;
    EXPECT_EQ(document.at("interrupted"), true) << document.dump();
    const Json& written = document.at("written");
    const Json& notWritten = document.at("notWritten");
    EXPECT_GT(written.size(), 0u);
    EXPECT_GT(notWritten.size(), 0u);
    EXPECT_EQ(written.size() + notWritten.size(), 64u);
    std::set<int> sent;
    for (const Json& device : written) {
        EXPECT_EQ(device.at("notTaken"), Json::array()) << device.dump();
        sent.insert(device.at("shortAddress").get<int>());
    }
    for (const auto& gear : sim::LoadLineFile(File("out.json")).gear)
        EXPECT_EQ(gear.maxLevel, sent.count(*gear.shortAddress) ? 200 : 254) << *gear.shortAddress;
}

// An archive download stops between two addresses and names those written and those not reached.
TEST_F(InterruptTest, AnArchiveDownloadStopsBetweenAddressesAndSaysWhatWasWritten) {
    const std::string line = ExampleLine("full-line.json");
    ASSERT_EQ(
        test::RunZd({"archive", "upload", File("a.xml"), "--line", line}, test::ExampleDefaults())
            .exitCode,
        0);
    const std::vector<std::string> args =
        Args({"archive", "download", File("a.xml"), "--yes", "--line", line});
    const ChildRun stopped = RunInterrupted(args, CallsOf(args) / 2, {SIGINT});
    ASSERT_TRUE(WIFEXITED(stopped.status) && WEXITSTATUS(stopped.status) == 130) << stopped.status;
    const std::size_t written = stopped.json.at("written").size();
    const std::size_t notWritten = stopped.json.at("notWritten").size();
    EXPECT_GT(written, 0u) << stopped.json.dump();
    EXPECT_GT(notWritten, 0u);
    EXPECT_EQ(written + notWritten, 64u);
}

}  // namespace
}  // namespace zd
