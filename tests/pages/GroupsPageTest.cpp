// The groups page on the simulated line: the check boxes mirror the gear's groups, a failed query
// marks its eight groups "?", and the user's tick or clearing changes the gear's membership.
#include "PageRig.h"
#include "pages/configZD4270Groups.h"

namespace zd::test {
namespace {

class GroupsPageTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig gear;
        gear.shortAddress = 7;
        gear.groups = 0x8005;  // groups 0, 2 and 15
        gearId = AddGear(gear);
        Start();
    }
    configZD4270Groups& OpenPage() { return Open<configZD4270Groups>(PageKind::Groups, 7); }
    static std::vector<int> Checked(configZD4270Groups& page) {
        std::vector<int> groups;
        for (int i = 1; i <= page.lstViewGroups.ItemCount(); ++i) {
            if (page.lstViewGroups.Item(i).Checked()) groups.push_back(i - 1);
        }
        return groups;
    }
    int gearId = 0;
};

TEST_F(GroupsPageTest, CheckBoxesMirrorTheGearAndTicksChangeIt) {
    auto& page = OpenPage();
    EXPECT_EQ(Checked(page), (std::vector<int>{0, 2, 15}));
    EXPECT_EQ(page.lstViewGroups.Item(16).Text(), "Group 15");
    // Setting the boxes from the read sends nothing but the two queries.
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{ShortFrame(7, 192), ShortFrame(7, 193)}));
    page.SetDALIAddr(7);
    EXPECT_TRUE(TakeFrames().empty());

    page.lstViewGroups.CheckItem(4, true);
    EXPECT_EQ(terminal->Gear(gearId).Groups(), 0x800D);
    page.lstViewGroups.CheckItem(1, false);
    EXPECT_EQ(terminal->Gear(gearId).Groups(), 0x800C);
    const std::vector<std::uint16_t> frames = TakeFrames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.front(), ShortFrame(7, 96 + 3));
    EXPECT_EQ(frames.back(), ShortFrame(7, 112 + 0));
    EXPECT_TRUE(page.Member(3));
    EXPECT_FALSE(page.Member(0));
}

TEST_F(GroupsPageTest, AFailedQueryMarksItsEightGroups) {
    // Silent from the second query on: the pass before it lets pending messages be processed.
    AtDoEventsPass(3, [this] { terminal->Gear(gearId).Faults().m_silent = true; });
    auto& page = OpenPage();
    EXPECT_EQ(Checked(page), (std::vector<int>{0, 2}));
    for (int item = 9; item <= 16; ++item) EXPECT_EQ(page.lstViewGroups.Item(item).Text(), "?");

    terminal->Gear(gearId).Faults().m_silent = false;
    page.btnRefreshList.Click();
    EXPECT_EQ(Checked(page), (std::vector<int>{0, 2, 15}));
    EXPECT_EQ(page.lstViewGroups.Item(9).Text(), "Group 8");
}

}  // namespace
}  // namespace zd::test
