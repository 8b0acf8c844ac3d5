// Where the link finds and puts the terminal's bytes: status byte, input value and output value in
// the packed and the word-aligned placement, Intel and Motorola order.
#include <gtest/gtest.h>

#include "LinkRig.h"
#include "platform/Error.h"

namespace zd {
namespace {

using test::kInputTable;
using test::kOutputTable;
using test::LinkRig;
using test::LinkSetup;

class ProcessImageTest : public testing::TestWithParam<LinkSetup> {
  protected:
    LinkRig rig{GetParam()};
};

TEST_P(ProcessImageTest, StatusByteAndInputValueAsTheTerminalMeansThem) {
    rig.terminal->SetStatusBits(0x0E);
    rig.terminal->SetInputValue(0x0105);
    std::uint8_t nStatus = 0;
    std::int16_t nData = 0;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), kResultDone);
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultDone);
    EXPECT_EQ(nStatus, 0x0E);
    EXPECT_EQ(nData, 0x0105);

    rig.terminal->SetInputValue(0x7FFF);
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultDone);
    EXPECT_EQ(nData, 0x7FFF);
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_P(ProcessImageTest, InputValueAboveSignedRangeIsAnOverflowError) {
    rig.terminal->SetInputValue(0x8001);
    std::int16_t nData = 123;
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultError);
    EXPECT_EQ(nData, 123);
    ASSERT_EQ(rig.t.dialogs.boxes.size(), 1u);
    EXPECT_EQ(rig.BoxText(), std::string("Error: ReadDataIn: Overflow\r\nSource: ") +
                                 kLibraryTitle + "\r\nNumber: 6");
    EXPECT_EQ(rig.t.dialogs.boxes[0].icon, MsgIcon::Critical);
}

TEST_P(ProcessImageTest, WriteDataOutLeavesControlByteAndSwapsCallersValue) {
    // A command went out before: the control byte holds the toggle, which must survive.
    std::int32_t nWord = 0x0B00;
    ASSERT_EQ(rig.link.SendCommand(nWord), kResultDone);
    const std::uint8_t control = rig.terminal->ControlByte();
    ASSERT_EQ(control & kControlToggle, 1);

    std::int32_t nData = 0x3F09;
    EXPECT_EQ(rig.link.WriteDataOut(nData), kResultDone);
    EXPECT_EQ(rig.terminal->OutputValue(), 0x3F09);
    EXPECT_EQ(rig.terminal->ControlByte(), control);
    EXPECT_EQ(nData, GetParam().bMotorola ? 0x093F : 0x3F09);
    // A value write is no command: nothing toggled.
    EXPECT_EQ(rig.terminal->Commands().size(), 1u);
}

TEST_P(ProcessImageTest, WriteDataOutRefusesValuesOutsideSixteenBits) {
    std::int32_t nData = 0x10000;
    EXPECT_THROW(rig.link.WriteDataOut(nData), ControlError);
    nData = -1;
    EXPECT_THROW(rig.link.WriteDataOut(nData), ControlError);
    EXPECT_EQ(rig.terminal->CountCalls(true), 0u);
}

TEST_P(ProcessImageTest, WithoutDevComEveryAccessorReturnsTwoAtOnce) {
    rig.state.objDevCom.reset();
    std::uint8_t nStatus = 77;
    std::int16_t nData = 77;
    std::int32_t nValue = 0x1234;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), kResultNoDevCom);
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultNoDevCom);
    EXPECT_EQ(rig.link.WriteDataOut(nValue), kResultNoDevCom);
    EXPECT_EQ(nStatus, 77);
    EXPECT_EQ(nData, 77);
    EXPECT_EQ(nValue, 0x1234);
    EXPECT_TRUE(rig.terminal->Calls().empty());
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_P(ProcessImageTest, ReadFailuresAreReportedByTheAccessorItself) {
    rig.terminal->FailOnCall(1);
    std::uint8_t nStatus = 0;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), kResultError);
    rig.terminal->FailOnCall(2);
    std::int16_t nData = 0;
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultError);
    ASSERT_EQ(rig.t.dialogs.boxes.size(), 2u);
    EXPECT_EQ(rig.BoxText(0),
              "Error: ReadStatusByte: Table access failed\r\nSource: VmDcCOM\r\nNumber: 30001");
    EXPECT_EQ(rig.BoxText(1),
              "Error: ReadDataIn: Table access failed\r\nSource: VmDcCOM\r\nNumber: 30001");
    EXPECT_EQ(rig.t.dialogs.boxes[1].title, "System failure");
}

