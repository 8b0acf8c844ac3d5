#include "gui/WindowHost.h"

#include <filesystem>

#include <QActionGroup>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <exception>
#include <utility>

#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/ConnectionDialog.h"
#include "gui/MainWindow.h"
#include "gui/QtDialogs.h"
#include "gui/Texts.h"
#include "gui/WindowRun.h"
#include "host/InstallPaths.h"
#include "host/ModbusDevCom.h"
#include "host/SimDevCom.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/RegistryAccess.h"

namespace zd {

namespace {

const char* const kConnectionKey = "Software\\zd4270\\Connection";

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

MsgResult CountedDialogs::MessageBox(const MessageBoxRequest& request) {
    m_boxes.push_back(request);
    return m_shown.MessageBox(request);
}

std::optional<std::string> CountedDialogs::FileDialog(const FileDialogRequest& request) {
    return m_shown.FileDialog(request);
}

WindowHost::WindowHost(const Context& context, RegistryAccess& registry, QtDialogs* qtDialogs,
                       MessageCatalogue* catalogue)
    : m_context(context),
      m_registry(registry),
      m_qtDialogs(qtDialogs),
      m_catalogue(catalogue),
      m_boxes(context.dialogs),
      m_controlContext{context.scheduler, m_boxes, context.messages} {}

bool WindowHost::Idle() {
    if (m_reporting || (m_control && !ControlProgress(*m_control).what.empty())) {
        Say(Tr(TextLanguage(), "Finish or cancel the running procedure first.").toStdString(),
            MsgIcon::Information);
        return false;
    }
    return true;
}

bool WindowHost::MayClose() {
    if (m_closeWhenIdle) return false;
    Button* cancel = m_control && !m_reporting ? ProgressCancelButton(*m_control) : nullptr;
    // Idle, or a run that cannot be cancelled from here (a transfer, the report, the terminal's
    // own addressing): the window closes, or says why not.
    if (!cancel) return Idle();
    const std::string running = ControlProgress(*m_control).what;
    const MsgResult answer = m_context.dialogs.MessageBox(
        {Tr(TextLanguage(), "%1 is running. Cancel it and close the window?", {running})
             .toStdString(),
         MsgButtons::YesNo, MsgIcon::Question, "ZD4270"});
    if (answer != MsgResult::Yes) return false;
    cancel->Click();
    // The procedure ends its own way (a search sends TERMINATE first); the window closes then.
    m_closeWhenIdle = m_context.scheduler.AddTimer([this] {
        if (!ControlProgress(*m_control).what.empty()) return;
        m_context.scheduler.RemoveTimer(m_closeWhenIdle);
        m_closeWhenIdle = 0;
        if (m_window) m_window->close();
    });
    m_context.scheduler.SetTimer(m_closeWhenIdle, 50, true);
    return false;
}

bool WindowHost::SetLanguage(Language language) {
    if (!m_catalogue || m_catalogue->GetLanguage() == language) return false;
    if (!Idle()) return false;
    const Language before = m_catalogue->GetLanguage();
    m_catalogue->SetLanguage(language);
    if (Open(m_current, true)) {
        m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Language",
                               language == Language::German ? "de" : "en");
        return true;
    }
    m_catalogue->SetLanguage(before);
    return false;
}

void WindowHost::UseRememberedLanguage() {
    std::string value;
    if (!m_catalogue ||
        !m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Language", value))
        return;
    if (value == "de") m_catalogue->SetLanguage(Language::German);
    if (value == "en") m_catalogue->SetLanguage(Language::English);
}

WindowHost::~WindowHost() {
    if (m_unwatchScans) m_unwatchScans();
    if (m_closeWhenIdle) m_context.scheduler.RemoveTimer(m_closeWhenIdle);
    if (m_control) m_control->Terminate();
    // The window's bindings go before the control they show.
    m_window.reset();
    m_control.reset();
}

void WindowHost::Say(const std::string& text, MsgIcon icon) {
    // The host's messages are composed in English; the window shows them in its language.
    m_context.dialogs.MessageBox(
        {HostMessage(TextLanguage(), text), MsgButtons::Ok, icon, "ZD4270"});
}

bool WindowHost::Open(const Connection& connection, bool keepLine) {
    StationDocument station;
    XmlNode terminal;
    sim::LineDescription line;
    std::shared_ptr<DevCom> devCom;
    std::shared_ptr<SimDevCom> simulated;
    // The same terminal and line may go on as they are, and only the control start afresh.
    const bool keep = keepLine && m_devCom;
    if (!keep) {
        try {
            station = StationDocument::Load(connection.stationFile);
            terminal = connection.position >= 0 ? station.ChooseTerminal(connection.position)
                                                : station.ChooseTerminal();
            if (!connection.modbus.empty()) {
                devCom = std::make_shared<ModbusDevCom>(ParseModbusEndpoint(connection.modbus));
            } else {
                if (!connection.lineFile.empty()) line = sim::LoadLineFile(connection.lineFile);
                if (auto note = LinePlacementNote(line, connection.lineFile, terminal,
                                                  connection.stationFile))
                    Say(*note, MsgIcon::Information);
                simulated = CreateSimulatedDevCom(m_context.scheduler, terminal, line);
                devCom = simulated;
            }
        } catch (const ControlError& e) {
            Say(e.Description(), MsgIcon::Critical);
            return false;
        } catch (const std::exception& e) {
            Say(e.what(), MsgIcon::Critical);
            return false;
        }
    }

    // The control of the old terminal ends as the tool ends it: its device list goes to the
    // store under its position.
    QByteArray geometry;
    if (m_unwatchScans) std::exchange(m_unwatchScans, nullptr)();
    if (m_window) {
        geometry = m_window->saveGeometry();
        m_control->Terminate();
        if (m_qtDialogs) m_qtDialogs->SetParent(nullptr);
        m_window.reset();
        m_control.reset();
    }
    if (!keep) {
        m_station = std::move(station);
        m_terminal = terminal;
        m_line = std::move(line);
        m_devCom = std::move(devCom);
        m_simulated = std::move(simulated);
        m_current = connection;
    }

    m_control = std::make_unique<configZD4270>(m_controlContext, m_registry);
    m_window = std::make_unique<MainWindow>(*m_control);
    // Closing the window ends the control. Not while a procedure or the window's report works
    // with it: a transfer or a report would go on, inside the event that closed the window, with
    // a control that has been ended, and a scan or an addressing run would stop half done, its
    // device list stored as it stood.
    m_window->SetCloseCheck([this] { return MayClose(); });
    if (m_qtDialogs) m_qtDialogs->SetParent(m_window.get());
    BuildMenu();
    if (m_simulated) m_window->ShowLine(&m_simulated->Terminal());
    if (!geometry.isEmpty()) m_window->restoreGeometry(geometry);
    m_window->show();
    m_control->RefreshData(m_terminal, m_devCom, StationUserData(m_terminal));
    m_window->SetStation(connection.stationFile,
                         m_control->Position() >= 0 ? m_control->Position() : connection.position,
                         m_control->DeviceName(),
                         connection.modbus.empty() ? std::string() : connection.modbus);
    ShowStoredListNote();
    WatchScans();
    AddDeviceTreeMenu();
    return true;
}

std::string WindowHost::LastScanValueName() const {
    // The store keeps a device list per position, so the time of its scan goes with it.
    const std::int32_t position =
        m_control->Position() >= 0 ? m_control->Position() : m_current.position;
    return "LastScanPos" + std::to_string(position);
}

void WindowHost::ShowStoredListNote() {
    const auto& devices = m_control->State().devices;
    if (!devices || devices->Items().empty() || m_control->Scanning()) return;
    const Language language = TextLanguage();
    std::string when;
    m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, LastScanValueName(),
                          when);
    const std::string count = std::to_string(devices->Items().size());
    const QString text =
        when.empty() ? Tr(language,
                          "The %1 devices in the tree come from the store; not scanned in the "
                          "window yet: the line may hold others.",
                          {count})
                     : Tr(language,
                          "The %1 devices in the tree come from the store, last scanned %2: "
                          "the line may hold others.",
                          {count, when});
    QStatusBar* bar = m_window->statusBar();
    auto* note = new QLabel(text, bar);
    note->setObjectName(QStringLiteral("storedListNote"));
    auto* scan = new QPushButton(Tr(language, "&Scan now"), bar);
    scan->setObjectName(QStringLiteral("storedListScan"));
    bar->addWidget(note, 1);
    bar->addPermanentWidget(scan);
    connect(scan, &QPushButton::clicked, this, [this] { m_control->cmdScanDevices.Click(); });
}

void WindowHost::WatchScans() {
    m_scanRunning = m_control->Scanning();
    m_unwatchScans = WatchControlProgress(*m_control, [this] {
        if (m_control->Scanning() == m_scanRunning) return;
        m_scanRunning = m_control->Scanning();
        // From the first scan on, the tree shows the line: the note goes.
        if (QStatusBar* bar = m_window ? m_window->statusBar() : nullptr) {
            for (const char* name : {"storedListNote", "storedListScan"}) {
                if (auto* widget = bar->findChild<QWidget*>(QLatin1String(name))) {
                    // The button may be the one whose click started the scan: it goes from the
                    // bar at once and is deleted once its signal has returned.
                    bar->removeWidget(widget);
                    widget->setParent(nullptr);
                    widget->deleteLater();
                }
            }
        }
        if (!m_scanRunning) {
            const QString now =
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey,
                                   LastScanValueName(), now.toStdString());
        }
    });
}

