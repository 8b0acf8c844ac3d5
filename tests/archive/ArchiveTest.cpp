// The archive tab on a simulated line: the archive file through the options menu (the text a save
// writes, a save and load that restore the grids, files that leave the grids as they were,
// cancelled dialogs), upload into and download from the grids, the tab locked while they run,
// the refusal in DSI mode and the optical feedback box.
#include <filesystem>
#include <fstream>
#include <string>

#include "support/ControlRig.h"

namespace zd::test {
namespace {

void WriteFileText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class ArchiveRig : public ControlRig {
  protected:
    // The control on the line of the example file, refreshed.
    void OnLine(const char* lineFile = "three-addressed.json") {
        UseLineFile(lineFile);
        Refresh();
        ASSERT_TRUE(ctx.dialogs.boxes.empty()) << BoxTexts(ctx.dialogs)[0];
    }
    sim::Ballast& GearAt(int shortAddress) {
        for (const auto& gear : terminal->GetLine().Gear())
            if (gear->ShortAddress() == shortAddress) return *gear;
        throw std::logic_error("no gear at " + std::to_string(shortAddress));
    }

    // Data cells by short address and scene or group number.
    const std::string& Scene(int address, int scene) const {
        return control->gridScenes.TextMatrix(address + 1, scene + 1);
    }
    const std::string& Group(int address, int group) const {
        return control->gridGroups.TextMatrix(address + 1, group + 1);
    }
    void SetScene(int address, int scene, const std::string& text) {
        control->gridScenes.SetTextMatrix(address + 1, scene + 1, text);
    }
    void SetGroup(int address, int group, const std::string& text) {
        control->gridGroups.SetTextMatrix(address + 1, group + 1, text);
    }
    // Every data cell of both grids, for comparing whole grids.
    std::vector<std::string> Cells() const {
        std::vector<std::string> cells;
        for (int a = 0; a < 64; ++a)
            for (int c = 0; c < 16; ++c) {
                cells.push_back(Scene(a, c));
                cells.push_back(Group(a, c));
            }
        return cells;
    }

    // The progress bar's range and highest value, and whether the tab was locked (the bar shown,
    // tabs and options not) every time the bar moved.
    struct Progress {
        double max = 0, highest = 0;
        bool locked = true;
    };
    // The user opens the options menu and picks an entry (and the file, for load and save).
    Progress Menu(const std::string& entry, const std::filesystem::path& file = {}) {
        if (!file.empty()) ctx.dialogs.paths.push_back(file.string());
        Progress p;
        auto progress = control->prgArchiv.OnChanged.Connect([&] {
            if (!control->prgArchiv.Visible() || control->prgArchiv.Value() == 0) return;
            p.max = control->prgArchiv.Max();
            p.highest = std::max(p.highest, control->prgArchiv.Value());
            p.locked = p.locked && !control->tabMain.Enabled() && !control->tabArchiv.Enabled() &&
                       !control->cmdArchivOptions.Visible();
        });
        auto popup = control->mnuArchivOptions.OnPopup.Connect(
            [&](double, double) { control->mnuArchivOptions.ClickEntry(entry); });
        EXPECT_TRUE(control->cmdArchivOptions.Click());
        control->mnuArchivOptions.OnPopup.Disconnect(popup);
        control->prgArchiv.OnChanged.Disconnect(progress);
        return p;
    }

    // The tab is usable again: nothing left disabled, hidden or showing progress.
    void ExpectTabReleased() const {
        EXPECT_TRUE(control->tabMain.Enabled());
        EXPECT_TRUE(control->cmdArchivOptions.Enabled());
        EXPECT_TRUE(control->cmdArchivOptions.Visible());
        EXPECT_FALSE(control->prgArchiv.Visible());
    }
};

constexpr const char* kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<physicaltree generator=\"Velmar Orvix\" version=\"0.1.0\" revision=\"\"><hub><devices>"
    "<device name=\"vareLUX QC7300\"><loops><loop>";
constexpr const char* kTail = "</loop></loops></device></devices></hub></physicaltree>";

std::string Archive(const std::string& ballasts) {
    return std::string(kHead) + "<ballasts>" + ballasts + "</ballasts>" + kTail;
}

using ArchiveFileTest = ArchiveRig;

TEST_F(ArchiveFileTest, SaveWritesOnlyNumericEntriesInAddressAndNumberOrder) {
    SetScene(5, 2, "200");
    SetGroup(5, 3, "1");
    SetGroup(5, 0, "2");
    SetScene(5, 0, "?");
    // Nothing of these is written, so address 7 has no ballast element at all.
    SetScene(7, 0, "255");
    SetGroup(7, 1, "?");
    SetScene(63, 15, "0");
    const auto path = folder.Path() / "archive.xml";
    Menu("mnuArchivOptionsSave", path);
    EXPECT_EQ(ReadFileText(path),
              Archive("<ballast address=\"5\"><scene id=\"2\" lightlevel=\"200\"/>"
                      "<group id=\"0\"/><group id=\"3\"/></ballast>"
                      "<ballast address=\"63\"><scene id=\"15\" lightlevel=\"0\"/></ballast>"));
    EXPECT_EQ(ctx.dialogs.fileRequests.at(0).filter, "XML File (*.xml)|*.xml");
    ExpectTabReleased();
}

TEST_F(ArchiveFileTest, SaveThenLoadRestoresBothGridsExceptMaskLevelsAndMarks) {
    std::vector<std::string> expected;
    for (int a = 0; a < 64; ++a) {
        for (int c = 0; c < 16; ++c) {
            const int level = (a * 16 + c) % 256;
            SetScene(a, c, a == 10 ? "?" : std::to_string(level));
            SetGroup(a, c, a == 10 ? "?" : (a + c) % 3 == 0 ? "1" : "0");
            // A row an upload could not read is not saved, so it comes back empty.
            expected.push_back(level == 255 || a == 10 ? "" : std::to_string(level));
            expected.push_back(a != 10 && (a + c) % 3 == 0 ? "1" : "0");
        }
    }
    const auto path = folder.Path() / "archive.xml";
    Menu("mnuArchivOptionsSave", path);
    // The load rewrites every cell, also those the file does not mention.
    for (int c = 0; c < 16; ++c) {
        SetScene(10, c, "7");
        SetGroup(10, c, "1");
        SetScene(1, c, "?");
    }
    Menu("mnuArchivOptionsLoad", path);
    EXPECT_EQ(Cells(), expected);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_FALSE(ctx.dialogs.fileRequests.at(1).save);
    ExpectTabReleased();
}

// Entries the writer never makes are read as the tool that writes these files always read them.
TEST_F(ArchiveFileTest, LoadReadsOddEntriesLikeTheWriterDoes) {
    const auto path = folder.Path() / "handwritten.xml";
    WriteFileText(path,
                  Archive("<ballast address=\"05\"><group id=\"1\"/></ballast>\n"
                          "<ballast address=\"1\">text<scene id=\"3\" lightlevel=\"254\"/>"
                          "<scene id=\"4\" lightlevel=\"255\"/><scene lightlevel=\"10\"/>"
                          "<scene id=\"6\" lightlevel=\"x\"/><group id=\"70\"/><group id=\"x\"/>"
                          "<group id=\"15\"/><note/></ballast>"
                          "<ballast address=\"2\"><scene/></ballast>"));
    Menu("mnuArchivOptionsLoad", path);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    // A missing id or a level that is no number: the one of the scene before, in the whole file.
    EXPECT_EQ(Scene(1, 3) + " " + Scene(1, 4) + " " + Scene(1, 6) + " " + Scene(2, 6),
              "254 10 10 10");
    EXPECT_EQ(Group(1, 15), "1");
    const std::vector<std::string> cells = Cells();
    EXPECT_EQ(std::count_if(cells.begin(), cells.end(),
                            [](const std::string& c) { return c != "" && c != "0"; }),
              5);  // "05" is no address 5, and group 70 has no column
}

// A file that is malformed, cut short or from another device changes no cell. Ids and levels are
// plain decimal: a text another reader would take for another number, or for none, stops the load
// with the field and its place (as any load error does); a file without end is refused too.
TEST_F(ArchiveFileTest, MalformedForeignAmbiguousAndEndlessFilesAreRefused) {
    SetScene(0, 0, "42");
    SetGroup(0, 0, "1");
    const std::string valid = Archive("<ballast address=\"0\"><group id=\"1\"/></ballast>");
    std::string otherDevice = valid;
    otherDevice.replace(otherDevice.find("QC7300"), 6, "QC7301");
    struct Case {
        const char* name;          // a path of its own is read as it is
        std::string text, report;  // a part of the box, or nothing for no box
        bool keepsCells = true;    // false: a load error, after the rows before it were rewritten
    };
    const Case cases[] = {
        {"malformed.xml", "<?xml version=\"1.0\"?>\n<physicaltree><hub></devices></physicaltree>",
         "Your XML Document failed to load due the following error.\r\nError #: "},
        {"truncated.xml", valid.substr(0, valid.size() / 2), "\r\nLine #: 2\r\n"},
        // Another device: nothing loaded, nothing said.
        {"other.xml", otherDevice, ""},
        {"/dev/zero", "",
         "Error #: 0: The archive file /dev/zero is larger than 4 MB, the most this program "
         "reads\r\nLine #: 0"},
        {"blank.xml",
         Archive("<ballast address=\"1\"><scene id=\" 3\" lightlevel=\"10\"/></ballast>"),
         "Error: ArchivLoad: Type mismatch: the id of a scene of the ballast at address 1 (line 2) "
         "is \" 3\", not a decimal number\r\nSource: ",
         false},
        {"octal.xml",
         Archive("<ballast address=\"1\"><scene id=\"3\" lightlevel=\"010\"/></ballast>"),
         "lightlevel of a scene of the ballast at address 1 (line 2) is \"010\"", false},
        {"sign.xml", Archive("<ballast address=\"2\"><group id=\"+4\"/></ballast>"),
         "Error: ArchivLoad: Type mismatch: the id of a group of the ballast at address 2", false},
        {"overflow.xml", Archive("<ballast address=\"2\"><group id=\"70000\"/></ballast>"),
         "Error: ArchivLoad: Overflow: the id of a group of the ballast at address 2 (line 2) is "
         "70000, out of range",
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctx.dialogs.boxes.clear();
        const std::vector<std::string> before = Cells();
        std::filesystem::path path = c.name;
        if (path.is_relative()) WriteFileText(path = folder.Path() / c.name, c.text);
        Menu("mnuArchivOptionsLoad", path);
        if (c.keepsCells) {
            EXPECT_EQ(Cells(), before);
        }
        ExpectTabReleased();
        ASSERT_EQ(ctx.dialogs.boxes.size(), c.report.empty() ? 0u : 1u);
        for (const auto& box : ctx.dialogs.boxes)
            EXPECT_NE(box.text.find(c.report), box.text.npos) << box.text;
    }
}

// A value the grids cannot take stops the load with its report; the rows rewritten before it keep
// what the file gave them, and the rows after it stay as they were.
TEST_F(ArchiveFileTest, LoadErrorKeepsTheRowsRewrittenBeforeIt) {
    SetScene(0, 0, "42");
    SetGroup(0, 1, "1");
    SetScene(3, 1, "7");
    SetScene(9, 2, "9");
    const auto path = folder.Path() / "range.xml";
    WriteFileText(path,
                  Archive("<ballast address=\"0\"><scene id=\"0\" lightlevel=\"1\"/></ballast>"
                          "<ballast address=\"3\"><scene id=\"20\" lightlevel=\"5\"/></ballast>"));
    Menu("mnuArchivOptionsLoad", path);
    ASSERT_EQ(BoxTexts(ctx.dialogs).size(), 1u);
    EXPECT_EQ(BoxTexts(ctx.dialogs)[0].rfind("Error: ArchivLoad: Subscript out of range: scene 20 "
                                             "of the ballast at address 3",
                                             0),
              0u);
    EXPECT_EQ(Scene(0, 0) + "|" + Group(0, 1) + "|" + Scene(3, 1) + "|" + Scene(9, 2), "1|0||9");
    ExpectTabReleased();
}

TEST_F(ArchiveFileTest, CancelledDialogsAndFailedSavesChangeNothing) {
    SetScene(2, 2, "22");
    const std::vector<std::string> before = Cells();
    Menu("mnuArchivOptionsLoad");
    Menu("mnuArchivOptionsSave");
    ctx.dialogs.paths.push_back(std::string());
    Menu("mnuArchivOptionsSave");
    EXPECT_EQ(ctx.dialogs.fileRequests.size(), 3u);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(Cells(), before);
    ExpectTabReleased();

    // A level that is no byte: reported, no file written.
    SetScene(2, 3, "300");
    Menu("mnuArchivOptionsSave", folder.Path() / "archive.xml");
    EXPECT_EQ(BoxTexts(ctx.dialogs).at(0).rfind("Error: mnuArchivOptionsSave_Click: Overflow", 0),
              0u);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
    ExpectTabReleased();
}

using ArchiveLineTest = ArchiveRig;

TEST_F(ArchiveLineTest, UploadFillsTheGridsWithTheGearsValuesAndMarksSilentAddressesAndHalves) {
    OnLine();
    const Progress progress = Menu("mnuArchivOptionsUpload");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    for (int a = 0; a < 64; ++a) {
        for (int n = 0; n < 16; ++n) {
            SCOPED_TRACE(std::to_string(a) + "/" + std::to_string(n));
            // Address 0: scenes 0 and 1, group 0. Address 5: in no scene (MASK comes up empty),
            // groups 0 and 3. Every other address did not answer its first scene query.
            const bool present = a == 0 || a == 5 || a == 63;
            const char* scene = a == 0 && n == 0 ? "200" : a == 0 && n == 1 ? "100" : "";
            const bool grouped = (a == 0 && n == 0) || (a == 5 && (n == 0 || n == 3));
            ASSERT_EQ(Scene(a, n), present ? scene : "?");
            ASSERT_EQ(Group(a, n), !present ? "?" : grouped ? "1" : "0");
        }
    }
    EXPECT_EQ(progress.max, 1024);
    EXPECT_EQ(progress.highest, 1024);
    EXPECT_TRUE(progress.locked);
    ExpectTabReleased();

    // Again, and address 5 answers its 16 scene queries, then misses the answer to groups 0-7.
    for (int n = 0; n < 16; ++n) SetGroup(5, n, "x");
    auto connection = control->prgArchiv.OnChanged.Connect([&] {
        if (control->prgArchiv.Value() == 5 * 16 + 16) GearAt(5).Faults().m_missAnswers = 1;
    });
    Menu("mnuArchivOptionsUpload");
    control->prgArchiv.OnChanged.Disconnect(connection);
    for (int n = 0; n < 16; ++n) EXPECT_EQ(Group(5, n), n < 8 ? "" : "0") << n;
}

TEST_F(ArchiveLineTest, DownloadWritesEditedCellsIntoTheGearAndTheFeedbackBoxSwitchesOff) {
    OnLine();
    Menu("mnuArchivOptionsUpload");
    SetScene(0, 0, "?");  // marks write nothing: the gear keeps 200
    SetScene(0, 1, "");   // empty removes the gear from the scene
    SetScene(0, 5, "77");
    SetGroup(0, 0, "0");  // removed
    SetGroup(0, 7, "1");  // added
    SetGroup(5, 3, "");   // empty writes nothing: stays in group 3
    SetGroup(5, 0, "?");  // so does a mark: stays in group 0
    SetGroup(5, 12, "1");
    SetScene(10, 0, "50");  // nobody at 10
    terminal->SetFrameLog(true);
    const Progress progress = Menu("mnuArchivOptionsDownload");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    EXPECT_EQ(GearAt(0).SceneLevel(0), 200);
    EXPECT_EQ(GearAt(0).SceneLevel(1), 255);
    EXPECT_EQ(GearAt(0).SceneLevel(5), 77);
    EXPECT_EQ(GearAt(0).Groups(), 1u << 7);
    EXPECT_EQ(GearAt(5).Groups(), (1u << 0) | (1u << 3) | (1u << 12));
    // Address 10 only heard the question whether anyone is there.
    const auto& log = terminal->FrameLog();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](auto& f) { return f.frame >> 8 == 21; }), 1);
    EXPECT_EQ(progress.max, 2048);
    EXPECT_EQ(progress.highest, 63 * 32 + 16 + 15);
    EXPECT_TRUE(progress.locked);
    ExpectTabReleased();

