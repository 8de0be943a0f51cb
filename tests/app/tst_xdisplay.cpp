// The program on an X server (a virtual one, under xvfb-run), where users run it: the
// platform plug-in, its input methods and D-Bus come into play, which the offscreen suite
// never loads. Under the sanitizers each process's exit then proves the leak suppressions.

#include "frmLumo.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"
#include "singleinstance.h"

#include <frmSam.h>

#include <QImage>
#include <QProcess>
#include <QtTest>

class tst_xdisplay : public QObject
{
    Q_OBJECT

private slots:
    void startSimilarHandOverQuit()
    {
        // Started with a catalogue, the window shows a group of look-alikes, takes a second start's catalogue and quits.
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server");
        TemporaryHome home;
        QTemporaryDir dir;
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("run"))));
        QFile::setPermissions(dir.filePath(QStringLiteral("run")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.filePath(QStringLiteral("run"))));
        SingleInstance instance(QStringLiteral("lumo"));
        QVERIFY(instance.tryAcquire());

        QStringList pictures;
        for (int i = 0; i < 3; ++i) {
            QImage picture(64 + 16 * i, 48, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            pictures << dir.filePath(QStringLiteral("p%1.jpg").arg(i));
            QVERIFY(picture.save(pictures.last(), "JPEG"));
        }
        ScriptedDialogs dialogs;
        LumoDriver lumo;
        QObject::connect(&instance, &SingleInstance::requested, &lumo.window(), &frmLumo::openHandedOver);
        QVERIFY(QTest::qWaitForWindowExposed(&lumo.window()));
        lumo.openCatalogue(dir.filePath(QStringLiteral("first.sbx")), pictures.mid(0, 1));

        // The real program as a second start, on the same display.
        const QString second = dir.filePath(QStringLiteral("second.sbx"));
        LumoDriver::writeCatalogueFile(second, pictures);
        QProcess start;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
        start.setProcessEnvironment(environment);
        start.start(QStringLiteral(LUMO_BINARY), {second});
        QVERIFY(QTest::qWaitFor([&] { return start.state() == QProcess::NotRunning; }, 60000));
        QCOMPARE(start.exitStatus(), QProcess::NormalExit);
        QCOMPARE(start.exitCode(), 0);
        QTRY_COMPARE(lumo.window().catalogueName(), second);

        // Equal signatures: one group, its base last.
        lumo.run("mnuJ2");
        QVERIFY(frmSam::isShown());
        QCOMPARE(frmSam::loaded()->placement(), (QStringList{pictures[1], pictures[2], pictures[0]}));

        lumo.run("mnuF7");
        QVERIFY(!lumo.window().isVisible());
        QVERIFY(dialogs.messages().isEmpty());
    }
};

QTEST_MAIN(tst_xdisplay)
#include "tst_xdisplay.moc"
