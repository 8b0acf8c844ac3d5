#include "host/ModbusDevCom.h"

#include <arpa/inet.h>
#include <modbus.h>

#include <cerrno>
#include <charconv>
#include <cstdio>

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
    throw ControlError("Modbus TCP " + m_endpoint.Text() + ": " + reason, kLibraryTitle,
                       kErrDevCom);
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
        if (request(*address) == nCount) return;
        error = errno;
        if (ExceptionAnswer(error)) break;
        // A reset, a closed socket or an answer out of step: start over on a fresh connection.
        Disconnect();
    }
    // A gateway, or zd4270-sim, answers 0B for a unit it does not serve: the address is right but
    // the unit is not, which the raw text does not say.
    const std::string reason =
        error == EMBXGTAR
            ? "no unit " + std::to_string(m_endpoint.unit) +
                  " answers there (exception 0B, gateway target device failed to respond); "
                  "check the unit"
            : FailureText(error, m_timeoutMs);
    Fail(DescribeCall(what, nDevice, nTable, nOffset, nCount) + " (register " + Hex(*address) +
         "): " + reason);
}

void ModbusDevCom::ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                             std::int32_t nCount, std::uint16_t* pData) {
    Transfer("read", nDevice, nTable, nOffset, nCount, [&](std::uint16_t address) {
        return modbus_read_registers(m_context, address, nCount, pData);
    });
}

void ModbusDevCom::WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                              std::int32_t nCount, const std::uint16_t* pData) {
    Transfer("write", nDevice, nTable, nOffset, nCount, [&](std::uint16_t address) {
        return modbus_write_registers(m_context, address, nCount, pData);
    });
}

}  // namespace zd
