// The program as started from a shell: one instance per user.

#include "singleinstance.h"

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
        QVERIFY(second->waitForFinished(10000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        first->kill();
        QVERIFY(first->waitForFinished(10000));
    }

    void staleLockDoesNotBlock()
    {
        // A lock left by a process that has gone does not keep the next start out.
        const QString lock = SingleInstance::lockFilePath(QStringLiteral("lumo"));
        QProcess *gone = start();
        QVERIFY(gone->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(lock), 10000);
        gone->kill(); // no chance to remove its lock
        QVERIFY(gone->waitForFinished(10000));
        QVERIFY(QFile::exists(lock));

        QProcess *next = start();
        QVERIFY(next->waitForStarted(10000));
        auto holder = [&lock] {
            QFile file(lock);
            return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed().toLongLong() : 0;
        };
        QTRY_COMPARE_WITH_TIMEOUT(holder(), next->processId(), 10000);
        QCOMPARE(next->state(), QProcess::Running);
        next->kill();
        QVERIFY(next->waitForFinished(10000));
    }
};

QTEST_MAIN(tst_lumo)
#include "tst_lumo.moc"
