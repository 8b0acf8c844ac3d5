// The simulator's Modbus TCP front: serves a device-communication object (usually SimDevCom over a
// simulated terminal) to Modbus clients with the register mapping of ModbusDevCom.h, so that the
// tool, or anything else that speaks Modbus, can drive the simulated line over a real socket.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/DevCom.h"
#include "simserver/ModbusRequestHandler.h"
#include "transport/ModbusDevCom.h"

namespace zd {

// What the server puts up with. The defaults are the ones zd4270-sim --help states.
struct ModbusServerLimits {
    // Clients served at once. When every place is taken, the client that has been silent
    // longest is closed (and logged) to make room for a newcomer, so that forgotten or silent
    // connections cannot lock everybody else out.
    std::size_t maxClients = 64;
    // A client that sends nothing for this long is closed, so that forgotten connections cannot
    // keep the places taken.
    std::int64_t idleTimeoutMs = 60'000;
    // A frame whose first byte has come must be complete within this time.
    std::int64_t frameTimeoutMs = 5'000;
};

// One thread serves every client through non-blocking sockets: each client has its own buffer,
// and only complete frames are handled (ModbusRequestHandler), so a client that sends half a frame
// or reads its answers slowly delays nobody. A single thread also keeps the served object, whose
// simulated terminal follows one clock, free of locks; a request costs it microseconds, so the
// clients do not wait on each other in any way that matters. A client that breaks the framing
// (protocol id not 0, a length out of range) is closed; every request that is framed gets an
// answer, if need be an exception.
class ModbusSimServer {
  public:
    // Listens on the endpoint; port 0 picks a free port (see Port()). Throws ControlError
    // "Modbus TCP HOST:PORT: cannot listen: <reason>" with kErrDevCom, e.g. for a port in use.
    ModbusSimServer(std::shared_ptr<DevCom> devCom, const ModbusEndpoint& endpoint = {},
                    const ModbusServerLimits& limits = {});
    ~ModbusSimServer();
    ModbusSimServer(const ModbusSimServer&) = delete;
    ModbusSimServer& operator=(const ModbusSimServer&) = delete;

    // Waits up to timeoutMs for traffic, then accepts, reads, answers and writes whatever is
    // ready without blocking, and closes clients past their timeouts. Returns the number of
    // requests answered. An interrupted wait returns 0.
    int Step(int timeoutMs);
    // The clock of the client timeouts, in milliseconds; by default the steady clock. Tests give
    // one of their own, so that a timeout passes when they say so and not when a loaded machine
    // happens to be slow.
    void SetClock(std::function<std::int64_t()> clock) { m_clock = std::move(clock); }
    // Steps until ms of real time have passed or Stop() is called.
    void ServeFor(std::int64_t ms);
    // From any thread or a signal handler: ServeFor returns within one step.
    void Stop() { m_stop = true; }
    bool Stopping() const { return m_stop; }

    // The port actually listened on, and the whole endpoint.
    std::uint16_t Port() const { return m_endpoint.port; }
    const ModbusEndpoint& Endpoint() const { return m_endpoint; }
    const ModbusServerLimits& Limits() const { return m_limits; }
    std::int64_t Requests() const { return m_requests; }
    std::int64_t Refusals() const { return m_refusals; }
    // Clients closed to make room for a newcomer because every place was taken, and every
    // client the server closed (for room, a timeout or a broken frame).
    std::int64_t TurnedAway() const { return m_turnedAway; }
    std::int64_t Dropped() const { return m_dropped; }
    std::size_t Clients() const { return m_clients.size(); }
    // Bytes received of frames not yet complete, over all clients.
    std::size_t PartialBytes() const;
    // Called (on the stepping thread) with a line on each client coming and going and each
    // refused request.
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }

  private:
    struct Client {
        int socket = -1;
        std::string peer;
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;
        std::int64_t lastHeardMs = 0;
        // When the first byte of the frame now in the buffer came.
        std::int64_t frameStartMs = 0;
        bool closing = false;
    };

    void Accept(std::int64_t nowMs);
    // Reads what has come and answers every complete frame.
    void Receive(Client& client, std::int64_t nowMs);
    void Flush(Client& client);
    void Drop(Client& client, const std::string& why);
    void Log(const std::string& line) const;
    std::int64_t Now() const;

    std::shared_ptr<DevCom> m_devCom;
    ModbusRequestHandler m_handler;
    ModbusEndpoint m_endpoint;
    ModbusServerLimits m_limits;
    int m_listenSocket = -1;
    std::vector<std::unique_ptr<Client>> m_clients;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_requests{0};
    std::atomic<std::int64_t> m_refusals{0};
    std::atomic<std::int64_t> m_turnedAway{0};
    std::atomic<std::int64_t> m_dropped{0};
    std::function<void(const std::string&)> m_log;
    std::function<std::int64_t()> m_clock;
};

}  // namespace zd
