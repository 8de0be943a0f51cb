// The similar-pictures window opened from the main window: its commands and their status
// texts, deleting from the grid, new closing the window, and agreement with lumo-cli.

#include "samtestsupport.h"

#include "catalogue/catalogue.h"
#include <frmLumo.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>
#include <thumbnailcache.h>
#include "catalogue/sigbox.h"
#include "search/similargrouping.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSlider>
#include <QToolBar>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {
// Near copies of a few prototypes with varied noise, so that groups overlap and chain at
// every level; every 23rd entry has no name. With `turnedAndGrey`, a quarter of the copies
// are turned or mirrored and a quarter grey.
SignatureTable plantedGroups(int count, bool turnedAndGrey = false)
{
    std::mt19937 random(17);
    std::vector<Signature> prototypes(count / 12 + 1);
    for (Signature &prototype : prototypes)
        prototype = randomSignature(random);
    SignatureTable table;
    for (int i = 0; i < count; ++i) {
        Signature cells = prototypes[random() % prototypes.size()];
        const unsigned kind = random() % 4;
        if (turnedAndGrey && kind == 0)
            pixcore::turnSignature(Signature(cells).data(), pixcore::GridTurn(1 + random() % 7), cells.data());
        if (turnedAndGrey && kind == 1)
            pixcore::greySignature(cells.data(), cells.data());
        const int noise = static_cast<int>(random() % 14);
        for (int16_t &value : cells)
            value = static_cast<int16_t>(qBound(0, value + static_cast<int>(random() % (2 * noise + 1)) - noise, 255));
        table.append(i % 23 == 5 ? QString() : pictureName(i), cells);
    }
    return table;
}

QStringList lumoCliSimilar(const QStringList &catalogues, int level, SimilarRule rule = {}, const QStringList &of = {},
                           const QString &keep = {})
{
    QStringList arguments{QStringLiteral("similar"), QStringLiteral("--level"), QString::number(level)};
    for (const QString &path : of)
        arguments << QStringLiteral("--of") << path;
    if (rule.turned)
        arguments << QStringLiteral("--turned");
    if (rule.grey)
        arguments << QStringLiteral("--grey");
    if (!keep.isEmpty())
        arguments << QStringLiteral("--keep") << keep;
    QProcess cli;
    cli.start(QStringLiteral(LUMO_CLI), arguments << catalogues);
    // A collection past one file's 32,767 pictures takes minutes in a sanitizer build.
    if (!cli.waitForFinished(600000) || cli.exitCode() != 0)
        return {QStringLiteral("<lumo-cli failed>")};
    QStringList placed = QString::fromUtf8(cli.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    // An empty grid keeps the one empty entry each run starts with.
    return placed.isEmpty() ? QStringList{QString()} : placed;
}

} // namespace

class tst_samwithlumo : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;
    QTemporaryDir m_dir;
    std::unique_ptr<frmLumo> m_window;

    frmLumo &window()
    {
        if (!m_window) {
            m_window = std::make_unique<frmLumo>();
            m_window->show();
        }
        return *m_window;
    }
    // The main window's own items (the similar-pictures window, its child, has a "mnuF0" too).
    QAction *command(const char *name) { return window().menuBar()->findChild<QAction *>(QLatin1String(name)); }
    QString info() { return window().findChild<QLabel *>(QStringLiteral("Info"))->text(); }
    QString openCatalogue(const SignatureTable &table)
    {
        const QString file = m_dir.filePath(QStringLiteral("c.sbx"));
        if (saveCatalogue(file, table).failed())
            qFatal("cannot write the catalogue");
        window().openCommandLine(file);
        return file;
    }

