// The Qt GUI application that a run without a window needs for drawing: the report's PDF needs
// fonts, not a screen. The program makes one where it needs it and keeps it while it draws.
#pragma once

#include <QtGlobal>
#include <memory>

class QGuiApplication;

namespace zd {

class OffscreenApplication {
  public:
    // Where the program already has its QGuiApplication (the window's), that one serves.
    // Otherwise one is made for this object's life, on the offscreen platform unless
    // QT_QPA_PLATFORM names another, so that a display that is set but cannot be reached does
    // not end the run.
    OffscreenApplication();
    ~OffscreenApplication();
    OffscreenApplication(const OffscreenApplication&) = delete;
    OffscreenApplication& operator=(const OffscreenApplication&) = delete;

    // Whether this object made the application (false: the program had one already).
    bool Made() const { return m_app != nullptr; }

  private:
    // The arguments the application is made with; it keeps them for its whole life.
    char m_name[7] = "zd4270";
    char m_platformOption[10] = "-platform";
    char m_platform[10] = "offscreen";
    char* m_argv[4] = {m_name, m_platformOption, m_platform, nullptr};
    int m_argc = 1;
    QtMessageHandler m_previousHandler = nullptr;
    std::unique_ptr<QGuiApplication> m_app;
};

}  // namespace zd
