// The served line over HTTP: the page and its files, the JSON commands, the downloads, and the
// live channel (a WebSocket) on which every browser sees the run under way, its progress, the
// device list and the bus monitor. Every request carries the access token; what changes the line
// is a POST from the page's own origin or a script's bearer token.
#pragma once

#include <QAbstractHttpServer>
#include <QHash>
#include <QHostAddress>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/ControlRun.h"

#include "serve/ServedLine.h"

class QTcpSocket;
class QWebSocket;

namespace zd {

struct ServeLimits {
    // Bytes of a request's body.
    qsizetype maxBody = 2 * 1024 * 1024;
    // Requests of one address: a burst, and the steady rate after it.
    double burst = 120;
    double perSecond = 40;
    // Browsers on the live channel at once.
    int maxWatchers = 64;
};

class PageServer : public QAbstractHttpServer, private RunListener {
  public:
    PageServer(ServedLine& line, std::string token, Language language, ServeLimits limits = {});
    ~PageServer() override;

    // Ends the live channel's connections and the answers still waited for.
    void Shutdown();
    // Browsers on the live channel.
    int Watchers() const { return static_cast<int>(m_watchers.size()); }

  protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

  private:
    struct Pending;

    // RunListener, on the command's thread: handed over to this object's thread.
    void Progress(const Json& event) override;
    void BusRows(const Json& rows) override;
    void LineEvent(const Json& event) override;

    bool Authorised(const QHttpServerRequest& request, bool* bearer = nullptr) const;
    bool SameOrigin(const QByteArray& origin, const QByteArray& host) const;
    bool Admit(const QHostAddress& address);
    void Api(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path);
    void StartCommand(const QHttpServerRequest& request, QTcpSocket* socket,
                      const CommandSyntax& syntax);
    void Ended(std::uint64_t run, Json document);
    void AcceptWatchers();
    Json Snapshot() const;
    void Broadcast(const Json& event);
    void SendProgress();

    ServedLine& m_line;
    std::string m_token;
    Language m_language;
    ServeLimits m_limits;
    // The answers a running command still owes, by run.
    std::vector<std::unique_ptr<Pending>> m_pending;
    std::uint64_t m_runs = 0;
    std::vector<QWebSocket*> m_watchers;
    // What a browser that comes now must see: the run under way and its last progress, the last
    // document of each command, the devices of each terminal and the newest bus rows.
    Json m_run;
    Json m_progress;
    Json m_lastDocument;
    Json m_devices = Json::object();
    std::vector<Json> m_busRows;
    // Progress goes out at once, then at most every kProgressGapMs with the newest state.
    QTimer m_progressGap;
    bool m_progressWaiting = false;
    struct Bucket {
        double tokens = 0;
        std::chrono::steady_clock::time_point last;
    };
    QHash<QString, Bucket> m_buckets;
};

}  // namespace zd
