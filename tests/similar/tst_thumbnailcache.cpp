#include "thumbnailcache.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

using State = ThumbnailCache::State;
const QRgb Red = qRgb(220, 30, 30), Green = qRgb(30, 200, 30), Blue = qRgb(30, 30, 220),
           Yellow = qRgb(230, 220, 30);
using Corners = QList<QRgb>; // top left, top right, bottom left, bottom right

// Writes image as a JPEG, with an EXIF block holding only the orientation tag unless it is 1.
void writeJpeg(const QString &path, const QImage &image, int orientation = 1)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(image.save(&buffer, "JPG", 95));
    QByteArray bytes = buffer.data();
    if (orientation != 1) {
        const QByteArray exif = QByteArray("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0", 25)
                                + char(orientation) + QByteArray(6, '\0');
        const QByteArray app1 = QByteArray("\xff\xe1\0", 3) + char(exif.size() + 2) + exif;
        bytes.insert(2, app1); // right after the start marker
    }
    QFile out(path);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(bytes), bytes.size());
}

// Four coloured quarters: red, green / blue, yellow.
QImage quarters(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    const int w = size.width() / 2, h = size.height() / 2;
    painter.fillRect(0, 0, w, h, QColor(Red));
    painter.fillRect(w, 0, size.width() - w, h, QColor(Green));
    painter.fillRect(0, h, w, size.height() - h, QColor(Blue));
    painter.fillRect(w, h, size.width() - w, size.height() - h, QColor(Yellow));
    return image;
}

// Every ready() in order, and whether all came on the user-interface thread.
struct Recorder
{
    explicit Recorder(ThumbnailCache &cache)
    {
        QObject::connect(&cache, &ThumbnailCache::ready, &cache, [this](const QString &path, bool ok) {
            paths.append(path);
            oks.append(ok);
            onGuiThread &= QThread::currentThread() == qApp->thread();
        });
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
    static QStringList inState(const ThumbnailCache &cache, const QStringList &paths, State state)
    {
        QStringList found;
        for (const QString &path : paths) {
            if (cache.state(path) == state)
                found.append(path);
        }
        return found;
    }
    // n distinct small pictures p0.jpg, p1.jpg ...
    QStringList pictures(int n)
    {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            paths.append(file(QStringLiteral("p%1.jpg").arg(i)));
            writeJpeg(paths.last(), quarters(QSize(64 + i, 48)));
        }
        return paths;
    }

private slots:
    void decodes_data()
    {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<Corners>("corners");

        const QSize cell = ThumbnailCache::DefaultCellSize; // 80 x 107
        const Corners upright{Red, Green, Blue, Yellow};
        QTest::newRow("wide") << QSize(400, 100) << 1 << cell << upright;
        QTest::newRow("tall") << QSize(100, 400) << 1 << cell << upright;
        QTest::newRow("smaller than the cell") << QSize(24, 16) << 1 << cell << upright;
        QTest::newRow("large photo") << QSize(1600, 1200) << 1 << cell << upright;
        QTest::newRow("wide cell") << QSize(300, 400) << 1 << QSize(150, 40) << upright;
        QTest::newRow("mirrored") << QSize(200, 100) << 2 << cell << Corners{Green, Red, Yellow, Blue};
        QTest::newRow("upside down") << QSize(200, 100) << 3 << cell << Corners{Yellow, Blue, Green, Red};
        QTest::newRow("transposed") << QSize(200, 100) << 5 << cell << Corners{Red, Blue, Green, Yellow};
        QTest::newRow("turned right") << QSize(200, 100) << 6 << cell << Corners{Blue, Red, Yellow, Green};
        QTest::newRow("turned left") << QSize(200, 100) << 8 << cell << Corners{Green, Yellow, Red, Blue};
        QTest::newRow("large photo turned right") << QSize(1600, 1000) << 6 << QSize(60, 150)
                                                  << Corners{Blue, Red, Yellow, Green};
    }

