// The window's Connection menu: choosing the connection, the simulated line's file, an example
// or a snapshot of it, the report, the line's maintenance, a terminal over Modbus TCP or RTU, the
// language and Quit. Each entry runs once the menu has closed, since a switch replaces the window
// the menu belongs to.
#include <QActionGroup>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <exception>
#include <functional>
#include <utility>

#include "connection/InstallPaths.h"
#include "gui/ConnectionDialog.h"
#include "gui/MainWindow.h"
#include "gui/Texts.h"
#include "gui/WindowHost.h"
#include "platform/Error.h"

namespace zd {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

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
                                ConnectionTarget next = m_current;
                                next.modbus.clear();
                                next.modbusRtu.clear();
                                next.lineFile = path;
                                Switch(next);
                            }));
    }
    QAction* snapshot = menu->addAction(text("&Save the line as it is now..."), QKeySequence::Save,
                                        later([this] { SaveSnapshotAs(); }));
    snapshot->setEnabled(m_simulated != nullptr);
    menu->addSeparator();
    menu->addAction(Tr(TextLanguage(), "E&xport report..."), later([this] { ExportReportAs(); }));
    menu->addAction(Tr(TextLanguage(), "Nam&ing round..."), later([this] { StartNamingRound(); }));
    AddMaintenanceMenu(*menu);
    menu->addSeparator();
    menu->addAction(text("&Terminal over Modbus TCP..."), later([this] { OpenModbus(false); }));
    menu->addAction(text("Terminal over &Modbus RTU..."), later([this] { OpenModbus(true); }));
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
    ConnectionTarget next = m_current;
    next.modbus.clear();
    next.modbusRtu.clear();
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

void WindowHost::OpenModbus(bool serial) {
    ConnectionDialog dialog(
        serial ? ConnectionDialog::Purpose::ModbusRtu : ConnectionDialog::Purpose::Modbus,
        TextLanguage(), m_current, RememberedModbus(),
        serial ? ConnectionDialog::Choice::ModbusRtu : ConnectionDialog::Choice::ModbusTcp,
        ChooserAtStartup(), m_window.get());
    if (dialog.exec() == QDialog::Accepted) Switch(dialog.Chosen());
}

void WindowHost::ChooseConnection() {
    const auto first = !m_current.modbusRtu.empty() ? ConnectionDialog::Choice::ModbusRtu
                       : !m_current.modbus.empty()  ? ConnectionDialog::Choice::ModbusTcp
                                                    : ConnectionDialog::Choice::Simulated;
    ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, TextLanguage(), m_current,
                            RememberedModbus(), first, ChooserAtStartup(), m_window.get());
    if (dialog.exec() == QDialog::Accepted) ApplyChoice(dialog);
}

}  // namespace zd
