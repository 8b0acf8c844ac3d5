// The line's backup, restore and the replacement of a failed gear, run as users run them on the
// simulated line: back up, change the gear, restore, compare; a gear fails and a new one comes;
// and what is refused, with the line left as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliRun.h"
#include "maintenance/LineBackup.h"
#include "platform/Error.h"
#include "sim/LineFile.h"
#include "support/TestContext.h"

namespace zd {
namespace {

using test::Args;
using test::Outcome;

class MaintenanceTest : public test::FolderTest {
  protected:
    MaintenanceTest() : FolderTest("zd_maint_") {}

    Outcome Zd(std::vector<std::string> args) const {
        args.insert(args.end(), {"--registry", File("store.ini"), "--quiet"});
        return test::RunZd(args, test::ExampleDefaults());
    }
    // The three-addressed line's backup, taken by the command.
    std::string Backup() const {
        const Outcome run = Zd(Args("backup", File("backup.json")));
        EXPECT_EQ(run.exitCode, 0) << run.json.dump(1);
        return File("backup.json");
    }
    static const sim::GearConfig* GearAt(const sim::LineDescription& line, int address) {
        for (const sim::GearConfig& gear : line.gear)
            if (gear.shortAddress == address) return &gear;
        return nullptr;
    }
    static std::vector<int> Addresses(const std::string& lineFile) {
        std::vector<int> addresses;
        for (const sim::GearConfig& gear : sim::LoadLineFile(lineFile).gear)
            addresses.push_back(gear.shortAddress ? *gear.shortAddress : -1);
        return addresses;
    }
    // What a restore writes, of every gear of a line file.
    static std::string Settings(const std::string& lineFile) {
        std::string text;
        for (const sim::GearConfig& gear : sim::LoadLineFile(lineFile).gear) {
            text += std::to_string(gear.maxLevel) + " " + std::to_string(gear.fadeTime) + " " +
                    std::to_string(gear.groups);
            for (int level : gear.scenes) text += " " + std::to_string(level);
            text += "\n";
        }
        return text;
    }
    // Without the moment it was taken and the gear's state (actual level, status).
    static std::string Devices(const std::string& backupFile) {
        LineBackup backup = LoadLineBackup(backupFile);
        backup.created.clear();
        for (DeviceBackup& device : backup.devices) device.variables[0] = device.variables[8] = 0;
        return WriteLineBackup(backup);
    }
};

TEST_F(MaintenanceTest, BackupChangeRestoreGivesTheLineBack) {
    const std::string backup = Backup();
    const std::string line = File("line.json");
    std::ofstream(line) << sim::WriteLineDescription(
        sim::LoadLineFile(test::ExampleLine("three-addressed.json")));
    // The changes a reset or a careless hand makes.
    for (const auto& change : {Args("variables", "--short", "5", "--set", "max-level=200"),
                               Args("variables", "--short", "63", "--set", "fade-time=9"),
                               Args("groups", "--short", "5", "--add", "7", "--remove", "0"),
                               Args("scenes", "--short", "0", "--set", "0=mask,3=50")}) {
        auto args = change;
        args.insert(args.end(), {"--line", line, "--save-line", line});
        ASSERT_EQ(Zd(args).exitCode, 0) << test::Joined(args);
    }
    const std::string changed = Settings(line);

    // Without --yes nothing runs; the dry run plans and sends nothing.
    EXPECT_EQ(Zd(Args("restore", backup, "--line", line)).exitCode, 2);
    const Outcome plan =
        Zd(Args("restore", backup, "--dry-run", "--line", line, "--save-line", line));
    ASSERT_EQ(plan.exitCode, 0) << plan.json.dump(1);
    EXPECT_EQ(Settings(line), changed);
    EXPECT_EQ(plan.json["summary"]["changed"], 3);
    EXPECT_EQ(plan.json["plan"][1]["changes"][0],
              (Json{{"what", "max-level"}, {"from", 200}, {"to", 254}}));
    EXPECT_EQ(plan.json["plan"][1]["changes"][1],
              (Json{{"what", "groups"}, {"add", {0}}, {"remove", {7}}}));

    const Outcome restore =
        Zd(Args("restore", backup, "--yes", "--line", line, "--save-line", line));
    ASSERT_EQ(restore.exitCode, 0) << restore.json.dump(1);
    // The plan was shown before anything was sent.
    test::ExpectParts(restore.console, {"address 5: changed", "max-level 200 -> 254",
                                        "remove from groups 7", "scene 3 50 -> mask"});
    ASSERT_EQ(Zd(Args("backup", File("again.json"), "--line", line)).exitCode, 0);
    EXPECT_EQ(Devices(File("again.json")), Devices(backup));
}

TEST_F(MaintenanceTest, RestoreReportsReplacedMissingAndNewDevices) {
    const std::string backup = Backup();
    const std::string line =
        EditedLine("line.json", "three-addressed.json", [](sim::LineDescription& l) {
            l.gear[2].randomAddress = 0x123456;  // 63: another gear
            l.gear[2].maxLevel = 100;
            l.gear.erase(l.gear.begin());  // 0: gone
            sim::GearConfig added;
            added.shortAddress = 10;
            added.randomAddress = 0x222222;
            l.gear.push_back(added);
        });
    const Outcome run = Zd(Args("restore", backup, "--yes", "--line", line, "--save-line", line));
    EXPECT_EQ(run.exitCode, 1);
    test::ExpectParts(run.json.value("error", ""), {"nothing answers at 0", "zd4270 replace"});
    std::vector<std::string> states;
    for (const Json& entry : run.json["plan"]) states.push_back(entry["state"]);
    EXPECT_EQ(states, (std::vector<std::string>{"missing", "unchanged", "new", "replaced"}));
    EXPECT_EQ(run.json["plan"][3]["lineRandomAddress"], "0x123456");
    // The replaced gear takes the settings of its address; the new one is left alone.
    const sim::LineDescription after = sim::LoadLineFile(line);
    EXPECT_EQ(GearAt(after, 63)->maxLevel, 254);
    EXPECT_EQ(GearAt(after, 10)->maxLevel, 254);
}

// Another line's backup: no random address matches. The plan names the mismatch (the terminal
// position, a device type), --yes sends nothing, --other-gear writes.
TEST_F(MaintenanceTest, ABackupOfOtherGearIsWrittenOnlyWhenConfirmedAsSuch) {
    Json other = Json::parse(test::ReadFileText(Backup()));
    other["terminal"]["position"] = 7;
    for (Json& device : other["devices"]) {
        const int random = 0x100 + device["shortAddress"].get<int>();
        device["randomAddress"] = RandomAddressText(static_cast<std::uint32_t>(random));
        device["variables"]["random-address"] = random;
        device["variables"]["max-level"] = 180;
    }
    other["devices"][0]["deviceType"] = 8;
    other["devices"][0]["variables"]["device-type"] = 8;
    std::ofstream(File("other.json")) << other.dump();
    const std::string line =
        EditedLine("line.json", "three-addressed.json", [](sim::LineDescription&) {});

    const Outcome refused =
        Zd(Args("restore", File("other.json"), "--yes", "--line", line, "--save-line", line));
    // Refused, nothing sent: the same exit code as every command's refusal.
    EXPECT_EQ(refused.exitCode, 2);
    test::ExpectParts(refused.json.value("error", ""), {"no gear of the backup", "--other-gear"});
    test::ExpectParts(
        refused.json["mismatch"].dump(),
        {"terminal position 7", "device type 8 in the backup, 6 on the line", "no random address"});
    EXPECT_FALSE(refused.json.contains("written"));
    for (const sim::GearConfig& gear : sim::LoadLineFile(line).gear) EXPECT_EQ(gear.maxLevel, 254);

    const Outcome confirmed = Zd(Args("restore", File("other.json"), "--yes", "--other-gear",
                                      "--line", line, "--save-line", line));
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.json.dump(1);
    for (const sim::GearConfig& gear : sim::LoadLineFile(line).gear) EXPECT_EQ(gear.maxLevel, 180);
}

TEST_F(MaintenanceTest, BadBackupFilesAreRefusedNamingWhatIsWrong) {
    const std::string good =
        sim::WriteLineDescription(sim::LoadLineFile(test::ExampleLine("empty.json")));
    std::string device = WriteLineBackup(LoadLineBackup(Backup()));
    const auto edited = [&](const std::string& from, const std::string& to) {
        std::string text = device;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return text.replace(at, from.size(), to);
    };
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"{\"format\": \"zd4270-line-backup\",\n \"version\": 1,\n \"devices\": [}",
         "f.json:3:14: "},
        {good, "this is no line backup"},
        {edited("\"version\": 1", "\"version\": 2"), "version 2 is newer than this program reads"},
        {edited("\"groups\"", "\"group\""), "at /devices/0: unknown key \"group\""},
        {edited("\"shortAddress\": 5", "\"shortAddress\": 0"),
         "at /devices/1/shortAddress: short address 0 comes twice"},
        {edited("\"1\": 100", "\"1\": 255"), "at /devices/0/scenes/1: a level 0 to 254"},
        {edited("\"fade-rate\": 7", "\"fade-rate\": 7, \"fade-rate\": 8"),
         "the key \"fade-rate\" comes twice"},
        {edited("\"randomAddress\": \"0x0A0B0C\"", "\"randomAddress\": \"0x0A0B0D\""),
         "random-address: differs from the device's randomAddress"},
    };
    for (const auto& c : cases) {
        try {
            ParseLineBackup(c.text, "f.json");
            ADD_FAILURE() << "accepted: " << c.message;
        } catch (const ControlError& error) {
            EXPECT_NE(error.Description().find(c.message), std::string::npos)
                << error.Description();
        }
    }
    // A backup nested far below the size limit, and a long value in the wrong place: refused
    // with a message of a few lines, never a crash or the value whole.
    const std::string deep =
        "{\"format\": \"zd4270-line-backup\", \"version\": 1, \"devices\": [], "
        "\"terminal\": {\"a\": " +
        std::string(59000, '[') + std::string(59000, ']') + "}}";
    const std::string longValue =
        edited("\"1\": 100", "\"1\": \"" + std::string(3'000'000, 'x') + "\"");
    for (const auto& [text, message] :
         {std::pair{deep, "nested deeper than 32 levels"},
          std::pair{longValue, "a level 0 to 254 or \"mask\" is expected, not \"xxxx"}}) {
        const auto error = test::Thrown([&text = text] { ParseLineBackup(text, "f.json"); });
        ASSERT_TRUE(error);
        EXPECT_NE(error->Description().find(message), std::string::npos) << error->Description();
        EXPECT_LT(error->Description().size(), 200u);
    }
    EXPECT_EQ(LoadLineBackup(std::string(ZD4270_EXAMPLES_DIR) + "/backup/three-addressed.json")
                  .devices.size(),
              3u);
    // The command refuses it before it sends anything.
    std::ofstream(File("bad.json")) << cases[3].text;
    const Outcome run = Zd(Args("restore", File("bad.json"), "--yes"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.json.value("requests", -1), -1);
    test::ExpectParts(run.json.value("error", ""), {"bad.json: at /devices/0: unknown key"});
}

// A gear fails (its transmitter, its mains, or it is taken out) and a new one is put in.
TEST_F(MaintenanceTest, ReplaceGivesTheNewGearTheFailedAddressAndSettings) {
    const std::string backup = Backup();
    const std::function<void(sim::GearConfig&)> failures[] = {
        [](sim::GearConfig& g) { g.faults.m_silent = true; },
        [](sim::GearConfig& g) { g.powered = false; },
    };
    for (int kind = 0; kind < 3; ++kind) {
        SCOPED_TRACE(kind);
        const std::string line =
            EditedLine("line.json", "three-addressed.json", [&](sim::LineDescription& l) {
                if (kind < 2) {
                    failures[kind](l.gear[1]);
                } else {
                    l.gear.erase(l.gear.begin() + 1);
                }
                sim::GearConfig fresh;
                fresh.randomAddress = 0x333333;
                l.gear.push_back(fresh);
            });
        const Outcome run = Zd(Args("replace", "--short", "5", "--backup", backup, "--line", line,
                                    "--save-line", line));
        ASSERT_EQ(run.exitCode, 0) << run.json.dump(1);
        EXPECT_EQ(run.json["found"]["silent"], Json::array({5}));
        EXPECT_EQ(run.json["found"]["newGear"], "one");
        EXPECT_EQ(run.json["replacedRandomAddress"], "0x5F0000");
        const sim::LineDescription after = sim::LoadLineFile(line);
        const sim::GearConfig& fresh = after.gear.back();
        ASSERT_EQ(fresh.shortAddress, 5);
        EXPECT_EQ(fresh.groups, (1u << 0) | (1u << 3));
        EXPECT_EQ(fresh.fadeTime, 2);
    }
}

TEST_F(MaintenanceTest, ReplaceRefusesAnythingButOneSilentAddressAndOneNewGear) {
    const std::string backup = Backup();
    const auto line = [&](const std::string& name, int failed, int fresh) {
        return EditedLine(name, "three-addressed.json", [&](sim::LineDescription& l) {
            if (failed > 0) l.gear[1].faults.m_silent = true;
            if (failed > 1) l.gear[0].faults.m_silent = true;
            for (int i = 0; i < fresh; ++i) {
                sim::GearConfig gear;
                gear.randomAddress = 0x400000u + static_cast<std::uint32_t>(i);
                l.gear.push_back(gear);
            }
        });
    };
    const struct {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    } cases[] = {
        {Args("--line", line("answers.json", 0, 1)), 1, "the device at address 5 answers"},
        {Args("--line", line("none.json", 1, 0)), 1, "no gear without a short address"},
        {Args("--line", line("two.json", 1, 2)), 1, "several gear without a short address"},
        {Args("--line", line("both.json", 2, 1)), 1, "the addresses 0, 5 of the backup are silent"},
        {Args("--line", line("timeout.json", 1, 1), "--timeout", "5"), 2,
         "--timeout goes with --physical"},
    };
    for (const auto& c : cases) {
        auto args = Args("replace", "--short", "5", "--backup", backup);
        args.insert(args.end(), c.args.begin(), c.args.end());
        const std::string file = c.args[1];
        const std::vector<int> before = Addresses(file);
        args.insert(args.end(), {"--save-line", file});
        const Outcome run = Zd(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << test::Joined(args);
        test::ExpectParts(run.json.value("error", ""), {c.message});
        EXPECT_EQ(Addresses(file), before) << c.message;
    }
    EXPECT_EQ(Zd(Args("replace", "--short", "5")).exitCode, 2);
    const Outcome unknown = Zd(Args("replace", "--short", "7", "--backup", backup));
    EXPECT_EQ(unknown.exitCode, 1);
    test::ExpectParts(unknown.json.value("error", ""),
                      {"holds no device at address 7 (it holds 0, 5, 63)"});
}

TEST_F(MaintenanceTest, ReplaceByPhysicalSelectionPicksTheLampTakenOut) {
    const std::string backup = Backup();
    const std::string line =
        EditedLine("line.json", "three-addressed.json", [](sim::LineDescription& l) {
            l.gear.erase(l.gear.begin() + 1);
            for (std::uint32_t random : {0x111111u, 0x222222u}) {
                sim::GearConfig gear;
                gear.randomAddress = random;
                l.gear.push_back(gear);
            }
        });
    const Outcome run = Zd(Args("replace", "--short", "5", "--backup", backup, "--physical",
                                "--remove-lamp", "index:4", "--line", line, "--save-line", line));
    ASSERT_EQ(run.exitCode, 0) << run.json.dump(1);
    EXPECT_EQ(run.json["found"]["newGear"], "several");
    EXPECT_EQ(Addresses(line), (std::vector<int>{0, 63, -1, 5}));
    EXPECT_EQ(sim::LoadLineFile(line).gear[3].groups, (1u << 0) | (1u << 3));
}

TEST_F(MaintenanceTest, AStationIsBackedUpAndPlannedTerminalByTerminal) {
    const std::string building = std::string(ZD4270_EXAMPLES_DIR) + "/building";
    const auto station = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--station", building + "/station.xml", "--all", "--lines",
                                   building + "/lines"});
        return Zd(args);
    };
    const Outcome mixedUp = station(Args("backup", File("b.json")));
    EXPECT_EQ(mixedUp.exitCode, 2);
    test::ExpectParts(mixedUp.json.value("error", ""), {"backup-{pos}.json"});

    const Outcome backup = station(Args("backup", File("b-{pos}.json")));
    const Outcome plan = station(Args("restore", File("b-{pos}.json"), "--dry-run"));
    // A terminal whose gear share an address is backed up without them, and says so.
    EXPECT_EQ(backup.json.at("failed"), 1);
    ASSERT_EQ(plan.exitCode, 0) << plan.json.dump(1);
    ASSERT_EQ(plan.json.at("terminals").size(), backup.json.at("terminals").size());
    // Each terminal's line is compared with its own file.
    int devices = 0;
    for (const Json& terminal : plan.json.at("terminals")) {
        EXPECT_EQ(terminal.at("summary").at("changed"), 0) << terminal.dump();
        EXPECT_EQ(terminal.at("summary").at("missing"), 0) << terminal.dump();
        devices += terminal.at("summary").at("unchanged").get<int>();
    }
    EXPECT_EQ(devices, 30);
}

}  // namespace
}  // namespace zd
