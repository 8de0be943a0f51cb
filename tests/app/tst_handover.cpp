// A second start of the real program hands its catalogue to the window running here: the
// window comes to the front and opens it as "開く(&O)" does, after the running command and
// after the save question; requests that are not ours change nothing.

#include "frmLumo.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"
#include "singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <unistd.h>

namespace {
const QString SaveQuestion = QStringLiteral("現在のファイルを保存しますか？");
}

class tst_handover : public QObject
{
    Q_OBJECT

private:
    LumoDriver lumo;
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    SingleInstance *m_instance = nullptr;

    QString runtimeDir() const { return m_home.filePath(QStringLiteral("run")); }
    QString file(const QString &name) const { return m_dir->filePath(name); }

    // Runs a second Lumo in folder with these arguments, serving this window meanwhile;
    // its exit code. Without a display when asked; its standard error into errors.
    int secondStart(const QStringList &arguments, const QString &folder, const QString &runtime = {},
                    bool display = true, QByteArray *errors = nullptr)
    {
        QProcess second;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            if (!display)
                environment.remove(QLatin1String(name));
        environment.insert(QStringLiteral("HOME"), m_home.path());
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.isEmpty() ? runtimeDir() : runtime);
        second.setProcessEnvironment(environment);
        second.setWorkingDirectory(folder);
        second.start(QStringLiteral(LUMO_BINARY), arguments);
        if (!second.waitForStarted(10000))
            return -1;
        // Not waitForFinished: the request is read by this process's event loop.
        if (!QTest::qWaitFor([&] { return second.state() == QProcess::NotRunning; }, 15000))
            return -2;
        if (errors)
            *errors = second.readAllStandardError();
        return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -3;
    }
    // A catalogue of two placeholder pictures, opened in the window.
    void openFirst()
    {
        lumo.openCatalogue(file(QStringLiteral("a.sbx")), LumoDriver::placeholderPictures(m_dir->path(), 2));
        lumo.window().showMinimized();
    }
    // Catalogue b.sbx of three pictures, written only.
    QString second()
    {
        const QString path = file(QStringLiteral("b.sbx"));
        LumoDriver::writeCatalogueFile(path, {file(QStringLiteral("x.jpg")), file(QStringLiteral("y.jpg")),
                                              file(QStringLiteral("z.jpg"))});
        return path;
    }
    // Takes the first picture out of the list only: the catalogue is modified.
    void modify(ScriptedDialogs &dialogs)
    {
        lumo.select({lumo.rowKeys().constFirst()});
        dialogs.answers.enqueue(DialogService::No);
        lumo.run("mnuL3");
        QVERIFY(lumo.window().isModified());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        QVERIFY(QDir().mkpath(runtimeDir()));
        QFile::setPermissions(runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtimeDir().toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
        m_instance = new SingleInstance(QStringLiteral("lumo"), this);
        QVERIFY(m_instance->tryAcquire());
        m_instance->listen();
        QVERIFY(m_instance->isListening());
        QVERIFY(SingleInstance::socketPath(QStringLiteral("lumo")).startsWith(runtimeDir()));
    }
    void cleanupTestCase()
    {
        delete m_instance; // its lock goes before the folder that holds it
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        connect(m_instance, &SingleInstance::requested, &lumo.window(), &frmLumo::openHandedOver);
    }
    void cleanup()
    {
        ScriptedDialogs dialogs;
        for (int i = 0; i < 3; ++i)
            dialogs.answers.enqueue(DialogService::No);
        lumo.window().close();
        lumo.reset();
    }

    void secondStartReachesTheWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("folder"); // of the second start, in the test's folder
        QTest::addColumn<int>("answer");     // to the save question; 0: nothing to save
        QTest::addColumn<QString>("opened"); // in the test's folder
        const QStringList b{QStringLiteral("<b>")};
        const QString kept = QStringLiteral("a.sbx");
        QTest::newRow("catalogue") << b << QString() << 0 << QStringLiteral("b.sbx");
        QTest::newRow("none") << QStringList() << QString() << 0 << kept;
        QTest::newRow("relative, quoted, with a space") << QStringList{QStringLiteral("\"../b"), QStringLiteral("c.sbx\"")}
                                                        << QStringLiteral("sub") << 0 << QStringLiteral("sub/../b c.sbx");
        QTest::newRow("modified, Yes: saved, opened") << b << QString() << int(DialogService::Yes) << QStringLiteral("b.sbx");
        QTest::newRow("modified, No: opened") << b << QString() << int(DialogService::No) << QStringLiteral("b.sbx");
        QTest::newRow("modified, Cancel: all kept") << b << QString() << int(DialogService::Cancel) << kept;
    }
    void secondStartReachesTheWindow()
    {
        // A second start ends with 0; the minimised window comes back and opens the catalogue named, made absolute against the second start's folder, after the save question when there are changes.
        QFETCH(QStringList, arguments);
        QFETCH(QString, folder);
        QFETCH(int, answer);
        QFETCH(QString, opened);
        ScriptedDialogs dialogs;
        openFirst();
        const QString a = file(QStringLiteral("a.sbx"));
        const QString b = second();
        QVERIFY(QFile::copy(b, file(QStringLiteral("b c.sbx"))));
        QVERIFY(QDir().mkpath(file(QStringLiteral("sub"))));
        arguments.replaceInStrings(QStringLiteral("<b>"), b);
        if (answer)
            modify(dialogs);
        const QStringList rows = lumo.rowKeys();
        const QStringList onDisk = LumoDriver::catalogueNames(a);
        dialogs.asked.clear();
        dialogs.answers.enqueue(answer);
        dialogs.files.enqueue(a);

        QCOMPARE(secondStart(arguments, file(folder)), 0);
        QTRY_VERIFY(!lumo.window().isMinimized());
        QCOMPARE(dialogs.messages(), answer ? QStringList{SaveQuestion} : QStringList());
        QCOMPARE(lumo.window().catalogueName(), file(opened));
        QCOMPARE(lumo.rowKeys(), opened == QLatin1String("a.sbx") ? rows : LumoDriver::catalogueNames(file(opened)));
        QCOMPARE(lumo.window().isModified(), answer == DialogService::Cancel);
        QCOMPARE(LumoDriver::catalogueNames(a), answer == DialogService::Yes ? rows : onDisk);
    }

    void waitsWhileBusy_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::newRow("a command runs") << false;
        QTest::newRow("the close asks") << true;
    }
    void waitsWhileBusy()
    {
        // Requests that arrive during a command or the close's question wait until it is over; the later one replaces the earlier.
        QFETCH(bool, closing);
        ScriptedDialogs dialogs;
        openFirst();
        const QString b = second();
        const QString c = file(QStringLiteral("c.sbx"));
        QVERIFY(QFile::copy(b, c));
        if (closing)
            modify(dialogs);
        QString nameWhileBusy;
        dialogs.onAsk = [&](const ScriptedDialogs::Call &) {
            if (nameWhileBusy.isEmpty()) {
                QCOMPARE(secondStart({b}, m_dir->path()), 0);
                QCOMPARE(secondStart({c}, m_dir->path()), 0);
                nameWhileBusy = lumo.window().catalogueName();
            }
        };
        if (closing) {
            dialogs.answers.enqueue(DialogService::Cancel);
            lumo.window().close();
        } else {
            modify(dialogs); // the delete asks while its command is on the stack
        }
        QCOMPARE(nameWhileBusy, file(QStringLiteral("a.sbx")));
        dialogs.answers.enqueue(DialogService::No);
        QTRY_COMPARE(lumo.window().catalogueName(), c);
        QCOMPARE(dialogs.messages().count(SaveQuestion), closing ? 2 : 1);
    }

    void malformedRequestsAreIgnored_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray missing("/nowhere/b.sbx");
        QTest::newRow("other heading") << QByteArray("lumo-close\n" + missing + '\0');
        QTest::newRow("relative path") << QByteArray("lumo-open\nb.sbx") + '\0';
        QTest::newRow("not UTF-8") << QByteArray("lumo-open\n/nowhere/") + "\xff\xfe" + ".sbx" + '\0';
        QTest::newRow("unfinished") << QByteArray("lumo-open\n" + missing);
        QTest::newRow("endless") << QByteArray("lumo-open\n/") + QByteArray(100000, 'x');
    }
    void malformedRequestsAreIgnored()
    {
        // Bytes that are no request open nothing (a missing catalogue would be reported) and the next start is still heard.
        QFETCH(QByteArray, bytes);
        ScriptedDialogs dialogs;
        openFirst();
        {
            QLocalSocket socket;
            socket.connectToServer(SingleInstance::socketPath(QStringLiteral("lumo")));
            QVERIFY(socket.waitForConnected(5000));
            socket.write(bytes);
            // A request too long is cut off by the window before it is all written.
            QVERIFY(QTest::qWaitFor([&] {
                return socket.bytesToWrite() == 0 || socket.state() == QLocalSocket::UnconnectedState;
            }, 5000));
        }
        const QString b = second();
        QCOMPARE(secondStart({b}, m_dir->path()), 0);
        QTRY_COMPARE(lumo.window().catalogueName(), b);
        QVERIFY(dialogs.asked.isEmpty());
    }

    void staleLocks_data()
    {
        QTest::addColumn<QByteArray>("content"); // of the lock; "-": unreadable
        QTest::addColumn<bool>("answered");      // a process listens on the socket beside it
        QTest::newRow("empty") << QByteArray() << false;
        QTest::newRow("garbage") << QByteArray("\x01x\n\n") << false;
        QTest::newRow("unreadable") << QByteArray("-") << false;
        QTest::newRow("garbage, a Lumo answers") << QByteArray("x") << true;
    }
    void staleLocks()
    {
        // A lock without a process id in it is taken over, unless a process answers on the socket beside it.
        QFETCH(QByteArray, content);
        QFETCH(bool, answered);
        QTemporaryDir folder; // 0700
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder.path()));
        QFile lock(SingleInstance::lockFilePath(QStringLiteral("lumo")));
        QVERIFY(lock.open(QIODevice::WriteOnly) && lock.write(content) == content.size() && lock.flush());
        QVERIFY(content != "-" || lock.setPermissions({}));
        QLocalServer server;
        QVERIFY(!answered || server.listen(SingleInstance::socketPath(QStringLiteral("lumo"))));
        const bool acquired = SingleInstance(QStringLiteral("lumo")).tryAcquire();
        qputenv("XDG_RUNTIME_DIR", runtime);
        QCOMPARE(acquired, !answered);
    }

    void handOverIsAcknowledged_data()
    {
        QTest::addColumn<bool>("silent"); // the lock's holder takes connections and never answers
        QTest::newRow("answered, without a display") << false;
        QTest::newRow("no answer") << true;
    }
    void handOverIsAcknowledged()
    {
        // A second start ends with 0 once the running Lumo acknowledges, with no display; without an answer it says so on standard error and ends with 1.
        QFETCH(bool, silent);
        openFirst();
        const QString b = second();
        QTemporaryDir folder; // 0700
        const QString base = folder.filePath(QStringLiteral("lumo-%1").arg(::getuid()));
        QLockFile lock(base + QStringLiteral(".lock"));
        QLocalServer server;
        QVERIFY(!silent || (lock.tryLock(0) && server.listen(base + QStringLiteral(".socket"))));
        QByteArray errors;
        QCOMPARE(secondStart({b}, m_dir->path(), silent ? folder.path() : QString(), silent, &errors), silent ? 1 : 0);
        QCOMPARE(errors.contains("lumo: another Lumo is running but did not answer"), silent);
        QTRY_COMPARE(lumo.window().catalogueName(), silent ? file(QStringLiteral("a.sbx")) : b);
    }
};

QTEST_MAIN(tst_handover)
#include "tst_handover.moc"
