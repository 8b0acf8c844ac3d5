// The archive tab of configZD4270: the two grids' views, the options menu with open, save,
// download and upload, and the optical feedback box. Upload and download are the engine's
// transfers, run to their end in one call; the tab locks itself, moves its bar and shows the grids.
#include <cmath>
#include <functional>

#include "archive/ArchiveGrids.h"
#include "devices/NumericText.h"
#include "engine/ArchiveTransfer.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr int kArchivOpenFlags = 6148;  // file and path must exist, no read-only box
constexpr int kArchivSaveFlags = 6;     // ask before overwriting, no read-only box
constexpr double kArchivMenuX = 400;
constexpr double kArchivMenuY = 8560;
constexpr double kUploadSteps = kArchiveAddresses * kDeviceSceneCount;
constexpr double kDownloadSteps = kArchiveAddresses * (kDeviceSceneCount + kDeviceGroupCount);

}  // namespace

void configZD4270::CreateScenesView() {
    for (int row = 1; row <= kArchiveAddresses; ++row)
        for (int col = 1; col <= kArchiveColumns; ++col) gridScenes.SetTextMatrix(row, col, "");
}

void configZD4270::CreateGroupsView() {
    for (int row = 1; row <= kArchiveAddresses; ++row)
        for (int col = 1; col <= kArchiveColumns; ++col) gridGroups.SetTextMatrix(row, col, "");
}

void configZD4270::ConnectArchivHandlers() {
    cmdArchivOptions.Clicked.Connect([this] {
        Guard(m_context, "cmdArchivOptions_Click", [this] { cmdArchivOptions_Click(); });
    });
    mnuArchivOptions.Clicked.Connect([this](const std::string& entry) {
        if (entry == "mnuArchivOptionsLoad") {
            RunArchivHandler("mnuArchivOptionsLoad_Click",
                             [this] { mnuArchivOptionsLoad_Click(); });
        } else if (entry == "mnuArchivOptionsSave") {
            RunArchivHandler("mnuArchivOptionsSave_Click",
                             [this] { mnuArchivOptionsSave_Click(); });
        } else if (entry == "mnuArchivOptionsDownload") {
            RunArchivHandler("mnuArchivOptionsDownload_Click",
                             [this] { mnuArchivOptionsDownload_Click(); });
        } else if (entry == "mnuArchivOptionsUpload") {
            RunArchivHandler("mnuArchivOptionsUpload_Click",
                             [this] { mnuArchivOptionsUpload_Click(); });
        }
    });
    chkArchivOpticalSelectionFeedback.Clicked.Connect([this] {
        Guard(m_context, "chkArchivOpticalSelectionFeedback_Click",
              [this] { chkArchivOpticalSelectionFeedback_Click(); });
    });
}

void configZD4270::RunArchivHandler(std::string_view procedure, const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
        m_link.EndProcedure();
        ReportCurrentException(m_context, procedure);
        IgnoreErrors([this] { UnlockArchivTab(); });
    }
}

void configZD4270::cmdArchivOptions_Click() {
    mnuArchivOptions.Popup(scrolledWindow.GetXOffset() + kArchivMenuX,
                           std::round(scrolledWindow.GetYOffset() + kArchivMenuY));
}

void configZD4270::ArchivSave(const std::string& fileName) {
    SaveArchiveFile(fileName, gridScenes, gridGroups);
}

void configZD4270::ArchivLoad(const std::string& fileName) {
    Guard(m_context, "ArchivLoad", [&] {
        XmlDocument document;
        if (!document.Load(fileName, kArchiveInput)) {
            ShowCritical(ArchiveParseErrorText(document.ParseError().value_or(XmlParseError{})));
            return;
        }
        // A file without the expected loop changes nothing and says nothing.
        std::set<std::int16_t> listed;
        if (LoadArchive(document, gridScenes, gridGroups, &listed)) m_archivListed = listed;
    });
}

