// The engine's archive transfers on a simulated line without the form: upload and download with
// their progress, the clearing of devices an archive's file leaves out, a cancel between
// addresses, the refusal in DSI mode; and the archive tab, one of its clients, puts the very same
// frames on the line at the very same times.
#include <stdexcept>

#include "addressing/FrameRig.h"
#include "engine/ArchiveTransfer.h"
#include "support/EngineRig.h"

namespace zd::test {
namespace {

class ArchiveTransferTest : public ProcedureRig {
  protected:
    void SetUp() override { UseExampleLine("three-addressed.json", kFirmwareVariant); }
    EngineTerminal& Terminal() { return line.Terminal(); }
    sim::Ballast& GearAt(int shortAddress) {
        for (const auto& gear : Sim().GetLine().Gear())
            if (gear->ShortAddress() == shortAddress) return *gear;
        throw std::logic_error("no gear at " + std::to_string(shortAddress));
    }
    void KnowDevices(std::initializer_list<std::int16_t> addresses) {
        for (const std::int16_t address : addresses) {
            clsDevice device;
            device.m_nShortAddress = device.m_nNewShortAddress = address;
            state.devices->Add(device);
        }
    }
};

TEST_F(ArchiveTransferTest, UploadReadsEveryAddressAndDownloadWritesOnlyKnownValues) {
    std::vector<ProgressState> steps;
    ArchiveTransferOptions options;
    options.progress = [&](const ProgressState& p) { steps.push_back(p); };
    const ArchiveUploadReport upload = UploadArchive(Terminal(), options);
    ASSERT_TRUE(upload.outcome.Ok()) << upload.outcome.text;
    for (int a = 0; a < kArchiveAddresses; ++a) {
        const bool present = a == 0 || a == 5 || a == 63;
        EXPECT_EQ(upload.addresses[a],
                  present ? ArchiveAddressState::Done : ArchiveAddressState::NoAnswer)
            << a;
        EXPECT_EQ(upload.archive.ballasts[a].HoldsAnything(), a == 0 || a == 5) << a;
    }
    const ArchiveBallast& zero = upload.archive.ballasts[0];
    EXPECT_EQ(zero.scenes[0], 200);
    EXPECT_EQ(zero.scenes[1], 100);
    EXPECT_EQ(zero.scenes[2], kArchiveNotInScene);
    EXPECT_EQ(zero.groups[0], true);
    EXPECT_EQ(zero.groups[1], false);
    EXPECT_FALSE(upload.archive.ballasts[1].scenes[0]);  // silent: nothing known
    // 16 steps of a gear, one of a silent address; the bar ends full.
    EXPECT_EQ(steps.size(), 3u * 16 + 61);
    EXPECT_EQ(steps.back().done, 1024);
    EXPECT_EQ(steps.back().total, 1024);
    EXPECT_FALSE(link.InProcedure());

    Archive archive = upload.archive;
    archive.ballasts[0].scenes[0].reset();  // unknown: the gear keeps 200
    archive.ballasts[0].scenes[1] = kArchiveNotInScene;
    archive.ballasts[5].scenes[2] = 42;
    archive.ballasts[5].groups[7] = true;
    archive.ballasts[5].groups[0].reset();  // unknown: stays in group 0
    archive.ballasts[5].groups[3] = false;
    archive.ballasts[10].scenes[0] = 50;  // nobody there
    steps.clear();
    const ArchiveDownloadReport download = DownloadArchive(Terminal(), archive, options);
    ASSERT_TRUE(download.outcome.Ok()) << download.outcome.text;
    EXPECT_EQ(GearAt(0).SceneLevel(0), 200);
    EXPECT_EQ(GearAt(0).SceneLevel(1), 255);
    EXPECT_EQ(GearAt(5).SceneLevel(2), 42);
    EXPECT_EQ(GearAt(5).Groups(), (1u << 0) | (1u << 7));
    EXPECT_EQ(download.addresses[10], ArchiveAddressState::NoAnswer);
    EXPECT_EQ(download.addresses[63], ArchiveAddressState::Done);
    EXPECT_EQ(download.failedCommands[5], 0);
    EXPECT_TRUE(download.cleared.empty());
    EXPECT_EQ(steps.back().done, 63 * 32 + 31);
    EXPECT_EQ(steps.back().total, 2048);
}

// Another master on the line: collided frames went nowhere and go out again, so the upload reads
// what the gear hold.
TEST_F(ArchiveTransferTest, CollidedFramesGoOutAgain) {
    Sim().Faults().m_collideNextCommands = 4;
    const ArchiveUploadReport upload = UploadArchive(Terminal(), {});
    ASSERT_TRUE(upload.outcome.Ok()) << upload.outcome.text;
    EXPECT_EQ(upload.addresses[0], ArchiveAddressState::Done);
    EXPECT_EQ(upload.archive.ballasts[0].scenes[0], 200);
}

TEST_F(ArchiveTransferTest, DownloadOfAFileClearsTheKnownDevicesItLeavesOut) {
    // What a file listing only address 0 loads: every other address empty.
    Archive archive;
    archive.ballasts.fill(ArchiveBallast::Empty());
    archive.ballasts[0].scenes[3] = 30;
    archive.listed = std::set<std::int16_t>{0};
    KnowDevices({0, 5});
    EXPECT_EQ(ArchiveUnlistedDevices(archive, state), (std::vector<std::int16_t>{5}));
    archive.listed.reset();
    EXPECT_TRUE(ArchiveUnlistedDevices(archive, state).empty());
    archive.listed = std::set<std::int16_t>{0};

    // The confirm call decides: No sends nothing, and the question names the devices.
    std::vector<std::string> asked;
    bool answer = false;
    ArchiveTransferOptions options;
    options.confirmClearing = [&](const EngineNotice& question) {
        asked.push_back(NoticeBox(question, ctx.context.messages).text);
        return answer;
    };
    Sim().ClearFrameLog();
    const auto groupsBefore = GearAt(5).Groups();
    const ArchiveDownloadReport declined = DownloadArchive(Terminal(), archive, options);
    EXPECT_EQ(declined.outcome.failure, EngineFailure::Cancelled);
    EXPECT_TRUE(Sim().FrameLog().empty());
    EXPECT_EQ(GearAt(5).Groups(), groupsBefore);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], "1 " + ctx.context.messages.Load(5156) + ": 5.\r\n" +
                            ctx.context.messages.Load(5157) + "?");

