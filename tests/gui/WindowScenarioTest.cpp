// The real window on a simulated line, driven the way a user drives it: the Commands page's level
// slider by mouse and keys, and the status bar following a long run.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "documents/StationDocument.h"
#include "engine/BusLog.h"
#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/BusMonitor.h"
#include "gui/ControlBinding.h"
#include "gui/LampWindow.h"
#include "gui/MainWindow.h"
#include "gui/QtDialogs.h"
#include "gui/RunStatus.h"
#include "gui/StatusNote.h"
#include "link/Commands.h"
#include "maintenance/DeviceJson.h"
#include "pages/configZD4270Commands.h"
#include "pages/configZD4270LightControl.h"
#include "platform/Messages.h"
#include "platform/RegistryAccess.h"
#include "sim/LineFile.h"
#include "sim/Terminal.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

using test::ExamplePath;

// The control's own search (firmware before "1M"), which tells how far it has come.
constexpr std::uint16_t kControlSearchFirmware = 0x314C;

class WindowScenario : public ::testing::Test {
  protected:
    void Open(const std::string& lineFile, std::optional<std::uint16_t> firmware = std::nullopt) {
        station = StationDocument::Load(ExamplePath("stations/packed-intel.xml"));
        terminal = station.ChooseTerminal();
        sim::LineDescription line = sim::LoadLineFile(ExamplePath("lines/" + lineFile));
        if (firmware) line.terminal.firmwareVersion = *firmware;
        devCom = CreateSimulatedDevCom(ctx.scheduler, terminal, line);
        control = std::make_unique<configZD4270>(ctx.context, registry, state);
        control->RefreshData(terminal, devCom, StationUserData(terminal));
        window = std::make_unique<MainWindow>(*control);
        window->ShowLine(&devCom->Terminal());
        window->show();
        QCoreApplication::processEvents();
    }
    void TearDown() override {
        if (window) window->close();
        window.reset();
        control.reset();
    }
    template <typename W>
    W* WidgetOf(const Control& model) {
        ControlBinding* binding = window->Surface().Find(model);
        return binding ? qobject_cast<W*>(binding->Widget()) : nullptr;
    }
    // The gear whose tile shows that short address ("--" for none), or -1.
    int GearShowing(const QString& address) const {
        for (const auto& gear : devCom->Terminal().GetLine().Gear())
            if (window->Lamps()->AddressText(gear->Id()) == address) return gear->Id();
        return -1;
    }
    // Clicks a lamp switch ("Out", "In", "Fail") on the gear's tile, as the user does.
    void ClickLampSwitch(int gearId, const QString& text) {
        for (QToolButton* button : window->Lamps()->findChildren<QToolButton*>()) {
            if (button->text() == text && button->parentWidget()->toolTip().startsWith(
                                              QStringLiteral("gear %1;").arg(gearId))) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "no " << text.toStdString() << " switch for gear " << gearId;
    }
    // Saves a picture of the whole window beside the test binary, for a person to look at.
    void SavePicture(const std::string& name) const {
        const fs::path dir = QCoreApplication::applicationDirPath().toStdString();
        window->grab().save(
            QString::fromStdString((dir / ("gui-window-" + name + ".png")).string()));
    }
    // What the status bar showed while a run held the window's thread: its text and bar.
    struct Shown {
        QString text;
        int value;
        std::int64_t atMs;
        double fraction;
    };
    // Chooses an entry of the Archiv tab's Options menu with the mouse, as the user does. A
    // transfer runs to its end inside the choice, letting the window handle its events at each
    // step as the window's clock does; the status bar is read at each second of line time, and
    // pictured at the third where a picture is named.
    std::vector<Shown> ChooseArchivEntry(const QString& caption, const std::string& picture = {}) {
        std::vector<Shown> shown;
        const auto watch = ctx.scheduler.AddTimer([this, &shown, &picture] {
            QCoreApplication::processEvents();
            const RunStatus& status = window->Progress();
            if (!status.Bar()->isVisible()) return;
            shown.push_back({status.Text()->WholeText(), status.Bar()->value(), ctx.scheduler.Now(),
                             ControlProgress(*control).fraction.value_or(0)});
            if (shown.size() == 3 && !picture.empty()) SavePicture(picture);
        });
        ctx.scheduler.SetTimer(watch, 1'000, true);
        QTimer::singleShot(0, [caption] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            ASSERT_NE(menu, nullptr);
            for (QAction* action : menu->actions())
                if (action->text() == caption)
                    QTest::mouseClick(menu, Qt::LeftButton, {},
                                      menu->actionGeometry(action).center());
            if (menu->isVisible()) menu->close();
        });
        QTest::mouseClick(WidgetOf<QPushButton>(control->cmdArchivOptions), Qt::LeftButton);
        ctx.scheduler.RemoveTimer(watch);
        QCoreApplication::processEvents();
        return shown;
    }
    // Line time passes, and the window draws what the control did meanwhile.
    bool RunUntil(const std::function<bool()>& done, std::int64_t limitMs) {
        const bool reached = ctx.scheduler.RunUntil(done, limitMs);
        QCoreApplication::processEvents();
        if (window->Lamps()) window->Lamps()->Refresh();
        return reached;
    }

    test::TestContext ctx;
    MemoryRegistry registry;
    ModuleState state;
    StationDocument station;
    XmlNode terminal;
    std::shared_ptr<SimDevCom> devCom;
    std::unique_ptr<configZD4270> control;
    std::unique_ptr<MainWindow> window;
};

TEST_F(WindowScenario, TheCommandsPageLevelSliderHasFullLevelAtTheTop) {
    Open("three-addressed.json");
    ASSERT_TRUE(control->treeDevices.SelectNode("Root"));
    QCoreApplication::processEvents();
    auto* page = dynamic_cast<configZD4270Commands*>(control->Page(PageKind::Commands));
    ASSERT_NE(page, nullptr);
    auto* slider = WidgetOf<QSlider>(page->sliDALIData);
    ASSERT_TRUE(slider && slider->isVisible());
    ASSERT_EQ(slider->orientation(), Qt::Vertical);
    const auto level = [&] { return std::stoi(page->txtDataDec.Text()); };

    // The thumb sits where the level puts it: a press at the top takes it at level 255 and
    // misses it at level 0.
    const int x = slider->width() / 2;
    for (const char* box : {"255", "0"}) {
        page->txtDataDec.Type(box);
        QCoreApplication::processEvents();
        QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(x, 4));
        EXPECT_EQ(slider->isSliderDown(), std::string(box) == "255") << box;
        QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(x, 4));
    }

    // The keys: Up raises the level, Down lowers it, Home and End go to the lowest and highest.
    page->txtDataDec.Type("100");
    QCoreApplication::processEvents();
    slider->setFocus();
    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_Up, 101}, {Qt::Key_Down, 100}, {Qt::Key_Home, 0}, {Qt::Key_End, 255}};
    for (const auto& [key, expected] : keys) {
        QTest::keyClick(slider, key);
        EXPECT_EQ(level(), expected) << QTest::toString(key);
    }

    // Dragging the thumb up raises the level as it moves, and the release keeps it.
    page->txtDataDec.Type("0");
    QCoreApplication::processEvents();
    const QPoint bottom(slider->width() / 2, slider->height() - 6);
    QTest::mousePress(slider, Qt::LeftButton, {}, bottom);
    QTest::mouseMove(slider, QPoint(bottom.x(), slider->height() / 2));
    const int halfway = level();
    EXPECT_GT(halfway, 60);
    EXPECT_LT(halfway, 200);
    QTest::mouseMove(slider, QPoint(bottom.x(), 2));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(bottom.x(), 2));
    EXPECT_GT(level(), halfway);
    EXPECT_EQ(page->sliDALIData.Value(), 255 - level());
}

