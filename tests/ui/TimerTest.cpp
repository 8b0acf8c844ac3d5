#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/VirtualScheduler.h"
#include "ui/Timer.h"

namespace zd {
namespace {

class TimerTest : public ::testing::Test {
  protected:
    void Record(Timer& timer) { timer.Tick.Connect([this] { ticks.push_back(scheduler.Now()); }); }

    VirtualScheduler scheduler;
    std::vector<std::int64_t> ticks;
};

TEST_F(TimerTest, FiresEveryIntervalOnlyWhileEnabled) {
    Timer timer("timerScanDevices", &scheduler, 50);
    Record(timer);
    scheduler.RunFor(200);
    EXPECT_TRUE(ticks.empty());
    timer.SetEnabled(true);
    scheduler.RunFor(120);
    timer.SetEnabled(false);
    scheduler.RunFor(500);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{250, 300}));
}

TEST_F(TimerTest, DisableAndReenableInsideTheTickRearmsFromThatMoment) {
    Timer timer("timerRndAddr", &scheduler, 100);
    Record(timer);
    // The step machines' pattern: stop the timer, do one step (which may sleep), start it again.
    timer.Tick.Connect([&] {
        timer.SetEnabled(false);
        scheduler.Sleep(30);
        timer.SetEnabled(true);
    });
    timer.SetEnabled(true);
    scheduler.RunFor(400);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{100, 230, 360}));
}

TEST_F(TimerTest, NewIntervalRearmsOnlyAnEnabledTimerAndEqualValuesDoNothing) {
    Timer timer("timerFirmware", &scheduler, 1000);
    Record(timer);
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

TEST_F(TimerTest, AttachedLaterArmsAnEnabledTimerAndDestructionRemovesIt) {
    auto timer = std::make_unique<Timer>("timerWatchdog");
    timer->SetInterval(10);
    timer->SetEnabled(true);
    Record(*timer);
    scheduler.RunFor(100);
    EXPECT_TRUE(ticks.empty());
    timer->AttachScheduler(scheduler);
    scheduler.RunFor(25);
    EXPECT_EQ(ticks.size(), 2u);
    timer.reset();
    scheduler.RunFor(100);
    EXPECT_EQ(ticks.size(), 2u);

    // A tick may destroy its own timer.
    timer = std::make_unique<Timer>("timerOnce", &scheduler, 10);
    int once = 0;
    timer->Tick.Connect([&] {
        ++once;
        timer.reset();
    });
    timer->SetEnabled(true);
    scheduler.RunFor(100);
    EXPECT_EQ(once, 1);
}

}  // namespace
}  // namespace zd
