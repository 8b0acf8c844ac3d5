// The window's backup, replacement and restore on the simulated line, and their menu entries in
// both languages (pictures of the menu beside the test binary, for a person to look at).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QInputDialog>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTimer>

#include "frame/configZD4270.h"
#include "gui/MainWindow.h"
#include "gui/WindowHost.h"
#include "platform/RegistryAccess.h"
#include "sim/Terminal.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using test::ExamplePath;

sim::Ballast* GearAt(sim::Line& line, int address) {
    for (const auto& gear : line.Gear())
        if (gear->ShortAddress() == address) return gear.get();
    return nullptr;
}

TEST(MaintenanceWindowTest, BackUpReplaceAFailedGearAndRestoreTheLine) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    ASSERT_TRUE(host.Open(test::ExampleConnection("three-addressed.json")))
        << (ctx.dialogs.boxes.empty() ? "" : ctx.dialogs.boxes.back().text);
    QTemporaryDir dir;
    const std::string path = dir.filePath("site.json").toStdString();
    ASSERT_TRUE(host.BackUpLine(path));
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_EQ(ctx.dialogs.boxes.back().text, "Devices backed up to " + path + ": 3.");

    // The gear at 5 fails and a new one is put in: it takes 5 and the old one's settings.
    sim::Line& line = host.Simulated()->Terminal().GetLine();
    GearAt(line, 5)->Faults().m_silent = true;
    sim::GearConfig fresh;
    fresh.randomAddress = 0x333333;
    const int freshId = line.AddGear(fresh).Id();
    ASSERT_TRUE(host.ReplaceDevice(5, path)) << ctx.dialogs.boxes.back().text;
    const sim::Ballast& replaced = *line.FindGear(freshId);
    EXPECT_EQ(replaced.ShortAddress(), 5);
    EXPECT_EQ(replaced.Groups(), (1u << 0) | (1u << 3));
    EXPECT_EQ(replaced.FadeTime(), 2);
    // A second replacement of 5 is refused: 5 answers now.
    EXPECT_FALSE(host.ReplaceDevice(5, path));
    EXPECT_NE(ctx.dialogs.boxes.back().text.find("answers: there is nothing to replace"),
              std::string::npos)
        << ctx.dialogs.boxes.back().text;

    // Gear 63 is swapped for one with another maximum: the restore asks, then writes it back.
    sim::GearConfig other;
    other.shortAddress = 63;
    other.randomAddress = 0xC00001;
    other.maxLevel = 100;
    ASSERT_TRUE(line.RemoveGear(GearAt(line, 63)->Id()));
    const int otherId = line.AddGear(other).Id();
    const std::size_t before = ctx.dialogs.boxes.size();
    ASSERT_TRUE(host.RestoreLine(path)) << ctx.dialogs.boxes.back().text;
    ASSERT_EQ(ctx.dialogs.boxes.size(), before + 2);
    EXPECT_NE(ctx.dialogs.boxes[before].text.find("max-level 100 -> 254"), std::string::npos)
        << ctx.dialogs.boxes[before].text;
    EXPECT_EQ(line.FindGear(otherId)->MaxLevel(), 254);
}

// After a scan the failed gear has no node in the tree: the Connection menu's entry offers the
// backup's addresses that no longer answer, and replaces the one chosen.
TEST(MaintenanceWindowTest, ReplaceADeviceOffersTheBackupsSilentAddressesAfterAScan) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    ASSERT_TRUE(host.Open(test::ExampleConnection("three-addressed.json")));
    QTemporaryDir dir;
    const std::string path = dir.filePath("site.json").toStdString();
    ASSERT_TRUE(host.BackUpLine(path));
    sim::Line& line = host.Simulated()->Terminal().GetLine();
    GearAt(line, 5)->Faults().m_silent = true;
    sim::GearConfig fresh;
    fresh.randomAddress = 0x333333;
    const int freshId = line.AddGear(fresh).Id();
    ASSERT_TRUE(host.Control()->cmdScanDevices.Click());
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));
    ASSERT_EQ(host.Control()->State().devices->Item(5), nullptr);
    ASSERT_TRUE(host.SetLanguage(Language::German));

    // The window's own list, chosen from as the user does.
    QStringList offered;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        offered = dialog->comboBoxItems();
        dialog->grab().save(QCoreApplication::applicationDirPath() +
                            "/gui-replace-a-device-de.png");
        dialog->accept();
    });
    ASSERT_TRUE(host.ReplaceFromBackup(path)) << ctx.dialogs.boxes.back().text;
    EXPECT_EQ(offered, QStringList{"Gerät #05"});
    EXPECT_EQ(line.FindGear(freshId)->ShortAddress(), 5);
    EXPECT_EQ(line.FindGear(freshId)->FadeTime(), 2);

    // Every address answers now: nothing is offered.
    bool asked = false;
    EXPECT_FALSE(host.ReplaceFromBackup(path, [&](const std::vector<int>&) {
        asked = true;
        return std::optional<int>();
    }));
    EXPECT_FALSE(asked);
    EXPECT_EQ(ctx.dialogs.boxes.back().text,
              "Jedes Gerät aus " + path + " antwortet an der Linie: es gibt nichts zu ersetzen.");
}

TEST(MaintenanceWindowTest, TheMenuOffersBackupAndRestoreInBothLanguages) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    ASSERT_TRUE(host.Open(test::ExampleConnection("three-addressed.json")));
    for (const auto& [language, entries] :
         {std::pair{Language::English,
                    QStringList{"&Back up line...", "&Restore line...", "Re&place a device..."}},
          std::pair{Language::German, QStringList{"Linie s&ichern...", "Linie &wiederherstellen...",
                                                  "Gerät e&rsetzen..."}}}) {
        if (language != ctx.messages.GetLanguage()) {
            ASSERT_TRUE(host.SetLanguage(language));
        }
        QMenu* menu = host.Window()->menuBar()->actions().value(0)->menu();
        ASSERT_NE(menu, nullptr);
        QStringList texts;
        for (const QAction* action : menu->actions()) texts << action->text();
        for (const QString& entry : entries)
            EXPECT_TRUE(texts.contains(entry)) << entry.toStdString();
        menu->adjustSize();
        menu->grab().save(QCoreApplication::applicationDirPath() + "/gui-maintenance-menu-" +
                          (language == Language::German ? "de" : "en") + ".png");
    }
}

}  // namespace
}  // namespace zd
