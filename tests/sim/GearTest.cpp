// Control gear on the bare line: reset values, the send-twice rule, the initialisation window,
// levels, queries and answers.
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

// Where the standard leaves room, the gear follow one reading; each row is one such choice, as a
// master sees it: frames (with the time between them) and then one query and its answer.
struct Step {
    enum Op { Frame, Twice, Wait } op;
    std::uint8_t address = 0;
    std::uint8_t data = 0;
    Micros us = 0;
};
Step F(std::uint8_t address, std::uint8_t data) {
    return {Step::Frame, address, data, 0};
}
Step T(std::uint8_t address, std::uint8_t data) {
    return {Step::Twice, address, data, 0};
}
Step W(Micros us) {
    return {Step::Wait, 0, 0, us};
}
// DTR := value, then the storing configuration command to short address 0.
std::vector<Step> Stored(std::uint8_t value, std::uint8_t command) {
    return {F(kDataTransferRegister, value), T(Short(0), command)};
}
// Steps in a row, and sequences of steps one after the other.
template <class... Steps>
std::vector<Step> S(Steps... steps) {
    return {steps...};
}
template <class... More>
std::vector<Step> Then(std::vector<Step> first, const More&... more) {
    (first.insert(first.end(), more.begin(), more.end()), ...);
    return first;
}

// A query number with this bit is a special command (its first byte), not a query to short
// address 0.
constexpr int kSpecial = 0x100;
// No answer at all.
constexpr std::nullopt_t kNone = std::nullopt;

struct Reading {
    const char* choice;
    std::vector<Step> steps;
    int query;
    std::optional<int> answer;
    GearConfig config = {};
};

GearConfig Configured(void (*change)(GearConfig&)) {
    GearConfig config;
    config.shortAddress = 0;
    change(config);
    return config;
}

