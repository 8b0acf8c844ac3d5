#include "gui/WindowHost.h"

#include <filesystem>

#include <QApplication>
#include <QDialog>
#include <exception>
#include <utility>

#include "connection/OpenTerminal.h"
#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/ConnectionDialog.h"
#include "gui/MainWindow.h"
#include "gui/QtDialogs.h"
#include "gui/Texts.h"
#include "platform/Dialogs.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "transport/SimDevCom.h"

namespace zd {

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
      m_store(registry),
      m_qtDialogs(qtDialogs),
      m_catalogue(catalogue),
      m_boxes(context.dialogs),
      m_controlContext{context.scheduler, m_boxes, context.messages} {}

bool WindowHost::Idle() {
    if (m_reporting || m_identifying || (m_control && !ControlProgress(*m_control).what.empty())) {
        Say(Tr(TextLanguage(), "Finish or cancel the running procedure first.").toStdString(),
            MsgIcon::Information);
        return false;
    }
    return true;
}

bool WindowHost::MayClose() {
    if (m_closeWhenIdle) return false;
    // An identify ends at once, its levels set back; the window closes on the next try.
    if (m_identifying) m_cancelIdentify = true;
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
    if (m_qtDialogs) m_qtDialogs->FollowLanguage();
    if (Open(m_current, true)) {
        m_store.RememberLanguage(language);
        return true;
    }
    m_catalogue->SetLanguage(before);
    if (m_qtDialogs) m_qtDialogs->FollowLanguage();
    return false;
}

void WindowHost::UseRememberedLanguage() {
    if (!m_catalogue) return;
    if (const auto language = m_store.RememberedLanguage()) m_catalogue->SetLanguage(*language);
}

WindowHost::~WindowHost() {
    if (m_unwatchScans) m_unwatchScans();
    if (m_unwatchAddressing) m_unwatchAddressing();
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

bool WindowHost::Open(const ConnectionTarget& connection, bool keepLine) {
    OpenedTerminal opened;
    // The same terminal and line may go on as they are, and only the control start afresh.
    const bool keep = keepLine && m_devCom;
    if (!keep) {
        try {
            opened = OpenTerminal(connection, m_context.scheduler, [this](const std::string& note) {
                Say(note, MsgIcon::Information);
            });
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
    if (m_unwatchAddressing) std::exchange(m_unwatchAddressing, nullptr)();
    if (m_window) {
        geometry = m_window->saveGeometry();
        m_control->Terminate();
        if (m_qtDialogs) m_qtDialogs->SetParent(nullptr);
        m_window.reset();
        m_control.reset();
    }
    if (!keep) {
        m_station = std::move(opened.station);
        m_terminal = opened.terminal;
        m_line = std::move(opened.line);
        m_devCom = std::move(opened.devCom);
        m_simulated = std::move(opened.simulated);
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
    m_window->SetStation(
        connection.stationFile,
        m_control->Position() >= 0 ? m_control->Position() : connection.PositionOrFirst(),
        m_control->DeviceName(),
        connection.OverModbus()
            ? (connection.modbusRtu.empty() ? connection.modbus
                                            : "Modbus RTU " + connection.modbusRtu)
            // The simulated line: its file, or none.
            : (connection.lineFile ? std::filesystem::path(*connection.lineFile).filename().string()
                                   : std::string()));
    ShowStoredListNote();
    WatchScans();
    AddDeviceTreeMenu();
    AddLuminaireDock();
    return true;
}

bool WindowHost::Switch(const ConnectionTarget& connection) {
    if (!Idle()) return false;
    const bool opened = Open(connection);
    if (opened) m_store.Remember(connection);
    return opened;
}

bool WindowHost::Start(const ConnectionTarget& fallback, bool offerChoice) {
    if (offerChoice && ChooserAtStartup()) {
        ConnectionTarget remembered = RememberedModbus();
        // Before any terminal was used over Modbus: the station the line would use.
        if (remembered.stationFile.empty()) remembered.stationFile = fallback.stationFile;
        ConnectionTarget simulated = fallback;
        // The store keeps an empty name for the line without gear.
        if (auto lineFile = m_store.LineFile())
            simulated.lineFile =
                lineFile->empty() ? std::nullopt : std::optional<std::string>(std::move(*lineFile));
        ConnectionDialog dialog(ConnectionDialog::Purpose::StartUp, TextLanguage(), simulated,
                                remembered, m_store.LastChoice(), true);
        dialog.setWindowIcon(QApplication::windowIcon());
        if (dialog.exec() == QDialog::Accepted && ApplyChoice(dialog)) return true;
        // Cancelled, or the choice could not be opened (said in a box): the usual line.
        if (dialog.result() != QDialog::Accepted)
            m_store.SetChooserAtStartup(dialog.ShowAtStartup());
    }
    return Open(fallback);
}

bool WindowHost::ApplyChoice(const ConnectionDialog& dialog) {
    m_store.SetChooserAtStartup(dialog.ShowAtStartup());
    const ConnectionTarget chosen = dialog.Chosen();
    if (m_window) return Switch(chosen);
    if (!Open(chosen)) return false;
    m_store.Remember(chosen);
    return true;
}

void WindowHost::SaveLineSnapshot(const std::string& path) {
    if (!m_simulated) throw ControlError("There is no simulated line to save.");
    sim::Terminal& terminal = m_simulated->Terminal();
    terminal.AdvanceToNow();
    WriteFileAtomically(path,
                        sim::WriteLineDescription(sim::CaptureLine(terminal, m_line.terminal)));
}

}  // namespace zd
