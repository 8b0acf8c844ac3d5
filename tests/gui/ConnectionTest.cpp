// What the user connects the window to and what the window hands over: the chooser opening a
// terminal over Modbus TCP at its unit (a wrong unit said plainly), the choice remembered in the
// store, the serial line offered as remembered, a cancelled chooser keeping the usual line, and the
// report exported from the window with the simulated line's devices.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "frame/configZD4270.h"
#include "gui/ConnectionDialog.h"
#include "gui/MainWindow.h"
#include "gui/WindowHost.h"
#include "platform/RealScheduler.h"
#include "platform/RegistryAccess.h"
#include "simserver/ModbusSimServer.h"
#include "support/Examples.h"
#include "support/TestContext.h"
#include "transport/SimDevCom.h"

namespace zd {
namespace {

using test::ExamplePath;
using ::testing::HasSubstr;

// The station's first terminal on the three-gear line, served over Modbus TCP on a free loopback
// port as zd4270-sim serves it, answering as unit 7.
class ServedTerminal {
  public:
    ServedTerminal() {
        const StationDocument station =
            StationDocument::Load(ExamplePath("stations/packed-intel.xml"));
        auto devCom =
            CreateSimulatedDevCom(m_clock, station.ChooseTerminal(),

                                  sim::LoadLineFile(ExamplePath("lines/three-addressed.json")));
        m_server = std::make_unique<ModbusSimServer>(devCom, ModbusEndpoint{"127.0.0.1", 0, 7});
        m_thread = std::thread([server = m_server.get()] { server->ServeFor(20'000); });
    }
    ~ServedTerminal() {
        m_server->Stop();
        m_thread.join();
    }
    std::uint16_t Port() const { return m_server->Port(); }

  private:
    RealScheduler m_clock;
    std::unique_ptr<ModbusSimServer> m_server;
    std::thread m_thread;
};

TEST(ConnectionTest, TheChooserOpensAModbusTerminalAtItsUnitAndTheStoreKeepsIt) {
    ServedTerminal served;
    const ConnectionTarget simulated = test::ExampleConnection("three-addressed.json");
    struct Case {
        int unit;
        // What the control's boxes say; empty: none.
        const char* error;
    };
    for (const Case& c : {Case{3, "no unit 3 answers there"}, Case{7, ""}}) {
        SCOPED_TRACE(c.unit);
        test::TestContext ctx;
        MemoryRegistry registry;
        WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
        ASSERT_TRUE(host.ChooserAtStartup());
        ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, Language::English, simulated,
                                host.RememberedModbus(), ConnectionDialog::Choice::Simulated, true);
        dialog.ModbusButton()->setChecked(true);
        dialog.HostField()->setText("127.0.0.1");
        dialog.PortField()->setValue(served.Port());
        dialog.UnitField()->setValue(c.unit);
        dialog.StationField()->setText(QString::fromStdString(simulated.stationFile));
        dialog.ShowAtStartupBox()->setChecked(false);
        ASSERT_TRUE(host.ApplyChoice(dialog));
        EXPECT_EQ(host.Simulated(), nullptr);

        std::string boxes;
        for (const MessageBoxRequest& box : ctx.dialogs.boxes) boxes += box.text + "\n";
        if (*c.error) {
            EXPECT_THAT(boxes, HasSubstr(c.error));
            continue;
        }
        EXPECT_EQ(boxes, "");
        // The terminal's firmware version came over the wire.
        EXPECT_FALSE(host.Control()->lblFirmwareVersion.Caption().empty());
        const std::string address = "127.0.0.1:" + std::to_string(served.Port()) + "/7";
        EXPECT_NE(host.Window()->windowTitle().indexOf(QString::fromStdString(address)), -1)
            << host.Window()->windowTitle().toStdString();

        // The next start offers the same terminal, and does not ask unless told to.
        EXPECT_EQ(host.RememberedModbus().modbus, address);
        EXPECT_FALSE(host.ChooserAtStartup());
        ConnectionDialog next(ConnectionDialog::Purpose::Modbus, Language::German, simulated,
                              host.RememberedModbus(), ConnectionDialog::Choice::ModbusTcp, false);
        EXPECT_EQ(next.UnitField()->value(), 7);
        EXPECT_EQ(next.PortField()->value(), served.Port());
    }
}

// The serial line as the store remembers it fills the chooser's fields, which hand back the same
// text; a device that cannot be opened is said in a box, in the window's language, and the line
// the window had stays.
TEST(ConnectionTest, TheChooserOffersTheRememberedSerialLine) {
    test::TestContext ctx;
    MemoryRegistry registry;
    registry.WriteString(RegistryAccess::kHkeyCurrentUser, "Software\\zd4270\\Connection",
                         "ModbusRtu", "/dev/zd4270-no-such-line:9600:O:2/4");
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    const ConnectionTarget simulated = test::ExampleConnection("three-addressed.json");
    ASSERT_TRUE(host.Open(simulated));
    const ConnectionTarget remembered = host.RememberedModbus();
    EXPECT_EQ(remembered.modbusRtu, "/dev/zd4270-no-such-line:9600:O:2/4");

    ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, Language::German, simulated,
                            remembered, ConnectionDialog::Choice::ModbusRtu, true);
    EXPECT_TRUE(dialog.RtuChosen());
    EXPECT_EQ(dialog.DeviceField()->currentText(), "/dev/zd4270-no-such-line");
    EXPECT_EQ(dialog.BaudField()->currentText(), "9600");
    EXPECT_EQ(dialog.ParityField()->currentText(), "Ungerade (O)");
    EXPECT_EQ(dialog.StopBitsField()->value(), 2);
    EXPECT_EQ(dialog.RtuUnitField()->value(), 4);
    EXPECT_EQ(dialog.Chosen().modbusRtu, remembered.modbusRtu);
    dialog.grab().save(QCoreApplication::applicationDirPath() + "/gui-dialog-modbus-rtu-de.png");
    EXPECT_EQ(dialog.Chosen().modbus, "");
    dialog.ParityField()->setCurrentIndex(dialog.ParityField()->findData("N"));
    dialog.RtuUnitField()->setValue(1);
    EXPECT_EQ(dialog.Chosen().modbusRtu, "/dev/zd4270-no-such-line:9600:N:2");

    ASSERT_FALSE(host.ApplyChoice(dialog));
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    EXPECT_THAT(ctx.dialogs.boxes[0].text,
                HasSubstr("Modbus RTU: /dev/zd4270-no-such-line (9600 8N2) cannot be opened"));
    EXPECT_NE(host.Simulated(), nullptr);
    // The Modbus TCP choice still hands back an address only.
    dialog.ModbusButton()->setChecked(true);
    EXPECT_EQ(dialog.Chosen().modbusRtu, "");
    EXPECT_EQ(dialog.Chosen().modbus, "127.0.0.1:1502");
}

// The store reads back what earlier versions wrote and writes it the same way: -1 for the
// station's first terminal, an empty file name for the line without gear.
TEST(ConnectionTest, TheStoreKeepsTheFirstTerminalAndTheEmptyLineAsBefore) {
    MemoryRegistry registry;
    ConnectionStore store(registry);
    const auto root = RegistryAccess::kHkeyCurrentUser;
    const char* const key = "Software\\zd4270\\Connection";
    const auto stored = [&](const char* name) {
        std::string value = "(none)";
        registry.ReadString(root, key, name, value);
        return value;
    };
    registry.WriteString(root, key, "Modbus", "10.0.0.5:502/3");
    registry.WriteString(root, key, "StationFile", "site.xml");
    registry.WriteString(root, key, "Position", "-1");
    ConnectionTarget remembered = store.RememberedModbus({});
    EXPECT_EQ(remembered.modbus, "10.0.0.5:502/3");
    EXPECT_EQ(remembered.stationFile, "site.xml");
    EXPECT_EQ(remembered.position, std::nullopt);
    registry.WriteString(root, key, "Position", "4");
    EXPECT_EQ(store.RememberedModbus({}).position, 4);

    store.Remember(remembered);
    EXPECT_EQ(stored("Choice"), "modbus");
    EXPECT_EQ(stored("Position"), "-1");
    ConnectionTarget empty;
    empty.stationFile = "site.xml";
    store.Remember(empty);
    EXPECT_EQ(store.LastChoice(), ConnectionChoice::Simulated);
    EXPECT_EQ(stored("LineFile"), "");
}

TEST(ConnectionTest, CancelledChooserKeepsTheLineWhichExportsItsReport) {
    test::TestContext ctx;
    MemoryRegistry registry;
    WindowHost host(ctx.context, registry, nullptr, &ctx.messages);
    // The user turns the chooser off for next time and cancels: the usual line opens.
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<ConnectionDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->ShowAtStartupBox()->setChecked(false);
        dialog->reject();
    });
    ASSERT_TRUE(host.Start(test::ExampleConnection("three-addressed.json"), true));
    ASSERT_NE(host.Simulated(), nullptr);
    EXPECT_EQ(host.Simulated()->Terminal().GetLine().Gear().size(), 3u);
    EXPECT_FALSE(host.ChooserAtStartup());

