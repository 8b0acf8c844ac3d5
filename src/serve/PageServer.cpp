#include "serve/PageServer.h"

#include <QFile>
#include <algorithm>
#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <cstdio>
#include <deque>
#include <fstream>
#include <functional>
#include <limits>
#include <list>
#include <map>
#include <optional>
#include <thread>

#include "platform/Error.h"
#include "platform/Version.h"

// The page's files, compiled into the program; the resource's initialiser lives outside any
// namespace.
static void InitialisePageResources() {
    Q_INIT_RESOURCE(page);
}

namespace zd {

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using Status = http::status;
using Request = http::request<http::string_body>;
using RequestParser = http::request_parser<http::string_body>;
using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

constexpr auto kProgressGap = std::chrono::milliseconds(50);
constexpr std::size_t kBusRowsKept = 300;
constexpr const char kCookie[] = "zd4270_token";
// After a refusal whose body was not read, what the client still sends is read and dropped for
// a moment, so that it sees the answer rather than a reset; no more than this, no longer.
constexpr std::size_t kLingerBytes = 8 * 1024 * 1024;
constexpr auto kLingerTime = std::chrono::seconds(2);
// Messages a slow browser may have waiting before it is let go.
constexpr std::size_t kWatcherQueue = 512;
// Connections beyond the cap while those that make room for them are closing.
constexpr int kMakingRoom = 16;
// A full table of sockets (EMFILE) is waited out, not spun on.
constexpr auto kAcceptRetry = std::chrono::milliseconds(50);

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

// An answer as the routes make it; the session turns it into HTTP.
struct Answer {
    Status status = Status::ok;
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
};

std::string JsonText(const Json& document, int indent) {
    return document.dump(indent, ' ', false, Json::error_handler_t::replace) +
           (indent >= 0 ? "\n" : "");
}

Answer JsonAnswer(const Json& document, Status status) {
    return {status,
            JsonText(document, 2),
            {{"Content-Type", "application/json; charset=utf-8"},
             {"Cache-Control", "no-store"},
             {"X-Content-Type-Options", "nosniff"}}};
}

Answer ErrorAnswer(const std::string& text, Status status) {
    return JsonAnswer(Json{{"error", text}}, status);
}

std::string Field(const Request& request, http::field field) {
    const auto found = request.find(field);
    return found == request.end() ? std::string() : std::string(found->value());
}

}  // namespace

// A browser on the live channel, whatever its stream.
class Watcher {
  public:
    virtual ~Watcher() = default;
    virtual void Send(std::shared_ptr<const std::string> message) = 0;
    virtual void Close() = 0;
};

// A connection that can be asked to close when the server stops.
class Closable {
  public:
    virtual ~Closable() = default;
    // Closes the connection if it waits for a request's headers; true if it did.
    virtual bool CloseIfIdle() = 0;
    virtual const asio::ip::address& Address() const = 0;
};

// A connection's place among those open: counted in all and for its address while it lives.
struct ConnectionSlot;

struct PageServer::Impl {
    Impl(ServedLine& served, std::string accessToken, Language lang, std::filesystem::path dir,
         ServeLimits given)
        : line(served),
          token(std::move(accessToken)),
          language(lang),
          stateDir(std::move(dir)),
          limits(given),
          acceptor(io),
          retry(io),
          progressGap(io),
          stopTimer(io) {}

    ServedLine& line;
    std::string token;
    Language language;
    std::filesystem::path stateDir;
    ServeLimits limits;
    std::vector<std::string> allowedHosts;
    HostRules hosts;
    std::map<std::string, std::pair<std::string, std::string>> pages;
    RunListener* ownerListener = nullptr;
    std::optional<asio::ssl::context> tls;

    // The connections open, in all and by address, and those that may be asked to close. They
    // outlive the io_context below, whose end lets go of the connections it still holds.
    bool destroying = false;
    bool stopping = false;
    int connections = 0;
    std::map<asio::ip::address, int> perAddress;
    std::list<std::weak_ptr<Closable>> sessions;

    asio::io_context io{1};
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::thread thread;
    tcp::acceptor acceptor;
    asio::steady_timer retry;
    unsigned short port = 0;

    // Everything below is touched on the server's thread only.
    struct Bucket {
        double tokens = 0;
        std::chrono::steady_clock::time_point last;
    };
    std::map<asio::ip::address, Bucket> buckets;
    std::map<std::uint64_t, std::function<void(Answer)>> pending;
    std::uint64_t runs = 0;
    std::vector<std::shared_ptr<Watcher>> watchers;
    // What a browser that comes now must see: the run under way and its last progress, the last
    // document of each command, the devices of each terminal and the newest bus rows.
    Json run;
    Json progress;
    Json lastDocument;
    Json devices = Json::object();
    std::vector<Json> busRows;
    // Progress goes out at once, then at most every kProgressGap with the newest state.
    asio::steady_timer progressGap;
    bool progressGapRunning = false;
    bool progressWaiting = false;
    asio::steady_timer stopTimer;