bool WindowHost::Switch(const Connection& connection) {
    if (!Idle()) return false;
    const bool opened = Open(connection);
    if (opened) Remember(connection);
    return opened;
}

bool WindowHost::Start(const Connection& fallback, bool offerChoice) {
    if (offerChoice && ChooserAtStartup()) {
        Connection remembered = RememberedModbus();
        // Before any terminal was used over Modbus: the station the line would use.
        if (remembered.stationFile.empty()) remembered.stationFile = fallback.stationFile;
        std::string choice;
        m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Choice", choice);
        Connection simulated = fallback;
        std::string lineFile;
        if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "LineFile",
                                  lineFile))
            simulated.lineFile = lineFile;
        ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, TextLanguage(), simulated,
                                remembered, choice == "modbus", true);
        dialog.setWindowIcon(QApplication::windowIcon());
        if (dialog.exec() == QDialog::Accepted && ApplyChoice(dialog)) return true;
        // Cancelled, or the choice could not be opened (said in a box): the usual line.
        if (dialog.result() != QDialog::Accepted)
            m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey,
                                   "ShowAtStartup", dialog.ShowAtStartup() ? "1" : "0");
    }
    return Open(fallback);
}

bool WindowHost::ApplyChoice(const ConnectionDialog& dialog) {
    m_registry.WriteString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "ShowAtStartup",
                           dialog.ShowAtStartup() ? "1" : "0");
    const Connection chosen = dialog.Chosen();
    if (m_window) return Switch(chosen);
    if (!Open(chosen)) return false;
    Remember(chosen);
    return true;
}

