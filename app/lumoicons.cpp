#include "lumoicons.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QSvgRenderer>

namespace {
constexpr int Side = 16;

const QColor Ink(60, 60, 60);
const QColor Paper(250, 250, 250);
const QColor FolderYellow(240, 196, 80);
const QColor Sky(150, 195, 235);
const QColor Grass(90, 160, 90);
const QColor Red(205, 50, 45);
const QColor Green(40, 150, 60);
const QColor Blue(50, 100, 180);

void page(QPainter &p)
{
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(9.5, 1.5);
    sheet.lineTo(12.5, 4.5);
    sheet.lineTo(12.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    p.setPen(Ink);
    p.setBrush(Paper);
    p.drawPath(sheet);
    p.drawLine(QPointF(9.5, 1.5), QPointF(9.5, 4.5));
    p.drawLine(QPointF(9.5, 4.5), QPointF(12.5, 4.5));
}

void folder(QPainter &p)
{
    p.setPen(Ink);
    p.setBrush(FolderYellow.darker(115));
    p.drawRect(QRectF(1.5, 3.5, 5, 2));
    p.setBrush(FolderYellow);
    p.drawRect(QRectF(1.5, 5.5, 13, 8));
}

// A little landscape: the picture every picture icon starts from.
void picture(QPainter &p, const QRectF &r)
{
    p.setPen(Ink);
    p.setBrush(Sky);
    p.drawRect(r);
    p.setPen(Qt::NoPen);
    p.setBrush(Grass);
    p.drawPolygon(QPolygonF({QPointF(r.left() + 1, r.bottom()), QPointF(r.center().x() - 1, r.center().y()),
                             QPointF(r.right(), r.bottom())}));
}

void cross(QPainter &p, const QRectF &r, const QColor &colour)
{
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.topLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomLeft());
}

void plus(QPainter &p, const QPointF &c, const QColor &colour)
{
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(c - QPointF(3, 0), c + QPointF(3, 0));
    p.drawLine(c - QPointF(0, 3), c + QPointF(0, 3));
}
} // namespace

QPixmap LumoIcons::drawn(const QString &key)
{
    QPixmap pixmap(Side, Side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    if (key == QLatin1String("New")) {
        page(p);
    } else if (key == QLatin1String("Open")) {
        folder(p);
        p.setBrush(FolderYellow.lighter(115));
        p.drawPolygon(QPolygonF({QPointF(3.5, 8.5), QPointF(15.5, 8.5), QPointF(13.5, 13.5), QPointF(1.5, 13.5)}));
    } else if (key == QLatin1String("Save")) {
        p.setPen(Ink);
        p.setBrush(Blue);
        p.drawRect(QRectF(1.5, 1.5, 13, 13));
        p.setBrush(Paper);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.drawRect(QRectF(3.5, 9.5, 9, 5));
    } else if (key == QLatin1String("Like")) {
        picture(p, QRectF(0.5, 0.5, 10, 8));
        picture(p, QRectF(5.5, 6.5, 10, 8));
    } else if (key == QLatin1String("Add")) {
        picture(p, QRectF(0.5, 2.5, 11, 9));
        plus(p, QPointF(12, 12), Green);
    } else if (key == QLatin1String("Del")) {
        picture(p, QRectF(0.5, 2.5, 11, 9));
        cross(p, QRectF(9, 9, 6, 6), Red);
    } else if (key == QLatin1String("Folder")) {
        folder(p);
        plus(p, QPointF(12, 12), Green);
    } else if (key == QLatin1String("View")) {
        p.setPen(QPen(Ink, 1.6));
        p.setBrush(Sky.lighter(120));
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
        p.setPen(QPen(Ink, 2.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(14.5, 14.5));
    } else if (key == QLatin1String("List")) {
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                picture(p, QRectF(0.5 + 8 * x, 0.5 + 8 * y, 6.5, 6.5));
    } else if (key == QLatin1String("Cancel")) {
        p.setPen(QPen(Red, 2));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(8, 8), 6, 6);
        p.drawLine(QPointF(4, 12), QPointF(12, 4));
    } else if (key == QLatin1String("Present")) {
        picture(p, QRectF(1.5, 2.5, 13, 11));
    } else if (key == QLatin1String("Missing")) {
        picture(p, QRectF(1.5, 2.5, 13, 11));
        p.setOpacity(0.55);
        p.fillRect(QRectF(1.5, 2.5, 13, 11), Paper);
        p.setOpacity(1.0);
        cross(p, QRectF(4, 4, 8, 8), Red);
    }
    return pixmap;
}

QIcon LumoIcons::imlLumo(const QString &key)
{
    static const QHash<QString, QString> themed = {
        {QStringLiteral("Cancel"), QStringLiteral("process-stop")},
        {QStringLiteral("New"), QStringLiteral("document-new")},
        {QStringLiteral("Open"), QStringLiteral("document-open")},
        {QStringLiteral("Save"), QStringLiteral("document-save")},
        {QStringLiteral("Add"), QStringLiteral("list-add")},
        {QStringLiteral("Del"), QStringLiteral("edit-delete")},
        {QStringLiteral("View"), QStringLiteral("zoom-original")},
    };
    const QIcon own(drawn(key));
    const QString name = themed.value(key);
    return name.isEmpty() ? own : QIcon::fromTheme(name, own);
}

QIcon LumoIcons::imlJpeg(int image)
{
    return QIcon(drawn(image == 2 ? QStringLiteral("Missing") : QStringLiteral("Present")));
}

QIcon LumoIcons::application()
{
    // Drawn here rather than left to Qt's SVG icon plug-in, which a system may lack.
    QSvgRenderer renderer(QStringLiteral(":/lumo.svg"));
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
