// The program as started from a shell: one instance per user, and who it says it is.

#include "appidentity.h"
#include "outside/dialogservice.h"
#include "singleinstance.h"

#include <QApplication>

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_lumo : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

    QProcess *start()
    {
        auto *process = new QProcess(this);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir());
        process->setProcessEnvironment(environment);
        process->setProgram(QStringLiteral(LUMO_BINARY));
        process->start();
        return process;
    }
    QString runtimeDir() const { return m_home.filePath(QStringLiteral("run")); }
    // The process id written into the lock, 0 when there is none.
    static qint64 lockHolder()
    {
        QFile file(SingleInstance::lockFilePath(QStringLiteral("lumo")));
        return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toLongLong() : 0;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir().mkpath(runtimeDir()));
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // The lock file path is worked out the way the program does, in its environment.
        qputenv("XDG_RUNTIME_DIR", runtimeDir().toLocal8Bit());
    }

    void secondInstanceEndsAtOnce()
    {
        // While one Lumo runs, a second start ends at once with status 0 and the first stays.
        QProcess *first = start();
        QVERIFY(first->waitForStarted(10000));
        const QString lock = SingleInstance::lockFilePath(QStringLiteral("lumo"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);

        QProcess *second = start();
        QVERIFY(second->waitForFinished(30000)); // the first may still be starting up
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        first->kill();
        QVERIFY(first->waitForFinished(10000));
    }

    void versionAndHelpAnswerBesideARunningLumo()
    {
        // --version and --help print and end at once, even while another Lumo holds the lock.
        QProcess *first = start();
        QVERIFY(first->waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(), first->processId(), 10000);
        const std::pair<const char *, QString> cases[] = {
            {"--version", QStringLiteral("lumo " LUMO_VERSION "\n")},
            {"--help", QStringLiteral("Usage: lumo [CATALOGUE]\n")},
        };
        for (const auto &[option, opening] : cases) {
            QProcess asked;
            asked.start(QStringLiteral(LUMO_BINARY), {QString::fromLatin1(option)});
            QVERIFY2(asked.waitForFinished(10000), option);
            QCOMPARE(asked.exitCode(), 0);
            QVERIFY2(QString::fromUtf8(asked.readAllStandardOutput()).startsWith(opening), option);
        }
        first->kill();
        QVERIFY(first->waitForFinished(10000));
    }

    void versionBoxKnowsTheProgram()
    {
        // The version box gets Lumo's name, version and comment, and the windows the launcher's icon.
        applyAppIdentity();
        const AppInfo info = AppInfo::fromApplication();
        QCOMPARE(info.title, QStringLiteral("Lumo"));
        QCOMPARE(info.version, QStringLiteral(LUMO_VERSION));
        QVERIFY(info.comment.startsWith(QStringLiteral("Lumo — ")));
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral(LUMO_APP_ID));
        const QImage icon = QGuiApplication::windowIcon().pixmap(64).toImage();
        QCOMPARE(icon.size(), QSize(64, 64));
        QCOMPARE(icon.pixelColor(0, 63).alpha(), 0);   // outside both drawn pictures
        QCOMPARE(icon.pixelColor(40, 40).alpha(), 255); // inside the front one
    }

    void staleLockDoesNotBlock()
    {
        // A lock and a socket left by a process that has gone do not keep the next start out.
        const QString lock = SingleInstance::lockFilePath(QStringLiteral("lumo"));
        QProcess *gone = start();
        QVERIFY(gone->waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(), gone->processId(), 10000);
        gone->kill(); // no chance to remove its lock
        QVERIFY(gone->waitForFinished(10000));
        QVERIFY(QFile::exists(lock));

        const QString socket = SingleInstance::socketPath(QStringLiteral("lumo"));
        QVERIFY(QFile::exists(socket));

        QProcess *next = start();
        QVERIFY(next->waitForStarted(10000));
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(), next->processId(), 10000);
        QCOMPARE(next->state(), QProcess::Running);
        // Its socket replaced the one left behind: later starts reach it.
        QLocalSocket reach;
        QTRY_VERIFY_WITH_TIMEOUT([&] {
            reach.abort();
            reach.connectToServer(socket);
            return reach.waitForConnected(100);
        }(), 10000);
        next->kill();
        QVERIFY(next->waitForFinished(10000));
    }
};

QTEST_MAIN(tst_lumo)
#include "tst_lumo.moc"