    answer = true;
    const ArchiveDownloadReport report = DownloadArchive(Terminal(), archive, options);
    ASSERT_TRUE(report.outcome.Ok()) << report.outcome.text;
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
    // 63 answered too, though the device list does not know it.
    EXPECT_EQ(report.cleared, (std::vector<std::int16_t>{5, 63}));
    EXPECT_EQ(GearAt(0).SceneLevel(3), 30);
    EXPECT_EQ(GearAt(0).Groups(), 0u);
    for (int a : {5, 63}) {
        EXPECT_EQ(GearAt(a).Groups(), 0u);
        for (int n = 0; n < 16; ++n) EXPECT_EQ(GearAt(a).SceneLevel(n), 255) << a << "/" << n;
    }
}

TEST_F(ArchiveTransferTest, CancelEndsBetweenAddressesAndDsiModeSendsNothing) {
    Archive archive;
    archive.ballasts.fill(ArchiveBallast::Empty());
    ArchiveTransferOptions options;
    std::int16_t at = 0;
    options.progress = [&](const ProgressState& p) { at = *p.address; };
    options.cancel = [&] { return at >= 5; };
    Sim().ClearFrameLog();
    const ArchiveDownloadReport report = DownloadArchive(Terminal(), archive, options);
    EXPECT_EQ(report.outcome.failure, EngineFailure::Cancelled);
    EXPECT_FALSE(link.InProcedure());
    // Address 5 was started, and written whole: its last group is the last frame.
    EXPECT_EQ(report.addresses[5], ArchiveAddressState::Done);
    EXPECT_EQ(report.addresses[6], ArchiveAddressState::NotAsked);
    const auto& log = Sim().FrameLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().frame, ((2 * 5 + 1) << 8) | (0x70 + 15));
    EXPECT_EQ(GearAt(5).Groups(), 0u);
    for (const sim::SentFrame& f : log) {
        const bool toShortAddress = (f.frame & 0x8100) == 0x0100;
        if (toShortAddress) {
            EXPECT_LE(f.frame >> 9, 5) << f.frame;
        }
    }

    state.m_nOperationMode = kModeDsi;
    Sim().ClearFrameLog();
    EXPECT_EQ(UploadArchive(Terminal()).outcome.failure, EngineFailure::Refused);
    EXPECT_EQ(DownloadArchive(Terminal(), archive).outcome.failure, EngineFailure::Refused);
    EXPECT_TRUE(Sim().FrameLog().empty());
    EXPECT_TRUE(ctx.dialogs.boxes.empty());
}

class ArchiveTabAsClientTest : public AddressingRig {};

TEST_F(ArchiveTabAsClientTest, TabAndEngineSendTheSameFramesAtTheSameTimes) {
    const auto relative = [](const std::vector<sim::SentFrame>& log) {
        std::vector<std::pair<std::uint16_t, sim::Micros>> frames;
        for (const sim::SentFrame& f : log)
            frames.emplace_back(f.frame, f.endUs - log.front().endUs);
        return frames;
    };
    const auto menu = [&](const char* entry) {
        auto popup = control->mnuArchivOptions.OnPopup.Connect(
            [&](double, double) { control->mnuArchivOptions.ClickEntry(entry); });
        control->cmdArchivOptions.Click();
        control->mnuArchivOptions.OnPopup.Disconnect(popup);
    };
    UseLine("three-addressed.json", kFirmwareVariant);
    terminal->SetFrameLog(true);
    menu("mnuArchivOptionsUpload");
    const auto uploadViaTab = relative(terminal->FrameLog());
    control->gridScenes.SetTextMatrix(1, 3, "17");
    control->gridGroups.SetTextMatrix(6, 10, "1");
    terminal->ClearFrameLog();
    menu("mnuArchivOptionsDownload");
    const auto downloadViaTab = relative(terminal->FrameLog());

    EngineRig engine;
    engine.UseExampleLine("three-addressed.json", kFirmwareVariant);
    ArchiveUploadReport upload = UploadArchive(engine.line.Terminal());
    ASSERT_TRUE(upload.outcome.Ok());
    EXPECT_EQ(relative(engine.Sim().FrameLog()), uploadViaTab);
    upload.archive.ballasts[0].scenes[2] = 17;
    upload.archive.ballasts[5].groups[9] = true;
    // The tab writes a silent address's "?" as nothing, as the engine's unknown values.
    engine.Sim().ClearFrameLog();
    ASSERT_TRUE(DownloadArchive(engine.line.Terminal(), upload.archive).outcome.Ok());
    EXPECT_EQ(relative(engine.Sim().FrameLog()), downloadViaTab);
    EXPECT_GT(downloadViaTab.size(), uploadViaTab.size());
}

}  // namespace
}  // namespace zd::test
