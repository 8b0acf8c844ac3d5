#include "gui/LuminaireDock.h"

#include <QFont>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>
#include <initializer_list>

#include "gui/Texts.h"

namespace zd {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

LuminaireDock::LuminaireDock(Language language, QWidget* parent)
    : QDockWidget(Tr(language, "Luminaire"), parent), m_language(language) {
    setObjectName(QStringLiteral("dockLuminaire"));
    setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetClosable);
    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    m_device = new QLabel(body);
    m_device->setObjectName(QStringLiteral("lblLuminaireDevice"));
    QFont bold = m_device->font();
    bold.setBold(true);
    m_device->setFont(bold);
    layout->addWidget(m_device);
    auto* form = new QFormLayout;
    const auto edit = [&](const char* name, const char* label, int limit) {
        auto* line = new QLineEdit(body);
        line->setObjectName(QString::fromLatin1(name));
        line->setMaxLength(limit);
        form->addRow(Tr(language, label), line);
        return line;
    };
    const int limit = static_cast<int>(kSiteTextMax);
    m_name = edit("txtLuminaireName", "&Name:", limit);
    m_room = edit("txtLuminaireRoom", "&Room:", limit);
    m_floor = edit("txtLuminaireFloor", "&Floor:", limit);
    m_note = edit("txtLuminaireNote", "N&ote:", limit);
    layout->addLayout(form);
    m_state = new QLabel(body);
    m_state->setObjectName(QStringLiteral("lblLuminaireState"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);
    auto* buttons = new QHBoxLayout;
    const auto button = [&](const char* name, const char* text, std::function<void()> action) {
        auto* b = new QPushButton(Tr(language, text), body);
        b->setObjectName(QString::fromLatin1(name));
        connect(b, &QPushButton::clicked, this, [action] { action(); });
        buttons->addWidget(b);
        return b;
    };
    m_identify = button("cmdLuminaireIdentify", "&Identify", [this] {
        if (onIdentify) onIdentify();
    });
    m_save = button("cmdLuminaireSave", "&Save", [this] {
        if (onSave) onSave(Fields());
    });
    m_next = button("cmdLuminaireNext", "Save and ne&xt", [this] {
        if (onNext) onNext(Fields());
    });
    m_skip = button("cmdLuminaireSkip", "S&kip", [this] {
        if (onSkip) onSkip();
    });
    m_end = button("cmdLuminaireEnd", "&End the round", [this] {
        if (onEnd) onEnd();
    });
    // Return in a field saves, and in the round goes on to the next device.
    for (QLineEdit* line : {m_name, m_room, m_floor, m_note}) {
        connect(line, &QLineEdit::returnPressed, this,
                [this] { (m_next->isVisible() ? m_next : m_save)->click(); });
    }
    layout->addLayout(buttons);
    layout->addStretch();
    setWidget(body);
    ShowNone();
}

void LuminaireDock::ShowDevice(int address, const SiteEntry* entry, bool round,
                               const std::string& roundText) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", address);
    m_device->setText(Tr(m_language, "Device #%1", {number}));
    m_name->setText(entry ? Q(entry->name) : QString());
    m_room->setText(entry ? Q(entry->room) : QString());
    m_floor->setText(entry ? Q(entry->floor) : QString());
    m_note->setText(entry ? Q(entry->note) : QString());
    for (QWidget* widget : std::initializer_list<QWidget*>{m_name, m_room, m_floor, m_note,
                                                           m_identify, m_save, m_next, m_skip})
        widget->setEnabled(true);
    m_save->setVisible(!round);
    m_next->setVisible(round);
    m_skip->setVisible(round);
    m_end->setVisible(round);
    m_roundText = Q(roundText);
    m_state->setText(m_roundText);
}

void LuminaireDock::ShowNone() {
    m_device->setText(Tr(m_language, "No device chosen in the tree"));
    for (QLineEdit* line : {m_name, m_room, m_floor, m_note}) {
        line->clear();
        line->setEnabled(false);
    }
    for (QPushButton* b : {m_identify, m_save}) b->setEnabled(false);
    for (QPushButton* b : {m_next, m_skip, m_end}) b->setVisible(false);
    m_save->setVisible(true);
    m_roundText.clear();
    m_state->clear();
}

void LuminaireDock::SetIdentifying(bool identifying, const std::string& text) {
    m_identify->setEnabled(!identifying);
    m_state->setText(identifying ? Q(text) : m_roundText);
}

LuminaireFields LuminaireDock::Fields() const {
    return {m_name->text().trimmed().toStdString(), m_room->text().trimmed().toStdString(),
            m_floor->text().trimmed().toStdString(), m_note->text().trimmed().toStdString()};
}

}  // namespace zd