bool WindowHost::ChooserAtStartup() const {
    std::string value;
    return !m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "ShowAtStartup",
                                  value) ||
           value != "0";
}

void WindowHost::SaveLineSnapshot(const std::string& path) {
    if (!m_simulated) throw ControlError("There is no simulated line to save.");
    sim::Terminal& terminal = m_simulated->Terminal();
    terminal.AdvanceToNow();
    WriteFileAtomically(path,
                        sim::WriteLineDescription(sim::CaptureLine(terminal, m_line.terminal)));
}

Connection WindowHost::RememberedModbus() const {
    Connection connection;
    connection.stationFile = m_current.stationFile;
    connection.position = m_current.position;
    connection.modbus = ModbusEndpoint{}.Text();
    std::string value;
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Modbus", value) &&
        !value.empty())
        connection.modbus = value;
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "StationFile",
                              value) &&
        !value.empty())
        connection.stationFile = value;
    if (m_registry.ReadString(RegistryAccess::kHkeyCurrentUser, kConnectionKey, "Position", value))
        connection.position = QString::fromStdString(value).toInt();
    return connection;
}

void WindowHost::Remember(const Connection& connection) {
    const auto root = RegistryAccess::kHkeyCurrentUser;
    // The simulated line keeps the Modbus settings for the next time, and the other way round.
    if (connection.modbus.empty()) {
        m_registry.WriteString(root, kConnectionKey, "Choice", "line");
        m_registry.WriteString(root, kConnectionKey, "LineFile", connection.lineFile);
        return;
    }
    m_registry.WriteString(root, kConnectionKey, "Choice", "modbus");
    m_registry.WriteString(root, kConnectionKey, "Modbus", connection.modbus);
    m_registry.WriteString(root, kConnectionKey, "StationFile", connection.stationFile);
    m_registry.WriteString(root, kConnectionKey, "Position", std::to_string(connection.position));
}

