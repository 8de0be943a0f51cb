// A compare pane's picture: decoded upright, at the size its box shows at the zoom, never
// above the picture's own.

#include <comparepane.h>

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// Writes a picture of four quarters (red, green / blue, yellow) as a JPEG, baseline or
// progressive, with an EXIF block holding only the orientation tag unless it is 1.
bool writeQuarters(const QString &path, QSize size, int orientation, bool progressive = false)
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
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
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
        QTest::addColumn<bool>("progressive");
        QTest::addColumn<int>("coarse"); // first pictures before the decoded one
        QTest::newRow("a photo fitted") << QSize(4000, 3000) << 1 << 1.0
            << QSize(4000, 3000) << QSize(400, 300) << QColor(Qt::red) << false << 0;
        QTest::newRow("zoomed in twice") << QSize(4000, 3000) << 1 << 2.0
            << QSize(4000, 3000) << QSize(800, 600) << QColor(Qt::red) << false << 0;
        QTest::newRow("never above its own size") << QSize(600, 450) << 1 << 4.0
            << QSize(600, 450) << QSize(600, 450) << QColor(Qt::red) << false << 0;
        QTest::newRow("turned right, fitted upright") << QSize(4000, 3000) << 6 << 1.0
            << QSize(3000, 4000) << QSize(225, 300) << QColor(Qt::blue) << false << 0;
        QTest::newRow("turned left") << QSize(800, 600) << 8 << 1.0
            << QSize(600, 800) << QSize(225, 300) << QColor(Qt::green) << false << 0;
        QTest::newRow("upside down") << QSize(800, 600) << 3 << 1.0
            << QSize(800, 600) << QSize(400, 300) << QColor(Qt::yellow) << false << 0;
        QTest::newRow("progressive, fitted from its DC scans") << QSize(4000, 3000) << 1 << 1.0
            << QSize(4000, 3000) << QSize(400, 300) << QColor(Qt::red) << true << 0;
        QTest::newRow("progressive, turned right") << QSize(4000, 3000) << 6 << 1.0
            << QSize(3000, 4000) << QSize(225, 300) << QColor(Qt::blue) << true << 0;
        QTest::newRow("progressive, zoomed in: coarse first") << QSize(4000, 3000) << 7 << 2.0
            << QSize(3000, 4000) << QSize(450, 600) << QColor(Qt::yellow) << true << 1;
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
        QFETCH(bool, progressive);
        QFETCH(int, coarse);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.jpg"));
        QVERIFY(writeQuarters(path, stored, orientation, progressive));
        QList<ComparePicture> first;
        const ComparePicture picture =
            readComparePicture(path, zoom, QSizeF(400, 300), std::make_shared<std::atomic_bool>(false),
                               [&first](ComparePicture picture) { first.append(picture); });
        QVERIFY(picture.ok);
        QCOMPARE(picture.size, upright);
        QCOMPARE(picture.image.size(), decoded);
        const QColor seen = picture.image.pixelColor(4, 4);
        QVERIFY2(qAbs(seen.red() - topLeft.red()) + qAbs(seen.green() - topLeft.green()) + qAbs(seen.blue() - topLeft.blue()) < 90,
                 qPrintable(seen.name()));
        QCOMPARE(first.size(), coarse);
        for (const ComparePicture &each : std::as_const(first))
            QCOMPARE(each.image.size(), decoded);
        // The very picture Qt's reader gives, as the viewer shows it.
        QImageReader reader(path);
        reader.setAutoTransform(true);
        reader.setScaledSize(orientation >= 5 ? decoded.transposed() : decoded);
        const QImage qt = reader.read().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(qt.size(), decoded);
        qint64 difference = 0;
        for (int y = 0; y < qt.height(); ++y)
            for (int x = 0; x < qt.width(); ++x)
                difference += qAbs(qGray(qt.pixel(x, y)) - qGray(picture.image.pixel(x, y)));
        QVERIFY2(difference < qt.width() * qt.height(), qPrintable(QString::number(difference)));
    }

    void damaged_data()
    {
        QTest::addColumn<int>("cutAt"); // bytes kept; -1: all, the first scan's range refused
        QTest::addColumn<bool>("shown");
        QTest::newRow("cut in its header") << 200 << false;
        QTest::newRow("cut after its DC scans: what there is") << 60000 << true;
        QTest::newRow("a scan the library refuses") << -1 << false;
    }
    void damaged()
    {
        // A damaged progressive JPEG fails cleanly, or shows what there is of it.
        QFETCH(int, cutAt);
        QFETCH(bool, shown);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.jpg"));
        QFile file(path);
        QVERIFY(writeQuarters(path, QSize(1600, 1200), 1, true) && file.open(QIODevice::ReadWrite));
        QByteArray bytes = file.readAll();
        const qsizetype scan = bytes.indexOf("\xff\xda");
        if (cutAt < 0)
            bytes[scan + 6 + 2 * bytes[scan + 4]] = 99; // its last coefficient past the block's
        bytes.truncate(cutAt < 0 ? bytes.size() : cutAt);
        QVERIFY(file.seek(0) && file.write(bytes) == bytes.size() && file.resize(bytes.size()));
        file.close();
        for (const double zoom : {1.0, 4.0}) // from the DC scans alone, and coarse first
            QCOMPARE(readComparePicture(path, zoom, QSizeF(400, 300), std::make_shared<std::atomic_bool>(false),
                                        [](ComparePicture) {}).ok, shown);
    }

    void beyondTheLimit_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("fitted") << 1.0 << QSize(400, 267);
        QTest::newRow("zoomed in") << 3.0 << QSize(1200, 800);
        // Its own size would take 23 MB: it is shown from the most the limit lets decode.
        QTest::newRow("at its own size") << 7.5 << QSize();
    }
    void beyondTheLimit()
    {
        // A big PNG (a scan, a panorama) is decoded at the size the pane shows it, and never
        // beyond Qt's allocation limit, which stays as it was.
        QFETCH(double, zoom);
        QFETCH(QSize, decoded);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("p.png"));
        QImage image(3000, 2000, QImage::Format_RGB32);
        image.fill(QColor(200, 40, 40));
        QVERIFY(image.save(path, "PNG"));
        const int before = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(8);
        const ComparePicture picture =
            readComparePicture(path, zoom, QSizeF(400, 300), std::make_shared<std::atomic_bool>(false));
        const int after = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(before);
        QCOMPARE(after, 8);
        QVERIFY(picture.ok);
        QCOMPARE(picture.size, QSize(3000, 2000));
        if (decoded.isValid()) {
            QCOMPARE(picture.image.size(), decoded);
        } else {
            const qint64 limit = 8 * 1024 * 1024;
            QVERIFY(picture.image.sizeInBytes() <= limit && picture.image.sizeInBytes() > limit * 9 / 10);
            QVERIFY(qAbs(picture.image.width() * 2 - picture.image.height() * 3) <= 3);
        }
        QVERIFY(picture.image.pixelColor(5, 5).red() > 180);
    }
};

QTEST_MAIN(tst_comparepane)
#include "tst_comparepane.moc"