    ~Impl() { destroying = true; }

    void Accept();
    bool Admit(const asio::ip::address& address);
    bool Authorised(const Request& request, bool* bearer) const;
    std::optional<Answer> Screen(const Request& request, const asio::ip::address& address,
                                 const RequestParser& parser);
    void Route(const Request& request, bool tlsUsed, std::function<void(Answer)> reply);
    void Api(const Request& request, const std::string& path, std::function<void(Answer)> reply);
    void StartCommand(const Request& request, const CommandSyntax& syntax,
                      std::function<void(Answer)> reply);
    void Ended(std::uint64_t runNumber, Json document);
    std::optional<std::string> WatcherRefusal(const Request& request, const std::string& path);
    void AddWatcher(std::shared_ptr<Watcher> watcher);
    void RemoveWatcher(const Watcher* watcher);
    Json Snapshot() const;
    void Broadcast(const Json& event);
    void SendProgress();
    std::string Private(std::string text) const;
    Json Private(Json document) const;
    void ConnectionClosed();
    void MakeRoom();
};

struct ConnectionSlot {
    ConnectionSlot(PageServer::Impl& impl, asio::ip::address where)
        : server(impl), address(std::move(where)) {
        ++server.connections;
        ++server.perAddress[address];
    }
    ~ConnectionSlot() {
        --server.connections;
        if (--server.perAddress[address] <= 0) server.perAddress.erase(address);
        server.ConnectionClosed();
    }
    ConnectionSlot(const ConnectionSlot&) = delete;
    ConnectionSlot& operator=(const ConnectionSlot&) = delete;
    PageServer::Impl& server;
    asio::ip::address address;
};

namespace {

template <class Stream>
class LiveWatcher : public Watcher, public std::enable_shared_from_this<LiveWatcher<Stream>> {
  public:
    LiveWatcher(PageServer::Impl& server, Stream&& stream, std::shared_ptr<ConnectionSlot> slot)
        : m_server(server), m_socket(std::move(stream)), m_slot(std::move(slot)) {}

    void Open(Request request) {
        m_request = std::move(request);
        beast::get_lowest_layer(m_socket).expires_never();
        m_socket.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        m_socket.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& r) { r.set(http::field::server, "zd4270"); }));
        // A browser only listens: what it sends is small, or the channel closes.
        m_socket.read_message_max(m_server.limits.maxWatcherMessage);
        // A message goes out as one frame, however long.
        m_socket.auto_fragment(false);
        m_socket.async_accept(m_request, [self = this->shared_from_this()](beast::error_code ec) {
            if (ec) return;
            self->m_open = true;
            self->m_server.AddWatcher(self);
            self->Read();
        });
    }

    void Send(std::shared_ptr<const std::string> message) override {
        if (!m_open) return;
        if (m_queue.size() >= kWatcherQueue) {
            Close();
            return;
        }
        m_queue.push_back(std::move(message));
        if (m_queue.size() == 1) Write();
    }

    void Close() override {
        if (!m_open) return;
        m_open = false;
        m_queue.clear();
        m_socket.async_close(websocket::close_code::going_away,
                             [self = this->shared_from_this()](beast::error_code) {});
    }

  private:
    void Read() {
        m_socket.async_read(m_incoming,
                            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                                self->m_incoming.consume(self->m_incoming.size());
                                if (ec) {
                                    self->m_open = false;
                                    self->m_server.RemoveWatcher(self.get());
                                    return;
                                }
                                self->Read();
                            });
    }

    void Write() {
        m_socket.text(true);
        const auto message = m_queue.front();
        m_socket.async_write(asio::buffer(*message), [self = this->shared_from_this(), message](
                                                         beast::error_code ec, std::size_t) {
            if (ec) {
                self->m_open = false;
                self->m_queue.clear();
                self->m_server.RemoveWatcher(self.get());
                return;
            }
            if (!self->m_queue.empty()) self->m_queue.pop_front();
            if (!self->m_queue.empty()) self->Write();
        });
    }

    PageServer::Impl& m_server;
    websocket::stream<Stream> m_socket;
    std::shared_ptr<ConnectionSlot> m_slot;
    Request m_request;
    beast::flat_buffer m_incoming;
    std::deque<std::shared_ptr<const std::string>> m_queue;
    bool m_open = false;
};

