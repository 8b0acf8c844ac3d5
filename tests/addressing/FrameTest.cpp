// The addressing run frame: which random addressing the firmware version chooses, the refusal in
// DSI mode, the addressing log (its run lines, the transactions between them, one run per file,
// nothing when logging is off).
#include "addressing/FrameRig.h"

namespace zd::test {
namespace {

using AddressingFrameTest = AddressingRig;

TEST_F(AddressingFrameTest, FirmwareVersionChoosesRefusalSoftwareOrFirmwareVariant) {
    UseEmptyLine(0x3147);
    terminal->SetFrameLog(true);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text,
              "This function will not be supported by this firmware. Update the terminal.");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Information");
    EXPECT_FALSE(control->m_bRndAddrRunning);
    EXPECT_TRUE(terminal->FrameLog().empty());

    UseEmptyLine(0x3148);
    AddUnaddressed(0x100);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    EXPECT_TRUE(control->timerRndAddr.Enabled());
    EXPECT_FALSE(control->timerRndAddrFirmware.Enabled());
    RunToEnd();

    UseEmptyLine(kFirmwareVariant);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    EXPECT_FALSE(control->timerRndAddr.Enabled());
    EXPECT_TRUE(control->timerRndAddrFirmware.Enabled());
    RunToEnd();
    EXPECT_EQ(ctx.dialogs.boxes.back().text, "Account of addressed ballasts: 0");
}

TEST_F(AddressingFrameTest, DsiModeRefusesTheStartAndChangesNothing) {
    MakeTerminal(kSoftwareVariant, 0x1000);
    Refresh();
    terminal->SetFrameLog(true);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "The ZD4270 is not in the DALI-Mode!");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Information");
    EXPECT_FALSE(control->m_bRndAddrRunning);
    EXPECT_EQ(control->cmdRndAddrStart.Caption(), "Start");
    EXPECT_TRUE(control->chkRndAddrCompleteNewInstallation.Enabled());
    EXPECT_TRUE(terminal->FrameLog().empty());
}

TEST_F(AddressingFrameTest, LogHoldsRunLinesAroundEveryCommandAndReplyAndOnlyTheLastRun) {
    UseLine("three-addressed.json", kSoftwareVariant);
    control->EnableLoggingAddressing = true;
    StartAndRun();
    StartAndRun();

    const auto lines = SplitLines(ReadUtf16Log(kAddressingLogFile));
    ASSERT_GT(lines.size(), 10u);
    EXPECT_TRUE(EndsWith(lines.front(), " start random addressing")) << lines.front();
    EXPECT_TRUE(EndsWith(lines.back(), " end random addressing")) << lines.back();
    int starts = 0, compares = 0, answers = 0, timeouts = 0, programs = 0, terminates = 0;
    for (const std::string& line : lines) {
        starts += EndsWith(line, " start random addressing");
        compares += EndsWith(line, "compare");
        answers += line.find("   0x") != std::string::npos;
        timeouts += EndsWith(line, "   timeout");
        programs += line.find("program short address") != std::string::npos;
        terminates += EndsWith(line, "terminate");
    }
    EXPECT_EQ(starts, 1);
    // Three gear: each search ends in a programmed address, and the last compare finds nobody.
    EXPECT_GT(compares, 3 * 23);
    EXPECT_GT(answers, 3);
    EXPECT_GT(timeouts, 3);
    EXPECT_EQ(programs, 3);
    // One at the start, one at the stop.
    EXPECT_EQ(terminates, 2);
    EXPECT_EQ(control->m_tsLogAddressing, nullptr);
}

TEST_F(AddressingFrameTest, WithoutLoggingNoFileIsWrittenAndAnOlderOneStays) {
    LogFile::WriteWholeFile(kAddressingLogFile, "older run");
    UseLine("three-addressed.json", kSoftwareVariant);
    StartAndRun();
    EXPECT_EQ(control->m_tsLogAddressing, nullptr);
    EXPECT_EQ(ReadUtf16Log(kAddressingLogFile), "older run");
}

}  // namespace
}  // namespace zd::test
