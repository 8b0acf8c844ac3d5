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
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTabBar>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "documents/StationDocument.h"
#include "frame/configZD4270.h"
#include "gui/BusMonitor.h"
#include "gui/ControlBinding.h"
#include "gui/MainWindow.h"
#include "gui/QtScheduler.h"
#include "gui/RunStatus.h"
#include "gui/StatusNote.h"
#include "gui/WindowHost.h"
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

int TextWidth(const QWidget& w, const QString& text) {
    QString shown = text;
    shown.remove(QLatin1Char('&'));
    return w.fontMetrics().horizontalAdvance(shown);
}

// Every text shown in full: captions fit their boxes, labels their lines, list cells their
// columns.
void CollectClipped(QWidget& root, std::set<std::string>& faults) {
    for (QWidget* w : root.findChildren<QWidget*>()) {
        if (!w->isVisible() || w->objectName().isEmpty()) continue;
        const std::string name = w->objectName().toStdString();
        const auto cut = [&](const QString& text) {
            faults.insert(name + " cuts \"" + text.toStdString() + "\"");
        };
        if (auto* button = qobject_cast<QPushButton*>(w); button && !button->text().isEmpty()) {
            const int margin = w->style()->pixelMetric(QStyle::PM_ButtonMargin);
            const QStringList lines = button->text().split(QLatin1Char('\n'));
            for (const QString& line : lines)
                if (TextWidth(*w, line) + 2 * margin > w->width()) cut(line);
            if (lines.size() * w->fontMetrics().lineSpacing() + margin > w->height())
                cut(button->text());
        } else if (auto* checkBox = qobject_cast<QAbstractButton*>(w);
                   checkBox && !checkBox->text().isEmpty()) {
            if (checkBox->sizeHint().width() > w->width()) cut(checkBox->text());
        } else if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
            const bool tooHigh =
                label->wordWrap() && label->heightForWidth(label->width()) > label->height();
            if (tooHigh || label->minimumSizeHint().width() > label->width()) cut(label->text());
        } else if (auto* frame = qobject_cast<QGroupBox*>(w)) {
            if (TextWidth(*w, frame->title()) + w->fontMetrics().height() > w->width())
                cut(frame->title());
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QStyleOptionComboBox option;
            option.initFrom(combo);
            const QRect field = w->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
            if (TextWidth(*w, combo->currentText()) > field.width()) cut(combo->currentText());
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            if (TextWidth(*w, edit->text()) + 2 * edit->fontMetrics().averageCharWidth() >
                edit->width())
                cut(edit->text());
        } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
            for (int t = 0; t < bar->count(); ++t)
                if (bar->isTabVisible(t) &&
                    (bar->tabRect(t).right() >= bar->width() ||
                     TextWidth(*w, bar->tabText(t)) > bar->tabRect(t).width()))
                    cut(bar->tabText(t));
        } else if (auto* list = qobject_cast<QTreeWidget*>(w); list && !list->rootIsDecorated()) {
            // The cell's text margin, as the item view's style leaves it on each side.
            const int margin =
                2 * (list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1);
            const int box = list->style()->pixelMetric(QStyle::PM_IndicatorWidth) + margin;
            for (int c = 0; c < list->columnCount(); ++c) {
                const auto check = [&](const QString& text, const QFontMetrics& metrics, int lead) {
                    if (metrics.horizontalAdvance(text) + margin + lead > list->columnWidth(c))
                        cut(text);
                };
                if (!list->isHeaderHidden())
                    check(list->headerItem()->text(c), list->header()->fontMetrics(), 0);
                for (int r = 0; r < list->topLevelItemCount(); ++r) {
                    // Column 0 also holds the icon and the check box.
                    const QTreeWidgetItem& item = *list->topLevelItem(r);
                    const bool checkable = item.flags() & Qt::ItemIsUserCheckable;
                    const int lead =
                        c == 0 ? list->iconSize().width() + margin + (checkable ? box : 0) : 0;
                    check(item.text(c), list->fontMetrics(), lead);
                }
            }
        } else if (auto* grid = qobject_cast<QTableWidget*>(w)) {
            for (int c = 0; c < grid->columnCount(); ++c) {
                const auto check = [&](const QString& text) {
                    if (grid->fontMetrics().horizontalAdvance(text) + 2 > grid->columnWidth(c))
                        cut(text);
                };
                if (grid->horizontalHeaderItem(c)) check(grid->horizontalHeaderItem(c)->text());
                for (int r = 0; r < grid->rowCount(); ++r)
                    if (grid->item(r, c)) check(grid->item(r, c)->text());
            }
        }
    }
}

// A drawn surface has frames, text and lists: many colours, none filling nearly all of it.
void ExpectDrawn(const QImage& image, const std::string& name) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2) ++counts[image.pixel(x, y)];
    const int samples = ((image.width() + 1) / 2) * ((image.height() + 1) / 2);
    EXPECT_GT(counts.size(), 12) << name;
    EXPECT_LT(*std::max_element(counts.begin(), counts.end()), samples * 97 / 100) << name;
}

// Each tab and each device page, tidy and with every text in full, saved as a picture beside the
// test binary for a person to look at ("gui-tab-<name><suffix>.png").
// Tabs by main and sub tab; device pages by their node in the device tree.
struct Shot {
    int main;
    int sub;
    const char* node;
    const char* name;
};

