#include "thumbnailcache.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

const QRgb Red = qRgb(220, 30, 30), Green = qRgb(30, 200, 30), Blue = qRgb(30, 30, 220),
           Yellow = qRgb(230, 220, 30);
using Corners = QList<QRgb>; // top left, top right, bottom left, bottom right

// EXIF block with nothing but the orientation tag, big-endian.
QByteArray exifOrientation(int orientation)
{
    QByteArray tiff = QByteArray("MM\0\x2a\0\0\0\x08", 8) // header, first directory at 8
                      + QByteArray("\0\x01", 2)            // one entry
                      + QByteArray("\x01\x12\0\x03\0\0\0\x01", 8) + char(0) + char(orientation)
                      + QByteArray(2, '\0') + QByteArray(4, '\0'); // value, no next directory
    const QByteArray payload = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(payload.size()) + 2;
    return QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) + payload;
}

// A picture of four coloured quarters as it is stored, with an orientation tag unless 1.
void writePicture(const QString &path, QSize stored, int orientation = 1)
{
    QImage image(stored, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = stored.width() / 2, h = stored.height() / 2;
    painter.fillRect(0, 0, w, h, QColor(Red));
    painter.fillRect(w, 0, stored.width() - w, h, QColor(Green));
    painter.fillRect(0, h, w, stored.height() - h, QColor(Blue));
    painter.fillRect(w, h, stored.width() - w, stored.height() - h, QColor(Yellow));
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "JPG", 95));
    QByteArray bytes = buffer.data();
    if (orientation != 1)
        bytes.insert(2, exifOrientation(orientation)); // right after the start marker
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(bytes), bytes.size());
}

bool near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) < 40 && qAbs(qGreen(a) - qGreen(b)) < 40
           && qAbs(qBlue(a) - qBlue(b)) < 40;
}

// Every ready() in order, and whether each came on the user-interface thread.
struct Recorder
{
    explicit Recorder(ThumbnailCache &cache)
    {
        QObject::connect(&cache, &ThumbnailCache::ready, &cache,
                         [this](const QString &path, bool ok) {
                             paths.append(path);
                             oks.append(ok);
                             onGuiThread &= QThread::currentThread() == qApp->thread();
                         }, Qt::DirectConnection);
    }
    QStringList paths;
    QList<bool> oks;
    bool onGuiThread = true;
};

} // namespace

class TestThumbnailCache : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }
    // n distinct small pictures p0.jpg ... named in order.
    QStringList pictures(int n)
    {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            paths.append(file(QStringLiteral("p%1.jpg").arg(i)));
            writePicture(paths.last(), QSize(64 + i, 48));
        }
        return paths;
    }

private slots:
    void decodes_data();
    void decodes();
    void turnedPictureStaysSharp();
    void failures_data();
    void failures();
    void boundedByCapacity();
    void wishDecidesOrder_data();
    void wishDecidesOrder();
    void droppedWhileDecoding_data();
    void droppedWhileDecoding();
    void destroyedWhileDecoding();
};

void TestThumbnailCache::decodes_data()
{
    QTest::addColumn<QSize>("stored");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QSize>("cell");
    QTest::addColumn<Corners>("corners");

    const QSize cell = ThumbnailCache::DefaultCellSize;
    QTest::newRow("wide") << QSize(400, 100) << 1 << cell << Corners{Red, Green, Blue, Yellow};
    QTest::newRow("tall") << QSize(100, 400) << 1 << cell << Corners{Red, Green, Blue, Yellow};
    QTest::newRow("smaller than the cell") << QSize(24, 16) << 1 << cell << Corners{Red, Green, Blue, Yellow};
    QTest::newRow("large photo") << QSize(1600, 1200) << 1 << cell << Corners{Red, Green, Blue, Yellow};
    QTest::newRow("wide cell") << QSize(300, 400) << 1 << QSize(150, 40) << Corners{Red, Green, Blue, Yellow};
    QTest::newRow("mirrored") << QSize(200, 100) << 2 << cell << Corners{Green, Red, Yellow, Blue};
    QTest::newRow("upside down") << QSize(200, 100) << 3 << cell << Corners{Yellow, Blue, Green, Red};
    QTest::newRow("transposed") << QSize(200, 100) << 5 << cell << Corners{Red, Blue, Green, Yellow};
    QTest::newRow("turned right") << QSize(200, 100) << 6 << cell << Corners{Blue, Red, Yellow, Green};
    QTest::newRow("turned left") << QSize(200, 100) << 8 << cell << Corners{Green, Yellow, Red, Blue};
    QTest::newRow("large photo turned right") << QSize(1600, 1000) << 6 << QSize(60, 150) << Corners{Blue, Red, Yellow, Green};
}