// One connection: requests read one after the other and answered in order.
template <class Stream>
class Session : public Closable, public std::enable_shared_from_this<Session<Stream>> {
  public:
    Session(PageServer::Impl& server, Stream&& stream, std::shared_ptr<ConnectionSlot> slot)
        : m_server(server), m_stream(std::move(stream)), m_slot(std::move(slot)) {}

    void Begin() {
        m_server.sessions.push_back(this->shared_from_this());
        if constexpr (std::is_same_v<Stream, TlsStream>) {
            beast::get_lowest_layer(m_stream).expires_after(m_server.limits.headerTime);
            m_stream.async_handshake(asio::ssl::stream_base::server,
                                     [self = this->shared_from_this()](beast::error_code ec) {
                                         if (!ec) self->ReadHeader();
                                     });
        } else {
            ReadHeader();
        }
    }

    bool CloseIfIdle() override {
        if (!m_idle) return false;
        m_idle = false;
        beast::error_code ignored;
        beast::get_lowest_layer(m_stream).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(m_stream).cancel();
        return true;
    }

    const asio::ip::address& Address() const override { return m_slot->address; }

  private:
    void ReadHeader() {
        if (m_server.stopping) return;
        m_parser.emplace();
        m_parser->header_limit(static_cast<std::uint32_t>(m_server.limits.maxHeader));
        // The declared size is judged with the token, below; a chunked body is counted as it
        // comes against the limit set then.
        m_parser->body_limit(std::numeric_limits<std::uint64_t>::max());
        m_idle = true;
        beast::get_lowest_layer(m_stream).expires_after(m_server.limits.headerTime);
        http::async_read_header(
            m_stream, m_buffer, *m_parser,
            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                self->m_idle = false;
                self->OnHeader(ec);
            });
    }

    void OnHeader(beast::error_code ec) {
        if (ec == http::error::header_limit) {
            Refuse(ErrorAnswer("the request's headers are too large",
                               Status::request_header_fields_too_large));
            return;
        }
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == asio::error::operation_aborted || ec == asio::error::eof ||
            ec == asio::error::connection_reset) {
            Close();
            return;
        }
        if (ec) {
            Refuse(ErrorAnswer("a malformed request: " + ec.message(), Status::bad_request));
            return;
        }
        const Request& request = m_parser->get();
        const auto address = m_slot->address;
        if (auto refusal = m_server.Screen(request, address, *m_parser)) {
            Refuse(std::move(*refusal));
            return;
        }
        if (websocket::is_upgrade(request)) {
            Upgrade();
            return;
        }
        m_parser->body_limit(m_server.limits.maxBody);
        beast::get_lowest_layer(m_stream).expires_after(m_server.limits.bodyTime);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = this->shared_from_this()](beast::error_code error, std::size_t) {
                             self->OnBody(error);
                         });
    }

    void OnBody(beast::error_code ec) {
        if (ec == http::error::body_limit) {
            Refuse(ErrorAnswer("the request's body is too large", Status::payload_too_large));
            return;
        }
        if (ec) {
            if (ec == beast::error::timeout || ec == asio::error::eof ||
                ec == http::error::partial_message || ec == asio::error::connection_reset ||
                ec == asio::error::operation_aborted) {
                Close();
                return;
            }
            Refuse(ErrorAnswer("a malformed request: " + ec.message(), Status::bad_request));
            return;
        }
        m_keepAlive = m_parser->get().keep_alive();
        beast::get_lowest_layer(m_stream).expires_never();
        // The answer may come later, when the command has run: the connection waits for it.
        m_server.Route(m_parser->get(), IsTls(), [self = this->shared_from_this()](Answer answer) {
            self->Write(std::move(answer), false);
        });
    }

    void Upgrade() {
        const Request& request = m_parser->get();
        if (const auto refusal = m_server.WatcherRefusal(request, std::string(request.target()))) {
            Refuse(ErrorAnswer(*refusal,
                               refusal->rfind("unauthorised", 0) == 0 ? Status::unauthorized
                               : refusal->rfind("too many", 0) == 0   ? Status::service_unavailable
                                                                      : Status::forbidden));
            return;
        }
        auto watcher = std::make_shared<LiveWatcher<Stream>>(m_server, std::move(m_stream), m_slot);
        watcher->Open(m_parser->release());
    }

    // An answer before the body was read, or to what cannot be read further: the connection
    // closes after it.
    void Refuse(Answer answer) { Write(std::move(answer), true); }

    void Write(Answer answer, bool refusal) {
        auto response = std::make_shared<http::response<http::string_body>>();
        response->version(11);
        response->result(answer.status);
        response->set(http::field::server, "zd4270");
        for (const auto& [name, value] : answer.headers) response->set(name, value);
        response->body() = std::move(answer.body);
        const bool close = refusal || !m_keepAlive || m_server.stopping;
        response->keep_alive(!close);
        response->prepare_payload();
        beast::get_lowest_layer(m_stream).expires_after(m_server.limits.writeTime);
        http::async_write(m_stream, *response,
                          [self = this->shared_from_this(), response, close, refusal](
                              beast::error_code ec, std::size_t) {
                              if (ec) {
                                  self->Close();
                              } else if (refusal) {
                                  self->Linger();
                              } else if (close) {
                                  self->Close();
                              } else {
                                  self->ReadHeader();
                              }
                          });
    }

    // What the client still sends after a refusal is read and dropped, briefly and boundedly,
    // so that it reads the answer rather than a reset; then the connection closes.
    void Linger() {
        auto& lowest = beast::get_lowest_layer(m_stream);
        beast::error_code ignored;
        lowest.socket().shutdown(tcp::socket::shutdown_send, ignored);
        lowest.expires_after(kLingerTime);
        LingerRead();
    }

    void LingerRead() {
        beast::get_lowest_layer(m_stream).async_read_some(
            asio::buffer(m_drop),
            [self = this->shared_from_this()](beast::error_code ec, std::size_t n) {
                self->m_dropped += n;
                if (ec || self->m_dropped > kLingerBytes) {
                    self->Close();
                    return;
                }
                self->LingerRead();
            });
    }

    void Close() {
        beast::error_code ignored;
        beast::get_lowest_layer(m_stream).socket().shutdown(tcp::socket::shutdown_both, ignored);
        beast::get_lowest_layer(m_stream).close();
    }

    static constexpr bool IsTls() { return std::is_same_v<Stream, TlsStream>; }

    PageServer::Impl& m_server;
    Stream m_stream;
    std::shared_ptr<ConnectionSlot> m_slot;
    beast::flat_buffer m_buffer;
    std::optional<RequestParser> m_parser;
    bool m_keepAlive = true;
    bool m_idle = false;
    std::array<char, 16384> m_drop{};
    std::size_t m_dropped = 0;
};

}  // namespace

