// The bus monitor dock: every transaction the control makes, as it happens, with its address,
// command, word, result and the answer's meaning; filtered by address and kind, paused, cleared
// and exported as CSV. It watches the link only while it is shown.
#pragma once

#include <QDockWidget>
#include <memory>

#include "platform/Messages.h"

class QCheckBox;
class QComboBox;
class QTableView;
class QTimer;

namespace zd {

class BusLog;
class BusTableModel;
class Link;
class Scheduler;

class BusMonitor : public QDockWidget {
  public:
    // How often the list follows the log while shown.
    static constexpr int kRefreshMs = 200;

    // The link must outlive the dock; its own texts are in language.
    BusMonitor(Link& link, const Scheduler& clock, Language language = Language::English,
               QWidget* parent = nullptr);
    ~BusMonitor() override;

    const BusLog& Log() const { return *m_log; }
    QTableView* Table() const { return m_table; }
    // Brings the list up to the log now.
    void Refresh();
    // Writes the rows the filter shows; false (and a message box) when the file cannot be written.
    bool ExportCsv(const QString& path);

    QComboBox* AddressFilter() const { return m_address; }
    QCheckBox* KindFilter(int kind) const { return m_kinds[kind]; }
    QCheckBox* PauseBox() const { return m_pause; }

  private:
    void Watch(bool on);

    Link& m_link;
    Language m_language;
    std::unique_ptr<BusLog> m_log;
    BusTableModel* m_model;
    QTableView* m_table;
    QComboBox* m_address;
    QCheckBox* m_kinds[3];
    QCheckBox* m_pause;
    QTimer* m_timer;
    bool m_watching = false;
};

}  // namespace zd
