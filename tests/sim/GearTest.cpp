// Control gear on the bare line: reset values, the send-twice rule, the initialisation window,
// the search for random addresses, physical selection, levels, queries and answers.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "sim/Line.h"

namespace zd::sim {
namespace {

constexpr std::uint8_t Short(int address) {
    return static_cast<std::uint8_t>((address << 1) | 1);
}
constexpr std::uint8_t kBroadcast = 0xFF;

// A master on the bare line: frames 25 ms apart unless told otherwise.
class GearTest : public ::testing::Test {
  protected:
    LineAnswer Send(std::uint8_t address, std::uint8_t data, Micros gapUs = 25000) {
        m_now += gapUs;
        return m_line.SendForward(MakeFrame(address, data), m_now);
    }
    LineAnswer SendTwice(std::uint8_t address, std::uint8_t data) {
        Send(address, data);
        return Send(address, data);
    }
    std::optional<std::uint8_t> Ask(std::uint8_t address, std::uint8_t query) {
        const LineAnswer answer = Send(address, query);
        EXPECT_NE(answer.kind, AnswerKind::Corrupt);
        if (answer.kind == AnswerKind::None) return std::nullopt;
        return answer.value;
    }
    // Each query with the answer it must give (nullopt: no answer at all).
    void ExpectAnswers(std::uint8_t address,
                       std::initializer_list<std::pair<int, std::optional<int>>> answers) {
        for (const auto& [query, answer] : answers) {
            const auto got = Ask(address, static_cast<std::uint8_t>(query));
            EXPECT_EQ(got ? std::optional<int>(*got) : std::nullopt, answer) << "query " << query;
        }
    }
    // DTR, then a configuration command that stores it, sent twice.
    void Store(std::uint8_t address, std::uint8_t dtr, std::uint8_t command) {
        Send(kDataTransferRegister, dtr);
        SendTwice(address, command);
    }
    Ballast& Add(GearConfig config = {}) { return m_line.AddGear(config); }
    static GearConfig At(int shortAddress) {
        GearConfig config;
        config.shortAddress = static_cast<std::uint8_t>(shortAddress);
        return config;
    }

    Line m_line;
    Micros m_now = 0;
};

TEST_F(GearTest, PowersUpAtItsPowerOnLevelWithTheResetValues) {
    Add(At(1));
    GearConfig dim = At(2);
    dim.powerOnLevel = 120;
    Add(dim);
    EXPECT_EQ(Ask(Short(2), 160), 120);
    // Not 0: a fresh gear shows its power-on level; min level = physical minimum; fade time 0,
    // fade rate 7; lamp on, reset state, power failure. NO is no answer at all.
    ExpectAnswers(Short(1), {{160, 254},
                             {161, 254},
                             {162, 1},
                             {165, 0x07},
                             {176 + 3, 255},
                             {192, 0},
                             {194, 0xFF},
                             {144, 0x04 | 0x20 | 0x80},
                             {155, kYes},
                             {150, {}}});
    // A level command ends the power-failure state.
    Send(Short(1) & 0xFE, 200);
    ExpectAnswers(Short(1), {{155, {}}, {144, 0x04}});
}

TEST_F(GearTest, ResetRestoresResetValuesAndKeepsTheShortAddress) {
    Ballast& gear = Add(At(9));
    Store(Short(9), 3, 46);       // fade time 3
    SendTwice(Short(9), 96 + 4);  // group 4
    SendTwice(Short(9), 64 + 2);  // scene 2 = 3
    Send(Short(9) & 0xFE, 100);
    EXPECT_EQ(Ask(Short(9), 149), std::nullopt);
    SendTwice(Short(9), 32);
    EXPECT_EQ(gear.ShortAddress(), 9);
    // RESET also ends the power-failure state.
    ExpectAnswers(Short(9),
                  {{149, kYes}, {160, 254}, {165, 0x07}, {192, 0}, {178, 255}, {155, {}}});
}

TEST_F(GearTest, ConfigurationCommandNeedsTheSameFrameTwiceWithin100Ms) {
    Ballast& gear = Add(At(3));
    Send(Short(3), 96 + 1);  // ADD TO GROUP 1, once
    EXPECT_EQ(gear.Groups(), 0);
    // A different command after the single frame is carried out, and does not arm the first.
    Send(Short(3), 6);
    EXPECT_EQ(gear.LevelAt(m_now), gear.MinLevel());
    Send(Short(3), 96 + 1);
    EXPECT_EQ(gear.Groups(), 0);
    // Twice, but too far apart.
    Send(Short(3), 96 + 1, 150000);
    EXPECT_EQ(gear.Groups(), 0);
    Send(Short(3), 96 + 1, 90000);
    EXPECT_EQ(gear.Groups(), 0x0002);
    // Another gear's frame between the two also breaks the pair.
    Send(Short(3), 112 + 1);
    Send(Short(4), 5);
    Send(Short(3), 112 + 1);
    EXPECT_EQ(gear.Groups(), 0x0002);
    // A third identical frame is the first of a new pair, not a second execution.
    SendTwice(Short(3), 112 + 1);
    EXPECT_EQ(gear.Groups(), 0);
}

// The window opens only on INITIALISE sent twice, and only for the gear its data byte names.
TEST_F(GearTest, InitialiseSelectsGearByItsDataByte) {
    Ballast& addressed = Add(At(4));
    Ballast& bare = Add();
    Send(kInitialise, 0xFF);
    EXPECT_FALSE(bare.InInitialisation(m_now));
    Send(kInitialise, 0xFF);
    EXPECT_TRUE(bare.InInitialisation(m_now));
    EXPECT_FALSE(addressed.InInitialisation(m_now));
    Send(kTerminate, 0);
    SendTwice(kInitialise, Short(4));
    EXPECT_TRUE(addressed.InInitialisation(m_now));
    EXPECT_FALSE(bare.InInitialisation(m_now));
}

TEST_F(GearTest, AddressingCommandsActOnlyInsideTheFifteenMinuteWindow) {
    Ballast& gear = Add();
    gear.QueueRandomAddresses({0x000100, 0x000200});
    // Outside the window RANDOMISE, SEARCHADDR and COMPARE do nothing.
    SendTwice(kRandomise, 0);
    EXPECT_EQ(gear.RandomAddress(), kNoRandomAddress);
    Send(kSearchAddrH, 0);
    EXPECT_EQ(gear.SearchAddress(), kNoRandomAddress);
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::None);

