// The window's scheduler and the window itself: timers fire from the event loop and not in a
// sleep, and every tab of the main control, on a simulated line, draws a tidy surface whose
// pictures are saved next to the test binary for a person to look at.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDockWidget>
#include <QEventLoop>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "frame/configZD4270.h"
#include "gui/ControlBinding.h"
#include "gui/MainWindow.h"
#include "gui/RunStatus.h"
#include "gui/WindowHost.h"
#include "host/QtScheduler.h"
#include "host/StationDocument.h"
#include "platform/HostTexts.h"
#include "platform/RegistryAccess.h"
#include "sim/LineFile.h"
#include "support/Examples.h"
#include "support/TestContext.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

using test::ExamplePath;

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
    EXPECT_TRUE(fired.empty() && !posted);
    scheduler.DoEvents();
    EXPECT_TRUE(posted);
    EXPECT_EQ(fired, (std::vector<char>{'f', 's'}));

    // From here on the event loop alone drives them.
    QEventLoop loop;
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    const auto stop = scheduler.AddTimer([&] {
        if (std::count(fired.begin(), fired.end(), 's') >= 3) loop.quit();
    });
    scheduler.SetTimer(stop, 1, true);
    loop.exec();
    EXPECT_GE(std::count(fired.begin(), fired.end(), 's'), 3);
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 'x'), 0);
    scheduler.RemoveTimer(stop);
}

// Every control on screen lies inside its container, and no two on the same tab overlap.
void CollectUntidy(const ControlBinding& container, std::set<std::string>& faults) {
    const auto& kids = container.Children();
    for (std::size_t i = 0; i < kids.size(); ++i) {
        const QWidget& a = *kids[i]->Widget();
        if (!a.isVisible()) continue;
        const std::string name = kids[i]->Model().Name();
        if (!a.parentWidget()->rect().contains(a.geometry())) faults.insert(name + " sticks out");
        for (std::size_t j = i + 1; j < kids.size(); ++j) {
            const QWidget& b = *kids[j]->Widget();
            if (b.isVisible() && kids[j]->Tab() == kids[i]->Tab() &&
                b.geometry().intersects(a.geometry()))
                faults.insert(name + " overlaps " + kids[j]->Model().Name());
        }
        CollectUntidy(*kids[i], faults);
    }
}

void CheckTidySurfaceAndScrolling(Language language) {
    test::TestContext ctx;
    ctx.messages.SetLanguage(language);
    const std::string suffix = language == Language::German ? "-de" : "";
    MemoryRegistry registry;
    ModuleState state;
    StationDocument station = StationDocument::Load(ExamplePath("stations/packed-intel.xml"));
    XmlNode terminal = station.ChooseTerminal();
    auto devCom = CreateSimulatedDevCom(
        ctx.scheduler, terminal, sim::LoadLineFile(ExamplePath("lines/three-addressed.json")));
    configZD4270 control(ctx.context, registry, state);
    control.RefreshData(terminal, devCom, StationUserData(terminal));
    MainWindow window(control);
    window.show();
    QCoreApplication::processEvents();

    const std::tuple<int, int, const char*> shots[] = {
        {0, 0, "settings"},          {1, 0, "addressing-physical"}, {1, 1, "addressing-random"},
        {1, 2, "addressing-single"}, {1, 3, "addressing-change"},   {2, 0, "options"},
        {3, 0, "archiv-scenes"},     {3, 1, "archiv-groups"}};
    const fs::path dir = QCoreApplication::applicationDirPath().toStdString();
    std::set<std::string> faults;
    for (const auto& [main, sub, name] : shots) {
        control.tabMain.SetTab(main);
        if (main == 1) control.tabAddressing.SetTab(sub);
        if (main == 3) control.tabArchiv.SetTab(sub);
        QCoreApplication::processEvents();
        CollectUntidy(window.Surface(), faults);
        const QImage image = window.grab().toImage();
        image.save(
            QString::fromStdString((dir / ("gui-tab-" + std::string(name) + suffix + ".png"))));
        // A drawn surface has frames, text and lists: many colours, none filling nearly all of it.
        QHash<QRgb, int> counts;
        for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) ++counts[image.pixel(x, y)];
        const int samples = ((image.width() + 1) / 2) * ((image.height() + 1) / 2);
        EXPECT_GT(counts.size(), 12) << name;
        EXPECT_LT(*std::max_element(counts.begin(), counts.end()), samples * 97 / 100) << name;
    }
    EXPECT_EQ(faults, std::set<std::string>{});

    // A small window: the model shows its bars, and the user's scrolling moves the surface.
    window.resize(300, 260);
    QCoreApplication::processEvents();
    auto* bar = qobject_cast<QScrollBar*>(
        window.Surface().Find(control.scrolledWindow.VerticalBar())->Widget());
    ASSERT_TRUE(bar && bar->isVisible());
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_LT(control.tabMain.Top(), 0);
    EXPECT_EQ(window.Surface().Find(control.tabMain)->Widget()->y(),
              TwipsToPixels(control.tabMain.Top()));
    window.close();
}

