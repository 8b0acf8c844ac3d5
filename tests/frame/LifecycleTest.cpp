// The control's life in the host: what initialisation sets up (captions, lists, defaults, an
// empty device list), the scrolled window following every resize, and termination saving the
// device list once, stopping the watchdog and dropping the pages.
#include "support/ControlRig.h"

namespace zd::test {
namespace {

class LifecycleTest : public ::testing::Test {
  protected:
    TempWorkingFolder folder;
    TestContext ctx;
    MemoryRegistry registry;
    ModuleState state;
};

TEST_F(LifecycleTest, InitialisationSetsCaptionsListsAndDefaults) {
    state.devices->Add(clsDevice{0, 4, 4, false});
    auto before = state.devices;
    configZD4270 control(ctx.context, registry, state);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    // A new, empty device list.
    EXPECT_NE(state.devices, before);
    EXPECT_EQ(state.devices->Count(), 0u);

    EXPECT_EQ(control.tabMain.TabCaption(0), "Device settings");
    EXPECT_EQ(control.tabMain.TabCaption(3), "Archiv");
    EXPECT_EQ(control.tabAddressing.TabCaption(1), "Random addressing");
    EXPECT_EQ(control.tabAddressing.TabCaption(3), "Change address");
    EXPECT_EQ(control.tabArchiv.TabCaption(0), "Scenes");
    EXPECT_EQ(control.tabArchiv.TabCaption(1), "Groups");
    EXPECT_EQ(control.tabMain.Tab(), 0);
    EXPECT_EQ(control.tabAddressing.Tab(), 0);
    EXPECT_EQ(control.lblChannel.Caption(), "Channel");
    EXPECT_EQ(control.cmdScanDevices.Caption(), "Scan Devices");
    EXPECT_EQ(control.chkOpticalSelectionFeedback.Caption(), "optical selection feedback");
    EXPECT_TRUE(control.chkOpticalSelectionFeedback.Visible());
    EXPECT_FALSE(control.prgState.Visible());
    EXPECT_EQ(control.prgState.Max(), 63);
    EXPECT_EQ(control.fraCountDALIDevices.Caption(), "Count DALI Devices ");

    // Address lists: 0 to 63, MASK last where a device may lose its address.
    EXPECT_EQ(control.cboPhySelStartAddress.ListCount(), 64);
    EXPECT_EQ(control.cboPhySelStartAddress.ListIndex(), 0);
    EXPECT_EQ(control.cboRndAddrStartAddress.List(63), "63");
    EXPECT_EQ(control.cboSingleAssignAddress.ListCount(), 65);
    EXPECT_EQ(control.cboSingleAssignAddress.List(64), "255 (MASK)");
    EXPECT_EQ(control.cboSingleAssignAddress.ListIndex(), 0);
    EXPECT_EQ(control.cboChangeAddrNewAddress.ListCount(), 65);
    EXPECT_EQ(control.cboChangeAddrNewAddress.ListIndex(), -1);
    EXPECT_TRUE(control.chkPhySelCompleteNewInstallation.IsChecked());
    EXPECT_TRUE(control.chkRndAddrCompleteNewInstallation.IsChecked());
    EXPECT_FALSE(control.chkRndAddrDeleteAllScenes.IsChecked());
    ASSERT_EQ(control.lstChangeAddrView.Columns().size(), 2u);
    EXPECT_EQ(control.lstChangeAddrView.Columns()[1].text, "new addr.");

    EXPECT_EQ(control.gridScenes.Rows(), 65);
    EXPECT_EQ(control.gridGroups.Cols(), 17);
    EXPECT_EQ(control.gridScenes.FontName(), "Courier New");
    EXPECT_EQ(control.gridScenes.FontSize(), 8);
    EXPECT_FALSE(control.gridGroups.FontBold());
    ASSERT_EQ(control.mnuArchivOptions.Entries().size(), 5u);
    EXPECT_TRUE(control.mnuArchivOptions.Entries()[2].separator);

    EXPECT_FALSE(control.timerWatchdog.Enabled());
    EXPECT_FALSE(control.m_bRndAddrRunning);
    for (int kind = 0; kind < kPageKindCount; ++kind) {
        EXPECT_EQ(control.Page(static_cast<PageKind>(kind)), nullptr);
    }
}

TEST_F(LifecycleTest, CaptionsFollowTheLanguage) {
    ctx.messages.SetLanguage(Language::German);
    configZD4270 control(ctx.context, registry, state);
    EXPECT_EQ(control.tabMain.TabCaption(0), "Geräte Einstellungen");
    EXPECT_EQ(control.tabAddressing.TabCaption(3), "Adressen ändern");
    EXPECT_EQ(control.lblChannel.Caption(), "Kanal");
    EXPECT_EQ(control.cboSingleAssignAddress.List(64), "255 (MASKE)");
}

TEST_F(LifecycleTest, TheScrolledWindowCoversTheControlAfterEveryResize) {
    configZD4270 control(ctx.context, registry, state);
    control.Resize(20000, 15000);
    EXPECT_EQ(control.scrolledWindow.Left(), 0);
    EXPECT_EQ(control.scrolledWindow.Top(), 0);
    EXPECT_EQ(control.scrolledWindow.Width(), 20000);
    EXPECT_EQ(control.scrolledWindow.Height(), 15000);
    EXPECT_FALSE(control.scrolledWindow.HorizontalBar().Visible());
    EXPECT_FALSE(control.scrolledWindow.VerticalBar().Visible());

    // Smaller than the tabs: both bars, and the contents scroll.
    control.Resize(4000, 3000);
    EXPECT_EQ(control.scrolledWindow.Width(), 4000);
    EXPECT_TRUE(control.scrolledWindow.HorizontalBar().Visible());
    EXPECT_TRUE(control.scrolledWindow.VerticalBar().Visible());
    control.scrolledWindow.VerticalBar().SetValue(1000);
    EXPECT_EQ(control.tabMain.Top(), -1000);
    EXPECT_EQ(control.scrolledWindow.GetYOffset(), -1000);
}

TEST_F(LifecycleTest, TerminateStopsTheWatchdogSavesOnceAndDropsThePages) {
    auto store = std::make_shared<WordStore>();
    store->words[{3, 0, 9}] = 0x314D;
    XmlDocument station;
    StationShape shape;
    shape.pos = "Pos=\"3\"";
    ASSERT_TRUE(station.LoadXml(StationXml(shape)));
    {
        configZD4270 control(ctx.context, registry, state);
        control.RefreshData(station.DocumentNode().SelectSingleNode("Station/Coupler/Device"),
                            store, UserDataXml());
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        state.devices->Add(clsDevice{0xABCDEF, 9, 9, false});
        control.SetPage(PageKind::Groups, std::make_unique<DevicePage>("configZD4270Groups"));
        control.Terminate();
        EXPECT_FALSE(control.timerWatchdog.Enabled());
        EXPECT_EQ(control.Page(PageKind::Groups), nullptr);
        EXPECT_EQ(registry.values.size(), 192u);
        registry.values.clear();
    }  // the host's destruction after Terminate saves nothing more
    EXPECT_TRUE(registry.values.empty());
    ctx.scheduler.RunFor(2000);
    EXPECT_EQ(store->CountWrites(99), 0u);

    // Destroying without Terminate saves as well, under the terminal's position.
    {
        configZD4270 control(ctx.context, registry, state);
        control.RefreshData(station.DocumentNode().SelectSingleNode("Station/Coupler/Device"),
                            store, UserDataXml());
        state.devices->Add(clsDevice{0xABCDEF, 9, 9, false});
    }
    std::string value;
    EXPECT_TRUE(registry.ReadString(
        RegistryAccess::kHkeyCurrentUser,
        "Software\\VB and VBA Program Settings\\OrvixVTermZD4270\\Terminal_3\\Devices\\09",
        "Random Address", value));
    EXPECT_EQ(value, std::to_string(0xABCDEF));
}

TEST_F(LifecycleTest, TwoControlsShareTheLibraryWideState) {
    configZD4270 first(ctx.context, registry, state);
    auto store = std::make_shared<WordStore>();
    XmlDocument station;
    ASSERT_TRUE(station.LoadXml(StationXml({})));
    first.RefreshData(station.DocumentNode().SelectSingleNode("Station/Coupler/Device"), store,
                      UserDataXml());
    configZD4270 second(ctx.context, registry, state);
    EXPECT_EQ(second.State().objDevCom, store);
    EXPECT_EQ(&second.State(), &first.State());
}

}  // namespace
}  // namespace zd::test
