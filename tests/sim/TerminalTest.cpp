// The terminal as the control sees it through the device-communication calls: the layouts it
// refuses, the command handshake and its timing, repeats of send-twice commands, registers and
// DSI. Where its bytes lie is checked end to end with the control's link.
#include <gtest/gtest.h>

#include <vector>

#include "platform/Error.h"
#include "sim/SimRig.h"

namespace zd::sim {
namespace {

using test::SimRig;

GearConfig At(int shortAddress) {
    GearConfig config;
    config.shortAddress = static_cast<std::uint8_t>(shortAddress);
    return config;
}

TEST(TerminalLayoutTest, RefusesLayoutsItCannotServe) {
    VirtualScheduler clock;
    Terminal terminal(clock);
    EXPECT_THROW(terminal.SetLayout(ImageLayout::Packed(0, 0)), ControlError);  // shared word
    ImageLayout layout = ImageLayout::Packed(0, 1);
    layout.entries[kImageInput].nBitOffset = 4;
    EXPECT_THROW(terminal.SetLayout(layout), ControlError);
    layout = ImageLayout::Packed(0, 1);
    layout.entries[kImageOutput].nWordOffset = ProcessImage::kTableWords - 1;  // data spills over
    EXPECT_THROW(terminal.SetLayout(layout), ControlError);
    // The old layout stays in force.
    EXPECT_EQ(terminal.Layout().entries[kImageControl].nTableNumber, 1);
}

class TerminalTest : public ::testing::Test {
  protected:
    TerminalTest() {
        m_rig.Term().SetFrameLog(true);
        m_a = m_rig.Term().AddGear(At(5));
        m_rig.Term().AddGear(At(6));
    }
    Terminal& Term() { return m_rig.Term(); }

    SimRig m_rig;
    int m_a = 0;
};

TEST_F(TerminalTest, AcknowledgesAfterTheFramesTimeOnTheLine) {
    // A query: forward frame, answer delay and backward frame, about 30 ms.
    m_rig.Command(0x0BA0);
    m_rig.Clock().Sleep(15);
    EXPECT_EQ(m_rig.Status() & 0x01, 0);
    m_rig.Clock().Sleep(20);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);
    EXPECT_EQ(m_rig.Input(), 0x01FE);
    // A configuration command goes out twice: about 41 ms of line time before the acknowledge.
    m_rig.Clock().Sleep(20);
    m_rig.Command(0x0B60);  // ADD TO GROUP 0
    m_rig.Clock().Sleep(40);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);  // not yet toggled back to 0
    m_rig.Clock().Sleep(20);
    EXPECT_EQ(m_rig.Status() & 0x01, 0);
}

TEST_F(TerminalTest, RepeatsSendTwiceCommandsSoTheGearCarryThemOutOnce) {
    m_rig.Do(0x0B60);  // ADD TO GROUP 0 to gear 5
    EXPECT_EQ(Term().Gear(m_a).Groups(), 0x0001);
    ASSERT_EQ(Term().FrameLog().size(), 2u);
    const Micros gap = Term().FrameLog()[1].endUs - Term().FrameLog()[0].endUs;
    EXPECT_GT(gap, kForwardFrameUs);
    EXPECT_LE(gap, kSendTwiceWindowUs);

    Term().ClearFrameLog();
    // INITIALISE, RANDOMISE, RESET, STORE DTR AS SHORT ADDRESS twice; a level, DTR, RECALL MAX,
    // COMPARE and a query once.
    for (std::uint16_t word : std::initializer_list<std::uint16_t>{
             0xA500, 0xA700, 0xFF20, 0x0B81, 0x0A40, 0xA300, 0x0B05, 0xA900, 0xFF90})
        m_rig.Do(word);
    std::vector<std::uint16_t> frames;
    for (const SentFrame& f : Term().FrameLog()) frames.push_back(f.frame);
    EXPECT_EQ(frames,
              (std::vector<std::uint16_t>{0xA500, 0xA500, 0xA700, 0xA700, 0xFF20, 0xFF20, 0x0B81,
                                          0x0B81, 0x0A40, 0xA300, 0x0B05, 0xA900, 0xFF90}));
}

TEST_F(TerminalTest, TheFrameLogKeepsWhatWasHeardAndWhoSent) {
    GearConfig twin = At(5);
    Term().AddGear(twin);
    m_rig.Do(0x0DA0);  // gear 6: QUERY ACTUAL LEVEL
    m_rig.Do(0x0BA0);  // both gear at 5 answer at once
    m_rig.Do(0x0FA0);  // nobody at 7
    m_rig.Do(0x0D60);  // ADD TO GROUP 0, repeated by the terminal
    const std::vector<SentFrame>& log = Term().FrameLog();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0].answer.kind, AnswerKind::Byte);
    EXPECT_EQ(log[0].answer.value, 254);
    EXPECT_EQ(log[1].answer.kind, AnswerKind::Corrupt);
    EXPECT_EQ(log[2].answer.kind, AnswerKind::None);
    EXPECT_FALSE(log[3].repeat);
    EXPECT_TRUE(log[4].repeat);
    for (const SentFrame& f : log) EXPECT_FALSE(f.byFirmware);
}

