// Choosing what the window talks to: another simulated line ends the old control (its device list
// goes to the store) and starts a fresh one with its own lamps; a snapshot of the line continues
// where it was; no switch while a procedure runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/LampWindow.h"
#include "gui/MainWindow.h"
#include "gui/StatusNote.h"
#include "gui/WindowHost.h"
#include "link/Commands.h"
#include "platform/RegistryAccess.h"
#include "sim/Terminal.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

namespace fs = std::filesystem;

using test::ExamplePath;

TEST(WindowHostTest, SwitchingLinesEndsTheOldControlAndASnapshotContinuesTheLine) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    const ConnectionTarget three = test::ExampleConnection("three-addressed.json");
    ASSERT_TRUE(host.Open(three));
    const auto scan = [&] {
        ASSERT_TRUE(host.Control()->cmdScanDevices.Click());
        ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));
    };
    scan();
    // The title names the terminal and the line it shows.
    for (const char* part : {"Pos 1", "three-addressed.json"})
        EXPECT_NE(host.Window()->windowTitle().indexOf(part), -1)
            << host.Window()->windowTitle().toStdString();

    // Refused while the scan runs: the control stays as it is.
    configZD4270* before = host.Control();
    ASSERT_TRUE(before->cmdScanDevices.Click());
    ConnectionTarget sixteen = three;
    sixteen.lineFile = ExamplePath("lines/sixteen-unaddressed.json");
    EXPECT_FALSE(host.Switch(sixteen));
    EXPECT_EQ(host.Control(), before);
    EXPECT_EQ(ctx.dialogs.boxes.size(), 1u);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));

    // The old control ends as the tool ends it: its device list is in the store.
    registry.values.clear();
    ASSERT_TRUE(host.Switch(sixteen));
    EXPECT_GE(std::count_if(registry.values.begin(), registry.values.end(),
                            [](const auto& v) {
                                return std::get<1>(v.first).find("Terminal_") != std::string::npos;
                            }),
              3);
    EXPECT_EQ(host.Simulated()->Terminal().GetLine().Gear().size(), 16u);
    // The tree shows the three devices the store keeps for the position, over sixteen new gear:
    // the status bar says where the list comes from and offers a scan, which the note leaves to.
    auto* note = host.Window()->statusBar()->findChild<QLabel*>("storedListNote");
    ASSERT_NE(note, nullptr);
    EXPECT_NE(note->text().indexOf("The 3 devices in the tree come from the store"), -1)
        << note->text().toStdString();
    host.Window()->statusBar()->findChild<QPushButton*>("storedListScan")->click();
    EXPECT_TRUE(host.Control()->Scanning());
    QCoreApplication::processEvents();
    EXPECT_EQ(host.Window()->statusBar()->findChild<QLabel*>("storedListNote"), nullptr);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));
    EXPECT_EQ(registry.values.count({RegistryAccess::kHkeyCurrentUser,
                                     "Software\\zd4270\\Connection", "LastScanPos1"}),
              1u);
    QCoreApplication::processEvents();
    host.Window()->Lamps()->Refresh();
    const int firstGear = host.Simulated()->Terminal().GetLine().Gear().front()->Id();
    EXPECT_EQ(host.Window()->Lamps()->AddressText(firstGear), "--");

    // A line that cannot be read leaves the current one in place.
    ConnectionTarget missing = three;
    missing.lineFile = ExamplePath("lines/no-such-line.json");
    SimDevCom* current = host.Simulated();
    ctx.dialogs.boxes.clear();
    EXPECT_FALSE(host.Switch(missing));
    EXPECT_EQ(host.Simulated(), current);
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_NE(ctx.dialogs.boxes[0].text.find("no-such-line.json"), std::string::npos)
        << ctx.dialogs.boxes[0].text;

    // Light the line, save it as it is now, and start again from the snapshot.
    std::uint8_t level = 200;
    std::int16_t command = kCmdDirectArcPower, address = 0;
    AddressKind type = AddressKind::Broadcast;
    host.Control()->TerminalLink().SendDALICommand(command, level, type, address, nullptr);
    ctx.scheduler.RunFor(5'000);
    QTemporaryDir dir;
    const std::string snapshot = dir.filePath("now.json").toStdString();
    host.SaveLineSnapshot(snapshot);
    ConnectionTarget again = sixteen;
    again.lineFile = snapshot;
    ASSERT_TRUE(host.Switch(again));
    EXPECT_EQ(host.Simulated()->Terminal().GearLevel(firstGear), 200);

    // Another language: the control starts again in it, on the line as it is, keeping its devices.
    scan();
    level = 120;
    host.Control()->TerminalLink().SendDALICommand(command, level, type, address, nullptr);
    ctx.scheduler.RunFor(5'000);
    const std::size_t devices = host.Control()->treeDevices.Nodes().size();
    ASSERT_TRUE(host.SetLanguage(Language::German));
    EXPECT_EQ(host.Control()->cmdScanDevices.Caption(), ctx.messages.Load(5071, Language::German));
    EXPECT_EQ(host.Control()->treeDevices.Nodes().size(), devices);
    EXPECT_EQ(host.Simulated()->Terminal().GearLevel(firstGear), 120);

    // The language chosen is the next start's, and the host's own boxes follow it.
    test::TestContext next;
    WindowHost later(next.context, registry, nullptr, &next.messages);
    later.UseRememberedLanguage();
    EXPECT_EQ(next.messages.GetLanguage(), Language::German);
    ConnectionTarget unreachable = three;
    unreachable.modbus = "127.0.0.1:1";
    EXPECT_FALSE(later.Open(unreachable));
    ASSERT_EQ(next.dialogs.boxes.size(), 1u);
    EXPECT_NE(next.dialogs.boxes[0].text.find("Verbindung abgelehnt"), std::string::npos)
        << next.dialogs.boxes[0].text;
}

// The store's note in a narrow window, in German with its long words: it ends at a whole word
// with an ellipsis, and its tooltip and a click on it show it whole.
TEST(WindowHostTest, ALongStatusNoteEndsAtAWordAndAClickShowsItWhole) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    const ConnectionTarget three = test::ExampleConnection("three-addressed.json");
    ASSERT_TRUE(host.Open(three));
    ASSERT_TRUE(host.Control()->cmdScanDevices.Click());
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));
    // Opened again, the tree shows the list the store kept, last scanned a moment ago.
    ASSERT_TRUE(host.Switch(three));
    ASSERT_TRUE(host.SetLanguage(Language::German));
    for (const int width : {1000, 560, 330}) {
        host.Window()->resize(width, host.Window()->height());
        QCoreApplication::processEvents();
        auto* note = host.Window()->statusBar()->findChild<StatusNote*>("storedListNote");
        ASSERT_NE(note, nullptr);
        const QString whole = note->WholeText();
        EXPECT_TRUE(
            whole.startsWith(QStringLiteral("Die 3 Geräte im Baum stammen aus der Ablage, "
                                            "zuletzt gesucht ")))
            << whole.toStdString();
        EXPECT_EQ(note->toolTip(), whole);
        const QString shown = note->text();
        EXPECT_LE(note->fontMetrics().horizontalAdvance(shown), note->contentsRect().width());
        if (note->Shortened()) {
            ASSERT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
            const QString head = shown.chopped(1);
            EXPECT_TRUE(whole.startsWith(head)) << shown.toStdString();
            EXPECT_TRUE(QStringLiteral(" ,;:").contains(whole.at(head.size())))
                << shown.toStdString();
        }
        host.Window()->grab().save(QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/gui-status-note-de-%1.png").arg(width));
        if (width == 330) {
            EXPECT_TRUE(note->Shortened());
            QTest::mouseClick(note, Qt::LeftButton);
            auto* popup = note->findChild<QLabel*>("statusNoteWhole");
            ASSERT_NE(popup, nullptr);
            EXPECT_TRUE(popup->isVisible());
            EXPECT_EQ(popup->text(), whole);
            popup->grab().save(QCoreApplication::applicationDirPath() +
                               "/gui-status-note-whole-de.png");
            popup->hide();
            // A passing message of the bar's own ends at a word too, and its tooltip holds it.
            const QString report = QStringLiteral(
                "Bericht gespeichert in /home/anwender/Berichte/"
                "Gebäude 7/Linie 12/Übergabe.pdf");
            host.Window()->statusBar()->showMessage(report);
            EXPECT_EQ(host.Window()->statusBar()->toolTip(), report);
            host.Window()->grab().save(QCoreApplication::applicationDirPath() +
                                       "/gui-status-message-de-330.png");
            host.Window()->statusBar()->clearMessage();
        }
    }
    // "… zuletzt gesucht 2026-12-06 10:20: an der …" never ends in what reads as a time.
    const QFontMetrics metrics(QApplication::font());
    const QString note = QStringLiteral("zuletzt gesucht 2026-12-06 10:20: an der Linie");
    const int upToColon =
        metrics.horizontalAdvance(QStringLiteral("zuletzt gesucht 2026-12-06 10:20:\u2026"));
    EXPECT_EQ(ShortenAtWord(metrics, note, upToColon),
              QStringLiteral("zuletzt gesucht 2026-12-06 10:20\u2026"));
    EXPECT_EQ(ShortenAtWord(metrics, note, metrics.horizontalAdvance(QStringLiteral("zu"))),
              QString(QChar(0x2026)));
}