    // Setting the feedback box switches every lamp off; clearing it sends nothing.
    terminal->ClearFrameLog();
    control->chkArchivOpticalSelectionFeedback.Click();
    control->chkArchivOpticalSelectionFeedback.Click();
    EXPECT_EQ(log.size(), 1u);
    EXPECT_EQ(GearAt(0).LevelAt(ctx.scheduler.Now() * 1000), 0);
}

// A loaded archive that leaves out known devices: the download names them and asks first; No
// sends nothing, Yes clears them and says which.
TEST_F(ArchiveLineTest, ADownloadAsksBeforeItClearsDevicesTheArchiveLeavesOut) {
    OnLine();
    Menu("mnuArchivOptionsUpload");
    SetScene(5, 0, "");
    for (int n = 0; n < 16; ++n) SetGroup(5, n, "0");
    TempFolder askFolder("zd_archive_ask");
    Menu("mnuArchivOptionsSave", askFolder.Path() / "a.xml");  // 5 and 63 hold nothing: left out
    Menu("mnuArchivOptionsLoad", askFolder.Path() / "a.xml");
    for (const std::int16_t address : std::initializer_list<std::int16_t>{0, 5, 63}) {
        clsDevice device;
        device.m_nShortAddress = device.m_nNewShortAddress = address;
        state.devices->Remove(address);
        state.devices->Add(device);
    }
    terminal->SetFrameLog(true);
    ctx.dialogs.answers = {MsgResult::No};
    Menu("mnuArchivOptionsDownload");
    ASSERT_EQ(BoxTexts(ctx.dialogs),
              std::vector<std::string>{"2 device(s) that the archive does not list lose their "
                                       "groups and scenes: 5, 63.\r\nDownload the archive into "
                                       "the devices?"});
    EXPECT_TRUE(terminal->FrameLog().empty());
    EXPECT_EQ(GearAt(5).Groups(), (1u << 0) | (1u << 3));
    Menu("mnuArchivOptionsDownload");
    EXPECT_EQ(GearAt(5).Groups(), 0u);
    EXPECT_EQ(control->ArchivCleared(), (std::vector<std::int16_t>{5, 63}));
}

TEST_F(ArchiveLineTest, DsiModeRefusesUploadDownloadAndFeedbackWithoutTouchingLineOrGrids) {
    OnLine("dsi-line.json");
    SetScene(0, 0, "100");
    const std::vector<std::string> before = Cells();
    terminal->SetFrameLog(true);
    for (const char* entry : {"mnuArchivOptionsUpload", "mnuArchivOptionsDownload"}) {
        SCOPED_TRACE(entry);
        ctx.dialogs.boxes.clear();
        Menu(entry);
        EXPECT_EQ(BoxTexts(ctx.dialogs),
                  std::vector<std::string>{"The ZD4270 is not in the DALI-Mode!"});
        EXPECT_EQ(Cells(), before);
        ExpectTabReleased();
    }
    control->chkArchivOpticalSelectionFeedback.Click();
    EXPECT_TRUE(terminal->FrameLog().empty());
}

}  // namespace
}  // namespace zd::test
