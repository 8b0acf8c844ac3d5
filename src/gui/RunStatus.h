// The status bar's view of a long procedure: what runs, how far it has come, the time left at the
// line's own pace so far, and a Cancel where the procedure can be cancelled (where it cannot, as
// the terminal's own addressing, the bar says so). A device page's read holds the window's
// thread; the status bar then draws itself at each step. What a run recovered from stays in the
// text once it is over, until the next run.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace zd {

class configZD4270;
class StatusNote;

class RunStatus : public QObject {
  public:
    // Adds its widgets to bar; the control must outlive this.
    RunStatus(configZD4270& control, QStatusBar& bar);
    ~RunStatus() override;

    // Reads the control again (also called whenever a model that tells the progress changes).
    void Update();

    StatusNote* Text() const { return m_text; }
    QProgressBar* Bar() const { return m_bar; }
    QPushButton* CancelButton() const { return m_cancel; }
    // Shown instead of Cancel while the terminal addresses the line on its own.
    QLabel* NoCancel() const { return m_noCancel; }

  private:
    // Lays the bar out and paints it at once, without running the event loop: no click or timer
    // of the user's may run inside the handler that reads.
    void DrawNow();

    configZD4270& m_control;
    QStatusBar& m_statusBar;
    StatusNote* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    QLabel* m_noCancel;
    QTimer* m_tick;
    std::function<void()> m_unwatch;
    std::string m_what;
    // What the last run recovered from, shown until the next one.
    QString m_kept;
    std::int64_t m_beginMs = 0;
    bool m_pending = false;
};

}  // namespace zd