TEST_F(WindowScenario, RandomAddressingShowsItsProgressAndCancelsFromTheStatusBar) {
    Open("sixteen-unaddressed.json", kControlSearchFirmware);
    RunStatus& status = window->Progress();
    EXPECT_FALSE(status.Bar()->isVisible());

    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    QCoreApplication::processEvents();
    ASSERT_TRUE(status.Bar()->isVisible());
    EXPECT_TRUE(status.CancelButton()->isVisible());
    EXPECT_TRUE(status.Text()->text().startsWith("random addressing"))
        << status.Text()->text().toStdString();

    // The bar and the count of addressed gear advance as the search finds them, and an estimate
    // of the time left appears once part of the run lies behind.
    int lastValue = status.Bar()->value();
    for (int found : {2, 5, 9}) {
        ASSERT_TRUE(
            RunUntil([&] { return control->lstRndAddrView.ItemCount() >= found; }, 900'000));
        EXPECT_GT(status.Bar()->value(), lastValue) << found;
        lastValue = status.Bar()->value();
        const std::string text = status.Text()->WholeText().toStdString();
        EXPECT_NE(text.find(std::to_string(found) + " addressed"), std::string::npos) << text;
        EXPECT_NE(text.find(" left"), std::string::npos) << text;
    }

    // Cancel in the status bar ends the run as the tab's own button does.
    QTest::mouseClick(status.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(control->RndAddrRunning());
    EXPECT_FALSE(status.Bar()->isVisible());
    EXPECT_FALSE(status.CancelButton()->isVisible());
}

// The terminal's own search tells nothing until it is done: the status bar says what runs, for
// how long and about how long it takes for the gear the list knew, that it cannot be stopped,
// and the tree is filled by a scan once it has ended. In both languages, pictured.
TEST_F(WindowScenario, TheTerminalsOwnSearchShowsItsEstimateAndIsScannedAfterwards) {
    for (const Language language : {Language::English, Language::German}) {
        ctx.messages.SetLanguage(language);
        Open("sixteen-unaddressed.json");
        // The gear as an earlier run left them in the list.
        for (std::int16_t address = 0; address < 16; ++address) {
            clsDevice device;
            device.m_nShortAddress = device.m_nNewShortAddress = address;
            state.devices->Add(device);
        }
        const std::int64_t begin = ctx.scheduler.Now();
        ctx.dialogs.boxes.clear();
        ASSERT_TRUE(control->cmdRndAddrStart.Click());
        // The window's clock lets the status bar see the start, as the click's own events do.
        QCoreApplication::processEvents();
        // The question before the start (a new installation), as the window's box shows it.
        ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
        QTimer::singleShot(0, [language] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            box->grab().save(QCoreApplication::applicationDirPath() + "/gui-question-wipe-" +
                             (language == Language::German ? "de" : "en") + ".png");
            // The answers in the box's language.
            const bool german = language == Language::German;
            EXPECT_EQ(box->button(QMessageBox::Yes)->text(), german ? "&Ja" : "&Yes");
            EXPECT_EQ(box->button(QMessageBox::No)->text(), german ? "&Nein" : "&No");
            box->button(QMessageBox::No)->click();
        });
        QtDialogs boxes(window.get());
        boxes.SetMessages(&ctx.messages);
        EXPECT_EQ(boxes.MessageBox(ctx.dialogs.boxes[0]), MsgResult::No);
        ASSERT_TRUE(RunUntil([&] { return ctx.scheduler.Now() > begin + 10'000; }, 20'000));
        // The status bar's own tick, which runs on the window's clock.
        window->Progress().Update();
        const RunStatus& status = window->Progress();
        const std::string text = status.Text()->WholeText().toStdString();
        const bool english = language == Language::English;
        EXPECT_EQ(text.rfind(english ? "random addressing" : "zufällige Adressierung", 0), 0u)
            << text;
        EXPECT_NE(text.find(english ? " for 16 gear, " : " für 16 Geräte, "), std::string::npos)
            << text;
        EXPECT_NE(text.find(english ? " left (" : "noch etwa "), std::string::npos) << text;
        EXPECT_GT(status.Bar()->maximum(), 0);
        EXPECT_GT(status.Bar()->value(), 0);
        EXPECT_FALSE(status.CancelButton()->isVisible());
        EXPECT_TRUE(status.NoCancel()->isVisible());
        SavePicture(english ? "terminal-addressing-en" : "terminal-addressing-de");

        ASSERT_TRUE(RunUntil([&] { return !control->RndAddrRunning(); }, 600'000));
        ASSERT_TRUE(RunUntil([&] { return control->Scanning(); }, 5'000));
        ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 600'000));
        EXPECT_EQ(state.devices->Count(), 16u);
        EXPECT_FALSE(status.NoCancel()->isVisible());
        TearDown();
    }
}

// On the messy example line the run tells what it got over: in the status bar while it runs and
// once it is over.
TEST_F(WindowScenario, AMessyLineTellsWhatWasRecoveredInTheStatusBar) {
    Open("messy-site.json");
    ASSERT_TRUE(control->cmdRndAddrStart.Click());
    ASSERT_TRUE(RunUntil([&] { return !control->Recovered().empty(); }, 3'600'000));
    QCoreApplication::processEvents();
    const std::string during = window->Progress().Text()->WholeText().toStdString();
    EXPECT_NE(during.find(" recovered"), std::string::npos) << during;
    ASSERT_TRUE(RunUntil([&] { return !control->RndAddrRunning(); }, 3'600'000));
    QCoreApplication::processEvents();
    const std::string after = window->Progress().Text()->WholeText().toStdString();
    EXPECT_EQ(after.rfind("Recovered on the line: ", 0), 0u) << after;
    EXPECT_NE(after.find("several gear took address"), std::string::npos) << after;
    // Every kind of recovery the run met has its own German wording, addresses filled in.
    for (const AddressingRecovery& r : control->Recovered()) {
        const std::string german = RecoveryText(Language::German, r);
        EXPECT_NE(german, r.text);
        EXPECT_EQ(german.find('%'), std::string::npos) << german;
    }
}

// Records what a widget paints and which posted input reaches it.
class PaintRecorder : public QObject {
  public:
    explicit PaintRecorder(QLabel& label) : m_label(label) { label.installEventFilter(this); }
    std::vector<QString> painted;
    int keys = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) painted.push_back(m_label.text());
        if (event->type() == QEvent::KeyPress) ++keys;
        return false;
    }

  private:
    QLabel& m_label;
};

TEST_F(WindowScenario, APageReadAdvancesTheStatusBarWithoutTheEventLoop) {
    Open("three-addressed.json");
    ASSERT_TRUE(control->cmdScanDevices.Click());
    ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 120'000));
    RunStatus& status = window->Progress();
    PaintRecorder recorder(*status.Text());
    // A key the user pressed before the page opened waits until the read is over.
    QCoreApplication::postEvent(status.Text(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier));

    // A fieldbus as slow as a real one, where the read takes seconds.
    devCom->Terminal().SetTakeOverDelay(100);

    // The test's scheduler runs no Qt events: what is painted, the status bar painted itself.
    ASSERT_TRUE(control->treeDevices.SelectNode("05Variables"));
    EXPECT_EQ(recorder.keys, 0);
    std::vector<int> steps;
    bool estimated = false;
    for (const QString& text : recorder.painted) {
        const QStringList words = text.split(' ');
        if (words.size() < 3 || !text.startsWith("reading variables: ")) continue;
        steps.push_back(words[2].toInt());
        estimated = estimated || text.contains(" left");
    }
    EXPECT_GE(std::set<int>(steps.begin(), steps.end()).size(), 12u);
    EXPECT_TRUE(std::is_sorted(steps.begin(), steps.end()));
    EXPECT_TRUE(estimated);
    // A read cannot be cancelled.
    EXPECT_FALSE(status.CancelButton()->isVisible());
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.keys, 1);
    EXPECT_FALSE(status.Bar()->isVisible());
}

TEST_F(WindowScenario, TheBusMonitorShowsAScanAsItHappensAndOnlyWhileShown) {
    Open("three-addressed.json");
    BusMonitor& monitor = window->Monitor();
    const auto rows = [&] { return monitor.Table()->model()->rowCount(); };
    const auto cell = [&](int row, int column) {
        return monitor.Table()->model()->index(row, column).data().toString().toStdString();
    };
    const auto scan = [&] {
        ASSERT_TRUE(control->cmdScanDevices.Click());
        ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 120'000));
        monitor.Refresh();
    };

    // Hidden, it records nothing.
    scan();
    EXPECT_TRUE(monitor.Log().Entries().empty());

    // Opened from the View menu, as the user does.
    QAction* open = monitor.toggleViewAction();
    open->trigger();
    QCoreApplication::processEvents();
    ASSERT_TRUE(monitor.isVisible());
    ASSERT_TRUE(control->cmdScanDevices.Click());
    ASSERT_TRUE(RunUntil([&] { return control->ScanAddress() >= 8; }, 60'000));
    // The rows appear while the scan still runs.
    monitor.Refresh();
    EXPECT_TRUE(control->Scanning());
    EXPECT_GE(rows(), 8);
    ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 120'000));
    monitor.Refresh();

    SavePicture("bus-monitor");

    // Filters: one address; no queries at all.
    monitor.AddressFilter()->setCurrentText("A5");
    ASSERT_GE(rows(), 1);
    for (int r = 0; r < rows(); ++r) EXPECT_EQ(cell(r, 1), "A5");
    monitor.AddressFilter()->setCurrentIndex(0);
    monitor.KindFilter(static_cast<int>(BusKind::Query))->setChecked(false);
    for (int r = 0; r < rows(); ++r) EXPECT_NE(cell(r, 2).rfind("query", 0), 0u) << cell(r, 2);
    monitor.KindFilter(static_cast<int>(BusKind::Query))->setChecked(true);

    // The export holds the rows shown, under a header.
    QTemporaryDir dir;
    const QString path = dir.filePath("bus.csv");
    ASSERT_TRUE(monitor.ExportCsv(path));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().count("\r\n"), rows() + 1);

    // Paused, nothing more is recorded; cleared, nothing is left.
    const std::size_t recorded = monitor.Log().Entries().size();
    monitor.PauseBox()->setChecked(true);
    scan();
    EXPECT_EQ(monitor.Log().Entries().size(), recorded);
    monitor.PauseBox()->setChecked(false);
    for (QPushButton* button : monitor.findChildren<QPushButton*>())
        if (button->text() == "Clear") QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(rows(), 0);
}

TEST_F(WindowScenario, TheLampTileFollowsTheLightControlSlider) {
    Open("three-addressed.json");
    ASSERT_TRUE(control->cmdScanDevices.Click());
    ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 120'000));
    ASSERT_TRUE(control->treeDevices.SelectNode("05Device"));
    QCoreApplication::processEvents();
    auto* page = dynamic_cast<configZD4270LightControl*>(control->Page(PageKind::LightControl));
    ASSERT_NE(page, nullptr);
    auto* slider = WidgetOf<QSlider>(page->sliLightLevel);
    ASSERT_TRUE(slider && slider->isVisible());
    const int gear = GearShowing("5");
    ASSERT_GE(gear, 0);

    // Each move of the slider reaches the lamp, and its tile shows the level the gear is at.
    slider->setFocus();
    for (const auto& [key, presses] : {std::pair{Qt::Key_PageUp, 4}, std::pair{Qt::Key_Left, 7}}) {
        for (int i = 0; i < presses; ++i) QTest::keyClick(slider, key);
        RunUntil([] { return false; }, 1'000);
        EXPECT_EQ(window->Lamps()->LevelText(gear).toInt(), devCom->Terminal().GearLevel(gear));
    }
    SavePicture("light-control");
}

TEST_F(WindowScenario, PhysicalSelectionByPullingALampInTheDock) {
    Open("sixteen-unaddressed.json");
    control->tabMain.SetTab(1);
    control->tabAddressing.SetTab(0);
    control->cboPhySelStartAddress.SetListIndex(10);
    ASSERT_TRUE(control->cmdPhySelStart.Click());
    ASSERT_TRUE(control->PhySelRunning());
    const std::string waitingForRemoval = ctx.messages.Load(5081) + "...";
    const std::string waitingForReinsertion = ctx.messages.Load(5082) + "...";
    const auto status = [&] { return control->lblPhySelStatus.Caption(); };

    // The lamp pulled out in the dock is found and takes the start address, which its tile
    // shows while the lamp is still out.
    ASSERT_TRUE(RunUntil([&] { return status() == waitingForRemoval; }, 60'000)) << status();
    const int gear = GearShowing("--");
    ASSERT_GE(gear, 0);
    ClickLampSwitch(gear, "Out");
    ASSERT_TRUE(RunUntil([&] { return status() == waitingForReinsertion; }, 60'000)) << status();
    ASSERT_TRUE(RunUntil(
        [&] {
            window->Lamps()->Refresh();
            return window->Lamps()->AddressText(gear) == "10";
        },
        60'000));
    ClickLampSwitch(gear, "In");
    ASSERT_TRUE(RunUntil([&] { return control->lstPhySelView.ItemCount() == 1; }, 60'000));
    SavePicture("physical-selection");
    ASSERT_TRUE(control->cmdPhySelStart.Click());
}

TEST_F(WindowScenario, TheArchiveTakesGroupsAndScenesToAFileAndBackIntoTheGear) {
    Open("three-addressed.json");
    control->tabMain.SetTab(3);
    QCoreApplication::processEvents();
    using Settings = std::vector<std::pair<std::uint16_t, std::vector<int>>>;
    const auto lineSettings = [&] {
        Settings settings;
        for (const auto& gear : devCom->Terminal().GetLine().Gear()) {
            std::vector<int> scenes;
            for (int scene = 0; scene < 16; ++scene) scenes.push_back(gear->SceneLevel(scene));
            settings.emplace_back(gear->Groups(), scenes);
        }
        return settings;
    };
    const Settings before = lineSettings();
    // With the devices known, the estimate weighs the addresses with gear, which cost a transfer
    // many transactions, against the empty ones, which cost one.
    ASSERT_TRUE(control->cmdScanDevices.Click());
    ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 120'000));
    // The status bar follows a transfer as it runs, with an estimate, and lets go at its end.
    const auto expectProgress = [&](const std::vector<Shown>& shown, const char* transfer) {
        SCOPED_TRACE(transfer);
        ASSERT_GE(shown.size(), 3u);
        // Once a fifth is done, the time the estimate gives the whole transfer is within a
        // fifth of the time it takes.
        const std::int64_t beginMs = shown.front().atMs - 1'000;
        const double took = static_cast<double>(ctx.scheduler.Now() - beginMs);
        for (const Shown& s : shown) {
            if (s.fraction < 0.2) continue;
            const double estimated = static_cast<double>(s.atMs - beginMs) / s.fraction;
            EXPECT_NEAR(estimated / took, 1.0, 0.2) << s.text.toStdString();
        }
        bool estimated = false;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            EXPECT_TRUE(shown[i].text.startsWith(transfer)) << shown[i].text.toStdString();
            if (i > 0) {
                EXPECT_GE(shown[i].value, shown[i - 1].value) << i;
            }
            estimated = estimated || shown[i].text.contains(" left");
        }
        EXPECT_TRUE(estimated);
        EXPECT_GT(shown.back().value, shown.front().value + 500);
        EXPECT_FALSE(window->Progress().Bar()->isVisible());
        EXPECT_TRUE(window->Progress().Text()->text().isEmpty());
    };

    expectProgress(ChooseArchivEntry("Upload", "archive-uploading"), "archive upload");
    SavePicture("archive-upload");
    QTemporaryDir dir;
    const std::string file = dir.filePath("archive.xml").toStdString();
    ctx.dialogs.paths = {file};
    ChooseArchivEntry("Save");
    ASSERT_TRUE(fs::exists(file));

    // Gear 5 leaves group 3 and gear 0 takes another level for scene 1 on the line.
    const auto send = [&](std::int16_t command, std::uint8_t data, std::int16_t address) {
        AddressKind type = AddressKind::Short;
        control->TerminalLink().SendDALICommand(command, data, type, address, nullptr);
    };
    send(kCmdRemoveFromGroup, 3, 5);
    send(kCmdDataTransferRegister, 50, 0);
    send(kCmdStoreDtrAsScene, 1, 0);
    ASSERT_NE(lineSettings(), before);
    // Empty grids, as in a later session: what the download writes comes from the file.
    control->CreateScenesView();
    control->CreateGroupsView();

    ctx.dialogs.paths = {file};
    ChooseArchivEntry("Open");
    expectProgress(ChooseArchivEntry("Download", "archive-downloading"), "archive download");
    EXPECT_EQ(lineSettings(), before);
    // Gear 63 is in no group and no scene, so the file has no element for it: the download
    // asked first (and was answered Yes) before it wrote the address empty.
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text,
              "1 device(s) that the archive does not list lose their groups and scenes: 63.\r\n"
              "Download the archive into the devices?");
}

TEST_F(WindowScenario, TheKeyboardReachesEveryControlOfEachTab) {
    Open("three-addressed.json");
    ASSERT_TRUE(control->cmdScanDevices.Click());
    ASSERT_TRUE(RunUntil([&] { return !control->Scanning(); }, 120'000));
    ASSERT_TRUE(control->treeDevices.SelectNode("05Device"));
    QCoreApplication::processEvents();
    QWidget* surface = window->Surface().Widget();
    const std::pair<int, int> tabs[] = {{0, 0}, {1, 0}, {1, 1}, {1, 2}, {1, 3}, {2, 0}, {3, 0}};
    for (const auto& [main, sub] : tabs) {
        control->tabMain.SetTab(main);
        if (main == 1) control->tabAddressing.SetTab(sub);
        QCoreApplication::processEvents();
        std::set<QWidget*> wanted;
        for (QWidget* w : surface->findChildren<QWidget*>())
            if (w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) &&
                !w->focusProxy() && !qobject_cast<QScrollBar*>(w))
                wanted.insert(w);
        ASSERT_FALSE(wanted.empty());
        (*wanted.begin())->setFocus(Qt::TabFocusReason);
        std::set<QWidget*> reached;
        for (std::size_t i = 0; i < 3 * wanted.size() + 10; ++i) {
            reached.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        for (QWidget* w : wanted)
            EXPECT_TRUE(reached.count(w))
                << main << "/" << sub << ": " << w->metaObject()->className() << " "
                << w->objectName().toStdString();
    }
}

}  // namespace
}  // namespace zd
