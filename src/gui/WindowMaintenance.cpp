// The window's entries for the years after hand-over: Connection > Back up line..., Restore
// line... and Replace a device... (the backup's addresses that no longer answer, to choose from),
// and "Replace this device..." in the menu of a device's node when the device does not answer.
// Each runs what the command line runs, on the window's control.
#include <QFileDialog>
#include <QInputDialog>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <exception>
#include <string>

#include "engine/LineCommands.h"
#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/MainWindow.h"
#include "gui/Texts.h"
#include "gui/WindowHost.h"
#include "gui/WindowRun.h"
#include "link/Commands.h"
#include "maintenance/DeviceJson.h"
#include "maintenance/GearReplacement.h"
#include "maintenance/LineBackup.h"
#include "platform/Error.h"

namespace zd {

namespace {

// A device node reads "Device #05" (and its luminaire's name after it); its pages' nodes hang
// below it.
std::optional<int> DeviceAddressOf(const QTreeWidgetItem* item) {
    for (; item; item = item->parent()) {
        const QString text = item->text(0);
        const qsizetype hash = text.indexOf(QLatin1Char('#'));
        bool number = false;
        const int address = hash < 0 ? -1 : text.mid(hash + 1, 2).toInt(&number);
        if (number && address >= 0 && address <= kMaxShortAddress) return address;
    }
    return std::nullopt;
}

// QUERY CONTROL GEAR, asked twice before silence is believed.
bool DeviceAnswers(configZD4270& control, int address) {
    EngineTerminal& terminal = control.EngineLine().Terminal();
    const LineCommand query{kCmdQueryBallast, 0, AddressKind::Short,
                            static_cast<std::int16_t>(address)};
    for (int ask = 0; ask < 2; ++ask) {
        LineCommandResult result = SendLineCommand(terminal, query);
        ReceiveLineAnswer(terminal, result);
        if (result.answerResult != Result::Timeout) return true;
    }
    return false;
}

QString BackupFilter(Language language) {
    return Tr(language, "Line backups (*.json)");
}

}  // namespace

template <typename Body>
bool WindowHost::RunMaintenance(const char* failureText, Body body) {
    if (!m_control || !Idle()) return false;
    const Language language = TextLanguage();
    m_reporting = true;
    m_window->centralWidget()->setEnabled(false);
    bool done = false;
    std::string failure;
    try {
        WindowRun run(*m_control, m_boxes);
        body(run, *m_window->statusBar());
        done = true;
    } catch (const CommandFailed& e) {
        failure = e.Text(language);
    } catch (const ControlError& e) {
        failure = HostMessage(language, e.Description());
    } catch (const std::exception& e) {
        failure = e.what();
    }
    m_reporting = false;
    if (m_window) {
        m_window->centralWidget()->setEnabled(true);
        m_window->statusBar()->clearMessage();
    }
    if (!done) Say(HostText(language, failureText, {failure}), MsgIcon::Critical);
    return done;
}

bool WindowHost::BackUpLine(const std::string& path) {
    const Language language = TextLanguage();
    std::string result;
    const bool done = RunMaintenance(
        "The backup could not be made: %1", [&](ControlRun& run, QStatusBar& status) {
            std::vector<UnreadDevice> unread;
            LineBackup backup = ReadLineBackup(run, unread, [&](const ProgressState& progress) {
                status.showMessage(
                    Tr(language, "backup: reading device %1 of %2",
                       {std::to_string(progress.done + 1), std::to_string(progress.total)}));
            });
            NameBackup(backup);
            SaveLineBackup(path, backup);
            std::vector<int> left;
            for (const UnreadDevice& device : unread) left.push_back(device.shortAddress);
            result = HostText(language, "Devices backed up to %2: %1.",
                              {std::to_string(backup.devices.size()), path});
            if (!left.empty())
                result += "\r\n" + HostText(language, "Not read, and not in the backup: %1",
                                            {NumberList(left)});
        });
    if (done) Say(result, MsgIcon::Information);
    return done;
}

bool WindowHost::RestoreLine(const std::string& path) {
    const Language language = TextLanguage();
    std::string result;
    const bool done =
        RunMaintenance("The restore did not finish: %1", [&](ControlRun& run, QStatusBar& status) {
            const LineBackup file = LoadLineBackup(path, language);
            const Json document = RunRestore(
                run, file, path, false,
                [&](const ProgressState& progress) {
                    const bool reading = progress.stage == ProgressStage::Reading;
                    status.showMessage(
                        Tr(language,
                           reading ? "restore: reading device %1 of %2"
                                   : "restore: writing device %1 of %2",
                           {std::to_string(progress.done + 1), std::to_string(progress.total)}));
                },
                /*acceptOtherGear=*/true);  // the question names the mismatch first
            RestoreBackupNames(run, file, document);
            const Json& summary = document.at("summary");
            result = HostText(language,
                              "The line holds what %1 holds. Devices written: %2; already as in "
                              "the file: %3; new: %4.",
                              {path, std::to_string(document.at("written").size()),
                               summary.at("unchanged").dump(), summary.at("new").dump()});
        });
    if (done) Say(result, MsgIcon::Information);
    return done;
}

bool WindowHost::ReplaceDevice(int address, const std::string& backupPath) {
    const Language language = TextLanguage();
    std::string result;
    const bool done = RunMaintenance("The device was not replaced: %1", [&](ControlRun& run,
                                                                            QStatusBar& status) {
        const LineBackup backup = LoadLineBackup(backupPath, language);
        configZD4270& control = *Control();
        status.showMessage(Tr(language, "Replacing device %1...", {std::to_string(address)}));
        // The new gear is found by the addressing tab's random addressing, from the failed
        // gear's address on and without a new installation, as the user would start it.
        const Json document = RunReplace(run, backup, backupPath, address, false, [&] {
            control.chkRndAddrCompleteNewInstallation.SetChecked(false);
            control.chkRndAddrDeleteAllGroupAssignments.SetChecked(false);
            control.chkRndAddrDeleteAllScenes.SetChecked(false);
            control.cboRndAddrStartAddress.SetListIndex(address);
            const std::size_t mark = run.BoxCount();
            control.cmdRndAddrStart.Click();
            if (!control.RndAddrRunning()) {
                // The window's Start button said why in its box.
                const auto& shown = m_boxes.Shown();
                throw CommandFailed(
                    shown.size() > mark
                        ? shown.back().text
                        : HostText(language, "the random addressing did not start"));
            }
            if (!run.RunUntil([&] { return !control.RndAddrRunning(); }))
                throw CommandFailed(HostWording("the random addressing did not end in time", {}));
            FailOnErrorBox(run, mark);
            return Json{{"recovered", RecoveredJson(control.EngineLine())}};
        });
        FollowSiteNames(run, {static_cast<std::int16_t>(address)});
        result =
            HostText(language,
                     "The new gear (random address %1) has address %2 and the settings "
                     "of the gear it replaces.",
                     {document.at("randomAddress").get<std::string>(), std::to_string(address)});
    });
    if (done) Say(result, MsgIcon::Information);
    return done;
}

std::optional<std::vector<int>> WindowHost::SilentBackupAddresses(const std::string& backupPath) {
    if (!m_control || !Idle()) return std::nullopt;
    const Language language = TextLanguage();
    LineBackup backup;
    try {
        backup = LoadLineBackup(backupPath, language);
    } catch (const ControlError& e) {
        Say(e.Description(), MsgIcon::Critical);
        return std::nullopt;
    }
    std::vector<int> silent;
    m_window->statusBar()->showMessage(Tr(language, "Asking the backup's %1 addresses...",
                                          {std::to_string(backup.devices.size())}));
    for (const DeviceBackup& device : backup.devices)
        if (!DeviceAnswers(*m_control, device.shortAddress)) silent.push_back(device.shortAddress);
    m_window->statusBar()->clearMessage();
    return silent;
}

bool WindowHost::ReplaceFromBackup(
    const std::string& backupPath,
    std::function<std::optional<int>(const std::vector<int>&)> choose) {
    const Language language = TextLanguage();
    const std::optional<std::vector<int>> silent = SilentBackupAddresses(backupPath);
    if (!silent) return false;
    if (silent->empty()) {
        Say(HostText(language,
                     "Every device of %1 answers on the line: there is nothing to replace.",
                     {backupPath}),
            MsgIcon::Information);
        return false;
    }
    if (!choose) {
        choose = [this, language](const std::vector<int>& addresses) -> std::optional<int> {
            QStringList items;
            // Named as the tree names a device.
            const std::string device = m_context.messages.Load(5015) + " #";
            for (int address : addresses)
                items << QString::fromStdString(device + (address < 10 ? "0" : "") +
                                                std::to_string(address));
            bool chosen = false;
            const QString item = QInputDialog::getItem(
                m_window.get(), Tr(language, "Replace a device"),
                Tr(language,
                   "These devices of the backup do not answer on the line. Which one has a "
                   "new gear taken the place of?"),
                items, 0, false, &chosen);
            if (!chosen) return std::nullopt;
            return addresses[static_cast<std::size_t>(items.indexOf(item))];
        };
    }
    const std::optional<int> address = choose(*silent);
    return address && ReplaceDevice(*address, backupPath);
}

void WindowHost::AddMaintenanceMenu(QMenu& menu) {
    const Language language = TextLanguage();
    // As the menu's other entries: run once the menu has closed.
    menu.addAction(Tr(language, "&Back up line..."), this, [this] {
        QTimer::singleShot(0, this, [this] {
            const Language current = TextLanguage();
            QString path = QFileDialog::getSaveFileName(
                m_window.get(), Tr(current, "Back up the line"), QString(), BackupFilter(current));
            if (path.isEmpty()) return;
            if (!path.endsWith(QStringLiteral(".json"))) path += QStringLiteral(".json");
            BackUpLine(path.toStdString());
        });
    });
    menu.addAction(Tr(language, "&Restore line..."), this, [this] {
        QTimer::singleShot(0, this, [this] {
            const Language current = TextLanguage();
            const QString path = QFileDialog::getOpenFileName(
                m_window.get(), Tr(current, "Restore the line"), QString(), BackupFilter(current));
            if (!path.isEmpty()) RestoreLine(path.toStdString());
        });
    });
    // After a scan the failed gear has no node of its own: the backup names what is missing.
    menu.addAction(Tr(language, "Re&place a device..."), this, [this] {
        QTimer::singleShot(0, this, [this] {
            const Language current = TextLanguage();
            const QString path = QFileDialog::getOpenFileName(
                m_window.get(), Tr(current, "The line's backup"), QString(), BackupFilter(current));
            if (!path.isEmpty()) ReplaceFromBackup(path.toStdString());
        });
    });
}

void WindowHost::AddDeviceTreeMenu() {
    auto* tree = m_window->findChild<QTreeWidget*>(QStringLiteral("treeDevices"));
    if (!tree) return;
    tree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tree, &QWidget::customContextMenuRequested, this, [this, tree](const QPoint& at) {
        const std::optional<int> address = DeviceAddressOf(tree->itemAt(at));
        if (!address || !m_control || m_reporting || !ControlProgress(*m_control).what.empty())
            return;
        const Language language = TextLanguage();
        QMenu menu(tree);
        QAction* identify = menu.addAction(Tr(language, "&Identify"));
        QAction* name = menu.addAction(Tr(language, "&Name..."));
        menu.addSeparator();
        QAction* replace = menu.addAction(Tr(language, "Replace this device..."));
        // Offered for a device that does not answer: the one a new gear takes the place of.
        replace->setEnabled(!DeviceAnswers(*m_control, *address));
        QAction* chosen = menu.exec(tree->viewport()->mapToGlobal(at));
        if (chosen == identify) {
            IdentifyDevice(*address);
            return;
        }
        if (chosen == name) {
            ShowLuminaire(*address);
            return;
        }
        if (chosen != replace) return;
        const QString path = QFileDialog::getOpenFileName(
            m_window.get(), Tr(language, "The line's backup"), QString(), BackupFilter(language));
        if (!path.isEmpty()) ReplaceDevice(*address, path.toStdString());
    });
}

}  // namespace zd
