#include "selectionmark.h"

#include <QPainter>
#include <QPalette>

void paintSelectionMark(QPainter &painter, const QRect &picture, const QPalette &palette)
{
    // Unlike the caption's highlight, it shows on every selected picture.
    const QColor highlight = palette.color(QPalette::Highlight);
    const int pen = qMax(3, picture.width() / 40);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(highlight, pen, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(picture).adjusted(pen / 2.0, pen / 2.0, -pen / 2.0, -pen / 2.0));
    const qreal size = qBound(14, picture.width() / 6, 28);
    const QRectF badge(picture.right() + 1 - pen - size - 2, picture.top() + pen + 2, size, size);
    painter.setPen(Qt::NoPen);
    painter.setBrush(highlight);
    painter.drawEllipse(badge);
    painter.setPen(QPen(palette.color(QPalette::HighlightedText), size / 7, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    const QPointF tick[] = {badge.topLeft() + QPointF(size * 0.27, size * 0.52),
                            badge.topLeft() + QPointF(size * 0.44, size * 0.69),
                            badge.topLeft() + QPointF(size * 0.74, size * 0.33)};
    painter.drawPolyline(tick, 3);
    painter.restore();
}
