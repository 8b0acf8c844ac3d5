#include "serve/PageServer.h"

#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpSocket>
#include <QUrlQuery>
#include <QWebSocket>
#include <algorithm>

#include "platform/Version.h"

// The page's files, compiled into the program; the resource's initialiser lives outside any
// namespace.
static void InitialisePageResources() {
    Q_INIT_RESOURCE(page);
}

namespace zd {

namespace {

using Status = QHttpServerResponder::StatusCode;

constexpr int kProgressGapMs = 50;
constexpr std::size_t kBusRowsKept = 300;
constexpr const char kCookie[] = "zd4270_token";

// The page's files: a fixed list, compiled into the program. No part of a request's path
// reaches the file system.
struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr PageFile kPageFiles[] = {
    {"/", ":/serve/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/serve/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/serve/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/serve/app.css", "text/css; charset=utf-8"},
    {"/icon.svg", ":/serve/icon.svg", "image/svg+xml"},
};

constexpr const char kNoTokenPage[] =
    "<!doctype html><html><head><meta charset=\"utf-8\"><meta name=\"viewport\" "
    "content=\"width=device-width, initial-scale=1\"><title>ZD4270</title><style>body{font-family:"
    "system-ui,sans-serif;margin:2rem auto;max-width:36rem;padding:0 1rem;line-height:1.5;color:"
    "#1d2430}h1{font-size:1.3rem}</style></head><body><h1>ZD4270</h1>"
    "<p>This page needs its access token. Open the address that <code>zd4270 serve</code> printed "
    "when it started (it ends in <code>?token=…</code>), or scan its QR code.</p>"
    "<p lang=\"de\">Diese Seite braucht ihr Zugangs-Token. Öffnen Sie die Adresse, die "
    "<code>zd4270 serve</code> beim Start ausgegeben hat (sie endet auf <code>?token=…</code>), "
    "oder scannen Sie ihren QR-Code.</p></body></html>\n";

QByteArray Header(const QHttpServerRequest& request, const QByteArray& name) {
    for (const auto& [key, value] : request.headers())
        if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
    return {};
}

QByteArray CookieToken(const QByteArray& cookies) {
    for (QByteArray part : cookies.split(';')) {
        part = part.trimmed();
        const QByteArray prefix = QByteArray(kCookie) + "=";
        if (part.startsWith(prefix)) return part.mid(prefix.size());
    }
    return {};
}

// Compares without telling by its time how much of the token was right.
bool SameToken(const QByteArray& given, const std::string& token) {
    if (static_cast<std::size_t>(given.size()) != token.size()) return false;
    unsigned char difference = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        difference |= static_cast<unsigned char>(given[static_cast<qsizetype>(i)] ^ token[i]);
    return difference == 0;
}

QByteArray Body(const Json& document) {
    return QByteArray::fromStdString(document.dump(2, ' ', false, Json::error_handler_t::replace) +
                                     "\n");
}

void WriteJson(QHttpServerResponder& responder, const Json& document, Status status) {
    responder.write(Body(document),
                    {{"Content-Type", "application/json; charset=utf-8"},
                     {"Cache-Control", "no-store"},
                     {"X-Content-Type-Options", "nosniff"}},
                    status);
}

void WriteError(QHttpServerResponder& responder, const std::string& text, Status status) {
    WriteJson(responder, Json{{"error", text}}, status);
}

}  // namespace

struct PageServer::Pending {
    std::uint64_t run;
    QHttpServerResponder responder;
    QPointer<QTcpSocket> socket;
};

PageServer::PageServer(ServedLine& line, std::string token, Language language, ServeLimits limits)
    : m_line(line), m_token(std::move(token)), m_language(language), m_limits(limits) {
    InitialisePageResources();
    m_progressGap.setSingleShot(true);
    m_progressGap.setInterval(kProgressGapMs);
    QObject::connect(&m_progressGap, &QTimer::timeout, this, [this] {
        if (!m_progressWaiting) return;
        SendProgress();
    });
    QObject::connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
                     &PageServer::AcceptWatchers);
}

