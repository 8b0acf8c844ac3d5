#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/Grid.h"
#include "ui/ListView.h"
#include "ui/PopupMenu.h"
#include "ui/TreeView.h"

namespace zd {
namespace {

TEST(ListViewTest, CodeSetsCheckBoxesSilentlyUserTickRaisesItemCheck) {
    ListView list("lstViewGroups", ListViewStyle::List);
    list.SetCheckBoxes(true);
    for (int g = 0; g < 16; ++g) list.AddItem("Group " + std::to_string(g));
    std::vector<std::pair<int, bool>> checks;
    list.ItemCheck.Connect(
        [&](ListItem& item) { checks.emplace_back(item.Index(), item.Checked()); });

    list.Item(3).SetChecked(true);
    list.Item(3).SetChecked(false);
    EXPECT_TRUE(checks.empty());

    EXPECT_TRUE(list.CheckItem(5, true));
    EXPECT_FALSE(list.CheckItem(5, true));
    EXPECT_TRUE(list.CheckItem(5, false));
    list.SetEnabled(false);
    EXPECT_FALSE(list.CheckItem(6, true));
    EXPECT_FALSE(list.Item(6).Checked());
    EXPECT_EQ(checks, (std::vector<std::pair<int, bool>>{{5, true}, {5, false}}));
}

TEST(ListViewTest, ClickSelectsAndRaisesItemClickSettingTheSelectionDoesNot) {
    ListView list("lstChangeAddrView");
    list.AddColumn("Addr", "Addr.", 800);
    list.AddColumn("NewAddr", "new addr.", 1200);
    auto device = std::make_shared<int>(7);
    ListItem& row = list.AddItem("7", "", "Lamp");
    row.SetSubItem(1, "9");
    row.SetTag(device);
    list.AddItem("8", "", "Lamp");
    std::vector<std::string> clicked;
    list.ItemClick.Connect([&](ListItem& item) { clicked.push_back(item.Text()); });

    list.SetSelectedIndex(1);
    EXPECT_TRUE(clicked.empty());
    EXPECT_TRUE(list.Item(1).Selected());

    list.ClickItem(2);
    list.ClickItem(2);
    EXPECT_EQ(clicked, (std::vector<std::string>{"8", "8"}));
    EXPECT_EQ(list.SelectedItem(), &list.Item(2));
    EXPECT_FALSE(list.ClickItem(3));

    EXPECT_EQ(list.Item(1).SubItem(1), "9");
    EXPECT_EQ(list.Item(1).SubItem(2), "");
    EXPECT_EQ(*std::any_cast<std::shared_ptr<int>>(list.Item(1).Tag()), 7);
}

TEST(ListViewTest, RemovingRowsRenumbersAndClearsASelectionOfTheRemovedRow) {
    ListView list("lstRndAddrView");
    list.AddItem("1", "a");
    list.AddItem("2", "b");
    list.AddItem("3", "c");
    list.SetSelectedIndex(2);
    list.RemoveItem(1);
    EXPECT_EQ(list.FindItem("c")->Index(), 2);
    EXPECT_EQ(list.SelectedItem(), list.FindItem("b"));
    list.RemoveItem(1);
    EXPECT_EQ(list.SelectedItem(), nullptr);
    EXPECT_THROW(list.AddItem("x", "c"), std::invalid_argument);
    EXPECT_THROW(list.Item(2), std::out_of_range);
    list.Clear();
    EXPECT_EQ(list.ItemCount(), 0);
    EXPECT_EQ(list.FindItem("c"), nullptr);
}

TEST(ListViewTest, RowEditsAnnounceTheListChange) {
    ListView list("lstPhySelView");
    ListItem& row = list.AddItem("1");
    int changes = 0;
    list.OnChanged.Connect([&] { ++changes; });
    row.SetSubItem(1, "5");
    row.SetSubItem(1, "5");
    row.SetText("1");
    row.SetSmallIcon("Lamp");
    EXPECT_EQ(changes, 2);
}

class TreeViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tree.Add(std::nullopt, "Root", "Devices", "Root");
        tree.Add("Root", "D3", "Device 3", "Device");
        tree.Add("D3", "V3", "Variables", "Variables");
        tree.Add("D3", "G3", "Groups", "Groups");
        tree.Add("Root", "D5", "Device 5", "Error");
        tree.NodeClick.Connect([this](TreeNode& node) { clicked.push_back(node.Key()); });
    }
    TreeView tree{"treeDevices"};
    std::vector<std::string> clicked;
};

