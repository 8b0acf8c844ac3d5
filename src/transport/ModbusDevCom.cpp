#include "transport/ModbusDevCom.h"

#include <arpa/inet.h>
#include <modbus.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/Error.h"

namespace zd {

namespace {

bool ImageTable(std::int32_t nTable) {
    return (nTable >= 0 && nTable < kModbusImageTables) || nTable == kModbusWatchdogTable;
}

bool FitsTable(std::int32_t nOffset, std::int32_t nCount, std::int32_t words) {
    return nCount >= 1 && nCount <= kModbusMaxWords && nOffset >= 0 && nOffset <= words - nCount;
}

// Failures that the server reported itself: the connection is fine, repeating cannot help.
bool ExceptionAnswer(int error) {
    return error >= EMBXILFUN && error <= EMBXGTAR;
}

// What happened, in words: the errno that libmodbus leaves after a failed connect or request is
// often a leftover of its non-blocking connect ("Operation now in progress") rather than a reason.
std::string FailureText(int error, std::int64_t timeoutMs) {
    switch (error) {
        case EINPROGRESS:
        case ETIMEDOUT:
        case EAGAIN:
            return "connection timed out (no answer within " + std::to_string(timeoutMs) + " ms)";
        case ECONNREFUSED:
            return "connection refused (nothing listens at that port)";
        case ECONNRESET:
        case EPIPE:
        case ENOTCONN:
            return "connection closed by the terminal";
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return "host unreachable";
        case ENETUNREACH:
        case ENETDOWN:
            return "network unreachable";
        case EMBBADDATA:
        case EMBBADEXC:
        case EMBBADSLAVE:
        case EMBMDATA:
            return std::string("answer out of step (") + modbus_strerror(error) + ")";
        default:
            return modbus_strerror(error);
    }
}

// What went wrong with a request on a serial line. A unit that is not there, or a line whose
// settings differ from the unit's, is silent: libmodbus then reports a timeout.
std::string SerialFailureText(int error) {
    switch (error) {
        case ETIMEDOUT:
        case EAGAIN:
        case EINPROGRESS:
            return "no answer";
        case EMBBADCRC:
            return "an answer with a wrong checksum (CRC)";
        case EMBBADSLAVE:
            return "an answer of another unit";
        case EMBBADDATA:
        case EMBBADEXC:
        case EMBMDATA:
            return std::string("an answer out of step (") + modbus_strerror(error) + ")";
        default:
            if (ExceptionAnswer(error))
                return std::string("exception ") + modbus_strerror(error) + " as the answer";
            return modbus_strerror(error);
    }
}

std::int64_t SteadyMicros() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The longest RTU frame: unit, 253 bytes of PDU, CRC.
constexpr std::int64_t kRtuMaxFrameBytes = 256;

std::string Hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", value);
    return text;
}

std::string DescribeCall(const char* what, std::int32_t nDevice, std::int32_t nTable,
                         std::int32_t nOffset, std::int32_t nCount) {
    return std::string(what) + " of device " + std::to_string(nDevice) + " table " +
           std::to_string(nTable) + " offset " + std::to_string(nOffset) + " count " +
           std::to_string(nCount);
}

}  // namespace

std::optional<std::uint16_t> ModbusRegisterAddress(std::int32_t nDevice, std::int32_t nTable,
                                                   std::int32_t nOffset, std::int32_t nCount) {
    if (nDevice == 0) {
        if (!ImageTable(nTable) || !FitsTable(nOffset, nCount, kModbusTableWords))
            return std::nullopt;
        return static_cast<std::uint16_t>(nTable * kModbusTableWords + nOffset);
    }
    if (nDevice < 1 || nDevice > kModbusMaxPosition || nTable != 0 ||
        !FitsTable(nOffset, nCount, kModbusRegisterWords))
        return std::nullopt;
    return static_cast<std::uint16_t>(kModbusRegisterBase + nDevice * kModbusTableWords + nOffset);
}

