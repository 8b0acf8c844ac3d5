// The colour temperature parts of the device pages on the simulated line: shown for type 8 gear
// only, the slider moves the gear's colour, the limits are stored from the Variables page, and
// other gear see no panel and (on the Variables page) no extra traffic.
#include <algorithm>

#include "PageRig.h"
#include "pages/configZD4270LightControl.h"
#include "pages/configZD4270Variables.h"

namespace zd::test {
namespace {

class ColourPanelTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig colour;
        colour.shortAddress = 5;
        colour.deviceType = 8;
        colourId = AddGear(colour);
        sim::GearConfig led;
        led.shortAddress = 6;
        AddGear(led);
        Start();
    }
    const sim::ColourConfig& Colour() { return terminal->Gear(colourId).Colour()->State(); }
    int colourId = 0;
};

TEST_F(ColourPanelTest, TheSliderOfType8GearSetsItsColour) {
    auto& page = Open<configZD4270LightControl>(PageKind::LightControl, 5);
    page.SetVisible(true);
    ColourPanel& panel = page.colourPanel;
    ASSERT_TRUE(panel.Shown());
    EXPECT_EQ(panel.sliColour.Min(), 2703);  // 370 mirek
    EXPECT_EQ(panel.sliColour.Max(), 6494);  // 154 mirek
    EXPECT_EQ(panel.sliColour.Value(), 4000);
    EXPECT_EQ(panel.lblColourValue.Caption(), "4000 K");
    // Showing the panel sent no colour.
    EXPECT_EQ(Colour().actual, 250);

    panel.sliColour.DragTo(3000);
    EXPECT_EQ(Colour().actual, 333);
    EXPECT_EQ(panel.lblColourValue.Caption(), "3000 K");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    auto& led = Open<configZD4270LightControl>(PageKind::LightControl, 6);
    led.SetVisible(true);
    EXPECT_FALSE(led.colourPanel.Shown());
}

TEST_F(ColourPanelTest, TheVariablesPageShowsAndStoresTheLimits) {
    auto& page = Open<configZD4270Variables>(PageKind::Variables, 5);
    ColourPanel& panel = page.colourPanel;
    ASSERT_TRUE(panel.Shown());
    EXPECT_EQ(panel.txtCoolest.Text(), "6494");
    EXPECT_EQ(panel.txtWarmest.Text(), "2703");

    panel.txtCoolest.SetText("5000");
    panel.txtWarmest.SetText("3000");
    panel.btnStoreLimits.Click();
    EXPECT_EQ(Colour().coolest, 200);
    EXPECT_EQ(Colour().warmest, 333);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    // A limit beyond the physical one: the gear keeps its own, and the page says so.
    panel.txtCoolest.SetText("20000");
    panel.btnStoreLimits.Click();
    EXPECT_EQ(panel.txtCoolest.Text(), "6494");
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_NE(ctx.dialogs.boxes[0].text.find("keeps its limits"), std::string::npos);
    panel.txtWarmest.SetText("warm");
    panel.btnStoreLimits.Click();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes[1].text, "A colour temperature is 16 K to 1000000 K.");
    // Room for the limits: the list gives up part of its height while they are shown.
    EXPECT_LT(page.lstViewVariables.Height(), 3360);

    // Plain LED gear: no panel, and nothing sent beyond the page's own queries.
    TakeFrames();
    auto& led = Open<configZD4270Variables>(PageKind::Variables, 6);
    EXPECT_FALSE(led.colourPanel.Shown());
    EXPECT_EQ(led.lstViewVariables.Height(), 3360);
    const std::vector<std::uint16_t> frames = TakeFrames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), ShortFrame(6, 153)), 1);
}

}  // namespace
}  // namespace zd::test
