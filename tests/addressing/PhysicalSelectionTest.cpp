// Physical selection on the simulated line: lamps taken out and put back at scripted virtual times
// give their ballasts the next free addresses in that order, with the blink as confirmation; taken
// addresses are skipped, address 63 ends the run, and Cancel takes the line out of the selection.
#include "addressing/FrameRig.h"

namespace zd::test {
namespace {

using sim::LampState;

class PhysicalSelectionTest : public AddressingRig {
  protected:
    void Start(std::vector<sim::GearConfig> gear) {
        for (const sim::GearConfig& g : gear) ids.push_back(terminal->AddGear(g));
        Refresh();
        terminal->SetFrameLog(true);
    }
    // The lamp of gear id is out from atMs for 2 s.
    void Unplug(int id, std::int64_t atMs) {
        terminal->ScheduleLamp(id, LampState::Removed, atMs);
        terminal->ScheduleLamp(id, LampState::Present, atMs + 2000);
    }
};

TEST_F(PhysicalSelectionTest, GearIsAddressedInTheOrderItsLampsAreRemoved) {
    sim::GearConfig addressed;
    addressed.shortAddress = 9;
    addressed.groups = 0x0005;
    addressed.scenes[2] = 100;
    Start({addressed, sim::GearConfig{}, sim::GearConfig{}});
    control->chkPhySelDeleteAllGroupAssignments.SetChecked(true);
    control->chkPhySelDeleteAllScenes.SetChecked(true);
    control->cmdPhySelStart.Click();
    EXPECT_EQ(control->cmdPhySelStart.Caption(), "Cancel");
    // The complete new installation took every address, groups and scenes away.
    EXPECT_EQ(AddressOf(ids[0]), std::nullopt);
    EXPECT_EQ(terminal->Gear(ids[0]).Groups(), 0);
    EXPECT_EQ(terminal->Gear(ids[0]).SceneLevel(2), 255);

    const std::int64_t t = ctx.scheduler.Now();
    Unplug(ids[1], t + 1000);
    Unplug(ids[2], t + 6000);
    Unplug(ids[0], t + 11000);
    ASSERT_TRUE(
        ctx.scheduler.RunUntil([&] { return control->lstPhySelView.ItemCount() == 3; }, 30000));
    ctx.scheduler.RunFor(2000);
    EXPECT_EQ(Rows(control->lstPhySelView), (std::vector<std::string>{"1>0", "2>1", "3>2"}));
    EXPECT_EQ(AddressOf(ids[1]), 0);
    EXPECT_EQ(AddressOf(ids[2]), 1);
    EXPECT_EQ(AddressOf(ids[0]), 2);
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2}));
    // It waits for the next lamp until the user cancels.
    EXPECT_EQ(control->lblPhySelStatus.Caption(),
              "Waiting for a device to be selected, remove lamp...");

    // The blink of the first lamp: max, min, max, min, max 200 ms apart.
    std::vector<sim::Micros> blink;
    for (const sim::SentFrame& f : terminal->FrameLog())
        if (f.frame == 0x0105 || f.frame == 0x0106) blink.push_back(f.endUs);
    ASSERT_GE(blink.size(), 5u);
    EXPECT_GE(blink[4] - blink[0], 800000);
    EXPECT_LT(blink[4] - blink[0], 1200000);

    control->cmdPhySelStart.Click();
    EXPECT_FALSE(control->PhySelRunning());
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 3);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_FALSE(terminal->Gear(ids[0]).InPhysicalSelection(ctx.scheduler.Now() * 1000));
}

// The user may take longer than the gear's 15-minute initialisation window to pull the next lamp.
TEST_F(PhysicalSelectionTest, ALampPulledAfterTwentyMinutesIsFound) {
    Start({sim::GearConfig{}, sim::GearConfig{}});
    control->cmdPhySelStart.Click();
    Unplug(ids[0], ctx.scheduler.Now() + 20 * 60 * 1000);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return control->lstPhySelView.ItemCount() == 1; },
                                       25 * 60 * 1000));
    EXPECT_EQ(AddressOf(ids[0]), 0);
    EXPECT_EQ(AddressOf(ids[1]), std::nullopt);
    control->cmdPhySelStart.Click();
}

TEST_F(PhysicalSelectionTest, ATakenAddressIsSkippedAndSixtyThreeEndsTheRun) {
    sim::GearConfig addressed;
    addressed.shortAddress = 62;
    Start({addressed, sim::GearConfig{}});
    control->chkPhySelCompleteNewInstallation.SetChecked(false);
    control->cboPhySelStartAddress.SetListIndex(62);
    control->cmdPhySelStart.Click();
    Unplug(ids[1], ctx.scheduler.Now() + 500);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !control->PhySelRunning(); }, 20000));

    EXPECT_EQ(AddressOf(ids[0]), 62);
    EXPECT_EQ(AddressOf(ids[1]), 63);
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "The maximal address (63) was reached!\r\nThe addressing will be terminate."});
    EXPECT_EQ(DeviceAddresses(), std::vector<int>{63});
    EXPECT_EQ(terminal->FrameLog().back().frame, 0xA100);  // TERMINATE
}

// One answer never decides, but the answers count even when they are not in a row.
TEST_F(PhysicalSelectionTest, FiveAnswersSelectTheGearEvenWhenNotInARow) {
    Start({sim::GearConfig{}});
    control->cmdPhySelStart.Click();
    ctx.scheduler.RunFor(1000);
    auto queriesFrom = [&](std::size_t from) {
        const auto& log = terminal->FrameLog();
        return std::count_if(log.begin() + static_cast<long>(from), log.end(),
                             [](const sim::SentFrame& f) { return f.frame == 0xBB00; });
    };
    terminal->SetLamp(ids[0], LampState::Removed);
    std::size_t from = terminal->FrameLog().size();
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return queriesFrom(from) >= 2; }, 5000));
    terminal->SetLamp(ids[0], LampState::Present);
    ctx.scheduler.RunFor(1000);
    EXPECT_EQ(AddressOf(ids[0]), std::nullopt);
    terminal->SetLamp(ids[0], LampState::Removed);
    from = terminal->FrameLog().size();
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return AddressOf(ids[0]).has_value(); }, 5000));
    EXPECT_EQ(queriesFrom(from), 3);
}

}  // namespace
}  // namespace zd::test
