// The command handshake and the DALI/DSI transactions: what reaches the terminal, the result codes,
// the log lines, the waits in virtual time and the error boxes.
#include <gtest/gtest.h>

#include <optional>

#include "LinkRig.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {
namespace {

using test::LinkRig;
using test::LinkSetup;

Result SendDALI(LinkRig& rig, std::int16_t nCommandId, std::uint8_t nData, AddressKind nAddrType,
                std::int16_t nAddr, LogStream* log = nullptr) {
    return rig.link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, log);
}

class TransactionTest : public testing::TestWithParam<LinkSetup> {
  protected:
    LinkRig rig{GetParam()};
};

TEST_P(TransactionTest, CommandsReachTheTerminalAndEachTogglesControlBitZero) {
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 5), Result::Done);
    EXPECT_EQ(rig.terminal->ControlByte() & kControlToggle, 1);
    EXPECT_EQ(SendDALI(rig, kCmdRecallMaxLevel, 0, AddressKind::Group, 2), Result::Done);
    EXPECT_EQ(rig.terminal->ControlByte() & kControlToggle, 0);
    std::uint8_t nDsi = 0x7F;
    EXPECT_EQ(rig.link.SendDSICommand(nDsi), Result::Done);
    // A raw command word: the caller's variable comes back swapped in Motorola order.
    std::int32_t nWord = 0xA50B;
    EXPECT_EQ(rig.link.SendCommand(nWord), Result::Done);
    EXPECT_EQ(nWord, GetParam().bMotorola ? 0x0BA5 : 0xA50B);
    EXPECT_EQ(rig.terminal->Commands(),
              (std::vector<std::uint16_t>{0x0B00, 0x8505, 0x007F, 0xA50B}));
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_P(TransactionTest, HandshakeCallSequenceAndTimeOfAnAcknowledgedCommand) {
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 5), Result::Done);
    EXPECT_EQ(rig.Now(), 50);
    const auto& calls = rig.terminal->Calls();
    // Read the two words, write the data, write the toggle, read them back, then one poll of the
    // control and the status word.
    ASSERT_EQ(calls.size(), 6u);
    const bool writes[] = {false, true, true, false, false, false};
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].bWrite, writes[i]) << i;
    EXPECT_EQ(calls[5].nTable, test::kInputTable);
    EXPECT_EQ(calls[5].timeMs, 50);
    // The data goes out with the old control byte; only the second write differs by the toggle.
    EXPECT_NE(calls[1].words, calls[2].words);
    EXPECT_EQ(calls[3].words, calls[2].words);
}

TEST_P(TransactionTest, QueryAnswerAndTimeoutWithTheirLogLines) {
    StringLogStream log;
    ASSERT_EQ(SendDALI(rig, kCmdQueryActualLevel, 0, AddressKind::Short, 1, &log), Result::Done);
    rig.terminal->PresentAnswer(0x05);
    std::uint8_t nData = 0;
    const std::string answerStamp = DateTimeText(rig.t.scheduler.WallClock());
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, &log), Result::Done);
    EXPECT_EQ(nData, 0x05);
    EXPECT_EQ(rig.Now(), 50);

    rig.terminal->SetInputValue(0x00FE);  // a byte without the present bit is no answer
    nData = 99;
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, &log), Result::Timeout);
    EXPECT_EQ(nData, 0);
    EXPECT_EQ(rig.Now(), 90);
    EXPECT_EQ(log.text, DateTimeText(rig.t.scheduler.WallClock() - std::chrono::milliseconds(90)) +
                            "   A1      query actual level\r\n" + answerStamp + "   0x5\r\n" +
                            DateTimeText(rig.t.scheduler.WallClock()) + "   timeout\r\n");
}

