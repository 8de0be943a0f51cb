#include "outside/filefind.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class tst_FileFind : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void walksTheTreeInOrder();
    void patternIgnoresLetterCase();
    void topOnlyStaysInTheFolder();
    void handlerCancelStops();
    void cancelFromTheHandlerStops();
    void eventsGetThroughAndCancel();
    void missingFolderFindsNothing();
    void findDuringAScanDoesNothing();

private:
    void touch(const QString &relative);
    QStringList run(FileFind &fnd, QString folder, const QString &pattern = QStringLiteral("*.*"), int flags = 0);

    std::unique_ptr<QTemporaryDir> m_dir;
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
    // A slow scan lets pending events run, so a stop request arriving as an event ends it.
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
    QVERIFY2(reported >= 1 && reported <= 2, qPrintable(QString::number(reported)));
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
