// The served line as browsers meet it: zd4270 serve over Modbus TCP on loopback, in front of
// zd4270-sim with a line of new gear, both as programs of their own. Prints how long the page and
// its files take to load, how long a progress event takes from the engine's report to a browser's
// live channel, and the fast random addressing's line time and Modbus requests per second with
// 1 and with 20 browsers watching.
//
//   BenchServe [--gear N] [--program PATH/zd4270] [--sim PATH/zd4270-sim]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QTimer>
#include <QWebSocket>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "sim/LineFile.h"

namespace {

namespace fs = std::filesystem;
using Json = nlohmann::json;

const char kToken[] = "benchbenchbenchbenchbenchbench00";

double EpochMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    return values[index];
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

QNetworkRequest Request(int port, const QString& path) {
    QNetworkRequest request(QUrl(QString("http://127.0.0.1:%1%2").arg(port).arg(path)));
    request.setRawHeader("Cookie", QByteArray("zd4270_token=") + kToken);
    request.setRawHeader("Origin", QString("http://127.0.0.1:%1").arg(port).toUtf8());
    return request;
}

// Watches the live channel as a browser does; collects the delay of each progress event.
struct Watcher {
    QWebSocket socket;
    std::vector<double> delays;
    bool hello = false;

    Watcher(int port) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            const double now = EpochMs();
            const Json event = Json::parse(text.toStdString());
            if (event["type"] == "hello") hello = true;
            if (event["type"] == "progress")
                delays.push_back(now - event["reportedAt"].get<double>());
        });
        QNetworkRequest request(QUrl(QString("ws://127.0.0.1:%1/live").arg(port)));
        request.setRawHeader("Cookie", QByteArray("zd4270_token=") + kToken);
        socket.open(request);
    }
};

struct RunFigures {
    int exitCode = -1;
    double lineMs = 0;
    double requestsPerSecond = 0;
    std::vector<double> delays;
};

RunFigures AddressingRun(QNetworkAccessManager& network, int port, int watchers) {
    std::vector<std::unique_ptr<Watcher>> browsers;
    for (int i = 0; i < watchers; ++i) browsers.push_back(std::make_unique<Watcher>(port));
    WaitFor(
        [&] {
            return std::all_of(browsers.begin(), browsers.end(),
                               [](const auto& b) { return b->hello; });
        },
        10000);
    QNetworkRequest request = Request(port, "/api/address/random");
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    request.setTransferTimeout(0);
    QNetworkReply* reply = network.post(
        request, QByteArray(R"({"fast": true, "new-installation": true, "yes": true})"));
    WaitFor([&] { return reply->isFinished(); }, 30 * 60 * 1000);
    RunFigures figures;
    const Json document = Json::parse(reply->readAll().toStdString(), nullptr, false);
    reply->deleteLater();
    if (document.is_discarded()) return figures;
    figures.exitCode = document.value("exitCode", -1);
    figures.lineMs = document.value("lineTimeMs", 0.0);
    if (figures.lineMs > 0)
        figures.requestsPerSecond = 1000.0 * document.value("requests", 0.0) / figures.lineMs;
    // The last events may still be on their way.
    WaitFor([] { return false; }, 300);
    for (const auto& browser : browsers)
        figures.delays.insert(figures.delays.end(), browser->delays.begin(), browser->delays.end());
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    int gear = 16;
    const fs::path own = fs::canonical(fs::path(argv[0])).parent_path();
    std::string program = (own / "zd4270").string();
    std::string simulator = (own / "zd4270-sim").string();
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--gear") gear = std::stoi(argv[i + 1]);
        if (option == "--program") program = argv[i + 1];
        if (option == "--sim") simulator = argv[i + 1];
    }
    const fs::path folder =
        fs::temp_directory_path() /
        ("zd_bench_serve_" + std::to_string(QCoreApplication::applicationPid()));
    fs::create_directories(folder);
    zd::sim::LineDescription line;
    // A terminal that leaves the search to the control, so that the control's requests are what
    // the run measures.
    line.terminal.firmwareVersion = 0x314C;
    line.terminal.randomSeed = 7;
    line.gear.resize(static_cast<std::size_t>(gear));
    std::ofstream(folder / "line.json") << zd::sim::WriteLineDescription(line);

    const int modbusPort = 15020 + static_cast<int>(QCoreApplication::applicationPid() % 1000);
    QProcess sim;
    sim.start(QString::fromStdString(simulator),
              {"--line", QString::fromStdString((folder / "line.json").string()), "--listen",
               QString("127.0.0.1:%1").arg(modbusPort)});
    QProcess serve;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("ZD4270_SERVE_TOKEN", kToken);
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    serve.setProcessEnvironment(environment);
    serve.start(
        QString::fromStdString(program),
        {"serve", "--listen", "127.0.0.1:0", "--modbus", QString("127.0.0.1:%1").arg(modbusPort),
         "--registry", QString::fromStdString((folder / "registry.ini").string()), "--lang", "en"});
    int port = 0;
    WaitFor(
        [&] {
            const QByteArray text = serve.readAllStandardOutput();
            const auto at = text.indexOf("127.0.0.1:");
            if (at >= 0) port = text.mid(at + 10).split('/').front().toInt();
            return port != 0 || serve.state() == QProcess::NotRunning;
        },
        20000);
    if (port == 0) {
        std::fprintf(stderr, "zd4270 serve did not start: %s\n",
                     serve.readAllStandardError().toStdString().c_str());
        return 1;
    }

    QNetworkAccessManager network;
    // The page and its files, as a browser loads them: the page, then its three files at once.
    std::vector<double> loads;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        QNetworkReply* page = network.get(Request(port, "/"));
        WaitFor([&] { return page->isFinished(); }, 10000);
        page->deleteLater();
        std::vector<QNetworkReply*> files;
        for (const char* path : {"/app.js", "/app.css", "/icon.svg"})
            files.push_back(network.get(Request(port, path)));
        WaitFor(
            [&] {
                return std::all_of(files.begin(), files.end(),
                                   [](auto* f) { return f->isFinished(); });
            },
            10000);
        for (QNetworkReply* file : files) file->deleteLater();
        loads.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("page and files on loopback: median %.1f ms, max %.1f ms (budget 300 ms)\n",
                Percentile(loads, 0.5), Percentile(loads, 1.0));

    std::printf("fast random addressing of %d new gear over Modbus TCP:\n", gear);
    std::printf("%-10s %8s %12s %12s %18s\n", "browsers", "exit", "line time", "requests/s",
                "progress delay");
    for (const int watchers : {1, 20}) {
        const RunFigures run = AddressingRun(network, port, watchers);
        std::printf("%-10d %8d %10.1f s %12.1f   median %.1f ms, p95 %.1f ms, max %.1f ms (%zu)\n",
                    watchers, run.exitCode, run.lineMs / 1000.0, run.requestsPerSecond,
                    Percentile(run.delays, 0.5), Percentile(run.delays, 0.95),
                    Percentile(run.delays, 1.0), run.delays.size());
    }
    serve.terminate();
    serve.waitForFinished(30000);
    sim.terminate();
    sim.waitForFinished(10000);
    fs::remove_all(folder);
    return 0;
}
