// Random addressing run by the control on simulated lines: addresses from the start address in the
// order of the random addresses, the device list and lamp list afterwards, the options, the address
// limit, cancel, a failing verify, the length of the search and a full line of 64 gear.
#include <chrono>
#include <cstdio>

#include "addressing/FrameRig.h"

namespace zd::test {
namespace {

using RandomAddressingTest = AddressingRig;

TEST_F(RandomAddressingTest, SixteenGearGetAddressesFromTheStartAddressInRandomAddressOrder) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    control->cboRndAddrStartAddress.SetListIndex(20);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    // While it runs: Cancel caption, options locked, the other tabs still usable.
    EXPECT_TRUE(control->m_bRndAddrRunning);
    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Cancel");
    EXPECT_FALSE(control->chkRndAddrCompleteNewInstallation.Enabled());
    EXPECT_FALSE(control->cboRndAddrStartAddress.Enabled());
    EXPECT_TRUE(control->tabMain.Enabled());
    EXPECT_TRUE(control->timerRndAddr.Enabled());
    EXPECT_EQ(control->timerRndAddr.Interval(), 200);
    RunToEnd();

    EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    EXPECT_EQ(ShortsByRandom(), Range(20, 16));
    std::vector<int> expected;
    for (int a = 20; a < 36; ++a) expected.push_back(a);
    EXPECT_EQ(DeviceAddresses(), expected);
    const auto rows = LampRows(control->lstRndAddrView);
    ASSERT_EQ(rows.size(), 16u);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(rows[static_cast<std::size_t>(i)].first, std::to_string(i + 1));
        EXPECT_EQ(rows[static_cast<std::size_t>(i)].second, std::to_string(20 + i));
        EXPECT_EQ(control->lstRndAddrView.Item(i + 1).SmallIcon(), "Lamp");
    }
    // The end: Start again, options back, TERMINATE sent, the tree and change list refreshed.
    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Start");
    EXPECT_TRUE(control->chkRndAddrCompleteNewInstallation.Enabled());
    EXPECT_EQ(control->lblRndAddrStatus.Caption(), "");
    EXPECT_FALSE(control->timerRndAddr.Enabled());
    EXPECT_FALSE(AnyGearInitialised());
    EXPECT_NE(control->treeDevices.Node("35Device"), nullptr);
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 16);
}

TEST_F(RandomAddressingTest, CompleteNewInstallationReaddressesEveryGearAndClearsGroupsAndScenes) {
    UseLine("three-addressed.json", kSoftwareVariant);
    // The device list still names addresses that the run takes away.
    AddDeviceRecord(5);
    AddDeviceRecord(40);
    control->chkRndAddrDeleteAllGroupAssignments.SetChecked(true);
    control->chkRndAddrDeleteAllScenes.SetChecked(true);
    StartAndRun();

    EXPECT_EQ(ShortsByRandom(), Range(0, 3));
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2}));
    for (const auto& gear : terminal->GetLine().Gear()) {
        EXPECT_EQ(gear->Groups(), 0);
        for (int scene = 0; scene < 16; ++scene) EXPECT_EQ(gear->SceneLevel(scene), 255);
    }
}

TEST_F(RandomAddressingTest, WithoutNewInstallationOnlyNewGearTakePartAndTakenAddressesAreSkipped) {
    UseLine("three-addressed.json", kSoftwareVariant);
    AddDeviceRecord(0, 0x0A0B0C);
    const int a = AddUnaddressed(0x000200);
    const int b = AddUnaddressed(0x000100);
    control->chkRndAddrCompleteNewInstallation.SetChecked(false);
    StartAndRun();

    // 0 answers QUERY BALLAST, so the new gear get 1 and 2; the addressed gear keep theirs.
    EXPECT_EQ(terminal->Gear(b).ShortAddress(), 1);
    EXPECT_EQ(terminal->Gear(a).ShortAddress(), 2);
    std::vector<int> shorts;
    for (const auto& gear : terminal->GetLine().Gear()) shorts.push_back(*gear->ShortAddress());
    std::sort(shorts.begin(), shorts.end());
    EXPECT_EQ(shorts, (std::vector<int>{0, 1, 2, 5, 63}));
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(state.devices->Item(0)->m_nRandomAddress, 0x0A0B0C);
}

