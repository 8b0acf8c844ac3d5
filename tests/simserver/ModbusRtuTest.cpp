// Modbus RTU as the wire: the serial line's text, the simulator's answer to RTU frames (the same
// PDUs as over TCP, with their CRC; silence where a serial line asks for it), and the client's
// errors on a pseudo-terminal that nobody answers on: each names the device and its settings.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/Error.h"
#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"
#include "simserver/ModbusRequestHandler.h"
#include "simserver/ModbusRtuServer.h"
#include "support/TestContext.h"
#include "transport/ModbusDevCom.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::ErrorOf;

TEST(ModbusSerialLineTest, DefaultsTextAndEveryMistakeNamed) {
    for (const auto& [text, back, where] : {
             std::tuple{"/dev/ttyUSB0", "/dev/ttyUSB0:19200:E:1",
                        "unit 1 on /dev/ttyUSB0 at 19200 8E1"},
             std::tuple{"/dev/ttyUSB0/3", "/dev/ttyUSB0:19200:E:1/3",
                        "unit 3 on /dev/ttyUSB0 at 19200 8E1"},
             std::tuple{"/dev/ttyS1:9600:n:2/247", "/dev/ttyS1:9600:N:2/247",
                        "unit 247 on /dev/ttyS1 at 9600 8N2"},
             std::tuple{"/dev/serial/by-id/usb-FTDI-if00:115200:O",
                        "/dev/serial/by-id/usb-FTDI-if00:115200:O:1",
                        "unit 1 on /dev/serial/by-id/usb-FTDI-if00 at 115200 8O1"},
             std::tuple{"[/dev/serial/by-path/pci-0:1.0-port0]:9600/2",
                        "[/dev/serial/by-path/pci-0:1.0-port0]:9600:E:1/2",
                        "unit 2 on /dev/serial/by-path/pci-0:1.0-port0 at 9600 8E1"},
             std::tuple{"[/dev/tty:x]/4", "[/dev/tty:x]:19200:E:1/4",
                        "unit 4 on /dev/tty:x at 19200 8E1"},
         }) {
        const ModbusSerialLine line = ParseModbusSerialLine(text);
        EXPECT_EQ(line.Text(), back);
        EXPECT_EQ(line.Where(), where);
        EXPECT_EQ(ParseModbusSerialLine(line.Text()).Text(), back);
    }
    // 11 bits a character with parity, 10 without.
    EXPECT_EQ(ParseModbusSerialLine("/dev/x:9600:E:1").CharacterMicros(), 1146);
    EXPECT_EQ(ParseModbusSerialLine("/dev/x:9600:N:1").CharacterMicros(), 1042);

    for (const auto& [bad, why] : {
             std::pair{"", "no device"},
             std::pair{":9600", "no device"},
             std::pair{"/dev/ttyUSB0:", "the baud rate is not one of"},
             std::pair{"/dev/ttyUSB0:19200x", "the baud rate is not one of"},
             std::pair{"/dev/ttyUSB0:14400", "the baud rate is not one of"},
             std::pair{"/dev/ttyUSB0:19200:M", "the parity is not N, E or O"},
             std::pair{"/dev/ttyUSB0:19200:EE", "the parity is not N, E or O"},
             std::pair{"/dev/ttyUSB0:19200:E:0", "the stop bits are not 1 or 2"},
             std::pair{"/dev/ttyUSB0:19200:E:1:8", "more than baud rate, parity and stop bits"},
             std::pair{"/dev/ttyUSB0/0", "the unit is not a number from 1 to 247"},
             std::pair{"/dev/ttyUSB0/", "the unit is not a number from 1 to 247"},
             std::pair{"/dev/ttyUSB0:19200/3x", "the unit is not a number from 1 to 247"},
             std::pair{"[/dev/a:b:19200", "no ']' after the device"},
             std::pair{"[/dev/a:b]19200", "':' or '/' must follow the device's ']'"},
             std::pair{"[]:19200", "no device"},
         }) {
        const auto error = test::Thrown([bad = bad] { ParseModbusSerialLine(bad); });
        ASSERT_TRUE(error) << bad << " was accepted";
        EXPECT_NE(error->Description().find(std::string("\"") + bad + "\": " + why),
                  std::string::npos)
            << error->Description();
        EXPECT_EQ(error->Number(), kErrDevCom);
    }
}

Bytes WithCrc(Bytes frame) {
    const std::uint16_t crc = ModbusCrc(frame);
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    return frame;
}

