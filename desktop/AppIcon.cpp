#include "desktop/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A speech balloon on a rounded square, drawn at `size` pixels.
QPixmap DrawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
    painter.drawRoundedRect(QRectF(0, 0, size, size), 3 * unit, 3 * unit);
    QPainterPath balloon;
    balloon.addEllipse(QRectF(2 * unit, 3 * unit, 12 * unit, 8 * unit));
    balloon.moveTo(4.5 * unit, 9.5 * unit);
    balloon.lineTo(3 * unit, 14 * unit);
    balloon.lineTo(7.5 * unit, 10.5 * unit);
    painter.setBrush(Qt::white);
    painter.drawPath(balloon.simplified());
    painter.setBrush(QColor(0x1f, 0x5f, 0xa8));
    for (const qreal x : {5.0, 8.0, 11.0})
        painter.drawEllipse(QPointF(x * unit, 7 * unit), unit, unit);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48})
        icon.addPixmap(DrawIcon(size));
    return icon;
}
