// Modbus TCP as the wire: the register mapping, the simulator's server's answer to each kind of
// request (without sockets), and on loopback a DALI query end to end through the client, that a
// client sending half a frame or nothing at all holds up no one else, that a newcomer takes the
// longest silent place and that broken framing closes the connection. The client timeouts run on
// the test's clock; every wait is bounded.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <bitset>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>

#include "link/Link.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/RealScheduler.h"
#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"
#include "simserver/ModbusRequestHandler.h"
#include "simserver/ModbusSimServer.h"
#include "support/TestContext.h"
#include "transport/ModbusDevCom.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using Bytes = std::vector<std::uint8_t>;

using test::ErrorOf;

TEST(ModbusMappingTest, EveryWordHasItsOwnRegisterAndNothingElseHasOne) {
    std::bitset<0x10000> used;
    auto check = [&](std::int32_t device, std::int32_t table, std::int32_t offset) {
        const std::optional<std::uint16_t> address =
            ModbusRegisterAddress(device, table, offset, 1);
        ASSERT_TRUE(address) << device << "/" << table << "/" << offset;
        EXPECT_FALSE(used[*address]) << "register " << *address << " used twice";
        used.set(*address);
        const std::optional<TableAddress> back = TableAddressOfRegister(*address, 1);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->nDevice, device);
        EXPECT_EQ(back->nTable, table);
        EXPECT_EQ(back->nOffset, offset);
    };
    for (std::int32_t offset = 0; offset < 256; ++offset) {
        for (std::int32_t table = 0; table < 16; ++table) check(0, table, offset);
        check(0, 99, offset);
    }
    for (std::int32_t position = 1; position <= 63; ++position) {
        for (std::int32_t reg = 0; reg < 64; ++reg) check(position, 0, reg);
    }
    EXPECT_EQ(used.count(), 17u * 256 + 63 * 64);
    // Every other register is unmapped for the server, too.
    for (std::uint32_t address = 0; address < 0x10000; ++address) {
        if (!used[address]) {
            EXPECT_FALSE(TableAddressOfRegister(static_cast<std::uint16_t>(address), 1)) << address;
        }
    }

    EXPECT_FALSE(ModbusRegisterAddress(0, 16, 0, 1));
    EXPECT_FALSE(ModbusRegisterAddress(0, 1, 255, 2));  // runs past the table's end
    EXPECT_FALSE(ModbusRegisterAddress(1, 0, 62, 3));   // past register 63
    EXPECT_FALSE(ModbusRegisterAddress(64, 0, 0, 1));
    EXPECT_FALSE(ModbusRegisterAddress(0, 1, 0, kModbusMaxWords + 1));
    EXPECT_FALSE(TableAddressOfRegister(0x80FF, 1));  // position 0 is the process image
}

TEST(ModbusMappingTest, EndpointText) {
    for (const auto& [text, unit, back] :
         {std::tuple{"localhost:502", 1, "127.0.0.1:502"},
          std::tuple{"10.0.0.2:502/1", 1, "10.0.0.2:502"},
          std::tuple{"10.0.0.2:502/247", 247, "10.0.0.2:502/247"}}) {
        const ModbusEndpoint endpoint = ParseModbusEndpoint(text);
        EXPECT_EQ(endpoint.unit, unit);
        EXPECT_EQ(endpoint.unitGiven, std::string(text).find('/') != std::string::npos);
        EXPECT_EQ(endpoint.Text(), back);
    }
    for (const char* bad :
         {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:15x", "plc.example:1502",
          "127.0.0.1:502/0", "127.0.0.1:502/248", "127.0.0.1:502/", "127.0.0.1:502/x"}) {
        const auto error = test::Thrown([bad] { ParseModbusEndpoint(bad); });
        ASSERT_TRUE(error) << bad << " was accepted";
        EXPECT_NE(error->Description().find(bad), std::string::npos) << error->Description();
        EXPECT_EQ(error->Number(), kErrDevCom);
    }
}

