// The window of zd4270: a main window that hosts configZD4270 for one terminal the way the
// configuration tool would (create, resize, RefreshData, terminate), and RunWindow, which sets it
// up on the in-process simulated line for main().
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "connection/ConnectionTarget.h"
#include "platform/Messages.h"

class QApplication;
class QDockWidget;
class QMenu;
class QIcon;

namespace zd {

namespace sim {
class Terminal;
}

class configZD4270;
class ControlBinding;
class LampWindow;
class RunStatus;
class BusMonitor;

struct WindowOptions {
    // What the window opens first: the station's terminal on the simulated line of the line file
    // (none: a line without gear) or over Modbus, with its store (empty: the user's).
    ConnectionTarget connection;
    Language language = Language::English;
    // The command line gave the language (--lang); otherwise the one the window last used.
    bool languageChosen = false;
    // Ask at start-up what to connect to (when the command line named nothing); never on the
    // offscreen or minimal platform, where nobody could answer.
    bool offerChoice = false;
};

// The program's icon: from the desktop's icon theme when installed, else the shipped sizes.
QIcon ApplicationIcon();

// The look the control's twip layout was drawn for: the Fusion style and an 8 point face.
void ApplyClassicLook(QApplication& app);

class MainWindow : public QMainWindow {
  public:
    // Builds the widgets of the control's whole surface; the control must outlive the window.
    explicit MainWindow(configZD4270& control);
    ~MainWindow() override;

    // On the simulated line: a dock with a tile per gear, following the line as commands reach
    // it; null takes the dock away (a terminal on the wire). The terminal must outlive the dock.
    void ShowLine(sim::Terminal* terminal);
    LampWindow* Lamps() const { return m_lamps; }

    // "<terminal name> - Pos <n> - <station file> - ZD4270", with the Modbus address where the
    // terminal is on the wire.
    void SetStation(const std::string& stationFile, std::int32_t position,
                    const std::string& terminalName = {}, const std::string& modbus = {});

    ControlBinding& Surface() const { return *m_surface; }
    // The progress of the procedure now running, in the status bar.
    RunStatus& Progress() const { return *m_runStatus; }
    // The dock with the transactions of the link (hidden at first).
    BusMonitor& Monitor() const { return *m_busMonitor; }

    // The About box: the program's version and what it is for.
    static QString AboutText(Language language);
    // The language of the control's texts, which the window's own follow.
    Language TextLanguage() const;

    // Asked when the user closes the window: false keeps it open. The host refuses while a
    // procedure runs, which would otherwise go on with a control that has been ended.
    void SetCloseCheck(std::function<bool()> mayClose) { m_mayClose = std::move(mayClose); }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Once the terminal's own random addressing has ended, a scan fills the tree.
    void FollowTerminalRun();

    configZD4270& m_control;
    std::function<void()> m_unwatchTerminalRun;
    std::uint64_t m_afterTerminalRun = 0;
    std::unique_ptr<ControlBinding> m_surface;
    std::unique_ptr<ControlBinding> m_archivMenu;
    RunStatus* m_runStatus = nullptr;
    BusMonitor* m_busMonitor = nullptr;
    bool m_monitorRoomMade = false;
    QMenu* m_viewMenu = nullptr;
    QDockWidget* m_lampDock = nullptr;
    // The widths that show the whole surface and the lamps beside it.
    int m_surfaceWidth = 0;
    int m_surfaceHeight = 0;
    int m_lampDockWidth = 0;
    bool m_shown = false;
    LampWindow* m_lamps = nullptr;
    std::function<bool()> m_mayClose;
};

// Runs the window until it is closed; returns the process exit code (1 when the station or the
// line file cannot be used).
int RunWindow(int& argc, char** argv, const WindowOptions& options);

}  // namespace zd
