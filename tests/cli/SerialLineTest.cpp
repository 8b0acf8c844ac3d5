// zd4270 and zd4270-sim as programs on the two ends of a serial line: a pseudo-terminal pair that
// socat joins, as a null-modem cable joins two adapters. A scan, random addressing of a new gear,
// an archive upload and its download restoring a changed group, and a wrong unit said plainly,
// all over Modbus RTU. Skipped where socat is missing. The line runs at 115200 baud without
// parity, which is all a pseudo-terminal keeps; the procedures take real time on the wire.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/CliRun.h"

extern char** environ;

namespace zd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A program started with its stdout (and, when asked, stderr) on a pipe the test reads by line;
// ended with SIGTERM unless it ended itself.
class Program {
  public:
    Program(const std::vector<std::string>& args, bool readStderr) {
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], readStderr ? 2 : 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        posix_spawn_file_actions_addclose(&actions, out[1]);
        std::vector<char*> argv;
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        if (::posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = ::fdopen(out[0], "r");
    }
    ~Program() {
        if (m_pid > 0) Stop();
        if (m_out) std::fclose(m_out);
    }

    bool Running() const { return m_pid > 0; }
    // Reads lines until one holds text; false at the end of the output.
    bool WaitFor(const std::string& text, std::string& seen) {
        char line[4096];
        while (m_out && std::fgets(line, sizeof line, m_out)) {
            seen += line;
            if (std::string(line).find(text) != std::string::npos) return true;
        }
        return false;
    }
    // SIGTERM, and the exit code.
    int Stop() {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t m_pid = -1;
    std::FILE* m_out = nullptr;
};

bool OnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "";
    for (std::size_t at = 0; at <= directories.size();) {
        const std::size_t end = std::min(directories.find(':', at), directories.size());
        const std::string candidate = directories.substr(at, end - at) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

class SerialLineTest : public test::FolderTest {
  protected:
    SerialLineTest() : FolderTest("zd_rtu_") {}

    // zd4270 on the line's B end with args; the document and the exit code.
    test::Outcome Zd(const std::string& line, std::vector<std::string> args) const {
        std::string command = std::string(ZD4270_PROGRAM) + " --lang en --quiet --registry '" +
                              File("store.ini") + "' --modbus-rtu '" + line + "'";
        for (const std::string& arg : args) command += " '" + arg + "'";
        command += " 2>>'" + File("console.txt") + "'";
        std::FILE* pipe = ::popen(command.c_str(), "r");
        test::Outcome run;
        if (!pipe) return run;
        std::string text;
        char buffer[4096];
        for (std::size_t n = 0; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            text.append(buffer, n);
        const int status = ::pclose(pipe);
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        try {
            run.json = Json::parse(text);
        } catch (const Json::parse_error&) {
            run.json = text;
        }
        return run;
    }
};

TEST_F(SerialLineTest, ScanAddressingAndArchiveRoundTripOverModbusRtu) {
    if (!OnPath("socat"))
        GTEST_SKIP() << "socat is not installed (scripts/setup.sh installs it): the serial line "
                        "test joins its two pseudo-terminals with it";
    const std::string a = File("A");
    const std::string b = File("B");
    Program socat({"socat", "-d", "-d", "pty,raw,echo=0,link=" + a, "pty,raw,echo=0,link=" + b},
                  true);
    std::string said;
    ASSERT_TRUE(socat.Running());
    ASSERT_TRUE(socat.WaitFor("starting data transfer loop", said)) << said;

    // Gear at 0 and 63 and a new one between them, on a terminal whose search the control runs.
    const std::string line =
        EditedLine("line.json", "three-addressed.json", [](sim::LineDescription& l) {
            l.terminal.firmwareVersion = 0x314C;
            l.gear.at(1).shortAddress.reset();
        });
    Program sim({ZD4270_SIM_PROGRAM, "--line", line, "--listen-rtu", a + ":115200:N:1/5"}, false);
    ASSERT_TRUE(sim.Running());
    ASSERT_TRUE(sim.WaitFor("serving the", said)) << said;
    EXPECT_THAT(said, HasSubstr("on Modbus RTU unit 5 on " + a + " at 115200 8N1"));
    const std::string end = b + ":115200:N:1/5";

    // At the quick pace: the usual one takes twice as long over the serial line and asks the same.
    const test::Outcome scan = Zd(end, {"scan", "--quick"});
    ASSERT_EQ(scan.exitCode, 0) << scan.json.dump();
    EXPECT_EQ(test::ShortAddresses(scan.json.at("devices")), (std::vector<int>{0, 63}));

    const test::Outcome addressed = Zd(end, {"address", "random", "--fast"});
    ASSERT_EQ(addressed.exitCode, 0) << addressed.json.dump();
    EXPECT_EQ(test::ShortAddresses(addressed.json.at("devices")), (std::vector<int>{0, 1, 63}));

    // The new gear joins group 9; the archive keeps that; the group is left, and the download
    // puts the gear back in it.
    ASSERT_EQ(Zd(end, {"groups", "--short", "1", "--add", "9"}).exitCode, 0);
    const test::Outcome upload = Zd(end, {"archive", "upload", File("archive.xml")});
    ASSERT_EQ(upload.exitCode, 0) << upload.json.dump();
    const test::Outcome left = Zd(end, {"groups", "--short", "1", "--remove", "9"});
    ASSERT_EQ(left.exitCode, 0) << left.json.dump();
    EXPECT_THAT(left.json.at("groups").get<std::vector<int>>(),
                ::testing::Not(::testing::Contains(9)));
    const test::Outcome download = Zd(end, {"archive", "download", File("archive.xml"), "--yes"});
    ASSERT_EQ(download.exitCode, 0) << download.json.dump();
    const test::Outcome groups = Zd(end, {"groups", "--short", "1"});
    ASSERT_EQ(groups.exitCode, 0) << groups.json.dump();
    EXPECT_THAT(groups.json.at("groups").get<std::vector<int>>(), ::testing::Contains(9));

    // Another unit keeps quiet, and the error says where nobody answered.
    const std::size_t consoleBefore = test::ReadFileText(File("console.txt")).size();
    const test::Outcome wrongUnit = Zd(b + ":115200:N:1/4", {"scan"});
    EXPECT_EQ(wrongUnit.exitCode, 1);
    EXPECT_THAT(wrongUnit.json.value("error", ""),
                HasSubstr("no answer from unit 4 on " + b + " at 115200 8N1 within"));
    // Said once, and not under the refresh's box (procedure, source and number).
    const std::string told = test::ReadFileText(File("console.txt")).substr(consoleBefore);
    EXPECT_THAT(told, Not(HasSubstr("Number:")));
    EXPECT_EQ(told.find("no answer from unit 4"), told.rfind("no answer from unit 4")) << told;

    // The simulator ends cleanly on SIGTERM; socat goes with the test's Program.
    EXPECT_EQ(sim.Stop(), 0);
}

}  // namespace
}  // namespace zd