TEST_P(TransactionTest, StartRandomAddressingPulsesControlBitThreeAndClearsBitOne) {
    // Control bit 1 set by someone before: the start clears it along with setting bit 3.
    const auto& layout = GetParam().layout;
    const std::uint16_t bit1 = layout[kControl].nBitOffset ? 0x0200 : 0x0002;
    rig.terminal->SetWord(test::kOutputTable, layout[kControl].nWordOffset, bit1);
    rig.terminal->SetFirmwareAddressingStarts(true);
    EXPECT_EQ(rig.link.StartRandomAddressing(), Result::Done);
    EXPECT_EQ(rig.terminal->ControlHistory(), (std::vector<std::uint8_t>{0x00, 0x08, 0x00}));
    EXPECT_EQ(rig.terminal->StatusByte() & kStatusFirmwareAddressing, kStatusFirmwareAddressing);
    EXPECT_EQ(rig.Now(), 0);  // the run showed at the first look
    EXPECT_TRUE(rig.terminal->Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(Placements, TransactionTest, testing::ValuesIn(test::kLinkSetups),
                         [](const auto& test) { return test.param.name; });

// Words that cannot be the terminal's own end every transaction from then on, with one box that
// says what came back, and nothing more goes to the terminal: an output word whose control byte
// reads back other than written (the toggle would carry the foreign bits back), a status byte
// with a bit the terminal never sets, an answer that changes without a new command.
TEST_P(TransactionTest, WordsThatCannotBeTheTerminalsEndTheLinksTraffic) {
    const test::Layout& layout = GetParam().layout;
    const ProcessImageEntry& out =
        layout[kOutput].nBitOffset != 0 ? layout[kOutput] : layout[kControl];
    const std::uint16_t bit3 =
        out.nBitOffset == 0 && layout[kControl].nBitOffset != 0 ? 0x0800 : 0x0008;
    const auto afterOneCommand = [&](LinkRig& r) {
        EXPECT_EQ(SendDALI(r, kCmdQueryStatus, 0, AddressKind::Short, 5), Result::Done);
        return r.terminal->Calls().size();
    };
    {
        LinkRig r{GetParam()};
        afterOneCommand(r);
        r.terminal->SetWord(out.nTableNumber, out.nWordOffset,
                            r.terminal->Word(out.nTableNumber, out.nWordOffset) ^ bit3);
        const std::size_t writes = r.terminal->CountCalls(true);
        EXPECT_EQ(SendDALI(r, kCmdOff, 0, AddressKind::Short, 5), Result::Error);
        EXPECT_EQ(r.terminal->CountCalls(true), writes);
        ASSERT_EQ(r.t.dialogs.boxes.size(), 1u);
        EXPECT_NE(r.BoxText().find("reads back"), std::string::npos) << r.BoxText();
        EXPECT_NE(r.BoxText().find("another master"), std::string::npos) << r.BoxText();
        EXPECT_TRUE(r.link.CommunicationLost());
        const std::size_t calls = r.terminal->Calls().size();
        std::uint8_t nDsi = 1;
        EXPECT_EQ(r.link.SendDSICommand(nDsi), Result::Error);
        EXPECT_THROW(r.link.StartRandomAddressing(), ControlError);
        EXPECT_EQ(r.terminal->Calls().size(), calls);
        EXPECT_EQ(r.t.dialogs.boxes.size(), 1u);
    }
    {
        LinkRig r{GetParam()};
        afterOneCommand(r);
        r.terminal->SetStatusBits(0x40);
        EXPECT_EQ(SendDALI(r, kCmdOff, 0, AddressKind::Short, 5), Result::Error);
        EXPECT_NE(r.BoxText().find("status byte"), std::string::npos) << r.BoxText();
        const std::size_t calls = r.terminal->Calls().size();
        EXPECT_EQ(SendDALI(r, kCmdOff, 0, AddressKind::Short, 5), Result::Error);
        EXPECT_EQ(r.terminal->Calls().size(), calls);
    }
    {
        LinkRig r{GetParam()};
        afterOneCommand(r);
        r.terminal->PresentAnswer(0x12);
        std::uint8_t nData = 0;
        EXPECT_EQ(r.link.ReceiveDALIData(nData, nullptr), Result::Done);
        EXPECT_EQ(r.link.ReceiveDALIData(nData, nullptr), Result::Done);
        r.terminal->PresentAnswer(0x34);
        EXPECT_EQ(r.link.ReceiveDALIData(nData, nullptr), Result::Error);
        EXPECT_NE(r.BoxText().find("without a new command"), std::string::npos) << r.BoxText();
    }
}

class HandshakeTest : public testing::Test {
  protected:
    LinkRig rig{test::PackedLayout(), false};
};

TEST_F(HandshakeTest, LineErrorsOfCommandsAndAnswers) {
    rig.terminal->SetStatusBits(kStatusCollision | kStatusCorruptFrame);
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Broadcast, 0), Result::Collision);
    rig.terminal->ClearStatusBits(kStatusCollision);
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Broadcast, 0), Result::CorruptFrame);
    std::uint8_t nDsi = 1;
    EXPECT_EQ(rig.link.SendDSICommand(nDsi), Result::CorruptFrame);
    // An error bit ends the poll at once.
    EXPECT_EQ(rig.Now(), 150);

    // Receiving: collision before corrupt frame, and an answer wins over both.
    std::uint8_t nData = 0;
    rig.terminal->SetStatusBits(kStatusCollision);
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, nullptr), Result::Collision);
    rig.terminal->ClearStatusBits(kStatusCollision);
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, nullptr), Result::CorruptFrame);
    rig.terminal->PresentAnswer(0xA0);
    rig.terminal->SetStatusBits(kStatusCollision);
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, nullptr), Result::Done);
    EXPECT_EQ(nData, 0xA0);
}