    QTemporaryDir dir;
    const std::string path = dir.filePath("report.csv").toStdString();

    // Not while the scan runs: the report would read the tree from under it.
    ASSERT_TRUE(host.Control()->cmdScanDevices.Click());
    EXPECT_FALSE(host.ExportReport(path, ReportFormat::Csv));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
    ASSERT_TRUE(ctx.scheduler.RunUntil([&] { return !host.Control()->Scanning(); }, 120'000));

    ASSERT_TRUE(host.ExportReport(path, ReportFormat::Csv));
    EXPECT_FALSE(host.Reporting());
    // A box says where the report went, with the whole path.
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes.back().text, "The report was written to " + path + ".");
    // A header and one row per device; what the rows hold, the command line's report pins.
    std::ifstream file(path);
    const auto lines = std::count(std::istreambuf_iterator<char>(file), {}, '\n');
    EXPECT_EQ(lines, 4);
}

// The chooser lists the empty line once, the example lines and the example building's terminals,
// each with its place in the building's station, and shows a station path from its beginning.
TEST(ConnectionTest, TheChooserOffersEachLineOnceAndTheBuildingsTerminals) {
    ConnectionTarget modbus;
    modbus.stationFile = ExamplePath("stations/../stations/../stations/packed-intel.xml");
    modbus.modbus = "127.0.0.1:1502";
    ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, Language::German,
                            test::ExampleConnection("empty.json"), modbus,
                            ConnectionDialog::Choice::Simulated, true);
    QStringList entries;
    for (int i = 0; i < dialog.LineChoice()->count(); ++i)
        entries << dialog.LineChoice()->itemText(i);
    EXPECT_EQ(dialog.LineChoice()->currentIndex(), 0);
    EXPECT_EQ(entries.filter(QStringLiteral("Leere Linie")).size(), 1);
    EXPECT_TRUE(entries.filter(QStringLiteral("Beispiel: empty")).isEmpty());
    EXPECT_TRUE(entries.contains(QStringLiteral("Beispiel: three-addressed")));
    const int building =
        dialog.LineChoice()->findText(QStringLiteral("Beispielgebäude: Position 5"));
    ASSERT_GE(building, 0) << entries.join(QStringLiteral(", ")).toStdString();
    dialog.LineChoice()->setCurrentIndex(building);
    const ConnectionTarget chosen = dialog.Chosen();
    EXPECT_EQ(chosen.position, 5);
    EXPECT_THAT(chosen.stationFile, HasSubstr("building/station.xml"));
    EXPECT_THAT(chosen.lineFile.value_or(""), HasSubstr("building/lines/pos-5.json"));
    EXPECT_EQ(dialog.StationField()->cursorPosition(), 0);
}

}  // namespace
}  // namespace zd