PageServer::~PageServer() {
    Shutdown();
}

void PageServer::Shutdown() {
    for (QWebSocket* watcher : m_watchers) {
        watcher->disconnect(this);
        watcher->close(QWebSocketProtocol::CloseCodeGoingAway, "the server stops");
        watcher->deleteLater();
    }
    m_watchers.clear();
}

bool PageServer::Admit(const QHostAddress& address) {
    const auto now = std::chrono::steady_clock::now();
    const QString key = address.toString();
    auto found = m_buckets.find(key);
    if (found == m_buckets.end()) {
        // Forget addresses that have been quiet, so that the table stays small.
        if (m_buckets.size() > 1000) m_buckets.clear();
        found = m_buckets.insert(key, Bucket{m_limits.burst, now});
    }
    Bucket& bucket = *found;
    const double seconds = std::chrono::duration<double>(now - bucket.last).count();
    bucket.tokens = std::min(m_limits.burst, bucket.tokens + seconds * m_limits.perSecond);
    bucket.last = now;
    if (bucket.tokens < 1) return false;
    bucket.tokens -= 1;
    return true;
}

bool PageServer::Authorised(const QHttpServerRequest& request, bool* bearer) const {
    const QByteArray authorization = Header(request, "Authorization");
    if (authorization.startsWith("Bearer ")) {
        if (bearer) *bearer = true;
        return SameToken(authorization.mid(7).trimmed(), m_token);
    }
    return SameToken(CookieToken(Header(request, "Cookie")), m_token);
}

bool PageServer::SameOrigin(const QByteArray& origin, const QByteArray& host) const {
    const QUrl url(QString::fromUtf8(origin));
    if (!url.isValid() || host.isEmpty()) return false;
    const QString authority =
        url.host() + (url.port() >= 0 ? ":" + QString::number(url.port()) : QString());
    return authority.compare(QString::fromUtf8(host), Qt::CaseInsensitive) == 0;
}

