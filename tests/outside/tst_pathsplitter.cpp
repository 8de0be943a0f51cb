#include "outside/pathsplitter.h"

#include <QtTest>

class tst_PathSplitter : public QObject
{
    Q_OBJECT

private slots:
    void parts_data();
    void parts();
};

void tst_PathSplitter::parts_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");

    QTest::newRow("plain") << "/pics/photo.jpg" << "/pics" << "photo.jpg" << "jpg";
    QTest::newRow("letter case kept") << "/pics/photo.JPEG" << "/pics" << "photo.JPEG" << "JPEG";
    QTest::newRow("no extension") << "/pics/README" << "/pics" << "README" << "";
    QTest::newRow("dotted folder") << "/pics/a.b/photo" << "/pics/a.b" << "photo" << "";
    QTest::newRow("dotted folder and name") << "/pics/2024.05/x.y.jpg" << "/pics/2024.05" << "x.y.jpg" << "jpg";
    QTest::newRow("trailing separator") << "/pics/sub/" << "/pics/sub" << "" << "";
    QTest::newRow("trailing dot") << "/pics/name." << "/pics" << "name." << "";
    QTest::newRow("in the root") << "/photo.jpg" << "/" << "photo.jpg" << "jpg";
    QTest::newRow("no folder") << "photo.jpg" << "" << "photo.jpg" << "jpg";
    QTest::newRow("doubled separator") << "/pics//photo.jpg" << "/pics" << "photo.jpg" << "jpg";
    QTest::newRow("Japanese") << "/写真/夏.jpe" << "/写真" << "夏.jpe" << "jpe";
    QTest::newRow("backslash is a name character") << "/pics/a\\b.jpg" << "/pics" << "a\\b.jpg" << "jpg";
    QTest::newRow("empty") << "" << "" << "" << "";
}

void tst_PathSplitter::parts()
{
    // A path splits into its folder (no trailing separator), its file name and the extension after the name's last dot.
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QCOMPARE(PathSplitter::FolderPart(path), folder);
    QCOMPARE(PathSplitter::FileNamePart(path), name);
    QCOMPARE(PathSplitter::ExtensionPart(path), extension);
}

QTEST_APPLESS_MAIN(tst_PathSplitter)
#include "tst_pathsplitter.moc"
