// Deleting pictures with their files: "Yes" moves exactly the selected files to the desktop
// trash (a temporary one here) and touches nothing else on disk.

#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
enum { Yes = DialogService::Yes };

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

class tst_deletefiles : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;

    QString trash() const { return m_home.filePath(QStringLiteral("data/Trash/files")); }

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

    void yesMovesExactlyTheSelection_data()
    {
        QTest::addColumn<QStringList>("catalogue"); // entries, relative to the folder
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QStringList>("gone");      // removed from disk after opening
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
        QTest::newRow("listed twice: one row, moved once, the second entry kept")
            << QStringList{"a/x.jpg", "b/y.jpg", "a/x.jpg"} << QStringList{"a/x.jpg"} << QStringList()
            << QStringList{"x.jpg"} << QStringList{"b/y.jpg", "a/x.jpg"} << QStringList();
        QTest::newRow("one already gone")
            << all << QStringList{"a/x.jpg", "b/z.jpg"} << QStringList{"b/z.jpg"} << QStringList{"x.jpg"}
            << QStringList{"a/X.JPG", "a/x.jpg.bak.jpg", "a/sub/x.jpg", "b/y.jpg"} << QStringList{"b/z.jpg"};
    }
    void yesMovesExactlyTheSelection()
    {
        // After "Yes" the trash holds exactly the selected files that were there, each with
        // its bytes; every other file of their folders is still there with its bytes; a file
        // already gone is named in one message (style 48) and harms nothing.
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
        for (const QString &name : std::as_const(gone))
            QVERIFY(QFile::remove(root.filePath(name)));
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

QTEST_MAIN(tst_deletefiles)
#include "tst_deletefiles.moc"
