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
        sim::GearConfig inGroup;
        inGroup.shortAddress = 1;
        inGroup.actualLevel = 0;
        inGroup.groups = 1 << 4;
        grouped = AddGear(inGroup);
        sim::GearConfig other;
        other.shortAddress = 2;
        other.actualLevel = 0;
        ungrouped = AddGear(other);
    }
    configZD4270Commands& OpenPage() {
        Start();
        return Open<configZD4270Commands>(PageKind::Commands);
    }
    void Choose(configZD4270Commands& page, int index) { page.cboCommand.SetListIndex(index); }
    int grouped = 0;
    int ungrouped = 0;
};

TEST_F(CommandsPageTest, ACommandToAGroupReachesOnlyItsMembers) {
    auto& page = OpenPage();
    page.Option2.Click();
    EXPECT_EQ(page.AddrType(), kAddrGroup);
    EXPECT_TRUE(page.txtGroupId.Enabled());
    EXPECT_FALSE(page.txtShortAddr.Enabled());
    EXPECT_EQ(page.txtShortAddr.BackColor(), kColorButtonFace);
    page.txtGroupId.Type("4");
    Choose(page, 6);  // Recall MAX LEVEL
    EXPECT_EQ(page.lblCommandId.Caption(), "5");
    EXPECT_FALSE(page.sliDALIData.Visible());
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{GroupFrame(4, 5)}));
    EXPECT_EQ(terminal->GearLevel(grouped), 254);
    EXPECT_EQ(terminal->GearLevel(ungrouped), 0);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(CommandsPageTest, BroadcastDirectArcPowerAndScenesCarryTheDataByte) {
    auto& page = OpenPage();
    EXPECT_EQ(page.AddrType(), kAddrBroadcast);
    EXPECT_EQ(page.lblCommandId.Caption(), "");
    page.sliDALIData.DragTo(55);
    EXPECT_EQ(page.Data(), 200);
    EXPECT_EQ(page.txtDataDec.Text(), "200");
    EXPECT_EQ(page.lblDataHex.Caption(), "C8");
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{0xFEC8}));
    EXPECT_EQ(terminal->GearLevel(ungrouped), 200);

    page.txtDataDec.Type("2");
    Choose(page, 13);  // Go to Scene 3
    EXPECT_EQ(page.CommandId(), 19);
    EXPECT_FALSE(page.txtDataDec.Enabled());
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{0xFF13}));
}

TEST_F(CommandsPageTest, NumberBoxesLimitRefuseAndEmpty) {
    auto& page = OpenPage();
    page.Option3.Click();
    page.txtShortAddr.Type("70");
    EXPECT_EQ(page.txtShortAddr.Text(), "63");
    EXPECT_EQ(page.ShortAddr(), 63);
    page.Option2.Click();
    page.txtGroupId.Type("5");
    page.txtGroupId.Type("5x");
    EXPECT_EQ(page.txtGroupId.Text(), "5");
    EXPECT_EQ(page.GroupId(), 5);
    page.txtDataDec.Type("");
    EXPECT_EQ(page.Data(), 0);
    EXPECT_EQ(page.sliDALIData.Value(), 255);
    page.txtDSIDataDec.Type("171");
    EXPECT_EQ(page.lblDSIDataHex.Caption(), "AB");
    EXPECT_EQ(page.sliDSIData.Value(), 84);
}

TEST_F(CommandsPageTest, ResetIsAskedForAndNoSendsNothing) {
    auto& page = OpenPage();
    Choose(page, 26);
    ctx.dialogs.answers.push_back(MsgResult::No);
    page.btnSendDALICommand.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text.back(), '?');
    EXPECT_EQ(ctx.dialogs.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(TakeFrames().empty());
    page.btnSendDALICommand.Click();
    EXPECT_EQ(TakeFrames().front(), 0xFF20);
}

TEST_F(CommandsPageTest, ADsiCommandIsRefusedInDaliMode) {
    auto& page = OpenPage();
    page.tabCommands.ClickTab(1);
    page.btnSendDSICommand.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "The ZD4270 is not in the DSI-Mode!");
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Information");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_TRUE(terminal->FrameLog().empty());
}

TEST_F(CommandsPageTest, InDsiModeDaliIsRefusedAndTheDsiByteGoesOut) {
    MakeTerminal(0x314D, 0x1000);
    auto& page = OpenPage();
    page.btnSendDALICommand.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "The ZD4270 is not in the DALI-Mode!");
    EXPECT_TRUE(terminal->FrameLog().empty());
    page.txtDSIDataDec.Type("77");
    page.btnSendDSICommand.Click();
    ASSERT_EQ(terminal->FrameLog().size(), 1u);
    EXPECT_TRUE(terminal->FrameLog()[0].dsi);
    EXPECT_EQ(terminal->FrameLog()[0].frame & 0xFF, 77);
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);
}

TEST(PageFactoryTest, EveryKindGivesItsPageHiddenUnderItsClassName) {
    TestContext ctx;
    ModuleState state;
    for (PageKind kind : {PageKind::Commands, PageKind::LightControl, PageKind::Variables,
                          PageKind::Groups, PageKind::Scenes}) {
        std::unique_ptr<DevicePage> page = CreateDevicePage(kind, ctx.context, state);
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->Name(), PageClassName(kind));
        EXPECT_FALSE(page->Visible());
        EXPECT_FALSE(page->Children().empty());
    }
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

}  // namespace
}  // namespace zd::test
