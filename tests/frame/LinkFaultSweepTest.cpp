// A connection that breaks at any call of a procedure: for every call N of a whole scan, random
// addressing run, archive upload and download and page read, the device communication fails from
// call N on. Each time: no crash, one box, the running state cleared and the control unlocked,
// and what was found before the failure kept.
#include <algorithm>
#include <functional>
#include <set>

#include "engine/ArchiveFile.h"
#include "support/ControlRig.h"
#include "transport/SimDevCom.h"

namespace zd::test {
namespace {

// The control on a simulated line over the in-process device communication.
struct Bench {
    explicit Bench(const sim::LineDescription& line) {
        devCom = std::make_shared<SimDevCom>(
            std::shared_ptr<sim::Terminal>(sim::MakeTerminal(ctx.scheduler, line)));
        control = std::make_unique<configZD4270>(ctx.context, registry, state);
        EXPECT_TRUE(station.LoadXml(StationXml({})));
        control->RefreshData(station.DocumentNode().SelectSingleNode("Station/Coupler/Device"),
                             devCom, UserDataXml());
    }
    std::set<int> Devices() const {
        std::set<int> addresses;
        for (const auto& [key, device] : state.devices->Items())
            addresses.insert(device->m_nShortAddress);
        return addresses;
    }
    // Nothing left locked or running by any procedure.
    void ExpectReleased(const std::string& where) const {
        const configZD4270& c = *control;
        EXPECT_FALSE(c.Scanning() || c.RndAddrRunning() || c.PhySelRunning() ||
                     c.ChangeAddrRunning())
            << where;
        EXPECT_FALSE(c.timerScanDevices.Enabled() || c.timerRndAddr.Enabled() ||
                     c.timerPhySel.Enabled() || c.timerChangeAddr.Enabled())
            << where;
        EXPECT_TRUE(c.tabMain.Enabled() && c.treeDevices.Enabled() && c.tabArchiv.Enabled())
            << where;
        for (int tab = 0; tab < 4; ++tab) EXPECT_TRUE(c.tabMain.TabEnabled(tab)) << where;
        EXPECT_FALSE(c.prgState.Visible() || c.prgArchiv.Visible()) << where;
        EXPECT_TRUE(c.cmdArchivOptions.Visible() && c.cmdRndAddrStart.Enabled()) << where;
        EXPECT_EQ(c.cmdScanDevices.Caption(), "Scan Devices") << where;
        EXPECT_EQ(c.cmdRndAddrStart.Caption(), "Start") << where;
    }