TEST_F(GearTest, ReadingsOfTheStandardTheGearFollow) {
    constexpr std::uint8_t kDapc0 = 0x00;  // direct arc power to short address 0
    const std::vector<Step> max200 = Stored(200, 42);
    const std::vector<Step> fade2s = Stored(4, 46);  // 0.5 * sqrt(2^4) = 2 s
    const std::vector<Step> selected =
        S(T(kInitialise, 0), F(kSearchAddrH, 0x00), F(kSearchAddrM, 0x12), F(kSearchAddrL, 0x34));
    const GearConfig random1234 = Configured([](GearConfig& c) { c.randomAddress = 0x001234; });
    const Reading readings[] = {
        // The limit error reflects the last level asked for.
        {"a level above MAX sets the limit error", Then(max200, S(F(kDapc0, 254))), 148, kYes},
        {"OFF clears it", Then(max200, S(F(kDapc0, 254), F(Short(0), 0))), 148, kNone},
        {"DIRECT ARC POWER 0 clears it", Then(max200, S(F(kDapc0, 254), F(kDapc0, 0))), 148, kNone},
        {"MASK asks for no level and keeps it", Then(max200, S(F(kDapc0, 254), F(kDapc0, 255))),
         148, kYes},
        {"RECALL MAX LEVEL asks within the limits and clears it",
         Then(max200, S(F(kDapc0, 254), F(Short(0), 5))), 148, kNone},
        {"a scene level above MAX sets it", Then(Stored(254, 64), max200, S(F(Short(0), 16))), 148,
         kYes},
        // New limits take hold at once, a fade in progress included.
        {"MAX stored during a fade up caps where the fade ends",
         Then(Stored(100, 45), S(F(kDapc0, 100)), fade2s,
              S(F(kDapc0, 254), W(500000), F(kDataTransferRegister, 150), T(Short(0), 42),
                W(3000000))),
         160, 150},
        {"MAX stored during a fade caps the level at once",
         Then(Stored(100, 45), S(F(kDapc0, 100)), fade2s,
              S(F(kDapc0, 254), W(1500000), F(kDataTransferRegister, 150), T(Short(0), 42))),
         160, 150},
        {"MIN stored during a fade down raises where it ends",
         Then(fade2s, S(F(kDapc0, 10), W(200000), F(kDataTransferRegister, 120), T(Short(0), 43),
                        W(3000000))),
         160, 120},
        {"MAX stored below the level of a lamp that is off leaves it off",
         Then(S(F(Short(0), 0)), max200), 160, 0},
        // Levels.
        {"DIRECT ARC POWER 0 with a fade time dims first",
         Then(fade2s, S(F(kDapc0, 0), W(1000000))), 147, kYes},
        {"... and is off when the fade time is over", Then(fade2s, S(F(kDapc0, 0), W(2100000))),
         160, 0},
        {"UP does not switch a lamp on", S(F(Short(0), 0), F(Short(0), 1), W(300000)), 160, 0},
        {"STEP DOWN AND OFF at MIN switches off", S(F(Short(0), 6), F(Short(0), 7)), 160, 0},
        {"ON AND STEP UP switches on at MIN", S(F(Short(0), 0), F(Short(0), 8)), 160, 1},
        {"STORE ACTUAL LEVEL IN DTR takes the level in the middle of a fade",
         Then(fade2s, S(F(kDapc0, 54), W(950000), T(Short(0), 33))), 152, 154},
        {"a lamp that does not work reads 255 as its level", S(), 160, 255,
         Configured([](GearConfig& c) { c.lamp = LampState::Failed; })},
        // Power failure: any arc power command ends it, even a scene the gear is not in.
        {"GO TO SCENE of a scene without the gear ends the power failure", S(F(Short(0), 16)), 155,
         kNone},
        // Stored values.
        {"POWER ON LEVEL takes MASK as it is", Stored(255, 45), 163, 255},
        {"MAX LEVEL 255 becomes 254", Stored(255, 42), 161, 254},
        {"MIN LEVEL below the physical minimum becomes the physical minimum", Stored(10, 43), 162,
         40, Configured([](GearConfig& c) { c.physicalMinimum = 40; })},
        {"MAX LEVEL below MIN LEVEL becomes MIN LEVEL", Stored(10, 42), 161, 40,
         Configured([](GearConfig& c) { c.physicalMinimum = 40; })},
        {"FADE RATE 0 becomes 1", Stored(0, 47), 165, 0x01},
        {"FADE TIME above 15 becomes 15", Stored(200, 46), 165, 0xF7},
        {"RESET forgets the random address",
         S(T(kInitialise, 0), T(kRandomise, 0), T(Short(0), 32)), 194, 0xFF},
        // Addressing. The window opens only on INITIALISE sent twice, and only for the gear its
        // data byte names (VERIFY SHORT ADDRESS is answered only inside it).
        {"INITIALISE sent once opens no window", S(F(kInitialise, Short(0))),
         kSpecial | kVerifyShortAddress, kNone},
        {"INITIALISE to the gear's address opens it", S(T(kInitialise, Short(0))),
         kSpecial | kVerifyShortAddress, kYes},
        {"INITIALISE to another address leaves it closed", S(T(kInitialise, Short(1))),
         kSpecial | kVerifyShortAddress, kNone},
        {"INITIALISE to gear without an address leaves it closed", S(T(kInitialise, 0xFF)),
         kSpecial | kVerifyShortAddress, kNone},
        {"VERIFY SHORT ADDRESS outside the initialisation state draws no answer",
         S(F(kVerifyShortAddress, Short(0))), kSpecial | kVerifyShortAddress, kNone},
        {"INITIALISE again keeps a withdrawn gear withdrawn",
         S(T(kInitialise, 0), F(kSearchAddrH, 0x12), F(kSearchAddrM, 0x34), F(kSearchAddrL, 0x56),
           F(kWithdraw, 0), T(kInitialise, 0)),
         kSpecial | kCompare, kNone, Configured([](GearConfig& c) { c.randomAddress = 0x123456; })},
        {"TERMINATE ends the withdrawal with the window",
         S(T(kInitialise, 0), F(kSearchAddrH, 0x12), F(kSearchAddrM, 0x34), F(kSearchAddrL, 0x56),
           F(kWithdraw, 0), F(kTerminate, 0), T(kInitialise, 0), F(kSearchAddrH, 0x12),
           F(kSearchAddrM, 0x34), F(kSearchAddrL, 0x56)),
         kSpecial | kCompare, kYes, Configured([](GearConfig& c) { c.randomAddress = 0x123456; })},
        {"QUERY SHORT ADDRESS answers the gear the search address selects", selected,
         kSpecial | kQueryShortAddress, Short(0), random1234},
        {"PROGRAM SHORT ADDRESS 0xFF deletes the address",
         Then(selected, S(F(kProgramShortAddress, 0xFF))), kSpecial | kQueryShortAddress, 0xFF,
         random1234},
        {"in PHYSICAL SELECTION a failed lamp still connected does not select",
         S(T(kInitialise, 0), F(kPhysicalSelection, 0)), kSpecial | kQueryShortAddress, kNone,
         Configured([](GearConfig& c) { c.lamp = LampState::Failed; })},
        {"in PHYSICAL SELECTION the gear no longer compares",
         Then(selected, S(F(kPhysicalSelection, 0))), kSpecial | kCompare, kNone, random1234},
        {"PHYSICAL SELECTION sent again keeps the mode",
         S(T(kInitialise, 0), F(kPhysicalSelection, 0), F(kPhysicalSelection, 0)),
         kSpecial | kQueryShortAddress, Short(0),
         Configured([](GearConfig& c) { c.lamp = LampState::Removed; })},
        // Device-type commands: only QUERY EXTENDED VERSION NUMBER, only right after ENABLE
        // DEVICE TYPE with the gear's own type.
        {"QUERY EXTENDED VERSION NUMBER after ENABLE DEVICE TYPE 6", S(F(kEnableDeviceType, 6)),
         255, 1},
        {"... not without it", S(), 255, kNone},
        {"... not after ENABLE DEVICE TYPE of another type", S(F(kEnableDeviceType, 8)), 255,
         kNone},
        {"... not with a command in between", S(F(kEnableDeviceType, 6), F(Short(0), 160)), 255,
         kNone},
        {"other LED gear commands draw no answer", S(F(kEnableDeviceType, 6)), 240, kNone},
    };
    for (const Reading& reading : readings) {
        m_line = Line{};
        m_now = 0;
        GearConfig config = reading.config;
        if (!config.shortAddress) config.shortAddress = 0;
        Add(config);
        for (const Step& step : reading.steps) {
            if (step.op == Step::Wait) {
                m_now += step.us;
            } else if (step.op == Step::Twice) {
                SendTwice(step.address, step.data);
            } else {
                Send(step.address, step.data);
            }
        }
        const bool special = (reading.query & kSpecial) != 0;
        const auto query = static_cast<std::uint8_t>(reading.query);
        const LineAnswer heard = special ? Send(query, Short(0)) : Send(Short(0), query);
        const std::optional<int> got =
            heard.kind == AnswerKind::Byte ? std::optional<int>(heard.value) : std::nullopt;
        EXPECT_EQ(got, reading.answer) << reading.choice;
    }
}