void WindowHost::BuildMenu() {
    const auto text = [this](const char* english) { return Tr(m_window->TextLanguage(), english); };
    QMenu* menu = new QMenu(text("&Connection"), m_window.get());
    m_window->menuBar()->insertMenu(m_window->menuBar()->actions().value(0), menu);
    // A switch replaces the window the menu belongs to: it runs once the menu has closed.
    const auto later = [this](std::function<void()> action) {
        return [this, action] { QTimer::singleShot(0, this, action); };
    };
    menu->addAction(Tr(TextLanguage(), "C&hoose connection..."),
                    later([this] { ChooseConnection(); }));
    menu->addSeparator();
    menu->addAction(text("&Open line file..."), QKeySequence::Open,
                    later([this] { OpenLineFile(); }));
    QMenu* examples = menu->addMenu(text("Start from an &example"));
    const QDir lines(Q(ExamplesDir() + "/lines"));
    for (const QString& file : lines.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        const std::string path = lines.filePath(file).toStdString();
        examples->addAction(QFileInfo(file).completeBaseName(), later([this, path] {
                                Connection next = m_current;
                                next.modbus.clear();
                                next.lineFile = path;
                                Switch(next);
                            }));
    }
    QAction* snapshot = menu->addAction(text("&Save the line as it is now..."), QKeySequence::Save,
                                        later([this] { SaveSnapshotAs(); }));
    snapshot->setEnabled(m_simulated != nullptr);
    menu->addSeparator();
    menu->addAction(Tr(TextLanguage(), "E&xport report..."), later([this] { ExportReportAs(); }));
    AddMaintenanceMenu(*menu);
    menu->addSeparator();
    menu->addAction(text("&Terminal over Modbus TCP..."), later([this] { OpenModbus(); }));
    menu->addSeparator();
    if (m_catalogue) {
        QMenu* languages = menu->addMenu(text("&Language"));
        auto* group = new QActionGroup(languages);
        for (const auto& [name, language] : {std::pair{text("&English"), Language::English},
                                             std::pair{text("&Deutsch"), Language::German}}) {
            QAction* action = languages->addAction(
                name, later([this, language = language] { SetLanguage(language); }));
            action->setCheckable(true);
            action->setChecked(m_catalogue->GetLanguage() == language);
            group->addAction(action);
        }
        menu->addSeparator();
    }
    menu->addAction(text("&Quit"), QKeySequence::Quit, m_window.get(), &QWidget::close);
}

void WindowHost::OpenLineFile() {
    const QString path =
        QFileDialog::getOpenFileName(m_window.get(), tr("Open a line file"),
                                     Q(ExamplesDir() + "/lines"), tr("Line files (*.json)"));
    if (path.isEmpty()) return;
    Connection next = m_current;
    next.modbus.clear();
    next.lineFile = path.toStdString();
    Switch(next);
}

