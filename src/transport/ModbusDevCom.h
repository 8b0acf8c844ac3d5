// The device-communication object over Modbus TCP or Modbus RTU (a serial line): the real wire to
// a terminal's fieldbus coupler or to zd4270-sim. Also the one place that says how
// ReadTable/WriteTable calls become holding registers, shared by the client here and the
// simulator's server.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/DevCom.h"

struct _modbus;

namespace zd {

// The register mapping. Holding registers only, at the unit identifier the endpoint names (1
// unless told otherwise): reads are function 3 (read
// holding registers), writes function 16 (write multiple registers). The 16-bit register address
// of (nDevice, nTable, nOffset) is
//
//   nDevice 0, process-image table T (0..15) or the watchdog table 99, word W (0..255):
//       address = T * 0x100 + W                   -> 0x0000..0x0FFF and 0x6300..0x63FF
//   nDevice P = terminal position 1..63, register table 0, register R (0..63):
//       address = 0x8000 + P * 0x100 + R          -> 0x8100..0xBF3F
//
// Bit 15 tells the two kinds apart, so no two calls share an address; the high byte is the table
// (or 0x80 + position) and the low byte the word, which keeps a register dump readable. A call
// covers 1 to kModbusMaxWords words and never runs past the end of its table (256 words, or 64
// registers); anything else has no address and is refused before it reaches the wire.
inline constexpr int kModbusDefaultUnit = 1;
// The unit identifiers a server may be addressed by (0 is broadcast, which gets no answer).
inline constexpr int kModbusMinUnit = 1;
inline constexpr int kModbusMaxUnit = 247;
inline constexpr std::int32_t kModbusMaxWords = 123;  // the limit of one function 16 request
inline constexpr std::int32_t kModbusImageTables = 16;
inline constexpr std::int32_t kModbusWatchdogTable = 99;
inline constexpr std::int32_t kModbusTableWords = 256;
inline constexpr std::int32_t kModbusMaxPosition = 63;
inline constexpr std::int32_t kModbusRegisterWords = 64;
inline constexpr std::uint16_t kModbusRegisterBase = 0x8000;
inline constexpr std::uint16_t kModbusDefaultPort = 1502;

// The mapping in one line, for a program to print.
inline constexpr const char* kModbusMappingText =
    "holding registers (read 3, write 16): device 0 table T (0-15, 99) word W at "
    "T*0x100+W; position P (1-63) register R at 0x8000+P*0x100+R";

struct TableAddress {
    std::int32_t nDevice = 0;
    std::int32_t nTable = 0;
    std::int32_t nOffset = 0;
};

// The first register of a call, or none when the call does not fit the mapping.
std::optional<std::uint16_t> ModbusRegisterAddress(std::int32_t nDevice, std::int32_t nTable,
                                                   std::int32_t nOffset, std::int32_t nCount);
// The call behind a request for nCount registers from address, or none.
std::optional<TableAddress> TableAddressOfRegister(std::uint16_t address, std::int32_t nCount);

// Where a Modbus TCP peer listens, and the unit behind it that answers. Only dotted IPv4 hosts
// ("localhost" stands for 127.0.0.1).
struct ModbusEndpoint {
    std::string host = "127.0.0.1";
    std::uint16_t port = kModbusDefaultPort;
    int unit = kModbusDefaultUnit;
    // The text named the unit ("/UNIT"); a server then answers that unit only, otherwise also
    // units 0 and 255, which clients send to a server they reach by its address.
    bool unitGiven = false;

    // "HOST:PORT", or "HOST:PORT/UNIT" for any unit but 1.
    std::string Text() const;
};

// Parses "HOST:PORT" (unit 1) or "HOST:PORT/UNIT" (unit 1 to 247). Throws ControlError
// (kErrDevCom) naming the text and what is wrong with it.
ModbusEndpoint ParseModbusEndpoint(std::string_view text);

// A Modbus RTU line: the serial device, its settings (8 data bits always) and the unit that
// answers on it.
struct ModbusSerialLine {
    std::string device;
    int baud = 19200;
    char parity = 'E';  // 'N', 'E' or 'O'
    int stopBits = 1;
    int unit = kModbusDefaultUnit;