    void decodes()
    {
        // A picture of any shape and orientation fills exactly the cell, upright, each quarter
        // where it belongs, and ready() says so once, on the user-interface thread.
        QFETCH(QSize, stored);
        QFETCH(int, orientation);
        QFETCH(QSize, cell);
        QFETCH(Corners, corners);
        const QString path = file(QStringLiteral("picture.jpg"));
        writeJpeg(path, quarters(stored), orientation);

        ThumbnailCache cache;
        Recorder record(cache);
        cache.setCellSize(cell);
        cache.want({path});
        QCOMPARE(cache.state(path), State::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(record.paths, QStringList{path}, 5000);
        QCOMPARE(record.oks, QList<bool>{true});
        QVERIFY(record.onGuiThread);
        QCOMPARE(cache.state(path), State::Ready);

        const QImage thumbnail = cache.thumbnail(path);
        QCOMPARE(thumbnail.size(), cell);
        QCOMPARE(thumbnail.format(), QImage::Format_RGB32);
        const int x[] = {cell.width() / 4, cell.width() * 3 / 4}, y[] = {cell.height() / 4, cell.height() * 3 / 4};
        for (int i = 0; i < 4; ++i) {
            const QRgb seen = thumbnail.pixel(x[i % 2], y[i / 2]), want = corners[i];
            const int off = qAbs(qRed(seen) - qRed(want)) + qAbs(qGreen(seen) - qGreen(want))
                            + qAbs(qBlue(seen) - qBlue(want));
            QVERIFY2(off < 90, qPrintable(QStringLiteral("quarter %1 is #%2").arg(i).arg(seen & 0xffffff, 6, 16)));
        }
    }

    void turnedPictureStaysSharp()
    {
        // A picture its orientation turns is scaled on its side and then turned, as sharp as an
        // upright one: of 16 black and white bands (15 edges) about one pixel blends at each
        // edge; scaling it the wrong way round and stretching afterwards blurs twice as many.
        QImage upright(1000, 1600, QImage::Format_RGB32);
        for (int band = 0; band < 16; ++band)
            QPainter(&upright).fillRect(0, band * 100, 1000, 100, band % 2 ? Qt::white : Qt::black);
        const QString path = file(QStringLiteral("bands.jpg"));
        writeJpeg(path, upright.transformed(QTransform().rotate(-90)), 6);

        ThumbnailCache cache;
        cache.setCellSize(QSize(60, 150));
        cache.want({path});
        QTRY_COMPARE_WITH_TIMEOUT(cache.state(path), State::Ready, 5000);
        int blended = 0;
        for (int y = 0; y < 150; ++y) {
            const int grey = qGray(cache.thumbnail(path).pixel(30, y));
            blended += grey > 60 && grey < 195;
        }
        QVERIFY2(blended <= 20, qPrintable(QString::number(blended)));
    }

    void failures_data()
    {
        QTest::addColumn<QByteArray>("content"); // null: no file at all

        QBuffer png;
        png.open(QIODevice::WriteOnly);
        quarters(QSize(40, 30)).save(&png, "PNG");
        QTest::newRow("missing file") << QByteArray();
        QTest::newRow("empty file") << QByteArray("");
        QTest::newRow("PNG under a JPEG name") << png.data();
        QTest::newRow("text") << QByteArray("not a picture\n");
        QTest::newRow("start marker only") << QByteArray("\xff\xd8\xff", 3);
    }

    void failures()
    {
        // A file that is no decodable JPEG ends Failed with ready(path, false), keeps no
        // picture, and is not tried again while the cache remembers it.
        QFETCH(QByteArray, content);
        const QString bad = file(QStringLiteral("bad.jpg")), good = pictures(1).first();
        QFile out(bad);
        QVERIFY(content.isNull() || (out.open(QIODevice::WriteOnly) && out.write(content) == content.size()));
        out.close();

        ThumbnailCache cache;
        Recorder record(cache);
        cache.want({bad});
        QTRY_COMPARE_WITH_TIMEOUT(record.oks, QList<bool>{false}, 5000);
        QCOMPARE(cache.state(bad), State::Failed);
        QVERIFY(cache.thumbnail(bad).isNull());
        cache.want({bad, good});
        QTRY_COMPARE_WITH_TIMEOUT(record.paths, (QStringList{bad, good}), 5000);
        QCOMPARE(cache.state(bad), State::Failed);
    }

    void boundedByCapacity()
    {
        // A wish larger than the capacity decodes only what fits, most wanted first; moving
        // the wish evicts what is no longer wanted, least recently wanted first; a smaller
        // capacity is obeyed once the decodes in flight end.
        const QStringList paths = pictures(30);
        ThumbnailCache cache;
        const qint64 cell = qint64(cache.cellSize().width()) * cache.cellSize().height() * 4;
        cache.setCapacity(cell * 5 + cell / 2);
        qsizetype mostHeld = 0;
        bool announcedAreCached = true;
        connect(&cache, &ThumbnailCache::ready, this, [&](const QString &path) {
            announcedAreCached &= cache.state(path) == State::Ready;
            mostHeld = std::max(mostHeld, paths.size() - inState(cache, paths, State::Missing).size());
        });
        const auto readyAre = [&](const QStringList &expected) { return inState(cache, paths, State::Ready) == expected; };

        cache.want(paths);
        QTRY_VERIFY_WITH_TIMEOUT(readyAre(paths.mid(0, 5)), 5000);
        QCOMPARE(inState(cache, paths, State::Pending), QStringList()); // nothing more on its way
        cache.want(paths.mid(3));
        QTRY_VERIFY_WITH_TIMEOUT(readyAre(paths.mid(3, 5)), 5000);
        cache.want({paths[3], paths[5], paths[7]});
        cache.want({paths[20], paths[21]}); // 4 and 6 were wanted least recently
        QTRY_VERIFY_WITH_TIMEOUT(readyAre({paths[3], paths[5], paths[7], paths[20], paths[21]}), 5000);
        QCOMPARE(mostHeld, 5);

        cache.setMaxDecodes(2);
        cache.want({paths[10], paths[11], paths[12]});
        cache.setCapacity(cell + cell / 2);
        QTRY_VERIFY_WITH_TIMEOUT(readyAre({paths[10]}), 5000);
        QCOMPARE(inState(cache, paths, State::Pending), QStringList());
        QVERIFY(announcedAreCached);
    }

    void wishDecidesOrder_data()
    {
        QTest::addColumn<int>("decodes");
        QTest::newRow("one at a time") << 1;
        QTest::newRow("two at a time") << 2;
        QTest::newRow("four at a time") << 4;
    }

    void wishDecidesOrder()
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
        QStringList started; // the order the decodes must start in
        connect(&cache, &ThumbnailCache::ready, this, [&] {
            if (record.paths.size() != 3)
                return;
            started = record.paths;
            for (const QString &path : first) { // those on their way, in the order they started
                if (cache.state(path) == State::Pending && !started.contains(path))
                    started.append(path);
            }
            for (const QString &path : second) {
                if (!started.contains(path))
                    started.append(path);
            }
            cache.want(second);
            cache.want(second); // asking again changes nothing
        });
        cache.want(first);
        QTRY_COMPARE_WITH_TIMEOUT(record.paths.size(), started.isEmpty() ? -1 : started.size(), 5000);
        QVERIFY(record.onGuiThread);

        // With n decodes at once, the k-th to end is among the first k + n to start.
        for (qsizetype k = 0; k < record.paths.size(); ++k)
            QVERIFY2(started.mid(0, k + decodes).contains(record.paths[k]), qPrintable(record.paths[k]));
        QCOMPARE(QSet<QString>(record.paths.cbegin(), record.paths.cend()).size(), started.size());
        QCOMPARE(inState(cache, p, State::Ready).size(), started.size());
    }

