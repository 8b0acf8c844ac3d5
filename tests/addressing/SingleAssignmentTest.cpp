// Single assignment on the simulated line: every ballast gets the chosen address (or loses it for
// MASK) once the user confirms, the device list follows the answer to QUERY BALLAST, and a Cancel,
// an empty choice or DSI mode change nothing.
#include "addressing/FrameRig.h"

namespace zd::test {
namespace {

using SingleAssignmentTest = AddressingRig;

TEST_F(SingleAssignmentTest, OneBallastTakesTheAddressAfterTheConfirmation) {
    UseGear({std::nullopt});
    control->cboSingleAssignAddress.SetListIndex(5);
    control->cmdSingleAssignStart.Click();
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "All devices will be set to the following address: 5\r\nAre you sure?"});
    EXPECT_EQ(ctx.dialogs.boxes[0].buttons, MsgButtons::OkCancel);

    EXPECT_EQ(AddressOf(ids[0]), 5);
    EXPECT_EQ(DeviceAddresses(), std::vector<int>{5});
    EXPECT_FALSE(state.devices->Item(5)->m_bDALIConflict);
    EXPECT_EQ(Rows(control->lstChangeAddrView), std::vector<std::string>{"5>5"});
    EXPECT_NE(control->treeDevices.Node("05Device"), nullptr);
}

TEST_F(SingleAssignmentTest, SeveralBallastsShareTheAddressAndAreMarkedAsConflict) {
    UseGear({3, std::nullopt, 40});
    control->cboSingleAssignAddress.SetListIndex(12);
    control->cmdSingleAssignStart.Click();
    for (int id : ids) EXPECT_EQ(AddressOf(id), 12);
    ASSERT_EQ(DeviceAddresses(), std::vector<int>{12});
    EXPECT_TRUE(state.devices->Item(12)->m_bDALIConflict);
    ASSERT_NE(control->treeDevices.Node("12Device"), nullptr);
    EXPECT_EQ(control->treeDevices.Node("12Device")->Image(), "LampDALIError");
}

TEST_F(SingleAssignmentTest, MaskDeletesEveryAddressWithoutAQuery) {
    UseGear({3, 40});
    AddDeviceRecord(3);
    control->cboSingleAssignAddress.SetListIndex(64);
    control->cmdSingleAssignStart.Click();
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "The short address will be delete on all devices!\r\nAre you sure?"});
    for (int id : ids) EXPECT_EQ(AddressOf(id), std::nullopt);
    EXPECT_EQ(Frames().back(), 0xFF80);  // no QUERY BALLAST after STORE DTR
    EXPECT_EQ(state.devices->Count(), 0u);
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 0);
}

TEST_F(SingleAssignmentTest, CancelNoChoiceAndDsiModeChangeNothing) {
    UseGear({3});
    AddDeviceRecord(3);
    ctx.dialogs.answers.push_back(MsgResult::Cancel);
    control->cboSingleAssignAddress.SetListIndex(9);
    control->cmdSingleAssignStart.Click();
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);

    control->cboSingleAssignAddress.SetListIndex(-1);
    control->cmdSingleAssignStart.Click();
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);

    state.m_nOperationMode = kModeDsi;
    control->cboSingleAssignAddress.SetListIndex(9);
    control->cmdSingleAssignStart.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes[1].text, "The ZD4270 is not in the DALI-Mode!");

    EXPECT_TRUE(Frames().empty());
    EXPECT_EQ(AddressOf(ids[0]), 3);
    EXPECT_EQ(DeviceAddresses(), std::vector<int>{3});
}

}  // namespace
}  // namespace zd::test
