// The archive tab of configZD4270: the two grids' views, the options menu with open, save,
// download and upload, and the optical feedback box. Upload and download run to their end in one
// call and let the user interface process its messages after every step.
#include <algorithm>
#include <cmath>
#include <functional>

#include "archive/ArchiveFile.h"
#include "devices/NumericText.h"
#include "frame/configZD4270.h"
#include "link/Commands.h"
#include "platform/Error.h"

namespace zd {

namespace {

constexpr int kArchivOpenFlags = 6148;  // file and path must exist, no read-only box
constexpr int kArchivSaveFlags = 6;     // ask before overwriting, no read-only box
constexpr double kArchivMenuX = 400;
constexpr double kArchivMenuY = 8560;
constexpr double kUploadSteps = kArchiveAddresses * 16;
constexpr double kDownloadSteps = kArchiveAddresses * 32;

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

void configZD4270::ArchivProgress(double value) {
    prgArchiv.SetValue(value);
    m_context.scheduler.DoEvents();
}

Result configZD4270::ArchivSend(std::int16_t nCommandId, std::uint8_t nData, std::int16_t nAddr) {
    AddressKind nAddrType = AddressKind::Short;
    return m_link.SendDALICommand(nCommandId, nData, nAddrType, nAddr, nullptr);
}

Result configZD4270::ArchivQuery(std::int16_t nCommandId, std::uint8_t nData, std::int16_t nAddr,
                                 std::uint8_t& nAnswer) {
    const Result result = ArchivSend(nCommandId, nData, nAddr);
    if (result != Result::Done) return result;
    return m_link.ReceiveDALIData(nAnswer, nullptr);
}

void configZD4270::mnuArchivOptionsUpload_Click() {
    if (RefuseArchivInDsiMode()) return;
    // The grids now hold what the devices hold: no row stands for a gear left out of a file.
    m_archivListed.reset();
    LockArchivTab(kUploadSteps);
    m_archivTransfer = ArchivTransfer::Upload;
    m_link.BeginProcedure();
    for (std::int16_t address = 0; address < kArchiveAddresses; ++address) {
        const int row = address + 1;
        m_nArchivAddress = address;
        // The connection is gone (its box has been shown): the rows read so far stay, and the
        // rest are marked as not read rather than each failing with a box of its own.
        if (m_link.CommunicationLost()) {
            for (int col = 1; col <= kArchiveColumns; ++col) {
                gridScenes.SetTextMatrix(row, col, "?");
                gridGroups.SetTextMatrix(row, col, "?");
            }
            continue;
        }
        int scene = 0;
        bool bFailed = false;
        for (; scene < kArchiveColumns; ++scene) {
            std::uint8_t level = 0;
            if (ArchivQuery(kCmdQuerySceneLevel, static_cast<std::uint8_t>(scene), address,
                            level) != Result::Done) {
                bFailed = true;
                break;
            }
            gridScenes.SetTextMatrix(row, scene + 1, level > 254 ? "" : std::to_string(level));
            ArchivProgress(address * 16 + scene + 1);
        }
        if (bFailed) {
            for (int col = 1; col <= kArchiveColumns; ++col) {
                gridScenes.SetTextMatrix(row, col, "?");
                gridGroups.SetTextMatrix(row, col, "?");
            }
            ArchivProgress(address * 16 + scene + 1);
            continue;
        }
        // Groups 0-7, then 8-15; a half that gets no answer stays empty rather than showing a
        // byte that was never received.
        const std::int16_t groupQueries[] = {kCmdQueryGroups0To7, kCmdQueryGroups8To15};
        for (int half = 0; half < 2; ++half) {
            std::uint8_t bits = 0;
            const bool bAnswered =
                ArchivQuery(groupQueries[half], 0, address, bits) == Result::Done;
            for (int bit = 0; bit < 8; ++bit) {
                const std::string text = !bAnswered ? "" : ((bits >> bit) & 1) ? "1" : "0";
                gridGroups.SetTextMatrix(row, half * 8 + bit + 1, text);
            }
        }
    }
    m_link.EndProcedure();
    UnlockArchivTab();
}

std::vector<std::int16_t> configZD4270::ArchivUnlistedDevices() const {
    std::vector<std::int16_t> unlisted;
    if (!m_archivListed || !m_state.devices) return unlisted;
    for (const auto& [key, device] : m_state.devices->Items()) {
        if (m_archivListed->count(device->m_nShortAddress) == 0)
            unlisted.push_back(device->m_nShortAddress);
    }
    std::sort(unlisted.begin(), unlisted.end());
    return unlisted;
}

void configZD4270::mnuArchivOptionsDownload_Click() {
    if (RefuseArchivInDsiMode()) return;
    // Every address is written: a gear that the loaded archive does not list loses its groups
    // and scenes. The devices known to be such are named before anything is sent.
    const std::vector<std::int16_t> unlisted = ArchivUnlistedDevices();
    if (!unlisted.empty()) {
        const MessageCatalogue& msg = m_context.messages;
        std::string addresses;
        for (const std::int16_t address : unlisted)
            addresses += (addresses.empty() ? "" : ", ") + std::to_string(address);
        const MsgResult answer =
            m_context.dialogs.MessageBox({std::to_string(unlisted.size()) + " " + msg.Load(5156) +
                                              ": " + addresses + ".\r\n" + msg.Load(5157) + "?",
                                          MsgButtons::YesNo, MsgIcon::Question, msg.Load(5098)});
        if (answer != MsgResult::Yes) return;
    }
    m_archivCleared.clear();
    LockArchivTab(kDownloadSteps);
    m_archivTransfer = ArchivTransfer::Download;
    m_link.BeginProcedure();
    for (std::int16_t address = 0; address < kArchiveAddresses; ++address) {
        m_nArchivAddress = address;
        // The connection is gone (its box has been shown): nothing more can be written.
        if (m_link.CommunicationLost()) break;
        const int row = address + 1;
        ArchivProgress(address * 32);
        std::uint8_t answer = 0;
        if (ArchivQuery(kCmdQueryBallast, 0, address, answer) != Result::Done) continue;
        if (m_archivListed && m_archivListed->count(address) == 0)
            m_archivCleared.push_back(address);

        for (int scene = 0; scene < kArchiveColumns; ++scene) {
            ArchivProgress(address * 32 + scene);
            const std::string& text = gridScenes.TextMatrix(row, scene + 1);
            std::uint8_t level = kDaliMask;
            if (IsNumericText(text)) {
                level = ArchiveCellByte(text);
            } else if (!text.empty()) {
                continue;  // "?" and other marks write nothing
            }
            if (ArchivSend(kCmdDataTransferRegister, level, address) == Result::Done)
                ArchivSend(kCmdStoreDtrAsScene, static_cast<std::uint8_t>(scene), address);
        }
        for (int group = 0; group < kArchiveColumns; ++group) {
            ArchivProgress(address * 32 + 16 + group);
            const std::string& text = gridGroups.TextMatrix(row, group + 1);
            if (!IsNumericText(text)) continue;
            ArchivSend(ArchiveCellByte(text) != 0 ? kCmdAddToGroup : kCmdRemoveFromGroup,
                       static_cast<std::uint8_t>(group), address);
        }
    }
    m_link.EndProcedure();
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
