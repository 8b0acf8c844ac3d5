// The round an engineer makes on site, in the window: identify a luminaire (the tree's menu, the
// luminaire bar), name it in the site file (the bar), and the naming round that walks the
// unnamed devices one by one. The tree's device nodes show their luminaire's name.
#include <QAction>
#include <QKeySequence>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <algorithm>
#include <string>

#include "engine/Identify.h"
#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/LuminaireDock.h"
#include "gui/MainWindow.h"
#include "gui/Texts.h"
#include "gui/WindowHost.h"
#include "gui/WindowRun.h"
#include "maintenance/SiteNames.h"
#include "platform/Error.h"
#include "store/IniRegistry.h"

namespace zd {

namespace {

// The key the tree binding gives each node's item ("05Device", "05Groups", "Root").
constexpr int kNodeKeyRole = Qt::UserRole + 2;
// "Device #05" and the luminaire after a dash.
const QString kNameSeparator = QStringLiteral(" \u2013 ");
// Long enough to walk to a luminaire and look for it; the round's buttons end it sooner.
constexpr int kRoundIdentifySeconds = 60;

std::optional<int> NodeAddress(const QTreeWidgetItem* item) {
    if (!item) return std::nullopt;
    const QString key = item->data(0, kNodeKeyRole).toString();
    bool number = false;
    const int address = key.left(2).toInt(&number);
    if (!number || key.size() < 3 || address < 0 || address > 63) return std::nullopt;
    return address;
}

QTreeWidget* DeviceTree(QMainWindow* window) {
    return window ? window->findChild<QTreeWidget*>(QStringLiteral("treeDevices")) : nullptr;
}

// The devices of the control's list, ascending.
std::vector<int> KnownDevices(configZD4270& control) {
    std::vector<int> addresses;
    if (const auto& devices = control.EngineLine().Terminal().state.devices)
        for (const auto& [key, device] : devices->Items())
            if (device) addresses.push_back(device->m_nShortAddress);
    std::sort(addresses.begin(), addresses.end());
    return addresses;
}

}  // namespace

std::string WindowHost::SitePath() const {
    if (!m_current.siteFile.empty()) return m_current.siteFile;
    // Beside the store's file; a store that is no file (a test's) has no site file of its own.
    const auto* store = dynamic_cast<const IniRegistry*>(&m_registry);
    return store ? DefaultSitePath(store->FileName()) : std::string();
}

void WindowHost::AddLuminaireDock() {
    m_round = false;
    m_roundNext = false;
    m_shownDevice.reset();
    m_luminaire = new LuminaireDock(TextLanguage(), m_window.get());
    m_window->addDockWidget(Qt::RightDockWidgetArea, m_luminaire);
    m_luminaire->hide();
    // View > Luminaire bar, beside the window's other docks.
    for (QAction* action : m_window->menuBar()->actions()) {
        if (!action->menu() || action->text() != Tr(TextLanguage(), "&View")) continue;
        QAction* toggle = m_luminaire->toggleViewAction();
        toggle->setText(Tr(TextLanguage(), "&Luminaire bar"));
        toggle->setShortcut(QKeySequence(QStringLiteral("Ctrl+I")));
        action->menu()->addAction(toggle);
    }
    m_luminaire->onIdentify = [this] {
        if (m_shownDevice)
            IdentifyDevice(*m_shownDevice,
                           m_round ? kRoundIdentifySeconds : kIdentifyDefaultSeconds);
    };
    m_luminaire->onSave = [this](const LuminaireFields& fields) {
        if (m_shownDevice)
            NameDevice(*m_shownDevice, fields.name, fields.room, fields.floor, fields.note);
    };
    m_luminaire->onNext = [this](const LuminaireFields& fields) {
        if (!m_round || !m_shownDevice) return;
        if (!fields.name.empty() &&
            !NameDevice(*m_shownDevice, fields.name, fields.room, fields.floor, fields.note))
            return;
        m_roundNext = true;
        if (m_identifying) {
            // The identify ends, sets the level back, and the round goes on from there.
            m_cancelIdentify = true;
        } else {
            m_roundNext = false;
            QTimer::singleShot(0, this, [this] { NextInRound(); });
        }
    };
    m_luminaire->onSkip = [this] { m_luminaire->onNext({}); };
    m_luminaire->onEnd = [this] { EndRound(); };

    // An addressing run of the form's tabs may move named gear: their names follow once it ends.
    m_lastProcedure = ControlProgress(*m_control).what;
    m_unwatchAddressing = WatchControlProgress(*m_control, [this] {
        const std::string what = ControlProgress(*m_control).what;
        if (what == m_lastProcedure) return;
        const std::string ended = std::exchange(m_lastProcedure, what);
        if (!what.empty()) return;
        for (const char* addressing :
             {"random addressing", "physical selection", "change addresses"}) {
            if (ended != HostText(TextLanguage(), addressing)) continue;
            QTimer::singleShot(0, this, [this] {
                // A replacement follows its names itself, knowing which address it took over.
                if (!m_control || m_reporting || !ControlProgress(*m_control).what.empty()) return;
                WindowRun run(*m_control, m_boxes);
                FollowSiteNames(run);
            });
        }
    });

    QTreeWidget* tree = DeviceTree(m_window.get());
    if (!tree) return;
    connect(tree, &QTreeWidget::currentItemChanged, m_luminaire, [this](QTreeWidgetItem* item) {
        if (m_round) return;
        const std::optional<int> address = NodeAddress(item);
        if (address) {
            ShowLuminaire(address, false);
        } else {
            m_shownDevice.reset();
            m_luminaire->ShowNone();
        }
    });
    // The binding writes the model's texts into the items whenever the tree changes; the names
    // go after them once it has.
    const auto patch = [this] {
        if (!m_patchingTree) QTimer::singleShot(0, this, [this] { ShowSiteNames(); });
    };
    connect(tree->model(), &QAbstractItemModel::rowsInserted, this, patch);
    connect(tree->model(), &QAbstractItemModel::dataChanged, this, patch);
    ShowSiteNames();
}

void WindowHost::ShowSiteNames() {
    QTreeWidget* tree = DeviceTree(m_window.get());
    if (!tree || !m_control || m_patchingTree) return;
    SiteFile site;
    try {
        site = LoadSiteFile(SitePath());
    } catch (const ControlError&) {
        // Said when a name is saved or the round starts; the tree shows no names meanwhile.
    }
    const std::int32_t position = m_control->EngineLine().Terminal().position;
    m_patchingTree = true;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        QTreeWidgetItem* item = *it;
        const QString key = item->data(0, kNodeKeyRole).toString();
        const std::optional<int> address = NodeAddress(item);
        if (!address || !key.endsWith(QStringLiteral("Device"))) continue;
        QString text = item->text(0);
        const qsizetype dash = text.indexOf(kNameSeparator);
        if (dash >= 0) text.truncate(dash);
        if (const SiteEntry* entry = site.Find(position, static_cast<std::int16_t>(*address))) {
            text += kNameSeparator + QString::fromStdString(entry->name);
            if (!entry->room.empty())
                text += QStringLiteral(" (") + QString::fromStdString(entry->room) +
                        QStringLiteral(")");
        }
        if (item->text(0) != text) {
            item->setText(0, text);
            // The tree is narrow: the whole name shows when the pointer rests on it.
            item->setToolTip(0, text);
        }
    }
    m_patchingTree = false;
}