std::optional<TableAddress> TableAddressOfRegister(std::uint16_t address, std::int32_t nCount) {
    TableAddress call;
    const std::int32_t high = address >> 8;
    call.nOffset = address & 0xFF;
    if (address & kModbusRegisterBase) {
        call.nDevice = high - (kModbusRegisterBase >> 8);
        call.nTable = 0;
    } else {
        call.nTable = high;
    }
    if (ModbusRegisterAddress(call.nDevice, call.nTable, call.nOffset, nCount) != address)
        return std::nullopt;
    return call;
}

std::string ModbusEndpoint::Text() const {
    return host + ":" + std::to_string(port) +
           (unit == kModbusDefaultUnit ? std::string() : "/" + std::to_string(unit));
}

ModbusEndpoint ParseModbusEndpoint(std::string_view text) {
    auto refuse = [&](const std::string& why) -> ModbusEndpoint {
        throw ControlError("Modbus TCP address \"" + std::string(text) + "\": " + why +
                               " (expected HOST:PORT or HOST:PORT/UNIT, e.g. 127.0.0.1:1502)",
                           kLibraryTitle, kErrDevCom);
    };
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) return refuse("no port");
    ModbusEndpoint endpoint;
    endpoint.host = std::string(text.substr(0, colon));
    if (endpoint.host == "localhost") endpoint.host = "127.0.0.1";
    in_addr parsed{};
    if (endpoint.host.empty() || inet_pton(AF_INET, endpoint.host.c_str(), &parsed) != 1)
        return refuse("the host is not an IPv4 address");
    std::string_view portText = text.substr(colon + 1);
    const std::size_t slash = portText.find('/');
    if (slash != std::string_view::npos) {
        const std::string_view unitText = portText.substr(slash + 1);
        portText = portText.substr(0, slash);
        int unit = 0;
        const auto [end, error] =
            std::from_chars(unitText.data(), unitText.data() + unitText.size(), unit);
        if (unitText.empty() || error != std::errc() || end != unitText.data() + unitText.size() ||
            unit < kModbusMinUnit || unit > kModbusMaxUnit)
            return refuse("the unit is not a number from " + std::to_string(kModbusMinUnit) +
                          " to " + std::to_string(kModbusMaxUnit));
        endpoint.unit = unit;
        endpoint.unitGiven = true;
    }
    unsigned port = 0;
    const auto [end, error] =
        std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() ||
        port < 1 || port > 65535)
        return refuse("the port is not a number from 1 to 65535");
    endpoint.port = static_cast<std::uint16_t>(port);
    return endpoint;
}

std::string ModbusSerialLine::Text() const {
    const bool bracketed = device.find(':') != std::string::npos;
    return (bracketed ? "[" + device + "]" : device) + ":" + std::to_string(baud) + ":" +
           std::string(1, parity) + ":" + std::to_string(stopBits) +
           (unit == kModbusDefaultUnit ? std::string() : "/" + std::to_string(unit));
}

std::string ModbusSerialLine::Settings() const {
    return std::to_string(baud) + " 8" + std::string(1, parity) + std::to_string(stopBits);
}

std::string ModbusSerialLine::Where() const {
    return "unit " + std::to_string(unit) + " on " + device + " at " + Settings();
}

std::int64_t ModbusSerialLine::CharacterMicros() const {
    const int bits = 1 + 8 + (parity == 'N' ? 0 : 1) + stopBits;
    return (bits * 1'000'000LL + baud - 1) / baud;
}