TEST_F(HandshakeTest, UnacknowledgedCommandCountsAsSentAfterTwoPolls) {
    rig.terminal->SetAcknowledge(false);
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 0), Result::Done);
    EXPECT_EQ(rig.Now(), 70);
    EXPECT_EQ(rig.terminal->CountCalls(false), 2u + 4u);
}

// Quick pacing writes data and toggle at once and reads the status when the acknowledge is due
// (first by the line's own times: 25 ms a frame), never sending on before it came; silence is
// believed once an answer would have been complete on the line (19 ms after the frames), until
// the terminal has shown that its answers come with the acknowledge. The scripted terminal
// acknowledges as it takes a command; one that never acknowledges makes the quick waits give way
// to the paced ones after a second.
TEST_F(HandshakeTest, QuickPacingWaitsForEachAcknowledgeWhenItIsDue) {
    struct Case {
        std::optional<std::int16_t> before;
        bool acknowledge;
        std::optional<std::uint8_t> answer;
        std::int64_t commandEndMs;
        Result received;
        std::int64_t receiveEndMs;
    };
    const Case cases[] = {
        {std::nullopt, true, 0x42, 25, Result::Done, 44},
        {std::nullopt, true, std::nullopt, 25, Result::Timeout, 44},
        {std::nullopt, false, std::nullopt, 1039, Result::Timeout, 1079},
        {kCmdSearchAddrL, true, std::nullopt, 50, Result::Timeout, 69},
        {kCmdInitialise, true, std::nullopt, 75, Result::Timeout, 94},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.before.value_or(0) << " " << c.acknowledge << " "
                                        << c.answer.has_value());
        LinkRig quick{test::PackedLayout(), false};
        quick.link.SetPacing(Link::Pacing::Quick);
        quick.terminal->SetAcknowledge(c.acknowledge);
        if (c.before) {
            ASSERT_EQ(SendDALI(quick, *c.before, 0, AddressKind::Broadcast, 0), Result::Done);
        }
        const std::size_t callsBefore = quick.terminal->Calls().size();
        EXPECT_EQ(SendDALI(quick, kCmdQueryActualLevel, 0, AddressKind::Short, 1), Result::Done);
        EXPECT_EQ(quick.Now(), c.commandEndMs);
        EXPECT_EQ(quick.link.LastCommandAcknowledged(), c.acknowledge);
        EXPECT_EQ(quick.link.QuickTimingDistrust().has_value(), !c.acknowledge);
        // Acknowledged when due: one write of data and toggle, one read of status and input;
        // the output words are read once, before the first command.
        if (c.acknowledge) {
            EXPECT_EQ(quick.terminal->Calls().size() - callsBefore, c.before ? 2u : 3u);
        }
        if (c.answer) quick.terminal->PresentAnswer(*c.answer);
        std::uint8_t nData = 0;
        EXPECT_EQ(quick.link.ReceiveDALIData(nData, nullptr), c.received);
        EXPECT_EQ(nData, c.answer.value_or(0));
        EXPECT_EQ(quick.Now(), c.receiveEndMs);
    }
}

