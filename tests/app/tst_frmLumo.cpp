// The main window as a user drives it: commands and their states, the close protocol,
// settings across runs, the catalogue list, and adding pictures by dialog, folder and drop.

#include "frmLumo.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include "catalogue/catalogue.h"
#include "pictures/picturesignature.h"
#include "catalogue/sigbox.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QRandomGenerator>
#include <QSettings>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTreeView>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace {
const QString Stop = QStringLiteral("実行中です。中止しますか");
const QString SaveQuestion = QStringLiteral("現在のファイルを保存しますか？");
const QString Aborted = QStringLiteral("追加中止");
const QString Done = QStringLiteral("追加完了");

// A JPEG of noise whose file grows with its side, so sizes sort predictably.
QString makeJpeg(const QString &folder, const QString &name, int side = 24, quint32 seed = 1)
{
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            image.setPixel(x, y, random.generate() | 0xff000000u);
    const QString path = folder + QLatin1Char('/') + name;
    if (!image.save(path, "JPEG"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void answer(ScriptedDialogs &dialogs, const QList<int> &answers)
{
    for (int a : answers)
        dialogs.answers.enqueue(a);
}

QByteArray catalogueBytes(const SignatureTable &table)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    writeCatalogue(out, table);
    return out.data();
}

QString appName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
} // namespace

class tst_frmLumo : public QObject
{
    Q_OBJECT

private:
    LumoDriver lumo;
    std::unique_ptr<QTemporaryDir> m_dir;

    frmLumo &window() { return lumo.window(); }
    QTreeView *list() { return lumo.list(); }
    QString panel(const char *key) { return lumo.panel(key); }
    bool saveLit() { return lumo.saveLit(); }
    QAction *action(const char *name) { return window().findChild<QAction *>(QLatin1String(name)); }
    QStringList enabledButtons()
    {
        QStringList on;
        for (const char *key : {"New", "Open", "Save", "Folder", "Add", "Del", "View", "Like", "List"})
            if (action(key)->isEnabled())
                on << QLatin1String(key);
        return on;
    }
    QStringList rowNames()
    {
        QStringList names;
        for (int i = 0; i < list()->model()->rowCount(); ++i)
            names << list()->model()->index(i, 0).data().toString();
        return names;
    }
    QString folder() { return m_dir->path(); }
    QStringList makeJpegs(int count)
    {
        QStringList paths;
        for (int i = 0; i < count; ++i)
            paths << makeJpeg(folder(), QStringLiteral("p%1.jpg").arg(i), 24, quint32(i + 1));
        return paths;
    }
    // Adds through the add-files dialog, as "追加(&A)" does.
    void addByDialog(ScriptedDialogs &dialogs, const QStringList &paths)
    {
        dialogs.files.enqueue(CommonDialog::resultFor(paths));
        action("mnuL2")->trigger();
    }
    // Adds the paths as `way` says: "dialog", "folder" (the test's folder, whatever the
    // paths) or "drop".
    void addBy(const QString &way, ScriptedDialogs &dialogs, const QStringList &paths)
    {
        if (way == QLatin1String("dialog")) {
            addByDialog(dialogs, paths);
        } else if (way == QLatin1String("folder")) {
            dialogs.folders.enqueue(folder());
            action("mnuL0")->trigger();
        } else {
            QMimeData data;
            QList<QUrl> urls;
            for (const QString &path : paths)
                urls << QUrl::fromLocalFile(path);
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(list()->viewport(), &enter);
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(list()->viewport(), &drop);
        }
    }
    // Rows of each way of adding with a pool of 1 thread and of several.
    static void waysAndPoolSizes(std::initializer_list<const char *> ways)
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("threads");
        for (const char *way : ways) {
            for (int threads : {1, 3})
                QTest::addRow("%s, %d threads", way, threads) << QString::fromLatin1(way) << threads;
        }
    }
    // Runs `act` once, queued from inside the add of the n-th picture (seen as its row
    // appearing): it happens in the yield that follows, as a key press or close request
    // would arrive while busy.
    void onPicture(int n, std::function<void()> act)
    {
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(list()->model(), &QAbstractItemModel::rowsInserted, this, [this, connection, n, act] {
            if (list()->model()->rowCount() == n) {
                disconnect(*connection);
                QMetaObject::invokeMethod(this, act, Qt::QueuedConnection);
            }
        });
    }
    QSettings storedSettings() { return QSettings(QSettings::NativeFormat, QSettings::UserScope, appName(), appName()); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }
    void init()
    {
        QSettings settings = storedSettings();
        settings.clear();
        settings.sync();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        if (lumo.isOpen()) {
            // Leave without questions whatever the test left behind.
            ScriptedDialogs dialogs;
            answer(dialogs, {DialogService::No, DialogService::No, DialogService::No});
            lumo.window().close();
            lumo.reset();
        }
    }

    void commandStates_data()
    {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<QStringList>("enabled");
        QTest::newRow("empty") << 0 << QStringList{"Open", "Folder", "Add"};
        QTest::newRow("one") << 1 << QStringList{"New", "Open", "Save", "Folder", "Add", "Del", "View", "List"};
        QTest::newRow("two") << 2
                             << QStringList{"New", "Open", "Save", "Folder", "Add", "Del", "View", "Like", "List"};
    }
    void commandStates()
    {
        // The tool bar offers what the catalogue allows: comparing needs two pictures.
        QFETCH(int, pictures);
        QFETCH(QStringList, enabled);
        ScriptedDialogs dialogs;
        window();
        if (pictures > 0)
            addByDialog(dialogs, makeJpegs(pictures));
        QCOMPARE(enabledButtons(), enabled);
        QCOMPARE(panel("FileCount"), pictures ? QString::number(pictures) + QStringLiteral("個のファイル") : QString());
        QCOMPARE(saveLit(), pictures > 0);
    }

    void commandsDisabledWhileRunning()
    {
        // During a command every tool-bar button is off, and the file menu copies that state
        // when it opens; afterwards they come back.
        ScriptedDialogs dialogs;
        const QStringList paths = makeJpegs(3);
        QStringList during;
        bool itemEnabled = true;
        onPicture(1, [&] {
            during = enabledButtons();
            emit window().findChild<QMenu *>(QStringLiteral("mnuFile"))->aboutToShow();
            itemEnabled = action("mnuF1")->isEnabled();
        });
        addByDialog(dialogs, paths);
        QVERIFY(during.isEmpty());
        QVERIFY(!itemEnabled);
        QVERIFY(action("mnuF5")->isEnabled()); // "設定" is never disabled
        QCOMPARE(enabledButtons().size(), 9);
        QVERIFY(!window().isRunning());
    }

    void escStopsDialogAddOneFileLate_data()
    {
        QTest::addColumn<int>("files");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("info");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("2 of 4") << 4 << 3 << Aborted << QStringList{Aborted};
        QTest::newRow("2 of 3") << 3 << 3 << Done << QStringList{};
    }
    void escStopsDialogAddOneFileLate()
    {
        // Esc while the second file is added is seen before the fourth: the third still goes in.
        QFETCH(int, files);
        QFETCH(int, rows);
        QFETCH(QString, info);
        QFETCH(QStringList, messages);
        ScriptedDialogs dialogs;
        onPicture(2, [this] { QTest::keyClick(list(), Qt::Key_Escape); });
        addByDialog(dialogs, makeJpegs(files));
        QCOMPARE(list()->model()->rowCount(), rows);
        QCOMPARE(window().store()->DataCount(), rows);
        QCOMPARE(panel("Info"), info);
        QCOMPARE(dialogs.messages(), messages);
        QCOMPARE(panel("FileCount"), QString::number(rows) + QStringLiteral("個のファイル"));
        QCOMPARE(dialogs.calls(QStringLiteral("ShowFileDialog")).first().dialog.filter,
                 QStringLiteral("*.jpeg *.jpg|*.jpeg;*.jpg"));
    }

    void escWhileIdleDoesNothing()
    {
        // Esc with no command running changes nothing visible.
        ScriptedDialogs dialogs;
        addByDialog(dialogs, makeJpegs(1));
        QTest::keyClick(list(), Qt::Key_Escape);
        QCOMPARE(panel("Info"), Done);
        QCOMPARE(enabledButtons().size(), 8);
        QVERIFY(dialogs.messages().isEmpty());
    }

    void singleFileSetsPictureFolder()
    {
        // One chosen file is added as it stands and its folder becomes the dialog's next start.
        ScriptedDialogs dialogs;
        QDir(folder()).mkdir(QStringLiteral("sub"));
        const QString path = makeJpeg(folder() + QStringLiteral("/sub"), QStringLiteral("one.jpg"));
        addByDialog(dialogs, {path});
        QCOMPARE(rowNames(), QStringList{"one.jpg"});
        QCOMPARE(list()->model()->index(0, 1).data().toString(), folder() + QStringLiteral("/sub"));
        QCOMPARE(list()->model()->index(0, 3).data().toString(), QString::number(QFileInfo(path).size()).rightJustified(13));
        QCOMPARE(panel("Info"), Done);
        addByDialog(dialogs, {});
        QCOMPARE(dialogs.calls(QStringLiteral("ShowFileDialog")).last().dialog.initDir, folder() + QStringLiteral("/sub"));
        QCOMPARE(panel("Info"), QString()); // a cancelled dialog leaves it empty
    }

    void listedPathRefreshesWithoutSecondEntry()
    {
        // Adding a listed path again refreshes its columns but adds no row and no store entry.
        ScriptedDialogs dialogs;
        const QString path = makeJpeg(folder(), QStringLiteral("a.jpg"), 16);
        addByDialog(dialogs, {path});
        const QString before = list()->model()->index(0, 3).data().toString();
        makeJpeg(folder(), QStringLiteral("a.jpg.tmp"), 64);
        QFile::remove(path);
        QFile::rename(path + QStringLiteral(".tmp"), path);
        addByDialog(dialogs, {path});
        QCOMPARE(list()->model()->rowCount(), 1);
        QCOMPARE(window().store()->DataCount(), 1);
        QCOMPARE(list()->model()->index(0, 3).data().toString(), QString::number(QFileInfo(path).size()).rightJustified(13));
        QVERIFY(list()->model()->index(0, 3).data().toString() != before);
    }

    void unreadableFileKeepsItsRow()
    {
        // A file the store cannot read still gets its row, but no store entry.
        ScriptedDialogs dialogs;
        QFile bad(folder() + QStringLiteral("/broken.jpg"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture");
        bad.close();
        addByDialog(dialogs, {bad.fileName(), makeJpeg(folder(), QStringLiteral("good.jpg"))});
        QCOMPARE(rowNames(), (QStringList{"broken.jpg", "good.jpg"}));
        QCOMPARE(window().store()->DataCount(), 1);
    }

    void folderAddTakesJpegExtensionsOnly()
    {
        // The folder add takes JPG and JPEG in any letter case, nothing else; JPEGs whose
        // names are not UTF-8 are left out and counted in one message at the end.
        ScriptedDialogs dialogs;
        for (const char *name : {"photo.JPG", "photo.jpg", "x.Jpeg", "x.jpe", "x.jfif", "noext", "b.txt"})
            makeJpeg(folder(), QLatin1String(name));
        const QByteArray source = QFile::encodeName(folder() + QStringLiteral("/photo.jpg"));
        for (const char *name : {"/caf\xE9.jpg", "/\x8E\xCA\x90^.JPEG", "/\xFF.txt"})
            QCOMPARE(::link(source.constData(), (QFile::encodeName(folder()) + name).constData()), 0);
        dialogs.folders.enqueue(folder());
        action("Folder")->trigger();
        QStringList names = rowNames();
        names.sort();
        QCOMPARE(names, (QStringList{"photo.JPG", "photo.jpg", "x.Jpeg"}));
        QCOMPARE(panel("Info"), Done);
        QCOMPARE(panel("FileCount"), QStringLiteral("3個のファイル"));
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("ファイル名を読めないため追加できなかったファイル: 2個")});
        QCOMPARE(dialogs.asked.last().style, 48);
        QVERIFY(window().findChild<Sigbox *>(QStringLiteral("sbxJpeg"))->isHidden());
    }

    void folderAddStopsWhenFlagClears()
    {
        // Esc during a folder scan keeps the file being added and stops the scan after it.
        ScriptedDialogs dialogs;
        makeJpegs(5);
        dialogs.folders.enqueue(folder());
        connect(list()->model(), &QAbstractItemModel::rowsInserted, this, [this] {
            if (list()->model()->rowCount() == 2)
                QTest::keyClick(list(), Qt::Key_Escape);
        });
        action("mnuL0")->trigger();
        QCOMPARE(list()->model()->rowCount(), 2);
        QCOMPARE(panel("Info"), Aborted);
        QCOMPARE(dialogs.messages(), QStringList{Aborted});
    }

    void folderPickerCancelled()
    {
        // Cancelling the folder picker adds nothing and leaves the status empty.
        ScriptedDialogs dialogs;
        action("mnuL0")->trigger();
        QCOMPARE(list()->model()->rowCount(), 0);
        QCOMPARE(panel("Info"), QString());
        QCOMPARE(panel("FileCount"), QStringLiteral("0個のファイル"));
    }

    void dropAddsJpegFilesOnly()
    {
        // Dropping a folder, a.jpg and b.txt adds only a.jpg; a drop of text adds nothing.
        ScriptedDialogs dialogs;
        QDir(folder()).mkdir(QStringLiteral("sub"));
        const QString a = makeJpeg(folder(), QStringLiteral("a.jpg"));
        const QString b = makeJpeg(folder(), QStringLiteral("b.txt"));
        auto drop = [this](QMimeData *data) {
            // Enter first: the drop goes to the widget that accepted the drag.
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(list()->viewport(), &enter);
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(list()->viewport(), &event);
        };
        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(folder() + QStringLiteral("/sub")), QUrl::fromLocalFile(a), QUrl::fromLocalFile(b)});
        drop(&files);
        QCOMPARE(rowNames(), QStringList{"a.jpg"});
        QCOMPARE(panel("FileCount"), QStringLiteral("1個のファイル"));
        QVERIFY(!window().isRunning());
        QVERIFY(saveLit());

        window().findChild<QLabel *>(QStringLiteral("FileCount"))->clear();
        QMimeData text;
        text.setText(QStringLiteral("hello"));
        drop(&text);
        QCOMPARE(list()->model()->rowCount(), 1);
        QCOMPARE(panel("FileCount"), QStringLiteral("1個のファイル"));
    }

    void addsMatchOneThread_data() { waysAndPoolSizes({"dialog", "folder", "drop"}); }
    void addsMatchOneThread()
    {
        // Whatever the pool's size, each way of adding gives what adding the pictures one by
        // one gives: rows, entries and signatures in order, the face and the count after
        // every picture, and a listed path is neither computed nor entered again.
        QFETCH(QString, way);
        QFETCH(int, threads);
        window().signaturePool().setMaxThreadCount(threads);
        ScriptedDialogs dialogs;
        // Sizes far apart, so the pool finishes the pictures out of order.
        QStringList paths;
        for (int i = 0; i < 12; ++i)
            paths << makeJpeg(folder(), QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), 16 + i * 7 % 5 * 90, quint32(i + 1));
        QFile broken(folder() + QStringLiteral("/p05b.jpg"));
        QVERIFY(broken.open(QIODevice::WriteOnly) && broken.write("not a picture") > 0);
        broken.close();
        paths.insert(6, broken.fileName());
        const QString listed = paths[3];
        addByDialog(dialogs, {listed});
        const std::optional<PictureSignature> listedPicture = computePictureSignature(listed);
        makeJpeg(folder(), QStringLiteral("p03.jpg"), 40, 99); // never read again

        SignatureTable expected;
        expected.append(listed, listedPicture->cells);
        QImage face = listedPicture->face;
        QStringList expectedStates;
        QList<QImage> expectedFaces;
        QStringList expectedNames{QStringLiteral("p03.jpg")};
        for (const QString &path : std::as_const(paths)) {
            if (path == listed)
                continue;
            // What the store and the count show when the next picture's row appears.
            const int rowsBefore = expectedNames.size();
            expectedStates << QStringLiteral("%1 entries, %2").arg(expected.count())
                                  .arg(rowsBefore == 1 ? QStringLiteral("1個のファイル") : QString::number(rowsBefore));
            expectedFaces << face;
            expectedNames << QFileInfo(path).fileName();
            if (const std::optional<PictureSignature> picture = computePictureSignature(path)) {
                expected.append(path, picture->cells);
                face = picture->face;
            }
        }

        QStringList states;
        QList<QImage> faces;
        const auto seen = connect(list()->model(), &QAbstractItemModel::rowsInserted, this, [&] {
            states << QStringLiteral("%1 entries, %2").arg(window().store()->DataCount()).arg(panel("FileCount"));
            faces << window().store()->face();
        });
        addBy(way, dialogs, QStringList(paths) << paths[8] << listed);
        disconnect(seen);

        QCOMPARE(states, expectedStates);
        QVERIFY(faces == expectedFaces);
        QCOMPARE(rowNames(), expectedNames);
        QCOMPARE(catalogueBytes(window().store()->table()), catalogueBytes(expected));
        QCOMPARE(window().store()->face(), face);
        QCOMPARE(panel("FileCount"), QStringLiteral("13個のファイル"));
        QVERIFY(saveLit());
    }

    void stopLeavesNoTrace_data() { waysAndPoolSizes({"dialog", "folder"}); }
    void stopLeavesNoTrace()
    {
        // Esc while the second of eight pictures is added, the pool having computed those
        // after it: two rows, two entries, the second one's face, and nothing lands later.
        QFETCH(QString, way);
        QFETCH(int, threads);
        window().signaturePool().setMaxThreadCount(threads);
        ScriptedDialogs dialogs;
        const QStringList paths = makeJpegs(8);
        const auto stop = connect(list()->model(), &QAbstractItemModel::rowsInserted, this, [this] {
            if (list()->model()->rowCount() == 2) {
                QVERIFY(window().signaturePool().waitForDone(5000));
                QTest::keyClick(list(), Qt::Key_Escape);
            }
        });
        addBy(way, dialogs, paths);
        disconnect(stop);
        QVERIFY(window().signaturePool().waitForDone(5000));
        QCoreApplication::processEvents();
        QCOMPARE(rowNames(), (QStringList{"p0.jpg", "p1.jpg"}));
        QCOMPARE(window().store()->DataCount(), 2);
        QCOMPARE(window().store()->FileName(1), paths[1]);
        QCOMPARE(window().store()->face(), computePictureSignature(paths[1])->face);
        QCOMPARE(panel("FileCount"), QStringLiteral("2個のファイル"));
        QCOMPARE(panel("Info"), Aborted);
        QCOMPARE(dialogs.messages(), QStringList{Aborted});
    }

    void columnClicksShareOneDirection()
    {
        // The direction flips on every click whatever the column: size down, size up, name down.
        ScriptedDialogs dialogs;
        addByDialog(dialogs, {makeJpeg(folder(), QStringLiteral("b.jpg"), 90), makeJpeg(folder(), QStringLiteral("a.jpg"), 10),
                              makeJpeg(folder(), QStringLiteral("c.jpg"), 40)});
        QHeaderView *header = list()->header();
        auto click = [header](int column) {
            const QPoint at(header->sectionViewportPosition(column) + 4, header->height() / 2);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        };
        click(3);
        QCOMPARE(rowNames(), (QStringList{"b.jpg", "c.jpg", "a.jpg"}));
        click(3);
        QCOMPARE(rowNames(), (QStringList{"a.jpg", "c.jpg", "b.jpg"}));
        click(0);
        QCOMPARE(rowNames(), (QStringList{"c.jpg", "b.jpg", "a.jpg"}));
        // A picture added after a sort goes to the end, out of order.
        addByDialog(dialogs, {makeJpeg(folder(), QStringLiteral("d.jpg"))});
        QCOMPARE(rowNames().last(), QStringLiteral("d.jpg"));
    }

    void syncJpegList_data()
    {
        QTest::addColumn<bool>("multi");
        QTest::addColumn<QStringList>("selected");
        QTest::newRow("single") << false << QStringList{"p2.jpg"};
        QTest::newRow("multiple") << true << QStringList{"p0.jpg", "p2.jpg"};
    }
    void syncJpegList()
    {
        // With o_Multi false the row becomes the only selected one; with true it joins; an
        // unknown path changes nothing.
        QFETCH(bool, multi);
        QFETCH(QStringList, selected);
        ScriptedDialogs dialogs;
        const QStringList paths = makeJpegs(3);
        addByDialog(dialogs, paths);
        window().SyncJpegList(paths[0], false);
        window().SyncJpegList(paths[2], multi);
        window().SyncJpegList(folder() + QStringLiteral("/nothing.jpg"), false);
        QStringList names;
        for (const QModelIndex &row : list()->selectionModel()->selectedRows())
            names << row.data().toString();
        names.sort();
        QCOMPARE(names, selected);
        QCOMPARE(list()->currentIndex().siblingAtColumn(0).data().toString(), QStringLiteral("p2.jpg"));
    }

    void menuShortcutsWinOverList()
    {
        // Ctrl+A with the list focused runs "追加(&A)" instead of selecting every row.
        ScriptedDialogs dialogs;
        addByDialog(dialogs, makeJpegs(2));
        list()->setFocus();
        list()->clearSelection();
        QTest::keyClick(list(), Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(dialogs.calls(QStringLiteral("ShowFileDialog")).size(), 2);
        QVERIFY(!list()->selectionModel()->hasSelection());
    }

    void contextMenuLacksOptimise()
    {
        // The list's context menu hides the separator and "最適化"; the menu bar keeps them.
        ScriptedDialogs dialogs;
        window();
        QStringList shown;
        QMetaObject::invokeMethod(this, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction *item : menu->actions())
                if (item->isVisible())
                    shown << (item->isSeparator() ? QStringLiteral("-") : item->text());
            menu->close();
        }, Qt::QueuedConnection);
        emit list()->customContextMenuRequested(QPoint(5, 5));
        QCOMPARE(shown, (QStringList{"フォルダごと追加", "-", "追加(&A)", "削除(&D)"}));
        QVERIFY(action("mnuL5")->isVisible());
        QVERIFY(action("mnuL4")->isVisible());
    }

    void sliderFocusShowsHint()
    {
        // Focusing the slider explains the level.
        window().findChild<QSlider *>(QStringLiteral("sldLike"))->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(panel("Info"), QStringLiteral("類似レベルが小さい程厳しい条件になります"), 2000);
    }

    void closeProtocol_data()
    {
        QTest::addColumn<bool>("modified");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<bool>("saveTarget");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("written");
        const int yes = DialogService::Yes, no = DialogService::No, cancel = DialogService::Cancel;
        QTest::newRow("clean") << false << QList<int>{} << false << QStringList{} << true << false;
        QTest::newRow("no") << true << QList<int>{no} << false << QStringList{SaveQuestion} << true << false;
        QTest::newRow("cancel") << true << QList<int>{cancel} << false << QStringList{SaveQuestion} << false << false;
        QTest::newRow("yes, dialog cancelled") << true << QList<int>{yes} << false << QStringList{SaveQuestion} << false << false;
        QTest::newRow("yes, saved") << true << QList<int>{yes} << true << QStringList{SaveQuestion} << true << true;
    }
    void closeProtocol()
    {
        // Unsaved changes are offered for saving; Cancel keeps the window and writes no settings.
        QFETCH(bool, modified);
        QFETCH(QList<int>, answers);
        QFETCH(bool, saveTarget);
        QFETCH(QStringList, messages);
        QFETCH(bool, closed);
        QFETCH(bool, written);
        ScriptedDialogs dialogs;
        if (modified)
            addByDialog(dialogs, makeJpegs(1));
        answer(dialogs, answers);
        const QString target = folder() + QStringLiteral("/catalogue.sbx");
        if (saveTarget)
            dialogs.files.enqueue(target);
        window().close();
        QCOMPARE(dialogs.messages(), messages);
        QCOMPARE(window().isVisible(), !closed);
        QCOMPARE(QFile::exists(target), written);
        QCOMPARE(storedSettings().contains(QStringLiteral("Like")), closed);
    }

    void failedSaveKeepsCatalogue()
    {
        // When saving fails, a command that asked first does not discard the catalogue.
        ScriptedDialogs dialogs;
        addByDialog(dialogs, makeJpegs(2));
        dialogs.answers.enqueue(DialogService::Yes);
        dialogs.files.enqueue(folder() + QStringLiteral("/missing/folder/c.sbx"));
        action("New")->trigger();
        QCOMPARE(dialogs.messages(), (QStringList{SaveQuestion, QStringLiteral("保存中にエラーが発生しました")}));
        QCOMPARE(list()->model()->rowCount(), 2);
        QVERIFY(saveLit());
        QCOMPARE(panel("Info"), QStringLiteral("保存中にエラーが発生しました"));
    }

    void saveCommandMakesCatalogueClean()
    {
        // "保存" asks for a name in the catalogue folder (replacing without a question, adding
        // no extension), writes the catalogue, names it and turns the indicator off.
        ScriptedDialogs dialogs;
        addByDialog(dialogs, makeJpegs(2));
        const QString target = folder() + QStringLiteral("/c.sbx");
        dialogs.files.enqueue(target);
        action("Save")->trigger();
        QVERIFY(dialogs.messages().isEmpty()); // no question before the plain save
        const CommonDialog asked = dialogs.calls(QStringLiteral("ShowFileDialog")).last().dialog;
        QCOMPARE(asked.fileName, QString());
        QCOMPARE(asked.initDir, QDir::currentPath());
        QCOMPARE(asked.filter, QStringLiteral("*.sbx|*.sbx"));
        QVERIFY(!asked.overwritePrompt && asked.defaultExt.isEmpty() && asked.pathMustExist && !asked.fileMustExist);
        QVERIFY(QFile::exists(target));
        QCOMPARE(panel("Info"), QStringLiteral("保存完了"));
        QCOMPARE(panel("FileName"), target);
        QVERIFY(!saveLit());
        QVERIFY(!window().isWindowModified());
        QCOMPARE(enabledButtons(), (QStringList{"New", "Open", "Folder", "Add", "Del", "View", "Like", "List"}));
    }

    void closeDuringAdd_data()
    {
        QTest::addColumn<QList<int>>("replies");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("closed");
        const int yes = DialogService::Yes, no = DialogService::No, cancel = DialogService::Cancel;
        QTest::newRow("yes: stop, stay open") << QList<int>{yes} << QStringList{Stop, Aborted} << false;
        QTest::newRow("no: stop, then close") << QList<int>{no, no} << QStringList{Stop, SaveQuestion} << true;
        QTest::newRow("no, then cancel: stop, stay open")
            << QList<int>{no, cancel} << QStringList{Stop, SaveQuestion, Aborted} << false;
    }
    void closeDuringAdd()
    {
        // A close during an add asks first; either way the add has returned before the
        // window goes, and a window that stays says the add was stopped.
        QFETCH(QList<int>, replies);
        QFETCH(QStringList, messages);
        QFETCH(bool, closed);
        ScriptedDialogs dialogs;
        answer(dialogs, replies);
        int picturesAfterClose = -1;
        onPicture(2, [this] { window().close(); });
        addByDialog(dialogs, makeJpegs(5));
        picturesAfterClose = list()->model()->rowCount();
        QTRY_COMPARE_WITH_TIMEOUT(dialogs.messages(), messages, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(window().isVisible(), !closed, 5000);
        const QHash<QString, int> styles{{Stop, 68}, {Aborted, 64}, {SaveQuestion, 67}};
        for (const ScriptedDialogs::Call &call : dialogs.calls(QStringLiteral("ShowMessage")))
            QCOMPARE(call.style, styles.value(call.text));
        QCOMPARE(picturesAfterClose, 3);
        QCOMPARE(storedSettings().contains(QStringLiteral("Like")), closed);
    }

    void quitDuringAdd()
    {
        // "終了(&Q)" chosen during an add skips the running question, ends the add, then closes.
        ScriptedDialogs dialogs;
        answer(dialogs, {DialogService::No});
        onPicture(2, [this] { action("mnuF7")->trigger(); });
        addByDialog(dialogs, makeJpegs(5));
        QTRY_VERIFY_WITH_TIMEOUT(!window().isVisible(), 5000);
        QCOMPARE(dialogs.messages(), QStringList{SaveQuestion});
        QCOMPARE(list()->model()->rowCount(), 3);
    }

    void settingsSurviveRestart()
    {
        // The first start uses the defaults; what the window held comes back in the next run.
        {
            frmLumo first;
            QCOMPARE(first.findChild<QSlider *>(QStringLiteral("sldLike"))->value(), 0);
            QCOMPARE(first.SamCols(), qint16(6));
            QCOMPARE(first.SamWidth(), 1200);
            QCOMPARE(first.SamHeight(), 1600);
            QCOMPARE(first.ShareThumbnails(), true);
            ScriptedDialogs dialogs;
            dialogs.files.enqueue(makeJpeg(folder(), QStringLiteral("a.jpg")));
            first.findChild<QAction *>(QStringLiteral("mnuL2"))->trigger();
            QCOMPARE(dialogs.asked.first().dialog.initDir, QDir::currentPath());
            first.findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(37);
            dialogs.answers.enqueue(DialogService::No);
            first.show();
            QVERIFY(first.close());
        }
        QSettings stored = storedSettings();
        QCOMPARE(stored.value(QStringLiteral("Like")).toInt(), 37);
        QCOMPARE(stored.value(QStringLiteral("SamCols")).toInt(), 6);
        QCOMPARE(stored.value(QStringLiteral("ShareThumbnails")).toBool(), true);
        stored.setValue(QStringLiteral("ShareThumbnails"), false);
        stored.sync();
        frmLumo second;
        QCOMPARE(second.findChild<QSlider *>(QStringLiteral("sldLike"))->value(), 37);
        QCOMPARE(second.ShareThumbnails(), false);
        ScriptedDialogs dialogs;
        second.findChild<QAction *>(QStringLiteral("mnuL2"))->trigger();
        QCOMPARE(dialogs.asked.first().dialog.initDir, folder());
    }
};

QTEST_MAIN(tst_frmLumo)
#include "tst_frmLumo.moc"