bool PageServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) {
    // The live channel's opening: the server hands the connection to its WebSocket side, where
    // AcceptWatchers checks the token. Nothing may be written here.
    if (Header(request, "Upgrade").compare("websocket", Qt::CaseInsensitive) == 0) return true;
    QHttpServerResponder responder = makeResponder(request, socket);
    if (!Admit(request.remoteAddress())) {
        WriteError(responder, "too many requests: wait a moment", Status::TooManyRequests);
        return true;
    }
    if (request.body().size() > m_limits.maxBody) {
        WriteError(responder, "the request's body is too large", Status::PayloadTooLarge);
        return true;
    }
    const QString path = request.url().path();
    const auto method = request.method();
    // The first visit brings the token in the address: it becomes a cookie that only this site
    // sends, and the page is shown without the token in the address bar.
    const QUrlQuery query(request.url());
    if (method == QHttpServerRequest::Method::Get && path == "/" && query.hasQueryItem("token")) {
        if (!SameToken(query.queryItemValue("token").toUtf8(), m_token)) {
            WriteError(responder, "wrong access token", Status::Unauthorized);
            return true;
        }
        const bool tls = socket && socket->inherits("QSslSocket");
        QByteArray cookie = QByteArray(kCookie) + "=" + QByteArray::fromStdString(m_token) +
                            "; Path=/; HttpOnly; SameSite=Strict";
        if (tls) cookie += "; Secure";
        responder.write({{"Set-Cookie", cookie}, {"Location", "/"}, {"Cache-Control", "no-store"}},
                        Status::SeeOther);
        return true;
    }
    bool bearer = false;
    if (!Authorised(request, &bearer)) {
        // A person who opened the address without its token reads what to do, in both languages.
        if (method == QHttpServerRequest::Method::Get &&
            Header(request, "Accept").contains("text/html")) {
            responder.write(
                QByteArray(kNoTokenPage),
                {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "no-store"}},
                Status::Unauthorized);
            return true;
        }
        responder.write(
            Body(Json{{"error",
                       "this needs the access token that zd4270 serve printed: open "
                       "the address it gave, or send Authorization: Bearer TOKEN"}}),
            {{"Content-Type", "application/json; charset=utf-8"}, {"WWW-Authenticate", "Bearer"}},
            Status::Unauthorized);
        return true;
    }
    if (method == QHttpServerRequest::Method::Get) {
        for (const PageFile& file : kPageFiles) {
            if (path != file.path) continue;
            QFile resource(file.resource);
            resource.open(QIODevice::ReadOnly);
            responder.write(resource.readAll(),
                            {{"Content-Type", file.type},
                             {"Cache-Control", "no-cache"},
                             {"X-Content-Type-Options", "nosniff"},
                             {"Referrer-Policy", "no-referrer"},
                             {"Content-Security-Policy",
                              "default-src 'self'; img-src 'self' data:; connect-src 'self'; "
                              "frame-ancestors 'none'"}},
                            Status::Ok);
            return true;
        }
        if (path == "/api/state") {
            WriteJson(responder, Snapshot(), Status::Ok);
            return true;
        }
        if (path == "/api/commands") {
            Json commands = Json::array();
            for (const CommandSyntax& syntax : CommandTable()) {
                std::string address = syntax.name;
                std::replace(address.begin(), address.end(), ' ', '/');
                commands.push_back({{"name", syntax.name},
                                    {"path", "/api/" + address},
                                    {"options", syntax.valueOptions},
                                    {"flags", syntax.flags},
                                    {"words", {syntax.minWords, syntax.maxWords}}});
            }
            WriteJson(responder, commands, Status::Ok);
            return true;
        }
        if (path.startsWith("/download/")) {
            const auto file = m_line.Download(path.mid(10).toStdString());
            if (!file) {
                WriteError(responder, "no such download", Status::NotFound);
                return true;
            }
            QFile data(QString::fromStdString(file->string()));
            data.open(QIODevice::ReadOnly);
            const QByteArray type = file->extension() == ".pdf"    ? "application/pdf"
                                    : file->extension() == ".html" ? "text/html; charset=utf-8"
                                    : file->extension() == ".xml"  ? "application/xml"
                                                                   : "application/json";
            responder.write(data.readAll(),
                            {{"Content-Type", type},
                             {"Content-Disposition",
                              "attachment; filename=\"" +
                                  QByteArray::fromStdString(file->filename().string()) + "\""},
                             {"X-Content-Type-Options", "nosniff"}},
                            Status::Ok);
            return true;
        }
        WriteError(responder, "not found", Status::NotFound);
        return true;
    }
    if (method != QHttpServerRequest::Method::Post) {
        WriteError(responder, "only GET and POST", Status::MethodNotAllowed);
        return true;
    }
    // What changes the line comes from the page itself or from a script with the bearer token,
    // never from a page of another site that the browser holds the cookie for.
    const QByteArray origin = Header(request, "Origin");
    if (origin.isEmpty() ? !bearer : !SameOrigin(origin, Header(request, "Host"))) {
        WriteError(responder, "a change to the line must come from this page (Origin)",
                   Status::Forbidden);
        return true;
    }
    if (!path.startsWith("/api/")) {
        WriteError(responder, "not found", Status::NotFound);
        return true;
    }
    Api(request, socket, path.mid(5));
    return true;
}

void PageServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) {
    QHttpServerResponder responder = makeResponder(request, socket);
    WriteError(responder, "not found", Status::NotFound);
}

void PageServer::Api(const QHttpServerRequest& request, QTcpSocket* socket, const QString& path) {
    if (path == "cancel") {
        QHttpServerResponder responder = makeResponder(request, socket);
        const auto running = m_line.Running();
        if (!running) {
            WriteError(responder, "nothing runs", Status::Conflict);
            return;
        }
        m_line.Cancel();
        WriteJson(responder, Json{{"cancelling", *running}}, Status::Ok);
        return;
    }
    const CommandSyntax* syntax = CommandOfPath(path.toStdString());
    if (!syntax) {
        QHttpServerResponder responder = makeResponder(request, socket);
        WriteError(responder, "no command " + path.toStdString(), Status::NotFound);
        return;
    }
    StartCommand(request, socket, *syntax);
}

