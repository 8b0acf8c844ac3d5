// The commands page on the simulated line: a DALI command to a group, the number and data boxes
// with their slider, the RESET question, and the refusals in the wrong operation mode.
#include "PageRig.h"
#include "pages/configZD4270Commands.h"

namespace zd::test {
namespace {

class CommandsPageTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig gear;
        gear.actualLevel = 0;
        gear.shortAddress = 1;
        gear.groups = 1 << 4;
        grouped = AddGear(gear);
        gear.shortAddress = 2;
        gear.groups = 0;
        ungrouped = AddGear(gear);
    }
    configZD4270Commands& OpenPage() {
        Start();
        return Open<configZD4270Commands>(PageKind::Commands);
    }
    int grouped = 0;
    int ungrouped = 0;
};

TEST_F(CommandsPageTest, ACommandToAGroupReachesOnlyItsMembers) {
    auto& page = OpenPage();
    page.Option2.Click();
    EXPECT_FALSE(page.txtShortAddr.Enabled());
    page.txtGroupId.Type("4");
    page.cboCommand.SetListIndex(6);  // Recall MAX LEVEL
    EXPECT_EQ(page.lblCommandId.Caption(), "5");
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{GroupFrame(4, 5)}));
    EXPECT_EQ(terminal->GearLevel(grouped), 254);
    EXPECT_EQ(terminal->GearLevel(ungrouped), 0);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(CommandsPageTest, TheDataByteAndTheNumberBoxes) {
    auto& page = OpenPage();
    // Broadcast direct arc power; the slider's bottom is byte 0.
    page.sliDALIData.DragTo(55);
    EXPECT_EQ(page.txtDataDec.Text(), "200");
    EXPECT_EQ(page.lblDataHex.Caption(), "C8");
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{0xFEC8}));
    page.cboCommand.SetListIndex(13);  // Go to Scene 3: no data byte
    EXPECT_FALSE(page.txtDataDec.Enabled());
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{0xFF13}));

    page.Option3.Click();
    page.txtShortAddr.Type("70");
    EXPECT_EQ(page.txtShortAddr.Text(), "63");
    page.txtDSIDataDec.Type("171");
    EXPECT_EQ(page.sliDSIData.Value(), 84);
}

TEST_F(CommandsPageTest, ResetIsAskedForAndNoSendsNothing) {
    auto& page = OpenPage();
    page.cboCommand.SetListIndex(26);
    ctx.dialogs.answers.push_back(MsgResult::No);
    page.btnSendDALICommand.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(TakeFrames().empty());
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames().front(), 0xFF20);
}

TEST_F(CommandsPageTest, EachModeRefusesTheOtherOnesCommandAndTheDsiByteGoesOut) {
    auto& dali = OpenPage();
    dali.tabCommands.ClickTab(1);
    dali.btnSendDSICommand.Click();
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"The ZD4270 is not in the DSI-Mode!"});
    EXPECT_TRUE(terminal->FrameLog().empty());

    ctx.dialogs.boxes.clear();
    MakeTerminal(0x314D, 0x1000);
    auto& page = OpenPage();
    page.btnSendDALICommand.Click();
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"The ZD4270 is not in the DALI-Mode!"});
    EXPECT_TRUE(terminal->FrameLog().empty());
    page.txtDSIDataDec.Type("77");
    page.btnSendDSICommand.Click();
    ASSERT_EQ(terminal->FrameLog().size(), 1u);
    EXPECT_TRUE(terminal->FrameLog()[0].dsi);
    EXPECT_EQ(terminal->FrameLog()[0].frame & 0xFF, 77);
}

}  // namespace
}  // namespace zd::test
