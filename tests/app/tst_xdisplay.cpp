// The program on an X server (a virtual one, under xvfb-run), where the platform plug-in
// and D-Bus come into play as they never do offscreen: under the sanitizers the exits of
// this process and of the second start prove the leak suppressions.

#include "frmLumo.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"
#include "singleinstance.h"

#include <frmSam.h>

#include <QProcess>
#include <QtTest>

class tst_xdisplay : public QObject
{
    Q_OBJECT

private slots:
    void startHandOverSimilarQuit()
    {
        // Started with a catalogue, the window takes a second start's catalogue, shows its look-alikes and quits.
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X server");
        TemporaryHome home;
        QTemporaryDir dir;
        const QString run = dir.filePath(QStringLiteral("run"));
        QVERIFY(QDir().mkpath(run));
        QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        SingleInstance instance(QStringLiteral("lumo"));
        QVERIFY(instance.tryAcquire());
        instance.listen();
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
        lumo.openCatalogue(dir.filePath(QStringLiteral("first.sbx")), pictures.mid(0, 1));

        const QString second = dir.filePath(QStringLiteral("second.sbx"));
        LumoDriver::writeCatalogueFile(second, pictures);
        QProcess start;
        start.start(QStringLiteral(LUMO_BINARY), {second});
        QVERIFY(QTest::qWaitFor([&] { return start.state() == QProcess::NotRunning; }, 60000));
        QCOMPARE(start.exitCode(), 0);
        QTRY_COMPARE(lumo.window().catalogueName(), second);

        // Blank signatures are all alike: one group, its base last.
        lumo.run("mnuJ2");
        QCOMPARE(frmSam::loaded()->placement(), (QStringList{pictures[1], pictures[2], pictures[0]}));
        lumo.run("mnuF7");
        QVERIFY(!lumo.window().isVisible());
        QVERIFY(dialogs.asked.isEmpty());
    }
};

QTEST_MAIN(tst_xdisplay)
#include "tst_xdisplay.moc"
