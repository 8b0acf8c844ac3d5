// The status bar's view of a long procedure: what runs, how far it has come, the time left at the
// line's own pace so far, and a Cancel where the procedure can be cancelled. A device page's read
// holds the window's thread; the status bar then draws itself at each step.
#pragma once

#include <QObject>
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
struct AddressingRecovery;
enum class Language;

// One recovery of the control in the window's language (the English text is the control's own).
std::string RecoveryText(Language language, const AddressingRecovery& recovery);

class RunStatus : public QObject {
  public:
    // Adds its widgets to bar; the control must outlive this.
    RunStatus(configZD4270& control, QStatusBar& bar);
    ~RunStatus() override;

    // Reads the control again (also called whenever a model that tells the progress changes).
    void Update();

    QLabel* Text() const { return m_text; }
    QProgressBar* Bar() const { return m_bar; }
    QPushButton* CancelButton() const { return m_cancel; }

  private:
    // Lays the bar out and paints it at once, without running the event loop: no click or timer
    // of the user's may run inside the handler that reads.
    void DrawNow();

    configZD4270& m_control;
    QStatusBar& m_statusBar;
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    QTimer* m_tick;
    std::function<void()> m_unwatch;
    std::string m_what;
    std::int64_t m_beginMs = 0;
    bool m_pending = false;
};

}  // namespace zd
