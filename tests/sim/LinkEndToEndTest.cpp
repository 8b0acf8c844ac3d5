// The control's transactions end to end over the in-process device communication and the simulated
// terminal, in every placement and byte order: a command, a query with and without an answer, the
// take-over delay and the firmware addressing handshake (its parameter word swapped like a
// command's).
#include <gtest/gtest.h>

#include <filesystem>

#include "link/Link.h"
#include "platform/Error.h"
#include "sim/Terminal.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

// The control's state for a terminal in this layout, as a station document would give it.
void Wire(ModuleState& state, const sim::ImageLayout& layout, std::shared_ptr<DevCom> devCom) {
    for (std::size_t i = 0; i < 4; ++i) {
        state.ProcessImageLayout[i] =
            ProcessImageEntry{layout.entries[i].nWordOffset, layout.entries[i].nBitOffset,
                              layout.entries[i].nTableNumber};
    }
    state.m_bMotorola = layout.motorola;
    state.objDevCom = std::move(devCom);
}

// Control and status in the high bytes of word-aligned words, in a table of their own.
sim::ImageLayout HighByteLayout() {
    sim::ImageLayout layout;
    layout.entries[sim::kImageStatus] = {3, 8, 5};
    layout.entries[sim::kImageInput] = {4, 0, 5};
    layout.entries[sim::kImageControl] = {0, 8, 5};
    layout.entries[sim::kImageOutput] = {1, 0, 5};
    return layout;
}

struct LayoutCase {
    const char* name;
    sim::ImageLayout layout;
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class LinkEndToEndTest : public ::testing::TestWithParam<LayoutCase> {
  protected:
    LinkEndToEndTest() {
        const sim::ImageLayout& layout = GetParam().layout;
        sim::TerminalConfig config;
        config.layout = layout;
        m_terminal = std::make_shared<sim::Terminal>(m_test.scheduler, config);
        m_devCom = std::make_shared<SimDevCom>(m_terminal);
        Wire(m_state, layout, m_devCom);
        sim::GearConfig gear;
        gear.shortAddress = 5;
        m_five = m_terminal->AddGear(gear);
        gear.shortAddress = 6;
        m_six = m_terminal->AddGear(gear);
    }

    Result Send(std::int16_t command, std::uint8_t data, AddressKind type, std::int16_t address) {
        return m_link.SendDALICommand(command, data, type, address, nullptr);
    }
    Result Receive(std::uint8_t& data) { return m_link.ReceiveDALIData(data, nullptr); }

    test::TestContext m_test;
    ModuleState m_state;
    std::shared_ptr<sim::Terminal> m_terminal;
    std::shared_ptr<SimDevCom> m_devCom;
    Link m_link{m_state, m_test.context};
    int m_five = 0;
    int m_six = 0;
};

TEST_P(LinkEndToEndTest, CommandAndQueriesAlsoAfterATakeOverDelay) {
    EXPECT_EQ(Send(-1, 100, AddressKind::Short, 5), Result::Done);  // DIRECT ARC POWER 100 to 5
    EXPECT_EQ(m_terminal->GearLevel(m_five), 100);
    EXPECT_EQ(m_terminal->GearLevel(m_six), 254);

    std::uint8_t data = 0xAA;
    EXPECT_EQ(Send(160, 0, AddressKind::Short, 5), Result::Done);  // QUERY ACTUAL LEVEL
    EXPECT_EQ(Receive(data), Result::Done);
    EXPECT_EQ(data, 100);

    m_devCom->SetTakeOverDelay(250);
    const std::int64_t before = m_test.scheduler.Now();
    EXPECT_EQ(Send(160, 0, AddressKind::Short, 6), Result::Done);
    EXPECT_GE(m_test.scheduler.Now() - before, 250);
    EXPECT_EQ(Receive(data), Result::Done);
    EXPECT_EQ(data, 254);
    EXPECT_TRUE(m_test.dialogs.boxes.empty());
}

TEST_P(LinkEndToEndTest, FirmwareAddressingHandshake) {
    sim::GearConfig gear;
    gear.randomise = {0x000777};
    const int bare = m_terminal->AddGear(gear);
    std::int32_t parameter = 0x0A01;  // start 10, new installation
    ASSERT_EQ(m_link.WriteDataOut(parameter), Result::Done);
    m_test.scheduler.Sleep(1000);
    ASSERT_EQ(m_link.StartRandomAddressing(), Result::Done);
    std::uint8_t status = 0;
    ASSERT_EQ(m_link.ReadStatusByte(status), Result::Done);
    EXPECT_EQ(status & 0x08, 0x08);
    for (int tick = 0; tick < 120 && (status & 0x08); ++tick) {
        m_test.scheduler.Sleep(1000);
        m_link.ReadStatusByte(status);
    }
    std::int16_t result = 0;
    ASSERT_EQ(m_link.ReadDataIn(result), Result::Done);
    EXPECT_EQ(result & 0xFF, 3);
    EXPECT_TRUE(m_terminal->Gear(bare).ShortAddress().has_value());
    EXPECT_GE(*m_terminal->Gear(m_five).ShortAddress(), 10);
}

INSTANTIATE_TEST_SUITE_P(
    AllPlacements, LinkEndToEndTest,
    ::testing::Values(LayoutCase{"PackedIntel", sim::ImageLayout::Packed(0, 1)},
                      LayoutCase{"PackedMotorola", sim::ImageLayout::Packed(0, 1, true)},
                      LayoutCase{"WordAlignedIntel", sim::ImageLayout::WordAligned(0, 1)},
                      LayoutCase{"WordAlignedMotorola", sim::ImageLayout::WordAligned(0, 1, true)},
                      LayoutCase{"ControlAndStatusInHighBytes", HighByteLayout()}),
    [](const ::testing::TestParamInfo<LayoutCase>& test) { return std::string(test.param.name); });

TEST(SimDevComTest, LineFileTerminalAnswersTheControl) {
    test::TestContext context;
    const std::string path = test::ExamplePath("lines/word-aligned-motorola.json");
    auto devCom = SimDevCom::FromLineFile(context.scheduler, path);
    ModuleState state;
    Wire(state, devCom->Terminal().Layout(), devCom);
    Link link(state, context.context);
    std::int16_t command = 194;  // QUERY RANDOM ADDRESS (H) of gear 3
    AddressKind type = AddressKind::Short;
    std::int16_t address = 3;
    std::uint8_t data = 0;
    EXPECT_EQ(link.SendDALICommand(command, data, type, address, nullptr), Result::Done);
    EXPECT_EQ(link.ReceiveDALIData(data, nullptr), Result::Done);
    EXPECT_EQ(data, devCom->Terminal().Gear(3).RandomAddress() >> 16);
    EXPECT_THROW(SimDevCom::FromLineFile(context.scheduler, path + ".missing"), ControlError);
}

}  // namespace
}  // namespace zd