    SendTwice(kInitialise, 0x00);
    const Micros opened = m_now;
    SendTwice(kRandomise, 0);
    EXPECT_EQ(gear.RandomAddress(), 0x000100u);
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::Byte);
    // Still open just before 15 minutes, closed right after them (not after 15 hours).
    m_now = opened + kInitialiseWindowUs - 30000;
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::Byte);
    m_now = opened + kInitialiseWindowUs;
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::None);
    SendTwice(kRandomise, 0);
    EXPECT_EQ(gear.RandomAddress(), 0x000100u);
    // A new INITIALISE restarts it.
    SendTwice(kInitialise, 0x00);
    SendTwice(kRandomise, 0);
    EXPECT_EQ(gear.RandomAddress(), 0x000200u);
}

// The master's binary search: the lowest address at which some gear still answers COMPARE.
class SearchTest : public GearTest {
  protected:
    void SetSearch(std::uint32_t address) {
        Send(kSearchAddrH, static_cast<std::uint8_t>(address >> 16));
        Send(kSearchAddrM, static_cast<std::uint8_t>(address >> 8));
        Send(kSearchAddrL, static_cast<std::uint8_t>(address));
    }
    std::optional<std::uint32_t> FindLowest() {
        SetSearch(kNoRandomAddress);
        if (Send(kCompare, 0).kind == AnswerKind::None) return std::nullopt;
        std::uint32_t low = 0;
        std::uint32_t high = kNoRandomAddress;
        while (low < high) {
            const std::uint32_t probe = low + (high - low) / 2;
            SetSearch(probe);
            if (Send(kCompare, 0).kind != AnswerKind::None) {
                high = probe;
            } else {
                low = probe + 1;
            }
        }
        SetSearch(low);
        return low;
    }
};

