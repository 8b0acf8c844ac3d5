// The lamp window's tiles: a painted bulb, the short address, the level and the lamp switches,
// shared by the tile's buttons and its context menu, which also switches the gear's faults; the
// window's own menu button switches the terminal's.
#include "gui/LampWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QRadialGradient>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/ColourTemperature.h"
#include "gui/Texts.h"
#include "platform/Error.h"
#include "sim/Faults.h"
#include "sim/Terminal.h"

namespace zd {

namespace {

constexpr int kFullLevel = 254;
// The bulb's margin in its square, for the outline's pen.
constexpr int kBulbMargin = 4;
// The delays the faults of the menus switch on.
constexpr std::int64_t kSlowRandomiseMs = 300;
constexpr std::int64_t kAcknowledgeDelaysMs[] = {0, 40, 100};

// The lamp itself: lit in proportion to the level; an empty dashed socket while the lamp is out,
// a dark crossed bulb when it has failed.
class LampBulb : public QWidget {
  public:
    // The bulb is four lines of the tile's text high, so that it grows with the font.
    explicit LampBulb(QWidget* parent) : QWidget(parent) {
        const int side = 4 * fontMetrics().height() + 2 * kBulbMargin;
        setFixedSize(side, side);
    }

    // kelvin: the colour temperature of tunable-white gear, which tints the light.
    void Show(std::uint8_t level, sim::LampState lamp, std::optional<int> kelvin) {
        if (level == m_level && lamp == m_lamp && kelvin == m_kelvin) return;
        m_level = level;
        m_lamp = lamp;
        m_kelvin = kelvin;
        setToolTip(kelvin ? QStringLiteral("%1 K").arg(*kelvin) : QString());
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bulb =
            QRectF(rect()).adjusted(kBulbMargin, kBulbMargin, -kBulbMargin, -kBulbMargin);
        if (m_lamp == sim::LampState::Removed) {
            QPen pen(QColor(120, 120, 120), 2, Qt::DashLine);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(bulb);
            return;
        }
        if (m_lamp == sim::LampState::Failed) {
            painter.setPen(QPen(QColor(60, 60, 60), 2));
            painter.setBrush(QColor(45, 40, 40));
            painter.drawEllipse(bulb);
            painter.setPen(QPen(QColor(210, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
            const double inset = bulb.width() / 3.5;
            const QRectF cross = bulb.adjusted(inset, inset, -inset, -inset);
            painter.drawLine(cross.topLeft(), cross.bottomRight());
            painter.drawLine(cross.topRight(), cross.bottomLeft());
            return;
        }
        const double share = std::min(1.0, m_level / static_cast<double>(kFullLevel));
        const QColor dark(40, 40, 40);
        // A warm colour whose brightness follows the level, so a dimmed lamp looks dim, not grey.
        // Tunable white runs from that warm tone at 2700 K to a pale blue at 6500 K.
        const double cool = m_kelvin ? std::clamp((*m_kelvin - 2700) / 3800.0, 0.0, 1.0) : 0.0;
        const int hue = cool < 0.5 ? 45 : 210;
        // Toward the middle the tint fades to white; the cool end stays pale, as daylight does.
        const int saturation = cool < 0.5 ? static_cast<int>((120 + 80 * share) * (1.0 - 2 * cool))
                                          : static_cast<int>(70 * (2 * cool - 1.0));
        const QColor lit =
            QColor::fromHsv(hue, std::max(saturation, 20), 90 + static_cast<int>(165 * share));
        QRadialGradient glow(bulb.center(), bulb.width() / 2.0);
        glow.setColorAt(0.0, m_level == 0 ? dark : lit.lighter(100 + static_cast<int>(30 * share)));
        glow.setColorAt(1.0, m_level == 0 ? dark.darker(130) : lit.darker(115));
        painter.setPen(QPen(QColor(70, 70, 70), 1.5));
        painter.setBrush(glow);
        painter.drawEllipse(bulb);
    }

  private:
    std::uint8_t m_level = 0;
    sim::LampState m_lamp = sim::LampState::Present;
    std::optional<int> m_kelvin;
};

const char* LampStateText(sim::LampState lamp) {
    switch (lamp) {
        case sim::LampState::Removed:
            return "lamp out";
        case sim::LampState::Failed:
            return "lamp failed";
        case sim::LampState::Present:
            break;
    }
    return "lamp in";
}

}  // namespace

class LampTile : public QFrame {
  public:
    LampTile(sim::Terminal& terminal, int gearId, LampWindow& window)
        : QFrame(&window), m_terminal(terminal), m_gearId(gearId), m_window(window) {
        setFrameShape(QFrame::StyledPanel);
        setContextMenuPolicy(Qt::ActionsContextMenu);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(6, 6, 6, 6);
        layout->setSpacing(2);

        m_address = new QLabel(this);
        QFont big = m_address->font();
        big.setBold(true);
        big.setPointSizeF(big.pointSizeF() * 1.3);
        m_address->setFont(big);
        m_address->setAlignment(Qt::AlignCenter);
        m_address->setToolTip(Text("short address"));
        m_bulb = new LampBulb(this);
        m_level = new QLabel(this);
        m_level->setAlignment(Qt::AlignCenter);
        m_level->setToolTip(Text("level (0 to 254)"));
        m_state = new QLabel(this);
        m_state->setAlignment(Qt::AlignCenter);
        QFont small = m_state->font();
        small.setPointSizeF(small.pointSizeF() * 0.85);
        m_state->setFont(small);

        layout->addWidget(m_address);
        layout->addWidget(m_bulb, 0, Qt::AlignHCenter);
        layout->addWidget(m_level);
        layout->addWidget(m_state);
        m_faultMarker = new QLabel(Text("fault"), this);
        m_faultMarker->setAlignment(Qt::AlignCenter);
        m_faultMarker->setFont(small);
        m_faultMarker->setStyleSheet(QStringLiteral("color: #c03020; font-weight: bold;"));
        m_faultMarker->hide();
        layout->addWidget(m_faultMarker);

        m_remove = AddSwitch(Text("Out"), Text("Take the lamp out"), sim::LampState::Removed);
        m_insert = AddSwitch(Text("In"), Text("Put a working lamp in"), sim::LampState::Present);
        m_fail = AddSwitch(Text("Fail"), Text("Let the lamp fail"), sim::LampState::Failed);
        auto* buttons = new QHBoxLayout;
        buttons->setSpacing(2);
        for (QAction* action : {m_remove, m_insert, m_fail}) {
            auto* button = new QToolButton(this);
            button->setDefaultAction(action);
            button->setAutoRaise(false);
            buttons->addWidget(button);
        }
        layout->addLayout(buttons);
        AddFaultSwitches();
        setToolTip(Tr(window.TextLanguage(), "gear %1; right-click for the lamp and its faults",
                      {std::to_string(gearId)}));
    }

    void Show(std::optional<std::uint8_t> address, std::uint8_t level, sim::LampState lamp,
              std::optional<int> kelvin = std::nullopt) {
        const QString addressText = address ? QString::number(*address) : QStringLiteral("--");
        if (m_address->text() != addressText) m_address->setText(addressText);
        const QString levelText = QString::number(level);
        if (m_level->text() != levelText) m_level->setText(levelText);
        const QString stateText = Text(LampStateText(lamp));
        if (m_state->text() != stateText) m_state->setText(stateText);
        m_bulb->Show(level, lamp, kelvin);
        m_remove->setEnabled(lamp != sim::LampState::Removed);
        m_insert->setEnabled(lamp != sim::LampState::Present);
        m_fail->setEnabled(lamp == sim::LampState::Present);
    }

    // The fault switches follow the gear, whoever changed its faults.
    void ShowFaults(const sim::Ballast& gear) {
        const sim::GearFaults& faults = gear.Faults();
        m_silent->setChecked(faults.m_silent);
        m_everySecond->setChecked(faults.m_answerEverySecondQuery);
        m_loseNext->setChecked(faults.m_loseAnswer == 1);
        m_late->setChecked(faults.m_answerDelayUs != 0);
        m_slowRandomise->setChecked(faults.m_randomiseDelayMs != 0);
        m_mainsOff->setChecked(!gear.Powered());
        QStringList active;
        for (const auto& field : sim::GearFaultFields()) {
            const std::int64_t value = field.get(faults);
            if (value == 0) continue;
            active << QString::fromLatin1(field.name) +
                          (field.boolean ? QString() : QStringLiteral("=%1").arg(value));
        }
        if (!gear.Powered()) active << Text("mains off");
        m_faultMarker->setVisible(!active.isEmpty());
        m_faultMarker->setToolTip(active.join(QStringLiteral(", ")));
    }
    bool FaultMarked() const { return !m_faultMarker->isHidden(); }

    QString LevelText() const { return m_level->text(); }
    QString AddressText() const { return m_address->text(); }

  private:
    // Checkable switches in the context menu, below the lamp's.
    void AddFaultSwitches() {
        auto* separator = new QAction(this);
        separator->setSeparator(true);
        addAction(separator);
        m_silent = AddFault(Text("Silent"),
                            [](sim::Ballast& gear, bool on) { gear.Faults().m_silent = on; });
        m_everySecond = AddFault(
            Text("Answer every second query"),
            [](sim::Ballast& gear, bool on) { gear.Faults().m_answerEverySecondQuery = on; });
        m_loseNext = AddFault(Text("Lose the next answer"), [](sim::Ballast& gear, bool on) {
            gear.Faults().m_loseAnswer = on ? 1 : 0;
        });
        m_late = AddFault(Text("Answer late"), [](sim::Ballast& gear, bool on) {
            gear.Faults().m_answerDelayUs = on ? sim::kMaxAnswerDelayUs : 0;
        });
        m_slowRandomise =
            AddFault(Tr(m_window.TextLanguage(), "Random address ready %1 ms after RANDOMISE",
                        {std::to_string(kSlowRandomiseMs)}),
                     [](sim::Ballast& gear, bool on) {
                         gear.Faults().m_randomiseDelayMs = on ? kSlowRandomiseMs : 0;
                     });
        m_mainsOff = AddFault(Text("Mains off"), [this](sim::Ballast& gear, bool on) {
            if (on) {
                gear.PowerDown();
            } else {
                gear.PowerUp(m_terminal.NowMicros());
            }
        });
    }
    template <class Switch>
    QAction* AddFault(const QString& text, Switch change) {
        auto* action = new QAction(text, this);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, [this, change](bool on) {
            try {
                change(m_terminal.Gear(m_gearId), on);
            } catch (const ControlError&) {
                // The gear left the line since the last refresh; the refresh drops its tile.
            }
            m_window.Refresh();
        });
        addAction(action);
        return action;
    }

    QString Text(const char* english) const { return Tr(m_window.TextLanguage(), english); }
    QAction* AddSwitch(const QString& text, const QString& tip, sim::LampState lamp) {
        auto* action = new QAction(text, this);
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, lamp] {
            try {
                m_terminal.SetLamp(m_gearId, lamp);
            } catch (const ControlError&) {
                // The gear left the line since the last refresh; the refresh drops its tile.
            }
            m_window.Refresh();
        });
        addAction(action);
        return action;
    }

