// The light control page on the simulated line: its buttons and direct arc power reach the line,
// its queries show the gear's answers, and nothing is sent before the page is shown.
#include "PageRig.h"
#include "pages/configZD4270LightControl.h"

namespace zd::test {
namespace {

class LightControlPageTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig gear;
        gear.shortAddress = 5;
        gear.actualLevel = 100;
        gear.physicalMinimum = 85;
        gearId = AddGear(gear);
        Start();
        page = &Open<configZD4270LightControl>(PageKind::LightControl, 5);
        // Opened, the page asks the gear's device type for its colour panel.
        EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{ShortFrame(5, 153)}));
    }
    std::string Query(int index) {
        page->cboQuery.SetListIndex(index);
        page->btnSendQuery.Click();
        return page->lblQueryAnswer.Caption();
    }
    int gearId = 0;
    configZD4270LightControl* page = nullptr;
};

TEST_F(LightControlPageTest, ButtonsSwitchAndDimTheAddressedGear) {
    for (Button* button :
         {&page->btnOff, &page->bntnRecallMaxLevel, &page->bntnRecallMinLevel, &page->btnUp})
        button->Click();
    page->cboGotoScene.SetListIndex(15);
    page->btnGotoScene.Click();
    EXPECT_EQ(TakeFrames(),
              (std::vector<std::uint16_t>{ShortFrame(5, 0), ShortFrame(5, 5), ShortFrame(5, 6),
                                          ShortFrame(5, 1), ShortFrame(5, 31)}));
    // An address type outside its range is ignored.
    page->SetDALIAddrType(AddressKindFromNumber(3));
    page->btnOff.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{ShortFrame(5, 0)}));
    page->SetDALIAddrType(AddressKind::Broadcast);
    page->btnOff.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{0xFF00}));
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(LightControlPageTest, SliderAndTextBoxSetTheLevelAndItsPercentage) {
    page->sliLightLevel.DragTo(128);
    EXPECT_EQ(page->txtLightLevel.Text(), "128");
    EXPECT_EQ(page->lblLightLevelPerCent.Caption(), "3.206");
    EXPECT_EQ(terminal->GearLevel(gearId), 128);

    page->txtLightLevel.Type("007");
    EXPECT_EQ(page->txtLightLevel.Text(), "7");
    EXPECT_EQ(page->sliLightLevel.Value(), 7);
    page->txtLightLevel.Type("7a");
    EXPECT_EQ(page->txtLightLevel.Text(), "7");
    EXPECT_EQ(TakeFrames().back(), ArcFrame(5, 7));
    // Too large a number and an empty box both mean level 0.
    page->txtLightLevel.Type("300");
    EXPECT_EQ(page->txtLightLevel.Text(), "0");
    EXPECT_EQ(TakeFrames().back(), ArcFrame(5, 0));
    page->txtLightLevel.Type("90");
    page->txtLightLevel.Type("");
    EXPECT_EQ(page->sliLightLevel.Value(), 0);
    EXPECT_EQ(TakeFrames().back(), ArcFrame(5, 0));

    page->sliLightLevel.SetValue(255);
    EXPECT_EQ(page->lblLightLevelPerCent.Caption(), "MASK");
    EXPECT_EQ(TakeFrames().back(), ArcFrame(5, 255));
}

TEST_F(LightControlPageTest, QueriesShowTheAnswersAndFailuresAsNoOrQuestionMark) {
    EXPECT_EQ(Query(0), "Yes");
    EXPECT_EQ(Query(7), "6");
    terminal->Gear(gearId).Faults().m_silent = true;
    EXPECT_EQ(Query(0), "No");
    EXPECT_EQ(Query(7), "?");
    EXPECT_TRUE(page->btnSendQuery.Enabled());
    // A send that fails is "?" even for a yes/no query.
    terminal->Faults().m_collideNextCommands = 1;
    EXPECT_EQ(Query(0), "?");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST(LightControlPageShowTest, NothingIsSentBeforeThePageIsShown) {
    TestContext ctx;
    configZD4270LightControl page(ctx.context);
    int raised = 0;
    page.ObjectEvent.Connect([&](std::string_view, EventParams&) { ++raised; });
    page.SetDALIAddr(3);
    page.txtLightLevel.Type("50");
    page.btnOff.Click();
    page.btnSendQuery.Click();
    EXPECT_EQ(raised, 0);
    page.SetVisible(true);
    page.btnOff.Click();
    EXPECT_EQ(raised, 1);
}

}  // namespace
}  // namespace zd::test