void CheckTidySurfaceAndScrolling(Language language, const std::string& suffix,
                                  const char* lineFile, const std::vector<Shot>& shots,
                                  int emergencyAt = -1) {
    test::TestContext ctx;
    ctx.messages.SetLanguage(language);
    MemoryRegistry registry;
    ModuleState state;
    StationDocument station = StationDocument::Load(ExamplePath("stations/packed-intel.xml"));
    XmlNode terminal = station.ChooseTerminal();
    // The gear at emergencyAt is an emergency luminaire: its Variables page tells the tree, which
    // then offers its emergency page.
    sim::LineDescription line = sim::LoadLineFile(ExamplePath(lineFile));
    for (sim::GearConfig& gear : line.gear)
        if (emergencyAt >= 0 && gear.shortAddress == emergencyAt) gear.deviceType = 1;
    auto devCom = CreateSimulatedDevCom(ctx.scheduler, terminal, line);
    configZD4270 control(ctx.context, registry, state);
    control.RefreshData(terminal, devCom, StationUserData(terminal));
    MainWindow window(control);
    window.show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(control.cmdScanDevices.Click());
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !control.Scanning(); }, 120'000));

    const fs::path dir = QCoreApplication::applicationDirPath().toStdString();
    std::set<std::string> untidy;
    for (const Shot& shot : shots) {
        control.tabMain.SetTab(shot.main);
        if (shot.main == 1) control.tabAddressing.SetTab(shot.sub);
        if (shot.main == 3) control.tabArchiv.SetTab(shot.sub);
        if (shot.node) {
            ASSERT_TRUE(control.treeDevices.SelectNode(shot.node));
            ctx.scheduler.RunFor(2'000);
        }
        QCoreApplication::processEvents();
        CollectUntidy(window.Surface(), untidy);
        std::set<std::string> clipped;
        CollectClipped(*window.Surface().Widget(), clipped);
        EXPECT_EQ(clipped, std::set<std::string>{}) << shot.name;
        const QImage image = window.grab().toImage();
        image.save(QString::fromStdString(
            (dir / ("gui-tab-" + std::string(shot.name) + suffix + ".png")).string()));
        ExpectDrawn(image, shot.name);
    }
    EXPECT_EQ(untidy, std::set<std::string>{});

    // A small window: the model shows its bars, and the user's scrolling moves the surface.
    window.resize(window.width() / 2, window.height() / 2);
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

// At the window's own face and at one half larger (a larger font, or 150 % dots per inch), in
// English and in German.
TEST(Window, EachTabAndPageDrawsATidySurfaceInEachLanguageAndSizeAndScrollsWhenSmall) {
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSizeF(normal.pointSizeF() * 1.5);
    for (const auto& [font, size] : {std::pair{normal, ""}, std::pair{large, "-large"}}) {
        QApplication::setFont(font);
        for (const Language language : {Language::English, Language::German}) {
            SCOPED_TRACE(std::string(language == Language::German ? "German" : "English") + size);
            CheckTidySurfaceAndScrolling(
                language, (language == Language::German ? "-de" : "") + std::string(size),
                "lines/three-addressed.json",
                {{0, 0, nullptr, "settings"},
                 {1, 0, nullptr, "addressing-physical"},
                 {1, 1, nullptr, "addressing-random"},
                 {1, 2, nullptr, "addressing-single"},
                 {1, 3, nullptr, "addressing-change"},
                 {2, 0, nullptr, "options"},
                 {3, 0, nullptr, "archiv-scenes"},
                 {3, 1, nullptr, "archiv-groups"},
                 {0, 0, "Root", "page-commands"},
                 {0, 0, "05Device", "page-light-control"},
                 {0, 0, "05Variables", "page-variables"},
                 {0, 0, "05Groups", "page-groups"},
                 {0, 0, "05Scenes", "page-scenes"},
                 {0, 0, "05Emergency", "page-emergency"}},
                5);
        }
    }
    QApplication::setFont(normal);
}

// Tunable-white gear: the colour temperature slider on its light control page and the limits on
// its Variables page, tidy in both languages; plain LED gear shows neither.
TEST(Window, ColourTemperaturePartsOfType8GearDrawTidyInEachLanguage) {
    for (const Language language : {Language::English, Language::German}) {
        SCOPED_TRACE(language == Language::German ? "German" : "English");
        CheckTidySurfaceAndScrolling(language, language == Language::German ? "-de" : "",
                                     "lines/tunable-white.json",
                                     {{0, 0, "07Device", "page-colour-light-control"},
                                      {0, 0, "07Variables", "page-colour-variables"},
                                      {0, 0, "10Device", "page-colour-other-type"}});
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
    ASSERT_TRUE(host.Open(test::ExampleConnection("three-addressed.json")));
    // Each language's texts, with a scan under way so that the status bar tells its progress
    // and the bus monitor lists it; a picture of it for a person to look at.
    const auto texts = [&](Language language) {
        MainWindow& window = *host.Window();
        window.Monitor().toggleViewAction()->trigger();
        EXPECT_TRUE(host.Control()->cmdScanDevices.Click());
        ctx.scheduler.RunUntil([&] { return host.Control()->ScanAddress() >= 20; }, 60'000);
        QCoreApplication::processEvents();
        window.Monitor().Refresh();
        const std::string suffix = language == Language::German ? "-de" : "";
        window.grab().save(QCoreApplication::applicationDirPath() + "/gui-window-docks" +
                           QString::fromStdString(suffix) + ".png");
        QStringList all = WindowOwnTexts(window, language);
        all << window.Progress().Text()->WholeText();
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
