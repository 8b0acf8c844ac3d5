// Random addressing in the terminal firmware: the parameter word, the locks while the terminal
// works, the result codes and their messages, the device list it leaves, no log, and a run that is
// still going when the control is refreshed.
#include "addressing/FrameRig.h"
#include "support/ScriptedTerminal.h"

namespace zd::test {
namespace {

using FirmwareRunTest = AddressingRig;

TEST_F(FirmwareRunTest, TerminalAddressesSixteenGearWhileTheControlIsLockedAndReportsTheCount) {
    UseLine("sixteen-unaddressed.json", kFirmwareVariant);
    control->EnableLoggingAddressing = true;
    AddDeviceRecord(7);
    control->cboRndAddrStartAddress.SetListIndex(5);
    control->chkRndAddrOpticalFeedback.SetChecked(true);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());

    EXPECT_TRUE(terminal->FirmwareAddressingRunning());
    EXPECT_TRUE(control->m_bRndAddrRunning);
    EXPECT_EQ(control->lblRndAddrStatus.Caption(), "Random addressing is active...");
    EXPECT_FALSE(control->cmdRndAddrStart.Enabled());
    EXPECT_FALSE(control->treeDevices.IsEffectivelyEnabled());
    EXPECT_FALSE(control->chkRndAddrOpticalFeedback.Enabled());
    EXPECT_FALSE(control->tabAddressing.Enabled());
    EXPECT_EQ(control->timerRndAddrFirmware.Interval(), 1000);
    // Complete new installation: the list is emptied at once; the terminal tells no addresses.
    EXPECT_EQ(state.devices->Count(), 0u);
    RunToEnd();

    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "Account of addressed ballasts: 16");
    EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "Information");
    EXPECT_EQ(ShortsByRandom(), Range(5, 16));
    // Optical feedback: each gear found went to its maximum.
    for (const auto& gear : terminal->GetLine().Gear())
        EXPECT_EQ(terminal->GearLevel(gear->Id()), 254);
    EXPECT_EQ(control->lstRndAddrView.ItemCount(), 0);
    EXPECT_EQ(state.devices->Count(), 0u);
    EXPECT_EQ(control->treeDevices.NodeCount(), 1);
    EXPECT_TRUE(control->cmdRndAddrStart.Enabled());
    EXPECT_TRUE(control->treeDevices.IsEffectivelyEnabled());
    EXPECT_TRUE(control->chkRndAddrOpticalFeedback.Enabled());
    EXPECT_EQ(control->lblRndAddrStatus.Caption(), "");
    EXPECT_FALSE(control->timerRndAddrFirmware.Enabled());
    EXPECT_FALSE(std::filesystem::exists(kAddressingLogFile));
}

struct LineOutcome {
    const char* name;
    std::function<void(sim::Terminal&, configZD4270&)> prepare;
    std::string text;
};

TEST_F(FirmwareRunTest, TerminalErrorsOnTheSimulatedLineShowTheirMessages) {
    const std::vector<LineOutcome> outcomes = {
        {"E0 no free short address",
         [](sim::Terminal& t, configZD4270& c) {
             for (std::uint32_t r : {0x10u, 0x20u, 0x30u}) {
                 sim::GearConfig g;
                 g.randomise = {r};
                 t.AddGear(g);
             }
             c.cboRndAddrStartAddress.SetListIndex(62);
         },
         "no free short address available."},
        {"F0 two gear on one address",
         [](sim::Terminal& t, configZD4270& c) {
             for (std::uint32_t r : {0x1000u, 0x2000u}) {
                 sim::GearConfig g;
                 g.shortAddress = 7;
                 g.randomise = {r};
                 t.AddGear(g);
             }
             sim::GearConfig fresh;
             fresh.randomise = {0x3000};
             t.AddGear(fresh);
             c.chkRndAddrCompleteNewInstallation.SetChecked(false);
         },
         "Two ballast have the same short address."},
        {"FE gear keeps no address",
         [](sim::Terminal& t, configZD4270&) {
             sim::GearConfig g;
             g.randomise = {0x123456};
             t.Gear(t.AddGear(g)).Faults().m_ignoreProgramming = true;
         },
         "after the assignment of the short address the ballast don't reply."},
    };
    for (const LineOutcome& outcome : outcomes) {
        UseEmptyLine(kFirmwareVariant);
        ctx.dialogs.boxes.clear();
        outcome.prepare(*terminal, *control);
        StartAndRun();
        ASSERT_EQ(ctx.dialogs.boxes.size(), 1u) << outcome.name;
        EXPECT_EQ(ctx.dialogs.boxes[0].text, outcome.text) << outcome.name;
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Critical) << outcome.name;
        EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure") << outcome.name;
        EXPECT_TRUE(control->cmdRndAddrStart.Enabled()) << outcome.name;
    }
}