void PageServer::Impl::Accept() {
    acceptor.async_accept(asio::make_strand(io), [this](beast::error_code ec, tcp::socket socket) {
        if (!acceptor.is_open()) return;
        if (ec) {
            // Out of descriptors or a connection gone before it was taken: try again shortly.
            retry.expires_after(kAcceptRetry);
            retry.async_wait([this](beast::error_code waited) {
                if (!waited) Accept();
            });
            return;
        }
        beast::error_code where;
        const auto endpoint = socket.remote_endpoint(where);
        // All places taken: the address that holds the most gives up a connection that waits
        // for its request, so that many idle connections from few addresses lock nobody out.
        if (!where && connections >= limits.maxConnections) MakeRoom();
        if (where || connections >= limits.maxConnections + kMakingRoom ||
            perAddress[endpoint.address()] >= limits.maxPerAddress) {
            if (!where && perAddress[endpoint.address()] == 0) perAddress.erase(endpoint.address());
            socket.close(where);
            Accept();
            return;
        }
        auto slot = std::make_shared<ConnectionSlot>(*this, endpoint.address());
        if (tls) {
            std::make_shared<Session<TlsStream>>(*this, TlsStream(std::move(socket), *tls),
                                                 std::move(slot))
                ->Begin();
        } else {
            std::make_shared<Session<PlainStream>>(*this, PlainStream(std::move(socket)),
                                                   std::move(slot))
                ->Begin();
        }
        Accept();
    });
}

