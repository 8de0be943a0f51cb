#include "outside/filefind.h"

#include "files/folderscan.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class tst_FileFind : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void walksTheTreeInOrder();
    void reportsWhatTheFolderScanFinds_data();
    void reportsWhatTheFolderScanFinds();
    void cancelAtTheKthFile_data();
    void cancelAtTheKthFile();
    void eventsWhileTheWorkerReads_data();
    void eventsWhileTheWorkerReads();
    void patternIgnoresLetterCase();
    void topOnlyStaysInTheFolder();
    void handlerCancelStops();
    void cancelFromTheHandlerStops();
    void eventsGetThroughAndCancel();
    void missingFolderFindsNothing();
    void findDuringAScanDoesNothing();

private:
    void touch(const QString &relative);
    void build(const QStringList &entries);
    QStringList run(FileFind &fnd, QString folder, const QString &pattern = QStringLiteral("*.*"), int flags = 0);

    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArrayList m_locked;
};

void tst_FileFind::touch(const QString &relative)
{
    const QString path = m_dir->filePath(relative);
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList tst_FileFind::run(FileFind &fnd, QString folder, const QString &pattern, int flags)
{
    QStringList found;
    const QString root = m_dir->path();
    auto connection = connect(&fnd, &FileFind::FileFound, this,
                              [&](const QString &where, const QString &name, bool &) {
        QVERIFY(!where.endsWith(QLatin1Char('/')));
        found << QDir(root).relativeFilePath(where + QLatin1Char('/') + name);
    });
    fnd.Find(folder, pattern, flags);
    disconnect(connection);
    return found;
}

// Builds a tree under "t" of the temporary folder. Each entry is a path in percent-encoded bytes
// (so "%FF" makes a name that is no UTF-8): "a/b.jpg" a file, "a/" a folder, "l->a" a symbolic
// link to "a", "u:a" folder a made unreadable.
void tst_FileFind::build(const QStringList &entries)
{
    const QByteArray root = QFile::encodeName(m_dir->filePath(QStringLiteral("t")));
    QVERIFY(::mkdir(root.constData(), 0755) == 0);
    QByteArrayList unreadable;
    for (const QString &entry : entries) {
        if (entry.startsWith(QLatin1String("u:"))) {
            unreadable << root + '/' + QByteArray::fromPercentEncoding(entry.mid(2).toUtf8());
            continue;
        }
        const qsizetype arrow = entry.indexOf(QLatin1String("->"));
        const QByteArray path = QByteArray::fromPercentEncoding((arrow < 0 ? entry : entry.left(arrow)).toUtf8());
        // The folders on the way.
        for (qsizetype slash = path.indexOf('/'); slash >= 0; slash = path.indexOf('/', slash + 1))
            ::mkdir((root + '/' + path.left(slash)).constData(), 0755);
        if (path.endsWith('/'))
            continue;
        const QByteArray full = root + '/' + path;
        if (arrow >= 0) {
            const QByteArray target = root + '/' + QByteArray::fromPercentEncoding(entry.mid(arrow + 2).toUtf8());
            QVERIFY(::symlink(target.constData(), full.constData()) == 0);
        } else {
            const int fd = ::open(full.constData(), O_CREAT | O_WRONLY, 0644);
            QVERIFY2(fd >= 0, full.constData());
            ::close(fd);
        }
    }
    for (const QByteArray &folder : unreadable) {
        QVERIFY(::chmod(folder.constData(), 0) == 0);
        m_locked << folder;
    }
}

void tst_FileFind::cleanup()
{
    // Also names that are no text, in folders given back their permissions first.
    for (const QByteArray &folder : std::exchange(m_locked, {}))
        ::chmod(folder.constData(), 0755);
    std::error_code error;
    std::filesystem::remove_all(QFile::encodeName(m_dir->path()).toStdString(), error);
}

void tst_FileFind::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    touch(QStringLiteral("b.jpg"));
    touch(QStringLiteral("A.jpg"));
    touch(QStringLiteral("c.txt"));
    touch(QStringLiteral("D.JPG"));
    touch(QStringLiteral(".hidden.jpg"));
    touch(QStringLiteral("sub2/z.jpg"));
    touch(QStringLiteral("Sub1/y.jpeg"));
    touch(QStringLiteral("Sub1/deeper/x.jpg"));
    touch(QStringLiteral(".cache/t.jpg"));
    QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("Sub1")), m_dir->filePath(QStringLiteral("link"))));
    QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("A.jpg")), m_dir->filePath(QStringLiteral("e.jpg"))));
}

