// Upload and download on the simulated line: the grids filled from the gear's scene levels and
// groups, the gear written from edited grids, the tab locked while they run and released after,
// the refusal in DSI mode and the optical feedback box.
#include "archive/ArchiveRig.h"

namespace zd::test {
namespace {

// What the tab looked like while an operation ran, seen from its progress bar.
struct ProgressWatch {
    double highest = 0;
    double max = 0;
    bool tabsEnabled = false;
    bool optionsVisible = false;
    bool barVisible = false;
    int changes = 0;
};

class ArchiveLineTest : public ArchiveRig {
  protected:
    ProgressWatch Run(const std::string& entry) {
        ProgressWatch watch;
        auto connection = control->prgArchiv.OnChanged.Connect([&] {
            if (!control->prgArchiv.Visible()) return;
            ++watch.changes;
            watch.highest = std::max(watch.highest, control->prgArchiv.Value());
            watch.max = control->prgArchiv.Max();
            watch.tabsEnabled = control->tabMain.Enabled() || control->tabArchiv.Enabled();
            watch.optionsVisible = control->cmdArchivOptions.Visible() ||
                                   control->chkArchivOpticalSelectionFeedback.Visible();
            watch.barVisible = true;
        });
        Menu(entry);
        control->prgArchiv.OnChanged.Disconnect(connection);
        return watch;
    }
    // Frames sent to a short address (command frames only, as the address byte names them).
    std::vector<std::uint16_t> FramesTo(int address) {
        std::vector<std::uint16_t> frames;
        for (const sim::SentFrame& sent : terminal->FrameLog()) {
            if ((sent.frame >> 8) == address * 2 + 1) frames.push_back(sent.frame);
        }
        return frames;
    }
};

TEST_F(ArchiveLineTest, UploadFillsTheGridsWithTheGearsValuesAndMarksSilentAddresses) {
    OnLine();
    const ProgressWatch watch = Run("mnuArchivOptionsUpload");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    // Address 0: scenes 0 and 1 set, group 0.
    EXPECT_EQ(Scene(0, 0), "200");
    EXPECT_EQ(Scene(0, 1), "100");
    EXPECT_EQ(Group(0, 0), "1");
    for (int n = 1; n < 16; ++n) EXPECT_EQ(Group(0, n), "0") << n;
    for (int n = 2; n < 16; ++n) EXPECT_EQ(Scene(0, n), "") << n;
    // Address 5: in no scene (MASK comes up empty), groups 0 and 3 of both halves' answers.
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(Scene(5, n), "") << n;
        EXPECT_EQ(Group(5, n), n == 0 || n == 3 ? "1" : "0") << n;
        EXPECT_EQ(Scene(63, n), "") << n;
        EXPECT_EQ(Group(63, n), "0") << n;
    }
    // Every other address did not answer its first scene query.
    for (int a = 0; a < 64; ++a) {
        if (a == 0 || a == 5 || a == 63) continue;
        for (int n = 0; n < 16; ++n) {
            ASSERT_EQ(Scene(a, n), "?") << a << "/" << n;
            ASSERT_EQ(Group(a, n), "?") << a << "/" << n;
        }
    }

