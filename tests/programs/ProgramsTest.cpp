// The shipped programs as a user runs them: zd4270 and zd4270-sim started from the build, with
// their exit codes, standard output and error read back. Each child runs in a folder of its own,
// without a display unless the test gives one.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Version.h"
#include "support/Examples.h"

extern char** environ;

namespace zd {
namespace {

using test::ExamplePath;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A program running as a child process, its standard output and error piped back.
class Child {
  public:
    // The environment is this process's without a display, the Qt platform or a runtime folder,
    // plus the NAME=VALUE entries of env.
    Child(const std::string& program, const std::vector<std::string>& args,
          const std::string& folder, const std::vector<std::string>& env = {},
          const std::function<void()>& inChild = {}) {
        std::vector<std::string> argStrings{program};
        argStrings.insert(argStrings.end(), args.begin(), args.end());
        std::vector<std::string> envStrings;
        for (char** entry = environ; *entry; ++entry) {
            const std::string text = *entry;
            const std::string name = text.substr(0, text.find('='));
            if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" &&
                name != "XDG_RUNTIME_DIR")
                envStrings.push_back(text);
        }
        envStrings.insert(envStrings.end(), env.begin(), env.end());
        std::vector<char*> argv;
        for (std::string& arg : argStrings) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& entry : envStrings) envp.push_back(entry.data());
        envp.push_back(nullptr);

        int out[2];
        int err[2];
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err[1], STDERR_FILENO);
            const int nothing = ::open("/dev/null", O_RDONLY);
            ::dup2(nothing, STDIN_FILENO);
            if (inChild) inChild();
            if (::chdir(folder.c_str()) == 0) ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out[1]);
        ::close(err[1]);
        m_out = out[0];
        m_err = err[0];
    }

    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Finish();
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Reads until stdout holds text, both pipes are closed or timeoutMs have passed; true when
    // stdout holds text.
    bool WaitForOutput(const std::string& text, int timeoutMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (m_run.out.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  end - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0 || !ReadSome(static_cast<int>(left))) return false;
        }
        return true;
    }

    void Signal(int signal) const { ::kill(m_pid, signal); }

    // Reads both pipes to their end and waits for the child; -1 for an exit code when a signal
    // ended it.
    ProgramRun Finish() {
        while (ReadSome(-1)) {
        }
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        m_run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_run;
    }

  private:
    // One read of whatever is ready; false once both pipes are closed or nothing came in time.
    bool ReadSome(int timeoutMs) {
        pollfd fds[2] = {{m_out, POLLIN, 0}, {m_err, POLLIN, 0}};
        const int open = (m_out >= 0) + (m_err >= 0);
        if (open == 0 || ::poll(fds, 2, timeoutMs) <= 0) return false;
        for (auto [fd, text] : {std::pair{&m_out, &m_run.out}, std::pair{&m_err, &m_run.err}}) {
            if (*fd < 0 || !(fds[fd == &m_out ? 0 : 1].revents & (POLLIN | POLLHUP))) continue;
            char buffer[4096];
            const ssize_t n = ::read(*fd, buffer, sizeof buffer);
            if (n > 0) {
                text->append(buffer, static_cast<std::size_t>(n));
            } else {
                ::close(*fd);
                *fd = -1;
            }
        }
        return true;
    }

    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    ProgramRun m_run;
};

// A port on the loopback that nothing listens on just now.
int FreePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), length), 0);
    EXPECT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length), 0);
    ::close(probe);
    return ntohs(address.sin_port);
}

class ProgramsTest : public ::testing::Test {
  protected:
    ProgramRun Run(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& env = {}) {
        return Child(program, args, m_folder.Path().string(), env).Finish();
    }
    std::string File(const std::string& name) const { return m_folder.File(name); }

    test::TempFolder m_folder{"zd_programs_"};
};