TEST(Window, EachTabDrawsATidySurfaceInEachLanguageAndScrollsWhenSmall) {
    for (const Language language : {Language::English, Language::German}) {
        SCOPED_TRACE(language == Language::German ? "German" : "English");
        CheckTidySurfaceAndScrolling(language);
    }
}

// The texts of the window's own parts (menus, docks, status bar), in the order they were made;
// the control's surface has texts of its own.
void CollectMenuTexts(const QList<QAction*>& actions, Language language, QStringList& texts) {
    for (QAction* action : actions) {
        if (action->text().isEmpty()) continue;
        texts << action->text();
        // The examples are named by their files.
        if (action->menu() &&
            action->text().toStdString() != HostText(language, "Start from an &example"))
            CollectMenuTexts(action->menu()->actions(), language, texts);
    }
}

QStringList WindowOwnTexts(MainWindow& window, Language language) {
    QStringList texts;
    CollectMenuTexts(window.menuBar()->actions(), language, texts);
    QWidget* surface = window.Surface().Widget();
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (w == surface || surface->isAncestorOf(w)) continue;
        if (auto* dock = qobject_cast<QDockWidget*>(w)) texts << dock->windowTitle();
        if (auto* button = qobject_cast<QAbstractButton*>(w)) texts << button->text();
        if (auto* label = qobject_cast<QLabel*>(w)) texts << label->text();
        if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->count() > 0)
            texts << combo->itemText(0);
        if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model())
            for (int c = 0; c < view->model()->columnCount(); ++c)
                texts << view->model()->headerData(c, Qt::Horizontal).toString();
        texts << w->toolTip();
    }
    // Numbers and blanks read the same in every language.
    texts.removeIf([](const QString& text) {
        return std::none_of(text.begin(), text.end(), [](QChar c) { return c.isLetter(); });
    });
    return texts;
}

TEST(Window, TheWindowsOwnTextsFollowTheLanguageOfTheControl) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    ASSERT_TRUE(host.Open({ExamplePath("stations/packed-intel.xml"), -1,
                           ExamplePath("lines/three-addressed.json"), ""}));
    // Each language's texts, with a scan under way so that the status bar tells its progress.
    const auto texts = [&](Language language) {
        MainWindow& window = *host.Window();
        EXPECT_TRUE(host.Control()->cmdScanDevices.Click());
        ctx.scheduler.RunUntil([&] { return host.Control()->m_nScanAddress >= 20; }, 60'000);
        QCoreApplication::processEvents();
        QStringList all = WindowOwnTexts(window, language);
        all << window.Progress().Text()->text();
        host.Control()->cmdScanDevices.Click();
        return all;
    };
    const QStringList english = texts(Language::English);
    ASSERT_TRUE(host.SetLanguage(Language::German));
    const QStringList german = texts(Language::German);
    ASSERT_EQ(english.size(), german.size()) << english.join('|').toStdString() << "\n"
                                             << german.join('|').toStdString();
    for (qsizetype i = 0; i < english.size(); ++i) {
        const std::string text = english[i].toStdString();
        // A few texts are the same in both languages ("&Deutsch"): the table says so.
        if (HasHostText(text) && HostText(Language::German, text) == text) continue;
        EXPECT_NE(english[i], german[i]) << "not in German: " << text;
    }
}

}  // namespace
}  // namespace zd
