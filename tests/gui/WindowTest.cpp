// The window's scheduler and the window itself: timers fire from the event loop and not in a
// sleep, and every tab of the main control, on a simulated line, draws a tidy surface whose
// pictures are saved next to the test binary for a person to look at.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "frame/configZD4270.h"
#include "gui/ControlBinding.h"
#include "gui/MainWindow.h"
#include "host/QtScheduler.h"
#include "host/StationDocument.h"
#include "platform/RegistryAccess.h"
#include "sim/LineFile.h"
#include "support/TestContext.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

std::string Example(const std::string& relative) {
    return (fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples" / relative)
        .string();
}

TEST(QtSchedulerTest, TimersFireInTheEventLoopInDeadlineOrderButNotInASleep) {
    QtScheduler scheduler;
    std::vector<char> fired;
    const auto slow = scheduler.AddTimer([&] { fired.push_back('s'); });
    const auto fast = scheduler.AddTimer([&] { fired.push_back('f'); });
    const auto off = scheduler.AddTimer([&] { fired.push_back('x'); });
    scheduler.SetTimer(slow, 6, true);
    scheduler.SetTimer(fast, 2, true);
    scheduler.SetTimer(off, 1, false);
    bool posted = false;
    scheduler.Post([&] { posted = true; });

    scheduler.Sleep(8);
    EXPECT_TRUE(fired.empty());
    EXPECT_FALSE(posted);
    scheduler.DoEvents();
    EXPECT_TRUE(posted);
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[0], 'f');
    EXPECT_EQ(fired[1], 's');

    // From here on the event loop alone drives them.
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(2000);
    const auto stop = scheduler.AddTimer([&] {
        if (std::count(fired.begin(), fired.end(), 's') >= 3) loop.quit();
    });
    scheduler.SetTimer(stop, 1, true);
    loop.exec();
    EXPECT_GE(std::count(fired.begin(), fired.end(), 's'), 3);
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 'x'), 0);
    scheduler.RemoveTimer(stop);
}

// Every control on screen lies inside its container, and no two on the same tab of a container
// overlap.
void ExpectTidy(const ControlBinding& container, std::set<std::string>& faults) {
    const auto& kids = container.Children();
    for (std::size_t i = 0; i < kids.size(); ++i) {
        const ControlBinding& a = *kids[i];
        if (!a.Widget()->isVisible()) continue;
        const QRect inParent = a.Widget()->geometry();
        if (!a.Widget()->parentWidget()->rect().contains(inParent))
            faults.insert(a.Model().Name() + " sticks out of " + container.Model().Name() + " (" +
                             std::to_string(inParent.right()) + "," + std::to_string(inParent.bottom()) +
                             " in " + std::to_string(a.Widget()->parentWidget()->width()) + "x" +
                             std::to_string(a.Widget()->parentWidget()->height()) + ")");
        for (std::size_t j = i + 1; j < kids.size(); ++j) {
            const ControlBinding& b = *kids[j];
            if (b.Widget()->isVisible() && b.Tab() == a.Tab() &&
                b.Widget()->geometry().intersects(inParent))
                faults.insert(a.Model().Name() + " overlaps " + b.Model().Name());
        }
        ExpectTidy(a, faults);
    }
}

TEST(Window, EachTabDrawsATidySurface) {
    test::TestContext ctx;
    MemoryRegistry registry;
    ModuleState state;
    StationDocument station = StationDocument::Load(Example("stations/packed-intel.xml"));
    XmlNode terminal = station.ChooseTerminal();
    auto devCom = CreateSimulatedDevCom(ctx.scheduler, terminal,
                                        sim::LoadLineFile(Example("lines/three-addressed.json")));
    configZD4270 control(ctx.context, registry, state);
    control.RefreshData(terminal, devCom, StationUserData(terminal));
    MainWindow window(control);
    window.SetStation(Example("stations/packed-intel.xml"), control.Pos);
    EXPECT_EQ(window.windowTitle().toStdString(),
              "ZD4270 - packed-intel.xml - Pos " + std::to_string(control.Pos));
    window.show();
    QCoreApplication::processEvents();
    // The host's size reaches the control: the scrolled window covers the client area.
    const QSize client = window.Surface().Widget()->size();
    EXPECT_EQ(control.scrolledWindow.Width(), PixelsToTwips(client.width()));
    EXPECT_FALSE(control.scrolledWindow.VerticalBar().Visible());

    struct Shot {
        int main;
        int sub;
        const char* name;
    };
    const Shot shots[] = {{0, 0, "settings"},        {1, 0, "addressing-physical"},
                          {1, 1, "addressing-random"}, {1, 2, "addressing-single"},
                          {1, 3, "addressing-change"}, {2, 0, "options"},
                          {3, 0, "archiv-scenes"},     {3, 1, "archiv-groups"}};
    const fs::path dir = QCoreApplication::applicationDirPath().toStdString();
    std::set<std::string> faults;
    for (const Shot& shot : shots) {
        control.tabMain.SetTab(shot.main);
        if (shot.main == 1) control.tabAddressing.SetTab(shot.sub);
        if (shot.main == 3) control.tabArchiv.SetTab(shot.sub);
        QCoreApplication::processEvents();
        ExpectTidy(window.Surface(), faults);
        const QImage image = window.grab().toImage();
        const fs::path file = dir / ("gui-tab-" + std::string(shot.name) + ".png");
        EXPECT_TRUE(image.save(QString::fromStdString(file.string())));
        // A drawn surface has frames, text and lists: many colours, and not one of them filling
        // nearly all of it.
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) ++counts[image.pixel(x, y)];
        int largest = 0;
        for (int n : counts) largest = std::max(largest, n);
        const int samples = ((image.width() + 1) / 2) * ((image.height() + 1) / 2);
        EXPECT_GT(counts.size(), 12) << shot.name;
        EXPECT_LT(largest, samples * 97 / 100) << shot.name;
    }

    std::string report;
    for (const std::string& fault : faults) report += fault + "\n";
    EXPECT_EQ(report, "");

    // A small window: the model shows its bars, and the user's scrolling moves the surface.
    window.resize(300, 260);
    QCoreApplication::processEvents();
    ASSERT_TRUE(control.scrolledWindow.VerticalBar().Visible());
    auto* bar = qobject_cast<QScrollBar*>(window.Surface().Find(control.scrolledWindow.VerticalBar())->Widget());
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_LT(control.tabMain.Top(), 0);
    EXPECT_EQ(window.Surface().Find(control.tabMain)->Widget()->y(), TwipsToPixels(control.tabMain.Top()));
    window.close();
}

}  // namespace
}  // namespace zd
