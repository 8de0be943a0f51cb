#include "outside/scripteddialogs.h"
#include "outside/shellservice.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

// A fresh account: empty HOME (no data folder yet), optionally XDG_DATA_HOME, and a
// temporary current folder; everything is put back afterwards.
class FreshAccount
{
public:
    FreshAccount(const QString &root, bool setDataHome, const QString &dataHome = QString())
        : m_home(qgetenv("HOME")), m_hadHome(qEnvironmentVariableIsSet("HOME")),
          m_data(qgetenv("XDG_DATA_HOME")), m_hadData(qEnvironmentVariableIsSet("XDG_DATA_HOME")),
          m_cwd(QDir::currentPath())
    {
        QDir().mkpath(root + QStringLiteral("/home"));
        QDir().mkpath(root + QStringLiteral("/work"));
        qputenv("HOME", QFile::encodeName(root + QStringLiteral("/home")));
        if (setDataHome)
            qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.isEmpty() ? root + QStringLiteral("/home/.local/share") : dataHome));
        else
            qunsetenv("XDG_DATA_HOME");
        QDir::setCurrent(root + QStringLiteral("/work"));
    }
    ~FreshAccount()
    {
        QDir::setCurrent(m_cwd);
        m_hadHome ? qputenv("HOME", m_home) : qunsetenv("HOME");
        m_hadData ? qputenv("XDG_DATA_HOME", m_data) : qunsetenv("XDG_DATA_HOME");
    }

private:
    QByteArray m_home;
    bool m_hadHome;
    QByteArray m_data;
    bool m_hadData;
    QString m_cwd;
};

// GLib reads HOME and XDG_DATA_HOME once per process, so a test that needs an account of
// its own runs again, alone, in a child process of this program; true in the parent, which
// has then checked the child's outcome.
bool ranInChild()
{
    if (qEnvironmentVariableIsSet("LUMO_TEST_CHILD"))
        return false;
    QString test = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        test += QLatin1Char(':') + QString::fromUtf8(QTest::currentDataTag());
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMO_TEST_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(), {test});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        QTest::qFail(child.readAll().constData(), __FILE__, __LINE__);
    return true;
}

class tst_ShellService : public QObject
{
    Q_OBJECT

private slots:
    void freshAccountTrashesIntoTheTrash_data();
    void freshAccountTrashesIntoTheTrash();
    void filesThatCannotMoveAreReportedOnce();
    void neverDeletesWhenThereIsNoTrash();
    void emptyListDoesNothing();
    void nulLists();
    void browseFolderGoesThroughTheDialogService();

private:
    static void write(const QString &path, const QByteArray &bytes);
};

void tst_ShellService::write(const QString &path, const QByteArray &bytes)
{
    QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void tst_ShellService::freshAccountTrashesIntoTheTrash_data()
{
    QTest::addColumn<bool>("setDataHome");
    QTest::newRow("XDG_DATA_HOME set") << true;
    QTest::newRow("HOME only") << false;
}

void tst_ShellService::freshAccountTrashesIntoTheTrash()
{
    // On an account without a data folder the files land in the user's trash, not in ./files of the current folder.
    QFETCH(bool, setDataHome);
    if (ranInChild())
        return;
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString a = tmp.filePath(QStringLiteral("pics/a.jpg"));
    const QString b = tmp.filePath(QStringLiteral("pics/写真 b.jpg"));
    const QString sameName = tmp.filePath(QStringLiteral("pics2/a.jpg"));
    write(a, "A");
    write(b, "B");
    write(sameName, "A2");
    const QString trash = tmp.filePath(QStringLiteral("home/.local/share/Trash"));

    ScriptedDialogs dialogs;
    QStringList failed;
    {
        FreshAccount account(tmp.path(), setDataHome);
        failed = ShellService::RemoveFiles(ShellService::joinNulList({a, b, sameName}), 0, nullptr);
    }
    QCOMPARE(failed, QStringList());
    QCOMPARE(dialogs.asked.size(), 0);
    QVERIFY(!QFileInfo::exists(a));
    QVERIFY(!QFileInfo::exists(b));
    QVERIFY(!QFileInfo::exists(sameName));
    QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("work/files"))));
    QVERIFY(!QFileInfo::exists(tmp.filePath(QStringLiteral("work/info"))));

    QDir files(trash + QStringLiteral("/files"));
    QCOMPARE(files.entryList(QDir::Files).size(), 3);
    QFile trashedB(files.filePath(QStringLiteral("写真 b.jpg")));
    QVERIFY(trashedB.open(QIODevice::ReadOnly));
    QCOMPARE(trashedB.readAll(), QByteArray("B"));
    QCOMPARE(QDir(trash + QStringLiteral("/info")).entryList(QDir::Files).size(), 3);
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString &folder : {trash, trash + QStringLiteral("/files"), trash + QStringLiteral("/info")}) {
        const auto others = QFile::permissions(folder) & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
                                                          | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther);
        QVERIFY2((QFile::permissions(folder) & ownerOnly) == ownerOnly && !others, qPrintable(folder));
    }
}

