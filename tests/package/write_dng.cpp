// Writes a small DNG (a mosaic of coloured bands, no preview) to the path given, for the
// package test: the installed programs must read RAW files through their installed helper.

#include "dngwriter.h"

#include <QFile>
#include <QImage>
#include <QPainter>

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    QImage stored(64, 48, QImage::Format_RGB32);
    QPainter painter(&stored);
    for (int band = 0; band < 4; ++band)
        painter.fillRect(band * 16, 0, 16, 48, QColor::fromHsv(band * 90, 200, 220));
    painter.end();
    QFile file(QString::fromLocal8Bit(argv[1]));
    const QByteArray bytes = makeDng(stored, DngSensor::Cfa, 1);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() ? 0 : 1;
}