void WindowHost::ShowLuminaire(std::optional<int> address, bool reveal) {
    if (!m_luminaire || !m_control || !address) return;
    m_shownDevice = address;
    SiteFile site;
    try {
        site = LoadSiteFile(SitePath());
    } catch (const ControlError& e) {
        Say(e.Description(), MsgIcon::Exclamation);
    }
    const std::int32_t position = m_control->EngineLine().Terminal().position;
    std::string roundText;
    if (m_round) {
        const std::vector<int> devices = KnownDevices(*m_control);
        std::size_t named = 0;
        for (int device : devices)
            if (site.Find(position, static_cast<std::int16_t>(device))) ++named;
        roundText = HostText(TextLanguage(), "Naming round: %1 of %2 devices named.",
                             {std::to_string(named), std::to_string(devices.size())});
    }
    m_luminaire->ShowDevice(*address, site.Find(position, static_cast<std::int16_t>(*address)),
                            m_round, roundText);
    // Choosing a node only follows in a bar that is open; naming opens it.
    if (!reveal) return;
    m_luminaire->show();
    m_luminaire->raise();
    m_luminaire->NameEdit()->setFocus();
}

bool WindowHost::IdentifyDevice(int address, int seconds) {
    if (!m_control || !m_window) return false;
    // Another identify is refused by the engine with its own words, below.
    if (!m_identifying && !Idle()) return false;
    const Language language = TextLanguage();
    const bool outer = !m_identifying;
    if (outer) {
        m_identifying = true;
        m_cancelIdentify = false;
    }
    QStatusBar* status = m_window->statusBar();
    const std::string showing =
        HostText(language, "Device %1 shows itself.", {std::to_string(address)});
    if (outer && m_luminaire) m_luminaire->SetIdentifying(true, showing);
    const IdentifyReport report = RunIdentify(
        m_control->EngineLine(), {static_cast<std::int16_t>(address), seconds, IdentifyMode::Flash},
        [&](const ProgressState& progress) {
            status->showMessage(Tr(language, "Device %1 shows itself: %2 s left.",
                                   {std::to_string(address),
                                    std::to_string((progress.leftMs.value_or(0) + 999) / 1000)}));
        },
        [this] { return m_cancelIdentify; });
    if (!outer) {
        Say(report.outcome.text, MsgIcon::Information);
        return false;
    }
    m_identifying = false;
    m_cancelIdentify = false;
    if (m_window) status->clearMessage();
    if (m_luminaire) m_luminaire->SetIdentifying(false);
    if (!report.outcome.Ok() && report.outcome.failure != EngineFailure::Cancelled)
        Say(report.outcome.text, report.outcome.failure == EngineFailure::Refused
                                     ? MsgIcon::Information
                                     : MsgIcon::Exclamation);
    if (m_roundNext) {
        m_roundNext = false;
        QTimer::singleShot(0, this, [this] { NextInRound(); });
    }
    return report.outcome.Ok();
}

