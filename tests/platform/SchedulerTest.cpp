// The virtual clock's rules, on which every procedure test relies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/VirtualScheduler.h"

namespace zd {
namespace {

TEST(VirtualSchedulerTest, DueTimersFireInDeadlineOrderTiesInArmingOrder) {
    VirtualScheduler s;
    std::vector<std::string> fired;
    auto a = s.AddTimer([&] { fired.push_back("a@" + std::to_string(s.Now())); });
    auto b = s.AddTimer([&] { fired.push_back("b@" + std::to_string(s.Now())); });
    auto c = s.AddTimer([&] { fired.push_back("c@" + std::to_string(s.Now())); });
    s.SetTimer(b, 100, true);
    s.SetTimer(a, 100, true);  // same deadline as b, armed later
    s.SetTimer(c, 50, true);
    s.RunFor(100);
    EXPECT_EQ(fired, (std::vector<std::string>{"c@50", "b@100", "a@100", "c@100"}));
    EXPECT_EQ(s.Now(), 100);
}

TEST(VirtualSchedulerTest, SleepFiresNothingAndAnOverdueTimerFiresOnce) {
    VirtualScheduler s;
    int ticks = 0;
    auto t = s.AddTimer([&] { ++ticks; });
    s.SetTimer(t, 10, true);
    s.Sleep(1000);
    EXPECT_EQ(ticks, 0);
    s.DoEvents();  // overdue: fires once, then its next period lies in the future
    EXPECT_EQ(ticks, 1);
}

TEST(VirtualSchedulerTest, RunUntilStopsAtPredicateOrLimitAndRunsPostedActions) {
    VirtualScheduler s;
    int ticks = 0;
    bool posted = false;
    auto t = s.AddTimer([&] { ++ticks; });
    s.SetTimer(t, 100, true);
    s.Post([&] { posted = true; });
    EXPECT_TRUE(s.RunUntil([&] { return ticks == 3; }, 10'000));
    EXPECT_TRUE(posted);
    EXPECT_EQ(s.Now(), 300);
    EXPECT_FALSE(s.RunUntil([] { return false; }, 250));
    EXPECT_EQ(s.Now(), 550);
    EXPECT_EQ(ticks, 5);
}

}  // namespace
}  // namespace zd
