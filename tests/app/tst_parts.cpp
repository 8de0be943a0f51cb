// A catalogue of more pictures than one file holds, through the main window's commands:
// after adding past the limit, opening any of its files, saving after changes, deleting
// across files, optimising and a second start, lumo-cli reads from the files on disk
// exactly the pictures the window holds, in its order.

#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include "catalogue/catalogueset.h"

#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {
constexpr int Full = CatalogueSet::PartEntries;
const QString WentOn = QStringLiteral("追加完了（32767個を超えた分は次のカタログファイルに保存します）");

// What `lumo-cli list` prints for the files of the series, path by path.
QStringList cliList(const QString &first)
{
    QProcess cli;
    cli.start(QStringLiteral(LUMO_CLI_PATH), QStringList{QStringLiteral("list"), QStringLiteral("-0")}
                                                 + catalogueSeries(first));
    if (!cli.waitForFinished(60000) || cli.exitCode() != 0)
        return {QStringLiteral("<lumo-cli failed: %1>").arg(QString::fromUtf8(cli.readAllStandardError()))};
    QStringList paths = QString::fromUtf8(cli.readAllStandardOutput()).split(QChar(0));
    paths.removeLast(); // after the last NUL
    return paths;
}
} // namespace

class tst_parts;
using Operation = std::function<void(tst_parts *)>;
Q_DECLARE_METATYPE(Operation)

