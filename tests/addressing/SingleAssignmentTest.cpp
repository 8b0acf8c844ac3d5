// Single assignment on the simulated line: every ballast gets the chosen address (or loses it for
// MASK) once the user confirms, the device list follows the answer to QUERY BALLAST, and a Cancel,
// an empty choice or DSI mode change nothing.
#include "support/ControlRig.h"

namespace zd::test {
namespace {

class SingleAssignmentTest : public ControlRig {
  protected:
    void Start(std::vector<std::optional<std::uint8_t>> addresses) {
        for (const auto& address : addresses) {
            sim::GearConfig gear;
            gear.shortAddress = address;
            ids.push_back(terminal->AddGear(gear));
        }
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        terminal->SetFrameLog(true);
    }
    std::vector<std::uint16_t> Frames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& f : terminal->FrameLog()) frames.push_back(f.frame);
        return frames;
    }
    std::optional<std::uint8_t> AddressOf(int id) { return terminal->Gear(id).ShortAddress(); }

    std::vector<int> ids;
};

TEST_F(SingleAssignmentTest, OneBallastTakesTheAddressAfterTheConfirmation) {
    Start({std::nullopt});
    control->cboSingleAssignAddress.SetListIndex(5);
    control->cmdSingleAssignStart.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    const MessageBoxRequest& box = ctx.dialogs.boxes[0];
    EXPECT_EQ(box.text, "All devices will be set to the following address: 5\r\nAre you sure?");
    EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
    EXPECT_EQ(box.icon, MsgIcon::Information);
    EXPECT_EQ(box.title, "Information");

    EXPECT_EQ(AddressOf(ids[0]), 5);
    // DTR 0x0B, STORE DTR AS SHORT ADDRESS (twice on the line), QUERY BALLAST to 5.
    const std::vector<std::uint16_t> frames = Frames();
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames.front(), 0xA30B);
    EXPECT_EQ(frames[1], 0xFF80);
    EXPECT_EQ(frames.back(), 0x0B91);
    ASSERT_EQ(state.devices->Count(), 1u);
    const clsDevice* device = state.devices->Item(5);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->m_nNewShortAddress, 5);
    EXPECT_FALSE(device->m_bDALIConflict);
    // The views show the new list.
    ASSERT_EQ(control->lstChangeAddrView.ItemCount(), 1);
    EXPECT_EQ(control->lstChangeAddrView.Item(1).Text(), "5");
    EXPECT_NE(control->treeDevices.Node("05Device"), nullptr);
}

TEST_F(SingleAssignmentTest, SeveralBallastsShareTheAddressAndAreMarkedAsConflict) {
    Start({3, std::nullopt, 40});
    control->cboSingleAssignAddress.SetListIndex(12);
    control->cmdSingleAssignStart.Click();
    for (int id : ids) EXPECT_EQ(AddressOf(id), 12);
    ASSERT_EQ(state.devices->Count(), 1u);
    ASSERT_NE(state.devices->Item(12), nullptr);
    EXPECT_TRUE(state.devices->Item(12)->m_bDALIConflict);
    ASSERT_NE(control->treeDevices.Node("12Device"), nullptr);
    EXPECT_EQ(control->treeDevices.Node("12Device")->Image(), "LampDALIError");
}

TEST_F(SingleAssignmentTest, MaskDeletesEveryAddressWithoutAQuery) {
    Start({3, 40});
    clsDevice known;
    known.m_nShortAddress = known.m_nNewShortAddress = 3;
    state.devices->Add(known);
    control->cboSingleAssignAddress.SetListIndex(64);
    control->cmdSingleAssignStart.Click();
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "The short address will be delete on all devices!\r\nAre you sure?"});
    for (int id : ids) EXPECT_EQ(AddressOf(id), std::nullopt);
    EXPECT_EQ(Frames().front(), 0xA3FF);
    EXPECT_EQ(Frames().back(), 0xFF80);
    EXPECT_EQ(state.devices->Count(), 0u);
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 0);
}

TEST_F(SingleAssignmentTest, CancelNoChoiceAndDsiModeChangeNothing) {
    Start({3});
    clsDevice known;
    known.m_nShortAddress = known.m_nNewShortAddress = 3;
    state.devices->Add(known);

    ctx.dialogs.answers.push_back(MsgResult::Cancel);
    control->cboSingleAssignAddress.SetListIndex(9);
    control->cmdSingleAssignStart.Click();
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);

    control->cboSingleAssignAddress.SetListIndex(-1);
    control->cmdSingleAssignStart.Click();
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);

    EXPECT_TRUE(Frames().empty());
    EXPECT_EQ(AddressOf(ids[0]), 3);
    EXPECT_NE(state.devices->Item(3), nullptr);

    state.m_nOperationMode = kModeDsi;
    control->cboSingleAssignAddress.SetListIndex(9);
    control->cmdSingleAssignStart.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes[1].text, "The ZD4270 is not in the DALI-Mode!");
    EXPECT_TRUE(Frames().empty());
}

}  // namespace
}  // namespace zd::test