    EXPECT_EQ(watch.max, 1024);
    EXPECT_EQ(watch.highest, 1024);
    EXPECT_FALSE(watch.tabsEnabled);
    EXPECT_FALSE(watch.optionsVisible);
    EXPECT_TRUE(watch.barVisible);
    ExpectTabReleased();
}

TEST_F(ArchiveLineTest, UploadLeavesAGroupHalfWithoutAnswerEmpty) {
    OnLine();
    // Address 5 answers its 16 scene queries, then misses the answer to groups 0-7.
    auto connection = control->prgArchiv.OnChanged.Connect([&] {
        if (control->prgArchiv.Value() == 5 * 16 + 16) GearAt(5).Faults().m_missAnswers = 1;
    });
    Run("mnuArchivOptionsUpload");
    control->prgArchiv.OnChanged.Disconnect(connection);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    for (int n = 0; n < 16; ++n) {
        EXPECT_EQ(Scene(5, n), "") << n;
        EXPECT_EQ(Group(5, n), n < 8 ? "" : "0") << n;
    }
    EXPECT_EQ(Group(63, 0), "0");
}

TEST_F(ArchiveLineTest, DownloadWritesEditedCellsIntoTheGearAndSkipsAbsentAddresses) {
    OnLine();
    Run("mnuArchivOptionsUpload");
    SetScene(0, 0, "?");  // marks write nothing: the gear keeps 200
    SetScene(0, 1, "");   // empty removes the gear from the scene
    SetScene(0, 5, "77");
    SetGroup(0, 0, "0");  // removed
    SetGroup(0, 7, "1");  // added
    SetGroup(5, 3, "");   // empty writes nothing: stays in group 3
    SetGroup(5, 0, "?");  // so does a mark: stays in group 0
    SetGroup(5, 12, "1");
    SetScene(63, 15, "254");
    SetScene(63, 14, "0");
    SetScene(10, 0, "50");  // nobody at 10
    SetGroup(10, 0, "1");

    terminal->SetFrameLog(true);
    const ProgressWatch watch = Run("mnuArchivOptionsDownload");
    EXPECT_TRUE(ctx.dialogs.boxes.empty());

    sim::Ballast& gear0 = GearAt(0);
    EXPECT_EQ(gear0.SceneLevel(0), 200);
    EXPECT_EQ(gear0.SceneLevel(1), 255);
    EXPECT_EQ(gear0.SceneLevel(5), 77);
    EXPECT_EQ(gear0.Groups(), 1u << 7);
    EXPECT_EQ(GearAt(5).Groups(), (1u << 0) | (1u << 3) | (1u << 12));
    EXPECT_EQ(GearAt(63).SceneLevel(15), 254);
    EXPECT_EQ(GearAt(63).SceneLevel(14), 0);
    EXPECT_EQ(GearAt(63).SceneLevel(13), 255);
    // Address 10 only heard the question whether anyone is there.
    EXPECT_EQ(FramesTo(10), std::vector<std::uint16_t>{0x1591});

    EXPECT_EQ(watch.max, 2048);
    EXPECT_EQ(watch.highest, 63 * 32 + 16 + 15);
    EXPECT_FALSE(watch.tabsEnabled);
    EXPECT_FALSE(watch.optionsVisible);
    ExpectTabReleased();

    // What was written uploads again as it was edited.
    Run("mnuArchivOptionsUpload");
    EXPECT_EQ(Scene(0, 0), "200");
    EXPECT_EQ(Scene(0, 1), "");
    EXPECT_EQ(Scene(0, 5), "77");
    EXPECT_EQ(Group(5, 12), "1");
    EXPECT_EQ(Scene(10, 0), "?");
}

TEST_F(ArchiveLineTest, DsiModeRefusesUploadAndDownloadWithoutTouchingLineOrGrids) {
    OnLine("dsi-line.json");
    ASSERT_EQ(state.m_nOperationMode, kModeDsi);
    SetScene(0, 0, "100");
    const std::vector<std::string> before = Cells();
    terminal->SetFrameLog(true);
    for (const char* entry : {"mnuArchivOptionsUpload", "mnuArchivOptionsDownload"}) {
        SCOPED_TRACE(entry);
        ctx.dialogs.boxes.clear();
        const ProgressWatch watch = Run(entry);
        ASSERT_EQ(ctx.dialogs.boxes.size(), 1u);
        EXPECT_EQ(ctx.dialogs.boxes[0].text, "The ZD4270 is not in the DALI-Mode!");
        EXPECT_EQ(ctx.dialogs.boxes[0].title, "Information");
        EXPECT_EQ(ctx.dialogs.boxes[0].icon, MsgIcon::Information);
        EXPECT_EQ(watch.changes, 0);
        EXPECT_EQ(Cells(), before);
        EXPECT_TRUE(terminal->FrameLog().empty());
        ExpectTabReleased();
    }
    // Nor does the feedback box switch anything in DSI mode.
    control->chkArchivOpticalSelectionFeedback.Click();
    EXPECT_TRUE(terminal->FrameLog().empty());
}

TEST_F(ArchiveLineTest, SettingTheFeedbackBoxSwitchesEveryLampOff) {
    OnLine();
    terminal->SetFrameLog(true);
    control->chkArchivOpticalSelectionFeedback.Click();
    std::vector<std::uint16_t> frames;
    for (const sim::SentFrame& sent : terminal->FrameLog()) frames.push_back(sent.frame);
    EXPECT_EQ(frames, std::vector<std::uint16_t>{0xFF00});
    EXPECT_EQ(GearAt(0).LevelAt(ctx.scheduler.Now() * 1000), 0);
    terminal->ClearFrameLog();
    control->chkArchivOpticalSelectionFeedback.Click();  // cleared: nothing sent
    EXPECT_TRUE(terminal->FrameLog().empty());
}

}  // namespace
}  // namespace zd::test