std::optional<std::string> configZD4270::AskArchivFile(bool bSave) {
    const MessageCatalogue& msg = m_context.messages;
    FileDialogRequest request;
    request.save = bSave;
    request.title = msg.Load(bSave ? 5129 : 5128);
    request.filter = msg.Load(5127);
    request.flags = bSave ? kArchivSaveFlags : kArchivOpenFlags;
    if (bSave) request.defaultExtension = "xml";
    std::optional<std::string> fileName;
    IgnoreErrors([&] { fileName = m_context.dialogs.FileDialog(request); });
    if (fileName && fileName->empty()) fileName.reset();
    return fileName;
}

void configZD4270::mnuArchivOptionsLoad_Click() {
    const std::optional<std::string> fileName = AskArchivFile(false);
    if (!fileName) return;
    EnableArchivFileControls(false);
    ArchivLoad(*fileName);
    EnableArchivFileControls(true);
}

void configZD4270::mnuArchivOptionsSave_Click() {
    const std::optional<std::string> fileName = AskArchivFile(true);
    if (!fileName) return;
    EnableArchivFileControls(false);
    ArchivSave(*fileName);
    EnableArchivFileControls(true);
}

void configZD4270::EnableArchivFileControls(bool bEnable) {
    tabMain.SetEnabled(bEnable);
    tabArchiv.SetEnabled(bEnable);
    cmdArchivOptions.SetEnabled(bEnable);
    chkArchivOpticalSelectionFeedback.SetEnabled(bEnable);
}

bool configZD4270::RefuseArchivInDsiMode() {
    if (m_state.m_nOperationMode != kModeDsi) return false;
    const MessageCatalogue& msg = m_context.messages;
    IgnoreErrors([&] {
        m_context.dialogs.MessageBox(
            {msg.Load(5122) + "!", MsgButtons::Ok, MsgIcon::Information, msg.Load(5098)});
    });
    return true;
}

void configZD4270::LockArchivTab(double progressMax) {
    tabMain.SetEnabled(false);
    tabArchiv.SetEnabled(false);
    cmdArchivOptions.SetVisible(false);
    chkArchivOpticalSelectionFeedback.SetVisible(false);
    prgArchiv.SetRange(0, progressMax);
    prgArchiv.SetValue(0);
    prgArchiv.SetVisible(true);
}

void configZD4270::UnlockArchivTab() {
    m_archivTransfer = ArchivTransfer::None;
    EnableArchivFileControls(true);
    cmdArchivOptions.SetVisible(true);
    chkArchivOpticalSelectionFeedback.SetVisible(true);
    prgArchiv.SetVisible(false);
    prgArchiv.SetValue(0);
}

namespace {

// The scene cell of an archive entry: a level, empty for not in the scene, and "?" unknown.
std::string SceneCell(const std::optional<std::uint8_t>& level) {
    if (!level) return "?";
    return *level == kArchiveNotInScene ? std::string() : std::to_string(*level);
}

}  // namespace

void configZD4270::ShowArchivUpload(const ArchiveUploadReport& report) {
    for (int address = 0; address < kArchiveAddresses; ++address) {
        const int row = address + 1;
        const ArchiveBallast& ballast = report.archive.ballasts[static_cast<std::size_t>(address)];
        const bool read =
            report.addresses[static_cast<std::size_t>(address)] == ArchiveAddressState::Done;
        for (int n = 0; n < kArchiveColumns; ++n) {
            const std::size_t i = static_cast<std::size_t>(n);
            gridScenes.SetTextMatrix(row, n + 1, read ? SceneCell(ballast.scenes[i]) : "?");
            // A group half that got no answer stays empty rather than showing a byte that was
            // never received.
            const std::string group = !ballast.groups[i] ? "" : *ballast.groups[i] ? "1" : "0";
            gridGroups.SetTextMatrix(row, n + 1, read ? group : "?");
        }
    }
}

