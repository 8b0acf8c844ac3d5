// The variables page on the simulated line: the gear's variables read into the list with their
// texts, the editor's ranges, and a value written back into the gear through the DTR.
#include "PageRig.h"
#include "pages/configZD4270Variables.h"

namespace zd::test {
namespace {

enum Pos {
    kActual,
    kPowerOn,
    kSystemFailure,
    kMin,
    kMax,
    kFadeRate,
    kFadeTime,
    kRandom,
    kStatus,
    kVersion,
    kDeviceType,
    kPhysicalMin
};

class VariablesPageTest : public PageRig {
  protected:
    void SetUp() override {
        PageRig::SetUp();
        sim::GearConfig gear;
        gear.shortAddress = 5;
        gear.actualLevel = 100;
        gear.maxLevel = 254;
        gear.minLevel = 90;
        gear.physicalMinimum = 85;
        gear.fadeRate = 7;
        gear.fadeTime = 2;
        gear.randomAddress = 0x000102;
        gear.version = 0x10;
        gear.deviceType = 6;
        gearId = AddGear(gear);
        Start();
    }
    configZD4270Variables& OpenAt(std::int16_t address) {
        return Open<configZD4270Variables>(PageKind::Variables, address);
    }
    static std::string Cell(configZD4270Variables& page, int pos, int column) {
        return page.lstViewVariables.Item(pos + 1).SubItem(column);
    }
    int gearId = 0;
};

TEST_F(VariablesPageTest, ReadsEveryVariableWithItsTexts) {
    auto& page = OpenAt(5);
    EXPECT_EQ(Cell(page, kActual, 1), "100");
    EXPECT_EQ(Cell(page, kMax, 1), "254");
    EXPECT_EQ(Cell(page, kMax, 2), "100 %");
    EXPECT_EQ(Cell(page, kMin, 1), "90");
    EXPECT_EQ(Cell(page, kFadeRate, 1), "7");
    EXPECT_EQ(Cell(page, kFadeRate, 2), "44.7 Steps/s");
    EXPECT_EQ(Cell(page, kFadeTime, 1), "2");
    EXPECT_EQ(Cell(page, kFadeTime, 2), "1 s");
    EXPECT_EQ(Cell(page, kRandom, 1), "258");
    EXPECT_EQ(Cell(page, kRandom, 2), "00 01 02");
    EXPECT_EQ(Cell(page, kVersion, 1), "1.0");
    EXPECT_EQ(Cell(page, kDeviceType, 1), "6");
    EXPECT_EQ(Cell(page, kPhysicalMin, 1), "85");
    EXPECT_EQ(Cell(page, kStatus, 1).size(), 10u);
    EXPECT_EQ(page.prgState.Value(), 0);
    EXPECT_TRUE(page.btnRefreshList.Enabled());
    // The first variable is in the editor.
    EXPECT_EQ(page.fraVariables.Caption(), "Actual Dim Level");
    EXPECT_EQ(page.txtValue.Text(), "100");
    EXPECT_EQ(page.sliValue.Value(), 100);
    EXPECT_EQ(page.lstViewVariables.SelectedItem()->Index(), 1);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(VariablesPageTest, TheSameAddressIsReadOnceAndRefreshReadsAgain) {
    auto& page = OpenAt(5);
    EXPECT_EQ(TakeFrames().size(), 14u);
    page.SetDALIAddr(5);
    page.SetDALIAddr(64);
    page.SetDALIAddr(-1);
    EXPECT_TRUE(TakeFrames().empty());
    page.btnRefreshList.Click();
    EXPECT_EQ(TakeFrames().size(), 14u);
}

TEST_F(VariablesPageTest, ASilentGearShowsTheFailureTexts) {
    terminal->Gear(gearId).Faults().m_silent = true;
    auto& page = OpenAt(5);
    EXPECT_EQ(Cell(page, kActual, 1), "?");
    EXPECT_EQ(Cell(page, kActual, 2), "0 %");
    EXPECT_EQ(Cell(page, kFadeRate, 1), "?");
    EXPECT_EQ(Cell(page, kRandom, 1), "?");
    EXPECT_EQ(Cell(page, kRandom, 2), "?? ?? ??");
    EXPECT_EQ(Cell(page, kStatus, 1), "???? ????");
    EXPECT_EQ(Cell(page, kVersion, 1), "V?.?");
    EXPECT_EQ(Cell(page, kDeviceType, 1), "?");
    EXPECT_EQ(page.Value(kRandom), -1);
    // A fade rate of 0 after a failed read is shown at the editor's lower end.
    page.lstViewVariables.ClickItem(kFadeRate + 1);
    EXPECT_EQ(page.sliValue.Value(), 1);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(VariablesPageTest, TheEditorLimitsEachVariableToItsRange) {
    auto& page = OpenAt(5);
    page.lstViewVariables.ClickItem(kMin + 1);
    page.txtValue.Type("300");
    EXPECT_EQ(page.txtValue.Text(), "255");
    EXPECT_EQ(page.lblValueSub.Caption(), "MASK");

    page.lstViewVariables.ClickItem(kFadeRate + 1);
    EXPECT_EQ(page.lblValueUnit.Caption(), "[1...15]");
    EXPECT_EQ(page.sliValue.Value(), 7);
    page.txtValue.Type("20");
    EXPECT_EQ(page.txtValue.Text(), "15");
    page.txtValue.Type("0");
    EXPECT_EQ(page.txtValue.Text(), "1");
    EXPECT_EQ(page.lblValueSub.Caption(), "357.8");

    page.lstViewVariables.ClickItem(kStatus + 1);
    EXPECT_FALSE(page.btnSaveVariable.Enabled());
    EXPECT_FALSE(page.txtValue.Visible());
    EXPECT_FALSE(page.sliValue.Visible());
    // Editing sends nothing.
    EXPECT_EQ(TakeFrames().size(), 14u);
}

TEST_F(VariablesPageTest, SavingWritesTheGearThroughTheDtr) {
    auto& page = OpenAt(5);
    TakeFrames();
    page.lstViewVariables.ClickItem(kMax + 1);
    page.sliValue.SetValue(200);
    page.btnSaveVariable.Click();
    // The terminal repeats a configuration command on the line.
    EXPECT_EQ(TakeFrames(),
              (std::vector<std::uint16_t>{DtrFrame(200), ShortFrame(5, 42), ShortFrame(5, 42)}));
    EXPECT_EQ(terminal->Gear(gearId).MaxLevel(), 200);
    EXPECT_EQ(Cell(page, kMax, 1), "200");

    page.lstViewVariables.ClickItem(kActual + 1);
    page.txtValue.Type("150");
    page.btnSaveVariable.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{ArcFrame(5, 150)}));
    ctx.scheduler.RunFor(1500);  // fade time 2: one second
    EXPECT_EQ(terminal->GearLevel(gearId), 150);

    // A DTR that fails skips the store and marks the value unknown.
    page.lstViewVariables.ClickItem(kPowerOn + 1);
    page.sliValue.SetValue(30);
    terminal->Faults().m_collideNextCommands = 1;
    page.btnSaveVariable.Click();
    EXPECT_EQ(Cell(page, kPowerOn, 1), "?");
    EXPECT_EQ(Cell(page, kPowerOn, 2), "0.221 %");
    EXPECT_EQ(page.Value(kPowerOn), -1);
    EXPECT_EQ(terminal->Gear(gearId).PowerOnLevel(), 254);
    for (std::uint16_t frame : TakeFrames()) EXPECT_NE(frame, ShortFrame(5, 45));
}

}  // namespace
}  // namespace zd::test
