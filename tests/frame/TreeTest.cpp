// The device tree: its nodes from the device list, the page each node shows with its address,
// the optical selection feedback on the line, and a node of an unknown type.
#include "support/ControlRig.h"

namespace zd::test {
namespace {

// Gear at 3 and 12 on the line; the list knows both, 12 in conflict.
class TreeTest : public ControlRig {
  protected:
    void SetUp() override {
        ControlRig::SetUp();
        for (std::uint8_t address : {3, 12}) {
            sim::GearConfig gear;
            gear.shortAddress = address;
            gear.actualLevel = 100;
            m_gear.push_back(terminal->AddGear(gear));
        }
        Refresh();
        EXPECT_EQ(control->treeDevices.NodeCount(), 1);
        state.devices->Add(clsDevice{0, 12, 12, true});
        state.devices->Add(clsDevice{0, 3, 3, false});
        control->CreateTreeDevices();
        terminal->SetFrameLog(true);
    }
    // The only page shown, checked to be the only one.
    DevicePage* Shown(PageKind kind) const {
        for (int other = 0; other < kPageKindCount; ++other) {
            if (static_cast<PageKind>(other) != kind) {
                EXPECT_EQ(control->Page(static_cast<PageKind>(other)), nullptr) << other;
            }
        }
        return control->Page(kind);
    }
    // The RECALL MAX LEVEL and RECALL MIN LEVEL frames since the last call (the pages' own reads
    // are left out).
    std::vector<std::uint16_t> Frames() {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& f : terminal->FrameLog()) {
            const int command = f.frame & 0x01FF;
            if (command == 0x0105 || command == 0x0106) frames.push_back(f.frame);
        }
        terminal->ClearFrameLog();
        return frames;
    }
    std::vector<int> m_gear;
};

TEST_F(TreeTest, DevicesAppearInAscendingOrderWithTheirThreeSubNodes) {
    std::vector<std::string> rows;
    for (const TreeNode* node : control->treeDevices.Nodes()) {
        rows.push_back((node->Parent() ? node->Parent()->Key() + ">" : "") + node->Key() + "|" +
                       node->Text() + "|" + node->Image());
    }
    EXPECT_EQ(rows,
              (std::vector<std::string>{
                  "Root|Devices|DALI", "Root>03Device|Device #03|LampDALI",
                  "03Device>03Variables|Variables|LampFade", "03Device>03Groups|Groups|Groups",
                  "03Device>03Scenes|Scenes|Scenes", "Root>12Device|Device #12|LampDALIError",
                  "12Device>12Variables|Variables|LampFade", "12Device>12Groups|Groups|Groups",
                  "12Device>12Scenes|Scenes|Scenes"}));
    EXPECT_TRUE(control->treeDevices.Node("Root")->Expanded());
    EXPECT_EQ(std::any_cast<clsDevice*>(control->treeDevices.Node("12Device")->Tag()),
              state.devices->Item(12));
}

TEST_F(TreeTest, EachNodeShowsItsPageForItsAddressAndOnlyThatPage) {
    TreeView& tree = control->treeDevices;
    tree.SelectNode("03Groups");
    DevicePage* groups = Shown(PageKind::Groups);
    ASSERT_NE(groups, nullptr);
    EXPECT_EQ(groups->Name(), "configZD4270Groups");
    EXPECT_EQ(groups->DALIAddr(), 3);
    EXPECT_EQ(groups->DALIAddrType(), kAddrShort);
    EXPECT_EQ(groups->Parent(), &control->tabMain);
    EXPECT_FALSE(control->chkOpticalSelectionFeedback.Visible());
    groups->SetTag("for 3");

    tree.SelectNode("12Groups");
    ASSERT_NE(Shown(PageKind::Groups), nullptr);
    EXPECT_EQ(Shown(PageKind::Groups)->Tag(), "");
    EXPECT_EQ(Shown(PageKind::Groups)->DALIAddr(), 12);
    tree.SelectNode("12Scenes");
    ASSERT_NE(Shown(PageKind::Scenes), nullptr);
    EXPECT_EQ(Shown(PageKind::Scenes)->DALIAddr(), 12);
    tree.SelectNode("03Device");
    DevicePage* light = Shown(PageKind::LightControl);
    ASSERT_NE(light, nullptr);
    EXPECT_EQ(light->DALIAddr(), 3);
    light->SetTag("kept");
    tree.SelectNode("03Device");
    EXPECT_EQ(Shown(PageKind::LightControl)->Tag(), "kept");

    tree.SelectNode("Root");
    ASSERT_NE(Shown(PageKind::Commands), nullptr);
    EXPECT_TRUE(control->chkOpticalSelectionFeedback.Visible());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(TreeTest, InDsiModeADeviceNodeShowsNoPageAndLightsNothing) {
    control->chkOpticalSelectionFeedback.SetChecked(true);
    control->treeDevices.SelectNode("03Device");
    ASSERT_NE(control->Page(PageKind::LightControl), nullptr);
    Frames();
    state.m_nOperationMode = kModeDsi;
    control->treeDevices.SelectNode("03Device");
    EXPECT_EQ(Shown(PageKind::LightControl), nullptr);
    control->treeDevices.SelectNode("12Scenes");
    EXPECT_EQ(Shown(PageKind::Scenes), nullptr);
    EXPECT_TRUE(Frames().empty());
}

TEST_F(TreeTest, FeedbackLightsTheChosenLampOnceAndTheRootDimsThemAll) {
    control->chkOpticalSelectionFeedback.SetChecked(true);
    EXPECT_EQ(Frames(), (std::vector<std::uint16_t>{0xFF06}));
    TreeView& tree = control->treeDevices;
    tree.SelectNode("03Device");
    EXPECT_EQ(Frames(), (std::vector<std::uint16_t>{0xFF06, 0x0705}));
    EXPECT_EQ(terminal->GearLevel(m_gear[0]), 254);
    EXPECT_LT(terminal->GearLevel(m_gear[1]), 100);
    tree.SelectNode("03Variables");
    EXPECT_TRUE(Frames().empty());
    tree.SelectNode("Root");
    EXPECT_EQ(Frames(), (std::vector<std::uint16_t>{0xFF06}));
    tree.SelectNode("03Scenes");
    EXPECT_EQ(Frames().front(), 0xFF06);
    control->chkOpticalSelectionFeedback.SetChecked(false);
    tree.SelectNode("12Device");
    EXPECT_TRUE(Frames().empty());
}

TEST_F(TreeTest, ANodeOfUnknownTypeIsReportedAndRemovesEveryPage) {
    control->treeDevices.SelectNode("03Device");
    control->treeDevices.Add(std::string("Root"), "03Lamp", "?");
    control->treeDevices.SelectNode("03Lamp");
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "Error: treeDevices_NodeClick:03Lamp");
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(Shown(PageKind::Commands), nullptr);
}

}  // namespace
}  // namespace zd::test
