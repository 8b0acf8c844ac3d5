// Change addresses on the simulated line: the plan edited in the list and combo, moves and swaps
// through a free address, deletion by MASK, the refusals (double address, full line) and the
// optical feedback of the list.
#include <algorithm>
#include <initializer_list>

#include "addressing/FrameRig.h"
#include "frame/ControlProgress.h"

namespace zd::test {
namespace {

class ChangeAddressesTest : public AddressingRig {
  protected:
    // The example line, with its gear listed in the device list as a scan would list them.
    void LoadLine(const char* file) {
        UseLine(file, kFirmwareVariant);
        terminal->AdvanceToNow();
        for (const auto& gear : terminal->GetLine().Gear()) {
            gearAt[*gear->ShortAddress()] = gear->Id();
            AddDeviceRecord(*gear->ShortAddress());
        }
        control->CreateChangeAddrListView();
        terminal->SetFrameLog(true);
    }
    // Plans a new address through the list and the combo, as the user does.
    void Plan(int row, int comboIndex) {
        ASSERT_TRUE(control->lstChangeAddrView.ClickItem(row));
        control->cboChangeAddrNewAddress.SetListIndex(comboIndex);
    }
    // Runs the plan, noting the share of the moves done that the progress tells on the way.
    void RunChange() {
        control->cmdChangeAddrStart.Click();
        ASSERT_TRUE(ctx.scheduler.RunUntil(
            [&] {
                const auto done = ControlProgress(*control).fraction;
                if (control->ChangeAddrRunning() && done) shares.push_back(*done);
                return !control->ChangeAddrRunning();
            },
            60000));
    }
    bool SentInOrder(std::initializer_list<std::uint16_t> wanted) {
        const std::vector<std::uint16_t> frames = Frames();
        auto at = frames.begin();
        for (std::uint16_t frame : wanted)
            if ((at = std::find(at, frames.end(), frame)) == frames.end()) return false;
        return true;
    }

    std::map<int, int> gearAt;
    std::vector<double> shares;
};

TEST_F(ChangeAddressesTest, MovesFiveToSixAndDeletesTheAddressPlannedAsMask) {
    LoadLine("three-addressed.json");
    Plan(2, 6);
    Plan(3, 64);
    EXPECT_EQ(Rows(control->lstChangeAddrView),
              (std::vector<std::string>{"0>0", "5>6", "63>255 (MASK)"}));

    RunChange();
    EXPECT_EQ(AddressOf(gearAt[0]), 0);
    EXPECT_EQ(AddressOf(gearAt[5]), 6);
    EXPECT_EQ(AddressOf(gearAt[63]), std::nullopt);
    // 63 was deleted first, so the highest free address was 63 itself.
    EXPECT_TRUE(SentInOrder({0xA3FF, 0x7F80, 0xA37F, 0x0B80, 0xA30D, 0x7F80}));
    ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{"All addresses were changed!"});
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 6}));
    EXPECT_EQ(Rows(control->lstChangeAddrView), (std::vector<std::string>{"0>0", "6>6"}));
    EXPECT_NE(control->treeDevices.Node("06Device"), nullptr);
    EXPECT_TRUE(control->tabMain.TabEnabled(0));
}

TEST_F(ChangeAddressesTest, SwapsZeroAndSixtyThreeThroughAFreeAddress) {
    LoadLine("three-addressed.json");
    state.devices->Item(0)->m_bDALIConflict = true;
    Plan(1, 63);
    Plan(3, 0);
    RunChange();
    EXPECT_EQ(AddressOf(gearAt[0]), 63);
    EXPECT_EQ(AddressOf(gearAt[63]), 0);
    EXPECT_EQ(AddressOf(gearAt[5]), 5);
    // 0 to the free 62, 63 to 0, 62 to 63: no two ballasts ever answer to one address.
    EXPECT_TRUE(SentInOrder({0xA37D, 0x0180, 0xA301, 0x7F80, 0xA37F, 0x7D80}));
    EXPECT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{"All addresses were changed!"});
    EXPECT_EQ(Rows(control->lstChangeAddrView), (std::vector<std::string>{"0>0", "5>5", "63>63"}));
    EXPECT_FALSE(state.devices->Item(0)->m_bDALIConflict);  // another ballast answers there now
    // One move through the free address puts both where they belong.
    ASSERT_FALSE(shares.empty());
    EXPECT_EQ(shares.front(), 0.0);
    EXPECT_EQ(shares.back(), 1.0);
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
}

