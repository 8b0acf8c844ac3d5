#include "gui/WindowHost.h"

#include <QActionGroup>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <exception>

#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/MainWindow.h"
#include "gui/QtDialogs.h"
#include "gui/Texts.h"
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

WindowHost::WindowHost(const Context& context, RegistryAccess& registry, QtDialogs* qtDialogs,
                       MessageCatalogue* catalogue)
    : m_context(context), m_registry(registry), m_qtDialogs(qtDialogs), m_catalogue(catalogue) {}

bool WindowHost::SetLanguage(Language language) {
    if (!m_catalogue || m_catalogue->GetLanguage() == language) return false;
    if (m_control && !ControlProgress(*m_control).what.empty()) {
        Say(tr("Finish or cancel the running procedure first.").toStdString(),
            MsgIcon::Information);
        return false;
    }
    const Language before = m_catalogue->GetLanguage();
    m_catalogue->SetLanguage(language);
    if (Open(m_current, true)) return true;
    m_catalogue->SetLanguage(before);
    return false;
}

WindowHost::~WindowHost() {
    if (m_control) m_control->Terminate();
    // The window's bindings go before the control they show.
    m_window.reset();
    m_control.reset();
}

void WindowHost::Say(const std::string& text, MsgIcon icon) {
    m_context.dialogs.MessageBox({text, MsgButtons::Ok, icon, "ZD4270"});
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

    m_control = std::make_unique<configZD4270>(m_context, m_registry);
    m_window = std::make_unique<MainWindow>(*m_control);
    if (m_qtDialogs) m_qtDialogs->SetParent(m_window.get());
    BuildMenu();
    if (m_simulated) m_window->ShowLine(&m_simulated->Terminal());
    if (!geometry.isEmpty()) m_window->restoreGeometry(geometry);
    m_window->show();
    m_control->RefreshData(m_terminal, m_devCom, StationUserData(m_terminal));
    m_window->SetStation(
        connection.stationFile, m_control->Pos >= 0 ? m_control->Pos : connection.position,
        m_control->m_sDeviceName, connection.modbus.empty() ? std::string() : connection.modbus);
    return true;
}

bool WindowHost::Switch(const Connection& connection) {
    if (m_control && !ControlProgress(*m_control).what.empty()) {
        Say(tr("Finish or cancel the running procedure first.").toStdString(),
            MsgIcon::Information);
        return false;
    }
    const bool opened = Open(connection);
    if (opened && !connection.modbus.empty()) Remember(connection);
    return opened;
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
    const Connection remembered = RememberedModbus();
    QDialog dialog(m_window.get());
    dialog.setWindowTitle(tr("Terminal over Modbus TCP"));
    auto* form = new QFormLayout(&dialog);
    ModbusEndpoint endpoint;
    try {
        endpoint = ParseModbusEndpoint(remembered.modbus);
    } catch (...) {
        // A store edited by hand: start from the defaults.
    }
    auto* host = new QLineEdit(Q(endpoint.host));
    auto* port = new QSpinBox;
    port->setRange(1, 65535);
    port->setValue(endpoint.port);
    auto* station = new QLineEdit(Q(remembered.stationFile));
    auto* browse = new QPushButton(tr("Browse..."));
    auto* stationRow = new QHBoxLayout;
    stationRow->addWidget(station, 1);
    stationRow->addWidget(browse);
    auto* position = new QSpinBox;
    position->setRange(-1, 9999);
    position->setSpecialValueText(tr("first terminal"));
    position->setValue(remembered.position);
    form->addRow(tr("&Host:"), host);
    form->addRow(tr("&Port:"), port);
    form->addRow(tr("&Station document:"), stationRow);
    form->addRow(tr("P&osition:"), position);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
        const QString path = QFileDialog::getOpenFileName(&dialog, tr("Station document"),
                                                          QFileInfo(station->text()).path(),
                                                          tr("Station documents (*.xml)"));
        if (!path.isEmpty()) station->setText(path);
    });
    dialog.resize(dialog.fontMetrics().horizontalAdvance(QLatin1Char('0')) * 60,
                  dialog.sizeHint().height());
    if (dialog.exec() != QDialog::Accepted) return;
    Connection next;
    next.stationFile = station->text().toStdString();
    next.position = position->value();
    next.modbus = host->text().trimmed().toStdString() + ":" + std::to_string(port->value());
    Switch(next);
}

}  // namespace zd