TEST_F(TerminalTest, RegistersTakeFeatureWritesOnlyUnderTheCodeWord) {
    const std::int32_t pos = Term().Position();
    std::uint16_t value = 0;
    std::uint16_t dsi = 0x1018;
    Term().WriteTable(pos, 0, 32, 1, &dsi);  // refused: no code word
    Term().ReadTable(pos, 0, 32, 1, &value);
    EXPECT_EQ(value, 0);
    std::uint16_t code = Terminal::kCodeWord;
    std::uint16_t zero = 0;
    Term().WriteTable(pos, 0, 31, 1, &code);
    Term().WriteTable(pos, 0, 32, 1, &dsi);
    Term().WriteTable(pos, 0, 9, 1, &zero);  // the firmware version is read-only
    Term().WriteTable(pos, 0, 31, 1, &zero);
    Term().WriteTable(pos, 0, 32, 1, &zero);  // code word gone again: refused
    Term().ReadTable(pos, 0, 32, 1, &value);
    EXPECT_EQ(value, 0x1018);
    EXPECT_TRUE(Term().DsiMode());
    Term().ReadTable(pos, 0, 9, 1, &value);
    EXPECT_EQ(value, 0x314D);
    EXPECT_EQ(Term().RefusedRegisterWrites(), 3);

    EXPECT_THROW(Term().ReadTable(pos + 1, 0, 9, 1, &value), ControlError);
    EXPECT_THROW(Term().ReadTable(pos, 0, 64, 1, &value), ControlError);
    EXPECT_THROW(Term().ReadTable(0, 1, 255, 2, &value), ControlError);
}

TEST_F(TerminalTest, DsiModeSendsTheLowByteAsALevelToDsiGear) {
    GearConfig dsi;
    dsi.kind = GearKind::Dsi;
    const int lamp = Term().AddGear(dsi);
    m_rig.WriteFeatures(0x1000);
    m_rig.Do(0xFF20);  // a configuration word is not repeated on a DSI line
    EXPECT_EQ(Term().GearLevel(lamp), 0x20);
    EXPECT_EQ(Term().GearLevel(m_a), 254);
    EXPECT_EQ(m_rig.Status() & 0x07, 0x01);
    ASSERT_EQ(Term().FrameLog().size(), 1u);
    EXPECT_TRUE(Term().FrameLog()[0].dsi);
}

TEST_F(TerminalTest, AnswerDelayUsMovesTheAcknowledgeLater) {
    Term().Gear(m_a).Faults().m_answerDelayUs = kMaxAnswerDelayUs;
    // Forward frame, 9.2 ms of answer delay and the backward frame: about 34 ms.
    m_rig.Command(0x0BA0);
    m_rig.Clock().Sleep(33);
    EXPECT_EQ(m_rig.Status() & 0x01, 0);
    m_rig.Clock().Sleep(2);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);
    EXPECT_EQ(m_rig.Input(), 0x01FE);
}

TEST_F(TerminalTest, AcknowledgeDelayMsPublishesEachOutcomeLaterAndInOrder) {
    Term().Faults().m_acknowledgeDelayMs = 40;
    // The query is done on the line after 30 ms; its acknowledge and answer appear at 70 ms.
    m_rig.Command(0x0BA0);
    m_rig.Clock().Sleep(35);
    EXPECT_EQ(m_rig.Status() & 0x01, 0);
    EXPECT_EQ(m_rig.Input(), 0);
    // A second command goes onto the line at once, though the first is not acknowledged yet.
    m_rig.Command(0x0D90);  // gear 6: QUERY STATUS
    m_rig.Clock().Sleep(34);
    ASSERT_EQ(Term().FrameLog().size(), 2u);
    EXPECT_EQ(m_rig.Status() & 0x01, 0);
    m_rig.Clock().Sleep(1);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);
    EXPECT_EQ(m_rig.Input(), 0x01FE);
    // The second waited for the line to settle and was done at 69.2 ms: its outcome at 109.2 ms.
    m_rig.Clock().Sleep(39);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);
    m_rig.Clock().Sleep(1);
    EXPECT_EQ(m_rig.Status() & 0x01, 0);
    EXPECT_EQ(m_rig.Input(), 0x0100 | 0xA4);
}

}  // namespace
}  // namespace zd::sim