    void droppedWhileDecoding_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QStringList>("expected"); // ready() in order, by file name

        QTest::newRow("forget") << "forget" << QStringList{"b.jpg"};
        QTest::newRow("clear") << "clear" << QStringList{"c.jpg"};
        QTest::newRow("new cell size") << "resize" << QStringList{"a.jpg", "b.jpg"};
    }

    void droppedWhileDecoding()
    {
        // A result that arrives after its path was forgotten, the cache cleared or the cell
        // size changed is thrown away, never cached or announced.
        QFETCH(QString, action);
        QFETCH(QStringList, expected);
        const QString a = file("a.jpg"), b = file("b.jpg"), c = file("c.jpg");
        writeJpeg(a, quarters(QSize(2400, 1600)));
        writeJpeg(b, quarters(QSize(64, 48)));
        writeJpeg(c, quarters(QSize(64, 48)));

        ThumbnailCache cache;
        cache.setMaxDecodes(1); // the late result of a ends before anything else starts
        Recorder record(cache);
        cache.want({a, b});
        QCOMPARE(cache.state(a), State::Pending);
        if (action == "forget") {
            cache.forget(a);
        } else if (action == "clear") {
            cache.clear();
            cache.want({c});
        } else {
            cache.setCellSize(QSize(40, 40));
        }
        QCOMPARE(cache.state(a), State::Missing);

        QTRY_COMPARE_WITH_TIMEOUT(record.paths.size(), expected.size(), 5000);
        QStringList names;
        for (const QString &path : record.paths) {
            names.append(QFileInfo(path).fileName());
            QCOMPARE(cache.thumbnail(path).size(), cache.cellSize());
        }
        QCOMPARE(names, expected);
        QCOMPARE(cache.state(a), expected.contains("a.jpg") ? State::Ready : State::Missing);
    }

    void destroyedWhileDecoding()
    {
        // Destroying the cache while decodes run neither crashes nor delivers anything later.
        int delivered = 0;
        auto cache = std::make_unique<ThumbnailCache>();
        connect(cache.get(), &ThumbnailCache::ready, this, [&] { ++delivered; });
        cache->want(pictures(8));
        cache.reset();
        QCoreApplication::processEvents();
        QCOMPARE(delivered, 0);
    }
};

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
