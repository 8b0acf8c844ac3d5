// The options tab: each click rewrites the terminal's feature register behind the code word, the
// mode switch decides whether a scan may run, and nothing is written while the controls are set
// from the terminal or without a terminal.
#include "support/ControlRig.h"

namespace zd::test {
namespace {

class OptionsTest : public ControlRig {
  protected:
    void RefreshWith(std::uint16_t features) {
        MakeTerminal(0x314D, features);
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty());
    }
    std::uint16_t Features() const { return terminal->Register(32); }
};

TEST_F(OptionsTest, BoxesAndModeSwitchRewriteTheirBitsAndKeepTheOthers) {
    RefreshWith(0x0000);
    control->chkCountDALIDevices.SetChecked(false);
    EXPECT_EQ(Features(), 0x0010);
    control->chkPowerSupplyUnit.SetChecked(false);
    EXPECT_EQ(Features(), 0x0018);
    control->Option5.SetValue(true);
    EXPECT_EQ(Features(), 0x1018);
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
    control->chkCountDALIDevices.SetChecked(true);
    EXPECT_EQ(Features(), 0x1008);

    control->Option4.SetValue(true);
    EXPECT_EQ(Features(), 0x0008);
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    control->cmdScanDevices.Click();
    EXPECT_TRUE(control->Scanning());
    // A refused write or a code word left open would show here.
    EXPECT_EQ(terminal->Register(31), 0);
    EXPECT_EQ(terminal->RefusedRegisterWrites(), 0);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(OptionsTest, OneReadThenCodeWordValueAndZeroToThisTerminal) {
    MakeTerminal(0x314D, 0x0000, sim::ImageLayout::Packed(0, 1), 7);
    StationShape shape;
    shape.pos = "Pos=\"7\"";
    Refresh(shape);
    ASSERT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    auto store = std::make_shared<WordStore>();
    store->words[{7, 0, 32}] = 0x0008;
    state.objDevCom = store;
    control->Option5.SetValue(true);
    // write, device, table, offset, words
    using Seen = std::tuple<bool, int, int, int, std::vector<std::uint16_t>>;
    std::vector<Seen> seen;
    for (const WordStore::Call& c : store->calls)
        seen.emplace_back(c.write, c.device, c.table, c.offset, c.words);
    EXPECT_EQ(seen, (std::vector<Seen>{{false, 7, 0, 32, {0x0008}},
                                       {true, 7, 0, 31, {0x52D6}},
                                       {true, 7, 0, 32, {0x1008}},
                                       {true, 7, 0, 31, {0}}}));
}

TEST_F(OptionsTest, NothingIsWrittenWhileRefreshingOrWithoutATerminal) {
    control->Option5.SetValue(true);
    control->chkPowerSupplyUnit.SetChecked(true);
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    // The refresh raises both clicks; a register write would fail and show a box.
    MakeTerminal(0x314D, 0x0000);
    port->Faults().m_failWritesToTable = 0;
    Refresh();
    EXPECT_TRUE(control->Option4.Value());
    EXPECT_TRUE(control->chkCountDALIDevices.IsChecked());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(OptionsTest, AFailedWriteIsReportedUnderTheHandlerAndKeepsTheMode) {
    RefreshWith(0x0000);
    port->Faults().m_failWritesToTable = 0;
    control->Option5.SetValue(true);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text.rfind(
                  "Error: Option5_Click: device communication failed (simulated fault on writes to "
                  "table 0)\r\nSource: OrvixVTermZD4270",
                  0),
              0u);
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    EXPECT_EQ(Features(), 0x0000);
}

}  // namespace
}  // namespace zd::test
