#include "gui/StatusNote.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <algorithm>

namespace zd {

QString ShortenAtWord(const QFontMetrics& metrics, const QString& text, int width) {
    if (metrics.horizontalAdvance(text) <= width) return text;
    const QString ellipsis(QChar(0x2026));
    for (qsizetype end = text.lastIndexOf(QLatin1Char(' ')); end > 0;
         end = text.lastIndexOf(QLatin1Char(' '), end - 1)) {
        // Punctuation before the blank goes with the rest: "… 10:20:" would read as a time.
        QString head = text.left(end);
        while (!head.isEmpty() && QStringLiteral(",;:").contains(head.back())) head.chop(1);
        if (metrics.horizontalAdvance(head + ellipsis) <= width) return head + ellipsis;
    }
    return ellipsis;
}

StatusNote::StatusNote(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

void StatusNote::SetWholeText(const QString& text) {
    if (text == m_whole) return;
    m_whole = text;
    setToolTip(text);
    if (m_popup) m_popup->hide();
    Fit();
}

QSize StatusNote::sizeHint() const {
    return {fontMetrics().horizontalAdvance(m_whole) + 2 * margin(), QLabel::sizeHint().height()};
}

QSize StatusNote::minimumSizeHint() const {
    return {fontMetrics().horizontalAdvance(QStringLiteral("M\u2026")),
            QLabel::sizeHint().height()};
}

void StatusNote::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Fit();
}

void StatusNote::Fit() {
    const QString shown = ShortenAtWord(fontMetrics(), m_whole, contentsRect().width());
    if (shown != text()) setText(shown);
    setCursor(Shortened() ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void StatusNote::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !m_whole.isEmpty()) {
        ShowWhole();
        return;
    }
    QLabel::mousePressEvent(event);
}

QLabel* StatusNote::ShowWhole() {
    if (!m_popup) {
        m_popup = new QLabel(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("statusNoteWhole"));
        m_popup->setWordWrap(true);
        m_popup->setTextFormat(Qt::PlainText);
        m_popup->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_popup->setFrameShape(QFrame::Box);
        m_popup->setMargin(fontMetrics().height() / 2);
        m_popup->setAutoFillBackground(true);
    }
    m_popup->setText(m_whole);
    // As wide as the window allows, as high as the wrapped text needs, just above the note.
    const QWidget* window = this->window();
    const int width =
        std::min(window->width(), fontMetrics().horizontalAdvance(m_whole) + 4 * m_popup->margin());
    m_popup->setFixedWidth(std::max(width, fontMetrics().horizontalAdvance(QLatin1Char('M')) * 20));
    m_popup->adjustSize();
    QPoint at = mapToGlobal(QPoint(0, 0));
    at.setY(at.y() - m_popup->height());
    const QPoint windowLeft = window->mapToGlobal(QPoint(0, 0));
    at.setX(
        std::clamp(at.x(), windowLeft.x(), windowLeft.x() + window->width() - m_popup->width()));
    m_popup->move(at);
    m_popup->show();
    return m_popup;
}

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    connect(this, &QStatusBar::messageChanged, this, [this](const QString& message) {
        setToolTip(message);
        update();
    });
}

// As the bar paints itself, with the message shortened at a word where it does not fit in the
// place left of the permanent widgets.
void StatusBar::paintEvent(QPaintEvent* event) {
    const QString message = currentMessage();
    if (message.isEmpty()) {
        QStatusBar::paintEvent(event);
        return;
    }
    QPainter painter(this);
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_PanelStatusBar, &option, &painter, this);
    int right = width() - 12;
    for (const QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        // While a message shows, only the permanent widgets are visible.
        if (child->isVisible() && !child->isWindow() && child->x() > 6)
            right = std::min(right, child->x() - 2);
    }
    const QRect place(6, 0, std::max(0, right - 6), height());
    painter.setPen(palette().windowText().color());
    painter.drawText(place, Qt::AlignLeading | Qt::AlignVCenter | Qt::TextSingleLine,
                     ShortenAtWord(fontMetrics(), message, place.width()));
}

}  // namespace zd