TEST_F(TreeViewTest, NodesKnowTheirParentChildrenAndKeys) {
    TreeNode* device = tree.Node("D3");
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Parent(), tree.Node("Root"));
    ASSERT_EQ(device->Children().size(), 2u);
    EXPECT_EQ(device->Children()[1]->Text(), "Groups");
    EXPECT_EQ(tree.Node("D5")->Image(), "Error");
    EXPECT_EQ(tree.Roots(), (std::vector<TreeNode*>{tree.Node("Root")}));
    EXPECT_EQ(tree.Node("D4"), nullptr);
    EXPECT_THROW(tree.Add("Root", "D3", "again"), std::invalid_argument);
    EXPECT_THROW(tree.Add("D9", "S9", "Scenes"), std::invalid_argument);
    EXPECT_EQ(tree.NodeCount(), 5);
}

TEST_F(TreeViewTest, SelectingRaisesNodeClickEvenForTheSelectedNode) {
    EXPECT_TRUE(tree.SelectNode("V3"));
    EXPECT_TRUE(tree.SelectNode("V3"));
    EXPECT_FALSE(tree.SelectNode("nope"));
    EXPECT_EQ(clicked, (std::vector<std::string>{"V3", "V3"}));
    EXPECT_TRUE(tree.Node("V3")->Selected());
    EXPECT_EQ(tree.SelectedNode()->Key(), "V3");
}

TEST_F(TreeViewTest, ClearDropsNodesAndSelectionAndAllowsTheSameKeysAgain) {
    tree.SelectNode("D5");
    tree.Clear();
    EXPECT_EQ(tree.SelectedNode(), nullptr);
    EXPECT_EQ(tree.NodeCount(), 0);
    EXPECT_EQ(tree.Node("D5"), nullptr);
    tree.Add(std::nullopt, "Root", "Devices", "Root");
    EXPECT_TRUE(tree.SelectNode("Root"));
    EXPECT_EQ(clicked, (std::vector<std::string>{"D5", "Root"}));
}

TEST_F(TreeViewTest, HandlerMayRebuildTheTree) {
    // A click that rebuilds the tree and selects the new root, as the end of a scan does.
    tree.NodeClick.Connect([this](TreeNode& node) {
        if (node.Key() == "D5") {
            tree.Clear();
            tree.Add(std::nullopt, "Root", "Devices", "Root");
            tree.SelectNode("Root");
        }
    });
    tree.SelectNode("D5");
    EXPECT_EQ(clicked, (std::vector<std::string>{"D5", "Root"}));
    EXPECT_EQ(tree.SelectedNode(), tree.Node("Root"));
}

TEST(GridTest, CellsSurviveAResizeAndReportTheirChange) {
    Grid grid("gridScenes");
    grid.SetSize(65, 17);
    grid.SetTextMatrix(0, 1, "0");
    grid.SetTextMatrix(64, 16, "254");
    std::vector<std::pair<int, int>> changed;
    grid.CellChanged.Connect([&](int r, int c) { changed.emplace_back(r, c); });
    grid.SetTextMatrix(64, 16, "254");
    grid.SetTextMatrix(2, 3, "?");
    EXPECT_EQ(changed, (std::vector<std::pair<int, int>>{{2, 3}}));

    grid.ClearData();
    EXPECT_EQ(grid.TextMatrix(0, 1), "0");
    EXPECT_EQ(grid.TextMatrix(64, 16), "");
    grid.SetTextMatrix(1, 1, "7");
    grid.SetCols(20);
    EXPECT_EQ(grid.TextMatrix(1, 1), "7");
    EXPECT_EQ(grid.TextMatrix(1, 19), "");
    EXPECT_THROW(grid.TextMatrix(65, 0), std::out_of_range);
    EXPECT_THROW(grid.SetTextMatrix(0, 20, "x"), std::out_of_range);
}

TEST(PopupMenuTest, PopupLetsItsHandlerChooseAnEntryBeforeReturning) {
    PopupMenu menu("mnuArchivOptions");
    menu.AddEntry("mnuArchivOptionsLoad", "Open");
    menu.AddEntry("mnuArchivOptionsSave", "Save");
    menu.AddSeparator("mnuArchivOptionsSeparator01");
    menu.AddEntry("mnuArchivOptionsDownload", "Download");
    std::vector<std::string> chosen;
    menu.Clicked.Connect([&](const std::string& name) { chosen.push_back(name); });
    menu.OnPopup.Connect([&](double, double) {
        menu.ClickEntry("mnuArchivOptionsSeparator01");
        menu.ClickEntry("mnuArchivOptionsSave");
    });

    menu.Popup(400, 8560);
    ASSERT_TRUE(menu.LastPopup());
    EXPECT_EQ(menu.LastPopup()->y, 8560);
    menu.SetEntryEnabled("mnuArchivOptionsDownload", false);
    EXPECT_FALSE(menu.ClickEntry("mnuArchivOptionsDownload"));
    EXPECT_EQ(chosen, (std::vector<std::string>{"mnuArchivOptionsSave"}));
    EXPECT_THROW(menu.AddEntry("mnuArchivOptionsSave", "again"), std::invalid_argument);
}

}  // namespace
}  // namespace zd