// A terminal whose status and result the test sets: every code of the table and the parameter
// word as the terminal reads it.
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
        ASSERT_TRUE(control->cmdRndAddrStart.Click());
        ctx.scheduler.RunFor(3500);
        ASSERT_TRUE(control->m_bRndAddrRunning);
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
        scripted->SetInputValue(result);
        scripted->ClearStatusBits(0x08);
        ctx.scheduler.RunFor(1000);
        EXPECT_FALSE(control->m_bRndAddrRunning);
    }
    std::shared_ptr<ScriptedTerminal> scripted;
};

TEST_F(ScriptedFirmwareTest, ParameterWordCarriesStartAddressAndOptions) {
    control->cboRndAddrStartAddress.SetListIndex(5);
    control->chkRndAddrOpticalFeedback.SetChecked(true);
    RunWithResult(3);
    EXPECT_EQ(scripted->OutputValue(), 0x0509);

    control->cboRndAddrStartAddress.SetListIndex(0);
    control->chkRndAddrOpticalFeedback.SetChecked(false);
    control->chkRndAddrCompleteNewInstallation.SetChecked(false);
    RunWithResult(0);
    EXPECT_EQ(scripted->OutputValue(), 0x0000);
}

TEST_F(ScriptedFirmwareTest, EveryResultCodeShowsItsMessage) {
    const std::vector<std::tuple<std::uint8_t, std::string, MsgIcon>> cases = {
        {0, "Account of addressed ballasts: 0", MsgIcon::Information},
        {63, "Account of addressed ballasts: 63", MsgIcon::Information},
        {0xDE, "internal error (Statemachine).", MsgIcon::Critical},
        {0xE0, "no free short address available.", MsgIcon::Critical},
        {0xF0, "Two ballast have the same short address.", MsgIcon::Critical},
        {0xF8, "selected ballast don't reply after the COMPARE command.", MsgIcon::Critical},
        {0xFE, "after the assignment of the short address the ballast don't reply.",
         MsgIcon::Critical},
        {64, "internal error: 64", MsgIcon::Critical},
        {100, "internal error: 100", MsgIcon::Critical},
    };
    for (const auto& [result, text, icon] : cases) {
        RunWithResult(result);
        ASSERT_EQ(ctx.dialogs.boxes.size(), 1u) << int(result);
        EXPECT_EQ(ctx.dialogs.boxes[0].text, text);
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, icon);
        EXPECT_EQ(ctx.dialogs.boxes[0].title,
                  icon == MsgIcon::Information ? "Information" : "System failure");
    }
}

TEST_F(ScriptedFirmwareTest, AStartThatFailsUnlocksTheControlAgain) {
    scripted->FailOnCall(static_cast<int>(scripted->Calls().size()) + 1);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text.rfind("Error: RandomAddressingFirmware: ", 0), 0u)
        << ctx.dialogs.boxes[0].text;
    EXPECT_FALSE(control->m_bRndAddrRunning);
    EXPECT_TRUE(control->cmdRndAddrStart.Enabled());
    EXPECT_TRUE(control->tabMain.Enabled());
    EXPECT_FALSE(control->timerRndAddrFirmware.Enabled());
}

TEST_F(FirmwareRunTest, RefreshDuringATerminalRunTakesOverItsSupervision) {
    UseLine("sixteen-unaddressed.json", kFirmwareVariant);
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_TRUE(terminal->FirmwareAddressingRunning());
    // The page is closed and opened again while the terminal works.
    control.reset();
    control = std::make_unique<configZD4270>(ctx.context, registry, state);
    Refresh();

    EXPECT_TRUE(control->m_bRndAddrRunning);
    EXPECT_EQ(control->lblRndAddrStatus.Caption(), "Random addressing is active...retry later");
    EXPECT_EQ(control->tabMain.Tab(), 1);
    EXPECT_EQ(control->tabAddressing.Tab(), 1);
    EXPECT_FALSE(control->cmdRndAddrStart.Enabled());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    RunToEnd();
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text, "Account of addressed ballasts: 16");
    EXPECT_EQ(ShortsByRandom(), Range(0, 16));
    EXPECT_TRUE(control->cmdRndAddrStart.Enabled());
    EXPECT_TRUE(control->tabMain.Enabled());
}

}  // namespace
}  // namespace zd::test
