#include "dngwriter.h"
#include "heiffiles.h"
#include "thumbnailcache.h"

#include "files/sharedthumbnails.h"

#include <QBuffer>
#include <QDir>
#include <QCoreApplication>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

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

bool near(QRgb seen, QRgb want)
{
    return qAbs(qRed(seen) - qRed(want)) + qAbs(qGreen(seen) - qGreen(want)) + qAbs(qBlue(seen) - qBlue(want)) < 90;
}

// "" when each quarter of image, looked at a quarter of the way in from its corner, has
// its colour of want; else which quarter has what.
QString quartersDiffer(const QImage &image, const Corners &want)
{
    const int x[] = {image.width() / 4, image.width() * 3 / 4}, y[] = {image.height() / 4, image.height() * 3 / 4};
    for (int i = 0; i < 4; ++i) {
        const QRgb seen = image.isNull() ? 0 : image.pixel(x[i % 2], y[i / 2]);
        if (!near(seen, want[i]))
            return QStringLiteral("quarter %1 is #%2").arg(i).arg(seen & 0xffffff, 6, 16, QLatin1Char('0'));
    }
    return QString();
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

    QString sharedRoot() const { return file(QStringLiteral("cache/thumbnails")); }
    // One thumbnail as a file manager leaves it, a single colour, its keys spoilt as fault says.
    void plant(const QString &picture, SharedThumbnails::Size size, QSize pixels, QRgb colour, const QString &fault)
    {
        const QFileInfo info(picture);
        QImage image(pixels, QImage::Format_ARGB32);
        image.fill(colour);
        const qint64 mtime = info.lastModified().toSecsSinceEpoch();
        image.setText("Thumb::URI", fault == "uri" ? QStringLiteral("file:///elsewhere.jpg")
                                                   : QString::fromLatin1(SharedThumbnails::uriOf(picture)));
        if (fault != "no mtime")
            image.setText("Thumb::MTime", QString::number(fault == "mtime" ? mtime - 1 : mtime));
        if (fault != "no size")
            image.setText("Thumb::Size", QString::number(fault == "size" ? info.size() + 1 : info.size()));
        const QString path = SharedThumbnails().thumbnailPath(picture, size);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
        QVERIFY(image.save(path, "PNG"));
    }
    // The one thumbnail of path in a new cache, once it is there (a null image after 5 s).
    static QImage thumbnailIn(const QString &path, QSize cell, bool share)
    {
        ThumbnailCache cache;
        cache.setCellSize(cell);
        cache.setShareThumbnails(share);
        cache.want({path});
        QTest::qWaitFor([&] { return cache.state(path) == State::Ready; }, 5000);
        return cache.thumbnail(path);
    }

private slots:
    void initTestCase()
    {
        // Never the user's own thumbnails.
        qputenv("XDG_CACHE_HOME", QFile::encodeName(file(QStringLiteral("cache"))));
    }
    void init()
    {
        QDir(file(QStringLiteral("cache"))).removeRecursively();
    }

    void decodes_data()
    {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<Corners>("corners");
        QTest::addColumn<QSize>("written"); // the normal thumbnail shared; none: sharing off

        const QSize cell = ThumbnailCache::DefaultCellSize; // 80 x 107
        const Corners upright{Red, Green, Blue, Yellow}, right{Blue, Red, Yellow, Green}, left{Green, Yellow, Red, Blue};
        QTest::newRow("wide") << QSize(400, 100) << 1 << cell << upright << QSize();
        QTest::newRow("tall") << QSize(100, 400) << 1 << cell << upright << QSize();
        QTest::newRow("smaller than the cell") << QSize(24, 16) << 1 << cell << upright << QSize();
        QTest::newRow("large photo") << QSize(1600, 1200) << 1 << cell << upright << QSize();
        QTest::newRow("wide cell") << QSize(300, 400) << 1 << QSize(150, 40) << upright << QSize();
        QTest::newRow("mirrored") << QSize(200, 100) << 2 << cell << Corners{Green, Red, Yellow, Blue} << QSize();
        QTest::newRow("upside down") << QSize(200, 100) << 3 << cell << Corners{Yellow, Blue, Green, Red} << QSize();
        QTest::newRow("transposed") << QSize(200, 100) << 5 << cell << Corners{Red, Blue, Green, Yellow} << QSize();
        QTest::newRow("turned right") << QSize(200, 100) << 6 << cell << right << QSize();
        QTest::newRow("turned left") << QSize(200, 100) << 8 << cell << left << QSize();
        QTest::newRow("large photo turned right") << QSize(1600, 1000) << 6 << QSize(60, 150) << right << QSize();
        // Shared thumbnails are stored upright, as file managers make them, and never enlarged.
        QTest::newRow("shared") << QSize(200, 100) << 1 << cell << upright << QSize(128, 64);
        QTest::newRow("shared, turned right") << QSize(200, 100) << 6 << cell << right << QSize(64, 128);
        QTest::newRow("shared, large photo turned left") << QSize(2000, 1000) << 8 << QSize(48, 40) << left
                                                         << QSize(64, 128);
        QTest::newRow("shared, smaller than normal") << QSize(60, 40) << 1 << cell << upright << QSize(60, 40);
        QTest::newRow("shared, smaller, turned") << QSize(60, 40) << 6 << QSize(48, 40) << right << QSize(40, 60);
    }

    void decodes()
    {
        // A picture of any shape and orientation fills exactly the cell, upright, each quarter
        // where it belongs, and ready() says so once, on the user-interface thread; with sharing
        // on, the normal thumbnail from the same decode is upright too, and with it off nothing
        // is written.
        QFETCH(QSize, stored);
        QFETCH(int, orientation);
        QFETCH(QSize, cell);
        QFETCH(Corners, corners);
        QFETCH(QSize, written);
        const QString path = file(QStringLiteral("picture.jpg"));
        writeJpeg(path, quarters(stored), orientation);

        ThumbnailCache cache;
        Recorder record(cache);
        cache.setCellSize(cell);
        cache.setShareThumbnails(written.isValid());
        cache.want({path});
        QCOMPARE(cache.state(path), State::Pending);
        QTRY_COMPARE_WITH_TIMEOUT(record.paths, QStringList{path}, 5000);
        QCOMPARE(record.oks, QList<bool>{true});
        QVERIFY(record.onGuiThread);
        QCOMPARE(cache.state(path), State::Ready);

        const QImage thumbnail = cache.thumbnail(path);
        QCOMPARE(thumbnail.size(), cell);
        QCOMPARE(thumbnail.format(), QImage::Format_RGB32);
        QVERIFY2(quartersDiffer(thumbnail, corners).isEmpty(), qPrintable(quartersDiffer(thumbnail, corners)));
        QCOMPARE(QFileInfo::exists(sharedRoot()), written.isValid());
        if (!written.isValid())
            return;
        const QImage normal(SharedThumbnails().thumbnailPath(path, SharedThumbnails::Size::Normal), "PNG");
        QCOMPARE(normal.size(), written);
        QVERIFY2(quartersDiffer(normal, corners).isEmpty(), qPrintable(quartersDiffer(normal, corners)));
    }

    void otherFormats_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("orientation");   // HEIC and RAW only
        QTest::addColumn<int>("thumbnailSide"); // the file's own thumbnail or preview, HEIC and RAW only
        QTest::addColumn<Corners>("corners");
        // HEIC and RAW files are stored turned, so that their orientation brings them back upright.
        const Corners upright{Red, Green, Blue, Yellow};
        QTest::newRow("PNG") << "p.png" << 1 << 0 << upright;
        QTest::newRow("WebP") << "p.webp" << 1 << 0 << upright;
        QTest::newRow("TIFF") << "p.tif" << 1 << 0 << upright;
        QTest::newRow("HEIC turned right") << "p.heic" << 6 << 0 << upright;
        QTest::newRow("HEIC turned left, its thumbnail") << "p.heic" << 8 << 320 << upright;
        QTest::newRow("RAW turned right, developed") << "p.nef" << 6 << 0 << upright;
        QTest::newRow("RAW turned left, its preview") << "p.dng" << 8 << 320 << upright;
    }
    void otherFormats()
    {
        // A PNG, WebP, TIFF, HEIC or RAW picture fills the cell upright like a JPEG, and its shared normal thumbnail is written upright too.
        QFETCH(QString, name);
        QFETCH(int, orientation);
        QFETCH(int, thumbnailSide);
        QFETCH(Corners, corners);
        const QString path = file(name);
        const QImage picture = quarters(QSize(800, 400));
        if (name.endsWith(QLatin1String(".heic"))) {
            const QString failure = writeHeif(path, picture, heif_compression_HEVC, orientation, thumbnailSide);
            if (!failure.isEmpty())
                QSKIP(qPrintable(failure));
        } else if (name.endsWith(QLatin1String(".nef")) || name.endsWith(QLatin1String(".dng"))) {
            const QImage stored = storedFor(picture, orientation);
            const QImage preview = thumbnailSide ? stored.scaled(stored.size() * thumbnailSide / stored.width()) : QImage();
            QVERIFY(writeDng(path, stored, DngSensor::Cfa, orientation, preview));
        } else {
            QVERIFY(picture.save(path, nullptr, 100));
        }
        ThumbnailCache cache;
        Recorder record(cache);
        cache.setShareThumbnails(true);
        cache.want({path});
        QTRY_COMPARE_WITH_TIMEOUT(record.paths, QStringList{path}, 5000);
        QCOMPARE(record.oks, QList<bool>{true});
        const QImage thumbnail = cache.thumbnail(path);
        QCOMPARE(thumbnail.size(), ThumbnailCache::DefaultCellSize);
        QVERIFY2(quartersDiffer(thumbnail, corners).isEmpty(), qPrintable(quartersDiffer(thumbnail, corners)));
        const QImage normal(SharedThumbnails().thumbnailPath(path, SharedThumbnails::Size::Normal), "PNG");
        QVERIFY2(quartersDiffer(normal, corners).isEmpty(), qPrintable(quartersDiffer(normal, corners)));
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

    void hostileFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << QStringLiteral("fifo");
        QTest::newRow("3 GB sparse file with a JPEG head") << QStringLiteral("sparse");
    }

    void hostileFiles()
    {
        // A FIFO or a huge file under a picture's name fails at once, without a thread
        // waiting for a writer or reading gigabytes; the cache then goes without waiting.
        QFETCH(QString, kind);
        const QString bad = file(QStringLiteral("hostile.jpg"));
        QFile::remove(bad);
        if (kind == QLatin1String("fifo")) {
            QVERIFY(::mkfifo(QFile::encodeName(bad).constData(), 0600) == 0);
        } else {
            QVERIFY(QFile::copy(pictures(1).first(), bad));
            QVERIFY(::truncate(QFile::encodeName(bad).constData(), qint64(3) << 30) == 0);
        }
        {
            ThumbnailCache cache;
            Recorder record(cache);
            cache.want({bad});
            QTRY_COMPARE_WITH_TIMEOUT(record.oks, QList<bool>{false}, 5000);
            QCOMPARE(cache.state(bad), State::Failed);
        }
        QFile::remove(bad);
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

    void sharedThumbnails_data()
    {
        QTest::addColumn<QString>("made");  // what a file manager left: "", "normal", "large", "both";
                                            // "blocked": a file where the thumbnail folder belongs
        QTest::addColumn<QString>("fault"); // how their keys are spoilt
        QTest::addColumn<QSize>("cell");
        QTest::addColumn<bool>("share");
        QTest::addColumn<QString>("shown"); // "normal", "large" or the decoded "picture"
        QTest::addColumn<bool>("writes");   // a normal thumbnail of Lumo's own is written

        const QSize small(80, 60), tall(80, 107), large(200, 150);
        QTest::newRow("normal as large as the cell") << "normal" << "" << small << true << "normal" << false;
        QTest::newRow("normal too small, large used") << "both" << "" << tall << true << "large" << false;
        QTest::newRow("large for a cell beyond normal") << "large" << "" << large << true << "large" << false;
        QTest::newRow("normal too small, kept") << "normal" << "" << tall << true << "picture" << false;
        QTest::newRow("wrong mtime") << "both" << "mtime" << small << true << "picture" << true;
        QTest::newRow("wrong size") << "both" << "size" << small << true << "picture" << true;
        QTest::newRow("no MTime") << "normal" << "no mtime" << small << true << "picture" << true;
        QTest::newRow("no Size") << "normal" << "no size" << small << true << "picture" << true;
        QTest::newRow("another file's") << "normal" << "uri" << small << true << "picture" << true;
        QTest::newRow("stale, sharing off") << "normal" << "mtime" << small << false << "picture" << false;
        QTest::newRow("none") << "" << "" << small << true << "picture" << true;
        QTest::newRow("none, a tall cell") << "" << "" << tall << true << "picture" << true;
        QTest::newRow("none, sharing off") << "" << "" << small << false << "picture" << false;
        QTest::newRow("none, a cell beyond normal") << "" << "" << large << true << "picture" << false;
        QTest::newRow("no folder can be made") << "blocked" << "" << small << true << "picture" << false;
    }

    void sharedThumbnails()
    {
        // A valid shared thumbnail as large as the cell is stretched to it instead of a decode;
        // a decode for a cell within 128 x 128 writes the picture's own normal thumbnail (aspect
        // ratio kept, owner only, atomic) unless a valid one is there or sharing is off, and the
        // next cache reuses it. A write that fails changes nothing else.
        QFETCH(QString, made);
        QFETCH(QString, fault);
        QFETCH(QSize, cell);
        QFETCH(bool, share);
        QFETCH(QString, shown);
        QFETCH(bool, writes);
        const QRgb normalColour = qRgb(200, 0, 200), largeColour = qRgb(0, 200, 200), reusedColour = qRgb(90, 90, 90);
        const QString picture = file(QStringLiteral("写真 100%.jpg"));
        writeJpeg(picture, quarters(QSize(400, 300)));
        if (made == "normal" || made == "both")
            plant(picture, SharedThumbnails::Size::Normal, QSize(128, 96), normalColour, fault);
        if (made == "large" || made == "both")
            plant(picture, SharedThumbnails::Size::Large, QSize(256, 192), largeColour, fault);
        if (made == "blocked")
            QVERIFY(QDir().mkpath(QFileInfo(sharedRoot()).absolutePath()) && QFile(sharedRoot()).open(QIODevice::WriteOnly));

        const QImage thumbnail = thumbnailIn(picture, cell, share);
        QCOMPARE(thumbnail.size(), cell);
        const Corners expected = shown == "picture" ? Corners{Red, Green, Blue, Yellow}
                                                    : Corners(4, shown == "normal" ? normalColour : largeColour);
        QVERIFY2(quartersDiffer(thumbnail, expected).isEmpty(), qPrintable(quartersDiffer(thumbnail, expected)));

        const QString normal = SharedThumbnails().thumbnailPath(picture, SharedThumbnails::Size::Normal);
        QImage written(normal, "PNG");
        QCOMPARE(written.text("Software") == "Lumo", writes);
        const bool normalThere = made == "normal" || made == "both" || writes;
        QCOMPARE(QDir(QFileInfo(normal).absolutePath()).entryList(QDir::Files | QDir::Hidden),
                 normalThere ? QStringList{QFileInfo(normal).fileName()} : QStringList()); // no temporary file left
        QCOMPARE(QFileInfo::exists(sharedRoot()), !made.isEmpty() || writes);
        if (!writes)
            return;
        QCOMPARE(written.size(), QSize(128, 96));
        QVERIFY(quartersDiffer(written, Corners{Red, Green, Blue, Yellow}).isEmpty());
        QCOMPARE(written.text("Thumb::URI"), QString::fromLatin1(SharedThumbnails::uriOf(picture)));
        QCOMPARE(written.text("Thumb::MTime"), QString::number(QFileInfo(picture).lastModified().toSecsSinceEpoch()));
        QCOMPARE(written.text("Thumb::Size"), QString::number(QFileInfo(picture).size()));
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(normal).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0600u);

        // Painted over, keys kept: the next cache shows it when it is as large as the cell,
        // and otherwise decodes without writing it again.
        written.fill(reusedColour);
        QVERIFY(written.save(normal, "PNG"));
        const bool reused = cell.width() <= 128 && cell.height() <= 96;
        QVERIFY(quartersDiffer(thumbnailIn(picture, cell, true),
                               reused ? Corners(4, reusedColour) : Corners{Red, Green, Blue, Yellow})
                    .isEmpty());
        QVERIFY(near(QImage(normal, "PNG").pixel(5, 5), reusedColour));
    }

    void destroyedWhileDecoding()
    {
        // Destroying the cache waits for the decodes it started: none of them writes a shared thumbnail afterwards, and nothing still alive hears of them.
        QStringList paths;
        for (int i = 0; i < 8; ++i) {
            paths.append(file(QStringLiteral("late%1.jpg").arg(i)));
            writeJpeg(paths.last(), quarters(QSize(1600 + i, 1200)));
        }
        const auto written = [&paths] {
            int count = 0;
            for (const QString &path : paths)
                count += QFile::exists(SharedThumbnails().thumbnailPath(path, SharedThumbnails::Size::Normal));
            return count;
        };
        QObject receiver;
        int delivered = 0;
        auto cache = std::make_unique<ThumbnailCache>();
        cache->setCellSize(QSize(40, 30));
        cache->setMaxDecodes(2);
        cache->setShareThumbnails(true);
        connect(cache.get(), &ThumbnailCache::ready, &receiver, [&delivered] { ++delivered; });
        cache->want(paths);
        cache.reset();
        const int atDestruction = written();
        QTest::qWait(400);
        QCOMPARE(written(), atDestruction);
        QCOMPARE(delivered, 0);
    }
};

QTEST_MAIN(TestThumbnailCache)
#include "tst_thumbnailcache.moc"
