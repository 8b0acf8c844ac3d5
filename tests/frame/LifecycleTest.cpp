// The control's life in the host: what initialisation sets up, the scrolled window following every
// resize, and termination saving the device list once, stopping the watchdog and dropping pages.
#include "devices/DeviceRegistry.h"
#include "support/ControlRig.h"

namespace zd::test {
namespace {

// Each test makes its own controls.
class LifecycleTest : public ControlRig {
  protected:
    void SetUp() override {}
    // A new control refreshed on a word store for the terminal at position 3, holding device 9.
    void NewControlAt3() {
        control = std::make_unique<configZD4270>(ctx.context, registry, state);
        StationShape shape;
        shape.pos = "Pos=\"3\"";
        control->RefreshData(Node(shape), store, UserDataXml());
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        state.devices->Add(clsDevice{0xABCDEF, 9, 9, false});
    }
    std::shared_ptr<WordStore> store = std::make_shared<WordStore>();
};

TEST_F(LifecycleTest, InitialisationSetsListsAndDefaultsInTheChosenLanguage) {
    state.devices->Add(clsDevice{0, 4, 4, false});
    auto before = state.devices;
    control = std::make_unique<configZD4270>(ctx.context, registry, state);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_NE(state.devices, before);
    EXPECT_EQ(state.devices->Count(), 0u);
    // Address lists: 0 to 63, MASK last where a device may lose its address (the addressing tests
    // pick their entries by index, the archive tests fill the grids' 64 rows).
    EXPECT_EQ(control->cboRndAddrStartAddress.ListCount(), 64);
    EXPECT_EQ(control->cboSingleAssignAddress.List(64), "255 (MASK)");
    EXPECT_EQ(control->cboSingleAssignAddress.ListIndex(), 0);
    EXPECT_EQ(control->cboChangeAddrNewAddress.ListIndex(), -1);

    ctx.messages.SetLanguage(Language::German);
    configZD4270 german(ctx.context, registry, state);
    EXPECT_EQ(german.cboSingleAssignAddress.List(64), "255 (MASKE)");
}

TEST_F(LifecycleTest, TheScrolledWindowCoversTheControlAfterEveryResize) {
    control = std::make_unique<configZD4270>(ctx.context, registry, state);
    // Smaller than the tabs: bars, and the contents scroll; large enough: none.
    control->Resize(4000, 3000);
    EXPECT_EQ(control->scrolledWindow.Width(), 4000);
    EXPECT_TRUE(control->scrolledWindow.VerticalBar().Visible());
    control->scrolledWindow.VerticalBar().SetValue(1000);
    EXPECT_EQ(control->tabMain.Top(), -1000);
    control->Resize(20000, 15000);
    EXPECT_EQ(control->scrolledWindow.Height(), 15000);
    EXPECT_FALSE(control->scrolledWindow.VerticalBar().Visible());
}

TEST_F(LifecycleTest, TerminateStopsTheWatchdogSavesOnceAndDropsThePages) {
    NewControlAt3();
    control->SetPage(PageKind::Groups, std::make_unique<DevicePage>("configZD4270Groups"));
    control->Terminate();
    EXPECT_FALSE(control->timerWatchdog.Enabled());
    EXPECT_EQ(control->Page(PageKind::Groups), nullptr);
    EXPECT_EQ(registry.values.size(), 192u);
    registry.values.clear();
    control.reset();  // the destruction after Terminate saves nothing more
    EXPECT_TRUE(registry.values.empty());
    const std::size_t calls = store->calls.size();
    ctx.scheduler.RunFor(2000);
    EXPECT_EQ(store->calls.size(), calls);

    // Destroying without Terminate saves as well, under the terminal's position.
    NewControlAt3();
    control.reset();
    std::string value;
    EXPECT_TRUE(registry.ReadString(RegistryAccess::kHkeyCurrentUser, DeviceRegistryKeyPath(3, 9),
                                    "Random Address", value));
    EXPECT_EQ(value, std::to_string(0xABCDEF));
}

}  // namespace
}  // namespace zd::test
