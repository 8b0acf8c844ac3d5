#include "simserver/ModbusSimServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/Error.h"

namespace zd {

namespace {

constexpr int kListenBacklog = 128;
// Reading stops for the step after this many bytes from one client, so that a client that
// floods the server cannot starve the others.
constexpr std::size_t kReadPerStep = 16 * 1024;
// Clients accepted in one step; the rest wait in the backlog for the next.
constexpr int kAcceptsPerStep = 64;

std::int64_t SteadyNowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string PeerText(const sockaddr_in& peer) {
    char host[INET_ADDRSTRLEN] = "?";
    ::inet_ntop(AF_INET, &peer.sin_addr, host, sizeof host);
    return std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));
}

}  // namespace

ModbusSimServer::ModbusSimServer(std::shared_ptr<DevCom> devCom, const ModbusEndpoint& endpoint,
                                 const ModbusServerLimits& limits)
    : m_devCom(std::move(devCom)),
      m_handler(*m_devCom, endpoint.unit, endpoint.unitGiven),
      m_endpoint(endpoint),
      m_limits(limits) {
    auto fail = [&](const std::string& reason) {
        if (m_listenSocket >= 0) ::close(m_listenSocket);
        throw ControlError("Modbus TCP " + m_endpoint.Text() + ": cannot listen: " + reason,
                           kLibraryTitle, kErrDevCom);
    };
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_endpoint.port);
    if (::inet_pton(AF_INET, m_endpoint.host.c_str(), &address.sin_addr) != 1)
        fail("not an IPv4 address");
    m_listenSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_listenSocket < 0) fail(std::strerror(errno));
    const int yes = 1;
    ::setsockopt(m_listenSocket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (::bind(m_listenSocket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listenSocket, kListenBacklog) != 0) {
        fail(std::strerror(errno));
    }
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&bound), &size) != 0)
        fail(std::strerror(errno));
    m_endpoint.port = ntohs(bound.sin_port);
}

ModbusSimServer::~ModbusSimServer() {
    for (const auto& client : m_clients)
        if (client->socket >= 0) ::close(client->socket);
    ::close(m_listenSocket);
}

std::int64_t ModbusSimServer::Now() const {
    return m_clock ? m_clock() : SteadyNowMs();
}

int ModbusSimServer::Step(int timeoutMs) {
    std::int64_t now = Now();
    // Wake up in time for the nearest deadline of a client.
    std::int64_t wait = std::max(timeoutMs, 0);
    for (const auto& client : m_clients) {
        std::int64_t deadline = client->lastHeardMs + m_limits.idleTimeoutMs;
        if (!client->in.empty())
            deadline = std::min(deadline, client->frameStartMs + m_limits.frameTimeoutMs);
        wait = std::min(wait, std::max<std::int64_t>(deadline - now, 0));
    }

    std::vector<pollfd> watched;
    watched.reserve(m_clients.size() + 1);
    watched.push_back({m_listenSocket, POLLIN, 0});
    for (const auto& client : m_clients) {
        // A client that does not read its answers is not read from until it has.
        const short events = client->out.empty() ? POLLIN : POLLOUT;
        watched.push_back({client->socket, events, 0});
    }
    const int ready = ::poll(watched.data(), watched.size(), static_cast<int>(wait));
    if (ready < 0) return 0;

    const std::int64_t before = m_requests;
    now = Now();
    for (std::size_t i = 1; i < watched.size(); ++i) {
        Client& client = *m_clients[i - 1];
        const short events = watched[i].revents;
        if (events & POLLOUT) Flush(client);
        if (client.socket >= 0 && (events & (POLLIN | POLLHUP | POLLERR))) Receive(client, now);
    }
    for (const auto& client : m_clients) {
        if (client->socket < 0) continue;
        if (!client->in.empty() && now - client->frameStartMs > m_limits.frameTimeoutMs) {
            Drop(*client,
                 "frame not completed within " + std::to_string(m_limits.frameTimeoutMs) + " ms");
        } else if (now - client->lastHeardMs > m_limits.idleTimeoutMs) {
            Drop(*client, "idle for " + std::to_string(m_limits.idleTimeoutMs) + " ms");
        }
    }
    std::erase_if(m_clients, [](const auto& client) { return client->socket < 0; });
    if (watched[0].revents & POLLIN) Accept(now);
    return static_cast<int>(m_requests - before);
}