void PageServer::Impl::MakeRoom() {
    const auto heaviest =
        std::max_element(perAddress.begin(), perAddress.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    if (heaviest == perAddress.end()) return;
    for (const auto& session : sessions)
        if (const auto open = session.lock();
            open && open->Address() == heaviest->first && open->CloseIfIdle())
            return;
}

void PageServer::Impl::ConnectionClosed() {
    if (destroying) return;
    sessions.remove_if([](const std::weak_ptr<Closable>& s) { return s.expired(); });
    if (stopping && connections == 0) io.stop();
}

bool PageServer::Impl::Admit(const asio::ip::address& address) {
    const auto now = std::chrono::steady_clock::now();
    auto found = buckets.find(address);
    if (found == buckets.end()) {
        // Forget addresses that have been quiet, so that the table stays small.
        if (buckets.size() > 1000) buckets.clear();
        found = buckets.emplace(address, Bucket{limits.burst, now}).first;
    }
    Bucket& bucket = found->second;
    const double seconds = std::chrono::duration<double>(now - bucket.last).count();
    bucket.tokens = std::min(limits.burst, bucket.tokens + seconds * limits.perSecond);
    bucket.last = now;
    if (bucket.tokens < 1) return false;
    bucket.tokens -= 1;
    return true;
}

bool PageServer::Impl::Authorised(const Request& request, bool* bearer) const {
    if (const auto given = BearerToken(Field(request, http::field::authorization))) {
        if (bearer) *bearer = true;
        return SameToken(*given, token);
    }
    return SameToken(CookieValue(Field(request, http::field::cookie), kCookie), token);
}

std::optional<Answer> PageServer::Impl::Screen(const Request& request,
                                               const asio::ip::address& address,
                                               const RequestParser& parser) {
    if (request.version() != 10 && request.version() != 11)
        return ErrorAnswer("HTTP/1.0 and HTTP/1.1 only", Status::bad_request);
    if (!Admit(address))
        return ErrorAnswer("too many requests: wait a moment", Status::too_many_requests);
    const std::string transfer = Field(request, http::field::transfer_encoding);
    if (!transfer.empty() && !beast::iequals(transfer, "chunked"))
        return ErrorAnswer("a body is sent as it is or chunked", Status::bad_request);
    if (request.count(http::field::host) != 1 ||
        !hosts.HostAllowed(Field(request, http::field::host)))
        return ErrorAnswer("this server does not answer for that host (Host)",
                           Status::misdirected_request);
    const std::string target(request.target());
    const std::string path = target.substr(0, target.find('?'));
    const std::string query =
        target.find('?') == std::string::npos ? std::string() : target.substr(target.find('?') + 1);
    if (websocket::is_upgrade(request)) return std::nullopt;
    // The first visit brings the token in the address.
    if (request.method() == http::verb::get && path == "/" && QueryValue(query, "token")) {
        if (!SameToken(*QueryValue(query, "token"), token))
            return ErrorAnswer("wrong access token", Status::unauthorized);
        return std::nullopt;
    }
    bool bearer = false;
    if (!Authorised(request, &bearer)) {
        // A person who opened the address without its token reads what to do, in both languages.
        if (request.method() == http::verb::get &&
            Field(request, http::field::accept).find("text/html") != std::string::npos)
            return Answer{
                Status::unauthorized,
                kNoTokenPage,
                {{"Content-Type", "text/html; charset=utf-8"}, {"Cache-Control", "no-store"}}};
        Answer answer = ErrorAnswer(
            "this needs the access token that zd4270 serve printed: open the address it gave, "
            "or send Authorization: Bearer TOKEN",
            Status::unauthorized);
        answer.headers.emplace_back("WWW-Authenticate", "Bearer");
        return answer;
    }
    const auto declared = parser.content_length();
    if (declared && *declared > limits.maxBody)
        return ErrorAnswer("the request's body is too large", Status::payload_too_large);
    if (request.method() != http::verb::get && request.method() != http::verb::post)
        return ErrorAnswer("only GET and POST", Status::method_not_allowed);
    if (request.method() == http::verb::post) {
        // What changes the line comes from the page itself or from a script with the bearer
        // token, never from a page of another site that the browser holds the cookie for.
        const std::string origin = Field(request, http::field::origin);
        if (origin.empty() ? !bearer : !hosts.SameOrigin(origin, Field(request, http::field::host)))
            return ErrorAnswer("a change to the line must come from this page (Origin)",
                               Status::forbidden);
    }
    return std::nullopt;
}

void PageServer::Impl::Route(const Request& request, bool tlsUsed,
                             std::function<void(Answer)> reply) {
    const std::string target(request.target());
    const std::string path = target.substr(0, target.find('?'));
    const std::string query =
        target.find('?') == std::string::npos ? std::string() : target.substr(target.find('?') + 1);
    if (request.method() == http::verb::get && path == "/" && QueryValue(query, "token")) {
        // The token becomes a cookie that only this site sends, and the page is shown without
        // the token in the address bar. Screen has compared it.
        std::string cookie =
            std::string(kCookie) + "=" + token + "; Path=/; HttpOnly; SameSite=Strict";
        if (tlsUsed) cookie += "; Secure";
        reply(Answer{Status::see_other,
                     {},
                     {{"Set-Cookie", cookie}, {"Location", "/"}, {"Cache-Control", "no-store"}}});
        return;
    }
    if (request.method() == http::verb::get) {
        if (const auto page = pages.find(path); page != pages.end()) {
            reply(Answer{Status::ok,
                         page->second.first,
                         {{"Content-Type", page->second.second},
                          {"Cache-Control", "no-cache"},
                          {"X-Content-Type-Options", "nosniff"},
                          {"Referrer-Policy", "no-referrer"},
                          {"Content-Security-Policy",
                           "default-src 'self'; img-src 'self' data:; connect-src 'self'; "
                           "frame-ancestors 'none'"}}});
            return;
        }
        if (path == "/api/state") {
            reply(JsonAnswer(Snapshot(), Status::ok));
            return;
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
            reply(JsonAnswer(commands, Status::ok));
            return;
        }
        if (path.rfind("/download/", 0) == 0) {
            const auto file = line.Download(path.substr(10));
            if (!file) {
                reply(ErrorAnswer("no such download", Status::not_found));
                return;
            }
            std::ifstream in(*file, std::ios::binary);
            std::string data((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            const std::string type = file->extension() == ".pdf"    ? "application/pdf"
                                     : file->extension() == ".html" ? "text/html; charset=utf-8"
                                     : file->extension() == ".xml"  ? "application/xml"
                                                                    : "application/json";
            reply(Answer{Status::ok,
                         std::move(data),
                         {{"Content-Type", type},
                          {"Content-Disposition",
                           "attachment; filename=\"" + file->filename().string() + "\""},
                          {"X-Content-Type-Options", "nosniff"}}});
            return;
        }
        reply(ErrorAnswer("not found", Status::not_found));
        return;
    }
    if (path.rfind("/api/", 0) != 0) {
        reply(ErrorAnswer("not found", Status::not_found));
        return;
    }
    Api(request, path.substr(5), std::move(reply));
}

void PageServer::Impl::Api(const Request& request, const std::string& path,
                           std::function<void(Answer)> reply) {
    if (path == "cancel") {
        const auto running = line.Running();
        if (!running) {
            reply(ErrorAnswer("nothing runs", Status::conflict));
            return;
        }
        line.Cancel();
        reply(JsonAnswer(Json{{"cancelling", *running}}, Status::ok));
        return;
    }
    const CommandSyntax* syntax = CommandOfPath(path);
    if (!syntax) {
        reply(ErrorAnswer("no command " + path, Status::not_found));
        return;
    }
    StartCommand(request, *syntax, std::move(reply));
}

void PageServer::Impl::StartCommand(const Request& request, const CommandSyntax& syntax,
                                    std::function<void(Answer)> reply) {
    if (const auto running = line.Refusal(syntax.name)) {
        reply(JsonAnswer(Json{{"error", *running + " runs: one procedure at a time; wait for it "
                                                   "to end or cancel it"},
                              {"running", *running}},
                         Status::conflict));
        return;
    }
    ServedCommand command;
    try {
        // Bounded in depth and without a key twice before anything walks it.
        const Json body = ReadRequestBody(request.body());
        command = line.Prepare(syntax, body.dump());
    } catch (const BadRequest& bad) {
        reply(ErrorAnswer(Private(std::string(bad.what())), Status::bad_request));
        return;
    } catch (const UsageError& refused) {
        // As the command line answers it: the document with exit code 2.
        reply(JsonAnswer(Json{{"command", syntax.name},
                              {"error", Private(std::string(refused.what()))},
                              {"exitCode", 2}},
                         Status::ok));
        return;
    } catch (const std::exception& error) {
        reply(ErrorAnswer(Private(std::string(error.what())), Status::internal_server_error));
        return;
    }
    const std::uint64_t number = ++runs;
    const std::int32_t position = line.Terminals().at(command.terminal).position;
    pending[number] = std::move(reply);
    const bool started =
        line.Start(std::move(command), *ownerListener, [this, number](Json document) {
            asio::post(io, [this, number, document = std::move(document)]() mutable {
                Ended(number, std::move(document));
            });
        });
    if (!started) {
        auto owed = std::move(pending[number]);
        pending.erase(number);
        owed(ErrorAnswer("another procedure runs", Status::conflict));
        return;
    }
    // A short job (a switch, a query, a naming) is no run the page shows as one: it may come
    // while an identify runs, whose run stays the one shown.
    if (!HoldsLine(syntax.name)) return;
    run = {{"command", syntax.name}, {"run", number}, {"position", position}};
    progress = nullptr;
    Broadcast(
        {{"type", "started"}, {"command", syntax.name}, {"run", number}, {"position", position}});
}

void PageServer::Impl::Ended(std::uint64_t runNumber, Json document) {
    document = Private(std::move(document));
    if (const auto found = pending.find(runNumber); found != pending.end()) {
        // A browser that went away while the command ran hears of it on the live channel.
        auto reply = std::move(found->second);
        pending.erase(found);
        reply(JsonAnswer(document, Status::ok));
    }
    if (document.contains("devices") && document["devices"].is_array()) {
        const std::string key = std::to_string(document.value("position", -1));
        devices[key] = document["devices"];
    }
    lastDocument = document;
    if (run.is_object() && run.value("run", std::uint64_t{0}) == runNumber) {
        run = nullptr;
        progress = nullptr;
    }
    Broadcast({{"type", "ended"}, {"run", runNumber}, {"document", std::move(document)}});
}

std::string PageServer::Impl::Private(std::string text) const {
    // The private folder's files are named as the user knows them: the line file given, the
    // body's part the file came from, the download's name.
    const std::string folder = stateDir.string() + "/";
    if (text.find(folder) == std::string::npos) return text;
    std::size_t at = 0;
    while ((at = text.find(folder, at)) != std::string::npos) {
        std::size_t end = at + folder.size();
        while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) ||
                                     text[end] == '-' || text[end] == '.' || text[end] == '_'))
            ++end;
        std::string name = text.substr(at + folder.size(), end - at - folder.size());
        while (!name.empty() && name.back() == '.') name.pop_back();
        std::string shown = name;
        if (!line.Download(name)) {
            if (name.rfind("backup-", 0) == 0)
                shown = "the request's \"backup\"";
            else if (name.rfind("archive-", 0) == 0)
                shown = "the request's \"archive\"";
        }
        text.replace(at, folder.size() + name.size(), shown);
        at += shown.size();
    }
    return text;
}

