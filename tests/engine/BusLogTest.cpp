// The bus monitor's log: answers join the command they answer, the ring keeps the newest, and each
// answer reads as what it means for its query.
#include <gtest/gtest.h>

#include "engine/BusLog.h"
#include "link/Commands.h"
#include "platform/VirtualScheduler.h"

namespace zd {
namespace {

Transaction Command(std::int16_t id, std::int16_t addr, Result result = Result::Done,
                    bool acknowledged = true) {
    std::uint8_t data = 0;
    return {Transaction::Kind::DALICommand,
            id,
            data,
            AddressKind::Short,
            addr,
            BuildDALICommandWord(id, data, AddressKind::Short, addr),
            result,
            acknowledged};
}

Transaction Answer(Result result, std::uint8_t data = 0) {
    return {Transaction::Kind::DALIAnswer, 0, data, AddressKind::Short, 0, std::nullopt, result,
            result == Result::Done};
}

TEST(BusLogTest, AnswersMeanWhatTheirQueryAsks) {
    VirtualScheduler clock;
    const struct {
        std::int16_t id;
        Result answerResult;
        std::uint8_t data;
        const char* meaning;
        const char* result;
    } cases[] = {
        {kCmdQueryBallast, Result::Done, 0xFF, "YES", "done"},
        // Silence is the gear's no, and several gear answering at once still say yes.
        {kCmdQueryBallast, Result::Timeout, 0, "NO", "done, answer: timeout"},
        {kCmdQueryLampFailure, Result::CorruptFrame, 0, "YES", "done, answer: corrupt frame"},
        {kCmdQueryStatus, Result::Done, 0x0A, "lamp failure, limit error", "done"},
        {kCmdQueryStatus, Result::Done, 0x00, "no bit set", "done"},
        {kCmdQueryActualLevel, Result::Done, 254, "100 %", "done"},
        {kCmdQuerySceneLevel + 3, Result::Done, 255, "MASK", "done"},
        {kCmdQueryGroups8To15, Result::Done, 0x81, "groups 8, 15", "done"},
        {kCmdQueryFadeTimeFadeRate, Result::Done, 0x07, "fade time 0.5 s, fade rate 44.7 steps/s",
         "done"},
        {kCmdQueryShortAddress, Result::Done, 2 * 12 + 1, "A12", "done"},
        // A value query without its value means nothing.
        {kCmdQueryActualLevel, Result::Collision, 0, "", "done, answer: collision"},
        {kCmdQueryVersionNumber, Result::Error, 0, "", "done, answer: device-communication error"},
    };
    for (const auto& c : cases) {
        BusLog log(clock);
        log.Observe(Command(c.id, 5));
        log.Observe(Answer(c.answerResult, c.data));
        ASSERT_EQ(log.Entries().size(), 1u) << c.id;
        const BusEntry& e = log.Entries().front();
        EXPECT_EQ(BusMeaningText(e), c.meaning) << c.id;
        EXPECT_EQ(BusResultText(e), c.result) << c.id;
        EXPECT_EQ(KindOf(e), c.id > 255 ? BusKind::Special : BusKind::Query) << c.id;
    }
}

// The scene or group of a command comes from its word, as the command line names it.
TEST(BusLogTest, CommandsOfARangeAreNamedByTheirWord) {
    VirtualScheduler clock;
    BusLog log(clock);
    Transaction query = Command(kCmdQuerySceneLevel, 15);
    query.word = 0x1FB8;
    log.Observe(query);
    Transaction group = Command(kCmdAddToGroup, 0);
    group.word = 0x016C;
    log.Observe(group);
    ASSERT_EQ(log.Entries().size(), 2u);
    EXPECT_EQ(BusCommandText(log.Entries()[0]), "query scene level 8");
    EXPECT_EQ(BusCommandText(log.Entries()[1]), "add to group 12");

    // Device-type frames the catalogue has no text for read as the frame log reads them.
    Transaction dtr1 = Command(273, 1);
    dtr1.word = 0xC301;
    log.Observe(dtr1);
    Transaction colour = Command(0xE7, 0);
    colour.word = 0x0BE7;
    log.Observe(colour);
    EXPECT_EQ(BusCommandText(log.Entries()[2]), "data transfer register 1 (DTR1) 1");
    EXPECT_EQ(BusCommandText(log.Entries()[3]), "command 0xE7 (not in the catalogue)");
}

TEST(BusLogTest, TheRingKeepsTheNewestAndTheCsvQuotesWhatNeedsIt) {
    VirtualScheduler clock;
    BusLog log(clock, 3);
    log.Observe(Answer(Result::Timeout));  // no command before it: a row of its own
    log.Observe(Command(kCmdOff, 1, Result::Done, false));
    log.Observe(Command(kCmdRecallMaxLevel, 2, Result::Collision));
    log.Observe(Command(kCmdInitialise, 0));
    log.Observe(Answer(Result::Done, 0xFF));  // belongs to the special command before it
    ASSERT_EQ(log.Entries().size(), 3u);
    EXPECT_EQ(log.FirstNumber(), 1u);
    EXPECT_EQ(log.Entry(0), nullptr);
    EXPECT_EQ(log.Entry(1), &log.Entries()[0]);
    EXPECT_EQ(BusAddressText(log.Entries()[0]), "A1");
    EXPECT_EQ(BusWordText(log.Entries()[0]), "0x0300");
    EXPECT_EQ(BusResultText(log.Entries()[1]), "collision");
    EXPECT_EQ(BusAddressText(log.Entries()[2]), "*");
    EXPECT_EQ(BusAnswerText(log.Entries()[2]), "0xFF (255)");

    const std::string csv = BusCsv(log.Entries());
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "time,address,command,word,result,answer,meaning");
    EXPECT_NE(csv.find(",A1,off,0x0300,\"done, not acknowledged\",,\r\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",*,initialise    --> 0x0,0xA500,done,0xFF (255),\r\n"), std::string::npos)
        << csv;

    log.Clear();
    EXPECT_TRUE(log.Entries().empty());
    EXPECT_EQ(log.Entry(3), nullptr);
}

}  // namespace
}  // namespace zd
