#include "outside/appsettings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

class tst_AppSettings : public QObject
{
    Q_OBJECT

private slots:
    void roundTripAcrossObjects();
    void missingKeysGiveDefaults();
    void typedReads_data();
    void typedReads();
    void viewerObjectReadsAndWritesNothing();
    void realStoreLivesUnderTheProgramName();
    void defaultNameIsTheExecutable();
};

void tst_AppSettings::roundTripAcrossObjects()
{
    // Values written through one settings object are read back by another on the same file.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("t.ini"));
    {
        QSettings backend(file, QSettings::IniFormat);
        AppSettings settings(backend);
        settings.setUp(nullptr, QStringLiteral("lumo"), true, true);
        settings.WriteValue(QStringLiteral("FilePath"), QStringLiteral("/home/花子/カタログ"));
        settings.WriteValue(QStringLiteral("Like"), 37);
        settings.WriteValue(QStringLiteral("SamCols"), qint16(8));
        settings.WriteValue(QStringLiteral("SamWidth"), 1500);
    }
    QSettings backend(file, QSettings::IniFormat);
    AppSettings later(backend);
    QCOMPARE(later.readString(QStringLiteral("FilePath"), QString()), QStringLiteral("/home/花子/カタログ"));
    QCOMPARE(later.readInt32(QStringLiteral("Like"), 0), 37);
    QCOMPARE(later.readInt16(QStringLiteral("SamCols"), 6), qint16(8));
    QCOMPARE(later.ReadValue(QStringLiteral("SamWidth"), 1200).toInt(), 1500);
}

void tst_AppSettings::missingKeysGiveDefaults()
{
    // A key that was never written answers the default given, whatever its type.
    QTemporaryDir dir;
    QSettings backend(dir.filePath(QStringLiteral("t.ini")), QSettings::IniFormat);
    AppSettings settings(backend);
    QCOMPARE(settings.ReadValue(QStringLiteral("JpegPath"), QStringLiteral("/cur")).toString(), QStringLiteral("/cur"));
    QCOMPARE(settings.readString(QStringLiteral("FilePath"), QStringLiteral("/cur")), QStringLiteral("/cur"));
    QCOMPARE(settings.readInt32(QStringLiteral("SamHeight"), 1600), 1600);
    QCOMPARE(settings.readInt16(QStringLiteral("SamCols"), 6), qint16(6));
}

void tst_AppSettings::typedReads_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("int32");
    QTest::addColumn<int>("int16");
    QTest::addColumn<int>("boolean"); // 1 true, 0 false, -1 the default

    QTest::newRow("plain") << "42" << 42 << 42 << -1;
    QTest::newRow("negative") << "-7" << -7 << -7 << -1;
    QTest::newRow("spaces") << " 12 " << 12 << 12 << -1;
    QTest::newRow("text") << "abc" << -1 << -1 << -1;
    QTest::newRow("trailing text") << "12abc" << -1 << -1 << -1;
    QTest::newRow("fraction") << "3.5" << -1 << -1 << -1;
    QTest::newRow("empty") << "" << -1 << -1 << -1;
    QTest::newRow("too big for 16 bits") << "40000" << 40000 << -1 << -1;
    QTest::newRow("too big for 32 bits") << "99999999999" << -1 << -1 << -1;
    QTest::newRow("true") << "true" << -1 << -1 << 1;
    QTest::newRow("False") << "False" << -1 << -1 << 0;
    QTest::newRow("one") << "1" << 1 << 1 << 1;
    QTest::newRow("zero") << "0" << 0 << 0 << 0;
}

void tst_AppSettings::typedReads()
{
    // A stored value that is not a whole number (a Boolean), or does not fit, reads as the default (-1).
    QFETCH(QString, stored);
    QFETCH(int, int32);
    QFETCH(int, int16);
    QFETCH(int, boolean);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.ini"));
    {
        QSettings writer(file, QSettings::IniFormat);
        writer.setValue(QStringLiteral("Value"), stored);
    }
    QSettings backend(file, QSettings::IniFormat);
    AppSettings settings(backend);
    QCOMPARE(settings.readInt32(QStringLiteral("Value"), -1), int32);
    QCOMPARE(int(settings.readInt16(QStringLiteral("Value"), -1)), int16);
    const bool readTrue = settings.readBool(QStringLiteral("Value"), true);
    QCOMPARE(readTrue == settings.readBool(QStringLiteral("Value"), false) ? int(readTrue) : -1, boolean);
}

void tst_AppSettings::viewerObjectReadsAndWritesNothing()
{
    // An object set up with the second option off answers defaults and leaves the store alone.
    QTemporaryDir dir;
    QSettings backend(dir.filePath(QStringLiteral("t.ini")), QSettings::IniFormat);
    backend.setValue(QStringLiteral("Like"), 5);
    AppSettings viewer(backend);
    viewer.setUp(nullptr, QStringLiteral("lumo"), true, false);
    QCOMPARE(viewer.readInt32(QStringLiteral("Like"), 0), 0);
    viewer.WriteValue(QStringLiteral("Like"), 9);
    QCOMPARE(backend.value(QStringLiteral("Like")).toInt(), 5);
}

void tst_AppSettings::realStoreLivesUnderTheProgramName()
{
    // Without a backend the values go to a per-user file named after the program and survive a new object.
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    QWidget owner;
    {
        AppSettings settings;
        settings.setUp(&owner, QStringLiteral("lumotest"), true, true);
        QCOMPARE(settings.owner(), &owner);
        settings.WriteValue(QStringLiteral("Like"), 37);
        QVERIFY2(settings.fileName().startsWith(dir.path()), qPrintable(settings.fileName()));
        QVERIFY(settings.fileName().contains(QStringLiteral("lumotest")));
        QVERIFY(QFileInfo::exists(settings.fileName()));
    }
    AppSettings next;
    next.setUp(&owner, QStringLiteral("lumotest"), true, true);
    QCOMPARE(next.readInt32(QStringLiteral("Like"), 0), 37);
}

void tst_AppSettings::defaultNameIsTheExecutable()
{
    // An empty program name stands for the executable's base name.
    QCOMPARE(AppSettings::defaultAppName(), QStringLiteral("tst_appsettings"));
    QTemporaryDir dir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    AppSettings settings;
    settings.setUp(nullptr, QString(), false, true);
    QCOMPARE(settings.appName(), QStringLiteral("tst_appsettings"));
    QVERIFY(settings.fileName().contains(QStringLiteral("tst_appsettings")));
}

QTEST_MAIN(tst_AppSettings)
#include "tst_appsettings.moc"