Json PageServer::Impl::Private(Json document) const {
    if (document.is_string()) return Private(document.get<std::string>());
    if (document.is_structured())
        for (auto& item : document) item = Private(std::move(item));
    return document;
}

std::optional<std::string> PageServer::Impl::WatcherRefusal(const Request& request,
                                                            const std::string& target) {
    const std::string path = target.substr(0, target.find('?'));
    const std::string query =
        target.find('?') == std::string::npos ? std::string() : target.substr(target.find('?') + 1);
    const auto inQuery = QueryValue(query, "token");
    const auto bearer = BearerToken(Field(request, http::field::authorization));
    const bool tokenGiven =
        (inQuery && SameToken(*inQuery, token)) ||
        SameToken(CookieValue(Field(request, http::field::cookie), kCookie), token) ||
        (bearer && SameToken(*bearer, token));
    const std::string origin = Field(request, http::field::origin);
    if (path != "/live") return "not found: the live channel is /live";
    if (!tokenGiven) return "unauthorised: the live channel needs the access token";
    if (!origin.empty() && !hosts.SameOrigin(origin, Field(request, http::field::host)))
        return "another site's page (Origin)";
    if (static_cast<int>(watchers.size()) >= limits.maxWatchers)
        return "too many browsers on the live channel";
    return std::nullopt;
}

