// The archive file through the options menu: the exact text a save writes, a save and load that
// restore the grids, a load that rewrites every row from the file, and bad, foreign or refused
// files and cancelled dialogs that leave the grids and the tab as they were.
#include "archive/ArchiveRig.h"

namespace zd::test {
namespace {

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
    const auto path = folder.Path() / "empty.xml";
    SaveFile(path);
    EXPECT_EQ(ReadFileText(path), std::string(kHead) + "<ballasts/>" + kTail);
    ASSERT_EQ(ctx.dialogs.fileRequests.size(), 1u);
    const FileDialogRequest& request = ctx.dialogs.fileRequests[0];
    EXPECT_TRUE(request.save);
    EXPECT_EQ(request.title, "File save");
    EXPECT_EQ(request.filter, "XML File (*.xml)|*.xml");
    EXPECT_EQ(request.flags, 6);
    EXPECT_EQ(request.defaultExtension, "xml");

    SetScene(5, 2, "200");
    SetGroup(5, 3, "1");
    SetGroup(5, 0, "2");
    SetScene(5, 0, "?");
    // Nothing of these is written, so address 7 has no ballast element at all.
    SetScene(7, 0, "255");
    SetScene(7, 1, "");
    SetGroup(7, 0, "0");
    SetGroup(7, 1, "?");
    SetScene(63, 15, "0");
    SaveFile(path);
    EXPECT_EQ(ReadFileText(path),
              Archive("<ballast address=\"5\"><scene id=\"2\" lightlevel=\"200\"/>"
                      "<group id=\"0\"/><group id=\"3\"/></ballast>"
                      "<ballast address=\"63\"><scene id=\"15\" lightlevel=\"0\"/></ballast>"));
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    ExpectTabReleased();
}

TEST_F(ArchiveFileTest, SaveThenLoadRestoresBothGridsExceptMaskLevels) {
    std::vector<std::string> expected;
    for (int a = 0; a < 64; ++a) {
        for (int c = 0; c < 16; ++c) {
            const int level = (a * 16 + c) % 256;
            SetScene(a, c, std::to_string(level));
            SetGroup(a, c, (a + c) % 3 == 0 ? "1" : "0");
            expected.push_back(level == 255 ? "" : std::to_string(level));
            expected.push_back(Group(a, c));
        }
    }
    // A row an upload could not read: its marks are not saved, so it comes back empty.
    for (int c = 0; c < 16; ++c) {
        SetScene(10, c, "?");
        SetGroup(10, c, "?");
        expected[static_cast<std::size_t>((10 * 16 + c) * 2)] = "";
        expected[static_cast<std::size_t>((10 * 16 + c) * 2 + 1)] = "0";
    }
    const auto path = folder.Path() / "archive.xml";
    SaveFile(path);
    control->CreateScenesView();
    control->CreateGroupsView();
    LoadFile(path);
    EXPECT_EQ(Cells(), expected);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    ASSERT_EQ(ctx.dialogs.fileRequests.size(), 2u);
    const FileDialogRequest& open = ctx.dialogs.fileRequests[1];
    EXPECT_FALSE(open.save);
    EXPECT_EQ(open.title, "File open");
    EXPECT_EQ(open.filter, "XML File (*.xml)|*.xml");
    EXPECT_EQ(open.flags, 6148);
    ExpectTabReleased();
}

TEST_F(ArchiveFileTest, LoadRewritesEveryRowFromTheFile) {
    // Rows the file does not mention end up without scenes and groups.
    SetScene(3, 3, "12");
    SetGroup(3, 3, "1");
    SetGroup(9, 0, "?");
    const auto path = folder.Path() / "handwritten.xml";
    WriteFileText(
        path, Archive("<!-- commissioned --><ballast address=\"05\"><group id=\"1\"/></ballast>\n"
                      "<ballast address=\"1\">text<scene id=\"3\" lightlevel=\"254\"/>"
                      "<scene id=\"4\" lightlevel=\"255\"/><scene lightlevel=\"10\"/>"
                      "<scene id=\"6\" lightlevel=\"x\"/><group id=\"70\"/>"
                      "<group id=\"x\"/><group/><group id=\"15\"/><note id=\"2\"/></ballast>"
                      "<ballast address=\"2\"><scene id=\"0\"/><group id=\"0\"/></ballast>"));
    LoadFile(path);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    EXPECT_EQ(Scene(1, 3), "254");
    EXPECT_EQ(Scene(1, 4), "10");  // the id missing: the one of the scene before
    EXPECT_EQ(Scene(1, 6), "10");  // the level not numeric: the one of the scene before
    EXPECT_EQ(Scene(2, 0), "10");  // and that carries on into the next ballast
    EXPECT_EQ(Group(1, 15), "1");
    EXPECT_EQ(Group(2, 0), "1");
    int filled = 0;
    for (int a = 0; a < 64; ++a) {
        for (int c = 0; c < 16; ++c) {
            filled += Scene(a, c).empty() ? 0 : 1;
            filled += Group(a, c) == "1" ? 1 : 0;
            EXPECT_TRUE(Group(a, c) == "0" || Group(a, c) == "1") << a << "/" << c;
        }
    }
    EXPECT_EQ(filled, 6);  // "05" is no address 5
    ExpectTabReleased();
}

TEST_F(ArchiveFileTest, FilesThatDoNotParseAreReportedAndChangeNoCell) {
    SetScene(0, 0, "42");
    SetGroup(0, 0, "1");
    const std::vector<std::string> before = Cells();
    const std::string valid = Archive("<ballast address=\"0\"><group id=\"1\"/></ballast>");
    struct Case {
        const char* name;
        std::string text;
        std::string lineAndSource;
    };
    const Case cases[] = {
        {"malformed.xml", "<?xml version=\"1.0\"?>\n<physicaltree><hub></devices></physicaltree>",
         "Line #: 2\r\nLine Position: "},
        {"truncated.xml", valid.substr(0, valid.size() / 2), "Line #: 2\r\n"},
        {"empty.xml", "", "Line #: "},
        {"foreign.json", "{\"ballasts\": []}", "Source Text: {\"ballasts\": []}\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ctx.dialogs.boxes.clear();
        const auto path = folder.Path() / c.name;
        WriteFileText(path, c.text);
        LoadFile(path);
        ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
        const MessageBoxRequest& box = ctx.dialogs.boxes[0];
        EXPECT_EQ(box.icon, MsgIcon::Critical);
        EXPECT_EQ(box.title, "System failure");
        EXPECT_EQ(box.text.rfind("Your XML Document failed to load due the following error.\r\n"
                                 "Error #: ",
                                 0),
                  0u)
            << box.text;
        EXPECT_NE(box.text.find(c.lineAndSource), std::string::npos) << box.text;
        EXPECT_NE(box.text.find("\r\nPosition In File: "), std::string::npos);
        // The reason is set apart from the line number.
        EXPECT_NE(box.text.find("\r\nLine #: "), std::string::npos);
        EXPECT_EQ(box.text.substr(box.text.size() - path.string().size()), path.string());
        EXPECT_EQ(Cells(), before);
        ExpectTabReleased();
    }
}

TEST_F(ArchiveFileTest, ForeignOrOutOfRangeArchivesLeaveTheGridsAsTheyWere) {
    SetScene(4, 4, "44");
    SetGroup(4, 4, "1");
    const std::vector<std::string> before = Cells();

    // Another device, another root: nothing loaded, nothing said.
    std::string otherDevice = Archive("<ballast address=\"0\"><group id=\"1\"/></ballast>");
    otherDevice.replace(otherDevice.find("vareLUX QC7300"), 14, "vareLUX QC7301");
    for (const std::string& text : {otherDevice, std::string("<archive><ballasts/></archive>")}) {
        WriteFileText(folder.Path() / "other.xml", text);
        LoadFile(folder.Path() / "other.xml");
        EXPECT_TRUE(ctx.dialogs.boxes.empty());
        EXPECT_EQ(Cells(), before);
    }

    // Ids past the grid's columns and numbers past 16 bits: reported, and the rows read before
    // the fault are not applied either.
    struct Case {
        const char* entry;
        const char* report;
    };
    const Case cases[] = {
        {"<scene id=\"20\" lightlevel=\"5\"/>",
         "Error: ArchivLoad: Subscript out of range: scene 20 of the ballast at address 3"},
        {"<group id=\"63\"/>", "Error: ArchivLoad: Subscript out of range: group 63"},
        {"<scene id=\"1\" lightlevel=\"70000\"/>", "Error: ArchivLoad: Overflow\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        ctx.dialogs.boxes.clear();
        WriteFileText(folder.Path() / "range.xml",
                      Archive("<ballast address=\"0\"><scene id=\"0\" lightlevel=\"1\"/></ballast>"
                              "<ballast address=\"3\">" +
                              std::string(c.entry) + "</ballast>"));
        LoadFile(folder.Path() / "range.xml");
        ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
        EXPECT_EQ(ctx.dialogs.boxes[0].text.rfind(c.report, 0), 0u) << ctx.dialogs.boxes[0].text;
        EXPECT_EQ(ctx.dialogs.boxes[0].title, "System failure");
        EXPECT_EQ(Cells(), before);
        ExpectTabReleased();
    }
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
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
    EXPECT_EQ(Cells(), before);
    ExpectTabReleased();

    // A folder that does not exist, and a level that is no byte: reported under the save handler,
    // no file written, the tab released.
    SaveFile(folder.Path() / "missing" / "archive.xml");
    SetScene(2, 3, "300");
    SaveFile(folder.Path() / "archive.xml");
    ASSERT_EQ(ctx.dialogs.boxes.size(), 2u);
    EXPECT_EQ(ctx.dialogs.boxes[0].text.rfind(
                  "Error: mnuArchivOptionsSave_Click: Path/File access error: ", 0),
              0u);
    EXPECT_NE(ctx.dialogs.boxes[0].text.find("\r\nNumber: 75"), std::string::npos);
    EXPECT_EQ(ctx.dialogs.boxes[1].text.rfind("Error: mnuArchivOptionsSave_Click: Overflow\r\n", 0),
              0u);
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
    ExpectTabReleased();
}

}  // namespace
}  // namespace zd::test
