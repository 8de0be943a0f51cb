// The catalogue as a whole, driven through the main window's commands: the save question
// and the modified indicator, opening, optimising and deleting pictures.

#include "frmLumo.h"
#include "lumodriver.h"
#include "outside/recordingshell.h"
#include "outside/scripteddialogs.h"

#include "catalogue/catalogue.h"
#include "catalogue/sigbox.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QLabel>
#include <QRandomGenerator>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include <sys/stat.h>

#include <functional>
#include <memory>

namespace {
const QString SaveQuestion = QStringLiteral("現在のファイルを保存しますか？");
const QString SaveError = QStringLiteral("保存中にエラーが発生しました");
const QString DeleteQuestion = QStringLiteral("リストから削除します。実際のファイルも削除しますか？");
const QChar Nul(0);
enum { Yes = DialogService::Yes, No = DialogService::No, Cancel = DialogService::Cancel };

QString files(int n) { return QString::number(n) + QStringLiteral("個のファイル"); }
} // namespace

class tst_catalogue : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home; // settings and trash of this run
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;

    frmLumo &window() { return lumo.window(); }
    QTreeView *list() { return lumo.list(); }
    QString panel(const char *key) { return lumo.panel(key); }
    bool saveLit() { return lumo.saveLit(); }
    void run(const char *item) { lumo.run(item); }
    QString path(const QString &name) { return m_dir->filePath(name); }

    // n picture files p0.jpg.. on disk (their content is never read here).
    QStringList pictures(int n) { return LumoDriver::placeholderPictures(m_dir->path(), n); }
    // n real pictures j0.jpg.. of different colours.
    QStringList jpegs(int n)
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
    // Runs `act` once, in the first turn of the event loop (a command's yield) in which
    // `moment` holds; never after the window has gone.
    void when(std::function<bool()> moment, std::function<void()> act)
    {
        auto *watch = new QTimer(&window());
        connect(watch, &QTimer::timeout, this, [watch, moment, act] {
            if (!moment())
                return;
            watch->stop();
            watch->deleteLater();
            act();
        });
        watch->start(0);
    }
    void drop(const QString &file) { lumo.drop(QStringList{file}); }
    // Opens a catalogue of the given paths as the command line would.
    QString openCatalogue(const QStringList &paths, const QString &name = QStringLiteral("c.sbx"))
    {
        const QString file = path(name);
        LumoDriver::writeCatalogueFile(file, paths);
        window().openCommandLine(file);
        return file;
    }
    QStringList storeNames() { return lumo.storeNames(); }
    QStringList rowKeys() { return lumo.rowKeys(); }
    // Makes the open catalogue modified by deleting its first row from the catalogue only.
    void modify()
    {
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(No);
        list()->clearSelection();
        lumo.selectRow(0);
        window().DeleteJepg();
        QVERIFY(window().isModified());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup() { lumo.reset(); }

    void saveQuestion_data()
    {
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QString>("saveAs"); // "" cancels the save dialog
        QTest::addColumn<bool>("goesOn");
        QTest::newRow("yes, name without extension") << QList<int>{Yes} << "kept" << true;
        QTest::newRow("no") << QList<int>{No} << "" << true;
        QTest::newRow("cancel") << QList<int>{Cancel} << "" << false;
        QTest::newRow("yes, dialog cancelled") << QList<int>{Yes} << "" << false;
    }
    void saveQuestion()
    {
        // "新規" goes on only after Yes with a file chosen (saved under exactly that name) or No.
        QFETCH(QList<int>, answers);
        QFETCH(QString, saveAs);
        QFETCH(bool, goesOn);
        openCatalogue(pictures(3));
        modify();
        ScriptedDialogs dialogs;
        dialogs.answers.append(answers);
        dialogs.files.enqueue(saveAs.isEmpty() ? QString() : path(saveAs));
        run("mnuF0");
        QCOMPARE(dialogs.messages(), QStringList{SaveQuestion});
        QCOMPARE(dialogs.asked.first().style, 67);
        QCOMPARE(list()->model()->rowCount(), goesOn ? 0 : 2);
        QCOMPARE(window().isModified(), !goesOn);
        QCOMPARE(saveLit(), !goesOn);
        QCOMPARE(panel("Info"), QString());
        QCOMPARE(LumoDriver::catalogueNames(path(QStringLiteral("kept"))).size(), saveAs.isEmpty() ? 1 : 2);
    }

    void unmodifiedCatalogueAsksNothing()
    {
        // Without unsaved changes "開く" goes straight to the open dialog.
        openCatalogue(pictures(1));
        ScriptedDialogs dialogs;
        run("mnuF1");
        QCOMPARE(dialogs.asked.size(), 1);
        QCOMPARE(dialogs.asked.first().kind, QStringLiteral("ShowFileDialog"));
        QCOMPARE(dialogs.asked.first().mode, int(DialogService::Open));
        QCOMPARE(dialogs.asked.first().dialog.filter, QStringLiteral("*.sbx|*.sbx"));
        QCOMPARE(list()->model()->rowCount(), 1); // the dialog was cancelled
    }

    void failedSaveKeepsIndicatorAndOldFile()
    {
        // A save that cannot be written (its folder is a regular file, which stops root too)
        // is reported, keeps the indicator on and leaves the catalogue file as it was.
        const QString file = openCatalogue(pictures(3));
        const QByteArray before = LumoDriver::bytes(file);
        modify();
        ScriptedDialogs dialogs;
        dialogs.files.enqueue(path(QStringLiteral("p0.jpg/c.sbx")));
        run("mnuF3");
        QCOMPARE(dialogs.messages(), QStringList{SaveError});
        QCOMPARE(dialogs.asked.last().style, 48);
        QCOMPARE(dialogs.asked.first().dialog.fileName, file); // offered its own name
        QCOMPARE(panel("Info"), SaveError);
        QVERIFY(window().isModified());
        QVERIFY(saveLit());
        QVERIFY(window().windowTitle().contains(QStringLiteral("[*]")) && window().isWindowModified());
        QCOMPARE(window().catalogueName(), file);
        QCOMPARE(LumoDriver::bytes(file), before);
    }

    void openShowsProgressEveryHundred()
    {
        // Opening 250 entries shows 0, 100 and 200 while filling and the total at the end.
        const QString file = path(QStringLiteral("big.sbx"));
        LumoDriver::writeCatalogueFile(file, pictures(250));
        QStringList seen;
        QTimer watch;
        connect(&watch, &QTimer::timeout, this, [&] {
            if (seen.value(seen.size() - 1) != panel("FileCount"))
                seen << panel("FileCount");
        });
        watch.start(0);
        ScriptedDialogs dialogs;
        dialogs.files.enqueue(file);
        run("mnuF1");
        watch.stop();
        seen.removeAll(QString());
        QCOMPARE(seen, (QStringList{"0", "100", "200"}));
        QCOMPARE(panel("FileCount"), files(250));
        QCOMPARE(panel("Info"), QStringLiteral("読込完了"));
        QCOMPARE(window().catalogueName(), file);
        QCOMPARE(list()->model()->rowCount(), 250);
        QVERIFY(!window().isModified());
    }

    void openEmptyCatalogue()
    {
        // A catalogue of no entries opens without complaint.
        ScriptedDialogs dialogs;
        openCatalogue({});
        QVERIFY(dialogs.asked.isEmpty());
        QCOMPARE(panel("Info"), QStringLiteral("読込完了"));
        QCOMPARE(panel("FileCount"), files(0));
    }

    void openUnreadableCatalogue_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("folder") << "folder";
    }
    void openUnreadableCatalogue()
    {
        // A catalogue that cannot be read is reported and leaves an empty list under its name;
        // a FIFO with no writer is refused at once rather than waited on.
        QFETCH(QString, kind);
        ScriptedDialogs dialogs;
        const QString file = path(QStringLiteral("nowhere.sbx"));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        else if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkpath(file));
        window().openCommandLine(file);
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("読込中にエラーが発生しました")});
        QCOMPARE(dialogs.asked.first().style, 48);
        QCOMPARE(panel("Info"), QStringLiteral("読込中にエラーが発生しました"));
        QCOMPARE(window().catalogueName(), file);
        QCOMPARE(list()->model()->rowCount(), 0);
    }

    void missingPictureIsMarked()
    {
        // A picture gone from disk keeps its row and key, marked "(None)" with size 0.
        QStringList paths = pictures(2);
        paths << path(QStringLiteral("gone.jpg"));
        openCatalogue(paths);
        QCOMPARE(rowKeys(), paths);
        const auto text = [this](int row, int column) { return list()->model()->index(row, column).data().toString(); };
        const auto icon = [this](int row) {
            return qvariant_cast<QIcon>(list()->model()->index(row, 0).data(Qt::DecorationRole)).cacheKey();
        };
        QCOMPARE(text(2, 0), QStringLiteral("gone.jpg"));
        QCOMPARE(text(2, 1), QStringLiteral("(None)"));
        QCOMPARE(text(2, 2), QStringLiteral("(None)"));
        QCOMPARE(text(2, 3), QString(12, QLatin1Char(' ')) + QLatin1Char('0'));
        QCOMPARE(text(0, 1), m_dir->path());
        QCOMPARE(text(0, 3), QString(12, QLatin1Char(' ')) + QLatin1Char('7'));
        QVERIFY(icon(2) != icon(0));
        QCOMPARE(icon(1), icon(0));
    }

    void commandLineQuotes_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("both") << "\"" << "\"";
        QTest::newRow("leading only") << "\"" << "";
        QTest::newRow("trailing only") << "" << "\"";
        QTest::newRow("none") << "" << "";
    }
    void commandLineQuotes()
    {
        // One leading and one trailing quote are dropped from the command line, each alone.
        QFETCH(QString, before);
        QFETCH(QString, after);
        const QString file = path(QStringLiteral("my pictures.sbx"));
        LumoDriver::writeCatalogueFile(file, pictures(2));
        ScriptedDialogs dialogs;
        window().openCommandLine(before + file + after);
        QVERIFY(dialogs.asked.isEmpty());
        QCOMPARE(window().catalogueName(), file);
        QCOMPARE(list()->model()->rowCount(), 2);
    }

    void optimiseDropsMissingEntries()
    {
        // Optimising 5 entries whose pictures 1 and 3 are gone writes and shows 0, 2 and 4.
        const QStringList paths = pictures(5);
        const QString file = openCatalogue(paths);
        QFile::remove(paths[1]);
        QFile::remove(paths[3]);
        ScriptedDialogs dialogs;
        run("mnuL5");
        QVERIFY(dialogs.asked.isEmpty());
        const QStringList kept{paths[0], paths[2], paths[4]};
        QCOMPARE(LumoDriver::catalogueNames(file), kept);
        QCOMPARE(rowKeys(), kept);
        QCOMPARE(storeNames(), kept);
        QCOMPARE(panel("FileCount"), files(3));
        QCOMPARE(panel("Info"), QStringLiteral("読込完了"));
        QVERIFY(!window().isModified());
    }

    void optimiseAfterDecliningToSave()
    {
        // Answering No still writes the optimised catalogue, unsaved deletion included.
        const QStringList paths = pictures(3);
        const QString file = openCatalogue(paths);
        modify();
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(No);
        run("mnuL5");
        QCOMPARE(dialogs.messages(), QStringList{SaveQuestion});
        QCOMPARE(LumoDriver::catalogueNames(file), paths.mid(1));
        QCOMPARE(rowKeys(), paths.mid(1));
    }

    void optimiseCancelledChangesNothing()
    {
        // Cancelling the save question leaves catalogue and file untouched.
        const QStringList paths = pictures(3);
        const QString file = openCatalogue(paths);
        modify();
        QFile::remove(paths[2]);
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(Cancel);
        run("mnuL5");
        QCOMPARE(LumoDriver::catalogueNames(file), paths);
        QCOMPARE(storeNames(), paths.mid(1));
        QVERIFY(window().isModified());
    }

    void optimiseThatCannotWrite_data()
    {
        QTest::addColumn<bool>("named");
        QTest::newRow("never saved") << false;
        QTest::newRow("folder gone") << true;
    }
    void optimiseThatCannotWrite()
    {
        // When the cleaned catalogue cannot be written it is reported and kept in memory,
        // list and store alike and marked unsaved, instead of reading an older file again.
        QFETCH(bool, named);
        QStringList paths = pictures(3);
        ScriptedDialogs dialogs;
        if (named) {
            QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
            openCatalogue(paths, QStringLiteral("sub/c.sbx"));
            QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("sub"), QStringLiteral("moved")));
        } else {
            // Real pictures added by dialog to a catalogue never saved; No to saving it.
            for (int i = 0; i < 3; ++i) {
                QImage picture(8, 8, QImage::Format_RGB32);
                picture.fill(QColor::fromHsv(i * 100, 255, 255));
                QVERIFY(picture.save(paths[i], "JPEG"));
            }
            dialogs.files.enqueue(CommonDialog::resultFor(paths));
            run("mnuL2");
            dialogs.answers.enqueue(No);
            dialogs.asked.clear();
        }
        QFile::remove(paths[1]);
        run("mnuL5");
        QCOMPARE(dialogs.messages().last(), SaveError);
        QCOMPARE(dialogs.asked.last().style, 48);
        QVERIFY(dialogs.calls(QStringLiteral("ShowFileDialog")).isEmpty());
        const QStringList kept{paths[0], paths[2]};
        QCOMPARE(storeNames(), kept);
        QCOMPARE(rowKeys(), kept);
        QVERIFY(window().isModified());
        QCOMPARE(panel("Info"), SaveError);
        QCOMPARE(panel("FileCount"), files(2));
        if (named)
            QCOMPARE(LumoDriver::catalogueNames(path(QStringLiteral("moved/c.sbx"))), paths);
    }

    void commandInsideCommand_data()
    {
        QTest::addColumn<QString>("running"); // "open" 250 entries, "add" 4 chosen files
        QTest::addColumn<QString>("moment");  // "pause" after 読込中..., "fill100", "fill200", "picture2"
        QTest::addColumn<QString>("act");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QStringList>("messages"); // answered No, or OK
        const QStringList none;
        QTest::newRow("Ctrl+N in the pause") << "open" << "pause" << "Ctrl+N" << 250 << none;
        QTest::newRow("Ctrl+N while filling") << "open" << "fill100" << "Ctrl+N" << 250 << none;
        QTest::newRow("Esc, then Ctrl+N") << "open" << "fill100" << "Esc Ctrl+N" << 250 << none;
        QTest::newRow("新規 from the menu") << "open" << "fill100" << "mnuF0" << 250 << none;
        QTest::newRow("Ctrl+O, smaller catalogue") << "open" << "fill100" << "Ctrl+O" << 250 << none;
        QTest::newRow("Del, a row selected") << "open" << "fill100" << "Del" << 250 << none;
        QTest::newRow("drop") << "open" << "fill100" << "drop" << 250 << none;
        QTest::newRow("DeleteJepg from another window") << "open" << "fill100" << "DeleteJepg" << 249
                                                        << QStringList{DeleteQuestion};
        QTest::newRow("最適化 in the pause") << "open" << "pause" << "mnuL5" << 250 << none;
        QTest::newRow("最適化, pictures missing") << "open" << "fill200" << "mnuL5" << 200 << none;
        QTest::newRow("Ctrl+A during an add") << "add" << "picture2" << "Ctrl+A" << 4 << none;
        QTest::newRow("Ctrl+O during an add") << "add" << "picture2" << "Ctrl+O" << 4 << none;
        QTest::newRow("最適化 during an add") << "add" << "picture2" << "mnuL5" << 3
                                             << QStringList{QStringLiteral("追加中止"), SaveQuestion};
    }
    void commandInsideCommand()
    {
        // A command chosen while another one runs never runs inside its loop: the items
        // with a tool-bar button do nothing, "最適化" stops the command and runs after it.
        QFETCH(QString, running);
        QFETCH(QString, moment);
        QFETCH(QString, act);
        QFETCH(int, rows);
        QFETCH(QStringList, messages);
        ScriptedDialogs dialogs;
        const QString smaller = path(QStringLiteral("small.sbx"));
        LumoDriver::writeCatalogueFile(smaller, pictures(1));
        QStringList entries;
        QString file;
        if (running == QLatin1String("open")) {
            entries = pictures(250);
            file = path(QStringLiteral("c.sbx"));
            LumoDriver::writeCatalogueFile(file, entries);
            if (moment == QLatin1String("fill200")) {
                for (int i = 0; i < 250; i += 5)
                    QFile::remove(entries[i]);
            }
            dialogs.files.enqueue(file);
        } else {
            file = openCatalogue({}, QStringLiteral("c.sbx"));
            entries = jpegs(4);
            dialogs.files.enqueue(CommonDialog::resultFor(entries));
        }
        dialogs.files.enqueue(smaller); // for a second open or add, should one start
        dialogs.onAsk = [&dialogs](const ScriptedDialogs::Call &call) {
            dialogs.answers.enqueue(DialogService::buttonsOf(call.style) == 0 ? int(DialogService::Ok) : int(No));
        };
        const QByteArray before = LumoDriver::bytes(file);

        when([&] {
            if (moment == QLatin1String("pause"))
                return panel("Info") == QStringLiteral("読込中...");
            if (moment.startsWith(QLatin1String("fill")))
                return panel("FileCount") == moment.mid(4);
            return list()->model()->rowCount() == 2;
        }, [&] {
            if (list()->model()->rowCount() > 0)
                lumo.selectRow(0);
            const QStringList keys = act.split(QLatin1Char(' '));
            for (const QString &key : keys) {
                if (key == QLatin1String("drop"))
                    drop(jpegs(1).first());
                else if (key == QLatin1String("DeleteJepg"))
                    window().DeleteJepg();
                else if (key.startsWith(QLatin1String("mnu")))
                    run(qPrintable(key));
                else
                    QTest::keySequence(list(), QKeySequence(key));
            }
        });
        run(running == QLatin1String("open") ? "mnuF1" : "mnuL2");
        QCoreApplication::processEvents(); // what was queued to run after the command

        QCOMPARE(dialogs.messages(), messages);
        QCOMPARE(dialogs.calls(QStringLiteral("ShowFileDialog")).size(), 1);
        QCOMPARE(list()->model()->rowCount(), rows);
        QCOMPARE(window().store()->DataCount(), rows);
        QCOMPARE(window().catalogueName(), file);
        QVERIFY(!window().isRunning());
        if (act == QLatin1String("mnuL5")) // rewritten by the "最適化" that ran after the command
            QCOMPARE(LumoDriver::catalogueNames(file), storeNames());
        else
            QCOMPARE(LumoDriver::bytes(file), before);
    }

    void notACatalogueIsNeverWritten_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text") << QByteArray("# Lumo\n\nFinds look-alike JPEG pictures.\n").repeated(100);
        QBuffer jpeg;
        jpeg.open(QIODevice::WriteOnly);
        QImage(16, 16, QImage::Format_RGB32).save(&jpeg, "JPEG");
        QTest::newRow("JPEG") << jpeg.data();
        QByteArray noise(64, '\0');
        QRandomGenerator random(8);
        for (char &byte : noise)
            byte = char(random.bounded(256));
        noise[1] = char(noise[1] & 0x7f); // a positive count, so only the cells tell
        QTest::newRow("64 random bytes") << noise;
    }
    void notACatalogueIsNeverWritten()
    {
        // A file that is not a catalogue fails to open with no rows; neither "最適化" nor
        // "保存" writes it, for the save dialog no longer offers its name.
        QFETCH(QByteArray, bytes);
        const QString file = path(QStringLiteral("not.sbx"));
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
        out.close();
        ScriptedDialogs dialogs;
        window().openCommandLine(file);
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("読込中にエラーが発生しました")});
        QCOMPARE(list()->model()->rowCount(), 0);
        run("mnuL5");
        run("mnuF3");
        const QList<ScriptedDialogs::Call> saves = dialogs.calls(QStringLiteral("ShowFileDialog"));
        QCOMPARE(saves.size(), 1);
        QCOMPARE(saves.first().dialog.fileName, QString());
        QCOMPARE(LumoDriver::bytes(file), bytes);
        QCOMPARE(list()->model()->rowCount(), window().store()->DataCount());
    }

    void optimiseKeepsPicturesWhoseFolderIsAway()
    {
        // Pictures whose folder is missing altogether (a disk not mounted) keep their entries
        // through "最適化"; a picture gone from a folder that is there still goes.
        QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("disk")));
        QStringList paths = pictures(2);
        for (const char *name : {"disk/a.jpg", "disk/b.jpg"}) {
            paths << path(QLatin1String(name));
            QFile picture(paths.last());
            QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write("picture") == 7);
        }
        const QString file = openCatalogue(paths);
        QVERIFY(QDir(m_dir->path()).rename(QStringLiteral("disk"), QStringLiteral("away")));
        QFile::remove(paths[1]);
        ScriptedDialogs dialogs;
        run("mnuL5");
        const QStringList kept{paths[0], paths[2], paths[3]};
        QCOMPARE(LumoDriver::catalogueNames(file), kept);
        QCOMPARE(rowKeys(), kept);
        QCOMPARE(storeNames(), kept);
        QCOMPARE(list()->model()->index(2, 1).data().toString(), QStringLiteral("(None)"));
    }

    void deleteRows_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("catalogue only") << int(No);
        QTest::newRow("files too") << int(Yes);
    }
    void deleteRows()
    {
        // Rows 2 and 5 of 6 leave list and store, last first; with Yes their files go to
        // the trash in that order.
        QFETCH(int, answer);
        const QStringList paths = pictures(6);
        openCatalogue(paths);
        lumo.selectRow(1);
        lumo.selectRow(4);
        RecordingShell shell;
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(answer);
        run("mnuL3");
        QCOMPARE(dialogs.messages(), QStringList{DeleteQuestion});
        QCOMPARE(dialogs.asked.first().style, 323);
        const QStringList kept{paths[0], paths[2], paths[3], paths[5]};
        QCOMPARE(rowKeys(), kept);
        QCOMPARE(storeNames(), kept);
        QVERIFY(window().isModified());
        QCOMPARE(panel("Info"), QStringLiteral("削除完了"));
        QCOMPARE(panel("FileCount"), files(4));
        const bool gone = answer == Yes;
        QCOMPARE(shell.removals, gone ? QStringList{paths[4] + Nul + paths[1] + Nul + Nul} : QStringList{});
        QCOMPARE(QFile::exists(paths[1]), !gone);
        QCOMPARE(QFile::exists(paths[4]), !gone);
        const QString trash = m_home.trash() + QLatin1Char('/');
        QCOMPARE(QFile::exists(trash + QStringLiteral("p4.jpg")), gone);
    }

    void deleteWhileTheListIsSorted()
    {
        // The pictures are matched while the window serves events, and the list may be
        // sorted meanwhile (here while the trash moves the files): the pictures chosen leave,
        // not the rows that now stand where they stood.
        const QStringList paths = pictures(6);
        openCatalogue(paths);
        lumo.selectRow(0);
        lumo.selectRow(2);
        struct SortingShell : RecordingShell {
            std::function<void()> during;
            bool onWindowThread = false;
            QStringList removeFiles(const QString &nulList, int option, QWidget *owner) override
            {
                onWindowThread = QThread::currentThread() == qApp->thread();
                during();
                return RecordingShell::removeFiles(nulList, option, owner);
            }
        } shell;
        QHeaderView *header = list()->header();
        shell.during = [&] {
            // Name descending: p5 .. p0, so that rows 0 and 2 hold other pictures.
            while (rowKeys().first() != paths.last())
                emit header->sectionClicked(0);
        };
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(Yes);
        run("mnuL3");
        QVERIFY(shell.onWindowThread);
        QCOMPARE(shell.removals, QStringList{paths[2] + Nul + paths[0] + Nul + Nul});
        QCOMPARE(rowKeys(), (QStringList{paths[5], paths[4], paths[3], paths[1]}));
        QCOMPARE(storeNames(), (QStringList{paths[1], paths[3], paths[4], paths[5]}));
        QVERIFY(!list()->selectionModel()->hasSelection());
        QCOMPARE(panel("Info"), QStringLiteral("削除完了"));
    }

    void deleteSortedBetweenItsSteps_data()
    {
        // The window serves events between the deletion's steps: the list sorted at the
        // n-th turn of them, or at the first turn after the selection was cleared.
        QTest::addColumn<int>("turn");
        QTest::addColumn<bool>("afterClearing");
        for (int turn : {1, 2, 3})
            QTest::addRow("turn %d", turn) << turn << false;
        QTest::newRow("the selection cleared") << 1 << true;
    }
    void deleteSortedBetweenItsSteps()
    {
        // Wherever the sort falls, the pictures chosen leave, and the one whose file the
        // trash kept stays, selected.
        QFETCH(int, turn);
        QFETCH(bool, afterClearing);
        const QStringList paths = pictures(6);
        openCatalogue(paths);
        for (int row : {0, 2, 3})
            lumo.selectRow(row);
        struct KeepingShell : RecordingShell {
            QString kept;
            QStringList removeFiles(const QString &nulList, int option, QWidget *owner) override
            {
                RecordingShell::removeFiles(nulList, option, owner);
                return {kept};
            }
        } shell;
        shell.kept = paths[3];
        QHeaderView *header = list()->header();
        QTimer turns;
        turns.setInterval(0);
        int served = 0;
        connect(&turns, &QTimer::timeout, this, [&] {
            if (++served == turn) {
                while (rowKeys().first() != paths.last())
                    emit header->sectionClicked(0);
            }
        });
        if (afterClearing) {
            connect(list()->selectionModel(), &QItemSelectionModel::selectionChanged, &turns, [&] {
                if (!list()->selectionModel()->hasSelection() && !turns.isActive())
                    turns.start();
            });
        } else {
            turns.start();
        }
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(Yes);
        run("mnuL3");
        turns.stop();
        QVERIFY(served >= turn); // sorted while the deletion ran
        QCOMPARE(rowKeys(), (QStringList{paths[5], paths[4], paths[3], paths[1]}));
        QCOMPARE(storeNames(), (QStringList{paths[1], paths[3], paths[4], paths[5]}));
        QStringList selected;
        for (const QModelIndex &row : list()->selectionModel()->selectedRows())
            selected << row.data(Qt::UserRole).toString();
        QCOMPARE(selected, QStringList{paths[3]});
        QCOMPARE(panel("Info"), QStringLiteral("削除を終了しました（1個の画像は残っています）"));
    }

    void deleteStoppedHalfWay()
    {
        // Many files of one name, each in its folder, go to the trash under a progress dialog;
        // its 中止 ends the moves between two files: the pictures moved leave list and store,
        // every other keeps its row, its entry and its file, and nothing is said of them.
        constexpr int n = 3000;
        m_home.emptyTrash(); // of the rows before
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            paths << path(QStringLiteral("%1/IMG.jpg").arg(i));
            QVERIFY(QDir().mkpath(QFileInfo(paths.last()).path()));
            LumoDriver::writeBytes(paths.last(), "picture");
        }
        openCatalogue(paths);
        list()->selectAll();
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(Yes);
        const auto progress = [] {
            for (QWidget *widget : QApplication::allWidgets()) {
                if (auto *dialog = qobject_cast<QProgressDialog *>(widget))
                    return dialog;
            }
            return static_cast<QProgressDialog *>(nullptr);
        };
        bool stopped = false;
        when([&] { return progress() && progress()->value() >= n / 20; },
             [&] {
                 stopped = true;
                 const QList<QPushButton *> buttons = progress()->findChildren<QPushButton *>();
                 QCOMPARE(buttons.size(), 1);
                 QCOMPARE(buttons.first()->text(), QStringLiteral("中止"));
                 buttons.first()->click();
             });
        run("mnuL3");
        QVERIFY(stopped);

        QStringList stay;
        for (const QString &file : paths) {
            if (QFile::exists(file))
                stay << file;
        }
        QVERIFY2(!stay.isEmpty() && stay.size() < n, qPrintable(QString::number(stay.size())));
        QCOMPARE(rowKeys(), stay);
        QCOMPARE(storeNames(), stay);
        QCOMPARE(QDir(m_home.trash()).entryList(QDir::Files).size(), n - stay.size());
        QCOMPARE(dialogs.messages(), QStringList{DeleteQuestion});
        QVERIFY(window().isModified());
        QCOMPARE(panel("Info"), QStringLiteral("削除を終了しました（%1個の画像は残っています）").arg(stay.size()));
        m_home.emptyTrash();
    }

    void deleteWithoutSelection()
    {
        // With no row selected, Yes removes nothing, hands over an empty list and still
        // marks the catalogue modified.
        openCatalogue(pictures(2));
        RecordingShell shell;
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(Yes);
        window().DeleteJepg();
        QCOMPARE(list()->model()->rowCount(), 2);
        QCOMPARE(shell.removals, QStringList{QString(Nul)});
        QVERIFY(window().isModified());
    }

    void deleteCancelled()
    {
        // Cancel removes nothing and leaves the status empty.
        openCatalogue(pictures(2));
        lumo.selectRow(0);
        ScriptedDialogs dialogs;
        window().DeleteJepg(); // no scripted answer: the box is closed, Cancel
        QCOMPARE(list()->model()->rowCount(), 2);
        QCOMPARE(window().store()->DataCount(), 2);
        QVERIFY(!window().isModified());
        QCOMPARE(panel("Info"), QString());
    }

    void deleteDuplicateRemovesEveryEntry()
    {
        // Two entries of one path share a row; deleting it removes both, as lumo-cli's remove does.
        const QStringList paths = pictures(2);
        openCatalogue({paths[0], paths[1], paths[0]});
        QCOMPARE(list()->model()->rowCount(), 2);
        lumo.selectRow(0);
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(No);
        window().DeleteJepg();
        QCOMPARE(rowKeys(), QStringList{paths[1]});
        QCOMPARE(storeNames(), QStringList{paths[1]});
    }
};

QTEST_MAIN(tst_catalogue)
#include "tst_catalogue.moc"