void PageServer::Impl::AddWatcher(std::shared_ptr<Watcher> watcher) {
    if (stopping) {
        watcher->Close();
        return;
    }
    watchers.push_back(watcher);
    watcher->Send(std::make_shared<const std::string>(JsonText(Snapshot(), -1)));
}

void PageServer::Impl::RemoveWatcher(const Watcher* watcher) {
    watchers.erase(std::remove_if(watchers.begin(), watchers.end(),
                                  [watcher](const auto& w) { return w.get() == watcher; }),
                   watchers.end());
}

Json PageServer::Impl::Snapshot() const {
    Json terminals = Json::array();
    for (const ServedTerminal& terminal : line.Terminals()) {
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
            {"language", language == Language::German ? "de" : "en"},
            {"terminals", std::move(terminals)},
            {"commands", std::move(commands)},
            {"run", run},
            {"progress", progress},
            {"devices", devices},
            {"last", lastDocument},
            {"gearTests", line.GearTests()},
            {"bus", busRows}};
}

void PageServer::Impl::Broadcast(const Json& event) {
    if (watchers.empty()) return;
    const auto text = std::make_shared<const std::string>(JsonText(event, -1));
    // A watcher that falls too far behind leaves the list while it is walked.
    const auto all = watchers;
    for (const auto& watcher : all) watcher->Send(text);
}

void PageServer::Impl::SendProgress() {
    progressWaiting = false;
    if (progress.is_null()) return;
    Broadcast(progress);
    progressGapRunning = true;
    progressGap.expires_after(kProgressGap);
    progressGap.async_wait([this](beast::error_code ec) {
        progressGapRunning = false;
        if (!ec && progressWaiting) SendProgress();
    });
}

PageServer::PageServer(ServedLine& line, std::string token, Language language,
                       std::filesystem::path stateDir, ServeLimits limits)
    : m_impl(
          std::make_unique<Impl>(line, std::move(token), language, std::move(stateDir), limits)) {
    m_impl->ownerListener = this;
    InitialisePageResources();
    for (const PageFile& file : kPageFiles) {
        QFile resource(file.resource);
        if (!resource.open(QIODevice::ReadOnly))
            throw ControlError(std::string("the page's file ") + file.path + " is missing");
        m_impl->pages[file.path] = {resource.readAll().toStdString(), file.type};
    }
}

