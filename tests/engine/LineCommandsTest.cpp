// One command, one query, one DSI byte and the terminal's options through the engine, on a
// simulated line without the form: what the line heard, what came back, and what the feature
// register holds afterwards.
#include "engine/LineCommands.h"
#include "engine/TerminalOptions.h"
#include "link/TerminalRegisters.h"
#include "support/EngineRig.h"

namespace zd::test {
namespace {

using LineCommandsTest = ProcedureRig;

constexpr std::uint16_t kFirmware = 0x314D;

LineCommand ToShort(std::int16_t commandId, std::int16_t address) {
    return {commandId, 0, AddressKind::Short, address};
}

TEST_F(LineCommandsTest, AQueryGetsItsByteSilenceOrSeveralAnswers) {
    UseExampleLine("three-addressed.json", kFirmware);
    ASSERT_EQ(SendLineCommand(line.Terminal(), ToShort(kCmdRecallMaxLevel, 5)).sent, Result::Done);
    const LineCommandResult level = QueryLine(line.Terminal(), ToShort(kCmdQueryActualLevel, 5));
    EXPECT_EQ(level.sent, Result::Done);
    EXPECT_EQ(level.acknowledged, true);
    EXPECT_EQ(level.answer, QueryAnswer::Byte);
    EXPECT_EQ(level.answerByte, 254);

    const LineCommandResult nobody = QueryLine(line.Terminal(), ToShort(kCmdQueryBallast, 1));
    EXPECT_EQ(nobody.answer, QueryAnswer::None);
    EXPECT_EQ(nobody.answerResult, Result::Timeout);

    const LineCommandResult all =
        QueryLine(line.Terminal(), {kCmdQueryStatus, 0, AddressKind::Broadcast, 0});
    EXPECT_EQ(all.answer, QueryAnswer::Several);
    // A plain command reads nothing, and a bad address reaches no line.
    Sim().ClearFrameLog();
    const LineCommandResult bad = SendLineCommand(line.Terminal(), ToShort(kCmdOff, 64));
    EXPECT_EQ(bad.sent, Result::BadAddress);
    EXPECT_FALSE(bad.acknowledged.has_value());
    EXPECT_EQ(bad.answer, QueryAnswer::NotRead);
    EXPECT_TRUE(Sim().FrameLog().empty());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

TEST_F(LineCommandsTest, EachModeRefusesTheOthersTransactionWithItsNoticeAndNoFrame) {
    UseExampleLine("three-addressed.json", kFirmware);
    std::vector<EngineNotice> heard;
    line.Terminal().tell = [&](const EngineNotice& notice) { heard.push_back(notice); };
    const LineCommandResult dsiInDali = SendDsiByte(line.Terminal(), 128);
    EXPECT_EQ(dsiInDali.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(dsiInDali.outcome.message.id, msg::kNotDsiMode);
    EXPECT_EQ(dsiInDali.outcome.text, ctx.context.messages.Load(5123) + "!");
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(NoticeBox(heard[0], ctx.context.messages).title, ctx.context.messages.Load(5098));
    EXPECT_EQ(MessageText(heard[0].message, Language::German),
              MessageCatalogue(Language::German).Load(5123) + "!");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_TRUE(Sim().FrameLog().empty());

    UseExampleLine("dsi-line.json", kFirmware);
    state.m_nOperationMode = kModeDsi;
    const LineCommandResult daliInDsi = QueryLine(line.Terminal(), ToShort(kCmdQueryStatus, 0));
    EXPECT_EQ(daliInDsi.outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(daliInDsi.answer, QueryAnswer::NotRead);
    EXPECT_TRUE(Sim().FrameLog().empty());

    const LineCommandResult level = SendDsiByte(line.Terminal(), 128);
    EXPECT_TRUE(level.outcome.Ok());
    EXPECT_EQ(level.sent, Result::Done);
    ASSERT_EQ(Sim().FrameLog().size(), 1u);
    EXPECT_TRUE(Sim().FrameLog()[0].dsi);
    EXPECT_EQ(Sim().FrameLog()[0].frame, 128);
}

TEST_F(LineCommandsTest, OptionsReadBackWhatIsWrittenAndAWriteKeepsTheOtherBits) {
    UseExampleLine("three-addressed.json", kFirmware);
    // Bits the tool does not know about must survive every write.
    const std::uint16_t start = 0x0104;
    const std::uint16_t closed = 0;
    devCom->WriteTable(1, 0, kCodeWordRegister, 1, &kCodeWord);
    devCom->WriteTable(1, 0, kFeatureRegister, 1, &start);
    devCom->WriteTable(1, 0, kCodeWordRegister, 1, &closed);

    const TerminalOptions before = ReadTerminalOptions(line.Terminal());
    EXPECT_EQ(before.mode, TerminalMode::Dali);
    EXPECT_TRUE(before.powerSupplyUnit);
    EXPECT_TRUE(before.countDaliDevices);
    EXPECT_EQ(ReadFirmwareVersion(line.Terminal()), kFirmware);

    TerminalOptionsChange change;
    change.mode = TerminalMode::Dsi;
    change.powerSupplyUnit = false;
    const TerminalOptions written = WriteTerminalOptions(line.Terminal(), change);
    EXPECT_EQ(Sim().Register(kFeatureRegister), 0x110C);
    EXPECT_EQ(written.featureRegister, 0x110C);
    const TerminalOptions after = ReadTerminalOptions(line.Terminal());
    EXPECT_EQ(after.mode, TerminalMode::Dsi);
    EXPECT_FALSE(after.powerSupplyUnit);
    EXPECT_TRUE(after.countDaliDevices);

    change = {};
    change.countDaliDevices = false;
    change.powerSupplyUnit = true;
    WriteTerminalOptions(line.Terminal(), change);
    EXPECT_EQ(Sim().Register(kFeatureRegister), 0x1114);
    // The code word is closed again and the terminal took every write.
    EXPECT_EQ(Sim().Register(kCodeWordRegister), 0);
    EXPECT_EQ(Sim().RefusedRegisterWrites(), 0);
}

TEST_F(LineCommandsTest, OptionsWithoutATerminalAreAClearError) {
    UseExampleLine("three-addressed.json", kFirmware);
    state.objDevCom.reset();
    EXPECT_THROW(ReadTerminalOptions(line.Terminal()), ControlError);
    EXPECT_THROW(WriteTerminalOptions(line.Terminal(), {TerminalMode::Dsi, {}, {}}), ControlError);
    EXPECT_EQ(FirmwareVersionText(0x314D), "0x314D  (1M)");
    EXPECT_EQ(FirmwareVersionText(0x0041), "0x41  (.A)");
}

}  // namespace
}  // namespace zd::test
