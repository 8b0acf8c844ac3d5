// The terminal as the control sees it through the device-communication calls: where its bytes lie
// in every placement and byte order, the command handshake and its timing, repeats of send-twice
// commands, answers and line errors, registers, the watchdog table, the take-over delay and DSI.
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

// One placement with the literal words the control writes for QUERY ACTUAL LEVEL to short address 5
// (command word 0x0BA0) and the literal words it must then read for the answer 0x42.
struct PlacementCase {
    const char* name;
    ImageLayout layout;
    std::int32_t outTable, outOffset;
    std::uint16_t outFirst, outSecond;  // data in place, control byte with the toggle set
    std::uint16_t toggleMask;
    std::int32_t statusTable, statusOffset;
    std::uint16_t statusWord;
    std::int32_t inTable, inOffset;
    std::vector<std::uint16_t> inWords;
};

void PrintTo(const PlacementCase& c, std::ostream* os) {
    *os << c.name;
}

ImageLayout HighByteLayout() {
    ImageLayout layout;
    layout.entries[kImageStatus] = {3, 8, 5};
    layout.entries[kImageInput] = {4, 0, 5};
    layout.entries[kImageControl] = {0, 8, 5};
    layout.entries[kImageOutput] = {1, 0, 5};
    return layout;
}

ImageLayout PackedOneTable() {
    ImageLayout layout;
    layout.entries[kImageStatus] = {10, 0, 2};
    layout.entries[kImageInput] = {10, 8, 2};
    layout.entries[kImageControl] = {20, 0, 2};
    layout.entries[kImageOutput] = {20, 8, 2};
    layout.motorola = true;
    return layout;
}

class PlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(PlacementTest, CommandAndAnswerBytesLieWhereTheControlPutsThem) {
    const PlacementCase& c = GetParam();
    TerminalConfig config;
    config.layout = c.layout;
    SimRig rig(config);
    rig.Term().AddGear(At(5));
    // Level 0x42 on gear 5 first (direct arc power 0x0A42), through the rig's own master.
    rig.Do(0x0A42);
    rig.Term().SetLayout(c.layout);  // a fresh image for the literal words below

    // The control writes the data with the control byte unchanged, then the toggle.
    const std::uint16_t dataOnly = static_cast<std::uint16_t>(c.outFirst & ~c.toggleMask);
    rig.WriteWords(c.outTable, c.outOffset, dataOnly, c.outSecond);
    rig.WriteWords(c.outTable, c.outOffset, c.outFirst, c.outSecond);
    // Written words read back unchanged.
    EXPECT_EQ(rig.ReadWord(c.outTable, c.outOffset), c.outFirst);
    EXPECT_EQ(rig.ReadWord(c.outTable, c.outOffset + 1), c.outSecond);
    rig.Clock().Sleep(60);
    EXPECT_EQ(rig.ReadWord(c.statusTable, c.statusOffset), c.statusWord);
    for (std::size_t i = 0; i < c.inWords.size(); ++i) {
        EXPECT_EQ(rig.ReadWord(c.inTable, c.inOffset + static_cast<std::int32_t>(i)), c.inWords[i])
            << "input word " << i;
    }
}

