// The scenes page on the simulated line: the gear's scene levels read into the list, the edited
// level previewed on the lamp, and a level stored as a scene in the gear.
#include "PageRig.h"
#include "pages/configZD4270Scenes.h"

namespace zd::test {
namespace {

class ScenesPageTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig gear;
        gear.shortAddress = 9;
        gear.scenes[0] = 40;
        gear.scenes[3] = 0;
        gear.scenes[5] = 128;
        gearId = AddGear(gear);
        Start();
    }
    static std::string Cell(configZD4270Scenes& page, int scene, int column) {
        return page.lstViewScenes.Item(scene + 1).SubItem(column);
    }
    int gearId = 0;
};

TEST_F(ScenesPageTest, ReadsTheLevelsAndShowsSceneZeroOnTheLamp) {
    auto& page = Open<configZD4270Scenes>(PageKind::Scenes, 9);
    EXPECT_EQ(Cell(page, 3, 2), "0 %");
    EXPECT_EQ(Cell(page, 5, 1), "128");
    EXPECT_EQ(Cell(page, 7, 2), "MASK");
    EXPECT_EQ(page.txtValue.Text(), "40");
    const std::vector<std::uint16_t> frames = TakeFrames();
    ASSERT_EQ(frames.size(), 17u);
    EXPECT_EQ(frames[15], ShortFrame(9, 176 + 15));
    EXPECT_EQ(frames.back(), ArcFrame(9, 40));
    page.SetDALIAddr(9);
    EXPECT_TRUE(TakeFrames().empty());

    terminal->Gear(gearId).Faults().m_silent = true;
    page.btnRefreshList.Click();
    EXPECT_EQ(Cell(page, 3, 1), "?");
    EXPECT_EQ(Cell(page, 3, 2), "? %");
    EXPECT_TRUE(page.btnRefreshList.Enabled());
}

TEST_F(ScenesPageTest, EditingPreviewsOnTheShortAddressAndSavingStoresTheScene) {
    auto& page = Open<configZD4270Scenes>(PageKind::Scenes, 9);
    page.SetDALIAddrType(AddressKind::Group);
    page.lstViewScenes.ClickItem(6);
    TakeFrames();
    page.txtValue.Type("300");
    EXPECT_EQ(page.txtValue.Text(), "255");
    EXPECT_EQ(TakeFrames().back(), ArcFrame(9, 255));

    page.SetDALIAddrType(AddressKind::Short);
    page.sliValue.DragTo(100);
    EXPECT_EQ(terminal->GearLevel(gearId), 100);
    TakeFrames();
    page.btnSaveToDevice.Click();
    EXPECT_EQ(terminal->Gear(gearId).SceneLevel(5), 100);
    EXPECT_EQ(TakeFrames().front(), DtrFrame(100));
    EXPECT_EQ(Cell(page, 5, 1), "100");

    // A DTR that fails sends no store, yet the row shows the level.
    // (A collided frame goes out again: this one collides every time.)
    page.lstViewScenes.ClickItem(1);
    page.sliValue.SetValue(255);
    terminal->Faults().m_collideNextCommands = 1 + kCollisionRetries;
    page.btnSaveToDevice.Click();
    EXPECT_EQ(terminal->Gear(gearId).SceneLevel(0), 40);
    EXPECT_EQ(Cell(page, 0, 2), "MASK");
    page.btnSaveToDevice.Click();
    EXPECT_EQ(terminal->Gear(gearId).SceneLevel(0), 255);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

}  // namespace
}  // namespace zd::test