TEST_F(ChangeAddressesTest, TheFreeAddressSearchSkipsAnAddressThatIsPlanned) {
    LoadLine("three-addressed.json");
    Plan(2, 62);
    RunChange();
    EXPECT_EQ(AddressOf(gearAt[5]), 62);
    // 62 answers nobody but is planned: the move goes through 61.
    EXPECT_TRUE(SentInOrder({0xA37B, 0x0B80, 0xA30B, 0x7D80, 0xA37D, 0x7B80}));
}

TEST_F(ChangeAddressesTest, ADoubleAddressIsRefusedBeforeAnythingIsSentButMaskMayRepeat) {
    LoadLine("three-addressed.json");
    Plan(1, 7);
    Plan(2, 7);
    terminal->ClearFrameLog();
    SetAddressingLogging(true);
    control->cmdChangeAddrStart.Click();
    ctx.scheduler.RunFor(1000);
    EXPECT_FALSE(control->ChangeAddrRunning());
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"the following address is double: 7"});
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_TRUE(Frames().empty());
    // The refused run never started: its log has the start line and no end line.
    const std::string log = ReadUtf16File(kAddressingLogFile);
    EXPECT_EQ(CountOf(log, " start change addresses\r\n"), 1) << log;
    EXPECT_EQ(CountOf(log, " end change addresses"), 0) << log;
    SetAddressingLogging(false);

    Plan(1, 64);
    Plan(2, 64);
    RunChange();
    EXPECT_EQ(AddressOf(gearAt[0]), std::nullopt);
    EXPECT_EQ(AddressOf(gearAt[5]), std::nullopt);
    EXPECT_EQ(DeviceAddresses(), std::vector<int>{63});
}

TEST_F(ChangeAddressesTest, AFullLineHasNoFreeAddressAndNothingMoves) {
    LoadLine("full-line.json");
    Plan(2, 2);
    Plan(3, 1);
    RunChange();
    ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{"no free address!"});
    EXPECT_EQ(AddressOf(gearAt[1]), 1);
    EXPECT_EQ(AddressOf(gearAt[2]), 2);
    EXPECT_EQ(control->cmdChangeAddrStart.Caption(), "Start");
    EXPECT_TRUE(control->tabAddressing.TabEnabled(0));
}

TEST_F(ChangeAddressesTest, TheListLightsTheChosenLampAndTheComboFollowsThePlan) {
    LoadLine("three-addressed.json");
    Plan(3, 64);
    terminal->ClearFrameLog();
    control->chkChangeAddrOpticalSelectionFeedback.Click();
    control->lstChangeAddrView.ClickItem(1);
    EXPECT_EQ(control->cboChangeAddrNewAddress.ListIndex(), 0);
    control->lstChangeAddrView.ClickItem(2);
    control->lstChangeAddrView.ClickItem(2);
    control->lstChangeAddrView.ClickItem(3);
    EXPECT_EQ(control->cboChangeAddrNewAddress.ListIndex(), 64);
    // The line to minimum first; then each row's lamp up and the one before down, nothing for
    // the same row again.
    EXPECT_EQ(Frames(),
              (std::vector<std::uint16_t>{0xFF06, 0x0105, 0x0106, 0x0B05, 0x0B06, 0x7F05}));
}

}  // namespace
}  // namespace zd::test