// Per case: name, layout; output table and word, the two words written, toggle mask; status
// table, word and expected word; input table, word and expected words.
const PlacementCase kPlacements[] = {
    {"PackedIntel", ImageLayout::Packed(0, 1),
     1, 0, 0xA001, 0x000B, 0x0001, 0, 0, 0x4201, 0, 0, {0x4201, 0x0001}},
    {"PackedMotorola", ImageLayout::Packed(0, 1, true),
     1, 0, 0x0B01, 0x00A0, 0x0001, 0, 0, 0x0101, 0, 0, {0x0101, 0x0042}},
    {"WordAlignedIntel", ImageLayout::WordAligned(0, 1),
     1, 0, 0x0001, 0x0BA0, 0x0001, 0, 0, 0x0001, 0, 1, {0x0142}},
    {"WordAlignedMotorola", ImageLayout::WordAligned(0, 1, true),
     1, 0, 0x0001, 0xA00B, 0x0001, 0, 0, 0x0001, 0, 1, {0x4201}},
    {"ControlAndStatusInHighBytes", HighByteLayout(),
     5, 0, 0x0100, 0x0BA0, 0x0100, 5, 3, 0x0100, 5, 4, {0x0142}},
    {"PackedMotorolaOneTable", PackedOneTable(),
     2, 20, 0x0B01, 0x00A0, 0x0001, 2, 10, 0x0101, 2, 10, {0x0101, 0x0042}},
};
INSTANTIATE_TEST_SUITE_P(AllPlacements, PlacementTest, ::testing::ValuesIn(kPlacements),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TerminalLayoutTest, RefusesLayoutsItCannotServe) {
    VirtualScheduler clock;
    Terminal terminal(clock);
    ImageLayout layout = ImageLayout::Packed(0, 0);  // status and control in the same word
    EXPECT_THROW(terminal.SetLayout(layout), ControlError);
    layout = ImageLayout::Packed(0, 1);
    layout.entries[kImageInput].nBitOffset = 4;
    EXPECT_THROW(terminal.SetLayout(layout), ControlError);
    layout = ImageLayout::Packed(0, 99);
    EXPECT_THROW(terminal.SetLayout(layout), ControlError);
    layout = ImageLayout::Packed(0, 1);
    layout.entries[kImageOutput].nWordOffset = ProcessImage::kTableWords - 1;  // data spills over
    EXPECT_THROW(terminal.SetLayout(layout), ControlError);
    // The old layout stays in force.
    EXPECT_EQ(terminal.Layout().entries[kImageControl].nTableNumber, 1);
    TerminalConfig bad;
    bad.position = 0;
    EXPECT_THROW(Terminal(clock, bad), ControlError);
}

class TerminalTest : public ::testing::Test {
  protected:
    TerminalTest() {
        m_rig.Term().SetFrameLog(true);
        m_a = m_rig.Term().AddGear(At(5));
        m_b = m_rig.Term().AddGear(At(6));
    }
    Terminal& Term() { return m_rig.Term(); }

    SimRig m_rig;
    int m_a = 0;
    int m_b = 0;
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
    EXPECT_EQ(Term().FrameLog()[0].frame, 0x0B60);
    EXPECT_EQ(Term().FrameLog()[1].frame, 0x0B60);
    const Micros gap = Term().FrameLog()[1].endUs - Term().FrameLog()[0].endUs;
    EXPECT_GT(gap, kForwardFrameUs);
    EXPECT_LE(gap, kSendTwiceWindowUs);

    Term().ClearFrameLog();
    for (std::uint16_t word : {0xA500, 0xA700, 0xFF20, 0x0B81}) m_rig.Do(word);
    for (std::uint16_t word : {0x0A40, 0xA300, 0x0B05, 0xA900, 0xFF90}) m_rig.Do(word);
    std::vector<std::uint16_t> frames;
    for (const SentFrame& f : Term().FrameLog()) frames.push_back(f.frame);
    EXPECT_EQ(frames,
              (std::vector<std::uint16_t>{0xA500, 0xA500, 0xA700, 0xA700, 0xFF20, 0xFF20, 0x0B81,
                                          0x0B81, 0x0A40, 0xA300, 0x0B05, 0xA900, 0xFF90}));
}

TEST_F(TerminalTest, AnswerBitIsClearedByTheNextCommand) {
    EXPECT_EQ(m_rig.Ask(0x0B91), 0xFF);  // QUERY CONTROL GEAR to 5
    m_rig.Command(0x0B05);
    EXPECT_EQ(m_rig.Input() & 0x0100, 0);
    m_rig.Clock().Sleep(60);
    EXPECT_EQ(m_rig.Input() & 0x0100, 0);
    EXPECT_EQ(m_rig.Ask(0x1391), std::nullopt);  // nobody at 9
}

