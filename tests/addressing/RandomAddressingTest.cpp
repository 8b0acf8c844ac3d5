// Random addressing run by the control on simulated lines: addresses from the start address in the
// order of the random addresses, the options, the address limit, cancel, the search's extremes, a
// full line; which variant the firmware chooses, the refusals, and the addressing log.
#include "addressing/FrameRig.h"

namespace zd::test {
namespace {

using RandomAddressingTest = AddressingRig;

TEST_F(RandomAddressingTest, SixteenGearGetAddressesFromTheStartAddressInRandomAddressOrder) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    control->cboRndAddrStartAddress.SetListIndex(20);
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Cancel");
    EXPECT_FALSE(control->cboRndAddrStartAddress.Enabled());
    RunToEnd();

    EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    EXPECT_EQ(ShortsByRandom(), Range(20, 16));
    std::vector<int> expected;
    std::vector<std::string> rows;
    for (int a = 20; a < 36; ++a) {
        expected.push_back(a);
        rows.push_back(std::to_string(a - 19) + ">" + std::to_string(a));
    }
    EXPECT_EQ(DeviceAddresses(), expected);
    EXPECT_EQ(Rows(control->lstRndAddrView), rows);
    // The end: Start again, options back, TERMINATE sent, the tree and change list refreshed.
    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Start");
    EXPECT_TRUE(control->cboRndAddrStartAddress.Enabled());
    EXPECT_FALSE(AnyGearInitialised());
    EXPECT_NE(control->treeDevices.Node("35Device"), nullptr);
    EXPECT_EQ(control->lstChangeAddrView.ItemCount(), 16);
}

TEST_F(RandomAddressingTest, CompleteNewInstallationReaddressesEveryGearAndClearsGroupsAndScenes) {
    UseLine("three-addressed.json", kSoftwareVariant);
    AddDeviceRecord(40);  // a record of an address the run takes away
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
    AddUnaddressed(0x000200);
    AddUnaddressed(0x000100);
    control->chkRndAddrCompleteNewInstallation.SetChecked(false);
    StartAndRun();

    // 0 answers QUERY BALLAST, so the new gear get 1 and 2; the addressed gear keep theirs.
    EXPECT_EQ(ShortsByRandom(), (std::vector<std::optional<std::uint8_t>>{1, 2, 0, 5, 63}));
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(state.devices->Item(0)->m_nRandomAddress, 0x0A0B0C);
}

TEST_F(RandomAddressingTest, StartAddress60WithSixteenGearStopsAtTheAddressLimit) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    control->cboRndAddrStartAddress.SetListIndex(60);
    StartAndRun();
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "The maximal address (63) was reached!\r\nThe addressing will be terminate."});
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{60, 61, 62, 63}));
    auto shorts = Range(60, 4);
    shorts.resize(16);
    EXPECT_EQ(ShortsByRandom(), shorts);
    EXPECT_FALSE(AnyGearInitialised());
}

// COMPARE frames of a run on one gear: the first compare, the search, the compare after withdraw;
// on the oldest firmware that the control addresses by itself.
TEST_F(RandomAddressingTest, SearchClosesOnTheExtremeRandomAddressesIn25And23Compares) {
    for (const auto& [random, searchCompares] :
         std::vector<std::pair<std::uint32_t, long>>{{0x000000, 25}, {0xFFFFFF, 23}}) {
        UseGear({}, 0x3148);
        const int gear = AddUnaddressed(random);
        StartAndRun();
        EXPECT_EQ(AddressOf(gear), 0) << random;
        const auto frames = Frames();
        // The last COMPARE, which ends the run, is asked twice.
        EXPECT_EQ(std::count(frames.begin(), frames.end(), 0xA900), 1 + searchCompares + 2);
    }
}

// A gear that does not keep the address it is given is searched for again; after the third
// failure at its random address it is left, every other gear is addressed, and the run ends with
// the message the terminal's own run uses.
TEST_F(RandomAddressingTest, AGearThatKeepsNoAddressIsLeftAndTheRunSaysSo) {
    UseGear({}, kSoftwareVariant);
    const int first = AddUnaddressed(0x001000);
    const int second = AddUnaddressed(0x000800);
    const int third = AddUnaddressed(0x002000);
    terminal->Gear(second).Faults().m_ignoreProgramming = true;
    StartAndRun();
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{
                  "after the assignment of the short address the ballast don't reply."});
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(AddressOf(second), std::nullopt);
    EXPECT_EQ(AddressOf(first), 0);
    EXPECT_EQ(AddressOf(third), 1);
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1}));
}