TEST_F(SearchTest, FindsTheLowestRandomAddressAndWithdrawTakesItOut) {
    const std::vector<std::uint32_t> randoms = {0x7A0001, 0x000000, 0xFFFFFE, 0x3C5A5A, 0x3C5A59};
    std::vector<Ballast*> gear;
    for (std::uint32_t random : randoms) {
        gear.push_back(&Add());
        gear.back()->QueueRandomAddress(random);
    }
    SendTwice(kInitialise, 0xFF);
    SendTwice(kRandomise, 0);
    std::vector<std::uint32_t> found;
    for (int shortAddress = 0; shortAddress < 6; ++shortAddress) {
        const auto lowest = FindLowest();
        if (!lowest) break;
        found.push_back(*lowest);
        Send(kProgramShortAddress, Short(shortAddress));
        EXPECT_EQ(Send(kVerifyShortAddress, Short(shortAddress)).kind, AnswerKind::Byte);
        Send(kWithdraw, 0);
        // Withdrawn, it no longer answers COMPARE even at its own address.
        EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::None);
    }
    EXPECT_EQ(found,
              (std::vector<std::uint32_t>{0x000000, 0x3C5A59, 0x3C5A5A, 0x7A0001, 0xFFFFFE}));
    EXPECT_EQ(gear[4]->ShortAddress(), 1);
    EXPECT_EQ(gear[2]->ShortAddress(), 4);
    // TERMINATE ends the window: nobody compares any more.
    Send(kTerminate, 0);
    SendTwice(kInitialise, 0x00);
    SetSearch(kNoRandomAddress);
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::Corrupt);  // withdrawal ends with the window
}

TEST_F(SearchTest, ProgramShortAddressDeletesWithFfAndQueryShortAddressAnswersTheSelectedGear) {
    Ballast& gear = Add(At(12));
    gear.QueueRandomAddress(0x001234);
    SendTwice(kInitialise, 0x00);
    SendTwice(kRandomise, 0);
    SetSearch(0x001234);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), Short(12));
    Send(kProgramShortAddress, 0xFF);
    EXPECT_EQ(gear.ShortAddress(), std::nullopt);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), 0xFF);
}

TEST_F(GearTest, PhysicalSelectionSelectsTheGearWhoseLampIsRemoved) {
    Ballast& a = Add();
    Ballast& b = Add(At(3));
    a.QueueRandomAddress(0x10);
    SendTwice(kInitialise, 0x00);
    SendTwice(kRandomise, 0);
    Send(kPhysicalSelection, 0);
    // In the mode the gear no longer compare random and search address.
    Send(kSearchAddrH, 0);
    Send(kSearchAddrM, 0);
    Send(kSearchAddrL, 0x10);
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::None);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), std::nullopt);
    b.SetLamp(LampState::Removed);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), Short(3));
    b.SetLamp(LampState::Present);
    a.SetLamp(LampState::Removed);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), 0xFF);
    Send(kProgramShortAddress, Short(8));
    EXPECT_EQ(a.ShortAddress(), 8);
    EXPECT_EQ(b.ShortAddress(), 3);
    // A failed lamp that is still connected does not select.
    a.SetLamp(LampState::Failed);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), std::nullopt);
    a.SetLamp(LampState::Removed);
    Send(kTerminate, 0);
    EXPECT_FALSE(a.PhysicallySelected(m_now));
}

TEST_F(GearTest, SeveralAnswersGiveACorruptFrameUnlessIdenticalOnesMayDecode) {
    Add(At(1));
    Add(At(2));
    Add(At(3));
    EXPECT_EQ(Send(kBroadcast, 145).kind, AnswerKind::Corrupt);
    m_line.SetIdenticalAnswersDecode(true);
    EXPECT_EQ(Send(kBroadcast, 145).kind, AnswerKind::Byte);
    // Different bytes never decode.
    Send(Short(1) & 0xFE, 100);
    EXPECT_EQ(Send(kBroadcast, 160).kind, AnswerKind::Corrupt);
}

TEST_F(GearTest, LevelsFadeOverTheFadeTimeAndMaskStopsAFade) {
    Ballast& gear = Add(At(0));
    Store(Short(0), 4, 46);  // 0.5 * sqrt(16) = 2 s
    Send(Short(0) & 0xFE, 100);
    m_now += 2000000;
    Send(Short(0) & 0xFE, 200);
    EXPECT_NEAR(gear.LevelAt(m_now + 1000000), 150, 1);
    EXPECT_EQ(*Ask(Short(0), 144) & 0x10, 0x10);  // fade running
    m_now += 500000;
    Send(Short(0) & 0xFE, 255);
    const std::uint8_t stopped = gear.LevelAt(m_now);
    EXPECT_GT(stopped, 100);
    EXPECT_LT(stopped, 200);
    EXPECT_EQ(gear.LevelAt(m_now + 5000000), stopped);
}

}  // namespace
}  // namespace zd::sim