void PageServer::StartCommand(const QHttpServerRequest& request, QTcpSocket* socket,
                              const CommandSyntax& syntax) {
    QHttpServerResponder responder = makeResponder(request, socket);
    if (const auto running = m_line.Refusal(syntax.name)) {
        WriteJson(responder,
                  Json{{"error", *running + " runs: one procedure at a time; wait for it to end "
                                            "or cancel it"},
                       {"running", *running}},
                  Status::Conflict);
        return;
    }
    ServedCommand command;
    try {
        command = m_line.Prepare(syntax, request.body().toStdString());
    } catch (const BadRequest& bad) {
        WriteError(responder, bad.what(), Status::BadRequest);
        return;
    } catch (const UsageError& refused) {
        // As the command line answers it: the document with exit code 2.
        WriteJson(responder,
                  Json{{"command", syntax.name}, {"error", refused.what()}, {"exitCode", 2}},
                  Status::Ok);
        return;
    } catch (const std::exception& error) {
        WriteError(responder, error.what(), Status::InternalServerError);
        return;
    }
    const std::uint64_t run = ++m_runs;
    const std::int32_t position = m_line.Terminals().at(command.terminal).position;
    const bool started = m_line.Start(std::move(command), *this, [this, run](Json document) {
        QMetaObject::invokeMethod(
            this,
            [this, run, document = std::move(document)]() mutable {
                Ended(run, std::move(document));
            },
            Qt::QueuedConnection);
    });
    if (!started) {
        WriteError(responder, "another procedure runs", Status::Conflict);
        return;
    }
    m_pending.push_back(std::make_unique<Pending>(Pending{run, std::move(responder), socket}));
    // A short job (a switch, a query, a naming) is no run the page shows as one: it may come
    // while an identify runs, whose run stays the one shown.
    if (!HoldsLine(syntax.name)) return;
    m_run = {{"command", syntax.name}, {"run", run}, {"position", position}};
    m_progress = nullptr;
    Broadcast(
        {{"type", "started"}, {"command", syntax.name}, {"run", run}, {"position", position}});
}

void PageServer::Ended(std::uint64_t run, Json document) {
    const auto found = std::find_if(m_pending.begin(), m_pending.end(),
                                    [run](const auto& p) { return p->run == run; });
    if (found != m_pending.end()) {
        // A browser that went away while the command ran hears of it on the live channel.
        if ((*found)->socket && (*found)->socket->state() == QAbstractSocket::ConnectedState)
            WriteJson((*found)->responder, document, Status::Ok);
        m_pending.erase(found);
    }
    if (document.contains("devices") && document["devices"].is_array()) {
        const std::string key = std::to_string(document.value("position", -1));
        m_devices[key] = document["devices"];
    }
    m_lastDocument = document;
    if (m_run.is_object() && m_run.value("run", std::uint64_t{0}) == run) {
        m_run = nullptr;
        m_progress = nullptr;
    }
    Broadcast({{"type", "ended"}, {"run", run}, {"document", std::move(document)}});
}

void PageServer::Progress(const Json& event) {
    QMetaObject::invokeMethod(
        this,
        [this, event] {
            m_progress = event;
            if (m_progressGap.isActive()) {
                m_progressWaiting = true;
                return;
            }
            SendProgress();
        },
        Qt::QueuedConnection);
}

void PageServer::SendProgress() {
    m_progressWaiting = false;
    if (m_progress.is_null()) return;
    Broadcast(m_progress);
    m_progressGap.start();
}

