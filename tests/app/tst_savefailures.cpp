// Saving that fails, through every command that writes the catalogue: the disk is full, or
// the catalogue's folder went away after the catalogue was opened. The old file keeps its
// bytes, the catalogue stays in the window as unsaved, and the user is told.

#include "faults.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

namespace {
const QString SaveQuestion = QStringLiteral("現在のファイルを保存しますか？");
const QString SaveError = QStringLiteral("保存中にエラーが発生しました");
enum { Yes = DialogService::Yes, No = DialogService::No };
} // namespace

class tst_savefailures : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;

    QString path(const QString &name) const { return m_dir->filePath(name); }
    QStringList pictures(int n)
    {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            paths << path(QStringLiteral("p%1.jpg").arg(i));
            LumoDriver::writeBytes(paths.last(), "picture");
        }
        return paths;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
    }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { lumo.reset(); }

    void writeFails_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("保存, disk full") << "mnuF3" << "disk full" << QList<int>{} << QStringList{SaveError};
        QTest::newRow("保存, folder gone") << "mnuF3" << "folder gone" << QList<int>{} << QStringList{SaveError};
        QTest::newRow("新規, disk full") << "mnuF0" << "disk full" << QList<int>{Yes}
                                         << QStringList{SaveQuestion, SaveError};
        QTest::newRow("新規, folder gone") << "mnuF0" << "folder gone" << QList<int>{Yes}
                                           << QStringList{SaveQuestion, SaveError};
        QTest::newRow("close, disk full") << "close" << "disk full" << QList<int>{Yes}
                                          << QStringList{SaveQuestion, SaveError};
        QTest::newRow("最適化, disk full") << "mnuL5" << "disk full" << QList<int>{No}
                                           << QStringList{SaveQuestion, SaveError};
    }
    void writeFails()
    {
        // A catalogue that cannot be written, offered its own name, is reported (style 48)
        // and stays in the window as unsaved, list and store alike; its file keeps every
        // byte and no temporary file is left beside it.
        QFETCH(QString, command);
        QFETCH(QString, fault);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, messages);
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
        const QStringList paths = pictures(4);
        const QString file = path(QStringLiteral("sub/c.sbx"));
        lumo.openCatalogue(file, paths);
        const QByteArray before = LumoDriver::bytes(file);
        {
            // Deleted from the catalogue only: now it differs from its file.
            ScriptedDialogs dialogs;
            dialogs.answers.enqueue(No);
            lumo.select({paths[0]});
            lumo.window().DeleteJepg();
        }
        QFile::remove(paths[2]); // gone, so "最適化" has something to clean
        QStringList kept = paths.mid(1);
        if (command == QLatin1String("mnuL5"))
            kept.removeOne(paths[2]);

        ScriptedDialogs dialogs;
        dialogs.answers.append(answers);
        dialogs.files.enqueue(file);
        QString folder = path(QStringLiteral("sub"));
        if (fault == QLatin1String("folder gone")) {
            QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("sub"), QStringLiteral("moved")));
            folder = path(QStringLiteral("moved"));
        }
        {
            std::optional<faults::FileSizeLimit> full;
            if (fault == QLatin1String("disk full"))
                QVERIFY(full.emplace(0).isSet());
            if (command == QLatin1String("close"))
                lumo.window().close();
            else
                lumo.run(qPrintable(command));
        }

        QCOMPARE(dialogs.messages(), messages);
        QCOMPARE(dialogs.asked.last().style, 48);
        QVERIFY(lumo.window().isVisible());
        QCOMPARE(lumo.rowKeys(), kept);
        QCOMPARE(lumo.storeNames(), kept);
        QVERIFY(lumo.window().isModified());
        QVERIFY(lumo.saveLit());
        QCOMPARE(lumo.panel("Info"), SaveError);
        QCOMPARE(lumo.window().catalogueName(), file);
        QCOMPARE(LumoDriver::bytes(folder + QStringLiteral("/c.sbx")), before);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("c.sbx")});
        QVERIFY(!QFileInfo::exists(path(QStringLiteral("sub"))) || fault != QLatin1String("folder gone"));

        // Once the disk has room again (or the folder is back), the same command succeeds.
        if (fault == QLatin1String("folder gone"))
            QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("moved"), QStringLiteral("sub")));
        dialogs.files.enqueue(file);
        lumo.run("mnuF3");
        QVERIFY(!lumo.window().isModified());
        QCOMPARE(LumoDriver::catalogueNames(file), kept);
    }
};

QTEST_MAIN(tst_savefailures)
#include "tst_savefailures.moc"