void tst_ShellService::filesThatCannotMoveAreReportedOnce()
{
    // Files that are not there are named together in one exclamation message; the others still go to the trash.
    if (ranInChild())
        return;
    QTemporaryDir tmp;
    const QString present = tmp.filePath(QStringLiteral("pics/a.jpg"));
    const QString gone1 = tmp.filePath(QStringLiteral("pics/gone1.jpg"));
    const QString gone2 = tmp.filePath(QStringLiteral("pics/gone2.jpg"));
    write(present, "A");

    QWidget owner;
    ScriptedDialogs dialogs;
    QStringList failed;
    {
        FreshAccount account(tmp.path(), true);
        failed = ShellService::instance().RemoveFiles(ShellService::joinNulList({gone1, present, gone2}), 0, &owner);
    }
    QCOMPARE(failed, (QStringList{gone1, gone2}));
    QCOMPARE(dialogs.asked.size(), 1);
    const ScriptedDialogs::Call message = dialogs.asked.first();
    QCOMPARE(message.kind, QStringLiteral("ShowMessage"));
    QCOMPARE(message.style, 48);
    QCOMPARE(message.owner, &owner);
    QVERIFY(message.text.contains(gone1));
    QVERIFY(message.text.contains(gone2));
    QVERIFY(!message.text.contains(present));
    QVERIFY(!QFileInfo::exists(present));
}

void tst_ShellService::neverDeletesWhenThereIsNoTrash()
{
    // When no trash can be made the file stays where it was, is reported, and nothing is left in the current folder.
    if (ranInChild())
        return;
    QTemporaryDir tmp;
    const QString picture = tmp.filePath(QStringLiteral("pics/a.jpg"));
    write(picture, "A");
    const QString notAFolder = tmp.filePath(QStringLiteral("data-is-a-file"));
    write(notAFolder, "x");

    ScriptedDialogs dialogs;
    QStringList failed;
    {
        FreshAccount account(tmp.path(), true, notAFolder);
        failed = ShellService::RemoveFiles(ShellService::joinNulList({picture}), 0, nullptr);
    }
    QCOMPARE(failed, QStringList{picture});
    QCOMPARE(dialogs.messages().size(), 1);
    QFile kept(picture);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("A"));
    QCOMPARE(QDir(tmp.filePath(QStringLiteral("work"))).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList());
}

void tst_ShellService::emptyListDoesNothing()
{
    // A list holding only the closing NUL moves nothing and says nothing.
    ScriptedDialogs dialogs;
    QCOMPARE(ShellService::RemoveFiles(QString(QChar(0)), 0, nullptr), QStringList());
    QCOMPARE(dialogs.asked.size(), 0);
}

void tst_ShellService::nulLists()
{
    // A double-NUL-terminated list splits into its paths and is built back the same way.
    const QString nul(QChar(0));
    QCOMPARE(ShellService::splitNulList(QStringLiteral("/a.jpg") + nul + QStringLiteral("/b c.jpg") + nul + nul),
             (QStringList{QStringLiteral("/a.jpg"), QStringLiteral("/b c.jpg")}));
    QCOMPARE(ShellService::joinNulList({QStringLiteral("/a.jpg")}), QStringLiteral("/a.jpg") + nul + nul);
    QCOMPARE(ShellService::joinNulList({}), nul);
    QCOMPARE(ShellService::splitNulList(nul), QStringList());
}

void tst_ShellService::browseFolderGoesThroughTheDialogService()
{
    // The folder picker is the dialog service's: its answer is returned, and "" when cancelled.
    QWidget owner;
    ScriptedDialogs dialogs;
    dialogs.folders << QStringLiteral("/pics");
    QCOMPARE(ShellService::BrowseFolder(&owner, QString()), QStringLiteral("/pics"));
    QCOMPARE(ShellService::BrowseFolder(&owner, QString()), QString());
    QCOMPARE(dialogs.asked.size(), 2);
    QCOMPARE(dialogs.asked.first().kind, QStringLiteral("BrowseForFolder"));
    QCOMPARE(dialogs.asked.first().owner, &owner);
}

QTEST_MAIN(tst_ShellService)
#include "tst_shellservice.moc"