TEST_F(ProgramsTest, VersionsAndWrongCommandLines) {
    const std::string version = kProgramVersion;
    struct Case {
        const char* program;
        std::vector<std::string> args;
        int exitCode;
        std::string out;  // the whole of stdout, or (prefixed "~") a part of it
        std::string err;  // a part of stderr; empty: stderr is empty
    };
    const std::vector<Case> cases = {
        {ZD4270_PROGRAM, {"--version"}, 0, "zd4270 " + version + "\n", ""},
        {ZD4270_SIM_PROGRAM, {"--version"}, 0, "zd4270-sim " + version + "\n", ""},
        {ZD4270_SIM_PROGRAM, {"--help"}, 0, "~--fault GEAR:NAME=VALUE", ""},
        {ZD4270_PROGRAM, {"--lang", "en", "scan", "--bogus"}, 2, "~\"error\"", "zd4270: "},
        {ZD4270_SIM_PROGRAM, {"--pos"}, 2, "", "zd4270-sim: --pos needs a value\n"},
        {ZD4270_SIM_PROGRAM, {"--bogus"}, 2, "", "usage: zd4270-sim"},
        {ZD4270_SIM_PROGRAM, {"--listen", "127.0.0.1:0"}, 2, "", "zd4270-sim: --listen: "},
        {ZD4270_SIM_PROGRAM, {"--lines", "x"}, 2, "", "give --station FILE with it"},
        // A fault of a gear the line does not have is found before anything listens.
        {ZD4270_SIM_PROGRAM, {"--fault", "9:silent=on"}, 2, "", "no gear 9"},
        {ZD4270_SIM_PROGRAM, {"--line", File("none.json")}, 1, "", "none.json"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + (c.args.empty() ? "" : c.args.front()));
        const ProgramRun run = Run(c.program, c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        if (c.out.starts_with("~"))
            EXPECT_NE(run.out.find(c.out.substr(1)), std::string::npos) << run.out;
        else
            EXPECT_EQ(run.out, c.out);
        if (c.err.empty())
            EXPECT_EQ(run.err, "");
        else
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

// The PDF is drawn without a screen, also where a display is named that cannot be reached, and
// Qt's notes about the missing desktop session stay out of the console.
TEST_F(ProgramsTest, APdfReportNeedsNoDisplay) {
    for (const std::vector<std::string>& env :
         {std::vector<std::string>{}, std::vector<std::string>{"DISPLAY=:4711"}}) {
        SCOPED_TRACE(env.empty() ? "no display" : env.front());
        const std::string pdf = File("report.pdf");
        const ProgramRun run =
            Run(ZD4270_PROGRAM,
                {"--lang", "en", "--registry", File("store.ini"), "report", "--format", "pdf", pdf},
                env);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_NE(run.out.find("\"file\": \"" + pdf + "\""), std::string::npos) << run.out;
        EXPECT_TRUE(test::ReadFileText(pdf).starts_with("%PDF"));
        EXPECT_EQ(run.err.find("XDG_RUNTIME_DIR"), std::string::npos) << run.err;
        std::filesystem::remove(pdf);
    }
}

// Past a file size limit (ulimit -f) a save fails as on a full disk: the run ends with its
// document, and no temporary file or lock stays behind. A signal that came before the program was
// ready for it ends the run as a later one does.
TEST_F(ProgramsTest, AFileSizeLimitFailsTheSaveAndAnEarlySignalEndsTheRunCleanly) {
    const std::vector<std::string> scan = {
        "--lang", "en", "--registry", File("store.ini"), "scan", "--save-line", File("line.json")};
    const ProgramRun limited = Child(ZD4270_PROGRAM, scan, m_folder.Path().string(), {}, [] {
                                   const rlimit limit{64, 64};
                                   ::setrlimit(RLIMIT_FSIZE, &limit);
                               }).Finish();
    EXPECT_EQ(limited.exitCode, 1) << limited.out << limited.err;
    EXPECT_NE(limited.out.find("File too large"), std::string::npos) << limited.out;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder.Path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.find(".tmp-") == std::string::npos && !name.ends_with(".lock")) << name;
    }

    const ProgramRun early = Child(ZD4270_PROGRAM, scan, m_folder.Path().string(), {}, [] {
                                 sigset_t interrupt;
                                 sigemptyset(&interrupt);
                                 sigaddset(&interrupt, SIGINT);
                                 ::sigprocmask(SIG_BLOCK, &interrupt, nullptr);
                                 ::raise(SIGINT);
                             }).Finish();
    EXPECT_EQ(early.exitCode, 130) << early.out << early.err;
    EXPECT_NE(early.out.find("\"interrupted\": true"), std::string::npos) << early.out;
}

// zd4270 drives a serving zd4270-sim over Modbus TCP; SIGTERM then ends the server cleanly, with
// the count of the requests it answered.
TEST_F(ProgramsTest, ASignalEndsAServingSimulatorCleanly) {
    const std::string endpoint = "127.0.0.1:" + std::to_string(FreePort());
    Child server(ZD4270_SIM_PROGRAM,
                 {"--line", ExamplePath("lines/three-addressed.json"), "--listen", endpoint,
                  "--fault", "terminal:acknowledgeDelayMs=10", "--fault", "3:randomiseDelayMs=100"},
                 m_folder.Path().string());
    ASSERT_TRUE(server.WaitForOutput("\n", 10'000));

    const ProgramRun query =
        Run(ZD4270_PROGRAM, {"--lang", "en", "--registry", File("store.ini"), "--modbus", endpoint,
                             "query", "query actual level", "--short", "5"});
    EXPECT_EQ(query.exitCode, 0) << query.out << query.err;
    EXPECT_NE(query.out.find("\"answer\""), std::string::npos) << query.out;

    server.Signal(SIGTERM);
    const ProgramRun served = server.Finish();
    EXPECT_EQ(served.exitCode, 0) << served.err;
    EXPECT_TRUE(
        served.out.starts_with("zd4270-sim: serving the terminal at position 1 with 3 gear"))
        << served.out;
    EXPECT_NE(served.out.find("on Modbus TCP " + endpoint), std::string::npos) << served.out;
    // The faults it starts with, as --fault spells them.
    EXPECT_NE(served.out.find("zd4270-sim: starting with the faults "
                              "terminal:acknowledgeDelayMs=10, 3:randomiseDelayMs=100\n"),
              std::string::npos)
        << served.out;
    const std::string stopped = "zd4270-sim: stopped after ";
    const std::size_t at = served.out.find(stopped);
    ASSERT_NE(at, std::string::npos) << served.out;
    EXPECT_GT(std::stoi(served.out.substr(at + stopped.size())), 0) << served.out;
}

}  // namespace
}  // namespace zd
