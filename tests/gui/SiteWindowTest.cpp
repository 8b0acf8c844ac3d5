// The naming round in the window on the simulated line, in both languages: each unnamed device
// shows itself, its name and room are typed into the luminaire bar, and on to the next; the tree
// shows the names. A second identify while one runs is refused with a box. Pictures of the round
// go beside the test binary for a person to look at.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "engine/SiteFile.h"
#include "frame/configZD4270.h"
#include "gui/LuminaireDock.h"
#include "gui/MainWindow.h"
#include "gui/WindowHost.h"
#include "platform/RegistryAccess.h"
#include "sim/Terminal.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

QStringList DeviceNodeTexts(QMainWindow* window) {
    QStringList texts;
    auto* tree = window->findChild<QTreeWidget*>(QStringLiteral("treeDevices"));
    if (!tree || !tree->topLevelItem(0)) return texts;
    for (int i = 0; i < tree->topLevelItem(0)->childCount(); ++i)
        texts << tree->topLevelItem(0)->child(i)->text(0);
    return texts;
}

// The frames RECALL MAX LEVEL and RECALL MIN LEVEL to a short address that went over the line.
int Flashes(sim::Terminal& terminal, int address) {
    int count = 0;
    for (const sim::SentFrame& frame : terminal.FrameLog()) {
        const int head = (address << 9) | 0x100;
        if (frame.frame == (head | 5) || frame.frame == (head | 6)) ++count;
    }
    return count;
}

TEST(SiteWindowTest, TheNamingRoundShowsEachDeviceNamesItAndGoesOnInBothLanguages) {
    for (const Language language : {Language::English, Language::German}) {
        SCOPED_TRACE(language == Language::German ? "de" : "en");
        test::TestContext ctx;
        MemoryRegistry registry;
        WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
        QTemporaryDir dir;
        ConnectionTarget connection = test::ExampleConnection("three-addressed.json");
        connection.siteFile = dir.filePath("site.json").toStdString();
        ASSERT_TRUE(host.Open(connection));
        if (language != ctx.messages.GetLanguage()) {
            ASSERT_TRUE(host.SetLanguage(language));
        }
        host.StartNamingRound();
        EXPECT_FALSE(host.NamingRound());
        ASSERT_TRUE(host.Control()->cmdScanDevices.Click());
        ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));
        sim::Terminal& terminal = host.Simulated()->Terminal();
        terminal.SetFrameLog(true);
        ASSERT_TRUE(host.NameDevice(5, "door", "1.02", "", ""));

        host.StartNamingRound();
        QCoreApplication::processEvents();
        LuminaireDock* dock = host.Luminaire();
        ASSERT_NE(dock, nullptr);
        EXPECT_TRUE(dock->isVisible());
        const auto* device = dock->findChild<QLabel*>(QStringLiteral("lblLuminaireDevice"));
        EXPECT_EQ(device->text(), language == Language::English ? QStringLiteral("Device #00")
                                                                : QStringLiteral("Gerät #00"));
        // Device 0 flashed, and is back at its level; the named 5 is passed over.
        EXPECT_GT(Flashes(terminal, 0), 4);
        EXPECT_EQ(terminal.GetLine().Gear()[0]->LevelAt(ctx.scheduler.Now() * 1000), 254);

        dock->findChild<QLineEdit*>(QStringLiteral("txtLuminaireName"))->setText("desk left");
        dock->findChild<QLineEdit*>(QStringLiteral("txtLuminaireRoom"))->setText("2.14");
        dock->findChild<QPushButton*>(QStringLiteral("cmdLuminaireNext"))->click();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(device->text().right(3), QStringLiteral("#63"));
        EXPECT_GT(Flashes(terminal, 63), 4);
        dock->findChild<QLineEdit*>(QStringLiteral("txtLuminaireName"))->setText("stairs");
        host.Window()->grab().save(QCoreApplication::applicationDirPath() + "/gui-naming-round-" +
                                   (language == Language::German ? "de" : "en") + ".png");
        dock->findChild<QPushButton*>(QStringLiteral("cmdLuminaireSkip"))->click();
        QCoreApplication::processEvents();
        EXPECT_FALSE(host.NamingRound());
        EXPECT_EQ(ctx.dialogs.boxes.back().text,
                  language == Language::English
                      ? "The naming round is over: every device was offered."
                      : "Der Benennungsrundgang ist beendet: jedes Gerät kam an die Reihe.");

        const SiteFile site = LoadSiteFile(connection.siteFile);
        ASSERT_EQ(site.luminaires.size(), 2u);
        EXPECT_EQ(site.Find(1, 0)->name, "desk left");
        EXPECT_EQ(site.Find(1, 0)->randomAddress, 0x0A0B0Cu);
        EXPECT_EQ(site.Find(1, 63), nullptr);
        QCoreApplication::processEvents();
        const QStringList nodes = DeviceNodeTexts(host.Window());
        ASSERT_EQ(nodes.size(), 3);
        EXPECT_TRUE(nodes[0].endsWith(QStringLiteral("#00 \u2013 desk left (2.14)")))
            << nodes[0].toStdString();
        EXPECT_TRUE(nodes[1].endsWith(QStringLiteral("#05 \u2013 door (1.02)")));
        EXPECT_TRUE(nodes[2].endsWith(QStringLiteral("#63")));

        // The window's report and backup carry the names too.
        const std::string report = dir.filePath("report.html").toStdString();
        ASSERT_TRUE(host.ExportReport(report, ReportFormat::Html));
        EXPECT_NE(test::ReadFileText(report).find("<td>1.02</td><td>door</td>"), std::string::npos);
        const std::string backup = dir.filePath("backup.json").toStdString();
        ASSERT_TRUE(host.BackUpLine(backup));
        EXPECT_NE(test::ReadFileText(backup).find("\"name\": \"desk left\""), std::string::npos);
    }
}

TEST(SiteWindowTest, ASecondIdentifyWhileOneRunsIsRefusedWithABox) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    ASSERT_TRUE(host.Open(test::ExampleConnection("three-addressed.json")));
    bool second = true;
    Scheduler::TimerId timer = ctx.scheduler.AddTimer([&] {
        ctx.scheduler.SetTimer(timer, 1000, false);
        second = host.IdentifyDevice(5);
    });
    ctx.scheduler.SetTimer(timer, 1000, true);
    EXPECT_TRUE(host.IdentifyDevice(0, 3));
    EXPECT_FALSE(second);
    ASSERT_FALSE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(ctx.dialogs.boxes.back().text,
              "A luminaire is already identifying itself on this line; wait until it has ended.");
    EXPECT_FALSE(host.Identifying());
    EXPECT_FALSE(host.IdentifyDevice(9));
    EXPECT_EQ(ctx.dialogs.boxes.back().text, "No device answers at short address 9.");
}

}  // namespace
}  // namespace zd