TEST_F(HandshakeTest, TakeOverThatNeverComesCostsFiftyReadsAndGoesOn) {
    rig.terminal->SetTakeOverNever();
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 0), Result::Done);
    EXPECT_EQ(rig.Now(), 5000 + 200 + 50);
    std::size_t readBacks = 0;
    for (const auto& call : rig.terminal->Calls())
        if (!call.bWrite && call.nCount == 2) ++readBacks;
    EXPECT_EQ(readBacks, 1u + 50u);  // the read of step one, then the take-over reads
    EXPECT_TRUE(rig.terminal->Commands().empty());
    // Words that never show a write are the host's, not another master's: the next command goes
    // on as well.
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 1), Result::Done);
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_F(HandshakeTest, ToggleMaskFollowsAControlByteInTheHighByte) {
    LinkRig high(test::WordAlignedLayout(4, true), false);
    high.terminal->SetWord(test::kOutputTable, 4, 0x00C3);  // a foreign low byte stays as it is
    EXPECT_EQ(SendDALI(high, kCmdOff, 0, AddressKind::Short, 1), Result::Done);
    EXPECT_EQ(high.terminal->Word(test::kOutputTable, 4), 0x01C3);
    EXPECT_EQ(high.terminal->Word(test::kOutputTable, 5), 0x0300);
    EXPECT_EQ(high.Now(), 50);
    EXPECT_EQ(high.link.StartRandomAddressing(), Result::Done);
    EXPECT_EQ(high.terminal->ControlHistory(), (std::vector<std::uint8_t>{0x00, 0x01, 0x09, 0x01}));
    EXPECT_EQ(high.terminal->Word(test::kOutputTable, 4) & 0x00FF, 0xC3);
}

TEST_F(HandshakeTest, RejectedAddressesAndCommandsWriteNothingButAreLogged) {
    StringLogStream log;
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 64, &log), Result::BadAddress);
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKindFromNumber(7), 1, &log), Result::BadAddrType);
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Group, 16, &log), Result::BadGroup);
    // A command outside the catalogue is refused as a bad address.
    EXPECT_EQ(SendDALI(rig, 300, 0, AddressKind::Short, 1, &log), Result::BadAddress);
    EXPECT_TRUE(rig.terminal->Calls().empty());
    EXPECT_EQ(rig.Now(), 0);
    const std::string stamp = DateTimeText(rig.t.scheduler.WallClock());
    EXPECT_EQ(log.text, stamp + "   <unkown short address> 64   off\r\n" + stamp +
                            "   <unkown address type> 7   off\r\n" + stamp +
                            "   <unkown group address> 16   off\r\n" + stamp +
                            "   *       <unkown command> 300\r\n");
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_F(HandshakeTest, SpecialCommandsIgnoreTheAddressAndChangedDataReachesTheCaller) {
    EXPECT_EQ(SendDALI(rig, kCmdProgramShortAddress, 0x0B, AddressKind::Broadcast, -4),
              Result::Done);
    std::int16_t nCommandId = 20, nAddr = 2;
    AddressKind nAddrType = AddressKind::Short;
    std::uint8_t nData = 200;
    EXPECT_EQ(rig.link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr), Result::Done);
    EXPECT_EQ(nData, 4);
    EXPECT_EQ(rig.terminal->Commands(), (std::vector<std::uint16_t>{0xB70B, 0x0514}));
}