private slots:
    void initTestCase()
    {
        qputenv("HOME", m_home.path().toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_home.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_home.filePath(QStringLiteral("cache")).toLocal8Bit());
    }
    void cleanup()
    {
        m_window.reset();
        QTRY_VERIFY(!frmSam::loaded());
    }

    void agreesWithLumoCli_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<bool>("grey");
        for (int level : {0, 5, 12, 25, 50})
            QTest::addRow("level %d", level) << level << false << false;
        for (int level : {6, 20}) {
            QTest::addRow("level %d turned", level) << level << true << false;
            QTest::addRow("level %d grey", level) << level << false << true;
            QTest::addRow("level %d turned grey", level) << level << true << true;
        }
    }
    void agreesWithLumoCli()
    {
        // For a run that is not stopped, "類似検索" places exactly the pictures, in exactly
        // the order, that `lumo-cli similar` prints for the same catalogue, level and search
        // options (the "画像" menu's check items), both comparing on the batch.
        QFETCH(int, level);
        QFETCH(bool, turned);
        QFETCH(bool, grey);
        const SimilarRule rule{turned, grey};
        const SignatureTable table = plantedGroups(400, rule != SimilarRule{});
        QVERIFY(SimilarSearch(table, level).batched());
        const QString file = openCatalogue(table);
        window().findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(level);
        if (turned)
            command("mnuJ5")->trigger();
        if (grey)
            command("mnuJ6")->trigger();
        command("mnuJ2")->trigger();
        const QStringList placed = frmSam::loaded()->placement();
        QCOMPARE(placed, lumoCliSimilar({file}, level, rule));
        if (level >= 5)
            QVERIFY2(placed.size() > 20, "the catalogue should hold groups at this level");
    }

    void agreesWithLumoCliAcrossParts()
    {
        // Over more pictures than one catalogue file holds, with groups whose pictures lie in
        // both files: "類似検索" places what lumo-cli prints for the two files, a rule selects
        // in the main list what `--keep` drops, and a cell of the second file selects its row.
        constexpr int Full = SignatureTable::MaxEntries;
        constexpr int Planted = 300;
        const SignatureTable planted = plantedGroups(Planted);
        QTemporaryDir dir; // of its own, so no other catalogue there has these files beside it
        std::mt19937 random(5);
        SignatureTable first, second;
        QSet<QString> secondNames; // the planted pictures of the second file
        for (int i = 0; i < Full + Planted; ++i) {
            SignatureTable &part = i < Full ? first : second;
            const int p = i - (Full - Planted / 2);
            if (p < 0 || p >= Planted) {
                part.append(pictureName(i), randomSignature(random));
                continue;
            }
            // A planted picture is a file, so that a rule can read it.
            const QString file = dir.filePath(QStringLiteral("p%1.jpg").arg(i));
            QImage picture(16, 16, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(p % 360, 200, 200));
            QVERIFY(picture.save(file, "JPEG"));
            part.append(file, planted.cells(p));
            if (i >= Full)
                secondNames.insert(file);
        }
        const QStringList parts{dir.filePath(QStringLiteral("c.sbx")), dir.filePath(QStringLiteral("c-2.sbx"))};
        QVERIFY(!saveCatalogue(parts[0], first).failed() && !saveCatalogue(parts[1], second).failed());
        window().openCommandLine(parts[0]);
        QCOMPARE(window().store()->DataCount(), Full + Planted);

        constexpr int Level = 12;
        window().findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(Level);
        command("mnuJ2")->trigger();
        const QStringList placed = frmSam::loaded()->placement();
        QCOMPARE(placed, lumoCliSimilar(parts, Level));
        const auto inSecond = [&](const QString &path) { return secondNames.contains(path); };
        QVERIFY2(std::count_if(placed.begin(), placed.end(), inSecond) > 20, "groups should reach into the second file");

        frmSam *sam = frmSam::loaded();
        sam->findChild<QAction *>(QStringLiteral("mnuS5"))->trigger(); // keep each group's base
        QTRY_VERIFY(!sam->isApplyingRule());
        auto *list = window().findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
        QStringList selected;
        for (const QModelIndex &row : list->selectionModel()->selectedRows())
            selected << row.data(Qt::UserRole).toString();
        QStringList dropped = lumoCliSimilar(parts, Level, {}, {}, QStringLiteral("base"));
        selected.sort();
        dropped.sort();
        QCOMPARE(selected, dropped);
        QVERIFY(std::any_of(selected.begin(), selected.end(), inSecond));
        auto *grid = sam->findChild<SamGrid *>(QStringLiteral("picList"));
        for (int k = 0; k < placed.size(); ++k)
            QCOMPARE(grid->isMarked(k), dropped.contains(placed[k]));

        // The grid shows the row of the cell pressed at the top, as scrolled there.
        const int cell = int(std::find_if(placed.begin(), placed.end(), inSecond) - placed.begin());
        grid->setAreaTop(-(cell / grid->geometryTwips().columns) * grid->geometryTwips().rowHeight());
        QTest::mousePress(grid, Qt::LeftButton, {}, grid->toPixels(grid->geometryTwips().cellRect(cell)).center());
        const QModelIndexList pressed = list->selectionModel()->selectedRows();
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed.first().data(Qt::UserRole).toString(), placed[cell]);
    }

    void likeSelectedAgreesWithLumoCli_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("turned");
        for (int level : {0, 12, 25})
            QTest::addRow("level %d", level) << level << false;
        QTest::addRow("level 20 turned") << 20 << true;
    }
    void likeSelectedAgreesWithLumoCli()
    {
        // "選択した画像に似た画像を探す" places exactly what `lumo-cli similar --of` prints for
        // the selected rows, whichever order the list shows them in, with the status texts
        // of "類似検索" around the run.
        QFETCH(int, level);
        QFETCH(bool, turned);
        const SimilarRule rule{turned, false};
        const QString file = openCatalogue(plantedGroups(400, turned));
        window().findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(level);
        if (turned)
            command("mnuJ5")->trigger();
        auto *list = window().findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
        list->model()->sort(0, Qt::DescendingOrder);
        QStringList chosen;
        for (int r = 0; r < list->model()->rowCount(); r += 9) {
            list->selectionModel()->select(list->model()->index(r, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
            chosen << list->model()->index(r, 0).data(Qt::UserRole).toString();
        }
        TitleWatcher watcher;
        QStringList seen;
        watcher.during = [this, &seen](frmSam *, const QString &) { seen << info(); };
        command("mnuJ7")->trigger();
        QCOMPARE(seen.first(), QStringLiteral("類似検索中..."));
        QCOMPARE(info(), QStringLiteral("類似検索終了"));
        const QStringList placed = frmSam::loaded()->placement();
        QCOMPARE(placed, lumoCliSimilar({file}, level, rule, chosen));
        if (level >= 12)
            QVERIFY2(placed.size() > 10, "the chosen rows should have look-alikes at this level");
    }

    void likeSelectedFollowsTheSelection()
    {
        // The item stands after "一覧表示", is off without a selected row and while a search
        // runs, and on with one.
        SignatureTable table;
        for (int i = 0; i < 3; ++i)
            table.append(pictureName(i), grey());
        openCatalogue(table);
        QAction *item = command("mnuJ7");
        QCOMPARE(item->text(), QStringLiteral("選択した画像に似た画像を探す(&L)"));
        const QList<QAction *> shown = window().findChild<QMenu *>(QStringLiteral("mnuJpeg"))->actions();
        QCOMPARE(shown.indexOf(item), shown.indexOf(command("mnuJ3")) + 1);
        QVERIFY(!item->isEnabled());
        auto *list = window().findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
        list->selectionModel()->select(list->model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(item->isEnabled());
        bool offDuringRun = false;
        TitleWatcher watcher;
        watcher.during = [&](frmSam *, const QString &) { offDuringRun = !item->isEnabled(); };
        item->trigger();
        QVERIFY(offDuringRun);
        QCOMPARE(frmSam::loaded()->placement(), pictureNames({0, 2, 1}));
        QVERIFY(item->isEnabled());
        list->clearSelection();
        QVERIFY(!item->isEnabled());
        // Chosen with nothing selected (as a stale shortcut would), it opens nothing new.
        frmSam::unload();
        QTRY_VERIFY(!frmSam::loaded());
        item->setEnabled(true);
        item->trigger();
        QVERIFY(!frmSam::loaded());
    }

    void searchOptionsAreSettings()
    {
        // The two check items start unchecked, are off while a command runs, and are kept in
        // the settings for the next start.
        QVERIFY(!command("mnuJ5")->isChecked() && !command("mnuJ6")->isChecked());
        QVERIFY(command("mnuJ5")->isEnabled());
        command("mnuJ6")->trigger();
        QVERIFY(window().close());
        m_window.reset();
        QVERIFY(!command("mnuJ5")->isChecked());
        QVERIFY(command("mnuJ6")->isChecked());
        command("mnuJ6")->trigger();
        QVERIFY(window().close());
    }

    void commandsDeleteAndNew()
    {
        // "一覧表示" and "類似検索" show their status texts around the run; "削除" on the grid
        // deletes the pressed picture through the main window and blanks its cell; "新規"
        // closes the window.
        SignatureTable table;
        for (int i = 0; i < 4; ++i)
            table.append(pictureName(i), i < 2 ? grey() : whitePatch((i - 2) * 40, 20));
        openCatalogue(table);

        TitleWatcher watcher;
        QStringList seen; // the status text while the runs show their progress
        watcher.during = [this, &seen](frmSam *, const QString &) { seen << info(); };
        command("mnuJ3")->trigger();
        QCOMPARE(seen.first(), QStringLiteral("一覧表示中..."));
        QCOMPARE(info(), QStringLiteral("一覧表示完了"));
        command("mnuJ2")->trigger();
        QCOMPARE(seen.last(), QStringLiteral("類似検索中..."));
        QCOMPARE(info(), QStringLiteral("類似検索終了"));
        QCOMPARE(frmSam::loaded()->placement(), pictureNames({1, 0}));
        // The window's thumbnails are shared as the user's setting says.
        QVERIFY(window().ShareThumbnails());
        QVERIFY(frmSam::loaded()->findChild<SamGrid *>(QStringLiteral("picList"))->thumbnails().shareThumbnails());

        frmSam *sam = frmSam::loaded();
        auto *grid = sam->findChild<SamGrid *>(QStringLiteral("picList"));
        QTest::mousePress(grid, Qt::LeftButton, {}, grid->toPixels(grid->geometryTwips().cellRect(1)).center());
        const QModelIndexList selected = window().findChild<QTreeView *>(QStringLiteral("lsvJpeg"))->selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected.first().data(Qt::UserRole).toString(), pictureName(0));

        ScriptedDialogs dialogs;
        dialogs.answers << DialogService::No; // from the catalogue only
        sam->findChild<QAction *>(QStringLiteral("mnuF0"))->trigger();
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("リストから削除します。実際のファイルも削除しますか？")});
        QCOMPARE(sam->placement(), QStringList({pictureName(1), QString()}));
        QCOMPARE(window().store()->DataCount(), 3);
        // The tool bar offers "保存" at once, and the count follows the deletion.
        QVERIFY(window().findChild<QToolBar *>(QStringLiteral("tldLumo"))->findChild<QAction *>(QStringLiteral("Save"))->isEnabled());
        QCOMPARE(window().findChild<QLabel *>(QStringLiteral("FileCount"))->text(), QStringLiteral("3個のファイル"));
        QVERIFY(frmSam::isShown());

        dialogs.answers << DialogService::No; // do not save the changed catalogue
        command("mnuF0")->trigger();
        QVERIFY(!frmSam::isShown());
        QCOMPARE(window().store()->DataCount(), 0);
    }
};

QTEST_MAIN(tst_samwithlumo)
#include "tst_samwithlumo.moc"