// An ADU with transaction id 0x1234: the MBAP header (length from the PDU unless given), unit, PDU.
Bytes Adu(Bytes pdu, std::uint8_t unit = 1, std::uint16_t protocol = 0,
          std::optional<std::uint16_t> length = std::nullopt) {
    const std::uint16_t field = length.value_or(static_cast<std::uint16_t>(pdu.size() + 1));
    Bytes adu(7 + pdu.size());
    adu[0] = 0x12;
    adu[1] = 0x34;
    adu[2] = static_cast<std::uint8_t>(protocol >> 8);
    adu[3] = static_cast<std::uint8_t>(protocol);
    adu[4] = static_cast<std::uint8_t>(field >> 8);
    adu[5] = static_cast<std::uint8_t>(field);
    adu[6] = unit;
    for (std::size_t i = 0; i < pdu.size(); ++i) adu[7 + i] = pdu[i];
    return adu;
}

Bytes Read(std::uint16_t address, std::uint16_t count) {
    return {0x03, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(count >> 8), static_cast<std::uint8_t>(count)};
}

Bytes Write(std::uint16_t address, std::uint16_t count,
            std::optional<std::uint8_t> byteCount = {}) {
    Bytes pdu(6 + 2 * std::size_t{count}, 0x00);
    pdu[0] = 0x10;
    pdu[1] = static_cast<std::uint8_t>(address >> 8);
    pdu[2] = static_cast<std::uint8_t>(address);
    pdu[3] = static_cast<std::uint8_t>(count >> 8);
    pdu[4] = static_cast<std::uint8_t>(count);
    pdu[5] = byteCount.value_or(static_cast<std::uint8_t>(2 * count));
    return pdu;
}

Bytes Plus(Bytes bytes, std::uint8_t extra) {
    bytes.push_back(extra);
    return bytes;
}

// Expected: "close", "ok" or the exception code.
constexpr int kClose = -1;
constexpr int kServed = 0;