TEST_F(TerminalTest, SeveralAnswersSetTheCorruptFrameBitAndACollisionBit1) {
    EXPECT_EQ(m_rig.Ask(0xFF91), std::nullopt);
    EXPECT_EQ(m_rig.Status() & 0x06, 0x04);
    EXPECT_EQ(m_rig.Ask(0x0B91), 0xFF);
    EXPECT_EQ(m_rig.Status() & 0x06, 0x00);

    Term().Faults().m_collideNextCommands = 1;
    Term().ClearFrameLog();
    m_rig.Command(0x0B00);  // OFF, lost in the collision
    m_rig.Clock().Sleep(60);
    EXPECT_EQ(m_rig.Status() & 0x03, 0x03);
    EXPECT_EQ(Term().GearLevel(m_a), 254);
    EXPECT_TRUE(Term().FrameLog().empty());
    m_rig.Do(0x0B00);
    EXPECT_EQ(m_rig.Status() & 0x02, 0);
    EXPECT_EQ(Term().GearLevel(m_a), 0);
}

TEST_F(TerminalTest, CommandsArrivingWhileTheLineIsBusyAreSentInOrder) {
    m_rig.Command(0x0B60);  // ADD TO GROUP 0 (two frames)
    m_rig.Command(0x0A20);  // DAPC 32 at once after
    m_rig.Command(0x0B61);  // ADD TO GROUP 1
    m_rig.Clock().Sleep(200);
    EXPECT_EQ(Term().Gear(m_a).Groups(), 0x0003);
    EXPECT_EQ(Term().GearLevel(m_a), 32);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);
    ASSERT_EQ(Term().FrameLog().size(), 5u);
    for (std::size_t i = 1; i < 5; ++i) {
        EXPECT_GE(Term().FrameLog()[i].endUs - Term().FrameLog()[i - 1].endUs,
                  kForwardFrameUs + kAnswerWindowUs - 1);
    }
}

TEST_F(TerminalTest, RegistersTakeFeatureWritesOnlyUnderTheCodeWord) {
    const std::int32_t pos = Term().Position();
    std::uint16_t value = 0;
    Term().ReadTable(pos, 0, 9, 1, &value);
    EXPECT_EQ(value, 0x314D);
    std::uint16_t dsi = 0x1018;
    Term().WriteTable(pos, 0, 32, 1, &dsi);  // refused: no code word
    Term().ReadTable(pos, 0, 32, 1, &value);
    EXPECT_EQ(value, 0);
    EXPECT_EQ(Term().RefusedRegisterWrites(), 1);
    std::uint16_t code = Terminal::kCodeWord;
    std::uint16_t zero = 0;
    Term().WriteTable(pos, 0, 31, 1, &code);
    Term().WriteTable(pos, 0, 32, 1, &dsi);
    Term().WriteTable(pos, 0, 31, 1, &zero);
    Term().ReadTable(pos, 0, 32, 1, &value);
    EXPECT_EQ(value, 0x1018);
    EXPECT_TRUE(Term().DsiMode());
    Term().WriteTable(pos, 0, 32, 1, &zero);  // code word gone again: refused
    Term().ReadTable(pos, 0, 32, 1, &value);
    EXPECT_EQ(value, 0x1018);
    Term().WriteTable(pos, 0, 9, 1, &zero);  // read-only
    Term().ReadTable(pos, 0, 9, 1, &value);
    EXPECT_EQ(value, 0x314D);
    EXPECT_EQ(Term().RefusedRegisterWrites(), 3);

    EXPECT_THROW(Term().ReadTable(pos + 1, 0, 9, 1, &value), ControlError);
    EXPECT_THROW(Term().ReadTable(pos, 1, 9, 1, &value), ControlError);
    EXPECT_THROW(Term().ReadTable(pos, 0, 64, 1, &value), ControlError);
    EXPECT_THROW(Term().ReadTable(0, 7, 0, 1, &value), ControlError);
    EXPECT_THROW(Term().ReadTable(0, 1, 255, 2, &value), ControlError);
}

TEST_F(TerminalTest, WatchdogTableRecordsWhenTheWordsCame) {
    const std::uint16_t words[3] = {1793, 1, 15000};
    m_rig.Clock().Sleep(500);
    Term().WriteTable(0, Terminal::kWatchdogTable, 0, 3, words);
    m_rig.Clock().Sleep(500);
    Term().WriteTable(0, Terminal::kWatchdogTable, 0, 3, words);
    EXPECT_EQ(Term().Watchdog().count, 2);
    EXPECT_EQ(Term().Watchdog().lastMs, 1000);
    EXPECT_EQ(Term().Watchdog().words, (std::array<std::uint16_t, 3>{1793, 1, 15000}));
}