void tst_FileFind::walksTheTreeInOrder()
{
    // Each folder's files come sorted before its sorted sub-folders; hidden entries and linked folders are left out.
    FileFind fnd;
    const QStringList found = run(fnd, m_dir->path() + QLatin1Char('/'));
    QCOMPARE(found, (QStringList{"A.jpg", "b.jpg", "c.txt", "D.JPG", "e.jpg",
                                 "Sub1/y.jpeg", "Sub1/deeper/x.jpg", "sub2/z.jpg"}));
    QCOMPARE(fnd.foundCount(), 8);
    QVERIFY(!fnd.isRunning());
}

void tst_FileFind::reportsWhatTheFolderScanFinds_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<int>("flags");

    QStringList nested;
    for (int i = 0; i < 3; ++i)
        nested << QStringLiteral("top%1.jpg").arg(i) << QStringLiteral("a/b%1/c/deep%1.jpg").arg(i)
               << QStringLiteral("a/b%1/side%1.JPEG").arg(i) << QStringLiteral("A%1/x.png").arg(i);
    // More files than one hand-over holds, in folders large and small.
    QStringList many;
    for (int i = 0; i < 300; ++i)
        many << QStringLiteral("big/%1.jpg").arg(i, 4, 10, QLatin1Char('0'));
    for (int i = 0; i < 100; ++i)
        many << QStringLiteral("small%1/f.jpg").arg(i, 3, 10, QLatin1Char('0'));
    many << QStringLiteral("big/zz/last.jpg");

    QTest::newRow("nested") << nested << QStringLiteral("*.*") << 0;
    QTest::newRow("nested, pattern") << nested << QStringLiteral("*.jpg;*.jpeg") << 0;
    QTest::newRow("nested, top only") << nested << QStringLiteral("*") << int(FileFind::TopOnly);
    QTest::newRow("hidden") << QStringList{"a.jpg", ".b.jpg", ".h/c.jpg", "d/.e.jpg", "d/f.jpg"}
                            << QStringLiteral("*.*") << 0;
    QTest::newRow("links") << QStringList{"sub/a.jpg", "tofile.jpg->sub/a.jpg", "tofolder->sub", "dangling.jpg->gone"}
                           << QStringLiteral("*.*") << 0;
    QTest::newRow("unreadable folder") << QStringList{"a.jpg", "locked/b.jpg", "u:locked", "m/c.jpg"}
                                       << QStringLiteral("*.*") << 0;
    QTest::newRow("non-UTF-8 names") << QStringList{"a.jpg", "b%FF.jpg", "c%FE%FF/d.jpg", "c%FE%FF/e.txt", "z.jpg"}
                                     << QStringLiteral("*.jpg") << 0;
    QTest::newRow("many") << many << QStringLiteral("*.*") << 0;
    QTest::newRow("nothing matches") << nested << QStringLiteral("*.gif") << 0;
}

void tst_FileFind::reportsWhatTheFolderScanFinds()
{
    // The reports are the folder scan's files, one by one, in its order; names that are no
    // text go to unreadableNames() in the same order.
    QFETCH(QStringList, tree);
    QFETCH(QString, pattern);
    QFETCH(int, flags);
    if (QTest::currentDataTag() == QLatin1String("unreadable folder") && ::geteuid() == 0)
        QSKIP("every folder is readable to root");
    build(tree);
    const QString root = m_dir->filePath(QStringLiteral("t"));

    QStringList expected;
    QByteArrayList expectedUnreadable;
    const QStringList filters = pattern == QLatin1String("*.*") || pattern == QLatin1String("*")
        ? QStringList() : QDir::nameFiltersFromString(pattern);
    FolderScan scan(root, !(flags & FileFind::TopOnly));
    for (ScannedFile file; scan.next(file) != FolderScan::Step::End;) {
        if (!file.name.isEmpty() && (filters.isEmpty() || QDir::match(filters, file.name))) {
            if (file.readable)
                expected << file.folder + QLatin1Char('|') + file.name;
            else
                expectedUnreadable << file.nativePath;
        }
        file = ScannedFile();
    }

    FileFind fnd;
    QStringList found;
    connect(&fnd, &FileFind::FileFound, this, [&](const QString &folder, const QString &name, bool &cancel) {
        QVERIFY(fnd.isRunning());
        found << folder + QLatin1Char('|') + name;
        cancel = false;
    });
    QString folder = root;
    fnd.Find(folder, pattern, flags);
    QVERIFY(!fnd.isRunning());
    QCOMPARE(found, expected);
    QCOMPARE(fnd.foundCount(), expected.size());
    QCOMPARE(fnd.unreadableNames(), expectedUnreadable);
    if (QTest::currentDataTag() == QLatin1String("non-UTF-8 names"))
        QCOMPARE(expectedUnreadable.size(), 2);
}

