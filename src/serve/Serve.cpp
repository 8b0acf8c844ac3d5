#include "serve/Serve.h"

#include <qrencode.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <memory>

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

    // The event loop the server and the live channel run on; the report's PDF draws with it.
    OffscreenApplication application;
    SessionOptions options = parsed.options;
    options.realTimeSimulation = !arguments.virtualTime;
    QTemporaryDir stateDir(QDir::tempPath() + "/zd4270-serve-XXXXXX");
    if (!stateDir.isValid()) throw ControlError("no folder for the served line's files");
    ServedLine line(options, parsed.station, stateDir.path().toStdString());

    const char* fromEnvironment = std::getenv("ZD4270_SERVE_TOKEN");
    const std::string token =
        fromEnvironment && std::string(fromEnvironment).size() >= 16 ? fromEnvironment : NewToken();
    PageServer server(line, token, options.language);
    const bool tls = !arguments.tlsCert.empty();
    if (tls) {
        QFile certFile(QString::fromStdString(arguments.tlsCert));
        QFile keyFile(QString::fromStdString(arguments.tlsKey));
        if (!certFile.open(QIODevice::ReadOnly))
            throw ControlError("the certificate " + arguments.tlsCert + " cannot be read");
        if (!keyFile.open(QIODevice::ReadOnly))
            throw ControlError("the key " + arguments.tlsKey + " cannot be read");
        const QSslCertificate certificate(&certFile, QSsl::Pem);
        const QSslKey key(&keyFile, QSsl::Rsa, QSsl::Pem);
        QSslKey usable = key;
        if (usable.isNull()) {
            keyFile.seek(0);
            usable = QSslKey(&keyFile, QSsl::Ec, QSsl::Pem);
        }
        if (certificate.isNull())
            throw ControlError("the certificate " + arguments.tlsCert + " is no PEM certificate");
        if (usable.isNull())
            throw ControlError("the key " + arguments.tlsKey + " is no PEM RSA or EC key");
        server.sslSetup(certificate, usable);
    }
    const quint16 port = server.listen(listen.address, listen.port);
    if (port == 0) {
        throw ControlError("cannot listen on " + arguments.listen +
                           (listen.port < 1024 ? " (a port below 1024 needs root)"
                                               : " (is another server using the port?)"));
    }

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
            for (QTcpServer* listening : server.servers()) listening->close();
        }
        if (line.Running()) return;
        QCoreApplication::quit();
    });
    signalWatch.start(100);
    QCoreApplication::exec();

    line.Join();
    // The answers still owed go out before the server closes.
    QCoreApplication::processEvents();
    server.Shutdown();
    QCoreApplication::processEvents();
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
