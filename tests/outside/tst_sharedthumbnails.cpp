#include "outside/scripteddialogs.h"
#include "outside/shellservice.h"

#include "files/sharedthumbnails.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

using Size = SharedThumbnails::Size;

int modeOf(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

void write(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

} // namespace

// Every case works in a temporary XDG_CACHE_HOME (and XDG_DATA_HOME for the trash): the
// user's own thumbnails are never touched.
class tst_SharedThumbnails : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;
    QString cacheHome() const { return m_home.filePath(QStringLiteral("cache")); }
    QString root() const { return cacheHome() + QStringLiteral("/thumbnails"); }
    QString picture(const QString &name) const { return m_home.filePath(QStringLiteral("pics/") + name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(cacheHome()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
    }
    void init()
    {
        QDir(cacheHome()).removeRecursively();
    }

    void names_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("uri");
        QTest::addColumn<QString>("md5"); // printf '%s' URI | md5sum

        QTest::newRow("the standard's example") << "/home/jens/photos/me.png" << QByteArray("file:///home/jens/photos/me.png")
                                                << "c6ee772d9e49320e97ec29a7eb5b1697";
        QTest::newRow("space") << "/tmp/a b.jpg" << QByteArray("file:///tmp/a%20b.jpg")
                               << "45f1b47640b52dc5428fd58ac89fec15";
        QTest::newRow("not cleaned") << "/tmp/x/..//a b.jpg" << QByteArray("file:///tmp/a%20b.jpg")
                                     << "45f1b47640b52dc5428fd58ac89fec15";
        QTest::newRow("Japanese") << "/home/花子/写真 1.jpg"
                                  << QByteArray("file:///home/%E8%8A%B1%E5%AD%90/%E5%86%99%E7%9C%9F%201.jpg")
                                  << "937b30b1bd284e45f1c40d0c50600cff";
        QTest::newRow("percent") << "/tmp/100%.jpg" << QByteArray("file:///tmp/100%25.jpg")
                                 << "2ba70347a30cce2a84756396bb7c6be1";
        QTest::newRow("kept as they are") << "/tmp/a+b,c=d@e&f$(1)!'~*:x.jpg"
                                          << QByteArray("file:///tmp/a+b,c=d@e&f$(1)!'~*:x.jpg")
                                          << "04d39e0149bcbcc2b1adad09aa40db0f";
        QTest::newRow("encoded") << "/tmp/#?;[]\"\\.jpg" << QByteArray("file:///tmp/%23%3F%3B%5B%5D%22%5C.jpg")
                                 << "b6a3f6a0782e62ebe6240d3a9e02b5be";
    }

    void names()
    {
        // A file's URI and thumbnail name are the ones every program that follows the standard computes.
        QFETCH(QString, path);
        QFETCH(QByteArray, uri);
        QFETCH(QString, md5);
        QCOMPARE(SharedThumbnails::uriOf(path), uri);
        QCOMPARE(SharedThumbnails::fileNameOf(path), md5 + QStringLiteral(".png"));
        const SharedThumbnails shared;
        QCOMPARE(shared.root(), root());
        QCOMPARE(shared.thumbnailPath(path, Size::Normal), root() + QStringLiteral("/normal/") + md5 + QStringLiteral(".png"));
        QCOMPARE(shared.thumbnailPath(path, Size::Large), root() + QStringLiteral("/large/") + md5 + QStringLiteral(".png"));
    }

    void writesNormal_data()
    {
        QTest::addColumn<QSize>("given");
        QTest::addColumn<QSize>("written");

        QTest::newRow("landscape") << QSize(400, 300) << QSize(128, 96);
        QTest::newRow("portrait") << QSize(300, 400) << QSize(96, 128);
        QTest::newRow("already normal") << QSize(128, 71) << QSize(128, 71);
        QTest::newRow("smaller: never enlarged") << QSize(100, 50) << QSize(100, 50);
        QTest::newRow("a thin line") << QSize(1000, 10) << QSize(128, 1);
    }

    void writesNormal()
    {
        // The normal thumbnail keeps the aspect ratio within 128 pixels, never enlarged, lies in
        // folders its owner's alone and is found again (its keys, mode and atomic write are
        // checked through the thumbnail cache); nothing is written for a file that is not
        // there, a folder, or one of the thumbnails themselves.
        QFETCH(QSize, given);
        QFETCH(QSize, written);
        const QString path = picture(QStringLiteral("写真 1.jpg"));
        write(path, QByteArray(1234, 'j'));
        const SharedThumbnails shared;
        QImage image(given, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        const SharedThumbnails::Original original = shared.original(path);
        QVERIFY(shared.writeNormal(original, image, QSize(4000, 3000)));
        const QString thumbnail = shared.thumbnailPath(path, Size::Normal);
        const QImage stored(thumbnail, "PNG");
        QCOMPARE(stored.size(), written);
        QCOMPARE(stored.format(), QImage::Format_ARGB32);
        QCOMPARE(stored.text(QStringLiteral("Thumb::Image::Width")), QStringLiteral("4000"));
        for (const QString &folder : {cacheHome(), root(), root() + QStringLiteral("/normal")})
            QCOMPARE(modeOf(folder), 0700);
        bool normalValid = false;
        QCOMPARE(shared.lookup(original, written, &normalValid).size(), written);
        QVERIFY(shared.lookup(original, written + QSize(1, 0), &normalValid).isNull());
        QVERIFY(normalValid);

        const QString folder = picture(QStringLiteral("folder.jpg"));
        QVERIFY(QDir().mkpath(folder));
        for (const QString &unusable : {picture(QStringLiteral("missing.jpg")), folder, thumbnail}) {
            QVERIFY(!shared.original(unusable).usable);
            QVERIFY(!shared.writeNormal(shared.original(unusable), image));
        }
        QCOMPARE(QDir(root() + QStringLiteral("/normal")).entryList(QDir::Files).size(), 1);
    }

    void removedWithTheFile()
    {
        // Moving pictures to the trash removes their thumbnails of every size and their failure
        // records, and only theirs; a file that could not be moved keeps its thumbnails.
        const QString a = picture(QStringLiteral("a.jpg")), b = picture(QStringLiteral("写真 100%.jpg")),
                      kept = picture(QStringLiteral("kept.jpg")), missing = picture(QStringLiteral("missing.jpg"));
        for (const QString &path : {a, b, kept})
            write(path, "JPEG");
        const QStringList folders{"normal", "large", "x-large", "xx-large", "fail/gnome-thumbnail-factory", "fail/other"};
        const SharedThumbnails shared;
        const auto thumbnailsOf = [&](const QString &path) {
            QStringList present;
            for (const QString &folder : folders) {
                if (QFileInfo::exists(root() + QLatin1Char('/') + folder + QLatin1Char('/') + SharedThumbnails::fileNameOf(path)))
                    present << folder;
            }
            return present;
        };
        for (const QString &path : {a, b, kept, missing}) {
            for (const QString &folder : folders)
                write(root() + QLatin1Char('/') + folder + QLatin1Char('/') + SharedThumbnails::fileNameOf(path), "PNG");
        }

        ScriptedDialogs dialogs;
        QCOMPARE(ShellService::RemoveFiles(ShellService::joinNulList({a, missing, b}), 0, nullptr), QStringList{missing});
        QCOMPARE(dialogs.messages().size(), 1);
        QCOMPARE(thumbnailsOf(a), QStringList());
        QCOMPARE(thumbnailsOf(b), QStringList());
        QCOMPARE(thumbnailsOf(kept), folders);
        QCOMPARE(thumbnailsOf(missing), folders);
    }
};

QTEST_MAIN(tst_SharedThumbnails)
#include "tst_sharedthumbnails.moc"