ModbusSerialLine ParseModbusSerialLine(std::string_view text) {
    auto refuse = [&](const std::string& why) -> ModbusSerialLine {
        throw ControlError("Modbus RTU line \"" + std::string(text) + "\": " + why +
                               " (expected DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT], e.g. "
                               "/dev/ttyUSB0:19200:E:1/3)",
                           kLibraryTitle, kErrDevCom);
    };
    auto number = [](std::string_view digits, int& value) {
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        return !digits.empty() && error == std::errc() && end == digits.data() + digits.size();
    };
    ModbusSerialLine line;
    std::string_view rest = text;
    // A device whose name holds ':' (the names under /dev/serial/by-path do) is given in
    // brackets: "[/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0]:19200:E:1/3".
    const bool bracketed = !rest.empty() && rest.front() == '[';
    std::size_t deviceEnd = 0;
    if (bracketed) {
        deviceEnd = rest.find(']');
        if (deviceEnd == std::string_view::npos) return refuse("no ']' after the device");
        if (deviceEnd + 1 < rest.size() && rest[deviceEnd + 1] != ':' && rest[deviceEnd + 1] != '/')
            return refuse("':' or '/' must follow the device's ']'");
    }
    // The unit follows the last '/' when what follows it is a number or nothing, as in
    // "/dev/ttyUSB0/3"; the device's own slashes are followed by a name.
    const std::size_t slash = rest.rfind('/');
    if (slash != std::string_view::npos && (!bracketed || slash > deviceEnd)) {
        const std::string_view unitText = rest.substr(slash + 1);
        if (unitText.find(':') == std::string_view::npos &&
            (unitText.empty() || std::isdigit(static_cast<unsigned char>(unitText[0])))) {
            if (!number(unitText, line.unit) || line.unit < kModbusMinUnit ||
                line.unit > kModbusMaxUnit)
                return refuse("the unit is not a number from " + std::to_string(kModbusMinUnit) +
                              " to " + std::to_string(kModbusMaxUnit));
            rest = rest.substr(0, slash);
        }
    }
    const std::size_t colon = rest.find(':', deviceEnd);
    line.device =
        bracketed ? std::string(rest.substr(1, deviceEnd - 1)) : std::string(rest.substr(0, colon));
    if (line.device.empty()) return refuse("no device");
    std::vector<std::string_view> settings;
    if (colon != std::string_view::npos) {
        for (std::string_view fields = rest.substr(colon + 1);;) {
            const std::size_t next = fields.find(':');
            settings.push_back(fields.substr(0, next));
            if (next == std::string_view::npos) break;
            fields = fields.substr(next + 1);
        }
    }
    if (settings.size() > 3) return refuse("more than baud rate, parity and stop bits");
    if (!settings.empty()) {
        const bool known = number(settings[0], line.baud) &&
                           std::find(std::begin(kModbusBaudRates), std::end(kModbusBaudRates),
                                     line.baud) != std::end(kModbusBaudRates);
        if (!known) {
            std::string rates;
            for (const int rate : kModbusBaudRates)
                rates += (rates.empty() ? "" : " ") + std::to_string(rate);
            return refuse("the baud rate is not one of " + rates);
        }
    }
    if (settings.size() > 1) {
        const std::string_view parity = settings[1];
        const char letter =
            parity.size() == 1
                ? static_cast<char>(std::toupper(static_cast<unsigned char>(parity[0])))
                : '?';
        if (letter != 'N' && letter != 'E' && letter != 'O')
            return refuse("the parity is not N, E or O");
        line.parity = letter;
    }
    if (settings.size() > 2 && settings[2] != "1" && settings[2] != "2")
        return refuse("the stop bits are not 1 or 2");
    if (settings.size() > 2) line.stopBits = settings[2] == "2" ? 2 : 1;
    return line;
}

std::shared_ptr<ModbusDevCom> OpenModbusDevCom(const std::string& tcp, const std::string& serial) {
    if (!serial.empty()) return std::make_shared<ModbusDevCom>(ParseModbusSerialLine(serial));
    return std::make_shared<ModbusDevCom>(ParseModbusEndpoint(tcp));
}