bool WindowHost::NameDevice(int address, const std::string& name, const std::string& room,
                            const std::string& floor, const std::string& note) {
    if (!m_control) return false;
    const Language language = TextLanguage();
    if (name.empty()) {
        Say(HostText(language, "Give the luminaire a name."), MsgIcon::Information);
        return false;
    }
    const std::string path = SitePath();
    try {
        // A site file that cannot be read is not written over: the names it holds stay.
        SiteFile site = LoadSiteFile(path);
        EngineTerminal& terminal = m_control->EngineLine().Terminal();
        SiteNaming naming{terminal.position,
                          static_cast<std::int16_t>(address),
                          std::nullopt,
                          name,
                          room,
                          floor,
                          note};
        if (terminal.state.m_nOperationMode == kModeDali)
            naming.randomAddress = ReadRandomAddress(terminal, naming.shortAddress);
        ApplySiteNaming(site, naming);
        SaveSiteFile(path, site);
    } catch (const ControlError& e) {
        Say(HostText(language, "The name was not saved: %1", {e.Description()}),
            MsgIcon::Exclamation);
        return false;
    }
    ShowSiteNames();
    if (m_window)
        m_window->statusBar()->showMessage(
            Tr(language, "Device %1 is named \"%2\".", {std::to_string(address), name}), 5000);
    return true;
}

