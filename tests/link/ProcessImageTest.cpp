// Where the link finds and puts the terminal's bytes: status byte, input value and output value in
// the packed and the word-aligned placement, Intel and Motorola order.
#include <gtest/gtest.h>

#include <tuple>

#include "LinkRig.h"
#include "platform/Error.h"

namespace zd {
namespace {

using test::kInputTable;
using test::kOutputTable;
using test::LinkRig;

class ProcessImageTest : public testing::TestWithParam<test::LinkSetup> {
  protected:
    LinkRig rig{GetParam()};
};

// The answer byte and its present bit, whatever the terminal does with the other bits of the
// second byte (bit 15 among them, which would not fit the signed result).
TEST_P(ProcessImageTest, StatusAndInputAsTheTerminalMeansThemWhateverElseTheSecondByteHolds) {
    rig.terminal->SetStatusBits(0x0E);
    std::uint8_t nStatus = 0;
    std::int16_t nData = 0;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), Result::Done);
    EXPECT_EQ(nStatus, 0x0E);
    const std::pair<std::uint16_t, std::int16_t> cases[] = {
        {0x0105, 0x0105}, {0x7FFF, 0x01FF}, {0x8001, 0x0001}, {0xFF42, 0x0142}};
    for (const auto& [value, read] : cases) {
        rig.terminal->SetInputValue(value);
        EXPECT_EQ(rig.link.ReadDataIn(nData), Result::Done);
        EXPECT_EQ(nData, read) << value;
    }
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_P(ProcessImageTest, WriteDataOutLeavesControlByteSwapsCallersValueAndRefusesWideValues) {
    // A command went out before: the control byte holds the toggle, which must survive.
    std::int32_t nWord = 0x0B00;
    ASSERT_EQ(rig.link.SendCommand(nWord), Result::Done);
    const std::uint8_t control = rig.terminal->ControlByte();
    ASSERT_EQ(control & kControlToggle, 1);
    const std::size_t writes = rig.terminal->CountCalls(true);

    std::int32_t nData = 0x3F09;
    EXPECT_EQ(rig.link.WriteDataOut(nData), Result::Done);
    EXPECT_EQ(rig.terminal->OutputValue(), 0x3F09);
    EXPECT_EQ(rig.terminal->ControlByte(), control);
    EXPECT_EQ(nData, GetParam().bMotorola ? 0x093F : 0x3F09);
    EXPECT_EQ(rig.terminal->Commands().size(), 1u);  // a value write is no command

    for (std::int32_t wide : {0x10000, -1}) {
        nData = wide;
        EXPECT_THROW(rig.link.WriteDataOut(nData), ControlError) << wide;
    }
    EXPECT_EQ(rig.terminal->CountCalls(true), writes + 1);
}

INSTANTIATE_TEST_SUITE_P(Placements, ProcessImageTest, testing::ValuesIn(test::kLinkSetups),
                         [](const auto& test) { return test.param.name; });

// The raw words, checked against known images rather than against the scripted terminal: the
// output at bit offset 1.8 keeps the control byte and the far high byte; status in the high byte.
test::Layout OutputAt18() {
    test::Layout layout = test::PackedLayout(1);
    layout[kStatus] = {0, 8, kInputTable};
    return layout;
}

TEST(RawPlacementTest, PackedOutputKeepsControlByteAndTheFarHighByteInBothOrders) {
    for (const bool bMotorola : {false, true}) {
        LinkRig rig(OutputAt18(), bMotorola);
        rig.terminal->SetWord(kOutputTable, 1, 0xAB05);
        rig.terminal->SetWord(kOutputTable, 2, 0xCDEF);
        std::int32_t nData = 0x1234;
        ASSERT_EQ(rig.link.WriteDataOut(nData), Result::Done);
        EXPECT_EQ(rig.terminal->Word(kOutputTable, 1), bMotorola ? 0x1205 : 0x3405);
        EXPECT_EQ(rig.terminal->Word(kOutputTable, 2), bMotorola ? 0xCD34 : 0xCD12);
        EXPECT_EQ(nData, bMotorola ? 0x3412 : 0x1234);
        // Read-modify-write of exactly the two words at OUTPUT.
        ASSERT_EQ(rig.terminal->Calls().size(), 2u);
        for (const auto& call : rig.terminal->Calls()) {
            EXPECT_EQ(std::tie(call.nDevice, call.nTable, call.nOffset, call.nCount),
                      std::make_tuple(0, kOutputTable, 1, 2));
        }
    }
}

TEST(RawPlacementTest, StatusInTheHighByteAndInputAcrossTwoWords) {
    LinkRig rig(OutputAt18(), false);
    rig.terminal->SetWord(kInputTable, 0, 0x5AA5);
    rig.terminal->SetWord(kInputTable, 1, 0x0107);  // input at 1.8: high byte here...
    rig.terminal->SetWord(kInputTable, 2, 0x9901);  // ...and the low byte of the next word
    std::uint8_t nStatus = 0;
    std::int16_t nData = 0;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), Result::Done);
    EXPECT_EQ(nStatus, 0x5A);
    EXPECT_EQ(rig.link.ReadDataIn(nData), Result::Done);
    EXPECT_EQ(nData, 0x0101);
    rig.state.m_bMotorola = true;
    rig.terminal->SetWord(kInputTable, 1, 0x0500);
    EXPECT_EQ(rig.link.ReadDataIn(nData), Result::Done);
    EXPECT_EQ(nData, 0x0101);  // swapped 0x0501; bit 10 is none of the control's
}

}  // namespace
}  // namespace zd