TEST(ModbusRequestHandlerTest, EachRequestGetsItsAnswerExceptionOrClose) {
    VirtualScheduler clock;
    // Packed placement: input table 0, output table 1; registers at position 1.
    SimDevCom devCom(std::make_shared<sim::Terminal>(clock, sim::TerminalConfig{}));
    ModbusRequestHandler handler(devCom);
    const struct {
        const char* what;
        Bytes adu;
        int expected;
    } cases[] = {
        {"read of the input table", Adu(Read(0x0000, 2)), kServed},
        {"read of 123 registers", Adu(Read(0x0100, 123)), kServed},
        {"read of 125 registers: no call of the mapping", Adu(Read(0x0100, 125)), 0x02},
        {"read of the firmware register", Adu(Read(0x8109, 1)), kServed},
        {"write of the output words", Adu(Write(0x0100, 2)), kServed},
        {"read of no register", Adu(Read(0x0000, 0)), 0x03},
        {"read of 126 registers", Adu(Read(0x0000, 126)), 0x03},
        {"read with a byte too many", Adu(Plus(Read(0x0000, 1), 0)), 0x03},
        {"read too short", Adu({0x03, 0x00, 0x00}), 0x03},
        {"write of 124 registers", Adu(Write(0x0100, 124)), 0x03},
        {"write whose byte count disagrees", Adu(Write(0x0100, 2, 2)), 0x03},
        {"write with a byte too many", Adu(Plus(Write(0x0100, 1), 0)), 0x03},
        {"read past the table's end", Adu(Read(0x01FF, 2)), 0x02},
        {"read of an unmapped register", Adu(Read(0x4000, 1)), 0x02},
        {"read of a table the terminal lacks", Adu(Read(0x0500, 1)), 0x02},
        {"write of the terminal's input words", Adu(Write(0x0000, 1)), 0x02},
        {"read of another position", Adu(Read(0x8509, 1)), 0x02},
        {"function 5", Adu({0x05, 0x00, 0x00, 0xFF, 0x00}), 0x01},
        {"function 0x83", Adu({0x83, 0x00, 0x00, 0x00, 0x01}), 0x01},
        {"unit 2", Adu(Read(0x0000, 1), 2), 0x0B},
        {"unit 0, as a client reaching the server by its address sends", Adu(Read(0x0000, 1), 0),
         kServed},
        {"unit 255, likewise", Adu(Read(0x0000, 1), 255), kServed},
        {"protocol id 1", Adu(Read(0x0000, 1), 1, 1), kClose},
        {"length field too long", Adu(Read(0x0000, 1), 1, 0, 9), kClose},
        {"length field too short", Adu(Read(0x0000, 1), 1, 0, 5), kClose},
        {"no function code", Adu({}), kClose},
    };
    // A unit chosen on purpose is the only one answered.
    ModbusRequestHandler chosen(devCom, 1, true);
    for (std::uint8_t unit : std::initializer_list<std::uint8_t>{0, 255})
        EXPECT_EQ(chosen.Handle(Adu(Read(0x0000, 1), unit)).bytes.at(8), 0x0B) << int{unit};
    for (const auto& c : cases) {
        const ModbusReply reply = handler.Handle(c.adu);
        if (c.expected == kClose) {
            EXPECT_TRUE(reply.close && reply.bytes.empty()) << c.what;
            continue;
        }
        ASSERT_FALSE(reply.close) << c.what << ": " << reply.refusal;
        ASSERT_GE(reply.bytes.size(), 9u) << c.what;
        // Transaction, protocol and unit id echoed; the length field covers what follows.
        EXPECT_EQ(Bytes(reply.bytes.begin(), reply.bytes.begin() + 4),
                  Bytes(c.adu.begin(), c.adu.begin() + 4))
            << c.what;
        EXPECT_EQ(reply.bytes[6], c.adu[6]) << c.what;
        EXPECT_EQ((reply.bytes[4] << 8) + reply.bytes[5], static_cast<int>(reply.bytes.size()) - 6)
            << c.what;
        if (c.expected == kServed) {
            EXPECT_EQ(reply.bytes[7], c.adu[7]) << c.what << ": " << reply.refusal;
            const std::size_t count = (c.adu[10] << 8) + c.adu[11];
            const std::size_t size = c.adu[7] == 0x03 ? 9 + 2 * count : 12;
            EXPECT_EQ(reply.bytes.size(), size) << c.what;
        } else {
            EXPECT_EQ(reply.bytes.size(), 9u) << c.what;
            EXPECT_EQ(reply.bytes[7], c.adu[7] | 0x80) << c.what;
            EXPECT_EQ(reply.bytes[8], c.expected) << c.what << ": " << reply.refusal;
        }
    }
}

TEST(ModbusRequestHandlerTest, FrameLengthFromTheStreamsHeader) {
    const Bytes frame = Adu(Read(0x0000, 1));
    EXPECT_EQ(ModbusFrameLength(frame), 12);
    EXPECT_EQ(ModbusFrameLength(Plus(frame, 0x12)), 12);  // the next frame's first byte
    EXPECT_EQ(ModbusFrameLength(Bytes(frame.begin(), frame.begin() + 11)), 0);
    EXPECT_EQ(ModbusFrameLength(Bytes(frame.begin(), frame.begin() + 3)), 0);
    EXPECT_EQ(ModbusFrameLength(Bytes{0x00, 0x01, 0x00, 0x02}), -1);  // protocol id 2
    EXPECT_EQ(ModbusFrameLength(Adu({}, 1, 0, 1)), -1);
    EXPECT_EQ(ModbusFrameLength(Adu({}, 1, 0, kMbapMaxLength + 1)), -1);
    EXPECT_EQ(ModbusFrameLength(Adu(Write(0x0100, 124))), 6 + 255);
}

