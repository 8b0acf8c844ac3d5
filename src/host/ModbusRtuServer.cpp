#include "host/ModbusRtuServer.h"

#include <modbus.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>

#include "platform/Error.h"

namespace zd {

ModbusRtuSimServer::ModbusRtuSimServer(std::shared_ptr<DevCom> devCom, const ModbusSerialLine& line)
    : m_devCom(std::move(devCom)), m_handler(*m_devCom, line.unit, true), m_line(line) {
    const auto fail = [&](const std::string& reason) {
        if (m_context) modbus_free(m_context);
        throw ControlError("Modbus RTU: " + m_line.device + " (" + m_line.Settings() +
                               ") cannot be opened: " + reason,
                           kLibraryTitle, kErrDevCom);
    };
    m_context = modbus_new_rtu(line.device.c_str(), line.baud, line.parity, 8, line.stopBits);
    if (m_context == nullptr) fail(modbus_strerror(errno));
    modbus_set_slave(m_context, line.unit);
    // The characters of one frame may be apart by the latency of a USB adapter.
    const std::int64_t byteUs = std::max<std::int64_t>(100'000, 10 * line.CharacterMicros());
    modbus_set_byte_timeout(m_context, static_cast<std::uint32_t>(byteUs / 1'000'000),
                            static_cast<std::uint32_t>(byteUs % 1'000'000));
    if (modbus_connect(m_context) == -1) fail(std::strerror(errno));
    if (::flock(modbus_get_socket(m_context), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        modbus_close(m_context);
        fail(error == EWOULDBLOCK ? "another program uses it" : std::strerror(error));
    }
}

ModbusRtuSimServer::~ModbusRtuSimServer() {
    modbus_close(m_context);
    modbus_free(m_context);
}

int ModbusRtuSimServer::Step(int timeoutMs) {
    pollfd watched{modbus_get_socket(m_context), POLLIN, 0};
    const int ready = ::poll(&watched, 1, std::max(timeoutMs, 0));
    if (ready <= 0) return 0;
    if (!(watched.revents & POLLIN)) Fail("the line was closed");

    std::uint8_t frame[MODBUS_RTU_MAX_ADU_LENGTH];
    const int length = modbus_receive(m_context, frame);
    if (length == 0) return 0;  // another unit's request, or its answer
    if (length < 0) {
        const int error = errno;
        if (error == EINTR) return 0;
        if (error == EIO || error == EBADF) Fail(std::strerror(error));
        ++m_dropped;
        Log(std::string("frame dropped: ") +
            (error == EMBBADCRC ? "wrong checksum (CRC)" : modbus_strerror(error)));
        modbus_flush(m_context);
        return 0;
    }
    const ModbusReply reply =
        m_handler.HandleRtu(std::span<const std::uint8_t>(frame, static_cast<std::size_t>(length)));
    if (!reply.refusal.empty()) {
        ++m_refusals;
        Log("refused " + reply.refusal);
    }
    std::size_t sent = 0;
    while (sent < reply.bytes.size()) {
        const ssize_t written = ::write(modbus_get_socket(m_context), reply.bytes.data() + sent,
                                        reply.bytes.size() - sent);
        if (written < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd out{modbus_get_socket(m_context), POLLOUT, 0};
                ::poll(&out, 1, 100);
                continue;
            }
            Fail(std::strerror(errno));
        }
        sent += static_cast<std::size_t>(written);
    }
    ++m_requests;
    return 1;
}

void ModbusRtuSimServer::Log(const std::string& line) const {
    if (m_log) m_log(line);
}

void ModbusRtuSimServer::Fail(const std::string& reason) const {
    throw ControlError("Modbus RTU: " + m_line.device + ": " + reason, kLibraryTitle, kErrDevCom);
}

}  // namespace zd