TEST_F(RandomAddressingTest, CancelStopsTheRunSendsTerminateAndKeepsWhatWasFound) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    SetAddressingLogging(true);
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
    ASSERT_TRUE(ctx.scheduler.RunUntil([this] { return control->lstRndAddrView.ItemCount() == 2; },
                                       600'000));
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));

    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Start");
    EXPECT_FALSE(AnyGearInitialised());
    EXPECT_EQ(DeviceAddresses(), (std::vector<int>{0, 1}));
    const std::string log = ReadUtf16File(kAddressingLogFile);
    EXPECT_EQ(log.rfind(" end random addressing by user\r\n"), log.size() - 32) << log;

    // Nothing goes on after the cancel.
    ctx.scheduler.RunFor(20'000);
    const auto shorts = ShortsByRandom();
    EXPECT_EQ(std::count(shorts.begin(), shorts.end(), std::nullopt), 14);
}

TEST_F(RandomAddressingTest, FullLineOf64GearIsReaddressedInReasonableTime) {
    UseLine("full-line.json", kSoftwareVariant);
    const std::int64_t virtualMs = StartAndRun();
    EXPECT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    EXPECT_EQ(ShortsByRandom(), Range(0, 64));
    EXPECT_EQ(state.devices->Count(), 64u);
    // About 50 ticks of 200 ms plus the transactions per gear: well under half an hour.
    EXPECT_LT(virtualMs, 30 * 60 * 1000);
}

TEST_F(RandomAddressingTest, OldFirmwareAndDsiModeRefuseTheStartAndSendNothing) {
    struct Case {
        std::uint16_t firmware, features;
        const char* text;
    };
    for (const Case& c : {Case{0x3147, 0,
                               "This function will not be supported by this firmware. "
                               "Update the terminal."},
                          Case{kSoftwareVariant, 0x1000, "The ZD4270 is not in the DALI-Mode!"}}) {
        ctx.dialogs.boxes.clear();
        MakeTerminal(c.firmware, c.features);
        Refresh();
        terminal->SetFrameLog(true);
        ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
        ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{c.text});
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
        EXPECT_FALSE(control->RndAddrRunning());
        EXPECT_TRUE(terminal->FrameLog().empty());
    }
}

TEST_F(RandomAddressingTest, LogHoldsOnlyTheLastRunWithItsCommandsAndReplies) {
    // Without logging no file is written, and an older one stays.
    LogFile::WriteWholeFile(kAddressingLogFile, "older run");
    UseLine("three-addressed.json", kSoftwareVariant);
    StartAndRun();
    EXPECT_EQ(ReadUtf16File(kAddressingLogFile), "older run");
    SetAddressingLogging(true);
    StartAndRun();
    StartAndRun();

    const std::string log = ReadUtf16File(kAddressingLogFile);
    EXPECT_EQ(CountOf(log, " start random addressing\r\n"), 1);
    EXPECT_EQ(log.rfind(" end random addressing\r\n"), log.size() - 24);
    // Three gear: each search ends in a programmed address, and the last compare finds nobody.
    EXPECT_GT(CountOf(log, "compare\r\n"), 3 * 23);
    EXPECT_GT(CountOf(log, "   0x"), 3);
    EXPECT_GT(CountOf(log, "   timeout\r\n"), 3);
    EXPECT_EQ(CountOf(log, "program short address"), 3);
    EXPECT_EQ(CountOf(log, "terminate\r\n"), 2);  // at the start and at the stop
}

// The fast search finds the same gear in the same order as the paced one, in a fraction of the
// line time.
TEST_F(RandomAddressingTest, TheFastSearchGivesTheSameAddressesFaster) {
    std::map<bool, std::int64_t> lineTime;
    for (const bool fast : {false, true}) {
        ctx.dialogs.boxes.clear();
        UseGear({});
        for (std::uint32_t random : {0x100000u, 0x900000u, 0xA00000u, 0xFFFFFFu})
            AddUnaddressed(random);
        control->chkRndAddrFastSearch.SetChecked(fast);
        lineTime[fast] = StartAndRun();
        EXPECT_TRUE(ctx.dialogs.boxes.empty()) << fast;
        EXPECT_EQ(ShortsByRandom(), Range(0, 4)) << fast;
    }
    EXPECT_LT(lineTime[true] * 4, lineTime[false]);
}

}  // namespace
}  // namespace zd::test
