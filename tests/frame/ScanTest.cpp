// The device scan on simulated lines: what it finds, the lock while it runs, cancel and the
// refusal in DSI mode.
#include <numeric>

#include "support/ControlRig.h"

namespace zd::test {
namespace {

class ScanTest : public ControlRig {
  protected:
    void Prepare(const std::string& line) {
        UseLineFile(line);
        Refresh();
        terminal->SetFrameLog(true);
    }
    bool Finished() {
        return ctx.scheduler.RunUntil([this] { return !control->Scanning(); }, 60000);
    }
    // The short addresses asked with QUERY BALLAST, in order.
    std::vector<int> Queried() {
        std::vector<int> addresses;
        for (const sim::SentFrame& f : terminal->FrameLog())
            if ((f.frame & 0x01FF) == 0x0191) addresses.push_back(f.frame >> 9);
        return addresses;
    }
    std::string Keys() const {
        std::string keys;
        for (const auto& [key, device] : state.devices->Items())
            keys += key + (device->m_bDALIConflict ? "! " : " ");
        return keys;
    }
};

TEST_F(ScanTest, LocksTheControlThenReplacesTheListAndShowsTheRootPage) {
    Prepare("three-addressed.json");
    state.devices->Add(clsDevice{0, 12, 12, false});
    control->CreateTreeDevices();
    control->treeDevices.SelectNode("12Device");
    control->cmdScanDevices.Click();
    EXPECT_EQ(control->Page(PageKind::LightControl), nullptr);
    EXPECT_EQ(control->cmdScanDevices.Caption(), "Cancel");
    EXPECT_FALSE(control->treeDevices.Enabled() || control->tabMain.TabEnabled(3));

    ASSERT_TRUE(Finished());
    EXPECT_EQ(Keys(), "0 5 63 ");
    std::vector<int> all(64);
    std::iota(all.begin(), all.end(), 0);
    EXPECT_EQ(Queried(), all);
    EXPECT_EQ(control->treeDevices.NodeCount(), 1 + 3 * 4);
    EXPECT_NE(control->Page(PageKind::Commands), nullptr);
    EXPECT_EQ(control->cmdScanDevices.Caption(), "Scan Devices");
    EXPECT_TRUE(control->treeDevices.Enabled() && control->tabMain.TabEnabled(3));
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(ScanTest, SharedAddressIsOneDeviceInConflict) {
    Prepare("shared-address.json");
    control->cmdScanDevices.Click();
    ASSERT_TRUE(Finished());
    EXPECT_EQ(Keys(), "7! 8 ");
}

// The quick check box: the same devices, each address asked as soon as the one before has been
// answered, and locked with the rest while the scan runs.
TEST_F(ScanTest, TheQuickScanFindsTheLineInAFractionOfTheTime) {
    Prepare("full-line.json");
    control->chkScanQuick.Click();
    const std::int64_t start = ctx.scheduler.Now();
    control->cmdScanDevices.Click();
    EXPECT_FALSE(control->chkScanQuick.Enabled());
    ASSERT_TRUE(Finished());
    EXPECT_EQ(state.devices->Count(), 64u);
    EXPECT_EQ(Queried().size(), 64u);
    EXPECT_LE(ctx.scheduler.Now() - start, 2600);
    EXPECT_TRUE(control->chkScanQuick.Enabled());
}

TEST_F(ScanTest, CancelFinishesOnTheDevicesFoundSoFar) {
    Prepare("full-line.json");
    control->cmdScanDevices.Click();
    ASSERT_TRUE(ctx.scheduler.RunUntil([this] { return control->ScanAddress() > 20; }, 60000));
    control->cmdScanDevices.Click();
    EXPECT_FALSE(control->Scanning());
    EXPECT_EQ(state.devices->Count(), 21u);
    const std::size_t queries = Queried().size();
    ctx.scheduler.RunFor(5000);
    EXPECT_EQ(Queried().size(), queries);
    EXPECT_EQ(control->cmdScanDevices.Caption(), "Scan Devices");
    EXPECT_TRUE(control->tabMain.TabEnabled(1));
}

TEST_F(ScanTest, InDsiModeTheScanIsRefusedAndNothingChanges) {
    MakeTerminal(0x314D, 0x1000);
    Refresh();
    state.devices->Add(clsDevice{0, 4, 4, false});
    terminal->SetFrameLog(true);
    control->cmdScanDevices.Click();
    ctx.scheduler.RunFor(1000);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "The ZD4270 is not in the DALI-Mode!");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_FALSE(control->Scanning());
    EXPECT_TRUE(Queried().empty());
    EXPECT_EQ(Keys(), "4 ");
}

}  // namespace
}  // namespace zd::test