void tst_FileFind::cancelAtTheKthFile_data()
{
    QTest::addColumn<int>("k");
    QTest::addColumn<bool>("byCancelCall");
    // 300 files in three folders: the middle one lies in a later hand-over than the first.
    for (const bool byCall : {false, true}) {
        const char *how = byCall ? "Cancel()" : "cancel flag";
        QTest::addRow("%s at the first", how) << 1 << byCall;
        QTest::addRow("%s in the middle", how) << 150 << byCall;
        QTest::addRow("%s at the last", how) << 300 << byCall;
    }
}

void tst_FileFind::cancelAtTheKthFile()
{
    // The file during which the handler cancels is the last one reported, also once the
    // events that came meanwhile have run; the next scan starts afresh.
    QFETCH(int, k);
    QFETCH(bool, byCancelCall);
    QStringList tree;
    for (int i = 0; i < 300; ++i)
        tree << QStringLiteral("f%1/%2.jpg").arg(i / 100).arg(i, 3, 10, QLatin1Char('0'));
    build(tree);

    FileFind fnd;
    int reported = 0;
    bool afterEnd = false;
    connect(&fnd, &FileFind::FileFound, this, [&](const QString &, const QString &, bool &cancel) {
        QVERIFY(!afterEnd);
        if (++reported == k) {
            if (byCancelCall)
                fnd.Cancel();
            else
                cancel = true;
        }
    });
    QString folder = m_dir->filePath(QStringLiteral("t"));
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    afterEnd = true;
    QCOMPARE(reported, k);
    QCOMPARE(fnd.foundCount(), k);
    QVERIFY(!fnd.isRunning());
    QTest::qWait(30);
    QCOMPARE(reported, k);

    afterEnd = false;
    reported = 0;
    k = -1;
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    QCOMPARE(reported, 300);
}

void tst_FileFind::eventsWhileTheWorkerReads_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("nothing") << QStringLiteral("nothing");
    QTest::newRow("Cancel()") << QStringLiteral("cancel");
    QTest::newRow("Find again") << QStringLiteral("find");
    QTest::newRow("delete the FileFind") << QStringLiteral("delete");
}

void tst_FileFind::eventsWhileTheWorkerReads()
{
    // While the reading is held up (a slow disk), an event posted before the scan is served;
    // a cancel from it ends Find at once with nothing reported, and nothing is reported once
    // the read comes back either; deleting the FileFind from it is safe.
    QFETCH(QString, action);
    build({"a.jpg", "b.jpg", "s/c.jpg"});
    QString folder = m_dir->filePath(QStringLiteral("t"));

    struct Held
    {
        QSemaphore entered;
        QSemaphore release;
        std::atomic_int steps = 0;
        std::atomic_bool timedOut = false;
    };
    const auto held = std::make_shared<Held>();
    QPointer<FileFind> fnd = new FileFind;
    fnd->setBeforeStep([held] {
        if (held->steps++ != 0)
            return;
        held->entered.release();
        if (!held->release.tryAcquire(1, 10000))
            held->timedOut = true;
    });
    int reported = 0;
    connect(fnd, &FileFind::FileFound, this, [&](const QString &, const QString &, bool &) { ++reported; });

    int reportedAtEvent = -1;
    QTimer::singleShot(0, this, [&] {
        // Served once the worker is held before its first read.
        if (!held->entered.tryAcquire(1, 10000))
            return;
        reportedAtEvent = reported;
        if (action == QLatin1String("cancel")) {
            fnd->Cancel();
        } else if (action == QLatin1String("find")) {
            QString other = m_dir->path();
            fnd->Find(other, QStringLiteral("*.*"), 0);
            held->release.release();
        } else if (action == QLatin1String("delete")) {
            delete fnd;
        } else {
            held->release.release();
        }
    });
    fnd->Find(folder, QStringLiteral("*.*"), 0);
    QCOMPARE(reportedAtEvent, 0);
    QVERIFY(!held->timedOut);

    const bool stopped = action == QLatin1String("cancel") || action == QLatin1String("delete");
    if (stopped) {
        QCOMPARE(reported, 0);
        held->release.release();
        QTest::qWait(50);
        QCOMPARE(reported, 0);
        // The worker saw the stop: it took no further step.
        QTRY_COMPARE(held->steps.load(), 1);
    } else {
        QCOMPARE(reported, 3);
        QCOMPARE(fnd->foundCount(), 3);
    }
    QCOMPARE(fnd.isNull(), action == QLatin1String("delete"));
    delete fnd;
}