// Closing the window ends the control: while a procedure or the window's report runs, the close
// is refused with a box (for a procedure that can be cancelled: the user declines to cancel it)
// and the run goes on to its end; then the window closes. A transfer and
// the report hold the window's thread, so the close arrives inside them, as the window's clock
// lets events in.
TEST(WindowHostTest, TheWindowStaysOpenUntilTheRunningProcedureIsOver) {
    QTemporaryDir dir;
    const std::string report = dir.filePath("report.csv").toStdString();
    const struct {
        const char* run;
        const char* line;
        std::function<void(WindowHost&)> start;
        std::function<bool(const WindowHost&)> done;
    } runs[] = {
        {"scan", "three-addressed.json",
         [](WindowHost& host) { host.Control()->cmdScanDevices.Click(); },
         [](const WindowHost& host) { return host.Control()->treeDevices.Nodes().size() > 4; }},
        {"archive upload", "three-addressed.json",
         [](WindowHost& host) {
             host.Control()->mnuArchivOptions.ClickEntry("mnuArchivOptionsUpload");
         },
         [](const WindowHost& host) {
             return host.Control()->gridScenes.TextMatrix(1, 1) == "200";
         }},
        {"report", "three-addressed.json",
         [&report](WindowHost& host) { host.ExportReport(report, ReportFormat::Csv); },
         [&report](const WindowHost&) { return std::filesystem::exists(report); }},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.run);
        test::TestContext ctx;
        MemoryRegistry registry;
        WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
        ASSERT_TRUE(host.Open(test::ExampleConnection(r.line)));
        ctx.dialogs.answers = {MsgResult::No};
        const auto running = [&] {
            return host.Reporting() || !ControlProgress(*host.Control()).what.empty();
        };
        // The user closes the window two seconds into the run.
        bool closedWhileRunning = false;
        Scheduler::TimerId closer = 0;
        closer = ctx.scheduler.AddTimer([&] {
            ctx.scheduler.SetTimer(closer, 0, false);
            EXPECT_TRUE(running());
            QTimer::singleShot(0, host.Window(), &QWidget::close);
            QCoreApplication::processEvents();
            closedWhileRunning = !host.Window()->isVisible();
        });
        ctx.scheduler.SetTimer(closer, 2'000, true);
        r.start(host);
        ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !running(); }, 3'600'000));
        EXPECT_FALSE(closedWhileRunning);
        EXPECT_TRUE(r.done(host));
        // The refusal, and then what the run itself says at its end.
        ASSERT_FALSE(ctx.dialogs.boxes.empty());
        EXPECT_EQ(ctx.dialogs.boxes.front().text,
                  std::string(r.run) == "scan" ? "scan is running. Cancel it and close the window?"
                                               : "Finish or cancel the running procedure first.");
        EXPECT_TRUE(host.Window()->close());
    }
}

// Asked during a scan, the user cancels it: the scan ends as Cancel ends it, and then the window
// closes by itself.
TEST(WindowHostTest, ClosingDuringARunOffersToCancelIt) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    ASSERT_TRUE(host.Open(test::ExampleConnection("three-addressed.json")));
    host.Control()->cmdScanDevices.Click();
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return ctx.scheduler.Now() >= 500; }, 1'000));
    ASSERT_FALSE(ControlProgress(*host.Control()).what.empty());
    EXPECT_FALSE(host.Window()->close());
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes[0].buttons, MsgButtons::YesNo);
    const std::int64_t asked = ctx.scheduler.Now();
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Window()->isVisible(); }, 60'000));
    EXPECT_TRUE(ControlProgress(*host.Control()).what.empty());
    // A whole scan of 64 addresses takes several seconds more.
    EXPECT_LT(ctx.scheduler.Now() - asked, 2'000);
}

}  // namespace
}  // namespace zd
