// Physical selection on the simulated line: lamps taken out and put back at scripted virtual times
// give their ballasts the next free addresses in that order, with the blink as confirmation; taken
// addresses are skipped, address 63 ends the run and Cancel leaves the line as it was.
#include <algorithm>

#include "support/ControlRig.h"

namespace zd::test {
namespace {

using sim::LampState;

class PhysicalSelectionTest : public ControlRig {
  protected:
    void Start(std::vector<sim::GearConfig> gear) {
        for (const sim::GearConfig& g : gear) ids.push_back(terminal->AddGear(g));
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        terminal->SetFrameLog(true);
    }
    // The lamp of gear id is out from atMs for outMs.
    void Unplug(int id, std::int64_t atMs, std::int64_t outMs) {
        terminal->ScheduleLamp(id, LampState::Removed, atMs);
        terminal->ScheduleLamp(id, LampState::Present, atMs + outMs);
    }
    bool RunUntilLamps(int rows, std::int64_t limitMs = 30000) {
        return ctx.scheduler.RunUntil([&] { return control->lstPhySelView.ItemCount() >= rows; },
                                      limitMs);
    }
    std::optional<std::uint8_t> AddressOf(int id) { return terminal->Gear(id).ShortAddress(); }
    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (int i = 1; i <= control->lstPhySelView.ItemCount(); ++i)
            rows.push_back(control->lstPhySelView.Item(i).Text() + ">" +
                           control->lstPhySelView.Item(i).SubItem(1));
        return rows;
    }

    std::vector<int> ids;
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
    EXPECT_FALSE(control->cboPhySelStartAddress.Enabled());
    // The complete new installation took every address, groups and scenes away.
    EXPECT_EQ(AddressOf(ids[0]), std::nullopt);
    EXPECT_EQ(terminal->Gear(ids[0]).Groups(), 0);
    EXPECT_EQ(terminal->Gear(ids[0]).SceneLevel(2), 255);

    const std::int64_t t = ctx.scheduler.Now();
    Unplug(ids[1], t + 1000, 2000);
    Unplug(ids[2], t + 6000, 2000);
    Unplug(ids[0], t + 11000, 2000);
    ASSERT_TRUE(ctx.scheduler.RunUntil(
        [&] { return control->lblPhySelStatus.Caption().starts_with("The device has been"); },
        5000));
    ASSERT_TRUE(RunUntilLamps(1));
    EXPECT_EQ(control->lblPhySelStatus.Caption(),
              "The programmed device should now blink three times...");
    ASSERT_TRUE(RunUntilLamps(3));
    ctx.scheduler.RunFor(2000);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"1>0", "2>1", "3>2"}));
    EXPECT_EQ(AddressOf(ids[1]), 0);
    EXPECT_EQ(AddressOf(ids[2]), 1);
    EXPECT_EQ(AddressOf(ids[0]), 2);
    EXPECT_EQ(control->lstPhySelView.Item(1).SmallIcon(), "Lamp");
    EXPECT_EQ(state.devices->Count(), 3u);
    // It waits for the next lamp until the user cancels.
    EXPECT_TRUE(control->m_bPhySelRunning);
    EXPECT_EQ(control->lblPhySelStatus.Caption(),
              "Waiting for a device to be selected, remove lamp...");

    // The blink of the first lamp: max, min, max, min, max 200 ms apart.
    std::vector<sim::Micros> blink;
    for (const sim::SentFrame& f : terminal->FrameLog()) {
        if (f.frame == 0x0105 || f.frame == 0x0106) blink.push_back(f.endUs);
    }
    ASSERT_GE(blink.size(), 5u);
    EXPECT_GE(blink[4] - blink[0], 800000);
    EXPECT_LT(blink[4] - blink[0], 1200000);

    control->cmdPhySelStart.Click();
    EXPECT_FALSE(control->m_bPhySelRunning);
    EXPECT_EQ(control->cmdPhySelStart.Caption(), "Start");
    EXPECT_EQ(control->lblPhySelStatus.Caption(), "");
    EXPECT_TRUE(control->cboPhySelStartAddress.Enabled());
    EXPECT_EQ(terminal->FrameLog().back().frame, 0xA100);
    EXPECT_FALSE(terminal->Gear(ids[0]).InPhysicalSelection(ctx.scheduler.Now() * 1000));
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 3);
    EXPECT_NE(control->treeDevices.Node("02Device"), nullptr);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(PhysicalSelectionTest, ATakenAddressIsSkippedAndSixtyThreeEndsTheRun) {
    sim::GearConfig addressed;
    addressed.shortAddress = 62;
    Start({addressed, sim::GearConfig{}});
    control->chkPhySelCompleteNewInstallation.SetChecked(false);
    control->cboPhySelStartAddress.SetListIndex(62);
    control->cmdPhySelStart.Click();
    Unplug(ids[1], ctx.scheduler.Now() + 500, 2000);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !control->m_bPhySelRunning; }, 20000));

    EXPECT_EQ(AddressOf(ids[0]), 62);
    EXPECT_EQ(AddressOf(ids[1]), 63);
    EXPECT_EQ(Rows(), std::vector<std::string>{"1>63"});
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "The maximal address (63) was reached!\r\nThe addressing will be terminate."});
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Exclamation");
    // The device list keeps what it held and gains 63; the end refreshed the views.
    ASSERT_EQ(state.devices->Count(), 1u);
    EXPECT_NE(state.devices->Item(63), nullptr);
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 1);
    EXPECT_EQ(terminal->FrameLog().back().frame, 0xA100);
    EXPECT_EQ(control->cmdPhySelStart.Caption(), "Start");
    EXPECT_FALSE(control->timerPhySel.Enabled());
}