Archive configZD4270::ArchivFromGrids() const {
    Archive archive;
    archive.listed = m_archivListed;
    for (int address = 0; address < kArchiveAddresses; ++address) {
        const int row = address + 1;
        ArchiveBallast& ballast = archive.ballasts[static_cast<std::size_t>(address)];
        for (int n = 0; n < kArchiveColumns; ++n) {
            const std::size_t i = static_cast<std::size_t>(n);
            // An empty scene cell takes the gear out of the scene; "?" and other marks write
            // nothing, and so does a group cell that holds no number.
            const std::string& scene = gridScenes.TextMatrix(row, n + 1);
            if (IsNumericText(scene)) {
                ballast.scenes[i] = ArchiveCellByte(scene);
            } else if (scene.empty()) {
                ballast.scenes[i] = kArchiveNotInScene;
            }
            const std::string& group = gridGroups.TextMatrix(row, n + 1);
            if (IsNumericText(group)) ballast.groups[i] = ArchiveCellByte(group) != 0;
        }
    }
    return archive;
}

ArchiveTransferOptions configZD4270::ArchivTransferView(const char* procedure) {
    ArchiveTransferOptions options;
    options.errorProcedure = procedure;
    options.progress = [this](const ProgressState& progress) {
        const int address = progress.address.value_or(0);
        m_nArchivAddress = static_cast<std::int16_t>(address);
        if (progress.archiveRead) {
            for (int n = 0; n < kArchiveColumns; ++n) {
                const auto& level = progress.archiveRead->scenes[static_cast<std::size_t>(n)];
                if (level) gridScenes.SetTextMatrix(address + 1, n + 1, SceneCell(level));
            }
        } else if (progress.stage == ProgressStage::Reading) {
            // An address that did not answer is marked as not read as soon as the upload passes
            // it, as the rows read are shown as they come.
            for (int n = 0; n < kArchiveColumns; ++n) {
                gridScenes.SetTextMatrix(address + 1, n + 1, "?");
                gridGroups.SetTextMatrix(address + 1, n + 1, "?");
            }
        }
        prgArchiv.SetValue(progress.done);
    };
    return options;
}

void configZD4270::mnuArchivOptionsUpload_Click() {
    if (RefuseArchivInDsiMode()) return;
    // The grids now hold what the devices hold: no row stands for a gear left out of a file.
    m_archivListed.reset();
    LockArchivTab(kUploadSteps);
    m_archivTransfer = ArchivTransfer::Upload;
    const ArchiveUploadReport report = UploadArchive(
        m_addressingLine.Terminal(), ArchivTransferView("mnuArchivOptionsUpload_Click"));
    ShowArchivUpload(report);
    UnlockArchivTab();
}

std::vector<std::int16_t> configZD4270::ArchivUnlistedDevices() const {
    Archive listed;
    listed.listed = m_archivListed;
    return ArchiveUnlistedDevices(listed, m_state);
}

void configZD4270::mnuArchivOptionsDownload_Click() {
    if (RefuseArchivInDsiMode()) return;
    // Every address is written: a gear that the loaded archive does not list loses its groups
    // and scenes. The devices known to be such are named before anything is sent.
    const std::vector<std::int16_t> unlisted = ArchivUnlistedDevices();
    if (!unlisted.empty() &&
        m_context.dialogs.MessageBox(
            NoticeBox(ArchiveClearingQuestion(unlisted), m_context.messages)) != MsgResult::Yes)
        return;
    m_archivCleared.clear();
    // A cell that is no byte stops the download before anything is sent.
    const Archive archive = ArchivFromGrids();
    LockArchivTab(kDownloadSteps);
    m_archivTransfer = ArchivTransfer::Download;
    const ArchiveDownloadReport report = DownloadArchive(
        m_addressingLine.Terminal(), archive, ArchivTransferView("mnuArchivOptionsDownload_Click"));
    m_archivCleared = report.cleared;
    UnlockArchivTab();
}

void configZD4270::chkArchivOpticalSelectionFeedback_Click() {
    if (!chkArchivOpticalSelectionFeedback.IsChecked() || m_state.m_nOperationMode != kModeDali)
        return;
    std::int16_t nCommandId = kCmdOff;
    std::uint8_t nData = 0;
    AddressKind nAddrType = AddressKind::Broadcast;
    std::int16_t nAddr = 0;
    m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
}

}  // namespace zd