// A raw loopback client whose every receive gives up after the deadline.
class RawClient {
  public:
    RawClient(std::uint16_t port, int deadlineMs = 10'000) {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        timeval timeout{deadlineMs / 1000, (deadlineMs % 1000) * 1000};
        ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected =
            ::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(m_socket); }
    bool Connected() const { return m_connected; }
    void Send(const Bytes& bytes) { ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // The next n bytes, or fewer when the connection closes or the deadline passes.
    Bytes Receive(std::size_t n) {
        Bytes bytes(n);
        std::size_t got = 0;
        while (got < n) {
            const ssize_t part = ::recv(m_socket, bytes.data() + got, n - got, 0);
            if (part <= 0) break;
            got += static_cast<std::size_t>(part);
        }
        bytes.resize(got);
        return bytes;
    }
    // Bytes received and not yet read.
    std::size_t Pending() const {
        int bytes = 0;
        ::ioctl(m_socket, FIONREAD, &bytes);
        return static_cast<std::size_t>(bytes);
    }
    // True when the server closed the connection (rather than the deadline passing).
    bool ClosedByServer() {
        std::uint8_t byte = 0;
        return ::recv(m_socket, &byte, 1, 0) == 0;
    }

  private:
    int m_socket = -1;
    bool m_connected = false;
};

// The server steps on a thread of its own in real time (Serve), or only when the test pumps it
// (Listen, Pump), so that what it has received is known when the test moves the clock of its
// client timeouts, which moves only when the test moves it.
class ModbusServerLoopbackTest : public ::testing::Test {
  protected:
    void Listen(const ModbusServerLimits& limits = {}) {
        m_terminal = std::make_shared<sim::Terminal>(m_clock, sim::TerminalConfig{});
        m_server = std::make_unique<ModbusSimServer>(std::make_shared<SimDevCom>(m_terminal),
                                                     ModbusEndpoint{"127.0.0.1", 0}, limits);
        m_server->SetClock([this] { return m_timeoutClockMs.load(); });
    }
    void Serve() {
        Listen();
        m_thread = std::thread([server = m_server.get()] { server->ServeFor(60'000); });
    }
    ~ModbusServerLoopbackTest() override {
        if (!m_thread.joinable()) return;
        m_server->Stop();
        m_thread.join();
    }
    // Steps the server until done() holds; false when it does not within some thousand steps.
    // A step waits only while nothing has come.
    bool Pump(const std::function<bool()>& done) {
        for (int step = 0; step < 2000; ++step) {
            if (done()) return true;
            m_server->Step(5);
        }
        return done();
    }
    // The answer of n bytes the client has coming.
    Bytes Answer(RawClient& client, std::size_t n) {
        EXPECT_TRUE(Pump([&] { return client.Pending() >= n; }));
        return client.Receive(n);
    }
    std::uint16_t Port() const { return m_server->Port(); }
    void Advance(std::int64_t ms) { m_timeoutClockMs += ms; }

    RealScheduler m_clock;
    std::atomic<std::int64_t> m_timeoutClockMs{1'000'000};
    std::shared_ptr<sim::Terminal> m_terminal;
    std::unique_ptr<ModbusSimServer> m_server;
    std::thread m_thread;
};

// The control's link on the client, against the simulated terminal (packed placement, input table
// 0, output table 1) with one gear at short address 0; a position the server lacks is an exception
// answer, not a lost line.
TEST_F(ModbusServerLoopbackTest, ADaliQueryEndToEndAndAnExceptionAnswer) {
    Serve();
    sim::GearConfig gear;
    gear.shortAddress = 0;
    m_terminal->AddGear(gear);
    // The server's terminal runs on real time, so the link waits in real time as well.
    RealScheduler clock;
    RecordingDialogs dialogs;
    MessageCatalogue messages{Language::English};
    Context context{clock, dialogs, messages};
    ModuleState state;
    state.ProcessImageLayout = {ProcessImageEntry{0, 0, 0}, ProcessImageEntry{0, 8, 0},
                                ProcessImageEntry{0, 0, 1}, ProcessImageEntry{0, 8, 1}};
    auto client = std::make_shared<ModbusDevCom>(ModbusEndpoint{"127.0.0.1", Port()});
    state.objDevCom = client;
    Link link(state, context);
    std::int16_t command = 145;  // QUERY BALLAST
    std::uint8_t data = 0;
    AddressKind addrType = AddressKind::Short;
    std::int16_t addr = 0;
    ASSERT_EQ(link.SendDALICommand(command, data, addrType, addr, nullptr), Result::Done);
    EXPECT_EQ(link.ReceiveDALIData(data, nullptr), Result::Done);
    EXPECT_EQ(data, 0xFF);
    EXPECT_TRUE(dialogs.boxes.empty());

    std::uint16_t version = 0;
    const std::string refused = ErrorOf([&] { client->ReadTable(5, 0, 9, 1, &version); });
    EXPECT_NE(refused.find("Illegal data address"), std::string::npos) << refused;
    client->ReadTable(1, 0, 9, 1, &version);
    EXPECT_EQ(version, 0x314D);
    EXPECT_EQ(client->Reconnects(), 0);
}

// Between two bytes of a trickling client, another is answered; the trickler's frame is answered
// once complete within the frame timeout, and a frame left half-way is closed once it is past.
TEST_F(ModbusServerLoopbackTest, ATricklingClientHoldsUpNoOtherClient) {
    Listen();
    RawClient trickler(Port());
    RawClient other(Port());
    const Bytes request = Adu(Read(0x8109, 1));
    for (std::size_t i = 0; i < request.size(); ++i) {
        trickler.Send({request[i]});
        ASSERT_TRUE(Pump([&] { return m_server->PartialBytes() == (i + 1) % request.size(); }));
        other.Send(request);
        const Bytes answer = Answer(other, 11);
        ASSERT_EQ(answer.size(), 11u);
        EXPECT_EQ(answer[10], 0x4D);
        Advance(400);  // 12 bytes in 4.8 s: within the frame timeout of 5 s
    }
    const Bytes answer = Answer(trickler, 11);
    ASSERT_EQ(answer.size(), 11u);
    EXPECT_EQ(answer[9], 0x31);
    EXPECT_EQ(answer[10], 0x4D);

    trickler.Send(Bytes(request.begin(), request.begin() + 5));
    ASSERT_TRUE(Pump([&] { return m_server->PartialBytes() == 5; }));
    Advance(ModbusServerLimits{}.frameTimeoutMs);
    m_server->Step(0);
    EXPECT_EQ(m_server->Clients(), 2u);
    Advance(1);
    ASSERT_TRUE(Pump([&] { return m_server->Clients() == 1; }));
    EXPECT_TRUE(trickler.ClosedByServer());
}

TEST_F(ModbusServerLoopbackTest, ANewcomerTakesTheLongestSilentPlaceAndBrokenFramingCloses) {
    ModbusServerLimits limits;
    Listen(limits);

    // Every place taken; each client heard once, the first longest ago.
    std::vector<std::unique_ptr<RawClient>> clients;
    for (std::size_t i = 0; i < limits.maxClients; ++i) {
        clients.push_back(std::make_unique<RawClient>(Port()));
        ASSERT_TRUE(Pump([&] { return m_server->Clients() == i + 1; }));
        Advance(1);
        clients.back()->Send(Adu(Read(0x0000, 1)));
        ASSERT_EQ(Answer(*clients.back(), 11).size(), 11u) << i;
    }
    RawClient newcomer(Port());
    ASSERT_TRUE(Pump([&] { return m_server->TurnedAway() == 1; }));
    newcomer.Send(Adu(Read(0x0000, 1)));
    EXPECT_EQ(Answer(newcomer, 11).size(), 11u);
    EXPECT_TRUE(clients.front()->ClosedByServer());
    EXPECT_EQ(m_server->Clients(), limits.maxClients);

    // Silent clients free their places after the idle timeout.
    Advance(limits.idleTimeoutMs + 1);
    ASSERT_TRUE(Pump([&] { return m_server->Clients() == 0; }));
    EXPECT_TRUE(clients.back()->ClosedByServer());
    EXPECT_TRUE(newcomer.ClosedByServer());
    clients.clear();

    // Another protocol, a length past the largest frame.
    for (const Bytes& broken :
         {Adu(Read(0x0000, 1), 1, 0x0102), Adu(Read(0x0000, 1), 1, 0, kMbapMaxLength + 1)}) {
        const std::int64_t before = m_server->Dropped();
        RawClient client(Port());
        client.Send(broken);
        ASSERT_TRUE(Pump([&] { return m_server->Dropped() > before; }));
        EXPECT_TRUE(client.ClosedByServer()) << broken.size();
    }
}

// A listening socket that nobody serves: connects succeed, requests are never answered.
TEST(ModbusClientErrorTest, TextsSayWhatHappened) {
    const int deaf = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(deaf, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(deaf, 4), 0);
    socklen_t size = sizeof address;
    ::getsockname(deaf, reinterpret_cast<sockaddr*>(&address), &size);
    const std::uint16_t port = ntohs(address.sin_port);

    ModbusDevCom silent(ModbusEndpoint{"127.0.0.1", port}, 100);
    std::uint16_t word = 0;
    const std::string unanswered = ErrorOf([&] { silent.ReadTable(0, 0, 0, 1, &word); });
    EXPECT_NE(unanswered.find("connection timed out"), std::string::npos) << unanswered;
    ::close(deaf);
    // Nothing listens there any more.
    const std::string refused = ErrorOf([port] {
        ModbusDevCom closed(ModbusEndpoint{"127.0.0.1", port}, 100);
    });
    EXPECT_NE(refused.find("connection refused"), std::string::npos) << refused;
}

// A server that answers each read with a frame changed on purpose: another unit, bytes after the
// PDU (counted by the length field or not), a length field past any PDU. The client takes none of
// them: each request fails on a fresh connection as well, and the error says what came.
TEST(ModbusClientErrorTest, AnswersThatCannotBeTheOneAskedForAreRefused) {
    const int listening = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 4), 0);
    socklen_t size = sizeof address;
    ::getsockname(listening, reinterpret_cast<sockaddr*>(&address), &size);
    const std::uint16_t port = ntohs(address.sin_port);

    const std::function<void(Bytes&)> changes[] = {
        [](Bytes& answer) { answer[6] = 7; },
        [](Bytes& answer) {
            answer.insert(answer.end(), {0xAA, 0xBB});
            answer[5] = static_cast<std::uint8_t>(answer[5] + 2);
        },
        [](Bytes& answer) { answer.push_back(0xAA); },
        [](Bytes& answer) { answer[4] = answer[5] = 0xFF; },
    };
    const char* said[] = {"an answer of unit 7, not of unit 1",
                          "an answer of 6 bytes to function 3", "bytes after the answer",
                          "MBAP length field says 65535"};
    std::atomic<int> change{0};
    std::thread serving([&] {
        for (;;) {
            const int client = ::accept(listening, nullptr, nullptr);
            if (client < 0) return;
            std::uint8_t request[12];
            // A read of one word: header, unit, function, address, count.
            for (std::size_t got = 0; got < sizeof request;) {
                const ssize_t n = ::recv(client, request + got, sizeof request - got, 0);
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            Bytes answer{request[0], request[1], 0, 0, 0, 5, request[6], 0x03, 0x02, 0x12, 0x34};
            changes[change](answer);
            (void)!::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
            // Open until the client lets go, which it does when it refuses the answer.
            while (::recv(client, request, sizeof request, 0) > 0) {
            }
            ::close(client);
        }
    });
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        change = static_cast<int>(i);
        ModbusDevCom devCom(ModbusEndpoint{"127.0.0.1", port}, 500);
        std::uint16_t word = 0;
        const std::string refused = ErrorOf([&] { devCom.ReadTable(0, 0, 0, 1, &word); });
        EXPECT_NE(refused.find(said[i]), std::string::npos) << refused;
        EXPECT_EQ(word, 0);
    }
    ::shutdown(listening, SHUT_RDWR);
    ::close(listening);
    serving.join();
}

}  // namespace
}  // namespace zd
