// What the window hosts the control on, and the user's choice of it: the simulated line from a
// line file, or a terminal over Modbus TCP or RTU, each with a station document and a position.
// Choosing another ends the control as the configuration tool does (Terminate) and starts a fresh
// one on the new terminal (RefreshData). Its parts have files of their own: the connection's life
// here, what the store keeps of it (ConnectionStore), the Connection menu (WindowMenus.cpp), the
// note on a stored device list (WindowStoredList.cpp), the hand-over report (WindowReport.cpp) and
// the line's maintenance (WindowMaintenance.cpp).
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "connection/ConnectionTarget.h"
#include "documents/StationDocument.h"
#include "gui/ConnectionStore.h"
#include "maintenance/LineBackup.h"
#include "platform/Context.h"
#include "platform/Dialogs.h"
#include "report/HandoverReport.h"
#include "sim/LineFile.h"

class QMenu;

namespace zd {

class configZD4270;
class DevCom;
class MainWindow;
class RegistryAccess;
class QtDialogs;
class SimDevCom;

class ConnectionDialog;
class LuminaireDock;

// The control's boxes go on to the window's dialogs and are counted on the way, so that a reading
// the window runs can tell what the control said while it ran.
class CountedDialogs : public Dialogs {
  public:
    explicit CountedDialogs(Dialogs& shown) : m_shown(shown) {}
    MsgResult MessageBox(const MessageBoxRequest& request) override;
    std::optional<std::string> FileDialog(const FileDialogRequest& request) override;
    const std::vector<MessageBoxRequest>& Shown() const { return m_boxes; }

  private:
    Dialogs& m_shown;
    std::vector<MessageBoxRequest> m_boxes;
};

class WindowHost : public QObject {
  public:
    // qtDialogs, where the control's boxes are Qt's, are shown over the window. catalogue, the one
    // the context reads, lets the user switch the language (the control then starts afresh).
    WindowHost(const Context& context, RegistryAccess& registry, QtDialogs* qtDialogs = nullptr,
               MessageCatalogue* catalogue = nullptr);

    // The control's texts in another language: the control is ended and started again on the
    // same terminal, as the tool does. Refused, like a switch, while a procedure runs.
    bool SetLanguage(Language language);
    // The language the user last chose in the window, from the store, before the first Open.
    void UseRememberedLanguage();
    ~WindowHost() override;

    // Opens the connection and shows the window on it. What cannot be used (a station, line file
    // or address) is said in a box, and the current connection stays; false then.
    bool Open(const ConnectionTarget& connection) { return Open(connection, false); }
    // The first connection of a run: the user's choice when offerChoice and the store does not say
    // otherwise (Cancel, or a choice that cannot be opened, leaves fallback), else fallback.
    bool Start(const ConnectionTarget& fallback, bool offerChoice);
    // Opens what the dialog holds and remembers it, with whether to ask at start-up.
    bool ApplyChoice(const ConnectionDialog& dialog);
    // Whether the chooser is shown at start-up (the store's setting, yes unless turned off).
    bool ChooserAtStartup() const { return m_store.ChooserAtStartup(); }
    // Refused with a box while a procedure runs: the control would be taken from under it.
    bool Switch(const ConnectionTarget& connection);

    // Writes the simulated line as it stands now as a line file that a later run starts from.
    // Throws ControlError.
    void SaveLineSnapshot(const std::string& path);

    MainWindow* Window() const { return m_window.get(); }
    configZD4270* Control() const { return m_control.get(); }
    const ConnectionTarget& Current() const { return m_current; }
    SimDevCom* Simulated() const { return m_simulated.get(); }

    // The Modbus settings last used, kept in the store between runs: the Modbus TCP address and
    // the serial line both, each as last used.
    ConnectionTarget RememberedModbus() const { return m_store.RememberedModbus(m_current); }

    // Reads this terminal's devices as the report command does and writes the report in format
    // to path, replacing a file there only once the report is complete. Refused with a box while
    // a procedure runs; a failure is said in a box. True when the file was written.
    bool ExportReport(const std::string& path, ReportFormat format);
    bool Reporting() const { return m_reporting; }

    // The line's backup, its restore (the plan is asked about before anything is sent) and the
    // replacement of the silent device at address by the one new gear on the line, each as the
    // command line runs it, with the progress in the status bar and the outcome in a box. True
    // when it succeeded.
    bool BackUpLine(const std::string& path);
    bool RestoreLine(const std::string& path);
    bool ReplaceDevice(int address, const std::string& backupPath);
    // The addresses of the backup at backupPath at which no device answers on the line now (each
    // asked twice), ascending; nothing, after a box, when the backup cannot be read or a procedure
    // runs.
    std::optional<std::vector<int>> SilentBackupAddresses(const std::string& backupPath);
    // Connection > Replace a device...: the backup's silent addresses to choose from (a box
    // when there are none), then the replacement of the one chosen. choose picks one of the
    // addresses; the window's list dialog when not given.
    bool ReplaceFromBackup(const std::string& backupPath,
                           std::function<std::optional<int>(const std::vector<int>&)> choose = {});