TEST_F(PhysicalSelectionTest, AnswersCountEvenWhenTheyAreNotInARow) {
    Start({sim::GearConfig{}});
    control->cmdPhySelStart.Click();
    auto queriesSince = [&](std::int64_t ms) {
        const std::vector<sim::SentFrame>& log = terminal->FrameLog();
        return std::count_if(log.begin(), log.end(), [&](const sim::SentFrame& f) {
            return f.frame == 0xBB00 && f.endUs > ms * 1000;
        });
    };
    // Two answers, then the lamp is back for a while: still waiting.
    ctx.scheduler.RunFor(1000);
    terminal->SetLamp(ids[0], LampState::Removed);
    const std::int64_t firstOut = ctx.scheduler.Now();
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return queriesSince(firstOut) >= 2; }, 5000));
    terminal->SetLamp(ids[0], LampState::Present);
    ctx.scheduler.RunFor(1000);
    EXPECT_EQ(control->lblPhySelStatus.Caption(),
              "Waiting for a device to be selected, remove lamp...");
    // Out again: three more answers make the fifth.
    terminal->SetLamp(ids[0], LampState::Removed);
    const std::int64_t secondOut = ctx.scheduler.Now();
    ASSERT_TRUE(ctx.scheduler.RunUntil(
        [&] { return control->lblPhySelStatus.Caption().starts_with("The device has been"); },
        5000));
    EXPECT_EQ(queriesSince(secondOut), 3);
}

TEST_F(PhysicalSelectionTest, CancelWhileWaitingForALampAddsNothing) {
    Start({sim::GearConfig{}, sim::GearConfig{}});
    control->cmdPhySelStart.Click();
    ctx.scheduler.RunFor(3000);
    EXPECT_EQ(control->lblPhySelStatus.Caption(),
              "Waiting for a device to be selected, remove lamp...");
    control->cmdPhySelStart.Click();
    EXPECT_EQ(control->lstPhySelView.ItemCount(), 0);
    EXPECT_EQ(state.devices->Count(), 0u);
    EXPECT_EQ(terminal->FrameLog().back().frame, 0xA100);
    // A lamp removed afterwards selects nobody: the line has left physical selection.
    terminal->SetLamp(ids[0], LampState::Removed);
    ctx.scheduler.RunFor(3000);
    EXPECT_EQ(AddressOf(ids[0]), std::nullopt);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    // In DSI mode the button only says so.
    state.m_nOperationMode = kModeDsi;
    control->cmdPhySelStart.Click();
    EXPECT_FALSE(control->m_bPhySelRunning);
    EXPECT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"The ZD4270 is not in the DALI-Mode!"});
}

}  // namespace
}  // namespace zd::test