// Faults, each by its name: what a gear on a bad site does.
TEST_F(GearTest, LoseAnswerMissesExactlyTheNthAnswer) {
    Ballast& gear = Add(At(1));
    gear.Faults().m_loseAnswer = 3;
    Send(Short(1) & 0xFE, 100);  // no answer: not counted
    std::vector<bool> heard;
    for (int i = 0; i < 5; ++i) heard.push_back(Ask(Short(1), 145).has_value());
    EXPECT_EQ(heard, (std::vector<bool>{true, true, false, true, true}));
    EXPECT_EQ(gear.Faults().m_loseAnswer, 0);
}

TEST_F(GearTest, AnswerEverySecondQueryAnswersTheSecondAskButEverySpecialCommand) {
    Ballast& gear = Add();
    gear.Faults().m_answerEverySecondQuery = true;
    gear.SetShortAddress(4);
    std::vector<bool> heard;
    for (int i = 0; i < 4; ++i) heard.push_back(Ask(Short(4), 145).has_value());
    EXPECT_EQ(heard, (std::vector<bool>{false, true, false, true}));
    SendTwice(kInitialise, 0x00);
    EXPECT_EQ(Send(kCompare, 0).kind, AnswerKind::Byte);
    EXPECT_EQ(Send(kVerifyShortAddress, Short(4)).kind, AnswerKind::Byte);
    EXPECT_EQ(Ask(Short(4), 144), std::nullopt);
}

