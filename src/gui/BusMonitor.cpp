#include "gui/BusMonitor.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <array>
#include <vector>

#include "engine/BusLog.h"
#include "gui/Texts.h"
#include "link/Commands.h"

namespace zd {

// The rows of the log that pass the filter, as a table; rebuilt when the log has changed.
class BusTableModel : public QAbstractTableModel {
  public:
    BusTableModel(const BusLog& log, Language language, QObject* parent)
        : QAbstractTableModel(parent), m_log(log), m_language(language) {}

    // address: "" for all; kinds: shown per BusKind.
    void SetFilter(const std::string& address, const std::array<bool, 3>& kinds) {
        m_addressFilter = address;
        m_kinds = kinds;
        m_generation = ~std::uint64_t{0};
    }
    // False when nothing changed since the last rebuild.
    bool Rebuild() {
        if (m_generation == m_log.Generation()) return false;
        beginResetModel();
        m_generation = m_log.Generation();
        m_rows.clear();
        const auto& entries = m_log.Entries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (Passes(entries[i])) m_rows.push_back(m_log.FirstNumber() + i);
        endResetModel();
        return true;
    }
    std::deque<BusEntry> Shown() const {
        std::deque<BusEntry> shown;
        for (std::uint64_t n : m_rows)
            if (const BusEntry* e = m_log.Entry(n)) shown.push_back(*e);
        return shown;
    }

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : kBusColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        // A row the ring dropped since the last rebuild shows empty until the next one.
        const BusEntry* entry = m_log.Entry(m_rows[static_cast<std::size_t>(index.row())]);
        if (!entry) return {};
        return QString::fromStdString(BusColumnText(*entry, index.column()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        static const char* const kHeaders[kBusColumnCount] = {
            "Time", "Address", "Command", "Word", "Result", "Answer", "Meaning"};
        return Tr(m_language, kHeaders[section]);
    }

  private:
    bool Passes(const BusEntry& e) const {
        if (!m_kinds[static_cast<int>(KindOf(e))]) return false;
        return m_addressFilter.empty() || BusAddressText(e) == m_addressFilter;
    }

    const BusLog& m_log;
    Language m_language;
    std::vector<std::uint64_t> m_rows;
    std::string m_addressFilter;
    std::array<bool, 3> m_kinds{true, true, true};
    std::uint64_t m_generation = ~std::uint64_t{0};
};

BusMonitor::BusMonitor(Link& link, const Scheduler& clock, Language language, QWidget* parent)
    : QDockWidget(Tr(language, "Bus monitor"), parent),
      m_link(link),
      m_language(language),
      m_log(std::make_unique<BusLog>(clock)),
      m_model(new BusTableModel(*m_log, language, this)),
      m_table(new QTableView),
      m_address(new QComboBox),
      m_kinds{new QCheckBox(Tr(language, "Commands")), new QCheckBox(Tr(language, "Queries")),
              new QCheckBox(Tr(language, "Special commands"))},
      m_pause(new QCheckBox(Tr(language, "Pause"))),
      m_timer(new QTimer(this)) {
    setObjectName(QStringLiteral("busMonitor"));
    auto* body = new QWidget;
    auto* layout = new QVBoxLayout(body);
    auto* bar = new QHBoxLayout;
    m_address->addItem(Tr(language, "All addresses"), QString());
    for (int a = 0; a < 64; ++a) m_address->addItem(QStringLiteral("A%1").arg(a));
    for (int g = 0; g < 16; ++g) m_address->addItem(QStringLiteral("G%1").arg(g));
    for (const char* other : {"Bcast", "*", "DSI"}) m_address->addItem(QString::fromLatin1(other));
    m_address->setToolTip(Tr(language, "Show the transactions of one address only"));
    bar->addWidget(m_address);
    for (QCheckBox* kind : m_kinds) {
        kind->setChecked(true);
        bar->addWidget(kind);
    }
    m_pause->setToolTip(Tr(language, "Stop recording; what was recorded stays"));
    bar->addWidget(m_pause);
    bar->addStretch(1);
    auto* clear = new QPushButton(Tr(language, "Clear"));
    auto* exportCsv = new QPushButton(Tr(language, "Export CSV..."));
    bar->addWidget(clear);
    bar->addWidget(exportCsv);
    layout->addLayout(bar);
    layout->addWidget(m_table);
    setWidget(body);

    m_table->setModel(m_model);
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(false);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[kBusColumnCount - 1] = {13, 8, 30, 9, 26, 12};
    for (int c = 0; c < kBusColumnCount - 1; ++c) m_table->setColumnWidth(c, widths[c] * digit);

    const auto filterChanged = [this] {
        std::array<bool, 3> kinds{};
        for (int k = 0; k < 3; ++k) kinds[k] = m_kinds[k]->isChecked();
        m_model->SetFilter(
            m_address->currentIndex() == 0 ? std::string() : m_address->currentText().toStdString(),
            kinds);
        Refresh();
    };
    connect(m_address, &QComboBox::currentIndexChanged, this, filterChanged);
    for (QCheckBox* kind : m_kinds) connect(kind, &QCheckBox::toggled, this, filterChanged);
    connect(m_pause, &QCheckBox::toggled, this, [this] { Watch(isVisible()); });
    connect(clear, &QPushButton::clicked, this, [this] {
        m_log->Clear();
        Refresh();
    });
    connect(exportCsv, &QPushButton::clicked, this, [this] {
        const QString path =
            QFileDialog::getSaveFileName(this, Tr(m_language, "Export the bus monitor"), QString(),
                                         Tr(m_language, "CSV files (*.csv)"));
        if (!path.isEmpty()) ExportCsv(path);
    });
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, [this] { Refresh(); });
    // Hidden, the monitor neither records nor redraws: the link's path then costs one test.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) { Watch(visible); });
}

BusMonitor::~BusMonitor() {
    Watch(false);
}

void BusMonitor::Watch(bool on) {
    const bool record = on && !m_pause->isChecked();
    if (record != m_watching) {
        m_link.SetObserver(record ? m_log.get() : nullptr);
        m_watching = record;
    }
    if (on) {
        m_timer->start();
        Refresh();
    } else {
        m_timer->stop();
    }
}

void BusMonitor::Refresh() {
    QScrollBar* bar = m_table->verticalScrollBar();
    // The list follows the newest row unless the user scrolled back to read.
    const bool atEnd = bar->value() == bar->maximum();
    if (m_model->Rebuild() && atEnd) m_table->scrollToBottom();
}

bool BusMonitor::ExportCsv(const QString& path) {
    Refresh();
    QSaveFile file(path);
    const std::string csv = BusCsv(m_model->Shown());
    if (file.open(QIODevice::WriteOnly) &&
        file.write(csv.data(), static_cast<qint64>(csv.size())) ==
            static_cast<qint64>(csv.size()) &&
        file.commit())
        return true;
    QMessageBox::warning(this, windowTitle(),
                         Tr(m_language, "The bus monitor could not be saved to %1: %2",
                            {path.toStdString(), file.errorString().toStdString()}));
    return false;
}

}  // namespace zd