INSTANTIATE_TEST_SUITE_P(Placements, ProcessImageTest, testing::ValuesIn(test::kLinkSetups),
                         [](const auto& info) { return info.param.name; });

// The raw words, checked against known images rather than against the scripted terminal.
class RawPlacementTest : public testing::Test {
  protected:
    static test::Layout OutputAt18() {
        test::Layout layout = test::PackedLayout(1);
        layout[kStatus] = {0, 8, kInputTable};
        return layout;
    }
};

TEST_F(RawPlacementTest, PackedOutputKeepsControlByteAndTheFarHighByte) {
    LinkRig rig(OutputAt18(), false);
    rig.terminal->SetWord(kOutputTable, 1, 0xAB05);
    rig.terminal->SetWord(kOutputTable, 2, 0xCDEF);
    std::int32_t nData = 0x1234;
    ASSERT_EQ(rig.link.WriteDataOut(nData), kResultDone);
    EXPECT_EQ(rig.terminal->Word(kOutputTable, 1), 0x3405);
    EXPECT_EQ(rig.terminal->Word(kOutputTable, 2), 0xCD12);
    // Read-modify-write of exactly the two words at OUTPUT.
    ASSERT_EQ(rig.terminal->Calls().size(), 2u);
    for (const auto& call : rig.terminal->Calls()) {
        EXPECT_EQ(call.nDevice, 0);
        EXPECT_EQ(call.nTable, kOutputTable);
        EXPECT_EQ(call.nOffset, 1);
        EXPECT_EQ(call.nCount, 2);
    }
}

TEST_F(RawPlacementTest, PackedOutputInMotorolaOrder) {
    LinkRig rig(OutputAt18(), true);
    rig.terminal->SetWord(kOutputTable, 1, 0xAB05);
    rig.terminal->SetWord(kOutputTable, 2, 0xCDEF);
    std::int32_t nData = 0x1234;
    ASSERT_EQ(rig.link.WriteDataOut(nData), kResultDone);
    EXPECT_EQ(rig.terminal->Word(kOutputTable, 1), 0x1205);
    EXPECT_EQ(rig.terminal->Word(kOutputTable, 2), 0xCD34);
    EXPECT_EQ(nData, 0x3412);
}

TEST_F(RawPlacementTest, StatusInTheHighByteAndInputAcrossTwoWords) {
    LinkRig rig(OutputAt18(), false);
    rig.terminal->SetWord(kInputTable, 0, 0x5AA5);
    rig.terminal->SetWord(kInputTable, 1, 0x0107);  // input at 1.8: high byte here...
    rig.terminal->SetWord(kInputTable, 2, 0x9901);  // ...and the low byte of the next word
    std::uint8_t nStatus = 0;
    std::int16_t nData = 0;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), kResultDone);
    EXPECT_EQ(nStatus, 0x5A);
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultDone);
    EXPECT_EQ(nData, 0x0101);

    rig.state.m_bMotorola = true;
    rig.terminal->SetWord(kInputTable, 1, 0x0500);
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultDone);
    EXPECT_EQ(nData, 0x0501);
}

TEST_F(RawPlacementTest, WordAlignedInputAndOutputAreWholeWords) {
    LinkRig rig(test::WordAlignedLayout(6, true), true);
    rig.terminal->SetWord(kInputTable, 6, 0x0300);
    rig.terminal->SetWord(kInputTable, 7, 0x2A01);
    rig.terminal->SetWord(kOutputTable, 6, 0x0900);
    std::uint8_t nStatus = 0;
    std::int16_t nData = 0;
    EXPECT_EQ(rig.link.ReadStatusByte(nStatus), kResultDone);
    EXPECT_EQ(nStatus, 0x03);
    EXPECT_EQ(rig.link.ReadDataIn(nData), kResultDone);
    EXPECT_EQ(nData, 0x012A);
    std::int32_t nValue = 0x1234;
    EXPECT_EQ(rig.link.WriteDataOut(nValue), kResultDone);
    EXPECT_EQ(rig.terminal->Word(kOutputTable, 6), 0x0900);
    EXPECT_EQ(rig.terminal->Word(kOutputTable, 7), 0x3412);
}

}  // namespace
}  // namespace zd
