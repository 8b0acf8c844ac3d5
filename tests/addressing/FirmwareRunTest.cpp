// Random addressing in the terminal firmware: the locks while the terminal works, the parameter
// word, the result codes and their messages, and a run that is still going when the control is
// refreshed.
#include <set>

#include "addressing/FrameRig.h"
#include "frame/ControlProgress.h"
#include "support/ScriptedTerminal.h"

namespace zd::test {
namespace {

using FirmwareRunTest = AddressingRig;

TEST_F(FirmwareRunTest, TerminalAddressesSixteenGearWhileTheControlIsLockedAndReportsTheCount) {
    UseLine("sixteen-unaddressed.json", kFirmwareVariant);
    SetAddressingLogging(true);
    AddDeviceRecord(7);
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));

    EXPECT_TRUE(terminal->FirmwareAddressingRunning());
    EXPECT_FALSE(control->cmdRndAddrStart.Enabled());
    EXPECT_FALSE(control->treeDevices.IsEffectivelyEnabled());
    EXPECT_FALSE(control->timerRndAddr.Enabled());
    // Complete new installation: the list is emptied at once; the terminal tells no addresses.
    EXPECT_EQ(state.devices->Count(), 0u);
    RunToEnd();

    ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{"Account of addressed ballasts: 16"});
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(state.devices->Count(), 0u);
    EXPECT_TRUE(control->cmdRndAddrStart.Enabled());
    EXPECT_TRUE(control->treeDevices.IsEffectivelyEnabled());
    EXPECT_FALSE(std::filesystem::exists(kAddressingLogFile));
}

// The terminal may set the other bits of the second input byte; the count is read all the same.
TEST_F(FirmwareRunTest, OtherBitsOfTheSecondInputByteDoNotSpoilTheCount) {
    UseGear({std::nullopt, std::nullopt}, kFirmwareVariant);
    terminal->Faults().m_otherInputBits = 0xFE;
    control->chkRndAddrCompleteNewInstallation.SetChecked(false);
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
    // No gear known: the progress tells the terminal's pace instead of an estimate.
    const ProgressState progress = ControlProgress(*control);
    EXPECT_EQ(progress.detail, "Random addressing is active, about 2 s per gear");
    EXPECT_FALSE(progress.fraction);
    RunToEnd();
    EXPECT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{"Account of addressed ballasts: 2"});
    EXPECT_EQ(AddressOf(ids[0]).has_value() && AddressOf(ids[1]).has_value(), true);
}

// A terminal that gives all 64 short addresses reports that no address is free: the control
// finds every address held and nobody without one, so the run succeeded. With 63 gear the
// terminal's own count stands.
TEST_F(FirmwareRunTest, AWholeLineOf64GearIsASuccessWhenNobodyIsLeft) {
    for (const int count : {64, 63}) {
        ctx.dialogs.boxes.clear();
        ids.clear();
        UseGear(std::vector<std::optional<std::uint8_t>>(static_cast<std::size_t>(count)),
                kFirmwareVariant);
        StartAndRun();
        EXPECT_EQ(
            BoxTexts(ctx.dialogs),
            std::vector<std::string>{"Account of addressed ballasts: " + std::to_string(count)});
        std::set<int> held;
        for (const int id : ids)
            if (AddressOf(id)) held.insert(*AddressOf(id));
        EXPECT_EQ(held.size(), static_cast<std::size_t>(count));
    }
}

// A terminal whose status and result the test sets.
class ScriptedFirmwareTest : public AddressingRig {
  protected:
    void SetUp() override {
        AddressingRig::SetUp();
        scripted = std::make_shared<ScriptedTerminal>(ctx.scheduler, PackedLayout(), false);
        scripted->SetFirmwareAddressingStarts(true);
        state.objDevCom = scripted;
        state.ProcessImageLayout = PackedLayout();
        state.m_nFirmwareVersion = kFirmwareVariant;
    }
    // Starts a run, lets the terminal work for a few polls, then ends it with the result.
    void RunWithResult(std::uint8_t result) {
        ctx.dialogs.boxes.clear();
        ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
        ctx.scheduler.RunFor(3500);
        ASSERT_TRUE(control->RndAddrRunning());
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        scripted->SetInputValue(result);
        scripted->ClearStatusBits(0x08);
        ctx.scheduler.RunFor(1000);
        EXPECT_FALSE(control->RndAddrRunning());
    }
    std::shared_ptr<ScriptedTerminal> scripted;
};