TEST_F(RandomAddressingTest, StartAddress60WithSixteenGearStopsAtTheAddressLimit) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    control->cboRndAddrStartAddress.SetListIndex(60);
    StartAndRun();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    const MessageBoxRequest& box = ctx.dialogs.boxes[0];
    EXPECT_EQ(box.text,
              "The maximal address (63) was reached!\r\nThe addressing will be terminate.");
    EXPECT_EQ(box.icon, MsgIcon::Exclamation);
    EXPECT_EQ(box.title, "Exclamation");
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{60, 61, 62, 63}));
    const auto shorts = ShortsByRandom();
    EXPECT_EQ(std::vector(shorts.begin(), shorts.begin() + 4), Range(60, 4));
    EXPECT_EQ(std::count(shorts.begin(), shorts.end(), std::nullopt), 12);
    EXPECT_FALSE(AnyGearInitialised());
}

TEST_F(RandomAddressingTest, EmptyLineEndsAfterTheFirstCompareWithoutAMessage) {
    UseEmptyLine(kSoftwareVariant);
    terminal->SetFrameLog(true);
    StartAndRun();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(control->lstRndAddrView.ItemCount(), 0);
    int compares = 0;
    for (const sim::SentFrame& frame : terminal->FrameLog()) compares += frame.frame == 0xA900;
    EXPECT_EQ(compares, 1);
}

// COMPARE frames of a run on one gear: the first compare, the search, the compare after withdraw.
TEST_F(RandomAddressingTest, SearchClosesOnTheExtremeRandomAddressesIn25And23Compares) {
    for (const auto& [random, searchCompares] :
         std::vector<std::pair<std::uint32_t, int>>{{0x000000, 25}, {0xFFFFFF, 23}}) {
        UseEmptyLine(kSoftwareVariant);
        const int gear = AddUnaddressed(random);
        terminal->SetFrameLog(true);
        StartAndRun();
        EXPECT_EQ(terminal->Gear(gear).ShortAddress(), 0) << random;
        int compares = 0;
        for (const sim::SentFrame& frame : terminal->FrameLog()) compares += frame.frame == 0xA900;
        EXPECT_EQ(compares, 1 + searchCompares + 1) << random;
    }
}

TEST_F(RandomAddressingTest, CancelStopsTheRunSendsTerminateAndKeepsWhatWasFound) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    control->EnableLoggingAddressing = true;
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_TRUE(ctx.scheduler.RunUntil([this] { return control->lstRndAddrView.ItemCount() == 2; },
                                       600'000));
    ASSERT_TRUE(control->cmdRndAddrStart.Click());

    EXPECT_FALSE(control->m_bRndAddrRunning);
    EXPECT_FALSE(control->timerRndAddr.Enabled());
    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Start");
    EXPECT_TRUE(control->cboRndAddrStartAddress.Enabled());
    EXPECT_EQ(control->lblRndAddrStatus.Caption(), "");
    EXPECT_FALSE(AnyGearInitialised());
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1}));
    EXPECT_NE(control->treeDevices.Node("01Device"), nullptr);
    const auto lines = SplitLines(ReadUtf16Log(kAddressingLogFile));
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(EndsWith(lines.back(), " end random addressing by user")) << lines.back();
    EXPECT_EQ(control->m_tsLogAddressing, nullptr);

    // Nothing goes on after the cancel.
    ctx.scheduler.RunFor(20'000);
    std::vector<std::optional<std::uint8_t>> shorts = ShortsByRandom();
    EXPECT_EQ(16 - std::count(shorts.begin(), shorts.end(), std::nullopt), 2);
    EXPECT_EQ(control->lstRndAddrView.ItemCount(), 2);
}

TEST_F(RandomAddressingTest, VerifyWithoutAnswerEndsSilentlyAndRecordsNothing) {
    UseEmptyLine(kSoftwareVariant);
    const int gear = AddUnaddressed(0x123456);
    terminal->Gear(gear).Faults().m_ignoreProgramming = true;
    StartAndRun();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(control->lstRndAddrView.ItemCount(), 0);
    EXPECT_EQ(state.devices->Count(), 0u);
    EXPECT_FALSE(AnyGearInitialised());
}

TEST_F(RandomAddressingTest, FullLineOf64GearIsReaddressedInReasonableTime) {
    UseLine("full-line.json", kSoftwareVariant);
    const auto cpuStart = std::chrono::steady_clock::now();
    const std::int64_t virtualMs = StartAndRun();
    const auto cpuMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now() - cpuStart)
                           .count();
    std::printf("random addressing of 64 gear: %lld ms virtual, %lld ms on this machine\n",
                static_cast<long long>(virtualMs), static_cast<long long>(cpuMs));
    EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    EXPECT_EQ(ShortsByRandom(), Range(0, 64));
    EXPECT_EQ(control->lstRndAddrView.ItemCount(), 64);
    EXPECT_EQ(state.devices->Count(), 64u);
    // About 50 ticks of 200 ms plus the transactions per gear: well under half an hour.
    EXPECT_LT(virtualMs, 30 * 60 * 1000);
}

}  // namespace
}  // namespace zd::test