class tst_parts : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;
    ScriptedDialogs *m_dialogs = nullptr;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QString first() const { return path(QStringLiteral("photos.sbx")); }
    QString second() const { return path(QStringLiteral("photos-2.sbx")); }
    // Entries p0.jpg.. in the test folder, whose files are not there.
    QStringList names(int from, int n) const
    {
        QStringList list;
        for (int i = from; i < from + n; ++i)
            list << path(QStringLiteral("p%1.jpg").arg(i));
        return list;
    }
    QStringList jpegs(int n) const
    {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            QImage picture(8, 8, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 50, 255, 255));
            paths << path(QStringLiteral("j%1.jpg").arg(i));
            if (!picture.save(paths.last(), "JPEG"))
                qFatal("cannot write %s", qPrintable(paths.last()));
        }
        return paths;
    }
    // photos.sbx full and photos-2.sbx with `more` entries.
    void writeSeries(int more)
    {
        LumoDriver::writeCatalogueFile(first(), names(0, Full));
        if (more > 0)
            LumoDriver::writeCatalogueFile(second(), names(Full, more));
    }
    void save()
    {
        m_dialogs->files.enqueue(first());
        lumo.run("mnuF3");
        QCOMPARE(lumo.panel("Info"), QStringLiteral("保存完了"));
    }
    void deleteKeys(const QStringList &keys)
    {
        lumo.select(keys);
        m_dialogs->answers.enqueue(DialogService::No);
        lumo.run("mnuL3");
        QCOMPARE(lumo.panel("Info"), QStringLiteral("削除完了"));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_dialogs = new ScriptedDialogs;
    }
    void cleanup()
    {
        lumo.reset();
        delete m_dialogs;
        m_dialogs = nullptr;
        m_dir.reset();
    }

    void operations_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<int>("entries");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("fileName");

        QTest::newRow("add past the limit") << Operation([](tst_parts *t) {
            t->writeSeries(0);
            t->lumo.window().openCommandLine(t->first());
            const QStringList fresh = t->jpegs(2);
            t->m_dialogs->files.enqueue(t->m_dir->path() + QChar(0) + QStringLiteral("j0.jpg") + QChar(0)
                                        + QStringLiteral("j1.jpg"));
            t->lumo.run("Add");
            QCOMPARE(t->lumo.panel("Info"), WentOn);
            QVERIFY(t->m_dialogs->messages().isEmpty());
            QCOMPARE(t->lumo.panel("FileName"), t->first() + QStringLiteral("（全2ファイル）"));
            QCOMPARE(t->lumo.storeNames().mid(Full), fresh);
            t->save();
        }) << Full + 2 << 2 << QStringLiteral("（全2ファイル）");
        QTest::newRow("open any part") << Operation([](tst_parts *t) {
            t->writeSeries(3);
            t->lumo.window().openCommandLine(t->second());
            QCOMPARE(t->lumo.panel("Info"), QStringLiteral("読込完了"));
        }) << Full + 3 << 2 << QStringLiteral("（全2ファイル）");
        QTest::newRow("save after changes") << Operation([](tst_parts *t) {
            t->writeSeries(3);
            t->lumo.window().openCommandLine(t->first());
            const QByteArray unchanged = LumoDriver::bytes(t->first());
            t->deleteKeys(t->names(Full + 1, 1));
            t->save();
            QVERIFY(LumoDriver::bytes(t->first()) == unchanged);
        }) << Full + 2 << 2 << QStringLiteral("（全2ファイル）");
        QTest::newRow("delete across parts") << Operation([](tst_parts *t) {
            t->writeSeries(3);
            t->lumo.window().openCommandLine(t->first());
            t->deleteKeys(t->names(5, 1) + t->names(Full, 1) + t->names(Full + 2, 1));
            t->save();
            QCOMPARE(LumoDriver::catalogueNames(t->second()), t->names(Full + 1, 1));
        }) << Full + 0 << 2 << QStringLiteral("（全2ファイル）");
        // Rows in thousands of runs leave the list in one pass: still each with its entry.
        QTest::newRow("delete scattered across parts") << Operation([](tst_parts *t) {
            t->writeSeries(3);
            t->lumo.window().openCommandLine(t->first());
            QStringList everySeventh;
            for (int i = 0; i < Full + 3; i += 7)
                everySeventh += t->names(i, 1);
            t->deleteKeys(everySeventh);
            QVERIFY(!t->lumo.list()->selectionModel()->hasSelection());
            t->save();
        }) << Full + 3 - (Full + 3 + 6) / 7 << 2 << QStringLiteral("（全2ファイル）");
        QTest::newRow("optimise") << Operation([](tst_parts *t) {
            t->writeSeries(3);
            // Two pictures of the first file and one of the second are there; the rest go.
            for (const QString &kept : t->names(7, 1) + t->names(Full - 1, 1) + t->names(Full + 1, 1))
                LumoDriver::writeBytes(kept, "picture");
            t->lumo.window().openCommandLine(t->first());
            t->lumo.run("mnuL5");
            QCOMPARE(t->lumo.panel("Info"), QStringLiteral("読込完了"));
            QVERIFY(!QFileInfo::exists(t->second()));
            QCOMPARE(t->lumo.storeNames(), t->names(7, 1) + t->names(Full - 1, 1) + t->names(Full + 1, 1));
        }) << 3 << 1 << QString();
        QTest::newRow("second start") << Operation([](tst_parts *t) {
            t->writeSeries(3);
            t->lumo.window().openHandedOver(t->second());
            QCOMPARE(t->lumo.panel("Info"), QStringLiteral("読込完了"));
        }) << Full + 3 << 2 << QStringLiteral("（全2ファイル）");
    }

    void operations()
    {
        QFETCH(Operation, operation);
        QFETCH(int, entries);
        QFETCH(int, files);
        QFETCH(QString, fileName);
        operation(this);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(lumo.window().store()->DataCount(), entries);
        QCOMPARE(catalogueSeries(first()).size(), files);
        QCOMPARE(lumo.panel("FileName"), first() + fileName);
        const QStringList held = lumo.storeNames();
        QCOMPARE(lumo.rowKeys(), held);
        QVERIFY2(cliList(first()) == held, "lumo-cli reads another collection");
        // Opened again, as after the next start: the same pictures.
        lumo.reset();
        lumo.window().openCommandLine(first());
        QVERIFY(lumo.storeNames() == held);
    }
};

QTEST_MAIN(tst_parts)
#include "tst_parts.moc"