TEST_F(ScriptedFirmwareTest, ParameterWordCarriesTheOptionsAndEveryResultCodeShowsItsMessage) {
    control->cboRndAddrStartAddress.SetListIndex(5);
    control->chkRndAddrOpticalFeedback.SetChecked(true);
    RunWithResult(3);
    EXPECT_EQ(scripted->OutputValue(), 0x0509);
    control->cboRndAddrStartAddress.SetListIndex(0);
    control->chkRndAddrOpticalFeedback.SetChecked(false);
    control->chkRndAddrCompleteNewInstallation.SetChecked(false);

    const std::vector<std::pair<std::uint8_t, std::string>> cases = {
        {0, "Account of addressed ballasts: 0"},
        {63, "Account of addressed ballasts: 63"},
        {64, "internal error: 64"},
        {0xDE, "internal error (Statemachine)."},
        {0xE0, "no free short address available."},
        {0xF0, "Two ballast have the same short address."},
        {0xF8, "selected ballast don't reply after the COMPARE command."},
        {0xFE, "after the assignment of the short address the ballast don't reply."},
    };
    for (const auto& [result, text] : cases) {
        RunWithResult(result);
        ASSERT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{text});
        const bool count = result <= 63;
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, count ? MsgIcon::Information : MsgIcon::Critical);
        EXPECT_EQ(ctx.dialogs.boxes[0].title, count ? "Information" : "System failure");
    }
    EXPECT_EQ(scripted->OutputValue(), 0x0000);
}

// The result that cannot be read is no count of 0: the read's error is all the user sees.
TEST_F(ScriptedFirmwareTest, AResultThatCannotBeReadShowsTheErrorAndNoCount) {
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
    ctx.scheduler.RunFor(3500);
    scripted->SetInputValue(2);
    scripted->ClearStatusBits(0x08);
    state.ProcessImageLayout[1].nWordOffset = -1;  // the input words are out of reach
    ctx.scheduler.RunFor(1000);
    EXPECT_FALSE(control->RndAddrRunning());
    const auto texts = BoxTexts(ctx.dialogs);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("Error: ReadDataIn: ", 0), 0u) << texts[0];
}

// A click that waits in the event queue while the refresh takes over a run must find the button
// already locked: it neither starts a second run nor hands the terminal new parameters.
TEST_F(FirmwareRunTest, RefreshDuringATerminalRunTakesOverItsSupervisionAndLocksTheButtonAtOnce) {
    UseLine("sixteen-unaddressed.json", kFirmwareVariant);
    ASSERT_TRUE(ClickStart(control->cmdRndAddrStart, ctx.dialogs));
    ASSERT_TRUE(terminal->FirmwareAddressingRunning());
    // The page is closed and opened again while the terminal works.
    control.reset();
    control = std::make_unique<configZD4270>(ctx.context, registry, state);
    bool clicked = true;
    ctx.scheduler.Post(
        [this, &clicked] { clicked = ClickStart(control->cmdRndAddrStart, ctx.dialogs); });
    const std::int64_t before = ctx.scheduler.Now();
    Refresh();
    EXPECT_FALSE(clicked);
    EXPECT_LT(ctx.scheduler.Now() - before, 1000);  // no second hand-over with its 1 s wait

    EXPECT_TRUE(control->RndAddrRunning());
    EXPECT_EQ(control->lblRndAddrStatus.Caption(), "Random addressing is active...retry later");
    EXPECT_EQ(control->tabAddressing.Tab(), 1);
    EXPECT_FALSE(control->cmdRndAddrStart.Enabled());
    RunToEnd();
    EXPECT_EQ(BoxTexts(ctx.dialogs), std::vector<std::string>{"Account of addressed ballasts: 16"});
    EXPECT_TRUE(control->tabMain.Enabled());
}

}  // namespace
}  // namespace zd::test