    // Names and identify (WindowSite.cpp). The site file in use: the connection's, or site.json
    // beside the store.
    std::string SitePath() const;
    // The luminaire at address shows itself (flashes) for seconds, its level set back after; the
    // status bar and the luminaire bar say so. A second identify while one runs is refused with
    // a box. True when it ran to its end.
    bool IdentifyDevice(int address, int seconds = 10);
    // Names the luminaire at address in the site file (with its gear's random address); a box
    // says why not. True when the file was written.
    bool NameDevice(int address, const std::string& name, const std::string& room,
                    const std::string& floor, const std::string& note);
    // The naming round: the next unnamed device of the tree flashes and its bar waits for the
    // name; Save and next, Skip, End the round.
    void StartNamingRound();
    bool NamingRound() const { return m_round; }
    bool Identifying() const { return m_identifying; }
    LuminaireDock* Luminaire() const { return m_luminaire; }

  private:
    // A box through the control's dialogs, over the window.
    void Say(const std::string& text, MsgIcon icon);
    void BuildMenu();
    // keepLine: the current terminal and line stay; only the control is started again.
    bool Open(const ConnectionTarget& connection, bool keepLine);
    // The language of the window's own texts: the control's.
    Language TextLanguage() const { return m_context.messages.GetLanguage(); }
    // False, with a box, while a procedure or a report runs.
    bool Idle();
    // Whether the window may close now. During a procedure that can be cancelled the user is
    // asked whether to cancel it; if so, it is cancelled and the window closes once it has ended.
    bool MayClose();
    // The connection menu's actions, run after the menu's own signal has returned.
    void OpenLineFile();
    void OpenModbus(bool serial);
    void SaveSnapshotAs();
    void ChooseConnection();
    void ExportReportAs();
    // The maintenance entries of the connection menu and of the device tree's menu.
    void AddMaintenanceMenu(QMenu& menu);
    void AddDeviceTreeMenu();
    // A reading the window runs: boxes counted, the window's clock; the surface waits meanwhile.
    template <typename Body>
    bool RunMaintenance(const char* failureText, Body body);
    // The tree shows the store's device list until a scan: the status bar says so, when this
    // terminal was last scanned in the window, and offers a scan. The scan's end is remembered.
    void ShowStoredListNote();
    void WatchScans();
    // The position whose device list the control keeps in the store.
    std::int32_t StoredPosition() const;

    Context m_context;
    RegistryAccess& m_registry;
    ConnectionStore m_store;
    QtDialogs* m_qtDialogs;
    MessageCatalogue* m_catalogue;
    // The control's context: the window's, with its boxes counted.
    CountedDialogs m_boxes;
    Context m_controlContext;
    bool m_reporting = false;
    // The close waiting for a cancelled procedure to end, or 0.
    Scheduler::TimerId m_closeWhenIdle = 0;
    ConnectionTarget m_current;
    StationDocument m_station;
    XmlNode m_terminal;
    sim::LineDescription m_line;
    std::shared_ptr<DevCom> m_devCom;
    std::shared_ptr<SimDevCom> m_simulated;
    std::unique_ptr<configZD4270> m_control;
    std::unique_ptr<MainWindow> m_window;
    std::function<void()> m_unwatchScans;
    bool m_scanRunning = false;

    // Names in the tree and the luminaire bar; the naming round (WindowSite.cpp).
    void AddLuminaireDock();
    void ShowSiteNames();
    // The device in the luminaire bar; reveal: the bar opens with the name to type.
    void ShowLuminaire(std::optional<int> address, bool reveal = true);
    void NextInRound();
    void EndRound();
    // The site's names in the window's report, backup and restore, and followed to their gear
    // after a procedure that gave or moved addresses (replaced: addresses a new gear took over).
    void AddSiteNamesTo(Json& document);
    void NameBackup(LineBackup& backup);
    void RestoreBackupNames(ControlRun& run, const LineBackup& backup, const Json& document);
    void FollowSiteNames(ControlRun& run, const std::vector<std::int16_t>& replaced = {});
    std::function<void()> m_unwatchAddressing;
    std::string m_lastProcedure;
    LuminaireDock* m_luminaire = nullptr;
    std::optional<int> m_shownDevice;
    bool m_identifying = false;
    bool m_cancelIdentify = false;
    bool m_round = false;
    bool m_roundNext = false;
    int m_roundAddress = -1;
    bool m_patchingTree = false;
};

}  // namespace zd
