// Control gear against IEC 62386-102: reset values, the send-twice rule, the initialisation window,
// the search for random addresses, physical selection, levels, queries and answers on the line.
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
    ExpectAnswers(Short(1), {{160, 254}, {161, 254}, {162, 1}, {163, 254}, {164, 254},
                             {165, 0x07}, {176 + 3, 255}, {192, 0}, {194, 0xFF}, {151, 1},
                             {153, 6}, {144, 0x04 | 0x20 | 0x80}, {155, kYes}, {150, {}}});
    // A level command ends the power-failure state.
    Send(Short(1) & 0xFE, 200);
    ExpectAnswers(Short(1), {{155, {}}, {144, 0x04}});
}

TEST_F(GearTest, ResetRestoresResetValuesAndKeepsTheShortAddress) {
    Ballast& gear = Add(At(9));
    Store(Short(9), 3, 46);      // fade time 3
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

TEST_F(GearTest, StoredLimitsAreClampedAndLimitTheLevels) {
    GearConfig config = At(0);
    config.physicalMinimum = 40;
    Ballast& gear = Add(config);
    Store(Short(0), 10, 43);  // min below the physical minimum
    EXPECT_EQ(gear.MinLevel(), 40);
    Store(Short(0), 255, 42);
    EXPECT_EQ(gear.MaxLevel(), 254);
    Store(Short(0), 200, 42);  // the lamp at 254 comes down to the new max
    EXPECT_EQ(gear.MaxLevel(), 200);
    EXPECT_EQ(Ask(Short(0), 160), 200);
    Store(Short(0), 220, 43);  // min above max
    EXPECT_EQ(gear.MinLevel(), 200);
    Store(Short(0), 100, 43);
    Store(Short(0), 50, 42);  // max below min
    EXPECT_EQ(gear.MaxLevel(), 100);

    Send(Short(0) & 0xFE, 20);  // below min: clamped, limit error
    EXPECT_EQ(Ask(Short(0), 160), 100);
    EXPECT_EQ(Ask(Short(0), 148), kYes);
    Send(Short(0) & 0xFE, 255);  // MASK changes nothing
    EXPECT_EQ(Ask(Short(0), 160), 100);
    Send(Short(0) & 0xFE, 0);
    EXPECT_EQ(Ask(Short(0), 160), 0);
}

TEST_F(GearTest, StepCommandsRespectOffAndLimits) {
    GearConfig config = At(2);
    config.minLevel = 10;
    Ballast& gear = Add(config);
    Send(Short(2), 0);  // OFF
    Send(Short(2), 1);  // UP does not switch on
    Send(Short(2), 3);  // nor does STEP UP
    EXPECT_EQ(gear.LevelAt(m_now), 0);
    Send(Short(2), 8);  // ON AND STEP UP: on at min
    EXPECT_EQ(gear.LevelAt(m_now), 10);
    Send(Short(2), 8);
    EXPECT_EQ(gear.LevelAt(m_now), 11);
    Send(Short(2), 7);
    Send(Short(2), 7);  // STEP DOWN AND OFF at min: off
    EXPECT_EQ(gear.LevelAt(m_now), 0);
    Send(Short(2), 5);
    Send(Short(2), 3);  // STEP UP stays at max
    EXPECT_EQ(gear.LevelAt(m_now), 254);
}

TEST_F(GearTest, QueriesAnswerAsTheStandardSays) {
    GearConfig config = At(7);
    config.groups = 0x8102;
    config.randomAddress = 0x12AB34;
    config.physicalMinimum = 85;
    config.deviceType = 4;
    Ballast& gear = Add(config);
    Store(Short(7), 3, 46);
    Store(Short(7), 9, 47);
    ExpectAnswers(Short(7), {{165, 0x39}, {152, 9}, {192, 0x02}, {193, 0x81}, {194, 0x12},
                             {195, 0xAB}, {196, 0x34}, {154, 85}, {153, 4}, {145, kYes}});
    EXPECT_EQ(Ask(0x80 | Short(8), 145), kYes);  // group 8
    EXPECT_EQ(Ask(0x80 | Short(3), 145), std::nullopt);
    EXPECT_EQ(Ask(Short(8), 145), std::nullopt);

    gear.SetLamp(LampState::Failed);
    ExpectAnswers(Short(7), {{160, 255}, {146, kYes}, {147, {}}});
    EXPECT_EQ(*Ask(Short(7), 144) & 0x06, 0x02);
    gear.SetLamp(LampState::Present);
    ExpectAnswers(Short(7), {{146, {}}, {147, kYes}});
}

TEST_F(GearTest, ReservedAndUnknownFramesAreIgnored) {
    Ballast& gear = Add(At(1));
    const std::uint8_t status = gear.StatusAt(m_now);
    for (const std::uint16_t frame :
         {0xA000, 0xAD00, 0xC300, 0xE1FF, 0x0309, 0x0381, 0x03C8, 0x03FF}) {
        EXPECT_EQ(m_line.SendForward(frame, m_now += 25000).kind, AnswerKind::None)
            << std::hex << frame;
    }
    EXPECT_EQ(gear.StatusAt(m_now), status);
    EXPECT_EQ(gear.LevelAt(m_now), 254);
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
    Send(kTerminate, 0);
    SendTwice(kInitialise, 0x00);
    EXPECT_TRUE(addressed.InInitialisation(m_now));
    EXPECT_TRUE(bare.InInitialisation(m_now));
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

TEST_F(GearTest, RandomiseDrawsRepeatablyFromTheLineSeed) {
    auto draw = [](std::uint32_t seed) {
        Line line(seed);
        Ballast& a = line.AddGear({});
        Ballast& b = line.AddGear({});
        line.SendForward(MakeFrame(kInitialise, 0), 1000);
        line.SendForward(MakeFrame(kInitialise, 0), 26000);
        line.SendForward(MakeFrame(kRandomise, 0), 51000);
        line.SendForward(MakeFrame(kRandomise, 0), 76000);
        return std::vector<std::uint32_t>{a.RandomAddress(), b.RandomAddress()};
    };
    EXPECT_EQ(draw(7), draw(7));
    EXPECT_NE(draw(7), draw(8));
    EXPECT_NE(draw(7)[0], draw(7)[1]);
    EXPECT_LE(draw(7)[0], 0xFFFFFFu);
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
    EXPECT_EQ(gear[1]->ShortAddress(), 0);
    EXPECT_EQ(gear[4]->ShortAddress(), 1);
    EXPECT_EQ(gear[3]->ShortAddress(), 2);
    EXPECT_EQ(gear[0]->ShortAddress(), 3);
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
    SetSearch(0x001235);
    EXPECT_EQ(Ask(kQueryShortAddress, 0), std::nullopt);
    Send(kProgramShortAddress, Short(20));
    EXPECT_EQ(gear.ShortAddress(), std::nullopt);
}

TEST_F(SearchTest, StoreDtrAsShortAddressAssignsAndDeletes) {
    Ballast& a = Add(At(5));
    Ballast& b = Add(At(6));
    Store(kBroadcast, 0xFF, 128);
    EXPECT_EQ(a.ShortAddress(), std::nullopt);
    EXPECT_EQ(b.ShortAddress(), std::nullopt);
    Send(kDataTransferRegister, Short(33));
    SendTwice(kBroadcast, 128);
    EXPECT_EQ(a.ShortAddress(), 33);
    Store(kBroadcast, 0x42, 128);  // not an address byte: ignored
    EXPECT_EQ(a.ShortAddress(), 33);
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
    Send(kPhysicalSelection, 0);  // sent again it stays in the mode
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
    EXPECT_EQ(Ask(kQueryShortAddress, 0), std::nullopt);
}

TEST_F(GearTest, SeveralAnswersGiveACorruptFrameUnlessIdenticalOnesMayDecode) {
    Add(At(1));
    Add(At(2));
    Add(At(3));
    EXPECT_EQ(Send(kBroadcast, 145).kind, AnswerKind::Corrupt);
    m_line.SetIdenticalAnswersDecode(true);
    EXPECT_EQ(Send(kBroadcast, 145).kind, AnswerKind::Byte);
    EXPECT_EQ(Send(kBroadcast, 145).value, kYes);
    // Different bytes never decode.
    Send(Short(1) & 0xFE, 100);
    EXPECT_EQ(Send(kBroadcast, 160).kind, AnswerKind::Corrupt);
    EXPECT_EQ(Send(Short(1), 160).value, 100);
}

TEST_F(GearTest, FaultSwitchesSilenceAnswersButNotActions) {
    Ballast& gear = Add(At(1));
    gear.Faults().m_missAnswers = 1;
    EXPECT_EQ(Send(Short(1), 145).kind, AnswerKind::None);
    EXPECT_EQ(Send(Short(1), 145).kind, AnswerKind::Byte);
    gear.Faults().m_silent = true;
    Send(Short(1) & 0xFE, 77);
    EXPECT_EQ(Send(Short(1), 160).kind, AnswerKind::None);
    EXPECT_EQ(gear.LevelAt(m_now), 77);
    gear.Faults().m_silent = false;
    gear.Faults().m_gearFailure = true;
    EXPECT_EQ(*Ask(Short(1), 144) & 0x01, 0x01);
}

TEST_F(GearTest, LevelsFadeWithFadeTimeAndRate) {
    Ballast& gear = Add(At(0));
    Store(Short(0), 4, 46);  // 0.5 * sqrt(16) = 2 s
    Send(Short(0) & 0xFE, 100);
    EXPECT_GT(gear.LevelAt(m_now + 1000000), 100);  // from 254 down to 100
    m_now += 2000000;
    EXPECT_EQ(gear.LevelAt(m_now), 100);
    Send(Short(0) & 0xFE, 200);
    const Micros start = m_now;
    EXPECT_NEAR(gear.LevelAt(start + 1000000), 150, 1);
    EXPECT_TRUE(gear.FadeRunningAt(start + 1000000));
    EXPECT_EQ(*Ask(Short(0), 144) & 0x10, 0x10);
    EXPECT_EQ(gear.LevelAt(start + 2000000), 200);
    EXPECT_FALSE(gear.FadeRunningAt(start + 2000000));
    m_now = start + 2000000;
    Send(Short(0) & 0xFE, 0);  // off: dims to min over the fade time, then off
    const Micros down = m_now;
    EXPECT_LT(gear.LevelAt(down + 1000000), 200);
    EXPECT_GT(gear.LevelAt(down + 1000000), 0);
    EXPECT_EQ(gear.LevelAt(down + 2000000), 0);
    // MASK stops a fade where it is.
    m_now = down + 2000000;
    Send(Short(0) & 0xFE, 180);
    m_now += 500000;
    Send(Short(0) & 0xFE, 255);
    const std::uint8_t stopped = gear.LevelAt(m_now);
    EXPECT_GT(stopped, 1);
    EXPECT_LT(stopped, 180);
    EXPECT_EQ(gear.LevelAt(m_now + 5000000), stopped);
    // UP fades 200 ms at fade rate 7 (about 45 steps/s: 9 steps).
    Send(Short(0), 1);
    EXPECT_EQ(gear.LevelAt(m_now + 1000000), stopped + 9);
}

TEST_F(GearTest, DsiGearTakeLevelsAndIgnoreDali) {
    GearConfig dsi;
    dsi.kind = GearKind::Dsi;
    Ballast& lamp = Add(dsi);
    Ballast& dali = Add(At(0));
    m_line.SendDsi(77);
    EXPECT_EQ(lamp.LevelAt(m_now), 77);
    EXPECT_EQ(dali.LevelAt(m_now), 254);
    EXPECT_EQ(Send(kBroadcast, 145).value, kYes);  // only the DALI gear answers
    Send(kBroadcast & 0xFE, 10);
    EXPECT_EQ(lamp.LevelAt(m_now), 77);
}

}  // namespace
}  // namespace zd::sim