PageServer::~PageServer() {
    Shutdown();
}

void PageServer::UseTls(const std::string& certificateFile, const std::string& keyFile) {
    for (const auto& [file, what] :
         {std::pair{certificateFile, "the certificate "}, std::pair{keyFile, "the key "}}) {
        std::ifstream probe(file);
        if (!probe) throw ControlError(what + file + " cannot be read");
    }
    asio::ssl::context context(asio::ssl::context::tls_server);
    context.set_options(asio::ssl::context::default_workarounds | asio::ssl::context::no_sslv2 |
                        asio::ssl::context::no_sslv3 | asio::ssl::context::no_tlsv1 |
                        asio::ssl::context::no_tlsv1_1 | asio::ssl::context::single_dh_use);
    beast::error_code ec;
    context.use_certificate_chain_file(certificateFile, ec);
    if (ec) throw ControlError("the certificate " + certificateFile + " is no PEM certificate");
    context.use_private_key_file(keyFile, asio::ssl::context::pem, ec);
    if (ec) throw ControlError("the key " + keyFile + " is no PEM RSA or EC key");
    m_impl->tls.emplace(std::move(context));
}

unsigned short PageServer::Listen(const std::string& address, unsigned short port) {
    beast::error_code ec;
    const auto ip = asio::ip::make_address(address, ec);
    if (ec) return 0;
    const tcp::endpoint endpoint(ip, port);
    auto& acceptor = m_impl->acceptor;
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        acceptor.close(ec);
        return 0;
    }
    m_impl->port = acceptor.local_endpoint().port();
    return m_impl->port;
}

void PageServer::AllowHosts(std::vector<std::string> names) {
    m_impl->allowedHosts = std::move(names);
}

void PageServer::Start() {
    Impl& impl = *m_impl;
    impl.hosts = HostRules(impl.tls ? "https" : "http", impl.port, impl.allowedHosts);
    impl.work.emplace(impl.io.get_executor());
    asio::post(impl.io, [&impl] { impl.Accept(); });
    impl.thread = std::thread([&impl] { impl.io.run(); });
}

void PageServer::StopListening() {
    Impl& impl = *m_impl;
    asio::post(impl.io, [&impl] {
        beast::error_code ignored;
        impl.acceptor.close(ignored);
        impl.retry.cancel();
    });
}

void PageServer::Shutdown() {
    Impl& impl = *m_impl;
    if (!impl.thread.joinable()) return;
    // Runs after what the command's thread handed over (its end among it): the answers owed
    // are under way when the connections are asked to close.
    asio::post(impl.io, [&impl] {
        impl.stopping = true;
        beast::error_code ignored;
        impl.acceptor.close(ignored);
        impl.retry.cancel();
        impl.progressGap.cancel();
        for (const auto& watcher : std::vector(impl.watchers)) watcher->Close();
        impl.watchers.clear();
        for (const auto& session : impl.sessions)
            if (const auto open = session.lock()) open->CloseIfIdle();
        if (impl.connections == 0) impl.io.stop();
        // A connection that does not take its answer is not waited for long.
        impl.stopTimer.expires_after(std::chrono::seconds(2));
        impl.stopTimer.async_wait([&impl](beast::error_code ec) {
            if (!ec) impl.io.stop();
        });
    });
    impl.work.reset();
    impl.thread.join();
}

void PageServer::Progress(const Json& event) {
    Impl& impl = *m_impl;
    asio::post(impl.io, [&impl, event] {
        impl.progress = event;
        if (impl.progressGapRunning) {
            impl.progressWaiting = true;
            return;
        }
        impl.SendProgress();
    });
}

void PageServer::LineEvent(const Json& event) {
    Impl& impl = *m_impl;
    asio::post(impl.io, [&impl, event] { impl.Broadcast(impl.Private(event)); });
}

void PageServer::BusRows(const Json& rows) {
    Impl& impl = *m_impl;
    asio::post(impl.io, [&impl, rows] {
        for (const Json& row : rows) {
            if (!impl.busRows.empty() && impl.busRows.back()["n"] == row["n"])
                impl.busRows.back() = row;
            else
                impl.busRows.push_back(row);
        }
        if (impl.busRows.size() > kBusRowsKept)
            impl.busRows.erase(impl.busRows.begin(),
                               impl.busRows.begin() +
                                   static_cast<std::ptrdiff_t>(impl.busRows.size() - kBusRowsKept));
        impl.Broadcast({{"type", "bus"}, {"rows", rows}});
    });
}

}  // namespace zd
