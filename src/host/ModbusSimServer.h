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

#include "host/ModbusDevCom.h"
#include "platform/DevCom.h"

struct _modbus;
struct _modbus_mapping_t;

namespace zd {

// Answers function 3 and 16 by ReadTable/WriteTable of the served object. A request outside the
// mapping, or one the served object refuses with ControlError, gets the exception "illegal data
// address"; another unit than 1 "gateway target failed"; any other function "illegal function".
// Runs in the caller's loop: Step waits for one batch of traffic, ServeFor repeats it. The served
// object is only ever called from the thread that steps the server.
class ModbusSimServer {
  public:
    // Clients served at once; a further one is closed at once.
    static constexpr std::size_t kMaxClients = 8;

    // Listens on the endpoint; port 0 picks a free port (see Port()). Throws ControlError
    // "Modbus TCP HOST:PORT: cannot listen: <reason>" with kErrDevCom, e.g. for a port in use.
    ModbusSimServer(std::shared_ptr<DevCom> devCom, const ModbusEndpoint& endpoint = {});
    ~ModbusSimServer();
    ModbusSimServer(const ModbusSimServer&) = delete;
    ModbusSimServer& operator=(const ModbusSimServer&) = delete;

    // Waits up to timeoutMs for a new client or a request, then accepts and answers whatever is
    // ready. Returns the number of requests answered. An interrupted wait returns 0.
    int Step(int timeoutMs);
    // Steps until ms have passed or Stop() is called.
    void ServeFor(std::int64_t ms);
    // From any thread or a signal-safe flag check: ServeFor returns within one step.
    void Stop() { m_stop = true; }
    bool Stopping() const { return m_stop; }

    // The port actually listened on, and the whole endpoint.
    std::uint16_t Port() const { return m_endpoint.port; }
    const ModbusEndpoint& Endpoint() const { return m_endpoint; }
    std::int64_t Requests() const { return m_requests; }
    std::int64_t Refusals() const { return m_refusals; }
    std::size_t Clients() const { return m_clients.size(); }
    // Called (on the stepping thread) with a line on each client coming and going and each
    // refused request.
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }

  private:
    void Accept();
    // False when the client is gone or out of step and has to be closed.
    bool Serve(int socket);
    // Both return false when the answer could not be sent.
    bool Answer(const std::uint8_t* request, int length);
    bool Refuse(const std::uint8_t* request, int exception, const std::string& why);
    void CloseClient(std::size_t index);
    void Log(const std::string& line) const;

    std::shared_ptr<DevCom> m_devCom;
    ModbusEndpoint m_endpoint;
    _modbus* m_context = nullptr;
    _modbus_mapping_t* m_mapping = nullptr;
    int m_listenSocket = -1;
    std::vector<int> m_clients;
    std::atomic<bool> m_stop{false};
    std::atomic<std::int64_t> m_requests{0};
    std::atomic<std::int64_t> m_refusals{0};
    std::function<void(const std::string&)> m_log;
};

}  // namespace zd