TEST(ModbusRtuFrameTest, TheUnitAnswersAsOverTcpAndOnlyWhereTheLineAsksForIt) {
    // The checksum every Modbus text shows for a read of register 0 at unit 1.
    EXPECT_EQ(WithCrc({0x01, 0x03, 0x00, 0x00, 0x00, 0x01}),
              (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));

    VirtualScheduler clock;
    // Packed placement: input table 0, output table 1; registers at position 1.
    SimDevCom devCom(std::make_shared<sim::Terminal>(clock, sim::TerminalConfig{}));
    ModbusRequestHandler handler(devCom, 3, true);
    ModbusRequestHandler tcp(devCom, 3, true);

    // A read: the same PDU as over TCP, behind the unit and before the CRC.
    const Bytes read = WithCrc({0x03, 0x03, 0x81, 0x09, 0x00, 0x02});
    const ModbusReply answer = handler.HandleRtu(read);
    EXPECT_EQ(answer.refusal, "");
    const ModbusReply overTcp =
        tcp.Handle(Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x03, 0x03, 0x81, 0x09, 0x00, 0x02});
    ASSERT_EQ(answer.bytes.size(), overTcp.bytes.size() - 7 + 1 + 2);
    EXPECT_EQ(Bytes(answer.bytes.begin(), answer.bytes.end() - 2),
              Bytes(overTcp.bytes.begin() + 6, overTcp.bytes.end()));
    EXPECT_EQ(WithCrc(Bytes(answer.bytes.begin(), answer.bytes.end() - 2)), answer.bytes);

    // An unmapped register: exception 02, with its CRC.
    const ModbusReply refused = handler.HandleRtu(WithCrc({0x03, 0x03, 0x40, 0x00, 0x00, 0x01}));
    EXPECT_EQ(refused.bytes, WithCrc({0x03, 0x83, 0x02}));
    EXPECT_NE(refused.refusal.find("not mapped"), std::string::npos);

    // A broadcast write is carried out and not answered; a broadcast read is not answered either.
    const ModbusReply broadcast =
        handler.HandleRtu(WithCrc({0x00, 0x10, 0x01, 0x00, 0x00, 0x01, 0x02, 0x12, 0x34}));
    EXPECT_TRUE(broadcast.bytes.empty());
    EXPECT_EQ(broadcast.refusal, "");
    std::uint16_t word = 0;
    devCom.ReadTable(0, 1, 0, 1, &word);
    EXPECT_EQ(word, 0x1234);
    EXPECT_TRUE(handler.HandleRtu(WithCrc({0x00, 0x03, 0x00, 0x00, 0x00, 0x01})).bytes.empty());

    // Silence: another unit (no exception 0B on a serial line), 255, a wrong CRC, a stub.
    Bytes garbled = read;
    garbled[3] ^= 0x01;
    for (const Bytes& frame :
         {WithCrc({0x02, 0x03, 0x00, 0x00, 0x00, 0x01}),
          WithCrc({0xFF, 0x03, 0x00, 0x00, 0x00, 0x01}), garbled, Bytes{0x03, 0x03, 0x00}}) {
        const ModbusReply silent = handler.HandleRtu(frame);
        EXPECT_TRUE(silent.bytes.empty() && !silent.close) << frame.size();
    }
    EXPECT_NE(handler.HandleRtu(garbled).refusal.find("CRC"), std::string::npos);
}

// The far end of a pseudo-terminal that never answers.
class DeafLine {
  public:
    DeafLine() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_device = ::ptsname(m_master);
    }
    ~DeafLine() {
        if (m_master >= 0) ::close(m_master);
    }
    const std::string& Device() const { return m_device; }
    int Master() const { return m_master; }

  private:
    int m_master = -1;
    std::string m_device;
};

TEST(ModbusRtuClientTest, ErrorsNameTheDeviceAndItsSettings) {
    const std::string missing = ErrorOf(
        [] { ModbusDevCom devCom(ParseModbusSerialLine("/dev/zd4270-no-such-line:9600:N:2")); });
    EXPECT_NE(missing.find("Modbus RTU: /dev/zd4270-no-such-line (9600 8N2) cannot be opened: No "
                           "such file or directory"),
              std::string::npos)
        << missing;

    DeafLine deaf;
    ASSERT_FALSE(deaf.Device().empty());
    // A pseudo-terminal keeps no parity bit (asked for one, the second open fails): 8N1.
    ModbusSerialLine line = ParseModbusSerialLine(deaf.Device() + ":115200:N/3");
    ModbusDevCom devCom(line, 20);
    EXPECT_EQ(devCom.ResponseTimeoutMs(), 20 + 45);  // two frames of 256 characters of 87 us
    std::uint16_t word = 0;
    const std::string unanswered = ErrorOf([&] { devCom.ReadTable(0, 0, 0, 1, &word); });
    EXPECT_NE(unanswered.find("Modbus RTU: read of device 0 table 0 offset 0 count 1 (register "
                              "0x0000): no answer from unit 3 on " +
                              deaf.Device() + " at 115200 8N1 within 65 ms"),
              std::string::npos)
        << unanswered;

    // One client on a line at a time.
    const std::string busy = ErrorOf([&] { ModbusDevCom second(line); });
    EXPECT_NE(busy.find("Modbus RTU: " + deaf.Device() +
                        " (115200 8N1) cannot be opened: another program uses it"),
              std::string::npos)
        << busy;
}

