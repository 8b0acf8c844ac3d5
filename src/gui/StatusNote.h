// A text in the status bar that is never cut inside a word: where its place is too narrow it ends
// at the last whole word with an ellipsis, its tooltip holds the whole text, and a click on it
// shows the whole text, wrapped, in a popup over the bar.
#pragma once

#include <QLabel>
#include <QStatusBar>
#include <QString>

namespace zd {

class StatusNote : public QLabel {
  public:
    explicit StatusNote(QWidget* parent = nullptr);

    void SetWholeText(const QString& text);
    const QString& WholeText() const { return m_whole; }
    // Whether the place shows less than the whole text.
    bool Shortened() const { return text() != m_whole; }
    // Shows the whole text in its popup (as a click does); the popup, for a look at it.
    QLabel* ShowWhole();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    void Fit();

    QString m_whole;
    QLabel* m_popup = nullptr;
};

// The window's status bar: its passing messages (a reading's progress, where a report went) end
// at a whole word too, and its tooltip holds the whole message while it shows.
class StatusBar : public QStatusBar {
  public:
    explicit StatusBar(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

// The text up to the last whole word that fits in width with "…" after it; the whole text where
// it fits. A first word that does not fit leaves the ellipsis alone.
QString ShortenAtWord(const QFontMetrics& metrics, const QString& text, int width);

}  // namespace zd
