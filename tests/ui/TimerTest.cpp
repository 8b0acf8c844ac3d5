// The timer on the virtual clock: ticks only while enabled and attached, re-armed from the moment
// its own tick enables it again, and gone with its object.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/VirtualScheduler.h"
#include "ui/Timer.h"

namespace zd {
namespace {

class TimerTest : public ::testing::Test {
  protected:
    void Record(Timer& timer) {
        timer.Tick.Connect([this] { ticks.push_back(scheduler.Now()); });
    }
    VirtualScheduler scheduler;
    std::vector<std::int64_t> ticks;
};

TEST_F(TimerTest, FiresEveryIntervalOnlyWhileEnabledAndANewIntervalRearmsIt) {
    Timer timer("timerScanDevices", &scheduler, 1000);
    Record(timer);
    int changes = 0;
    timer.OnChanged.Connect([&] { ++changes; });
    timer.SetInterval(50);
    scheduler.RunFor(200);
    EXPECT_TRUE(ticks.empty());
    timer.SetEnabled(true);
    scheduler.RunFor(120);
    timer.SetEnabled(true);  // equal values neither re-arm nor announce a change
    timer.SetInterval(50);
    scheduler.RunFor(40);
    timer.SetInterval(200);
    scheduler.RunFor(250);
    timer.SetEnabled(false);
    scheduler.RunFor(500);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{250, 300, 350, 560}));
    EXPECT_EQ(changes, 4);
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

TEST_F(TimerTest, AttachedLaterArmsAnEnabledTimerAndDestructionRemovesIt) {
    auto timer = std::make_unique<Timer>("timerWatchdog");
    timer->SetInterval(10);
    timer->SetEnabled(true);
    Record(*timer);
    scheduler.RunFor(100);
    timer->AttachScheduler(scheduler);
    scheduler.RunFor(25);
    EXPECT_EQ(ticks, (std::vector<std::int64_t>{110, 120}));
    timer.reset();
    scheduler.RunFor(100);
    EXPECT_EQ(ticks.size(), 2u);

    // A tick may destroy its own timer.
    timer = std::make_unique<Timer>("timerOnce", &scheduler, 10);
    timer->Tick.Connect([&] { timer.reset(); });
    timer->SetEnabled(true);
    scheduler.RunFor(100);
    EXPECT_EQ(timer, nullptr);
}

}  // namespace
}  // namespace zd