void TestThumbnailCache::decodes()
{
    // A picture of any shape and orientation fills exactly the cell, upright, quarters
    // where they belong, and ready() says so once on the user-interface thread.
    QFETCH(QSize, stored);
    QFETCH(int, orientation);
    QFETCH(QSize, cell);
    QFETCH(Corners, corners);
    const QString path = file(QStringLiteral("picture.jpg"));
    writePicture(path, stored, orientation);

    ThumbnailCache cache;
    Recorder record(cache);
    cache.setCellSize(cell);
    cache.want({path});
    QCOMPARE(cache.state(path), ThumbnailCache::State::Pending);
    QTRY_COMPARE_WITH_TIMEOUT(record.paths, QStringList{path}, 5000);
    QCOMPARE(record.oks, QList<bool>{true});
    QVERIFY(record.onGuiThread);
    QCOMPARE(cache.state(path), ThumbnailCache::State::Ready);

    const QImage thumbnail = cache.thumbnail(path);
    QCOMPARE(thumbnail.size(), cell);
    QCOMPARE(thumbnail.format(), QImage::Format_RGB32);
    const int x0 = cell.width() / 4, x1 = cell.width() * 3 / 4;
    const int y0 = cell.height() / 4, y1 = cell.height() * 3 / 4;
    const Corners seen{thumbnail.pixel(x0, y0), thumbnail.pixel(x1, y0),
                       thumbnail.pixel(x0, y1), thumbnail.pixel(x1, y1)};
    for (int i = 0; i < 4; ++i) {
        if (!near(seen[i], corners[i]))
            QFAIL(qPrintable(QStringLiteral("quarter %1 is #%2, expected #%3")
                                 .arg(i).arg(seen[i], 6, 16).arg(corners[i], 6, 16)));
    }
}

void TestThumbnailCache::turnedPictureStaysSharp()
{
    // A picture the orientation turns is scaled on its side and then turned, so its
    // thumbnail is as sharp as an upright one's: 16 black and white bands, 15 edges,
    // at most about one blended pixel at each edge (scaling it the wrong way round first
    // and stretching afterwards blurs them to twice that).
    QImage upright(1000, 1600, QImage::Format_RGB32);
    for (int band = 0; band < 16; ++band) {
        QPainter(&upright).fillRect(0, band * 100, 1000, 100, band % 2 ? Qt::white : Qt::black);
    }
    const QString path = file(QStringLiteral("bands.jpg"));
    QVERIFY(upright.transformed(QTransform().rotate(-90)).save(path, "JPG", 95));
    QFile tagged(path);
    QVERIFY(tagged.open(QIODevice::ReadWrite));
    QByteArray bytes = tagged.readAll().insert(2, exifOrientation(6));
    tagged.seek(0);
    QCOMPARE(tagged.write(bytes), bytes.size());
    tagged.close();

    ThumbnailCache cache;
    cache.setCellSize(QSize(60, 150));
    cache.want({path});
    QTRY_COMPARE_WITH_TIMEOUT(cache.state(path), ThumbnailCache::State::Ready, 5000);
    const QImage thumbnail = cache.thumbnail(path);
    int blended = 0;
    for (int y = 0; y < thumbnail.height(); ++y) {
        const int grey = qGray(thumbnail.pixel(30, y));
        blended += grey > 60 && grey < 195;
    }
    QVERIFY2(blended <= 20, qPrintable(QString::number(blended)));
}