void WindowHost::SaveSnapshotAs() {
    const QString path = QFileDialog::getSaveFileName(m_window.get(), tr("Save the line"),
                                                      QString(), tr("Line files (*.json)"));
    if (path.isEmpty()) return;
    try {
        SaveLineSnapshot(path.toStdString());
    } catch (const ControlError& e) {
        Say(e.Description(), MsgIcon::Critical);
    } catch (const std::exception& e) {
        Say(e.what(), MsgIcon::Critical);
    }
}

void WindowHost::OpenModbus() {
    ConnectionDialog dialog(ConnectionDialog::Purpose::Modbus, TextLanguage(), m_current,
                            RememberedModbus(), true, ChooserAtStartup(), m_window.get());
    if (dialog.exec() == QDialog::Accepted) Switch(dialog.Chosen());
}

void WindowHost::ChooseConnection() {
    ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, TextLanguage(), m_current,
                            RememberedModbus(), !m_current.modbus.empty(), ChooserAtStartup(),
                            m_window.get());
    if (dialog.exec() == QDialog::Accepted) ApplyChoice(dialog);
}

bool WindowHost::ExportReport(const std::string& path, ReportFormat format) {
    if (!m_control || !Idle()) return false;
    const Language language = TextLanguage();
    QStatusBar* status = m_window->statusBar();
    m_reporting = true;
    // The user watches the reading; the surface waits until it is done.
    m_window->centralWidget()->setEnabled(false);
    bool written = false;
    try {
        WindowRun run(*m_control, m_boxes);
        const Json devices = ReadReportDevices(run, [&](std::size_t done, std::size_t total) {
            status->showMessage(Tr(language, "report: reading device %1 of %2")
                                    .arg(static_cast<qulonglong>(done + 1))
                                    .arg(static_cast<qulonglong>(total)));
        });
        const std::int32_t position =
            m_control->Position() >= 0 ? m_control->Position() : m_current.position;
        WriteReport(TerminalReport(m_station, m_current.stationFile, m_terminal, position, devices),
                    format, path, language);
        written = true;
    } catch (const ControlError& e) {
        Say(Tr(language, "The report could not be made: %1").arg(Q(e.Description())).toStdString(),
            MsgIcon::Critical);
    } catch (const std::exception& e) {
        Say(Tr(language, "The report could not be made: %1").arg(Q(e.what())).toStdString(),
            MsgIcon::Critical);
    }
    m_reporting = false;
    if (m_window) {
        m_window->centralWidget()->setEnabled(true);
        status->clearMessage();
        if (written) status->showMessage(Tr(language, "Report written to %1").arg(Q(path)), 10'000);
    }
    // The status bar's note passes unseen while the user looks for the file: a box says where it
    // went, with the whole path.
    if (written) {
        const std::string where = std::filesystem::absolute(path).lexically_normal().string();
        Say(HostText(language, "The report was written to %1.", {where}), MsgIcon::Information);
    }
    return written;
}

void WindowHost::ExportReportAs() {
    const Language language = TextLanguage();
    QFileDialog dialog(m_window.get(), Tr(language, "Export the report"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const QStringList filters = {QStringLiteral("HTML (*.html)"), QStringLiteral("PDF (*.pdf)"),
                                 QStringLiteral("CSV (*.csv)")};
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("html"));
    // A name typed without an extension takes the chosen filter's.
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& filter) {
        dialog.setDefaultSuffix(filter.section(QStringLiteral("*."), 1).chopped(1));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    std::string path = dialog.selectedFiles().constFirst().toStdString();
    // The name's own extension decides; a name with another one gets the filter's.
    auto format = ReportFormatOfFile(path);
    if (!format) {
        const std::string suffix =
            dialog.selectedNameFilter().section(QStringLiteral("*."), 1).chopped(1).toStdString();
        path += "." + suffix;
        format = ReportFormatNamed(suffix);
    }
    if (format) ExportReport(path, *format);
}

}  // namespace zd
