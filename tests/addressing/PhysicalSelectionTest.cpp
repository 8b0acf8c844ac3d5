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
    ClickStart(control->cmdPhySelStart, ctx.dialogs);
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

    ClickStart(control->cmdPhySelStart, ctx.dialogs);
    EXPECT_FALSE(control->PhySelRunning());
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 3);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_FALSE(terminal->Gear(ids[0]).InPhysicalSelection(ctx.scheduler.Now() * 1000));
}

// The user may take longer than the gear's 15-minute initialisation window to pull the next lamp.
TEST_F(PhysicalSelectionTest, ALampPulledAfterTwentyMinutesIsFound) {
    Start({sim::GearConfig{}, sim::GearConfig{}});
    ClickStart(control->cmdPhySelStart, ctx.dialogs);
    Unplug(ids[0], ctx.scheduler.Now() + 20 * 60 * 1000);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return control->lstPhySelView.ItemCount() == 1; },
                                       25 * 60 * 1000));
    EXPECT_EQ(AddressOf(ids[0]), 0);
    EXPECT_EQ(AddressOf(ids[1]), std::nullopt);
    ClickStart(control->cmdPhySelStart, ctx.dialogs);
}

TEST_F(PhysicalSelectionTest, ATakenAddressIsSkippedAndSixtyThreeEndsTheRun) {
    sim::GearConfig addressed;
    addressed.shortAddress = 62;
    Start({addressed, sim::GearConfig{}});
    control->chkPhySelCompleteNewInstallation.SetChecked(false);
    control->cboPhySelStartAddress.SetListIndex(62);
    ClickStart(control->cmdPhySelStart, ctx.dialogs);
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
    ClickStart(control->cmdPhySelStart, ctx.dialogs);
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

// The options' defaults delete what was set up on site: every start that deletes asks first,
// names the devices the list knows and what they lose, and a No sends nothing. Both addressing
// tabs and both random-addressing variants ask; a start that deletes nothing does not.
TEST_F(PhysicalSelectionTest, AStartThatDeletesAsksFirstAndANoSendsNothing) {
    const auto refuse = [&](Button& start, std::uint16_t firmware) {
        state.m_nFirmwareVersion = firmware;
        ctx.dialogs.boxes.clear();
        ctx.dialogs.answers = {MsgResult::No};
        start.Click();
        EXPECT_FALSE(control->PhySelRunning() || control->RndAddrRunning());
        EXPECT_TRUE(Frames().empty());
        EXPECT_EQ(DeviceAddresses(), (std::vector<int>{3, 5, 10, 11, 12}));
        EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);
        return ctx.dialogs.boxes.empty() ? MessageBoxRequest{} : ctx.dialogs.boxes[0];
    };
    sim::GearConfig three, five;
    three.shortAddress = 3;
    five.shortAddress = 5;
    Start({three, five, sim::GearConfig{}});
    AddDeviceRecord(5);
    AddDeviceRecord(3);
    for (std::int16_t address = 10; address <= 12; ++address) AddDeviceRecord(address);

    const MessageBoxRequest physical = refuse(control->cmdPhySelStart, kSoftwareVariant);
    EXPECT_EQ(physical.text,
              "5 devices known on this line (3, 5, 10-12) and any other gear on it lose their "
              "short addresses.\r\nStart anyway?");
    EXPECT_EQ(physical.buttons, MsgButtons::YesNo);
    EXPECT_EQ(physical.title, "Physical selection");
    control->chkRndAddrDeleteAllGroupAssignments.SetChecked(true);
    control->chkRndAddrDeleteAllScenes.SetChecked(true);
    for (const std::uint16_t firmware : {kSoftwareVariant, kFirmwareVariant}) {
        EXPECT_EQ(refuse(control->cmdRndAddrStart, firmware).text,
                  "5 devices known on this line (3, 5, 10-12) and any other gear on it lose their "
                  "short addresses, their group assignments and their scenes.\r\nStart anyway?");
    }
    EXPECT_EQ(AddressOf(ids[0]), 3);
    EXPECT_EQ(AddressOf(ids[1]), 5);

    // An empty list knows nothing of the line: the question says so.
    state.devices->Clear();
    control->chkPhySelCompleteNewInstallation.SetChecked(false);
    control->chkPhySelDeleteAllScenes.SetChecked(true);
    ctx.dialogs.boxes.clear();
    ctx.dialogs.answers = {MsgResult::No};
    control->cmdPhySelStart.Click();
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"No device of this line is known (Scan Devices shows "
                                       "them): all gear on it lose their scenes.\r\nStart "
                                       "anyway?"});

    // Nothing to delete: the run starts at once, and a Yes starts it too.
    control->chkPhySelDeleteAllScenes.SetChecked(false);
    ctx.dialogs.boxes.clear();
    control->cmdPhySelStart.Click();
    EXPECT_TRUE(control->PhySelRunning());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    control->cmdPhySelStart.Click();
    state.m_nFirmwareVersion = kSoftwareVariant;
    ctx.dialogs.answers = {MsgResult::Yes};
    control->cmdRndAddrStart.Click();
    EXPECT_TRUE(control->RndAddrRunning());
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);
}

}  // namespace
}  // namespace zd::test
