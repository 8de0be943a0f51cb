// A compare pane's picture: decoded upright, at the size its box shows at the zoom, never
// above the picture's own.

#include <comparepane.h>

#include <QBuffer>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Writes a picture of four quarters (red, green / blue, yellow) as a JPEG, with an EXIF
// block holding only the orientation tag unless it is 1.
bool writeQuarters(const QString &path, QSize size, int orientation)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    painter.fillRect(w, h, size.width() - w, size.height() - h, Qt::yellow);
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "JPG", 95))
        return false;
    QByteArray bytes = buffer.data();
    if (orientation != 1) {
        const QByteArray exif = QByteArray("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25)
                                + char(orientation) + QByteArray(6, '\0');
        bytes.insert(2, QByteArray("\xff\xe1\0", 3) + char(exif.size() + 2) + exif);
    }
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}
} // namespace

class tst_comparepane : public QObject
{
    Q_OBJECT

private slots:
    void decodes_data()
    {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<QSize>("decoded");
        QTest::addColumn<QColor>("topLeft");
        QTest::newRow("a photo fitted") << QSize(4000, 3000) << 1 << 1.0
            << QSize(4000, 3000) << QSize(400, 300) << QColor(Qt::red);
        QTest::newRow("zoomed in twice") << QSize(4000, 3000) << 1 << 2.0
            << QSize(4000, 3000) << QSize(800, 600) << QColor(Qt::red);
        QTest::newRow("never above its own size") << QSize(600, 450) << 1 << 4.0
            << QSize(600, 450) << QSize(600, 450) << QColor(Qt::red);
        QTest::newRow("turned right, fitted upright") << QSize(4000, 3000) << 6 << 1.0
            << QSize(3000, 4000) << QSize(225, 300) << QColor(Qt::blue);
        QTest::newRow("turned left") << QSize(800, 600) << 8 << 1.0
            << QSize(600, 800) << QSize(225, 300) << QColor(Qt::green);
        QTest::newRow("upside down") << QSize(800, 600) << 3 << 1.0
            << QSize(800, 600) << QSize(400, 300) << QColor(Qt::yellow);
    }
    void decodes()
    {
        // The pane decodes the picture as the viewer shows it, upright, and no larger than
        // its box shows it at the zoom.
        QFETCH(QSize, stored);
        QFETCH(int, orientation);
        QFETCH(double, zoom);
        QFETCH(QSize, upright);
        QFETCH(QSize, decoded);
        QFETCH(QColor, topLeft);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.jpg"));
        QVERIFY(writeQuarters(path, stored, orientation));
        const ComparePicture picture =
            readComparePicture(path, zoom, QSizeF(400, 300), std::make_shared<std::atomic_bool>(false));
        QVERIFY(picture.ok);
        QCOMPARE(picture.size, upright);
        QCOMPARE(picture.image.size(), decoded);
        const QColor seen = picture.image.pixelColor(4, 4);
        QVERIFY2(qAbs(seen.red() - topLeft.red()) + qAbs(seen.green() - topLeft.green()) + qAbs(seen.blue() - topLeft.blue()) < 90,
                 qPrintable(seen.name()));
    }
};

QTEST_MAIN(tst_comparepane)
#include "tst_comparepane.moc"