ModbusDevCom::ModbusDevCom(const ModbusSerialLine& line, std::int64_t timeoutMs)
    : m_serial(line), m_timeoutMs(timeoutMs) {
    m_endpoint.unit = line.unit;
    const std::string opening = "Modbus RTU: " + line.device + " (" + line.Settings() + ")";
    m_context = modbus_new_rtu(line.device.c_str(), line.baud, line.parity, 8, line.stopBits);
    if (m_context == nullptr)
        throw ControlError(opening + " cannot be opened: " + modbus_strerror(errno), kLibraryTitle,
                           kErrDevCom);
    modbus_set_slave(m_context, line.unit);
    const std::int64_t responseUs = ResponseTimeoutMs() * 1000;
    modbus_set_response_timeout(m_context, static_cast<std::uint32_t>(responseUs / 1'000'000),
                                static_cast<std::uint32_t>(responseUs % 1'000'000));
    const std::int64_t byteUs = std::max<std::int64_t>(100'000, 10 * line.CharacterMicros());
    modbus_set_byte_timeout(m_context, static_cast<std::uint32_t>(byteUs / 1'000'000),
                            static_cast<std::uint32_t>(byteUs % 1'000'000));
    std::string failure;
    if (modbus_connect(m_context) == -1) {
        failure = std::strerror(errno);
    } else if (::flock(modbus_get_socket(m_context), LOCK_EX | LOCK_NB) != 0) {
        failure = errno == EWOULDBLOCK ? "another program uses it (one client on a line at a time)"
                                       : std::strerror(errno);
        modbus_close(m_context);
    }
    if (!failure.empty()) {
        modbus_free(m_context);
        m_context = nullptr;
        throw ControlError(opening + " cannot be opened: " + failure, kLibraryTitle, kErrDevCom);
    }
    m_connected = true;
    m_lastFrameEndUs = SteadyMicros();
}

std::int64_t ModbusDevCom::ResponseTimeoutMs() const {
    if (!m_serial) return m_timeoutMs;
    // The request goes out and the answer comes back on the wire, at most the longest frame each.
    return m_timeoutMs + (2 * kRtuMaxFrameBytes * m_serial->CharacterMicros() + 999) / 1000;
}

void ModbusDevCom::AwaitSilence() {
    if (!m_serial) return;
    // 3.5 character times, and 1.75 ms above 19200 baud, where the standard fixes it.
    const std::int64_t silenceUs =
        m_serial->baud > 19200 ? 1750 : (7 * m_serial->CharacterMicros() + 1) / 2;
    const std::int64_t waited = SteadyMicros() - m_lastFrameEndUs;
    if (waited < silenceUs)
        std::this_thread::sleep_for(std::chrono::microseconds(silenceUs - waited));
}

std::string ModbusDevCom::RequestFailure(int error) const {
    if (m_serial) {
        std::string reason = SerialFailureText(error) + " from " + m_serial->Where();
        if (error == ETIMEDOUT || error == EAGAIN || error == EINPROGRESS)
            reason += " within " + std::to_string(ResponseTimeoutMs()) +
                      " ms (check the wiring, the unit and the line's settings)";
        return reason;
    }
    if (!m_answerProblem.empty()) return m_answerProblem;
    // A gateway, or zd4270-sim, answers 0B for a unit it does not serve: the address is right but
    // the unit is not, which the raw text does not say.
    return error == EMBXGTAR
               ? "no unit " + std::to_string(m_endpoint.unit) +
                     " answers there (exception 0B, gateway target device failed to respond); "
                     "check the unit"
               : FailureText(error, m_timeoutMs);
}

ModbusDevCom::ModbusDevCom(const ModbusEndpoint& endpoint, std::int64_t timeoutMs)
    : m_endpoint(endpoint), m_timeoutMs(timeoutMs) {
    m_context = modbus_new_tcp(m_endpoint.host.c_str(), m_endpoint.port);
    if (m_context == nullptr) Fail(modbus_strerror(errno));
    modbus_set_slave(m_context, m_endpoint.unit);
    const auto timeout = static_cast<std::uint32_t>(timeoutMs);
    // libmodbus also bounds its connect by the response timeout.
    modbus_set_response_timeout(m_context, timeout / 1000, (timeout % 1000) * 1000);
    if (const int error = Connect(); error != 0) {
        modbus_free(m_context);
        m_context = nullptr;
        Fail(FailureText(error, m_timeoutMs));
    }
}

ModbusDevCom::~ModbusDevCom() {
    if (m_context == nullptr) return;
    Disconnect();
    modbus_free(m_context);
}

int ModbusDevCom::Connect() {
    m_answerProblem.clear();
    if (modbus_connect(m_context) == -1) {
        const int error = errno;
        modbus_close(m_context);
        return error;
    }
    m_connected = true;
    return 0;
}

void ModbusDevCom::Disconnect() {
    if (m_connected) modbus_close(m_context);
    m_connected = false;
}

void ModbusDevCom::Fail(const std::string& reason) const {
    // A serial line's reasons name the unit, the device and its settings themselves.
    throw ControlError(
        (m_serial ? "Modbus RTU" : "Modbus TCP " + m_endpoint.Text()) + ": " + reason,
        kLibraryTitle, kErrDevCom);
}

template <class Request>
void ModbusDevCom::Transfer(const char* what, std::int32_t nDevice, std::int32_t nTable,
                            std::int32_t nOffset, std::int32_t nCount, Request&& request) {
    const std::optional<std::uint16_t> address =
        ModbusRegisterAddress(nDevice, nTable, nOffset, nCount);
    if (!address) {
        Fail(DescribeCall(what, nDevice, nTable, nOffset, nCount) +
             ": no Modbus register for it (" + kModbusMappingText + ")");
    }
    int error = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!m_connected) {
            ++m_reconnects;
            error = Connect();
            if (error != 0) break;
        }
        AwaitSilence();
        const int done = request(*address);
        if (m_serial) m_lastFrameEndUs = SteadyMicros();
        if (done == nCount) return;
        error = errno;
        if (ExceptionAnswer(error)) break;
        if (m_serial) {
            // A frame lost or garbled on the line: what is left of it goes, and the request is
            // asked once more. The line itself stays open.
            modbus_flush(m_context);
        } else {
            // A reset, a closed socket or an answer out of step: start over on a fresh
            // connection.
            Disconnect();
        }
    }
    Fail(DescribeCall(what, nDevice, nTable, nOffset, nCount) + " (register " + Hex(*address) +
         "): " + RequestFailure(error));
}

