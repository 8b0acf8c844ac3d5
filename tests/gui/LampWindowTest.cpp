// The lamp window's fault switches: a tile's context menu switches its gear's faults and marks the
// tile; the window's menu button sets the terminal's acknowledge delay.
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QToolButton>

#include "gui/LampWindow.h"
#include "platform/VirtualScheduler.h"
#include "sim/Terminal.h"

namespace zd {
namespace {

QAction* TileAction(LampWindow& window, int gearId, const QString& text) {
    const QString tip = QStringLiteral("gear %1;").arg(gearId);
    for (QFrame* tile : window.findChildren<QFrame*>()) {
        if (!tile->toolTip().startsWith(tip)) continue;
        for (QAction* action : tile->actions())
            if (action->text() == text) return action;
    }
    return nullptr;
}

TEST(LampWindowTest, FaultSwitchesReachTheGearAndTheTerminal) {
    VirtualScheduler clock;
    sim::Terminal terminal(clock);
    sim::GearConfig config;
    config.shortAddress = 1;
    const int gear = terminal.AddGear(config);
    const int other = terminal.AddGear(config);
    LampWindow window(terminal);
    EXPECT_FALSE(window.FaultMarked(gear));

    TileAction(window, gear, "Answer every second query")->trigger();
    EXPECT_TRUE(terminal.Gear(gear).Faults().m_answerEverySecondQuery);
    EXPECT_TRUE(window.FaultMarked(gear));
    EXPECT_FALSE(window.FaultMarked(other));

    TileAction(window, gear, "Mains off")->trigger();
    EXPECT_FALSE(terminal.Gear(gear).Powered());
    EXPECT_EQ(window.LevelText(gear), "0");
    TileAction(window, gear, "Mains off")->trigger();
    EXPECT_TRUE(terminal.Gear(gear).Powered());
    EXPECT_EQ(window.LevelText(gear), "254");

    // A fault switched elsewhere shows on the tile too.
    terminal.Gear(other).Faults().m_loseAnswer = 1;
    window.Refresh();
    EXPECT_TRUE(TileAction(window, other, "Lose the next answer")->isChecked());

    QAction* slow = nullptr;
    for (QAction* action : window.findChildren<QAction*>())
        if (action->text() == "Acknowledge 40 ms late") slow = action;
    ASSERT_NE(slow, nullptr);
    slow->trigger();
    EXPECT_EQ(terminal.Faults().m_acknowledgeDelayMs, 40);
}

// Tunable-white gear: the bulb is tinted by its colour temperature, which its tooltip names.
TEST(LampWindowTest, TunableWhiteBulbsShowTheirColourTemperature) {
    VirtualScheduler clock;
    sim::Terminal terminal(clock);
    sim::GearConfig config;
    config.deviceType = 8;
    for (const std::uint16_t mirek : {370, 154}) {
        config.colour.actual = mirek;
        terminal.AddGear(config);
    }
    LampWindow window(terminal);
    window.Refresh();
    QStringList tips;
    for (QWidget* widget : window.findChildren<QWidget*>())
        if (widget->toolTip().endsWith(" K")) tips << widget->toolTip();
    tips.sort();
    EXPECT_EQ(tips, (QStringList{"2703 K", "6494 K"}));
    window.grab().save(QCoreApplication::applicationDirPath() + "/gui-lamps-colour.png");
}

}  // namespace
}  // namespace zd
