// The note in the window's status bar while the device tree shows the list the store kept from an
// earlier run: how many devices, when this terminal was last scanned in the window, and a button
// that scans now. The first scan takes the note away, and its end is remembered. A narrow window
// shortens the note at a word; its tooltip and a click show it whole.
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>

#include "frame/ControlProgress.h"
#include "frame/configZD4270.h"
#include "gui/MainWindow.h"
#include "gui/StatusNote.h"
#include "gui/Texts.h"
#include "gui/WindowHost.h"

namespace zd {

std::int32_t WindowHost::StoredPosition() const {
    return m_control->Position() >= 0 ? m_control->Position() : m_current.PositionOrFirst();
}

void WindowHost::ShowStoredListNote() {
    const auto& devices = m_control->State().devices;
    if (!devices || devices->Items().empty() || m_control->Scanning()) return;
    const Language language = TextLanguage();
    const std::string when = m_store.LastScan(StoredPosition());
    const std::string count = std::to_string(devices->Items().size());
    const QString text =
        when.empty() ? Tr(language,
                          "The %1 devices in the tree come from the store; not scanned in the "
                          "window yet: the line may hold others.",
                          {count})
                     : Tr(language,
                          "The %1 devices in the tree come from the store, last scanned %2: "
                          "the line may hold others.",
                          {count, when});
    QStatusBar* bar = m_window->statusBar();
    auto* note = new StatusNote(bar);
    note->SetWholeText(text);
    note->setObjectName(QStringLiteral("storedListNote"));
    auto* scan = new QPushButton(Tr(language, "&Scan now"), bar);
    scan->setObjectName(QStringLiteral("storedListScan"));
    bar->addWidget(note, 1);
    bar->addPermanentWidget(scan);
    connect(scan, &QPushButton::clicked, this, [this] { m_control->cmdScanDevices.Click(); });
}

void WindowHost::WatchScans() {
    m_scanRunning = m_control->Scanning();
    m_unwatchScans = WatchControlProgress(*m_control, [this] {
        if (m_control->Scanning() == m_scanRunning) return;
        m_scanRunning = m_control->Scanning();
        // From the first scan on, the tree shows the line: the note goes.
        if (QStatusBar* bar = m_window ? m_window->statusBar() : nullptr) {
            for (const char* name : {"storedListNote", "storedListScan"}) {
                if (auto* widget = bar->findChild<QWidget*>(QLatin1String(name))) {
                    // The button may be the one whose click started the scan: it goes from the
                    // bar at once and is deleted once its signal has returned.
                    bar->removeWidget(widget);
                    widget->setParent(nullptr);
                    widget->deleteLater();
                }
            }
        }
        if (!m_scanRunning) {
            const QString now =
                QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            m_store.RememberScan(StoredPosition(), now.toStdString());
        }
    });
}

}  // namespace zd