    sim::Terminal& m_terminal;
    int m_gearId;
    LampWindow& m_window;
    QLabel* m_address = nullptr;
    LampBulb* m_bulb = nullptr;
    QLabel* m_level = nullptr;
    QLabel* m_state = nullptr;
    QAction* m_remove = nullptr;
    QAction* m_insert = nullptr;
    QAction* m_fail = nullptr;
    QLabel* m_faultMarker = nullptr;
    QAction* m_silent = nullptr;
    QAction* m_everySecond = nullptr;
    QAction* m_loseNext = nullptr;
    QAction* m_late = nullptr;
    QAction* m_slowRandomise = nullptr;
    QAction* m_mainsOff = nullptr;
};

LampWindow::LampWindow(sim::Terminal& terminal, QWidget* parent, int columns, Language language)
    : QWidget(parent),
      m_terminal(terminal),
      m_columns(std::max(1, columns)),
      m_language(language),
      m_timer(std::make_unique<QTimer>()) {
    setWindowTitle(Tr(language, "Lamps"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->setSpacing(6);
    // The terminal's faults: how late it publishes what each command brought.
    m_terminalMenu = new QToolButton(this);
    m_terminalMenu->setText(Tr(language, "Terminal"));
    m_terminalMenu->setToolTip(Tr(language, "The terminal's faults"));
    m_terminalMenu->setPopupMode(QToolButton::InstantPopup);
    auto* menu = new QMenu(m_terminalMenu);
    auto* delays = new QActionGroup(menu);
    delays->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (std::int64_t delayMs : kAcknowledgeDelaysMs) {
        QAction* action = menu->addAction(
            delayMs == 0 ? Tr(language, "Acknowledge at once")
                         : Tr(language, "Acknowledge %1 ms late", {std::to_string(delayMs)}));
        action->setCheckable(true);
        action->setData(QVariant::fromValue<qlonglong>(delayMs));
        delays->addAction(action);
        QObject::connect(action, &QAction::triggered, this, [this, delayMs] {
            m_terminal.Faults().m_acknowledgeDelayMs = delayMs;
            Refresh();
        });
        m_acknowledgeDelays.push_back(action);
    }
    m_terminalMenu->setMenu(menu);
    layout->addWidget(m_terminalMenu, 0, Qt::AlignLeft);
    m_grid = new QGridLayout;
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(6);
    layout->addLayout(m_grid);
    layout->addStretch(1);
    m_emptyNote = new QLabel(Tr(language, "No gear on the line"), this);
    m_grid->addWidget(m_emptyNote, 0, 0);
    Refresh();
    QObject::connect(m_timer.get(), &QTimer::timeout, this, [this] { Refresh(); });
    m_timer->start(kRefreshMs);
}

LampWindow::~LampWindow() = default;

void LampWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    m_timer->start(kRefreshMs);
}

void LampWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_timer->stop();
}

void LampWindow::Refresh() {
    m_terminal.AdvanceToNow();
    std::vector<int> ids;
    for (const auto& gear : m_terminal.GetLine().Gear()) ids.push_back(gear->Id());
    if (ids != m_ids) Rebuild(ids);
    for (const auto& gear : m_terminal.GetLine().Gear()) {
        const auto tile = m_tiles.find(gear->Id());
        if (tile == m_tiles.end()) continue;
        std::optional<int> kelvin;
        if (const sim::ColourGear* colour = gear->Colour())
            kelvin = KelvinFromMirek(colour->State().actual);
        tile->second->Show(gear->ShortAddress(), m_terminal.GearLevel(gear->Id()), gear->Lamp(),
                           kelvin);
        tile->second->ShowFaults(*gear);
    }
    for (QAction* action : m_acknowledgeDelays)
        action->setChecked(action->data().toLongLong() == m_terminal.Faults().m_acknowledgeDelayMs);
}

void LampWindow::Rebuild(const std::vector<int>& ids) {
    // A tile may be the one whose switch asked for this refresh: let it finish first.
    for (auto& [id, tile] : m_tiles) {
        m_grid->removeWidget(tile);
        tile->hide();
        tile->deleteLater();
    }
    m_tiles.clear();
    m_ids = ids;
    m_emptyNote->setVisible(ids.empty());
    int index = 0;
    for (int id : ids) {
        auto* tile = new LampTile(m_terminal, id, *this);
        m_grid->addWidget(tile, index / m_columns, index % m_columns);
        m_tiles[id] = tile;
        ++index;
    }
    adjustSize();
}

QString LampWindow::LevelText(int gearId) const {
    const auto tile = m_tiles.find(gearId);
    return tile == m_tiles.end() ? QString() : tile->second->LevelText();
}

bool LampWindow::FaultMarked(int gearId) const {
    const auto tile = m_tiles.find(gearId);
    return tile != m_tiles.end() && tile->second->FaultMarked();
}

QString LampWindow::AddressText(int gearId) const {
    const auto tile = m_tiles.find(gearId);
    return tile == m_tiles.end() ? QString() : tile->second->AddressText();
}

}  // namespace zd
