// Modbus TCP as the wire: the register mapping, and the client against the simulator's server on
// loopback (a DALI query end to end, a register, an exception answer).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bitset>
#include <memory>
#include <thread>

#include "host/ModbusDevCom.h"
#include "host/ModbusSimServer.h"
#include "host/SimDevCom.h"
#include "link/Link.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Messages.h"
#include "platform/RealScheduler.h"
#include "sim/Terminal.h"

namespace zd {
namespace {

using ::testing::HasSubstr;

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
        EXPECT_EQ(endpoint.Text(), back);
    }
    for (const char* bad :
         {"127.0.0.1", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:15x", "plc.example:1502",
          "127.0.0.1:502/0", "127.0.0.1:502/248", "127.0.0.1:502/", "127.0.0.1:502/x"}) {
        try {
            ParseModbusEndpoint(bad);
            ADD_FAILURE() << bad << " was accepted";
        } catch (const ControlError& error) {
            EXPECT_THAT(error.Description(), HasSubstr(bad));
            EXPECT_EQ(error.Number(), kErrDevCom);
        }
    }
}

// A simulated terminal at position 1 (packed placement, input table 0, output table 1) with one
// gear at short address 0, served on a free loopback port by a thread of its own.
class ModbusServerTest : public ::testing::Test {
  protected:
    ModbusServerTest() {
        m_terminal = std::make_shared<sim::Terminal>(m_serverClock, sim::TerminalConfig{});
        sim::GearConfig gear;
        gear.shortAddress = 0;
        m_terminal->AddGear(gear);
        m_server = std::make_unique<ModbusSimServer>(std::make_shared<SimDevCom>(m_terminal),
                                                     ModbusEndpoint{"127.0.0.1", 0});
        m_thread = std::thread([server = m_server.get()] { server->ServeFor(10000); });
    }
    ~ModbusServerTest() override {
        m_server->Stop();
        m_thread.join();
    }
    ModbusEndpoint Endpoint() const { return m_server->Endpoint(); }

    RealScheduler m_serverClock;
    std::shared_ptr<sim::Terminal> m_terminal;
    std::unique_ptr<ModbusSimServer> m_server;
    std::thread m_thread;
};

TEST_F(ModbusServerTest, DaliQueryAndRegistersEndToEnd) {
    RealScheduler clock;
    RecordingDialogs dialogs;
    MessageCatalogue messages{Language::English};
    Context context{clock, dialogs, messages};
    ModuleState state;
    state.ProcessImageLayout = {ProcessImageEntry{0, 0, 0}, ProcessImageEntry{0, 8, 0},
                                ProcessImageEntry{0, 0, 1}, ProcessImageEntry{0, 8, 1}};
    state.objDevCom = std::make_shared<ModbusDevCom>(Endpoint());
    Link link(state, context);

    std::int16_t command = 145;  // QUERY BALLAST
    std::uint8_t data = 0;
    std::int16_t addrType = 0;
    std::int16_t addr = 0;
    ASSERT_EQ(link.SendDALICommand(command, data, addrType, addr, nullptr), kResultDone);
    std::uint8_t answer = 0;
    EXPECT_EQ(link.ReceiveDALIData(answer, nullptr), kResultDone);
    EXPECT_EQ(answer, 0xFF);
    EXPECT_TRUE(dialogs.boxes.empty());

    // A register of the terminal, and a position it does not have: an exception answer, not a
    // lost line.
    ModbusDevCom& client = static_cast<ModbusDevCom&>(*state.objDevCom);
    std::uint16_t version = 0;
    client.ReadTable(1, 0, 9, 1, &version);
    EXPECT_EQ(version, 0x314D);
    try {
        client.ReadTable(5, 0, 9, 1, &version);
        ADD_FAILURE() << "position 5 was answered";
    } catch (const ControlError& error) {
        EXPECT_THAT(error.Description(), HasSubstr("Illegal data address"));
    }
    client.ReadTable(1, 0, 9, 1, &version);
    EXPECT_EQ(client.Reconnects(), 0);
}

}  // namespace
}  // namespace zd