namespace {

// Reads exactly size bytes before the deadline (steady microseconds): 0, or an errno.
int ReadExactly(int fd, std::uint8_t* data, std::size_t size, std::int64_t deadlineUs) {
    std::size_t got = 0;
    while (got < size) {
        const std::int64_t leftUs = deadlineUs - SteadyMicros();
        if (leftUs <= 0) return ETIMEDOUT;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>((leftUs + 999) / 1000));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return polled == 0 ? ETIMEDOUT : errno;
        const ssize_t n = ::recv(fd, data + got, size - got, 0);
        if (n == 0) return ECONNRESET;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            return errno;
        }
        got += static_cast<std::size_t>(n);
    }
    return 0;
}

std::uint16_t WordAt(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

void PutWord(std::vector<std::uint8_t>& bytes, std::uint16_t word) {
    bytes.push_back(static_cast<std::uint8_t>(word >> 8));
    bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ModbusDevCom::TcpExchange(
    const std::vector<std::uint8_t>& pdu, std::size_t answerLength) {
    m_answerProblem.clear();
    const auto failed = [](int error) -> std::optional<std::vector<std::uint8_t>> {
        errno = error;
        return std::nullopt;
    };
    const auto wrong = [&](std::string problem) {
        m_answerProblem = std::move(problem);
        return failed(EMBBADDATA);
    };
    const int fd = modbus_get_socket(m_context);
    const std::uint16_t transaction = ++m_transaction;
    std::vector<std::uint8_t> adu;
    PutWord(adu, transaction);
    PutWord(adu, 0);
    PutWord(adu, static_cast<std::uint16_t>(pdu.size() + 1));
    adu.push_back(static_cast<std::uint8_t>(m_endpoint.unit));
    adu.insert(adu.end(), pdu.begin(), pdu.end());
    for (std::size_t sent = 0; sent < adu.size();) {
        const ssize_t n = ::send(fd, adu.data() + sent, adu.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return failed(errno);
        sent += static_cast<std::size_t>(n);
    }
    const std::int64_t deadlineUs = SteadyMicros() + m_timeoutMs * 1000;
    std::uint8_t header[7];  // transaction, protocol, length, unit
    if (const int error = ReadExactly(fd, header, sizeof header, deadlineUs)) return failed(error);
    const std::uint16_t length = WordAt(header + 4);
    if (WordAt(header) != transaction || WordAt(header + 2) != 0)
        return wrong("an answer out of step (transaction or protocol id)");
    // The length counts the unit and the PDU, which holds at most 253 bytes.
    if (length < 3 || length > 254)
        return wrong("an answer whose MBAP length field says " + std::to_string(length));
    std::vector<std::uint8_t> answer(length - 1u);
    if (const int error = ReadExactly(fd, answer.data(), answer.size(), deadlineUs))
        return failed(error);
    if (header[6] != m_endpoint.unit) {
        return wrong("an answer of unit " + std::to_string(header[6]) + ", not of unit " +
                     std::to_string(m_endpoint.unit));
    }
    if (answer[0] == (pdu[0] | 0x80) && answer.size() == 2)
        return failed(MODBUS_ENOBASE + answer[1]);
    if (answer[0] != pdu[0] || answer.size() != answerLength) {
        return wrong("an answer of " + std::to_string(answer.size()) + " bytes to function " +
                     std::to_string(pdu[0]) + ", which answers with " +
                     std::to_string(answerLength));
    }
    std::uint8_t extra = 0;
    if (::recv(fd, &extra, 1, MSG_PEEK | MSG_DONTWAIT) > 0)
        return wrong("bytes after the answer that belong to no answer");
    return answer;
}

int ModbusDevCom::TcpReadRegisters(std::uint16_t address, std::int32_t nCount,
                                   std::uint16_t* pData) {
    std::vector<std::uint8_t> pdu{MODBUS_FC_READ_HOLDING_REGISTERS};
    PutWord(pdu, address);
    PutWord(pdu, static_cast<std::uint16_t>(nCount));
    const auto bytes = static_cast<std::size_t>(2 * nCount);
    const auto answer = TcpExchange(pdu, 2 + bytes);
    if (!answer) return -1;
    if ((*answer)[1] != bytes) {
        m_answerProblem = "an answer whose byte count does not match the words asked for";
        errno = EMBBADDATA;
        return -1;
    }
    for (std::int32_t i = 0; i < nCount; ++i)
        pData[i] = WordAt(answer->data() + 2 + 2 * static_cast<std::size_t>(i));
    return nCount;
}

int ModbusDevCom::TcpWriteRegisters(std::uint16_t address, std::int32_t nCount,
                                    const std::uint16_t* pData) {
    std::vector<std::uint8_t> pdu{MODBUS_FC_WRITE_MULTIPLE_REGISTERS};
    PutWord(pdu, address);
    PutWord(pdu, static_cast<std::uint16_t>(nCount));
    pdu.push_back(static_cast<std::uint8_t>(2 * nCount));
    for (std::int32_t i = 0; i < nCount; ++i) PutWord(pdu, pData[i]);
    const auto answer = TcpExchange(pdu, 5);
    if (!answer) return -1;
    if (!std::equal(answer->begin(), answer->end(), pdu.begin())) {
        m_answerProblem = "an answer that does not repeat the address and count written";
        errno = EMBBADDATA;
        return -1;
    }
    return nCount;
}

void ModbusDevCom::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                             std::int32_t nCount, std::uint16_t* pData) {
    Transfer("read", nDevice, nTable, nOffset, nCount, [&](std::uint16_t address) {
        if (!m_serial) return TcpReadRegisters(address, nCount, pData);
        return modbus_read_registers(m_context, address, nCount, pData);
    });
}

void ModbusDevCom::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                              std::int32_t nCount, const std::uint16_t* pData) {
    Transfer("write", nDevice, nTable, nOffset, nCount, [&](std::uint16_t address) {
        if (!m_serial) return TcpWriteRegisters(address, nCount, pData);
        return modbus_write_registers(m_context, address, nCount, pData);
    });
}

}  // namespace zd
