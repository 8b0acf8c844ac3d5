// The window of zd4270: a main window that hosts configZD4270 for one terminal the way the
// configuration tool would (create, resize, RefreshData, terminate), and RunWindow, which sets it
// up on the in-process simulated line for main().
#pragma once

#include <QMainWindow>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Messages.h"

class QApplication;
class QIcon;

namespace zd {

class configZD4270;
class ControlBinding;

struct WindowOptions {
    std::string stationFile;
    std::int32_t position = -1;  // -1: the station's first terminal
    std::string lineFile;        // empty: a line without gear
    Language language = Language::English;
    std::string modbus;          // "HOST:PORT": a terminal on Modbus TCP instead of the simulator
    std::string registryFile;    // the store (INI); empty: the user's, as the command line's
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

    // "ZD4270 - <station file> - Pos <n>".
    void SetStation(const std::string& stationFile, std::int32_t position);

    ControlBinding& Surface() const { return *m_surface; }

    // The About box: the program's version and what it is for.
    static QString AboutText();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    configZD4270& m_control;
    std::unique_ptr<ControlBinding> m_surface;
    std::unique_ptr<ControlBinding> m_archivMenu;
};

// Runs the window until it is closed; returns the process exit code (1 when the station or the
// line file cannot be used).
int RunWindow(int& argc, char** argv, const WindowOptions& options);

}  // namespace zd
