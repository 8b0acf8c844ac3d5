#include "serve/Serve.h"

#include <qrencode.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "cli/ProgressLine.h"
#include "platform/Error.h"
#include "platform/HostTexts.h"
#include "platform/Interrupt.h"
#include "report/OffscreenApplication.h"
#include "serve/PageServer.h"
#include "serve/ServedLine.h"

namespace zd {

namespace {

// A 128-bit token from the system's random source, as 32 hexadecimal digits.
std::string NewToken() {
    std::string token;
    for (int i = 0; i < 4; ++i) {
        char part[9];
        std::snprintf(part, sizeof part, "%08x", QRandomGenerator::system()->generate());
        token += part;
    }
    return token;
}

struct Listen {
    QHostAddress address;
    quint16 port = kServePort;
};

Listen ParseListen(const std::string& text) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) throw UsageError("--listen takes ADDRESS:PORT");
    std::string host = text.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    Listen listen;
    if (!listen.address.setAddress(QString::fromStdString(host)))
        throw UsageError("--listen: \"" + host + "\" is no IP address");
    listen.port =
        static_cast<quint16>(ParseNumber(text.substr(colon + 1), 0, 65535, "--listen's port"));
    return listen;
}

// The address a phone reaches this computer at: the one listened on, or for an address of every
// interface the first of this computer's own that is not loopback.
QString ReachableHost(const QHostAddress& address) {
    if (address != QHostAddress::Any && address != QHostAddress::AnyIPv4 &&
        address != QHostAddress::AnyIPv6)
        return address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address.toString() + "]"
                                                                   : address.toString();
    for (const QHostAddress& own : QNetworkInterface::allAddresses())
        if (!own.isLoopback() && own.protocol() == QAbstractSocket::IPv4Protocol)
            return own.toString();
    return "127.0.0.1";
}

// The names a request's Host may give: the address listened on, or for an address of every
// interface each of this computer's own; "localhost" where loopback is served; and the names
// the user allows.
std::vector<std::string> HostNames(const QHostAddress& address,
                                   const std::vector<std::string>& allowed) {
    std::vector<std::string> names = allowed;
    const bool any = address == QHostAddress::Any || address == QHostAddress::AnyIPv4 ||
                     address == QHostAddress::AnyIPv6;
    if (any) {
        for (const QHostAddress& own : QNetworkInterface::allAddresses()) {
            QHostAddress plain = own;
            plain.setScopeId({});
            names.push_back(plain.toString().toStdString());
        }
    } else {
        names.push_back(address.toString().toStdString());
    }
    if (any || address.isLoopback()) names.push_back("localhost");
    return names;
}

constexpr const char kStatePrefix[] = "zd4270-serve-";
constexpr const char kOwnerFile[] = ".owner";

// The private folder of a server's files (the working line, request bodies, downloads), held
// with a lock on its owner file for the server's life and removed at its end. A server that
// ended without removing it (a crash, kill -9) leaves it unlocked: the next start removes it.
class StateFolder {
  public:
    explicit StateFolder(const std::filesystem::path& parent) {
        std::string pattern = (parent / (std::string(kStatePrefix) + "XXXXXX")).string();
        if (!mkdtemp(pattern.data())) throw ControlError("no folder for the served line's files");
        m_path = pattern;
        const std::string owner = (m_path / kOwnerFile).string();
        m_lock = ::open(owner.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (m_lock < 0 || ::flock(m_lock, LOCK_EX | LOCK_NB) != 0)
            throw ControlError("no folder for the served line's files");
        // Written under the lock: a folder whose owner file is empty is being made.
        const std::string pid = std::to_string(::getpid()) + "\n";
        if (::write(m_lock, pid.data(), pid.size()) != static_cast<ssize_t>(pid.size()))
            throw ControlError("no folder for the served line's files");
    }
    ~StateFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
        if (m_lock >= 0) ::close(m_lock);
    }
    StateFolder(const StateFolder&) = delete;
    StateFolder& operator=(const StateFolder&) = delete;
    const std::filesystem::path& Path() const { return m_path; }

  private:
    std::filesystem::path m_path;
    int m_lock = -1;
};

// Removes the private folders of servers that are gone: this user's folders whose owner file
// names a process and is locked by none.
void RemoveAbandonedStateFolders(const std::filesystem::path& parent) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(parent, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kStatePrefix, 0) != 0) continue;
        std::error_code status;
        if (!entry.is_directory(status) || entry.is_symlink(status)) continue;
        struct stat info {};
        if (::lstat(entry.path().c_str(), &info) != 0 || info.st_uid != ::getuid()) continue;
        const int lock =
            ::open((entry.path() / kOwnerFile).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (lock < 0) continue;
        char pid[32] = {};
        const bool abandoned =
            ::flock(lock, LOCK_EX | LOCK_NB) == 0 && ::read(lock, pid, sizeof pid - 1) > 0;
        ::close(lock);
        if (abandoned) std::filesystem::remove_all(entry.path(), status);
    }
}

}  // namespace