std::size_t ModbusSimServer::PartialBytes() const {
    std::size_t bytes = 0;
    for (const auto& client : m_clients) bytes += client->in.size();
    return bytes;
}

void ModbusSimServer::ServeFor(std::int64_t ms) {
    const std::int64_t end = SteadyNowMs() + ms;
    while (!m_stop) {
        const std::int64_t left = end - SteadyNowMs();
        if (left <= 0) break;
        Step(static_cast<int>(std::min<std::int64_t>(left, 100)));
    }
}

void ModbusSimServer::Accept(std::int64_t nowMs) {
    for (int i = 0; i < kAcceptsPerStep; ++i) {
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int socket = ::accept4(m_listenSocket, reinterpret_cast<sockaddr*>(&peer), &size,
                                     SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0) return;
        if (m_clients.size() >= m_limits.maxClients && !m_clients.empty()) {
            const auto longest = std::min_element(
                m_clients.begin(), m_clients.end(),
                [](const auto& a, const auto& b) { return a->lastHeardMs < b->lastHeardMs; });
            ++m_turnedAway;
            Drop(**longest, "all " + std::to_string(m_limits.maxClients) +
                                " places taken, silent longest (" +
                                std::to_string(nowMs - (*longest)->lastHeardMs) +
                                " ms): its place goes to " + PeerText(peer));
            m_clients.erase(longest);
        }
        const int yes = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->peer = PeerText(peer);
        client->lastHeardMs = nowMs;
        m_clients.push_back(std::move(client));
        Log("client " + m_clients.back()->peer + " connected (" + std::to_string(m_clients.size()) +
            " now)");
    }
}

void ModbusSimServer::Receive(Client& client, std::int64_t nowMs) {
    std::uint8_t buffer[4096];
    std::size_t taken = 0;
    while (taken < kReadPerStep) {
        const ssize_t got = ::recv(client.socket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (got == 0) {
            Drop(client, "");
            return;
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) break;
            Drop(client, std::strerror(errno));
            return;
        }
        if (client.in.empty()) client.frameStartMs = nowMs;
        client.in.insert(client.in.end(), buffer, buffer + got);
        client.lastHeardMs = nowMs;
        taken += static_cast<std::size_t>(got);

        for (;;) {
            const std::ptrdiff_t length = ModbusFrameLength(client.in);
            if (length < 0) {
                Drop(client, "not a Modbus TCP frame header");
                return;
            }
            if (length == 0) break;
            const ModbusReply reply = m_handler.Handle(
                std::span<const std::uint8_t>(client.in.data(), static_cast<std::size_t>(length)));
            if (reply.close) {
                Drop(client, reply.refusal);
                return;
            }
            ++m_requests;
            if (!reply.refusal.empty()) {
                ++m_refusals;
                Log("refused " + reply.refusal);
            }
            client.out.insert(client.out.end(), reply.bytes.begin(), reply.bytes.end());
            client.in.erase(client.in.begin(), client.in.begin() + length);
            client.frameStartMs = nowMs;
        }
        // Answers wait while the client does not read them; nothing more is read meanwhile.
        if (!client.out.empty()) break;
    }
    Flush(client);
}

void ModbusSimServer::Flush(Client& client) {
    while (!client.out.empty() && client.socket >= 0) {
        const ssize_t sent = ::send(client.socket, client.out.data(), client.out.size(),
                                    MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) Drop(client, std::strerror(errno));
            return;
        }
        client.out.erase(client.out.begin(), client.out.begin() + sent);
    }
}

void ModbusSimServer::Drop(Client& client, const std::string& why) {
    if (client.socket < 0) return;
    ::close(client.socket);
    client.socket = -1;
    if (why.empty()) {
        Log("client " + client.peer + " disconnected");
    } else {
        ++m_dropped;
        Log("client " + client.peer + " closed: " + why);
    }
}

void ModbusSimServer::Log(const std::string& line) const {
    if (m_log) m_log(line);
}

}  // namespace zd
