// The lamp window follows the simulated line: a level sent over the line shows on its gear's tile
// at the next refresh, and a picture of the window is saved next to the test binary.
#include <gtest/gtest.h>

#include <QImage>

#include "gui/LampWindow.h"
#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"

namespace zd {
namespace {

TEST(LampWindowTest, TileShowsTheLevelAndAddressOfItsGearAfterALevelChange) {
    VirtualScheduler scheduler;
    sim::Terminal terminal(scheduler);
    sim::GearConfig addressed;
    addressed.shortAddress = 5;
    addressed.actualLevel = 254;
    const int lit = terminal.AddGear(addressed);
    sim::GearConfig loose;
    loose.actualLevel = 0;
    const int dark = terminal.AddGear(loose);

    LampWindow window(terminal);
    EXPECT_EQ(window.AddressText(lit), "5");
    EXPECT_EQ(window.AddressText(dark), "--");
    EXPECT_EQ(window.LevelText(lit), "254");

    // Direct arc power 100 to short address 5 only.
    scheduler.RunFor(10);
    terminal.GetLine().SendForward(static_cast<std::uint16_t>((5 << 9) | 100),
                                   scheduler.Now() * 1000);
    terminal.SetLamp(dark, sim::LampState::Removed);
    window.Refresh();
    EXPECT_EQ(window.LevelText(lit), "100");
    EXPECT_EQ(window.LevelText(dark), "0");

    window.grab().toImage().save("lamp-window.png");
}

}  // namespace
}  // namespace zd