std::string TerminalQrCode(const std::string& text) {
    QRcode* code = QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1);
    if (!code) return {};
    const int width = code->width;
    constexpr int kQuiet = 2;
    auto dark = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= width) return false;
        return (code->data[y * width + x] & 1) != 0;
    };
    std::string drawing;
    for (int y = -kQuiet; y < width + kQuiet; y += 2) {
        drawing += "\033[30;47m";
        for (int x = -kQuiet; x < width + kQuiet; ++x) {
            const bool top = dark(x, y);
            const bool bottom = dark(x, y + 1);
            drawing += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        drawing += "\033[0m\n";
    }
    QRcode_free(code);
    return drawing;
}

int RunServe(const ParsedCommandLine& parsed, std::FILE* out, std::FILE* err) {
    const ServeArguments& arguments = parsed.serve;
    const Listen listen = ParseListen(arguments.listen);
    if (arguments.tlsCert.empty() != arguments.tlsKey.empty())
        throw UsageError("--tls-cert and --tls-key go together");

    // The event loop the signal watch runs on; the report's PDF draws with it.
    OffscreenApplication application;
    SessionOptions options = parsed.options;
    options.realTimeSimulation = !arguments.virtualTime;
    const std::filesystem::path temporary = QDir::tempPath().toStdString();
    RemoveAbandonedStateFolders(temporary);
    const StateFolder stateDir(temporary);
    ServedLine line(options, parsed.station, stateDir.Path());

    const char* fromEnvironment = std::getenv("ZD4270_SERVE_TOKEN");
    const std::string token =
        fromEnvironment && std::string(fromEnvironment).size() >= 16 ? fromEnvironment : NewToken();
    PageServer server(line, token, options.language, stateDir.Path());
    const bool tls = !arguments.tlsCert.empty();
    if (tls) server.UseTls(arguments.tlsCert, arguments.tlsKey);
    const quint16 port = server.Listen(listen.address.toString().toStdString(), listen.port);
    if (port == 0) {
        throw ControlError("cannot listen on " + arguments.listen +
                           (listen.port < 1024 ? " (a port below 1024 needs root)"
                                               : " (is another server using the port?)"));
    }
    server.AllowHosts(HostNames(listen.address, arguments.allowedHosts));
    server.Start();

    const QString host = ReachableHost(listen.address);
    const std::string base =
        (tls ? "https://" : "http://") + host.toStdString() + ":" + std::to_string(port) + "/";
    const std::string url = base + "?token=" + token;
    const Language language = options.language;
    std::fprintf(out, "zd4270 serve: %s\n",
                 HostText(language, "the line is served at %1", {url}).c_str());
    if (!listen.address.isLoopback()) {
        const std::string where = listen.address.toString().toStdString();
        std::fprintf(out, "zd4270 serve: %s\n",
                     HostText(language,
                              tls ? "listening on %1, beyond this computer: whoever on the network "
                                    "has the address with its token controls the line"
                                  : "listening on %1, beyond this computer: whoever on the network "
                                    "has the address with its token controls the line; without "
                                    "--tls-cert the traffic is not encrypted",
                              {where})
                         .c_str());
    }
    if (IsTerminal(out)) {
        std::fprintf(out, "Open it on a phone with this code:\n%s", TerminalQrCode(url).c_str());
    }
    std::fprintf(out, "Ctrl-C stops the server.\n");
    std::fflush(out);

    // A signal ends the run under way as it ends a command (the run's clock loop sees it), then
    // the server.
    int stoppedBy = 0;
    QTimer signalWatch;
    QObject::connect(&signalWatch, &QTimer::timeout, [&] {
        const int signal = InterruptSignal();
        if (!signal) return;
        if (!stoppedBy) {
            stoppedBy = signal;
            if (const auto running = line.Running())
                std::fprintf(err, "zd4270: %s: ending %s, then the server\n", InterruptName(signal),
                             running->c_str());
            server.StopListening();
        }
        if (line.Running()) return;
        QCoreApplication::quit();
    });
    signalWatch.start(100);
    QCoreApplication::exec();

    line.Join();
    // The answers still owed go out before the server closes.
    server.Shutdown();
    try {
        line.SaveLines(options.saveLineFile);
    } catch (const ControlError& error) {
        std::fprintf(err, "zd4270: %s\n", error.Description().c_str());
        return 1;
    }
    std::fprintf(
        err, "zd4270: %s\n",
        HostText(language, "%1: the server has stopped", {InterruptName(stoppedBy)}).c_str());
    return 0;
}

}  // namespace zd