TEST_F(GearTest, RandomiseDelayMsKeepsTheNewRandomAddressOutOfReachUntilItHasPassed) {
    Ballast& gear = Add();
    gear.Faults().m_randomiseDelayMs = 300;
    gear.QueueRandomAddress(0x000100);
    SendTwice(kInitialise, 0x00);
    SendTwice(kRandomise, 0);
    const Micros randomised = m_now;
    Send(kSearchAddrH, 0);
    Send(kSearchAddrM, 1);
    Send(kSearchAddrL, 0);
    Send(kProgramShortAddress, Short(7));
    Send(kWithdraw, 0);
    m_now = randomised + 200000;
    EXPECT_EQ(Send(kCompare, 0, 0).kind, AnswerKind::None);
    EXPECT_EQ(gear.ShortAddress(), std::nullopt);
    EXPECT_FALSE(gear.Withdrawn());
    m_now = randomised + 310000;
    EXPECT_EQ(Send(kCompare, 0, 0).kind, AnswerKind::Byte);
    Send(kProgramShortAddress, Short(7));
    EXPECT_EQ(gear.ShortAddress(), 7);
}

TEST_F(GearTest, PowerUpAfterFramesAnswersOnlyOnceTheFramesHavePassed) {
    GearConfig config;
    config.randomAddress = 0x000010;
    config.powerOnLevel = 100;
    config.actualLevel = 0;
    config.powerFailure = false;
    config.faults.m_powerUpAfterFrames = 10;
    Ballast& gear = Add(config);
    EXPECT_FALSE(gear.Powered());
    SendTwice(kInitialise, 0x00);  // two frames that reach no gear with mains
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Ask(kBroadcast, 145), std::nullopt) << i;
    EXPECT_TRUE(gear.Powered());
    EXPECT_EQ(Ask(kBroadcast, 145), kYes);
    // Switched on: power-on level, power failure, not in the initialisation state.
    ExpectAnswers(kBroadcast, {{160, 100}, {155, kYes}, {152, 0}, {194, 0}, {196, 0x10}});
    EXPECT_FALSE(gear.InInitialisation(m_now));
}

TEST_F(GearTest, PowerDownAfterFramesGoesDarkAndDeafUntilPoweredUpByHand) {
    Ballast& gear = Add(At(2));
    gear.Faults().m_powerDownAfterFrames = 3;
    Send(Short(2) & 0xFE, 200);
    SendTwice(Short(2), 96);  // ADD TO GROUP 0: frames 2 and 3, carried out
    EXPECT_EQ(gear.Groups(), 1);
    EXPECT_FALSE(gear.Powered());
    EXPECT_EQ(gear.LevelAt(m_now), 0);
    EXPECT_EQ(Ask(Short(2), 145), std::nullopt);
    Send(Short(2) & 0xFE, 50);
    gear.PowerUp(m_now);
    ExpectAnswers(Short(2), {{160, 254}, {155, kYes}, {192, 1}});
}

TEST_F(GearTest, AnswerDelayUsIsReportedWithTheAnswerAndGarblesIdenticalAnswers) {
    Ballast& late = Add(At(1));
    late.Faults().m_answerDelayUs = 9000;
    EXPECT_EQ(Send(Short(1), 145).delayUs, 9000);
    Add(At(1));
    m_line.SetIdenticalAnswersDecode(true);
    const LineAnswer both = Send(Short(1), 145);
    EXPECT_EQ(both.kind, AnswerKind::Corrupt);
    EXPECT_EQ(both.delayUs, 9000);
}

}  // namespace
}  // namespace zd::sim