    // "DEVICE:BAUD:PARITY:STOP", with "/UNIT" for any unit but 1: what ParseModbusSerialLine
    // reads back.
    std::string Text() const;
    // "19200 8E1".
    std::string Settings() const;
    // "unit 3 on /dev/ttyUSB0 at 19200 8E1".
    std::string Where() const;
    // The time of one character on the wire (start, 8 data, parity, stop bits), in microseconds.
    std::int64_t CharacterMicros() const;
};

// The baud rates a serial line may be given (those every Linux serial driver knows).
inline constexpr int kModbusBaudRates[] = {1200,  2400,   4800,   9600,   19200, 38400,
                                           57600, 115200, 230400, 460800, 921600};

// Parses "DEVICE[:BAUD[:PARITY[:STOP]]][/UNIT]": BAUD one of kModbusBaudRates (default 19200),
// PARITY N, E or O (default E), STOP 1 or 2 (default 1), UNIT 1 to 247 (default 1). The device
// ends at its first ':'; a device whose name holds one is given in brackets ("[DEVICE]:...").
// Throws ControlError (kErrDevCom) naming the text and what is wrong with it.
ModbusSerialLine ParseModbusSerialLine(std::string_view text);

class ModbusDevCom : public DevCom {
  public:
    // How long a connect or a request may take before it counts as failed.
    static constexpr std::int64_t kDefaultTimeoutMs = 1000;

    // Connects at once, so that a wrong address or a missing server shows up before the control
    // starts. Throws ControlError "Modbus TCP HOST:PORT: <reason>" with kErrDevCom.
    explicit ModbusDevCom(const ModbusEndpoint& endpoint,
                          std::int64_t timeoutMs = kDefaultTimeoutMs);
    // Opens the serial device at once, for this program alone (a second client on the line would
    // garble both): "Modbus RTU: DEVICE (SETTINGS) cannot be opened: <reason>" with kErrDevCom.
    // A request waits timeoutMs for the unit plus the time two of the longest frames take at the
    // line's baud rate; the characters of one answer may be apart by 10 character times (at least
    // 100 ms, for the latency of USB adapters); requests are apart by at least the 3.5 character
    // times of silence that end a frame.
    explicit ModbusDevCom(const ModbusSerialLine& line, std::int64_t timeoutMs = kDefaultTimeoutMs);
    ~ModbusDevCom() override;
    ModbusDevCom(const ModbusDevCom&) = delete;
    ModbusDevCom& operator=(const ModbusDevCom&) = delete;

    // A call outside the mapping is refused without touching the wire. A broken connection is
    // reopened once and the request repeated once; an exception answer of the server is final.
    // Every failure throws ControlError with kErrDevCom.
    void ReadTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                   std::int32_t nCount, std::uint16_t* pData) override;
    void WriteTable(std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                    std::int32_t nCount, const std::uint16_t* pData) override;

    const ModbusEndpoint& Endpoint() const { return m_endpoint; }
    // Set for a Modbus RTU line.
    const std::optional<ModbusSerialLine>& SerialLine() const { return m_serial; }
    // How long a request may wait for its answer, in milliseconds.
    std::int64_t ResponseTimeoutMs() const;
    bool Connected() const { return m_connected; }
    // How often a broken connection was reopened.
    std::int64_t Reconnects() const { return m_reconnects; }

  private:
    template <class Request>
    void Transfer(const char* what, std::int32_t nDevice, std::int32_t nTable, std::int32_t nOffset,
                  std::int32_t nCount, Request&& request);
    // Returns errno of the failed connect, or 0.
    int Connect();
    void Disconnect();
    [[noreturn]] void Fail(const std::string& reason) const;
    // The reason of a failed request, in words.
    std::string RequestFailure(int error) const;
    // Keeps the silence between two frames of a serial line.
    void AwaitSilence();
    // One request over Modbus TCP and its answer, read whole and checked: the MBAP header (the
    // transaction, protocol 0, a length that a PDU can have), the unit asked, and a PDU of
    // exactly the answer's size (answerLength) with nothing after it. Returns the answer PDU, or
    // none with errno set (an exception answer as libmodbus sets it) and m_answerProblem saying
    // what was wrong with an answer that came.
    std::optional<std::vector<std::uint8_t>> TcpExchange(const std::vector<std::uint8_t>& pdu,
                                                         std::size_t answerLength);
    int TcpReadRegisters(std::uint16_t address, std::int32_t nCount, std::uint16_t* pData);
    int TcpWriteRegisters(std::uint16_t address, std::int32_t nCount, const std::uint16_t* pData);

    ModbusEndpoint m_endpoint;
    std::optional<ModbusSerialLine> m_serial;
    // The end of the last frame on a serial line.
    std::int64_t m_lastFrameEndUs = 0;
    std::int64_t m_timeoutMs;
    _modbus* m_context = nullptr;
    bool m_connected = false;
    std::int64_t m_reconnects = 0;
    std::uint16_t m_transaction = 0;
    std::string m_answerProblem;
};

// Opens the terminal a connection names: on the serial line serial when it is given, else at the
// Modbus TCP address tcp. Both are parsed here; throws ControlError as the constructors do.
std::shared_ptr<ModbusDevCom> OpenModbusDevCom(const std::string& tcp, const std::string& serial);

}  // namespace zd
