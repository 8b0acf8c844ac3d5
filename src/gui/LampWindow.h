// The simulator's lamp window: one tile per gear on the simulated line with its short address, its
// lamp lit to its level, the level as a number, and the switches that take the lamp out, put it
// back or let it fail, so that physical selection can be tried by hand, and the faults of the gear
// (in a tile's context menu, marked on the tile while one is on) and of the terminal.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <vector>

#include "platform/Messages.h"

class QAction;
class QGridLayout;
class QTimer;
class QToolButton;

namespace zd {

namespace sim {
class Terminal;
}

class LampTile;

class LampWindow : public QWidget {
  public:
    // How often the tiles follow the line.
    static constexpr int kRefreshMs = 100;
    // Tiles per row of the simulator's own window.
    static constexpr int kColumns = 8;

    // The terminal must outlive the window; the window refreshes itself every kRefreshMs.
    explicit LampWindow(sim::Terminal& terminal, QWidget* parent = nullptr, int columns = kColumns,
                        Language language = Language::English);
    ~LampWindow() override;

    // Brings the tiles up to the line now: gear that came or went get or lose their tile.
    void Refresh();
    // What the tile of the gear shows as its level ("" for a gear without a tile).
    QString LevelText(int gearId) const;
    QString AddressText(int gearId) const;
    // Whether the tile of the gear shows that one of its faults is on.
    bool FaultMarked(int gearId) const;
    Language TextLanguage() const { return m_language; }

  protected:
    // Hidden (a closed dock), the tiles do not follow the line.
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void Rebuild(const std::vector<int>& ids);

    sim::Terminal& m_terminal;
    QGridLayout* m_grid = nullptr;
    QWidget* m_emptyNote = nullptr;
    int m_columns;
    Language m_language;
    std::vector<int> m_ids;
    std::map<int, LampTile*> m_tiles;
    QToolButton* m_terminalMenu = nullptr;
    std::vector<QAction*> m_acknowledgeDelays;
    std::unique_ptr<QTimer> m_timer;
};

}  // namespace zd