TEST_F(HandshakeTest, WithoutDevComEveryTransactionAndAccessorReturnsTwoAtOnce) {
    rig.state.objDevCom.reset();
    StringLogStream log;
    std::uint8_t nData = 42;
    std::int32_t nWord = 0x1234;
    std::int16_t nIn = 77;
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 1, &log), Result::NoDevCom);
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, &log), Result::NoDevCom);
    EXPECT_EQ(rig.link.SendDSICommand(nData), Result::NoDevCom);
    EXPECT_EQ(rig.link.SendCommand(nWord), Result::NoDevCom);
    EXPECT_EQ(rig.link.StartRandomAddressing(), Result::NoDevCom);
    EXPECT_EQ(rig.link.ReadDataIn(nIn), Result::NoDevCom);
    EXPECT_EQ(rig.link.WriteDataOut(nWord), Result::NoDevCom);
    EXPECT_EQ(nData, 42);
    EXPECT_EQ(nWord, 0x1234);
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
    EXPECT_EQ(rig.Now(), 0);
    // The command line is still logged; the receive without a device logs nothing.
    EXPECT_EQ(log.text, DateTimeText(rig.t.scheduler.WallClock()) + "   A1      off\r\n");
}

TEST_F(HandshakeTest, DevComFailureInsideATransactionShowsItsBoxAndReturnsOne) {
    const std::string failure = ": Table access failed\r\nSource: VmDcCOM\r\nNumber: 30001";
    // Fail the toggle write (third call): the command is lost, the handshake stops there.
    rig.terminal->FailOnCall(3);
    EXPECT_EQ(SendDALI(rig, kCmdOff, 0, AddressKind::Short, 1), Result::Error);
    ASSERT_EQ(rig.t.dialogs.boxes.size(), 1u);
    EXPECT_EQ(rig.BoxText(0), "Error: SendDALICommand" + failure);
    EXPECT_EQ(rig.t.dialogs.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(rig.t.dialogs.boxes[0].title, "System failure");
    EXPECT_EQ(rig.Now(), 0);

    StringLogStream log;
    std::uint8_t nData = 7;
    rig.terminal->FailOnCall(static_cast<int>(rig.terminal->Calls().size()) + 2);
    EXPECT_EQ(rig.link.ReceiveDALIData(nData, &log), Result::Error);
    EXPECT_EQ(rig.BoxText(1), "Error: ReceiveDALIData" + failure);
    EXPECT_TRUE(log.text.empty());
}

TEST_F(HandshakeTest, FunctionsWithoutHandlerLetDevComFailuresThrough) {
    rig.terminal->FailOnCall(1);
    std::int32_t nWord = 0x0100;
    EXPECT_THROW(rig.link.SendCommand(nWord), ControlError);
    rig.terminal->FailOnCall(2);
    EXPECT_THROW(rig.link.WriteDataOut(nWord), ControlError);
    rig.terminal->FailOnCall(3);
    EXPECT_THROW(rig.link.StartRandomAddressing(), ControlError);
    EXPECT_TRUE(rig.t.dialogs.boxes.empty());
}

TEST_F(HandshakeTest, FirmwareRunThatNeverStartsIsLookedForTenTimes) {
    EXPECT_EQ(rig.link.StartRandomAddressing(), Result::Done);
    EXPECT_EQ(rig.Now(), 1000);
    std::size_t statusReads = 0;
    for (const auto& call : rig.terminal->Calls())
        if (call.nTable == test::kInputTable) ++statusReads;
    EXPECT_EQ(statusReads, 10u);
    EXPECT_EQ(rig.terminal->StatusByte() & kStatusFirmwareAddressing, 0);
}

}  // namespace
}  // namespace zd