TEST_F(TerminalTest, WrittenWordsReachTheTerminalAfterTheTakeOverDelay) {
    Term().SetTakeOverDelay(150);
    m_rig.Command(0x0B00);                    // OFF to 5
    EXPECT_EQ(m_rig.ReadWord(1, 0), 0x0000);  // not yet visible, not yet read back
    m_rig.Clock().Sleep(149);
    EXPECT_EQ(Term().GearLevel(m_a), 254);
    m_rig.Clock().Sleep(1);
    EXPECT_EQ(m_rig.ReadWord(1, 0), 0x0001);
    m_rig.Clock().Sleep(40);
    EXPECT_EQ(Term().GearLevel(m_a), 0);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);

    Term().Faults().m_takeOverNeverComes = true;
    m_rig.Command(0x0B05);
    m_rig.Clock().Sleep(10000);
    EXPECT_EQ(m_rig.ReadWord(1, 0), 0x0001);
    EXPECT_EQ(Term().GearLevel(m_a), 0);
    EXPECT_EQ(m_rig.Status() & 0x01, 1);
}

TEST_F(TerminalTest, DsiModeSendsTheLowByteAsALevelToDsiGear) {
    GearConfig dsi;
    dsi.kind = GearKind::Dsi;
    const int lamp = Term().AddGear(dsi);
    std::uint16_t code = Terminal::kCodeWord;
    std::uint16_t mode = 0x1000;
    Term().WriteTable(Term().Position(), 0, 31, 1, &code);
    Term().WriteTable(Term().Position(), 0, 32, 1, &mode);
    m_rig.Do(0x0050);
    EXPECT_EQ(Term().GearLevel(lamp), 0x50);
    EXPECT_EQ(Term().GearLevel(m_a), 254);
    EXPECT_EQ(m_rig.Status() & 0x07, 0x01);
    ASSERT_EQ(Term().FrameLog().size(), 1u);
    EXPECT_TRUE(Term().FrameLog()[0].dsi);
    // A configuration word is not repeated on a DSI line.
    m_rig.Do(0xFF20);
    EXPECT_EQ(Term().FrameLog().size(), 2u);
    EXPECT_EQ(Term().GearLevel(lamp), 0x20);
}

TEST_F(TerminalTest, FadesAndScriptedLampEventsFollowTheSharedClock) {
    m_rig.Do(0xA304);  // DTR 4
    m_rig.Do(0x0B2E);  // fade time 4: 2 s
    m_rig.Do(0x0A64);  // DAPC 100
    const std::int64_t start = m_rig.Clock().Now();
    m_rig.Clock().Sleep(1000);
    const std::uint8_t halfway = Term().GearLevel(m_a);
    EXPECT_GT(halfway, 100);
    EXPECT_LT(halfway, 254);
    m_rig.Clock().Sleep(1100);
    EXPECT_EQ(Term().GearLevel(m_a), 100);

    Term().ScheduleLamp(m_b, LampState::Removed, start + 5000);
    Term().ScheduleLamp(m_b, LampState::Present, start + 8000);
    Term().ScheduleRemoveGear(m_a, start + 9000);
    m_rig.Clock().RunFor(start + 4900 - m_rig.Clock().Now());
    EXPECT_EQ(m_rig.Ask(0x0D92), std::nullopt);  // QUERY LAMP FAILURE to 6
    m_rig.Clock().RunFor(200);
    EXPECT_EQ(m_rig.Ask(0x0D92), 0xFF);
    m_rig.Clock().RunFor(3000);
    EXPECT_EQ(m_rig.Ask(0x0D92), std::nullopt);
    EXPECT_EQ(m_rig.Ask(0x0B91), 0xFF);
    m_rig.Clock().RunFor(1000);
    EXPECT_EQ(m_rig.Ask(0x0B91), std::nullopt);
    EXPECT_THROW(Term().Gear(m_a), ControlError);
}

}  // namespace
}  // namespace zd::sim
