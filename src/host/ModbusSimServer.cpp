#include "host/ModbusSimServer.h"

#include <modbus.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <vector>

#include "platform/Error.h"

namespace zd {

namespace {

constexpr int kFunctionReadRegisters = 0x03;
constexpr int kFunctionWriteRegisters = 0x10;
constexpr int kListenBacklog = 4;
// Every address of the mapping: a read is copied into it at its own address before libmodbus
// builds the answer from there.
constexpr int kAllRegisters = 0x10000;

std::uint16_t Word(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::string Hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

}  // namespace

ModbusSimServer::ModbusSimServer(std::shared_ptr<DevCom> devCom, const ModbusEndpoint& endpoint)
    : m_devCom(std::move(devCom)), m_endpoint(endpoint) {
    auto fail = [&](int error) {
        const std::string text =
            "Modbus TCP " + m_endpoint.Text() + ": cannot listen: " + modbus_strerror(error);
        if (m_listenSocket >= 0) ::close(m_listenSocket);
        if (m_mapping != nullptr) modbus_mapping_free(m_mapping);
        if (m_context != nullptr) modbus_free(m_context);
        throw ControlError(text, kLibraryTitle, kErrDevCom);
    };
    m_context = modbus_new_tcp(m_endpoint.host.c_str(), m_endpoint.port);
    if (m_context == nullptr) fail(errno);
    m_mapping = modbus_mapping_new(0, 0, kAllRegisters, 0);
    if (m_mapping == nullptr) fail(errno);
    m_listenSocket = modbus_tcp_listen(m_context, kListenBacklog);
    if (m_listenSocket < 0) fail(errno);
    sockaddr_in bound{};
    socklen_t size = sizeof bound;
    if (::getsockname(m_listenSocket, reinterpret_cast<sockaddr*>(&bound), &size) != 0) fail(errno);
    m_endpoint.port = ntohs(bound.sin_port);
}

ModbusSimServer::~ModbusSimServer() {
    while (!m_clients.empty()) CloseClient(m_clients.size() - 1);
    ::close(m_listenSocket);
    // The context only ever borrowed client sockets; they are closed already.
    modbus_set_socket(m_context, -1);
    modbus_free(m_context);
    modbus_mapping_free(m_mapping);
}

int ModbusSimServer::Step(int timeoutMs) {
    std::vector<pollfd> watched;
    watched.push_back({m_listenSocket, POLLIN, 0});
    for (int socket : m_clients) watched.push_back({socket, POLLIN, 0});
    if (::poll(watched.data(), watched.size(), timeoutMs) <= 0) return 0;

    const std::int64_t before = m_requests;
    for (std::size_t i = 1; i < watched.size(); ++i) {
        if (watched[i].revents == 0) continue;
        if (!Serve(watched[i].fd)) {
            for (std::size_t index = 0; index < m_clients.size(); ++index) {
                if (m_clients[index] == watched[i].fd) CloseClient(index);
            }
        }
    }
    if (watched[0].revents & POLLIN) Accept();
    return static_cast<int>(m_requests - before);
}

void ModbusSimServer::ServeFor(std::int64_t ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    while (!m_stop) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        Step(static_cast<int>(std::min<std::int64_t>(left, 100)));
    }
}

void ModbusSimServer::Accept() {
    const int socket = ::accept4(m_listenSocket, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) return;
    if (m_clients.size() >= kMaxClients) {
        ::close(socket);
        Log("client refused: already " + std::to_string(kMaxClients) + " clients");
        return;
    }
    m_clients.push_back(socket);
    Log("client connected (" + std::to_string(m_clients.size()) + " now)");
}

void ModbusSimServer::CloseClient(std::size_t index) {
    ::close(m_clients[index]);
    m_clients.erase(m_clients.begin() + static_cast<std::ptrdiff_t>(index));
    Log("client disconnected (" + std::to_string(m_clients.size()) + " left)");
}

bool ModbusSimServer::Serve(int socket) {
    modbus_set_socket(m_context, socket);
    std::uint8_t request[MODBUS_TCP_MAX_ADU_LENGTH];
    const int length = modbus_receive(m_context, request);
    if (length < 0) return false;
    if (length == 0) return true;
    ++m_requests;
    return Answer(request, length);
}

bool ModbusSimServer::Answer(const std::uint8_t* request, int length) {
    const int offset = modbus_get_header_length(m_context);
    const int unit = request[offset - 1];
    const int function = request[offset];
    if (unit != kModbusUnitId)
        return Refuse(request, MODBUS_EXCEPTION_GATEWAY_TARGET, "unit " + std::to_string(unit));
    if (function != kFunctionReadRegisters && function != kFunctionWriteRegisters) {
        return Refuse(request, MODBUS_EXCEPTION_ILLEGAL_FUNCTION,
                      "function " + std::to_string(function));
    }
    const std::uint16_t address = Word(request + offset + 1);
    const std::int32_t count = Word(request + offset + 3);
    const bool write = function == kFunctionWriteRegisters;
    const std::string what = std::string(write ? "write" : "read") + " of " +
                             std::to_string(count) + " at register " + Hex(address);
    if (count < 1 || count > (write ? MODBUS_MAX_WRITE_REGISTERS : MODBUS_MAX_READ_REGISTERS) ||
        (write && (request[offset + 5] != count * 2 || length < offset + 6 + count * 2))) {
        return Refuse(request, MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE, what + ": bad count");
    }
    const std::optional<TableAddress> call = TableAddressOfRegister(address, count);
    if (!call) return Refuse(request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS, what + ": not mapped");
    try {
        if (write) {
            std::vector<std::uint16_t> words(static_cast<std::size_t>(count));
            for (std::int32_t i = 0; i < count; ++i)
                words[static_cast<std::size_t>(i)] = Word(request + offset + 6 + 2 * i);
            m_devCom->WriteTable(call->nDevice, call->nTable, call->nOffset, count, words.data());
        } else {
            m_devCom->ReadTable(call->nDevice, call->nTable, call->nOffset, count,
                                m_mapping->tab_registers + address);
        }
    } catch (const ControlError& error) {
        return Refuse(request, MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS,
                      what + ": " + error.Description());
    } catch (const std::exception& error) {
        return Refuse(request, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE,
                      what + ": " + error.what());
    }
    return modbus_reply(m_context, request, length, m_mapping) >= 0;
}

bool ModbusSimServer::Refuse(const std::uint8_t* request, int exception, const std::string& why) {
    ++m_refusals;
    Log("refused " + why);
    return modbus_reply_exception(m_context, request, static_cast<unsigned>(exception)) >= 0;
}

void ModbusSimServer::Log(const std::string& line) const {
    if (m_log) m_log(line);
}

}  // namespace zd
