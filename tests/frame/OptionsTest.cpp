// The options tab: each click rewrites the terminal's feature register behind the code word,
// the mode switch decides whether a scan may run, and nothing is written while the controls are
// set from the terminal or without a terminal.
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
    // A register write the terminal refused, or a code word left behind, would show here.
    void ExpectClosed() const {
        EXPECT_EQ(terminal->Register(31), 0);
        EXPECT_EQ(terminal->RefusedRegisterWrites(), 0);
    }
};

TEST_F(OptionsTest, ClearedBoxesSetTheirBitsAndSetBoxesClearThem) {
    RefreshWith(0x0000);
    ASSERT_TRUE(control->chkCountDALIDevices.IsChecked());
    ASSERT_TRUE(control->chkPowerSupplyUnit.IsChecked());
    control->chkCountDALIDevices.SetChecked(false);
    EXPECT_EQ(Features(), 0x0010);
    control->chkPowerSupplyUnit.SetChecked(false);
    EXPECT_EQ(Features(), 0x0018);
    ExpectClosed();
}

TEST_F(OptionsTest, SwitchingToDaliKeepsTheOtherBitsAndAllowsTheScan) {
    RefreshWith(0x1018);
    EXPECT_TRUE(control->Option5.Value());
    EXPECT_FALSE(control->chkPowerSupplyUnit.IsChecked());
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);

    control->Option4.SetValue(true);
    EXPECT_EQ(Features(), 0x0018);
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    control->cmdScanDevices.Click();
    EXPECT_TRUE(control->m_bScanning);
    control->cmdScanDevices.Click();

    control->Option5.SetValue(true);
    EXPECT_EQ(Features(), 0x1018);
    EXPECT_EQ(state.m_nOperationMode, kModeDsi);
    ExpectClosed();
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(OptionsTest, OneReadThenCodeWordValueAndZeroToThisTerminal) {
    auto store = std::make_shared<WordStore>();
    store->words[{7, 0, 32}] = 0x0008;
    state.objDevCom = store;
    control->Pos = 7;
    control->Option5.SetValue(true);
    ASSERT_EQ(store->calls.size(), 4u);
    EXPECT_FALSE(store->calls[0].write);
    EXPECT_EQ(store->calls[0].offset, 32);
    const std::pair<std::int32_t, std::uint16_t> writes[] = {{31, 0x52D6}, {32, 0x1008}, {31, 0}};
    for (std::size_t i = 0; i < 3; ++i) {
        const WordStore::Call& call = store->calls[i + 1];
        EXPECT_TRUE(call.write);
        EXPECT_EQ(call.device, 7);
        EXPECT_EQ(call.table, 0);
        EXPECT_EQ(call.offset, writes[i].first);
        EXPECT_EQ(call.words, std::vector<std::uint16_t>{writes[i].second});
    }
}

TEST_F(OptionsTest, NothingIsWrittenWhileRefreshingOrWithoutATerminal) {
    control->Option5.SetValue(true);
    control->chkPowerSupplyUnit.SetChecked(true);
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    // The refresh selects Option4 and sets chkCountDALIDevices, raising both clicks; a register
    // write would fail and show a box.
    MakeTerminal(0x314D, 0x0000);
    port->faults.failWritesToTable = 0;
    Refresh();
    EXPECT_TRUE(control->Option4.Value());
    EXPECT_TRUE(control->chkCountDALIDevices.IsChecked());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    auto store = std::make_shared<WordStore>();
    state.objDevCom = store;
    control->m_bRefreshing = true;
    control->Option5.SetValue(true);
    control->chkPowerSupplyUnit.SetChecked(false);
    EXPECT_TRUE(store->calls.empty());
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
}

TEST_F(OptionsTest, AFailedWriteIsReportedUnderTheHandlerAndKeepsTheMode) {
    RefreshWith(0x0000);
    port->faults.failWritesToTable = 0;
    control->Option5.SetValue(true);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(
        ctx.dialogs.boxes[0].text.rfind("Error: Option5_Click: Device communication failed\r\n"
                                        "Source: VmDcCOM\r\nNumber: ",
                                        0),
        0u);
    EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure");
    EXPECT_EQ(state.m_nOperationMode, kModeDali);
    EXPECT_EQ(Features(), 0x0000);
}

}  // namespace
}  // namespace zd::test