// Requests to other units, a broadcast and garbage on the line: each is passed over, and the next
// request to this unit is answered whatever came before it.
TEST(ModbusRtuServerTest, TheUnitAnswersAfterRequestsToOtherUnits) {
    DeafLine client;
    ASSERT_FALSE(client.Device().empty());
    VirtualScheduler clock;
    ModbusRtuSimServer server(
        std::make_shared<SimDevCom>(std::make_shared<sim::Terminal>(clock, sim::TerminalConfig{})),
        ParseModbusSerialLine(client.Device() + ":115200:N/5"));
    std::atomic<bool> stop{false};
    std::thread serving([&] {
        while (!stop) server.Step(20);
    });
    const auto answerTo = [&](const Bytes& request) {
        EXPECT_EQ(::write(client.Master(), request.data(), request.size()),
                  static_cast<ssize_t>(request.size()));
        Bytes answer;
        pollfd ready{client.Master(), POLLIN, 0};
        // The answer is 5 + 4 bytes; the wait ends early once it is there.
        while (answer.size() < 9 && ::poll(&ready, 1, 2000) > 0) {
            std::uint8_t chunk[64];
            const ssize_t got = ::read(client.Master(), chunk, sizeof chunk);
            if (got <= 0) break;
            answer.insert(answer.end(), chunk, chunk + got);
        }
        return answer;
    };
    const Bytes own = WithCrc({0x05, 0x03, 0x81, 0x09, 0x00, 0x02});
    for (const Bytes& before : {WithCrc({0x02, 0x03, 0x00, 0x00, 0x00, 0x01}),
                                WithCrc({0xF7, 0x03, 0x00, 0x00, 0x00, 0x01}),
                                WithCrc({0xFF, 0x10, 0x00, 0x00, 0x00, 0x01, 0x02, 0x12, 0x34}),
                                WithCrc({0x02, 0x03, 0x02, 0x12, 0x34}),
                                WithCrc({0x00, 0x10, 0x81, 0x00, 0x00, 0x01, 0x02, 0x00, 0x00})}) {
        EXPECT_EQ(::write(client.Master(), before.data(), before.size()),
                  static_cast<ssize_t>(before.size()));
        const Bytes answer = answerTo(own);
        ASSERT_EQ(answer.size(), 9u) << "after a frame to unit " << int(before[0]);
        EXPECT_EQ(answer[0], 0x05);
        EXPECT_EQ(answer[1], 0x03);
    }
    EXPECT_EQ(server.Dropped(), 0);

    // A garbled frame, then at once a request: the request is answered on its own. A function the
    // unit does not know is answered with exception 01 (illegal function) without delay.
    Bytes garbled = WithCrc({0x05, 0x03, 0x81, 0x09, 0x00, 0x02});
    garbled.back() ^= 0xFF;
    EXPECT_EQ(::write(client.Master(), garbled.data(), garbled.size()),
              static_cast<ssize_t>(garbled.size()));
    const Bytes afterGarbled = answerTo(own);
    ASSERT_EQ(afterGarbled.size(), 9u);
    EXPECT_EQ(afterGarbled[1], 0x03);
    const Bytes unknown = WithCrc({0x05, 0x2B, 0x0E, 0x01, 0x00});
    EXPECT_EQ(::write(client.Master(), unknown.data(), unknown.size()),
              static_cast<ssize_t>(unknown.size()));
    Bytes exception;
    pollfd ready{client.Master(), POLLIN, 0};
    while (exception.size() < 5 && ::poll(&ready, 1, 50) > 0) {
        std::uint8_t chunk[64];
        const ssize_t got = ::read(client.Master(), chunk, sizeof chunk);
        if (got <= 0) break;
        exception.insert(exception.end(), chunk, chunk + got);
    }
    ASSERT_EQ(exception.size(), 5u);
    EXPECT_EQ(exception[1], 0xAB);
    EXPECT_EQ(exception[2], 0x01);
    stop = true;
    serving.join();
}

}  // namespace
}  // namespace zd