void TestThumbnailCache::failures_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file at all

    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::gray);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    image.save(&png, "PNG");

    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("empty file") << QByteArray("");
    QTest::newRow("PNG under a JPEG name") << png.data();
    QTest::newRow("text") << QByteArray("not a picture\n");
    QTest::newRow("start marker only") << QByteArray("\xff\xd8\xff", 3);
}

void TestThumbnailCache::failures()
{
    // A file that is not a decodable JPEG ends Failed with ready(path, false), keeps no
    // picture, and is not tried again while the cache remembers it.
    QFETCH(QByteArray, content);
    const QString bad = file(QStringLiteral("bad.jpg"));
    if (!content.isNull()) {
        QFile out(bad);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QCOMPARE(out.write(content), content.size());
    }
    const QString good = pictures(1).first();

    ThumbnailCache cache;
    Recorder record(cache);
    cache.want({bad});
    QTRY_COMPARE_WITH_TIMEOUT(record.paths.size(), 1, 5000);
    QCOMPARE(record.oks, QList<bool>{false});
    QCOMPARE(cache.state(bad), ThumbnailCache::State::Failed);
    QVERIFY(cache.thumbnail(bad).isNull());

    cache.want({bad, good});
    QTRY_COMPARE_WITH_TIMEOUT(record.paths.size(), 2, 5000);
    QCOMPARE(record.paths, (QStringList{bad, good}));
    QCOMPARE(cache.state(bad), ThumbnailCache::State::Failed);
}

void TestThumbnailCache::boundedByCapacity()
{
    // A wish larger than the capacity decodes only what fits, most wanted first; moving
    // the wish evicts what is no longer wanted, least recently wanted first; a smaller
    // capacity is obeyed once the decodes in flight end.
    const QStringList paths = pictures(30);
    ThumbnailCache cache;
    const qint64 cell = qint64(cache.cellSize().width()) * cache.cellSize().height() * 4;
    cache.setCapacity(cell * 5 + cell / 2);
    int mostHeld = 0;
    QStringList held;
    bool announcedAreCached = true;
    connect(&cache, &ThumbnailCache::ready, this, [&](const QString &path) {
        announcedAreCached &= cache.state(path) == ThumbnailCache::State::Ready;
        held.clear();
        for (const QString &path : paths) {
            if (cache.state(path) != ThumbnailCache::State::Missing)
                held.append(path);
        }
        mostHeld = std::max(mostHeld, int(held.size()));
    });
    const auto ready = [&](const QStringList &expected) {
        QStringList now;
        for (const QString &path : paths) {
            if (cache.state(path) == ThumbnailCache::State::Ready)
                now.append(path);
        }
        return now == expected;
    };

    cache.want(paths);
    QTRY_VERIFY_WITH_TIMEOUT(ready(paths.mid(0, 5)), 5000);
    QCOMPARE(held, paths.mid(0, 5)); // nothing more on its way

    cache.want(paths.mid(3));
    QTRY_VERIFY_WITH_TIMEOUT(ready(paths.mid(3, 5)), 5000);

    cache.want({paths[3], paths[5], paths[7]});
    cache.want({paths[20], paths[21]});
    QTRY_VERIFY_WITH_TIMEOUT(ready((QStringList{paths[3], paths[5], paths[7], paths[20], paths[21]})), 5000);
    QCOMPARE(held.size(), 5);
    QCOMPARE(mostHeld, 5);

    // Shrinking the capacity while decodes run evicts down to it as they end.
    cache.setMaxDecodes(2);
    cache.want({paths[10], paths[11], paths[12]});
    cache.setCapacity(cell + cell / 2);
    QTRY_VERIFY_WITH_TIMEOUT(ready({paths[10]}), 5000);
    QCOMPARE(held, QStringList{paths[10]});
    QVERIFY(announcedAreCached);
}

void TestThumbnailCache::wishDecidesOrder_data()
{
    QTest::addColumn<int>("decodes");
    QTest::newRow("one at a time") << 1;
    QTest::newRow("two at a time") << 2;
    QTest::newRow("four at a time") << 4;
}