    TestContext ctx;
    MemoryRegistry registry;
    ModuleState state;
    XmlDocument station;
    std::shared_ptr<SimDevCom> devCom;
    std::unique_ptr<configZD4270> control;
    // Virtual times of a timer-driven run: when the connection broke, when the run ended.
    std::optional<std::int64_t> lostAtMs;
    std::int64_t endedAtMs = 0;
};

void Menu(configZD4270& control, const std::string& entry) {
    auto popup = control.mnuArchivOptions.OnPopup.Connect(
        [&](double, double) { control.mnuArchivOptions.ClickEntry(entry); });
    control.cmdArchivOptions.Click();
    control.mnuArchivOptions.OnPopup.Disconnect(popup);
}

// Each procedure runs on the three-addressed example line.
struct Procedure {
    std::string name;
    std::uint16_t firmware = 0x314D;
    // Puts the control where the procedure starts (not swept).
    std::function<void(Bench&)> prepare = [](Bench&) {};
    // Starts the procedure and runs it to its end.
    std::function<void(Bench&)> run;
    // Compares the state after a failed run with the state after a clean one, where the
    // procedure's own tests do not (what a failed read marks, the pages and archive tests pin).
    std::function<void(Bench& failed, Bench& clean, const std::string& where)> check = nullptr;
};

// Runs the timers until no procedure runs; notes when the connection broke and when the run
// ended, and checks that devices once found are never taken away again meanwhile.
void RunUntilIdle(Bench& b) {
    std::size_t most = b.state.devices->Count();
    EXPECT_TRUE(b.ctx.scheduler.RunUntil(
        [&] {
            if (!b.lostAtMs && b.devCom->Faults().m_connectionLost)
                b.lostAtMs = b.ctx.scheduler.Now();
            EXPECT_GE(b.state.devices->Count(), most);
            most = std::max(most, b.state.devices->Count());
            return !b.control->Scanning() && !b.control->RndAddrRunning();
        },
        3'600'000));
    b.endedAtMs = b.ctx.scheduler.Now();
}

// Every device found is one the clean run finds too, and none that the failed run had found
// was dropped again (the list only grows while the run lasts).
void ExpectDevicesKept(Bench& failed, Bench& clean, const std::string& where) {
    const std::set<int> found = failed.Devices();
    EXPECT_TRUE(
        std::includes(clean.Devices().begin(), clean.Devices().end(), found.begin(), found.end()))
        << where;
}

void AddThreeDevices(Bench& b) {
    for (std::int16_t address : std::initializer_list<std::int16_t>{0, 5, 63})
        b.state.devices->Add(clsDevice{0, address, address, false});
    b.control->CreateTreeDevices();
}

void StartRandomAddressing(Bench& b) {
    ClickStart(b.control->cmdRndAddrStart, b.ctx.dialogs);
    RunUntilIdle(b);
}

const std::vector<Procedure>& Procedures() {
    static const std::vector<Procedure> procedures = {
        {"scan", 0x314D, [](Bench&) {},
         [](Bench& b) {
             b.control->cmdScanDevices.Click();
             RunUntilIdle(b);
         },
         ExpectDevicesKept},
        {"random addressing", 0x314C,
         [](Bench& b) {
             // Two unaddressed gear beside the three addressed ones.
             b.devCom->Terminal().AddGear(sim::GearConfig{});
             b.devCom->Terminal().AddGear(sim::GearConfig{});
         },
         StartRandomAddressing, ExpectDevicesKept},
        {"archive upload", 0x314D, [](Bench&) {},
         [](Bench& b) { Menu(*b.control, "mnuArchivOptionsUpload"); }},
        {"archive download", 0x314D,
         [](Bench& b) {
             for (int row = 1; row <= kArchiveAddresses; ++row)
                 for (int col = 1; col <= kArchiveColumns; ++col)
                     b.control->gridScenes.SetTextMatrix(row, col, std::to_string(col + 100));
         },
         [](Bench& b) { Menu(*b.control, "mnuArchivOptionsDownload"); },
         [](Bench& failed, Bench& clean, const std::string& where) {
             // Each scene of each gear holds its old level or the new one, nothing else.
             sim::Terminal& after = failed.devCom->Terminal();
             sim::Terminal& done = clean.devCom->Terminal();
             const sim::LineDescription before =
                 sim::LoadLineFile((kExampleLines / "three-addressed.json").string());
             for (std::size_t g = 0; g < after.GetLine().Gear().size(); ++g) {
                 const sim::Ballast& gear = *after.GetLine().Gear()[g];
                 for (int scene = 0; scene < 16; ++scene) {
                     const std::uint8_t level = gear.SceneLevel(scene);
                     EXPECT_TRUE(level == before.gear[g].scenes[static_cast<std::size_t>(scene)] ||
                                 level == done.GetLine().Gear()[g]->SceneLevel(scene))
                         << where << " gear " << g << " scene " << scene;
                 }
             }
         }},
        {"random addressing in the firmware", 0x314D,
         [](Bench& b) { b.devCom->Terminal().AddGear(sim::GearConfig{}); }, StartRandomAddressing,
         ExpectDevicesKept},
        {"variables page read", 0x314D, AddThreeDevices,
         [](Bench& b) { b.control->treeDevices.SelectNode("05Variables"); }},
        {"scenes page read", 0x314D, AddThreeDevices,
         [](Bench& b) { b.control->treeDevices.SelectNode("05Scenes"); }},
    };
    return procedures;
}

class LinkFaultSweep : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LinkFaultSweep, EveryCallFailingEndsTheProcedureWithOneBoxAndKeepsWhatWasFound) {
    const Procedure& procedure = Procedures()[GetParam()];
    sim::LineDescription line =
        sim::LoadLineFile((kExampleLines / "three-addressed.json").string());
    line.terminal.firmwareVersion = procedure.firmware;
    TempWorkingFolder folder;

    Bench clean(line);
    procedure.prepare(clean);
    const std::int64_t first = clean.devCom->Calls();
    procedure.run(clean);
    const std::int64_t calls = clean.devCom->Calls() - first;
    // The firmware's run ends with a box of its result; no run shows an error.
    const std::size_t cleanBoxes = clean.ctx.dialogs.boxes.size();
    ASSERT_LE(cleanBoxes, 1u);
    for (const auto& box : clean.ctx.dialogs.boxes)
        ASSERT_NE(box.icon, MsgIcon::Critical) << box.text;
    ASSERT_GT(calls, 10);
    clean.ExpectReleased(procedure.name + " clean");

    for (std::int64_t n = 1; n <= calls; ++n) {
        const std::string where = procedure.name + ", failing from call " + std::to_string(n);
        Bench failed(line);
        procedure.prepare(failed);
        failed.devCom->Faults().m_failOnCall = static_cast<int>(n);
        failed.devCom->Faults().m_staysFailed = true;
        procedure.run(failed);
        // The watchdog meets the dead link as well, and stays quiet about it.
        failed.ctx.scheduler.RunFor(2000);

        // One error box, and at most the boxes of a clean run beside it.
        const auto& boxes = failed.ctx.dialogs.boxes;
        ASSERT_EQ(std::count_if(boxes.begin(), boxes.end(),
                                [](const auto& box) { return box.icon == MsgIcon::Critical; }),
                  1)
            << where << ":\n"
            << ::testing::PrintToString(BoxTexts(failed.ctx.dialogs));
        EXPECT_LE(boxes.size(), 1 + cleanBoxes) << where;
        // A run ends with the step that met the loss (or the next one), not after its course.
        if (failed.lostAtMs) {
            EXPECT_LE(failed.endedAtMs - *failed.lostAtMs, 1500) << where;
        }
        failed.ExpectReleased(where);
        if (procedure.check) procedure.check(failed, clean, where);
        if (::testing::Test::HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Procedures, LinkFaultSweep,
                         ::testing::Range<std::size_t>(0, Procedures().size()),
                         [](const ::testing::TestParamInfo<std::size_t>& test) {
                             std::string name = Procedures()[test.param].name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

}  // namespace
}  // namespace zd::test