void PageServer::BusRows(const Json& rows) {
    QMetaObject::invokeMethod(
        this,
        [this, rows] {
            for (const Json& row : rows) {
                if (!m_busRows.empty() && m_busRows.back()["n"] == row["n"])
                    m_busRows.back() = row;
                else
                    m_busRows.push_back(row);
            }
            if (m_busRows.size() > kBusRowsKept)
                m_busRows.erase(m_busRows.begin(),
                                m_busRows.begin() +
                                    static_cast<std::ptrdiff_t>(m_busRows.size() - kBusRowsKept));
            Broadcast({{"type", "bus"}, {"rows", rows}});
        },
        Qt::QueuedConnection);
}

void PageServer::LineEvent(const Json& event) {
    QMetaObject::invokeMethod(
        this, [this, event] { Broadcast(event); }, Qt::QueuedConnection);
}

Json PageServer::Snapshot() const {
    Json terminals = Json::array();
    for (const ServedTerminal& terminal : m_line.Terminals()) {
        Json entry = {{"position", terminal.position}, {"name", terminal.name}};
        const ConnectionTarget& target = terminal.options.connection;
        entry["connection"] = !target.modbus.empty()      ? "Modbus TCP " + target.modbus
                              : !target.modbusRtu.empty() ? "Modbus RTU " + target.modbusRtu
                                                          : std::string("simulated line");
        terminals.push_back(std::move(entry));
    }
    Json commands = Json::array();
    for (const CommandSyntax& syntax : CommandTable()) commands.push_back(syntax.name);
    return {{"type", "hello"},
            {"version", kProgramVersion},
            {"language", m_language == Language::German ? "de" : "en"},
            {"terminals", std::move(terminals)},
            {"commands", std::move(commands)},
            {"run", m_run},
            {"progress", m_progress},
            {"devices", m_devices},
            {"last", m_lastDocument},
            {"gearTests", m_line.GearTests()},
            {"bus", m_busRows}};
}

void PageServer::Broadcast(const Json& event) {
    if (m_watchers.empty()) return;
    const QString text =
        QString::fromStdString(event.dump(-1, ' ', false, Json::error_handler_t::replace));
    for (QWebSocket* watcher : m_watchers) watcher->sendTextMessage(text);
}

void PageServer::AcceptWatchers() {
    while (hasPendingWebSocketConnections()) {
        QWebSocket* watcher = nextPendingWebSocketConnection().release();
        if (!watcher) continue;
        const QNetworkRequest request = watcher->request();
        const QUrlQuery query(watcher->requestUrl());
        const bool token = SameToken(query.queryItemValue("token").toUtf8(), m_token) ||
                           SameToken(CookieToken(request.rawHeader("Cookie")), m_token) ||
                           SameToken(request.rawHeader("Authorization").mid(7).trimmed(), m_token);
        const QByteArray origin = watcher->origin().toUtf8();
        const bool origin_ok = origin.isEmpty() || SameOrigin(origin, request.rawHeader("Host"));
        QString refusal;
        if (watcher->requestUrl().path() != "/live")
            refusal = "the live channel is /live";
        else if (!token)
            refusal = "unauthorised";
        else if (!origin_ok)
            refusal = "another site's page";
        else if (static_cast<int>(m_watchers.size()) >= m_limits.maxWatchers)
            refusal = "too many browsers";
        if (!refusal.isEmpty()) {
            watcher->close(QWebSocketProtocol::CloseCodePolicyViolated, refusal);
            watcher->deleteLater();
            continue;
        }
        // A browser only listens; what it sends is small or is dropped.
        watcher->setMaxAllowedIncomingMessageSize(4096);
        watcher->setMaxAllowedIncomingFrameSize(4096);
        m_watchers.push_back(watcher);
        QObject::connect(watcher, &QWebSocket::disconnected, this, [this, watcher] {
            m_watchers.erase(std::remove(m_watchers.begin(), m_watchers.end(), watcher),
                             m_watchers.end());
            watcher->deleteLater();
        });
        watcher->sendTextMessage(QString::fromStdString(
            Snapshot().dump(-1, ' ', false, Json::error_handler_t::replace)));
    }
}

}  // namespace zd