void WindowHost::StartNamingRound() {
    if (!m_control || !m_luminaire || m_round || !Idle()) return;
    try {
        LoadSiteFile(SitePath());
    } catch (const ControlError& e) {
        Say(HostText(TextLanguage(), "The name was not saved: %1", {e.Description()}),
            MsgIcon::Exclamation);
        return;
    }
    if (KnownDevices(*m_control).empty()) {
        Say(HostText(TextLanguage(), "The tree holds no device: scan the line first."),
            MsgIcon::Information);
        return;
    }
    m_round = true;
    m_roundAddress = -1;
    NextInRound();
}

void WindowHost::NextInRound() {
    if (!m_round || !m_control) return;
    SiteFile site;
    try {
        site = LoadSiteFile(SitePath());
    } catch (const ControlError&) {
    }
    const std::int32_t position = m_control->EngineLine().Terminal().position;
    std::optional<int> next;
    for (int address : KnownDevices(*m_control)) {
        if (address > m_roundAddress && !site.Find(position, static_cast<std::int16_t>(address))) {
            next = address;
            break;
        }
    }
    if (!next) {
        EndRound();
        Say(HostText(TextLanguage(), "The naming round is over: every device was offered."),
            MsgIcon::Information);
        return;
    }
    m_roundAddress = *next;
    ShowLuminaire(next);
    QTimer::singleShot(0, this, [this, address = *next] {
        if (m_round && m_roundAddress == address) IdentifyDevice(address, kRoundIdentifySeconds);
    });
}

void WindowHost::EndRound() {
    m_round = false;
    m_roundNext = false;
    if (m_identifying) m_cancelIdentify = true;
    if (m_shownDevice && m_luminaire) ShowLuminaire(m_shownDevice);
}

void WindowHost::AddSiteNamesTo(Json& document) {
    if (!m_control) return;
    try {
        AddSiteNames(document, LoadSiteFile(SitePath()),
                     m_control->EngineLine().Terminal().position);
    } catch (const ControlError&) {
        // A site file that cannot be read leaves the names out; naming says why.
    }
}

void WindowHost::NameBackup(LineBackup& backup) {
    if (!m_control) return;
    try {
        AddSiteNamesToBackup(backup, LoadSiteFile(SitePath()),
                             m_control->EngineLine().Terminal().position);
    } catch (const ControlError&) {
    }
}

void WindowHost::RestoreBackupNames(ControlRun& run, const LineBackup& backup,
                                    const Json& document) {
    if (!m_control || std::none_of(backup.devices.begin(), backup.devices.end(),
                                   [](const DeviceBackup& d) { return d.luminaire.has_value(); }))
        return;
    std::vector<std::int16_t> replaced;
    for (const Json& plan : document.value("plan", Json::array()))
        if (plan.value("state", "") == "replaced")
            replaced.push_back(plan.at("shortAddress").get<std::int16_t>());
    const std::int32_t position = m_control->EngineLine().Terminal().position;
    try {
        SiteFile site = LoadSiteFile(SitePath());
        RestoreSiteNames(backup, site, position);
        zd::FollowSiteNames(run, site, position, replaced);
        SaveSiteFile(SitePath(), site);
    } catch (const ControlError& e) {
        Say(HostText(TextLanguage(), "The name was not saved: %1", {e.Description()}),
            MsgIcon::Exclamation);
    }
    ShowSiteNames();
}

void WindowHost::FollowSiteNames(ControlRun& run, const std::vector<std::int16_t>& replaced) {
    if (!m_control || m_control->State().m_nOperationMode != kModeDali) return;
    const std::int32_t position = m_control->EngineLine().Terminal().position;
    try {
        SiteFile site = LoadSiteFile(SitePath());
        if (!zd::FollowSiteNames(run, site, position, replaced).empty())
            SaveSiteFile(SitePath(), site);
    } catch (const ControlError& e) {
        Say(HostText(TextLanguage(), "The name was not saved: %1", {e.Description()}),
            MsgIcon::Exclamation);
    }
    ShowSiteNames();
}

}  // namespace zd
