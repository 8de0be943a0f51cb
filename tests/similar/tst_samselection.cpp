// The similar-pictures window opened from the main window, showing and changing the main
// list's selection: the marks, the grid's delete of exactly the marked pictures, the
// "選択" menu's rules, the protected folders and their setting, and the same choice as
// lumo-cli's plan.

#include "samtestsupport.h"

#include "lumodriver.h"
#include "picturefiles.h"
#include "../outside/modalhelper.h"

#include <frmLumo.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <protectedfoldersdialog.h>
#include <samgrid.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QHeaderView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <future>
#include <random>


namespace {
enum { Yes = DialogService::Yes, No = DialogService::No };

// Pixels (w, h), bytes and age in days of each picture.
using Facts = QList<std::array<int, 4>>;

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}
} // namespace

Q_DECLARE_METATYPE(Facts)

class tst_samselection : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;
    QStringList m_paths;

    frmSam *sam() { return frmSam::loaded(); }
    SamGrid *grid() { return sam()->findChild<SamGrid *>(QStringLiteral("picList")); }
    QAction *samItem(const QString &name) { return sam()->findChild<QAction *>(name); }
    QRect picture(int k)
    {
        const SamGeometry &g = grid()->geometryTwips();
        const QRect cell = g.cellRect(k);
        return grid()->toPixels(QRect(cell.topLeft(), QSize(g.width, g.height)));
    }
    QStringList selectedKeys()
    {
        QStringList keys;
        const QModelIndexList rows = lumo.list()->selectionModel()->selectedRows();
        for (const QModelIndex &row : rows)
            keys << row.data(Qt::UserRole).toString();
        return sorted(keys);
    }
    // The cells drawn with a selection mark, as the user sees the grid.
    QList<int> markedCells()
    {
        const QImage shot = grid()->grab().toImage();
        const QRgb highlight = grid()->palette().color(QPalette::Highlight).rgb();
        QList<int> marked;
        for (int k = 0; k < grid()->placedCount(); ++k) {
            if (shot.pixel(picture(k).topLeft() + QPoint(1, 1)) == highlight)
                marked << k;
        }
        return marked;
    }
    void clickRow(const QString &path, Qt::KeyboardModifiers modifiers)
    {
        QAbstractItemModel *model = lumo.list()->model();
        const QModelIndex row = model->match(model->index(0, 0), Qt::DisplayRole, QFileInfo(path).fileName(), 1,
                                             Qt::MatchExactly).value(0);
        QVERIFY(row.isValid());
        QTest::mouseClick(lumo.list()->viewport(), Qt::LeftButton, modifiers,
                          lumo.list()->visualRect(row).center());
    }

    // Files p0..p5: p0, p1, p2 alike, p3 and p4 alike, p5 like none; the comparison run
    // places p1, p2, p0 (group 0), then p4, p3 (group 1). Pixels, bytes and age in days as
    // given (default: 64 x 64 pixels, 2,000 bytes, 1 day).
    // `alone` more entries like none, whose files are not there.
    void openGroups(const Facts &facts = {}, int alone = 0)
    {
        m_paths.clear();
        std::vector<Signature> cells;
        for (int i = 0; i < 6; ++i) {
            const std::array<int, 4> f = facts.value(i, {64, 64, 2000, 1});
            m_paths << m_dir->filePath(QStringLiteral("%1p%2.jpg").arg(i == 0 ? "keep/" : "").arg(i));
            if (!writeSizedPicture(m_paths.last(), QSize(f[0], f[1]), f[2], QDateTime::currentDateTime().addDays(-f[3])))
                qFatal("cannot write %s", qPrintable(m_paths.last()));
            cells.push_back(i < 3 ? grey() : i < 5 ? whitePatch(0, 20) : whitePatch(40, 20));
        }
        QStringList paths = m_paths;
        std::mt19937 random(7);
        for (int i = 0; i < alone; ++i) {
            paths << m_dir->filePath(QStringLiteral("alone/a%1.jpg").arg(i));
            cells.push_back(randomSignature(random));
        }
        lumo.openCatalogue(m_dir->filePath(QStringLiteral("c.sbx")), paths, cells);
        lumo.run("mnuJ2");
        QCOMPARE(sam()->placement(), QStringList({m_paths[1], m_paths[2], m_paths[0], m_paths[4], m_paths[3]}));
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        lumo.reset();
        QTRY_VERIFY(!frmSam::loaded());
        m_home.emptyTrash();
    }

    void marks_data()
    {
        QTest::addColumn<QStringList>("steps"); // press N, shift N (grid cells); row N, ctrl N (list rows p<N>); all; delete
        QTest::addColumn<QList<int>>("marked");
        QTest::addColumn<bool>("deletable");
        QTest::newRow("press") << QStringList{"press 1"} << QList<int>{1} << true;
        QTest::newRow("press, then shift-press") << QStringList{"press 1", "shift 3"} << QList<int>{1, 3} << true;
        QTest::newRow("a second press replaces") << QStringList{"press 1", "press 4"} << QList<int>{4} << true;
        QTest::newRow("a click in the list") << QStringList{"press 1", "row 3"} << QList<int>{4} << true;
        QTest::newRow("a row that is not on the grid") << QStringList{"press 1", "row 5"} << QList<int>{} << false;
        QTest::newRow("ctrl-click adds") << QStringList{"row 0", "ctrl 4"} << QList<int>{2, 3} << true;
        QTest::newRow("the whole list") << QStringList{"all"} << QList<int>{0, 1, 2, 3, 4} << true;
        QTest::newRow("deleted from the list") << QStringList{"all", "delete"} << QList<int>{} << false;
    }
    void marks()
    {
        // Every cell whose picture is selected in the main list carries a mark, however the
        // selection came about, and "削除" is there exactly when one does.
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, marked);
        QFETCH(bool, deletable);
        openGroups();
        for (const QString &step : std::as_const(steps)) {
            const QString verb = step.section(QLatin1Char(' '), 0, 0);
            const int n = step.section(QLatin1Char(' '), 1).toInt();
            if (verb == QLatin1String("press") || verb == QLatin1String("shift"))
                QTest::mousePress(grid(), Qt::LeftButton, verb == QLatin1String("shift") ? Qt::ShiftModifier : Qt::NoModifier,
                                  picture(n).center());
            else if (verb == QLatin1String("row") || verb == QLatin1String("ctrl"))
                clickRow(m_paths[n], verb == QLatin1String("ctrl") ? Qt::ControlModifier : Qt::NoModifier);
            else if (verb == QLatin1String("all"))
                lumo.list()->selectAll();
            else if (verb == QLatin1String("delete")) {
                ScriptedDialogs dialogs;
                dialogs.answers << No;
                lumo.run("mnuL3");
            }
        }
        QCOMPARE(markedCells(), marked);
        QCOMPARE(samItem(QStringLiteral("mnuF0"))->isEnabled(), deletable);
    }

    void groupTints()
    {
        // The groups of a comparison run lie on alternately tinted backgrounds, kept by a
        // blanked cell; a list run has no groups and no tint.
        openGroups();
        const auto background = [this](int k) {
            const QRect cell = grid()->toPixels(grid()->geometryTwips().cellRect(k));
            return grid()->grab().toImage().pixel(cell.bottomRight() - QPoint(2, 2));
        };
        const QRgb first = background(0);
        QCOMPARE(background(1), first);
        QCOMPARE(background(2), first);
        QVERIFY(background(3) != first);
        QCOMPARE(background(4), background(3));
        QVERIFY(first != grid()->palette().color(QPalette::Window).rgb());
        lumo.select({m_paths[2]});
        ScriptedDialogs dialogs;
        dialogs.answers << No;
        lumo.run("mnuL3");
        QCOMPARE(sam()->placement().at(1), QString());
        QCOMPARE(background(1), first);
        lumo.run("mnuJ3");
        for (int k = 0; k < 5; ++k)
            QCOMPARE(background(k), grid()->palette().color(QPalette::Window).rgb());
    }

    void gridDeleteTakesTheMarkedOnly()
    {
        // p0 pressed in the grid, then p5 (not on the grid) added in the list: the grid's
        // 削除 with はい moves p0 alone to the trash; p5 keeps its file and its row.
        openGroups();
        QTest::mousePress(grid(), Qt::LeftButton, {}, picture(2).center());
        clickRow(m_paths[5], Qt::ControlModifier);
        QCOMPARE(selectedKeys(), sorted({m_paths[0], m_paths[5]}));
        ScriptedDialogs dialogs;
        dialogs.answers << Yes;
        QTest::keyClick(sam(), Qt::Key_Delete);
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("リストから削除します。実際のファイルも削除しますか？")});
        QVERIFY(QFile::exists(m_home.trash() + QStringLiteral("/p0.jpg")));
        QVERIFY(!QFile::exists(m_paths[0]));
        QVERIFY(QFile::exists(m_paths[5]));
        QCOMPARE(selectedKeys(), QStringList{m_paths[5]});
        QVERIFY(!lumo.rowKeys().contains(m_paths[0]));
        QCOMPARE(sam()->placement().at(2), QString());
        QVERIFY(!samItem(QStringLiteral("mnuF0"))->isEnabled());
    }

    void rules_data()
    {
        // Pixels (w, h), bytes and age in days of p0..p5; p0 lies in keep/.
        QTest::addColumn<Facts>("facts");
        QTest::addColumn<int>("item");
        QTest::addColumn<bool>("protectKeep");
        QTest::addColumn<QList<int>>("selected"); // p<N>
        const Facts facts{{64, 64, 9000, 5}, {128, 96, 3000, 9}, {80, 80, 5000, 1},
                                              {32, 32, 4000, 2}, {48, 48, 2500, 7}, {16, 16, 1000, 3}};
        QTest::newRow("best") << facts << 0 << false << QList<int>{0, 2, 3};
        QTest::newRow("pixels") << facts << 1 << false << QList<int>{0, 2, 3};
        QTest::newRow("size") << facts << 2 << false << QList<int>{1, 2, 4};
        QTest::newRow("newest") << facts << 3 << false << QList<int>{0, 1, 4};
        QTest::newRow("oldest") << facts << 4 << false << QList<int>{0, 2, 3};
        QTest::newRow("base") << facts << 5 << false << QList<int>{1, 2, 4};
        QTest::newRow("pixels, keep/ protected") << facts << 1 << true << QList<int>{2, 3};
        QTest::newRow("clear") << facts << 7 << false << QList<int>{};
    }
    void rules()
    {
        // Each rule replaces the main list's selection by the pictures it drops from every
        // group (never p5, which is in none), the grid marks them and the status bar counts them.
        QFETCH(Facts, facts);
        QFETCH(int, item);
        QFETCH(bool, protectKeep);
        QFETCH(QList<int>, selected);
        openGroups(facts);
        lumo.window().setProtectedFolders(protectKeep ? QStringList{m_dir->filePath(QStringLiteral("keep"))} : QStringList());
        clickRow(m_paths[5], Qt::NoModifier);
        QVERIFY(sam()->findChild<QMenu *>(QStringLiteral("mnuSelect"))->menuAction()->isEnabled());
        samItem(QStringLiteral("mnuS%1").arg(item))->trigger();
        if (item != 7) {
            // Reading the pictures: the busy pointer, and the main window starts nothing.
            QVERIFY(sam()->isApplyingRule());
            QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
            QVERIFY(!lumo.command("Like")->isEnabled());
        }
        const QString info = QStringLiteral("%1個の画像を選択しました").arg(selected.size());
        QTRY_COMPARE(lumo.panel("Info"), info);
        QStringList expected;
        for (int p : selected)
            expected << m_paths[p];
        QCOMPARE(selectedKeys(), sorted(expected));
        QCOMPARE(markedCells().size(), selected.size());
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(lumo.command("Like")->isEnabled());
    }

    void ruleEndedByClosingSelectsNothing()
    {
        // Closed while its rule reads or plans, the window leaves the main list's selection
        // as it was, and the main window takes commands again.
        openGroups();
        clickRow(m_paths[5], Qt::NoModifier);
        samItem(QStringLiteral("mnuS5"))->trigger();
        QVERIFY(sam()->isApplyingRule());
        QVERIFY(!lumo.command("Like")->isEnabled());
        sam()->close();
        QTRY_VERIFY(!frmSam::loaded());
        QTest::qWait(200); // what the pool still finishes has nowhere to go
        QCOMPARE(selectedKeys(), QStringList{m_paths[5]});
        QVERIFY(!QGuiApplication::overrideCursor());
        QVERIFY(lumo.command("Like")->isEnabled());
    }

    void ruleEndsWithItsMarks()
    {
        // The rule's clearing of a selection larger than the grid follows at once is marked
        // over several turns; the rule ends, and commands come back, only when the grid shows
        // exactly what it selected.
        openGroups({}, int(SamGrid::FollowedAtOnce) + 4000);
        lumo.list()->selectAll();
        QVERIFY(grid()->isFollowing());
        QTRY_VERIFY(!grid()->isFollowing());
        QCOMPARE(grid()->markedPaths().size(), 5);
        samItem(QStringLiteral("mnuS5"))->trigger();
        QVERIFY(sam()->isApplyingRule());
        QTRY_VERIFY(!sam()->isApplyingRule());
        QVERIFY(!grid()->isFollowing());
        const QStringList dropped{m_paths[1], m_paths[2], m_paths[4]};
        QStringList marked = grid()->markedPaths();
        QCOMPARE(sorted(marked), sorted(dropped));
        QCOMPARE(selectedKeys(), sorted(dropped));
        QCOMPARE(lumo.panel("Info"), QStringLiteral("3個の画像を選択しました"));
        QVERIFY(lumo.command("Like")->isEnabled());
    }

    void preparedSelection_data()
    {
        // Rows looked up on another thread, then the list changed before they are selected.
        QTest::addColumn<QString>("change");
        QTest::newRow("no change") << QString();
        QTest::newRow("sorted by name, descending") << QStringLiteral("sort");
        QTest::newRow("a picture added at the end") << QStringLiteral("add");
        QTest::newRow("a row deleted") << QStringLiteral("delete");
    }
    void preparedSelection()
    {
        QFETCH(QString, change);
        const QStringList paths = LumoDriver::placeholderPictures(m_dir->path(), 30);
        lumo.openCatalogue(m_dir->filePath(QStringLiteral("c.sbx")), paths);
        const QStringList wanted{paths[3], paths[4], paths[17], paths[29], m_dir->filePath(QStringLiteral("none.jpg"))};
        const SamOwner &owner = lumo.window();
        const SamOwner::SelectionFinder find = owner.selectionFinder();
        const SamOwner::PreparedSelection prepared = std::async(std::launch::async, find, wanted).get();
        QCOMPARE(int(prepared.rows.size()), 4);
        QStringList expected = wanted.mid(0, 4);
        if (change == QLatin1String("sort")) {
            emit lumo.list()->header()->sectionClicked(0); // the first click sorts descending
            QCOMPARE(lumo.list()->model()->index(0, 0).data(Qt::UserRole).toString(), paths[9]);
        } else if (change == QLatin1String("add")) {
            const QString added = m_dir->filePath(QStringLiteral("added.jpg"));
            LumoDriver::writeBytes(added, "picture");
            lumo.drop(QStringList{added});
            QCOMPARE(lumo.list()->model()->rowCount(), 31);
        } else if (change == QLatin1String("delete")) {
            lumo.select({paths[0], paths[17]});
            ScriptedDialogs dialogs;
            dialogs.answers << No;
            lumo.window().DeleteJepg();
            QCOMPARE(lumo.list()->model()->rowCount(), 28);
            expected.removeOne(paths[17]);
        }
        lumo.window().selectPictures(prepared);
        QCOMPARE(selectedKeys(), sorted(expected));
        QCOMPARE(lumo.panel("Info"), QStringLiteral("%1個の画像を選択しました").arg(expected.size()));
    }

    void rulesOnlyAfterAComparisonRun()
    {
        // "選択" is there after a comparison run, not during one and not after a list run.
        openGroups();
        auto *menu = sam()->findChild<QMenu *>(QStringLiteral("mnuSelect"));
        QVERIFY(menu->menuAction()->isEnabled());
        TitleWatcher watcher;
        QList<bool> during;
        watcher.during = [&during, menu](frmSam *, const QString &) { during << menu->menuAction()->isEnabled(); };
        lumo.run("mnuJ3");
        QVERIFY(!during.isEmpty());
        QVERIFY(!during.contains(true));
        QVERIFY(!menu->menuAction()->isEnabled());
        lumo.run("mnuJ2");
        QVERIFY(menu->menuAction()->isEnabled());
    }

    void protectedFolders_data()
    {
        QTest::addColumn<QStringList>("picked"); // the folder picker's answers, one per "追加..."
        QTest::addColumn<bool>("removeFirst");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QStringList>("kept");
        // "/was" is listed before; '@' is the test's folder, where a, b, keep and old exist.
        QTest::newRow("two added") << QStringList{"@/keep", "@/old/"} << false << true
                                   << QStringList{"/was", "@/keep", "@/old"};
        QTest::newRow("one added twice, one removed") << QStringList{"@/a", "@/b", "@/a"} << true << true
                                                      << QStringList{"@/a", "@/b"};
        QTest::newRow("picker cancelled") << QStringList{""} << false << true << QStringList{"/was"};
        QTest::newRow("キャンセル") << QStringList{"@/old"} << false << false << QStringList{"/was"};
        QTest::newRow("not a folder") << QStringList{"@/none", "@/keep/p0.jpg"} << false << true
                                      << QStringList{"/was"};
    }
    void protectedFolders()
    {
        // "保護フォルダ(&F)..." edits the folders with the folder picker; OK keeps them in the
        // settings, where the next start finds them; キャンセル changes nothing.
        QFETCH(QStringList, picked);
        QFETCH(bool, removeFirst);
        QFETCH(bool, ok);
        QFETCH(QStringList, kept);
        for (const char *folder : {"a", "b", "keep", "old"})
            QDir(m_dir->path()).mkpath(QLatin1String(folder));
        picked.replaceInStrings(QStringLiteral("@"), m_dir->path());
        kept.replaceInStrings(QStringLiteral("@"), m_dir->path());
        lumo.window().setProtectedFolders({QStringLiteral("/was")});
        openGroups();
        ScriptedDialogs dialogs;
        dialogs.folders.append(picked);
        ModalGuard guard;
        whenModal<ProtectedFoldersDialog>([&](ProtectedFoldersDialog *dialog) {
            auto *add = dialog->findChild<QPushButton *>(QStringLiteral("cmdAdd"));
            for (int i = 0; i < picked.size(); ++i)
                add->click();
            auto *list = dialog->findChild<QListWidget *>(QStringLiteral("lstFolders"));
            if (removeFirst) {
                list->setCurrentRow(0);
                dialog->findChild<QPushButton *>(QStringLiteral("cmdRemove"))->click();
            }
            dialog->findChild<QPushButton *>(ok ? QStringLiteral("cmdOK") : QStringLiteral("cmdCancel"))->click();
        });
        samItem(QStringLiteral("mnuS8"))->trigger();
        QVERIFY(!guard.fired());
        QCOMPARE(dialogs.calls(QStringLiteral("BrowseForFolder")).size(), picked.size());
        QCOMPARE(lumo.window().protectedFolders(), kept);
        dialogs.answers << No;
        lumo.reset();
        QCOMPARE(lumo.window().protectedFolders(), kept);
    }

    void agreesWithLumoCli()
    {
        // For one catalogue, level, rule (best) and protected folder the window selects
        // exactly the pictures that `lumo-cli similar --keep` plans to drop.
        const QString keep = m_dir->filePath(QStringLiteral("keep"));
        lumo.window().setProtectedFolders({keep});
        openGroups({{64, 64, 9000, 5}, {128, 96, 3000, 9}, {80, 80, 5000, 1}, {32, 32, 4000, 2}, {48, 48, 2500, 7}});
        samItem(QStringLiteral("mnuS0"))->trigger();
        QTRY_VERIFY(!sam()->isApplyingRule());
        QProcess cli;
        cli.start(QStringLiteral(LUMO_CLI), {QStringLiteral("similar"), QStringLiteral("--keep"), QStringLiteral("best"),
                                             QStringLiteral("--protect"), keep, m_dir->filePath(QStringLiteral("c.sbx"))});
        QVERIFY(cli.waitForFinished(60000));
        const QStringList planned = QString::fromUtf8(cli.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(planned.size(), 2);
        QCOMPARE(selectedKeys(), sorted(planned));
    }
};

QTEST_MAIN(tst_samselection)
#include "tst_samselection.moc"
