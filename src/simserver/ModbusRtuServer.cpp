#include "simserver/ModbusRtuServer.h"

#include <modbus.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <vector>

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
    // Frames are apart by 3.5 characters at least; above 19200 baud by 1.75 ms. The characters
    // of one request may be apart by the latency of a USB adapter.
    m_frameGapUs = line.baud > 19200 ? 1750 : (7 * line.CharacterMicros() + 1) / 2;
    m_requestPauseUs = std::max<std::int64_t>(100'000, 10 * line.CharacterMicros());
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

namespace {

constexpr std::uint8_t kFunctionRead = 0x03;
constexpr std::uint8_t kFunctionWrite = 0x10;
constexpr std::uint8_t kExceptionBit = 0x80;

bool CrcMatches(const std::vector<std::uint8_t>& bytes, std::size_t length) {
    const std::uint16_t crc = ModbusCrc(std::span<const std::uint8_t>(bytes.data(), length - 2));
    return bytes[length - 2] == (crc & 0xFF) && bytes[length - 1] == (crc >> 8);
}

// The length of the frame at the start of bytes, once it is there whole with its CRC; 0 while it
// is not. A request to this unit is one of the requests the server knows; a frame of another
// unit may also be that unit's answer, which is told apart by its CRC. Any other frame ends at
// the silence after it.
std::size_t FrameLength(const std::vector<std::uint8_t>& bytes, bool ownUnit) {
    if (bytes.size() < kRtuMinFrameBytes) return 0;
    const std::uint8_t function = bytes[1];
    std::vector<std::size_t> lengths;
    if (function == kFunctionRead) lengths.push_back(8);
    if (function == kFunctionWrite && bytes.size() >= 7) lengths.push_back(9u + bytes[6]);
    if (!ownUnit) {
        if (function & kExceptionBit) lengths.push_back(5);
        if (function == kFunctionRead) lengths.push_back(5u + bytes[2]);
        if (function == kFunctionWrite) lengths.push_back(8);
    }
    std::sort(lengths.begin(), lengths.end());
    for (const std::size_t length : lengths)
        if (length <= bytes.size() && CrcMatches(bytes, length)) return length;
    return 0;
}

}  // namespace

bool ModbusRtuSimServer::ReadWithin(std::int64_t timeoutUs) {
    const int fd = modbus_get_socket(m_context);
    pollfd watched{fd, POLLIN, 0};
    timeoutUs = std::max<std::int64_t>(timeoutUs, 0);
    const timespec timeout{static_cast<time_t>(timeoutUs / 1'000'000),
                           static_cast<long>(timeoutUs % 1'000'000) * 1000};
    const int ready = ::ppoll(&watched, 1, &timeout, nullptr);
    if (ready <= 0) return false;
    if (!(watched.revents & POLLIN)) Fail("the line was closed");
    std::uint8_t chunk[MODBUS_RTU_MAX_ADU_LENGTH];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
        const int error = errno;
        if (error == EINTR || error == EAGAIN) return true;
        Fail(std::strerror(error));
    }
    if (got == 0) Fail("the line was closed");
    m_pending.insert(m_pending.end(), chunk, chunk + got);
    return true;
}

bool ModbusRtuSimServer::RequestUnderWay() const {
    if (m_pending.empty()) return false;
    if (m_pending[0] != m_handler.Unit() && m_pending[0] != kModbusBroadcastUnit) return false;
    if (m_pending.size() < 2) return true;
    if (m_pending[1] == kFunctionRead) return m_pending.size() < 8;
    if (m_pending[1] == kFunctionWrite)
        return m_pending.size() < 7 || m_pending.size() < 9u + m_pending[6];
    return false;
}

// libmodbus's own reading takes a request to another unit as one whose answer comes next, and so
// swallowed the next request to this unit when that unit kept quiet; frames are therefore cut
// here, by their length and CRC, or at the silence after them.
int ModbusRtuSimServer::Step(int timeoutMs) {
    if (m_pending.empty() && !ReadWithin(std::int64_t{timeoutMs} * 1000)) return 0;
    std::size_t length = 0;
    for (;;) {
        const bool ownUnit =
            m_pending.empty() || m_pending[0] == m_handler.Unit() || m_pending[0] == 0;
        length = FrameLength(m_pending, ownUnit);
        if (length > 0) break;
        // A frame ends at the silence of 3.5 characters after it: a garbled frame is dropped then
        // and the request after it is read on its own.
        if (m_pending.size() > kRtuMaxFrameBytes ||
            !ReadWithin(RequestUnderWay() ? m_requestPauseUs : m_frameGapUs)) {
            // A frame of a function not known here is whole at the silence after it.
            if (m_pending.size() >= kRtuMinFrameBytes && m_pending.size() <= kRtuMaxFrameBytes &&
                CrcMatches(m_pending, m_pending.size())) {
                length = m_pending.size();
                break;
            }
            if (m_pending.empty()) return 0;
            // A request that came too close after a garbled frame is read on its own: the
            // garbled bytes before a whole request to this unit are dropped.
            bool found = false;
            for (std::size_t start = 1; start + kRtuMinFrameBytes <= m_pending.size(); ++start) {
                if (m_pending[start] != m_handler.Unit()) continue;
                const std::vector<std::uint8_t> rest(m_pending.begin() + static_cast<long>(start),
                                                     m_pending.end());
                if (FrameLength(rest, true) == 0) continue;
                m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<long>(start));
                found = true;
                break;
            }
            ++m_dropped;
            if (found) {
                Log("frame dropped: wrong checksum (CRC)");
                continue;
            }
            Log(std::string("frame dropped: ") + (m_pending.size() < kRtuMinFrameBytes
                                                      ? "it stopped half way"
                                                      : "wrong checksum (CRC)"));
            m_pending.clear();
            return 0;
        }
    }
    const std::vector<std::uint8_t> frame(m_pending.begin(), m_pending.begin() + length);
    m_pending.erase(m_pending.begin(), m_pending.begin() + length);
    const ModbusReply reply = m_handler.HandleRtu(frame);
    if (!reply.refusal.empty()) {
        ++m_refusals;
        Log("refused " + reply.refusal);
    }
    // Another unit's request or answer; a broadcast is carried out and not answered.
    if (frame[0] != m_handler.Unit() && frame[0] != kModbusBroadcastUnit) return 0;
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
