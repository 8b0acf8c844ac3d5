// The variables page on the simulated line: the gear's variables read into the list with their
// texts, the editor's ranges, and a value written back into the gear through the DTR.
#include "PageRig.h"
#include "pages/configZD4270Variables.h"

namespace zd::test {
namespace {

// Rows of the list, in order.
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
        gear.randomAddress = 0x000102;
        gear.actualLevel = 100;
        gear.minLevel = 90;
        gear.physicalMinimum = 85;
        gear.fadeTime = 2;  // fade rate 7 by default
        gear.version = 0x10;
        gearId = AddGear(gear);
        Start();
        page = &Open<configZD4270Variables>(PageKind::Variables, 5);
    }
    std::string Cell(int pos, int column) {
        return page->lstViewVariables.Item(pos + 1).SubItem(column);
    }
    int gearId = 0;
    configZD4270Variables* page = nullptr;
};

TEST_F(VariablesPageTest, ReadsEveryVariableWithItsTextsOnceForAnAddressAndFailuresAsText) {
    EXPECT_EQ(Cell(kMax, 2), "100 %");
    EXPECT_EQ(Cell(kFadeRate, 2), "44.7 Steps/s");
    EXPECT_EQ(Cell(kFadeTime, 2), "1 s");
    EXPECT_EQ(Cell(kRandom, 1), "258");
    EXPECT_EQ(Cell(kRandom, 2), "00 01 02");
    EXPECT_EQ(Cell(kVersion, 1), "1.0");
    EXPECT_EQ(Cell(kPhysicalMin, 1), "85");
    // The first variable is in the editor.
    EXPECT_EQ(page->fraVariables.Caption(), "Actual Dim Level");
    EXPECT_EQ(page->sliValue.Value(), 100);
    EXPECT_EQ(page->lstViewVariables.SelectedItem()->Index(), 1);
    EXPECT_TRUE(page->btnRefreshList.Enabled());

    EXPECT_EQ(TakeFrames().size(), 14u);
    page->SetDALIAddr(5);
    page->SetDALIAddr(64);  // no address: ignored
    page->SetDALIAddr(-1);
    EXPECT_TRUE(TakeFrames().empty());
    page->btnRefreshList.Click();
    EXPECT_EQ(TakeFrames().size(), 14u);

    // A gear that answers only every second question is asked again: every value is read.
    terminal->Gear(gearId).Faults().m_answerEverySecondQuery = true;
    page->btnRefreshList.Click();
    EXPECT_EQ(Cell(kRandom, 2), "00 01 02");
    EXPECT_EQ(Cell(kVersion, 1), "1.0");
    EXPECT_EQ(TakeFrames().size(), 28u);
    terminal->Gear(gearId).Faults().m_answerEverySecondQuery = false;

    terminal->Gear(gearId).Faults().m_silent = true;
    page->btnRefreshList.Click();
    EXPECT_EQ(Cell(kActual, 1), "?");
    EXPECT_EQ(Cell(kActual, 2), "0 %");
    EXPECT_EQ(Cell(kRandom, 2), "?? ?? ??");
    EXPECT_EQ(Cell(kStatus, 1), "???? ????");
    EXPECT_EQ(Cell(kVersion, 1), "V?.?");
    EXPECT_EQ(page->Value(kRandom), -1);
    // A fade rate of 0 after a failed read is shown at the editor's lower end.
    page->lstViewVariables.ClickItem(kFadeRate + 1);
    EXPECT_EQ(page->sliValue.Value(), 1);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(VariablesPageTest, TheEditorLimitsEachVariableToItsRangeAndSavingWritesTheGear) {
    TakeFrames();
    page->lstViewVariables.ClickItem(kMin + 1);
    page->txtValue.Type("300");
    EXPECT_EQ(page->txtValue.Text(), "255");
    EXPECT_EQ(page->lblValueSub.Caption(), "MASK");

    page->lstViewVariables.ClickItem(kFadeRate + 1);
    EXPECT_EQ(page->sliValue.Value(), 7);
    page->txtValue.Type("20");
    EXPECT_EQ(page->txtValue.Text(), "15");
    page->txtValue.Type("0");
    EXPECT_EQ(page->txtValue.Text(), "1");
    EXPECT_EQ(page->lblValueSub.Caption(), "357.8");

    page->lstViewVariables.ClickItem(kStatus + 1);
    EXPECT_FALSE(page->btnSaveVariable.Enabled());
    EXPECT_FALSE(page->txtValue.Visible());
    EXPECT_TRUE(TakeFrames().empty());

    // Saving writes the gear through the DTR.
    page->lstViewVariables.ClickItem(kMax + 1);
    page->sliValue.SetValue(200);
    page->btnSaveVariable.Click();
    // The terminal repeats a configuration command on the line.
    EXPECT_EQ(TakeFrames(),
              (std::vector<std::uint16_t>{DtrFrame(200), ShortFrame(5, 42), ShortFrame(5, 42)}));
    EXPECT_EQ(terminal->Gear(gearId).MaxLevel(), 200);
    EXPECT_EQ(Cell(kMax, 1), "200");

    // The actual level is set by direct arc power, not through the DTR.
    page->lstViewVariables.ClickItem(kActual + 1);
    page->txtValue.Type("150");
    page->btnSaveVariable.Click();
    EXPECT_EQ(TakeFrames(), (std::vector<std::uint16_t>{ArcFrame(5, 150)}));

    // A DTR that fails skips the store and marks the value unknown.
    // (A collided frame goes out again: this one collides every time.)
    page->lstViewVariables.ClickItem(kPowerOn + 1);
    page->sliValue.SetValue(30);
    terminal->Faults().m_collideNextCommands = 1 + kCollisionRetries;
    page->btnSaveVariable.Click();
    EXPECT_EQ(Cell(kPowerOn, 1), "?");
    EXPECT_EQ(page->Value(kPowerOn), -1);
    EXPECT_EQ(terminal->Gear(gearId).PowerOnLevel(), 254);
    for (std::uint16_t frame : TakeFrames()) EXPECT_NE(frame, ShortFrame(5, 45));
}

}  // namespace
}  // namespace zd::test
