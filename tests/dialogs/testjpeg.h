#pragma once
// Pictures for the viewer's tests, made in memory.

#include <QBuffer>
#include <QImage>
#include <QImageWriter>
#include <QRandomGenerator>

// A JPEG of noise over a gradient, so its scan data is long enough to cut into.
inline QByteArray testJpeg(QSize size, quint32 seed = 1, bool progressive = false)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4 % 256, y * 4 % 256, random.bounded(256)));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    writer.write(image);
    return buffer.data();
}
