// The user's data through the main window's catalogue operations, where it could be lost:
// saving that fails (a full disk, the catalogue's folder gone since it was opened), damaged
// and mislabelled pictures, names with spaces, quotes, Japanese characters and line breaks
// or that are not UTF-8, and deleting files, which must move exactly the selected ones to
// the trash.

#include "faults.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include "pictures/picturesignature.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

#include <unistd.h>

namespace {
const QString SaveQuestion = QStringLiteral("現在のファイルを保存しますか？");
const QString SaveError = QStringLiteral("保存中にエラーが発生しました");
const QString Unreadable1 = QStringLiteral("ファイル名を読めないため追加できなかったファイル: 1個");
enum { Yes = DialogService::Yes, No = DialogService::No };

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

// Every file below root (hidden ones too), by path: its bytes, or where a link points.
QMap<QString, QByteArray> snapshot(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo file(it.next());
        files.insert(file.filePath(), file.isSymLink() ? "link to " + file.symLinkTarget().toUtf8()
                                                       : LumoDriver::bytes(file.filePath()));
    }
    return files;
}
} // namespace

class tst_userdata : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString trash() const { return m_home.trash(); }
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
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_home.emptyTrash();
    }
    void cleanup() { lumo.reset(); }

    void writeFails_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("保存, disk full") << "mnuF3" << "disk full" << QList<int>{} << QStringList{SaveError};
        QTest::newRow("保存, folder gone") << "mnuF3" << "folder gone" << QList<int>{} << QStringList{SaveError};
        QTest::newRow("新規, disk full") << "mnuF0" << "disk full" << QList<int>{Yes}
                                         << QStringList{SaveQuestion, SaveError};
        QTest::newRow("新規, folder gone") << "mnuF0" << "folder gone" << QList<int>{Yes}
                                           << QStringList{SaveQuestion, SaveError};
        QTest::newRow("close, disk full") << "close" << "disk full" << QList<int>{Yes}
                                          << QStringList{SaveQuestion, SaveError};
        QTest::newRow("最適化, disk full") << "mnuL5" << "disk full" << QList<int>{No}
                                           << QStringList{SaveQuestion, SaveError};
    }
    void writeFails()
    {
        // A catalogue that cannot be written, offered its own name, is reported (style 48)
        // and stays in the window as unsaved, list and store alike; its file keeps every
        // byte and no temporary file is left beside it.
        QFETCH(QString, command);
        QFETCH(QString, fault);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, messages);
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
        const QStringList paths = LumoDriver::placeholderPictures(m_dir->path(), 4);
        const QString file = path(QStringLiteral("sub/c.sbx"));
        lumo.openCatalogue(file, paths);
        const QByteArray before = LumoDriver::bytes(file);
        {
            // Deleted from the catalogue only: now it differs from its file.
            ScriptedDialogs dialogs;
            dialogs.answers.enqueue(No);
            lumo.select({paths[0]});
            lumo.window().DeleteJepg();
        }
        QFile::remove(paths[2]); // gone, so "最適化" has something to clean
        QStringList kept = paths.mid(1);
        if (command == QLatin1String("mnuL5"))
            kept.removeOne(paths[2]);

        ScriptedDialogs dialogs;
        dialogs.answers.append(answers);
        dialogs.files.enqueue(file);
        QString folder = path(QStringLiteral("sub"));
        if (fault == QLatin1String("folder gone")) {
            QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("sub"), QStringLiteral("moved")));
            folder = path(QStringLiteral("moved"));
        }
        {
            std::optional<faults::FileSizeLimit> full;
            if (fault == QLatin1String("disk full"))
                QVERIFY(full.emplace(0).isSet());
            if (command == QLatin1String("close"))
                lumo.window().close();
            else
                lumo.run(qPrintable(command));
        }

        QCOMPARE(dialogs.messages(), messages);
        QCOMPARE(dialogs.asked.last().style, 48);
        QVERIFY(lumo.window().isVisible());
        QCOMPARE(lumo.rowKeys(), kept);
        QCOMPARE(lumo.storeNames(), kept);
        QVERIFY(lumo.window().isModified());
        QVERIFY(lumo.saveLit());
        QCOMPARE(lumo.panel("Info"), SaveError);
        QCOMPARE(lumo.window().catalogueName(), file);
        QCOMPARE(LumoDriver::bytes(folder + QStringLiteral("/c.sbx")), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("c.sbx")});
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("sub"))) || fault != QLatin1String("folder gone"));

        // Once the disk has room again (or the folder is back), the same command succeeds.
        if (fault == QLatin1String("folder gone"))
            QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("moved"), QStringLiteral("sub")));
        dialogs.files.enqueue(file);
        lumo.run("mnuF3");
        QVERIFY(!lumo.window().isModified());
        QCOMPARE(LumoDriver::catalogueNames(file), kept);
    }

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
        QCOMPARE(lumo.list()->model()->index(2, 0).data().toString(), QStringLiteral("line\nbreak.jpg"));
        QCOMPARE(lumo.list()->model()->index(2, 1).data().toString(), folder);

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
        QCOMPARE(lumo.list()->model()->rowCount(), 0);
        QVERIFY(!QFileInfo::exists(lookAlike) && !QFileInfo::exists(other));
        QFile kept;
        QVERIFY(kept.open(::fopen(undecodable.constData(), "rb"), QIODevice::ReadOnly, QFile::AutoCloseHandle));
        QCOMPARE(kept.readAll(), bytes);
    }

    void yesMovesExactlyTheSelection_data()
    {
        QTest::addColumn<QStringList>("catalogue"); // entries, relative to the folder
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("gone"); // removed from disk after opening; "/": a folder in its place
        QTest::addColumn<QStringList>("trashed");
        QTest::addColumn<QStringList>("kept");      // entries left in the store
        QTest::addColumn<QStringList>("untrashable"); // named in the message
        const QStringList all{"a/x.jpg", "a/X.JPG", "a/x.jpg.bak.jpg", "a/sub/x.jpg", "b/y.jpg", "b/z.jpg"};
        QTest::newRow("two folders")
            << all << QStringList{"a/x.jpg", "b/y.jpg"} << QStringList() << QStringList{"x.jpg", "y.jpg"}
            << QStringList{"a/X.JPG", "a/x.jpg.bak.jpg", "a/sub/x.jpg", "b/z.jpg"} << QStringList();
        QTest::newRow("a link: the link goes, not its target")
            << QStringList{"a/link.jpg", "a/x.jpg"} << QStringList{"a/link.jpg"} << QStringList()
            << QStringList{"link.jpg"} << QStringList{"a/x.jpg"} << QStringList();
        QTest::newRow("listed twice: one row, moved once, both entries leave")
            << QStringList{"a/x.jpg", "b/y.jpg", "a/x.jpg"} << QStringList{"a/x.jpg"} << QStringList()
            << QStringList{"x.jpg"} << QStringList{"b/y.jpg"} << QStringList();
        QTest::newRow("one already gone")
            << all << QStringList{"a/x.jpg", "b/z.jpg"} << QStringList{"b/z.jpg"} << QStringList{"x.jpg"}
            << QStringList{"a/X.JPG", "a/x.jpg.bak.jpg", "a/sub/x.jpg", "b/y.jpg"} << QStringList();
        QTest::newRow("a folder in its place stays")
            << all << QStringList{"a/x.jpg", "b/z.jpg"} << QStringList{"b/z.jpg/"} << QStringList{"x.jpg"}
            << QStringList{"a/X.JPG", "a/x.jpg.bak.jpg", "a/sub/x.jpg", "b/y.jpg"} << QStringList();
    }
    void yesMovesExactlyTheSelection()
    {
        // After "Yes" the trash holds exactly the selected files that were there, each with
        // its bytes; every other file of their folders is still there with its bytes; a file
        // already gone, or a folder that took its name, only leaves the catalogue and harms
        // nothing.
        QFETCH(QStringList, catalogue);
        QFETCH(QStringList, selected);
        QFETCH(QStringList, gone);
        QFETCH(QStringList, trashed);
        QFETCH(QStringList, kept);
        QFETCH(QStringList, untrashable);
        const QDir root(m_dir->path());
        QVERIFY(root.mkpath(QStringLiteral("a/sub")) && root.mkpath(QStringLiteral("b")));
        int n = 0;
        for (const char *name : {"a/x.jpg", "a/X.JPG", "a/x.jpg.bak.jpg", "a/x.jpg~", "a/.x.jpg", "a/sub/x.jpg",
                                 "a/notes.txt", "b/y.jpg", "b/z.jpg", "b/y.jpg.jpg"})
            LumoDriver::writeBytes(root.filePath(QLatin1String(name)), "picture " + QByteArray::number(n++));
        QVERIFY(QFile::link(root.filePath(QStringLiteral("a/x.jpg")), root.filePath(QStringLiteral("a/link.jpg"))));
        const auto full = [&root](const QStringList &names) {
            QStringList paths;
            for (const QString &name : names)
                paths << root.filePath(name);
            return paths;
        };

        lumo.openCatalogue(root.filePath(QStringLiteral("c.sbx")), full(catalogue));
        for (const QString &name : std::as_const(gone)) {
            const bool folder = name.endsWith(QLatin1Char('/'));
            QVERIFY(QFile::remove(root.filePath(folder ? name.chopped(1) : name)));
            if (folder) {
                QVERIFY(root.mkdir(name));
                LumoDriver::writeBytes(root.filePath(name + QStringLiteral("inside.jpg")), "inside");
            }
        }
        QMap<QString, QByteArray> before = snapshot(m_dir->path());
        QMap<QString, QByteArray> expectedTrash;
        for (const QString &name : std::as_const(selected)) {
            if (before.contains(root.filePath(name)))
                expectedTrash.insert(trash() + QLatin1Char('/') + QFileInfo(name).fileName(), before.take(root.filePath(name)));
        }
        QCOMPARE(expectedTrash.size(), trashed.size());

        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(Yes);
        lumo.select(full(selected));
        lumo.run("mnuL3");
        QCOMPARE(snapshot(m_dir->path()), before);
        QCOMPARE(snapshot(trash()), expectedTrash);
        QCOMPARE(lumo.storeNames(), full(kept));
        QCOMPARE(dialogs.messages().size(), untrashable.isEmpty() ? 1 : 2);
        if (!untrashable.isEmpty()) {
            QCOMPARE(dialogs.messages().last(), QStringLiteral("次のファイルをごみ箱へ移動できませんでした。\n\n")
                                                    + full(untrashable).join(QLatin1Char('\n')));
            QCOMPARE(dialogs.asked.last().style, 48);
        }
        QCOMPARE(lumo.panel("Info"), QStringLiteral("削除完了"));
        QVERIFY(lumo.window().isModified());
    }
};

QTEST_MAIN(tst_userdata)
#include "tst_userdata.moc"
