#include "gui/Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QString>

namespace zd {

namespace {

constexpr int kSize = 16;

// A bulb: glass, base and, when lit, a glow.
void DrawLamp(QPainter& p, const QColor& glass) {
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(glass);
    p.drawEllipse(QRectF(3.5, 1.5, 9, 9));
    p.setBrush(QColor(150, 150, 150));
    p.drawRect(QRectF(5.5, 10.5, 5, 4));
    p.drawLine(QPointF(5.5, 12.5), QPointF(10.5, 12.5));
}

QPixmap Paint(const QString& key) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (key == "DALI") {
        // The line: two wires with gear hanging on them.
        p.setPen(QPen(QColor(30, 60, 140), 2));
        p.drawLine(1, 4, 15, 4);
        p.setPen(QPen(QColor(30, 60, 140), 1));
        for (int x : {3, 8, 13}) {
            p.drawLine(x, 4, x, 9);
            p.setBrush(QColor(250, 220, 80));
            p.drawEllipse(QRectF(x - 2.5, 9.5, 5, 5));
        }
    } else if (key == "LampDALI" || key == "Lamp") {
        DrawLamp(p, QColor(250, 220, 80));
    } else if (key == "LampDALIError") {
        DrawLamp(p, QColor(250, 220, 80));
        p.setPen(QPen(QColor(200, 0, 0), 2));
        p.drawLine(9, 8, 15, 14);
        p.drawLine(15, 8, 9, 14);
    } else if (key == "LampFade") {
        DrawLamp(p, QColor(255, 255, 255));
        QPainterPath half;
        half.moveTo(8, 2);
        half.arcTo(QRectF(3.5, 1.5, 9, 9), 90, 180);
        half.closeSubpath();
        p.fillPath(half, QColor(250, 220, 80));
    } else if (key == "Groups") {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        const QColor colours[] = {QColor(90, 150, 230), QColor(120, 200, 120),
                                  QColor(240, 160, 80)};
        const QPointF centres[] = {{5, 5}, {11, 5}, {8, 11}};
        for (int i = 0; i < 3; ++i) {
            p.setBrush(colours[i]);
            p.drawEllipse(centres[i], 3.5, 3.5);
        }
    } else if (key == "Scenes") {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        for (int i = 0; i < 3; ++i) {
            p.setBrush(QColor(255 - 40 * i, 230 - 40 * i, 120));
            p.drawRect(QRectF(1.5 + 3 * i, 1.5 + 3 * i, 8, 8));
        }
    } else {
        return {};
    }
    return pixmap;
}

}  // namespace

// Painted each time rather than kept: pixmaps must not outlive the application object.
QIcon ImageIcon(const std::string& key) {
    const QPixmap pixmap = Paint(QString::fromStdString(key));
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace zd