void tst_FileFind::patternIgnoresLetterCase()
{
    // A pattern other than *.* keeps only the matching files, whatever their letter case, in every sub-folder.
    FileFind fnd;
    QCOMPARE(run(fnd, m_dir->path(), QStringLiteral("*.jpg")),
             (QStringList{"A.jpg", "b.jpg", "D.JPG", "e.jpg", "Sub1/deeper/x.jpg", "sub2/z.jpg"}));
    QCOMPARE(run(fnd, m_dir->path(), QStringLiteral("*.txt;*.jpeg")), (QStringList{"c.txt", "Sub1/y.jpeg"}));
}

void tst_FileFind::topOnlyStaysInTheFolder()
{
    // With the top-only flag the sub-folders are not visited.
    FileFind fnd;
    QCOMPARE(run(fnd, m_dir->path(), QStringLiteral("*.*"), FileFind::TopOnly),
             (QStringList{"A.jpg", "b.jpg", "c.txt", "D.JPG", "e.jpg"}));
}

void tst_FileFind::handlerCancelStops()
{
    // A handler answering Cancel on the second file gets no third file.
    FileFind fnd;
    QStringList names;
    connect(&fnd, &FileFind::FileFound, this, [&](const QString &, const QString &name, bool &cancel) {
        names << name;
        cancel = names.size() == 2;
    });
    QString folder = m_dir->path();
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    QCOMPARE(names, (QStringList{"A.jpg", "b.jpg"}));
    QCOMPARE(folder, m_dir->path());

    // The next scan starts afresh.
    names.clear();
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    QCOMPARE(names.size(), 2);
}

void tst_FileFind::cancelFromTheHandlerStops()
{
    // Cancel() called while a file is reported stops the scan before the next one, also deep in a sub-folder.
    FileFind fnd;
    QStringList names;
    connect(&fnd, &FileFind::FileFound, this, [&](const QString &, const QString &name, bool &) {
        names << name;
        if (name == QLatin1String("y.jpeg"))
            fnd.Cancel();
    });
    QString folder = m_dir->path();
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    QCOMPARE(names.last(), QStringLiteral("y.jpeg"));
    QCOMPARE(names.size(), 6);
}

void tst_FileFind::eventsGetThroughAndCancel()
{
    // A slow handler still lets pending events run, so a stop request arriving as an event ends the scan.
    FileFind fnd;
    int reported = 0;
    connect(&fnd, &FileFind::FileFound, this, [&](const QString &, const QString &, bool &) {
        ++reported;
        QTest::qSleep(60);   // each file takes longer than the longest time without events
    });
    bool timerRan = false;
    QTimer::singleShot(0, this, [&]() {
        timerRan = true;
        fnd.Cancel();
    });
    QString folder = m_dir->path();
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    QVERIFY(timerRan);
    QVERIFY2(reported <= 2, qPrintable(QString::number(reported)));
}

void tst_FileFind::missingFolderFindsNothing()
{
    // A folder that does not exist (or no folder) reports nothing and returns.
    FileFind fnd;
    QCOMPARE(run(fnd, m_dir->filePath(QStringLiteral("gone"))), QStringList());
    QCOMPARE(run(fnd, QString()), QStringList());
    QCOMPARE(run(fnd, m_dir->filePath(QStringLiteral("c.txt"))), QStringList());
}

void tst_FileFind::findDuringAScanDoesNothing()
{
    // A second Find while a scan runs returns at once and leaves the first scan going.
    FileFind fnd;
    int reported = 0;
    connect(&fnd, &FileFind::FileFound, this, [&](const QString &, const QString &, bool &) {
        ++reported;
        if (reported == 1) {
            QString again = m_dir->path();
            fnd.Find(again, QStringLiteral("*.*"), 0);
        }
    });
    QString folder = m_dir->path();
    fnd.Find(folder, QStringLiteral("*.*"), 0);
    QCOMPARE(reported, 8);
}

QTEST_MAIN(tst_FileFind)
#include "tst_filefind.moc"
