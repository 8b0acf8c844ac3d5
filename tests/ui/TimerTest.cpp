#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/VirtualScheduler.h"
#include "ui/Timer.h"

namespace zd {
namespace {

TEST(TimerTest, FiresEveryIntervalOnlyWhileEnabled) {
    VirtualScheduler scheduler;
    Timer timer("timerScanDevices", &scheduler, 50);
    std::vector<std::int64_t> ticks;
    timer.Tick.Connect([&] { ticks.push_back(scheduler.Now()); });

    scheduler.RunFor(200);
    EXPECT_TRUE(ticks.empty());

    timer.SetEnabled(true);
    scheduler.RunFor(120);
    timer.SetEnabled(false);
    scheduler.RunFor(500);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{250, 300}));
}

TEST(TimerTest, DisableAndReenableInsideTheTickRearmsFromThatMoment) {
    VirtualScheduler scheduler;
    Timer timer("timerRndAddr", &scheduler, 100);
    std::vector<std::int64_t> ticks;
    // The step machines' pattern: stop the timer, do one step (which may sleep), start it again.
    timer.Tick.Connect([&] {
        ticks.push_back(scheduler.Now());
        timer.SetEnabled(false);
        scheduler.Sleep(30);
        timer.SetEnabled(true);
    });
    timer.SetEnabled(true);
    scheduler.RunFor(400);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100, 230, 360}));
}

TEST(TimerTest, NewIntervalRearmsOnlyAnEnabledTimerAndEqualValuesDoNothing) {
    VirtualScheduler scheduler;
    Timer timer("timerFirmware", &scheduler, 1000);
    std::vector<std::int64_t> ticks;
    timer.Tick.Connect([&] { ticks.push_back(scheduler.Now()); });
    int changes = 0;
    timer.OnChanged.Connect([&] { ++changes; });

    timer.SetInterval(50);
    scheduler.RunFor(100);
    EXPECT_TRUE(ticks.empty());

    timer.SetEnabled(true);
    scheduler.RunFor(30);
    timer.SetEnabled(true);
    timer.SetInterval(50);
    scheduler.RunFor(30);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{150}));

    timer.SetInterval(200);
    scheduler.RunFor(250);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{150, 360}));
    EXPECT_EQ(changes, 3);

    timer.SetInterval(0);
    scheduler.RunFor(1000);
    EXPECT_EQ(ticks.size(), 2u);
}

TEST(TimerTest, AttachedLaterArmsAnEnabledTimerAndDestructionRemovesIt) {
    VirtualScheduler scheduler;
    int ticks = 0;
    auto timer = std::make_unique<Timer>("timerWatchdog");
    timer->SetInterval(10);
    timer->SetEnabled(true);
    timer->Tick.Connect([&] { ++ticks; });
    scheduler.RunFor(100);
    EXPECT_EQ(ticks, 0);

    timer->AttachScheduler(scheduler);
    scheduler.RunFor(25);
    EXPECT_EQ(ticks, 2);
    timer.reset();
    scheduler.RunFor(100);
    EXPECT_EQ(ticks, 2);
}

TEST(TimerTest, TickMayDestroyItsOwnTimer) {
    VirtualScheduler scheduler;
    auto timer = std::make_unique<Timer>("timerOnce", &scheduler, 10);
    int ticks = 0;
    timer->Tick.Connect([&] {
        ++ticks;
        timer.reset();
    });
    timer->SetEnabled(true);
    scheduler.RunFor(100);
    EXPECT_EQ(ticks, 1);
}

}  // namespace
}  // namespace zd
