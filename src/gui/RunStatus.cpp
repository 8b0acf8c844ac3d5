#include "gui/RunStatus.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "frame/ControlProgress.h"
#include "gui/StatusNote.h"
#include "gui/Texts.h"
#include "maintenance/DeviceJson.h"
#include "platform/HostTexts.h"

namespace zd {

namespace {

// The elapsed time and the estimate move on between the control's own changes.
constexpr int kTickMs = 500;

}  // namespace

// The English texts also go to the log and the documents; other languages word each kind of
// recovery with the addresses it names.
RunStatus::RunStatus(configZD4270& control, QStatusBar& bar)
    : QObject(&bar),
      m_control(control),
      m_statusBar(bar),
      m_text(new StatusNote(&bar)),
      m_bar(new QProgressBar(&bar)),
      m_cancel(new QPushButton(Tr(control.GetContext().messages.GetLanguage(), "Cancel"), &bar)),
      m_noCancel(new QLabel(&bar)),
      m_tick(new QTimer(this)) {
    const Language language = control.GetContext().messages.GetLanguage();
    m_noCancel->setText(Tr(language, "the terminal cannot be stopped"));
    m_noCancel->setToolTip(Tr(language,
                              "The terminal addresses the line on its own and does not let the "
                              "control stop it. The devices are scanned once it has finished."));
    m_bar->setRange(0, 1000);
    m_bar->setMaximumWidth(m_bar->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 20);
    bar.addWidget(m_text, 1);
    bar.addPermanentWidget(m_bar);
    bar.addPermanentWidget(m_cancel);
    bar.addPermanentWidget(m_noCancel);
    m_bar->hide();
    m_cancel->hide();
    m_noCancel->hide();
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        // The procedure's own button, as if the user had clicked it on its tab.
        if (Button* button = ProgressCancelButton(m_control)) button->Click();
        Update();
    });
    m_tick->setInterval(kTickMs);
    connect(m_tick, &QTimer::timeout, this, [this] { Update(); });
    // A run changes several models at once, its running flag last: the status bar reads them
    // once the control is done, from the event loop.
    m_unwatch = WatchControlProgress(control, [this] {
        if (ControlProgress(m_control).pageRead) {
            Update();
            DrawNow();
            return;
        }
        if (m_pending) return;
        m_pending = true;
        QTimer::singleShot(0, this, [this] {
            m_pending = false;
            Update();
        });
    });
    Update();
}

RunStatus::~RunStatus() {
    m_unwatch();
}

void RunStatus::Update() {
    const ProgressState state = ControlProgress(m_control);
    const std::int64_t now = m_control.GetContext().scheduler.Now();
    if (state.what.empty() && !m_what.empty() && !m_control.Recovered().empty()) {
        // The run is over: what it got over stays in the status bar until the next run.
        const Language language = m_control.GetContext().messages.GetLanguage();
        std::string texts;
        for (const AddressingRecovery& r : m_control.Recovered()) {
            if (!texts.empty()) texts += "; ";
            texts += RecoveryText(language, r) +
                     (r.count > 1 ? " (" + std::to_string(r.count) + "x)" : "");
        }
        m_kept = QString::fromStdString(HostText(language, "Recovered on the line: %1", {texts}));
    }
    if (state.what != m_what) {
        m_what = state.what;
        m_beginMs = now;
    }
    if (state.what.empty()) {
        m_tick->stop();
        m_text->SetWholeText(m_kept);
        // An empty text would take half the bar from the store's note beside it.
        m_text->setVisible(!m_kept.isEmpty());
        m_bar->hide();
        m_cancel->hide();
        m_noCancel->hide();
        return;
    }
    m_kept.clear();
    if (!m_tick->isActive()) m_tick->start();
    m_text->SetWholeText(QString::fromStdString(ProgressText(state, now - m_beginMs)));
    m_text->show();
    if (state.fraction) {
        m_bar->setRange(0, 1000);
        m_bar->setValue(
            static_cast<int>(std::lround(std::clamp(*state.fraction, 0.0, 1.0) * 1000)));
    } else {
        // Busy: the procedure cannot tell how far it has come.
        m_bar->setRange(0, 0);
    }
    m_bar->show();
    const bool cancel = ProgressCancelButton(m_control) != nullptr;
    m_cancel->setVisible(cancel);
    // The terminal's own addressing runs on whatever the control does.
    m_noCancel->setVisible(!cancel && m_control.RndAddrRunning() &&
                           !m_control.lstRndAddrView.Visible());
}

void RunStatus::DrawNow() {
    // Only the status bar's own layout request is handled: the bar just shown gets its place.
    QCoreApplication::sendPostedEvents(&m_statusBar, QEvent::LayoutRequest);
    m_statusBar.repaint();
}

}  // namespace zd
