// Lists, trees and grids: which changes raise the user's events, and the rows and nodes that stay
// consistent while the handlers rebuild them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/Grid.h"
#include "ui/ListView.h"
#include "ui/TreeView.h"

namespace zd {
namespace {

TEST(ListViewTest, OnlyUserTicksAndClicksRaiseEventsAndRemovingRenumbers) {
    ListView list("lstViewGroups");
    list.SetCheckBoxes(true);
    for (const char* key : {"a", "b", "c"}) list.AddItem(key, key);
    std::vector<std::string> events;
    list.ItemCheck.Connect([&](ListItem& item) {
        events.push_back(std::to_string(item.Index()) + (item.Checked() ? " on" : " off"));
    });
    list.ItemClick.Connect([&](ListItem& item) { events.push_back("click " + item.Text()); });
    list.Item(1).SetChecked(true);
    list.SetSelectedIndex(1);
    EXPECT_TRUE(list.CheckItem(2, true));
    EXPECT_FALSE(list.CheckItem(2, true));
    EXPECT_TRUE(list.CheckItem(2, false));
    list.ClickItem(3);
    list.ClickItem(3);
    list.SetEnabled(false);
    EXPECT_FALSE(list.CheckItem(1, false));
    EXPECT_FALSE(list.ClickItem(1));
    EXPECT_EQ(events, (std::vector<std::string>{"2 on", "2 off", "click c", "click c"}));

    list.RemoveItem(1);
    EXPECT_EQ(list.FindItem("c")->Index(), 2);
    EXPECT_EQ(list.SelectedItem(), list.FindItem("c"));
    list.RemoveItem(2);
    EXPECT_EQ(list.SelectedItem(), nullptr);
    EXPECT_THROW(list.AddItem("x", "b"), std::invalid_argument);
    EXPECT_THROW(list.Item(2), std::out_of_range);
}

TEST(TreeViewTest, SelectingRaisesNodeClickEvenAgainAndTheHandlerMayRebuildTheTree) {
    TreeView tree("treeDevices");
    tree.Add(std::nullopt, "Root", "Devices", "Root");
    tree.Add("Root", "D3", "Device 3", "Device");
    tree.Add("D3", "V3", "Variables", "Variables");
    tree.Add("Root", "D5", "Device 5", "Error");
    EXPECT_THROW(tree.Add("Root", "D3", "again"), std::invalid_argument);
    EXPECT_THROW(tree.Add("D9", "S9", "Scenes"), std::invalid_argument);
    std::vector<std::string> clicked;
    tree.NodeClick.Connect([&](TreeNode& node) {
        clicked.push_back(node.Key());
        // The end of a scan rebuilds the tree and selects the new root.
        if (node.Key() == "D5") {
            tree.Clear();
            tree.Add(std::nullopt, "Root", "Devices", "Root");
            tree.SelectNode("Root");
        }
    });
    EXPECT_TRUE(tree.SelectNode("V3"));
    EXPECT_TRUE(tree.SelectNode("V3"));
    EXPECT_FALSE(tree.SelectNode("nope"));
    tree.SelectNode("D5");
    EXPECT_EQ(clicked, (std::vector<std::string>{"V3", "V3", "D5", "Root"}));
    EXPECT_EQ(tree.SelectedNode(), tree.Node("Root"));
    EXPECT_EQ(tree.NodeCount(), 1);
}

TEST(GridTest, OnlyNewCellTextsReportAChangeAndClearingKeepsTheHeaderRow) {
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
}

}  // namespace
}  // namespace zd