void TestThumbnailCache::wishDecidesOrder()
{
    // Pictures are decoded in the order of the wish, a path named twice once; a new wish
    // mid-way reorders what has not started and drops what is no longer wanted.
    QFETCH(int, decodes);
    const QStringList p = pictures(12);
    ThumbnailCache cache;
    cache.setMaxDecodes(decodes);
    Recorder record(cache);

    const QStringList first{p[7], p[2], p[7], p[11], p[0], p[5], p[9], p[2], p[4], p[1]};
    const QStringList second{p[3], p[0], p[7], p[10], p[1], p[6], p[8]}; // drops 5, 9 and 4
    QStringList started; // the order the decodes must have started in
    connect(&cache, &ThumbnailCache::ready, this, [&] {
        if (record.paths.size() != 3)
            return;
        started = record.paths;
        for (const QString &path : first) {
            if (cache.state(path) == ThumbnailCache::State::Pending && !started.contains(path))
                started.append(path);
        }
        cache.want(second);
        cache.want(second); // asking again changes nothing
        for (const QString &path : second) {
            if (!started.contains(path))
                started.append(path);
        }
    });
    cache.want(first);
    QTRY_COMPARE_WITH_TIMEOUT(record.paths.size(), started.isEmpty() ? -1 : int(started.size()), 5000);
    QVERIFY(record.onGuiThread);

    // With n decodes at once, the k-th to end is among the first k + n to start.
    for (qsizetype k = 0; k < record.paths.size(); ++k)
        QVERIFY2(started.mid(0, k + decodes).contains(record.paths[k]), qPrintable(record.paths[k]));
    QCOMPARE(QSet<QString>(record.paths.cbegin(), record.paths.cend()).size(), started.size());
    for (const QString &path : p)
        QCOMPARE(cache.state(path), started.contains(path) ? ThumbnailCache::State::Ready
                                                           : ThumbnailCache::State::Missing);
}

void TestThumbnailCache::droppedWhileDecoding_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("expected"); // ready() in order, by file name

    QTest::newRow("forget") << "forget" << QStringList{"b.jpg"};
    QTest::newRow("clear") << "clear" << QStringList{"c.jpg"};
    QTest::newRow("new cell size") << "resize" << QStringList{"a.jpg", "b.jpg"};
}

void TestThumbnailCache::droppedWhileDecoding()
{
    // A result that arrives after its path was forgotten, the cache cleared or the cell
    // size changed is thrown away, never cached or announced.
    QFETCH(QString, action);
    QFETCH(QStringList, expected);
    const QString a = file("a.jpg"), b = file("b.jpg"), c = file("c.jpg");
    writePicture(a, QSize(2400, 1600));
    writePicture(b, QSize(64, 48));
    writePicture(c, QSize(64, 48));

    ThumbnailCache cache;
    cache.setMaxDecodes(1); // the late result of a ends before anything else starts
    Recorder record(cache);
    cache.want({a, b});
    QCOMPARE(cache.state(a), ThumbnailCache::State::Pending);
    if (action == "forget") {
        cache.forget(a);
    } else if (action == "clear") {
        cache.clear();
        cache.want({c});
    } else {
        cache.setCellSize(QSize(40, 40));
    }
    QCOMPARE(cache.state(a), ThumbnailCache::State::Missing);

    QTRY_COMPARE_WITH_TIMEOUT(record.paths.size(), int(expected.size()), 5000);
    QStringList names;
    for (const QString &path : record.paths)
        names.append(QFileInfo(path).fileName());
    QCOMPARE(names, expected);
    QCOMPARE(cache.state(a), expected.contains("a.jpg") ? ThumbnailCache::State::Ready
                                                        : ThumbnailCache::State::Missing);
    for (const QString &path : record.paths)
        QCOMPARE(cache.thumbnail(path).size(), cache.cellSize());
}

void TestThumbnailCache::destroyedWhileDecoding()
{
    // Destroying the cache while decodes run neither crashes nor delivers anything later.
    const QStringList paths = pictures(8);
    int delivered = 0;
    {
        auto cache = std::make_unique<ThumbnailCache>();
        connect(cache.get(), &ThumbnailCache::ready, this, [&] { ++delivered; });
        cache->want(paths);
    }
    QCoreApplication::processEvents();
    QCOMPARE(delivered, 0);
}

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
