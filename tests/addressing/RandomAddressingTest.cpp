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
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
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
        EXPECT_EQ(std::count(frames.begin(), frames.end(), 0xA900), 1 + searchCompares + 1);
    }
}

// A run that ends at VERIFY SHORT ADDRESS has not finished the search: it says why, in the words
// the terminal's own run uses, and records nothing for the address.
TEST_F(RandomAddressingTest, AFailedVerifyEndsTheRunWithAMessage) {
    struct Case {
        std::uint32_t secondRandom;
        bool secondKeepsNoAddress;
        const char* message;
    };
    const Case cases[] = {
        // Two gear drew the same random address: both take the address and answer together.
        {0x001000, false, "Two ballast have the same short address."},
        // The gear found does not keep what it was given.
        {0x000800, true, "after the assignment of the short address the ballast don't reply."},
    };
    for (const Case& c : cases) {
        UseGear({}, kSoftwareVariant);
        const int first = AddUnaddressed(0x001000);
        const int second = AddUnaddressed(c.secondRandom);
        terminal->Gear(second).Faults().m_ignoreProgramming = c.secondKeepsNoAddress;
        ctx.dialogs.boxes.clear();
        StartAndRun();
        ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{c.message});
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Critical);
        EXPECT_TRUE(DeviceAddresses().empty());
        EXPECT_EQ(AddressOf(first).has_value(), !c.secondKeepsNoAddress);
    }
}

TEST_F(RandomAddressingTest, CancelStopsTheRunSendsTerminateAndKeepsWhatWasFound) {
    UseLine("sixteen-unaddressed.json", kSoftwareVariant);
    control->EnableLoggingAddressing = true;
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_TRUE(ctx.scheduler.RunUntil([this] { return control->lstRndAddrView.ItemCount() == 2; },
                                       600'000));
    ASSERT_TRUE(control->cmdRndAddrStart.Click());

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
        ASSERT_TRUE(control->cmdRndAddrStart.Click());
        ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{c.text});
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
        EXPECT_FALSE(control->m_bRndAddrRunning);
        EXPECT_TRUE(terminal->FrameLog().empty());
    }
}

TEST_F(RandomAddressingTest, LogHoldsOnlyTheLastRunWithItsCommandsAndReplies) {
    // Without logging no file is written, and an older one stays.
    LogFile::WriteWholeFile(kAddressingLogFile, "older run");
    UseLine("three-addressed.json", kSoftwareVariant);
    StartAndRun();
    EXPECT_EQ(ReadUtf16File(kAddressingLogFile), "older run");
    control->EnableLoggingAddressing = true;
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

// The fast search runs the same steps back to back. A gear alone below the search address that
// misses one answer makes the paced search step past it, so that the run ends with the gear
// unaddressed; the fast search asks again and finds it. Without the fault both give the same
// addresses, the fast one in a fraction of the line time.
TEST_F(RandomAddressingTest, TheFastSearchAsksASilentCompareAgain) {
    struct Case {
        bool fast;
        int missedAnswers;
        bool allAddressed;
    };
    std::map<bool, std::int64_t> lineTime;
    for (const Case c :
         {Case{false, 0, true}, Case{true, 0, true}, Case{false, 2, false}, Case{true, 2, true}}) {
        ctx.dialogs.boxes.clear();
        UseGear({});
        // The first answer goes at the first COMPARE, which all gear answer; the second when the
        // search asks below 0x800000, where this gear is alone.
        const int lowest = AddUnaddressed(0x100000);
        for (std::uint32_t random : {0x900000u, 0xA00000u, 0xB00000u}) AddUnaddressed(random);
        terminal->Gear(lowest).Faults().m_missAnswers = c.missedAnswers;
        control->chkRndAddrFastSearch.SetChecked(c.fast);
        const std::int64_t took = StartAndRun();
        if (c.missedAnswers == 0) lineTime[c.fast] = took;
        const auto shorts = ShortsByRandom();
        const bool all = std::all_of(shorts.begin(), shorts.end(),
                                     [](const auto& address) { return address.has_value(); });
        EXPECT_EQ(all, c.allAddressed) << c.fast << " " << c.missedAnswers;
        if (c.allAddressed) {
            EXPECT_EQ(shorts, Range(0, 4)) << c.fast;
        }
    }
    EXPECT_LT(lineTime[true] * 2, lineTime[false]);
}

}  // namespace
}  // namespace zd::test
