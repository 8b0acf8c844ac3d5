// The device tree: its nodes from the device list, the page each node shows with its address,
// the optical selection feedback on the line, and a node of an unknown type.
#include <algorithm>

#include "support/ControlRig.h"

namespace zd::test {
namespace {

// Gear at 3 and 12 on the line; the list knows both, 12 in conflict.
class TreeTest : public ControlRig {
  protected:
    void SetUp() override {
        ControlRig::SetUp();
        for (std::uint8_t address : std::initializer_list<std::uint8_t>{3, 12}) {
            sim::GearConfig gear;
            gear.shortAddress = address;
            terminal->AddGear(gear);
        }
        Refresh();
        state.devices->Add(clsDevice{0, 12, 12, true});
        state.devices->Add(clsDevice{0, 3, 3, false});
        control->CreateTreeDevices();
        terminal->SetFrameLog(true);
    }
    // The page shown after a click on key, checked to be the only one.
    DevicePage* Click(const std::string& key, PageKind kind) const {
        control->treeDevices.SelectNode(key);
        for (int other = 0; other < kPageKindCount; ++other) {
            if (static_cast<PageKind>(other) == kind) continue;
            EXPECT_EQ(control->Page(static_cast<PageKind>(other)), nullptr) << key;
        }
        return control->Page(kind);
    }
    // The RECALL MAX LEVEL and RECALL MIN LEVEL frames since the last call.
    std::vector<std::uint16_t> Frames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& f : terminal->FrameLog()) {
            const int command = f.frame & 0x01FF;
            if (command == 0x0105 || command == 0x0106) frames.push_back(f.frame);
        }
        terminal->ClearFrameLog();
        return frames;
    }
};

TEST_F(TreeTest, DevicesAppearInAscendingOrderWithTheirThreeSubNodes) {
    std::string rows;
    for (const TreeNode* node : control->treeDevices.Nodes())
        rows += (node->Parent() ? node->Parent()->Key() + ">" : "") + node->Key() + " ";
    EXPECT_EQ(rows,
              "Root Root>03Device 03Device>03Variables 03Device>03Groups 03Device>03Scenes "
              "Root>12Device 12Device>12Variables 12Device>12Groups 12Device>12Scenes ");
    const TreeNode* device = control->treeDevices.Node("03Device");
    EXPECT_EQ(device->Text() + "|" + device->Image(), "Device #03|LampDALI");
    EXPECT_EQ(control->treeDevices.Node("12Device")->Image(), "LampDALIError");
    EXPECT_EQ(control->treeDevices.Node("12Variables")->Image(), "LampFade");
    EXPECT_TRUE(control->treeDevices.Node("Root")->Expanded());
}

TEST_F(TreeTest, EachNodeShowsItsPageForItsAddressAndOnlyThatPage) {
    const std::tuple<const char*, PageKind, int> clicks[] = {
        {"03Groups", PageKind::Groups, 3},
        {"12Groups", PageKind::Groups, 12},
        {"12Scenes", PageKind::Scenes, 12},
        {"12Variables", PageKind::Variables, 12},
        {"03Device", PageKind::LightControl, 3}};
    for (const auto& [key, kind, address] : clicks) {
        DevicePage* page = Click(key, kind);
        ASSERT_NE(page, nullptr) << key;
        EXPECT_EQ(page->Name(), PageClassName(kind));
        EXPECT_EQ(page->DALIAddr(), address) << key;
        EXPECT_EQ(page->DALIAddrType(), AddressKind::Short);
        EXPECT_EQ(page->Parent(), &control->tabMain);
        EXPECT_FALSE(control->chkOpticalSelectionFeedback.Visible());
        page->SetTag(key);
    }
    // The same node again keeps its page; another device's node replaces it.
    EXPECT_EQ(Click("03Device", PageKind::LightControl)->Tag(), "03Device");
    EXPECT_EQ(Click("12Device", PageKind::LightControl)->Tag(), "");
    ASSERT_NE(Click("Root", PageKind::Commands), nullptr);
    EXPECT_TRUE(control->chkOpticalSelectionFeedback.Visible());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(TreeTest, FeedbackLightsTheChosenLampOnceTheRootDimsThemAllAndDsiShowsNothing) {
    control->chkOpticalSelectionFeedback.SetChecked(true);
    EXPECT_EQ(Frames(), (std::vector<std::uint16_t>{0xFF06}));
    Click("03Device", PageKind::LightControl);
    EXPECT_EQ(Frames(), (std::vector<std::uint16_t>{0xFF06, 0x0705}));
    Click("03Variables", PageKind::Variables);
    EXPECT_TRUE(Frames().empty());
    Click("Root", PageKind::Commands);
    EXPECT_EQ(Frames(), (std::vector<std::uint16_t>{0xFF06}));

    // In DSI mode a device node shows no page and lights nothing.
    state.m_nOperationMode = kModeDsi;
    EXPECT_EQ(Click("12Device", PageKind::LightControl), nullptr);
    EXPECT_EQ(Click("12Scenes", PageKind::Scenes), nullptr);
    EXPECT_TRUE(Frames().empty());
    state.m_nOperationMode = kModeDali;
    control->chkOpticalSelectionFeedback.SetChecked(false);
    Click("12Device", PageKind::LightControl);
    EXPECT_TRUE(Frames().empty());
}

TEST_F(TreeTest, ANodeOfUnknownTypeIsReportedAndRemovesEveryPage) {
    const DevicePage* light = Click("03Device", PageKind::LightControl);
    control->treeDevices.Add(std::string("Root"), "03Lamp", "?");
    EXPECT_EQ(Click("03Lamp", PageKind::Commands), nullptr);
    const auto& children = control->tabMain.Children();
    EXPECT_TRUE(std::find(children.begin(), children.end(), light) == children.end());
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"Error: treeDevices_NodeClick:03Lamp"});
}

}  // namespace
}  // namespace zd::test
