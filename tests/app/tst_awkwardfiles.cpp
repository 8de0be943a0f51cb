// Awkward files through the main window's catalogue operations: damaged and mislabelled
// pictures, names with spaces, quotes, Japanese characters and line breaks, and names that
// are not UTF-8, through adding (dialog, folder, drop), saving, opening, optimising and
// deleting.

#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include <picturesignature.h>

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {
enum { Yes = DialogService::Yes, No = DialogService::No };
const QString Unreadable1 = QStringLiteral("ファイル名を読めないため追加できなかったファイル: 1個");

QByteArray picture(int seed, const char *format = "JPEG")
{
    QImage image(48, 32, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, 24, 32, QColor::fromHsv(seed * 40 % 360, 255, 200));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, format).write(image);
    return buffer.data();
}
} // namespace

class tst_awkwardfiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString trash() const { return m_home.filePath(QStringLiteral("data/Trash/files")); }
    // Adds the files by dialog, by folder (their folder, holding nothing else) or by drop.
    void add(const QString &way, const QStringList &files, ScriptedDialogs &dialogs)
    {
        if (way == QLatin1String("dialog")) {
            dialogs.files.enqueue(CommonDialog::resultFor(files));
            lumo.run("mnuL2");
        } else if (way == QLatin1String("folder")) {
            dialogs.folders.enqueue(QFileInfo(files.first()).absolutePath());
            lumo.run("mnuL0");
        } else {
            lumo.drop(files);
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir(m_home.filePath(QStringLiteral("data/Trash"))).removeRecursively();
    }
    void cleanup() { lumo.reset(); }

    void damagedPictureAdded_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("catalogued");
        const QByteArray jpeg = picture(1);
        const QList<std::tuple<const char *, QByteArray, bool>> kinds{
            {"empty", QByteArray(), false},
            {"cut in the scan", jpeg.left((jpeg.lastIndexOf("\xFF\xDA") + jpeg.size()) / 2), true},
            {"cut in the headers", jpeg.left(100), false},
            {"text", QByteArray("not a picture"), false},
            {"PNG", picture(1, "PNG"), true}};
        for (const char *way : {"dialog", "folder", "drop"}) {
            for (const auto &[kind, content, catalogued] : kinds)
                QTest::addRow("%s, %s", kind, way) << QString::fromLatin1(way) << content << catalogued;
        }
    }
    void damagedPictureAdded()
    {
        // A damaged or mislabelled picture named .jpg gets its row, and a store entry exactly
        // when it decodes (as in lumo-cli); the pictures around it are added, nothing is said,
        // and after saving and opening again the list holds exactly the store's entries.
        QFETCH(QString, way);
        QFETCH(QByteArray, content);
        QFETCH(bool, catalogued);
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("pics")));
        const QStringList files{path(QStringLiteral("pics/a.jpg")), path(QStringLiteral("pics/b damaged.jpg")),
                                path(QStringLiteral("pics/c.jpg"))};
        LumoDriver::writeBytes(files[0], picture(2));
        LumoDriver::writeBytes(files[1], content);
        LumoDriver::writeBytes(files[2], picture(3));
        ScriptedDialogs dialogs;
        add(way, files, dialogs);
        QCOMPARE(dialogs.messages(), QStringList());
        QCOMPARE(lumo.rowKeys(), files);
        const QStringList entries = catalogued ? files : QStringList{files[0], files[2]};
        QCOMPARE(lumo.storeNames(), entries);

        const QString file = path(QStringLiteral("c.sbx"));
        dialogs.files.enqueue(file);
        lumo.run("mnuF3");
        lumo.window().openCommandLine(file);
        QCOMPARE(lumo.rowKeys(), entries);
    }

    void awkwardNames_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("dialog") << "dialog";
        QTest::newRow("folder") << "folder";
        QTest::newRow("drop") << "drop";
    }
    void awkwardNames()
    {
        // Names with spaces, quotes, Japanese characters and line breaks, in a folder and a
        // catalogue named so too (ending in a quote, with no extension), keep their exact
        // spelling through add, save, open and optimise; deleting one with Yes moves that
        // very file to the trash.
        QFETCH(QString, way);
        const QString folder = path(QStringLiteral("my \"pictures\"\n写真"));
        QVERIFY(QDir().mkpath(folder));
        QStringList files;
        int seed = 0;
        for (const char *name : {"a b.jpg", "it's.jpg", "line\nbreak.jpg", "quote\"d.jpg", "写真 猫.jpg"}) {
            files << folder + QLatin1Char('/') + QString::fromUtf8(name);
            LumoDriver::writeBytes(files.last(), picture(seed++));
        }
        ScriptedDialogs dialogs;
        add(way, files, dialogs);
        QCOMPARE(lumo.storeNames(), files);
        QCOMPARE(lumo.list()->topLevelItem(2)->text(0), QStringLiteral("line\nbreak.jpg"));
        QCOMPARE(lumo.list()->topLevelItem(2)->text(1), folder);

        const QString file = path(QStringLiteral("a \"catalogue\"\n写真 \"best\""));
        dialogs.files.enqueue(file);
        lumo.run("mnuF3");
        QCOMPARE(LumoDriver::catalogueNames(file), files);
        lumo.run("mnuF0"); // 新規
        dialogs.files.enqueue(file);
        lumo.run("mnuF1"); // 開く
        QCOMPARE(lumo.rowKeys(), files);

        QVERIFY(QFile::remove(files[3]));
        lumo.run("mnuL5"); // 最適化
        files.removeAt(3);
        QCOMPARE(dialogs.messages(), QStringList());
        QCOMPARE(lumo.window().catalogueName(), file);
        QCOMPARE(LumoDriver::catalogueNames(file), files);
        QCOMPARE(lumo.rowKeys(), files);

        const QByteArray bytes = LumoDriver::bytes(files[2]);
        lumo.select({files[2]});
        dialogs.answers.enqueue(Yes);
        lumo.run("mnuL3");
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("リストから削除します。実際のファイルも削除しますか？")});
        QVERIFY(!QFileInfo::exists(files[2]));
        QCOMPARE(LumoDriver::bytes(trash() + QStringLiteral("/line\nbreak.jpg")), bytes);
        files.removeAt(2);
        QCOMPARE(lumo.rowKeys(), files);
        for (const QString &kept : std::as_const(files))
            QVERIFY(QFileInfo(kept).isFile());
    }

    void undecodableNames()
    {
        // A picture whose name is not UTF-8 is left out and counted, whether the folder add
        // finds it or it is dropped, and is never taken for its look-alike (the same name
        // with U+FFFD, a valid name of another file); deleting every row with Yes leaves it
        // on disk with its bytes.
        const QString lookAlike = path(QStringLiteral("caf\uFFFD.jpg"));
        const QString other = path(QStringLiteral("other.jpg"));
        LumoDriver::writeBytes(lookAlike, picture(1));
        LumoDriver::writeBytes(other, picture(2));
        const QByteArray undecodable = QFile::encodeName(m_dir->path()) + "/caf\xE9.jpg";
        const QByteArray bytes = picture(3);
        {
            QFile out;
            QVERIFY(out.open(::fopen(undecodable.constData(), "wb"), QIODevice::WriteOnly, QFile::AutoCloseHandle));
            QCOMPARE(out.write(bytes), bytes.size());
        }
        // Qt cannot remove a name it cannot decode.
        const std::unique_ptr<const char, void (*)(const char *)> removeLater(undecodable.constData(),
                                                                              [](const char *name) { ::unlink(name); });
        ScriptedDialogs dialogs;
        dialogs.folders.enqueue(m_dir->path());
        lumo.run("Folder");
        QCOMPARE(dialogs.messages(), QStringList{Unreadable1});
        QCOMPARE(lumo.storeNames(), (QStringList{lookAlike, other}));

        lumo.drop(QList<QUrl>{QUrl::fromEncoded("file://" + undecodable.toPercentEncoding("/"))});
        QCOMPARE(dialogs.messages(), (QStringList{Unreadable1, Unreadable1}));
        QCOMPARE(dialogs.asked.last().style, 48);
        QCOMPARE(lumo.rowKeys(), (QStringList{lookAlike, other}));
        QCOMPARE(lumo.window().store()->table().cells(0), computePictureSignature(lookAlike)->cells);

        lumo.list()->selectAll();
        dialogs.answers.enqueue(Yes);
        lumo.run("Del");
        QCOMPARE(lumo.list()->topLevelItemCount(), 0);
        QVERIFY(!QFileInfo::exists(lookAlike) && !QFileInfo::exists(other));
        QFile kept;
        QVERIFY(kept.open(::fopen(undecodable.constData(), "rb"), QIODevice::ReadOnly, QFile::AutoCloseHandle));
        QCOMPARE(kept.readAll(), bytes);
    }
};

QTEST_MAIN(tst_awkwardfiles)
#include "tst_awkwardfiles.moc"
