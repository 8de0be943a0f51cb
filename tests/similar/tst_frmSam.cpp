// The similar-pictures window as its owner and its user drive it: the two runs and what
// they place, titles, stopping by the close box and by Esc, scrolling, pointing, selecting,
// the context menu, deleting, and the window's silence while it runs.

#include "samtestsupport.h"

#include <frmSam.h>
#include <frmView.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>
#include <thumbnailcache.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(std::vector<Signature>)

namespace {
const QString StopQuestion = QStringLiteral("中止しますか？");
enum { Yes = DialogService::Yes, No = DialogService::No };

void moveTo(QWidget *widget, const QPoint &at)
{
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

// The colours of a rectangle of an image.
QSet<QRgb> colours(const QImage &image, const QRect &rect)
{
    QSet<QRgb> seen;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            seen.insert(image.pixel(x, y));
    return seen;
}
} // namespace

class tst_frmSam : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeOwner> m_owner;
    QTemporaryDir m_dir;

    FakeOwner &owner()
    {
        if (!m_owner) {
            m_owner = std::make_unique<FakeOwner>();
            m_owner->show();
        }
        return *m_owner;
    }
    frmSam *sam() { return frmSam::loaded(); }
    SamGrid *grid() { return sam()->findChild<SamGrid *>(QStringLiteral("picList")); }
    QLabel *highlight() { return sam()->findChild<QLabel *>(QStringLiteral("lblTitle")); }
    QAction *deleteItem() { return sam()->findChild<QAction *>(QStringLiteral("mnuF0")); }
    // The centre of cell k, in the grid's pixels.
    QPoint cell(int k) { return grid()->toPixels(grid()->geometryTwips().cellRect(k)).center(); }

    // A catalogue of n entries named /pictures/p<i>.jpg with far-apart signatures.
    void catalogue(int n)
    {
        std::mt19937 random(5);
        owner().table.clear();
        for (int i = 0; i < n; ++i)
            owner().table.append(pictureName(i), randomSignature(random));
    }
    // A catalogue of real files: the first 1,536,000 bytes, the second 1,023, then small ones.
    QStringList files(int n)
    {
        QStringList paths;
        owner().table.clear();
        for (int i = 0; i < n; ++i) {
            paths << m_dir.filePath(QStringLiteral("f%1.jpg").arg(i));
            QFile out(paths.last());
            const qint64 size = i == 0 ? 1536000 : i == 1 ? 1023 : 10;
            if (!out.open(QIODevice::WriteOnly) || out.write(QByteArray(size, 'x')) != size)
                qFatal("cannot write %s", qPrintable(paths.last()));
            owner().table.append(paths.last(), Signature{});
        }
        return paths;
    }
    QStringList run(int mode, TitleWatcher *watcher = nullptr)
    {
        TitleWatcher own;
        if (!watcher)
            watcher = &own;
        frmSam::ShowEx(&owner(), mode);
        return watcher->titles;
    }

private slots:
    void initTestCase()
    {
        // Shared thumbnails are looked up there: none from the user's own folders.
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    }
    void init() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        frmView::unload();
        frmSam::unload();
        m_owner.reset();
        QTRY_VERIFY(!frmSam::loaded());
    }

    void comparisonRun_data()
    {
        QTest::addColumn<std::vector<Signature>>("signatures");
        QTest::addColumn<QList<int>>("unnamed");
        QTest::addColumn<int>("level");
        QTest::addColumn<QList<int>>("expected");
        const Signature g = grey();
        QTest::newRow("0 like 1 and 2, 1 unlike 2: 1, 2, 0")
            << std::vector<Signature>{g, whitePatch(0, 10), whitePatch(10, 10)} << QList<int>() << 0 << QList<int>{1, 2, 0};
        QTest::newRow("2 taken by base 0, 1 left out: 2, 0")
            << std::vector<Signature>{whitePatch(0, 10), whitePatch(10, 10), g} << QList<int>() << 0 << QList<int>{2, 0};
        QTest::newRow("a pair: 1, 0") << std::vector<Signature>{g, g} << QList<int>() << 0 << QList<int>{1, 0};
        QTest::newRow("level 0 groups check value 0 only")
            << std::vector<Signature>{g, checkValueAgainstGrey(1), g} << QList<int>() << 0 << QList<int>{2, 0};
        QTest::newRow("check value exactly the level")
            << std::vector<Signature>{g, checkValueAgainstGrey(7)} << QList<int>() << 7 << QList<int>{1, 0};
        QTest::newRow("check value above the level")
            << std::vector<Signature>{g, checkValueAgainstGrey(7)} << QList<int>() << 6 << QList<int>();
        QTest::newRow("no two alike")
            << std::vector<Signature>{whitePatch(0, 20), whitePatch(20, 20), whitePatch(40, 20)} << QList<int>() << 50
            << QList<int>();
        QTest::newRow("unnamed entries compare with nothing")
            << std::vector<Signature>{g, g, g, g} << QList<int>{0, 2} << 0 << QList<int>{3, 1};
        QTest::newRow("groups follow their bases")
            << std::vector<Signature>{g, whitePatch(0, 20), whitePatch(40, 20), g, whitePatch(0, 20), g} << QList<int>()
            << 0 << QList<int>{3, 5, 0, 4, 1};
    }
    void comparisonRun()
    {
        // The comparison run places each group's members in order and then its base, groups
        // in base order, and shows progress for the bases still unplaced.
        QFETCH(std::vector<Signature>, signatures);
        QFETCH(QList<int>, unnamed);
        QFETCH(int, level);
        QFETCH(QList<int>, expected);
        owner().table.clear();
        for (size_t i = 0; i < signatures.size(); ++i)
            owner().table.append(unnamed.contains(int(i)) ? QString() : pictureName(int(i)), signatures[i]);
        owner().level = level;

        const QStringList titles = run(1);
        QCOMPARE(sam()->placement(), expected.isEmpty() ? QStringList{QString()} : pictureNames(expected));
        QVERIFY(titles.size() >= 2);
        QCOMPARE(titles.last(), QString());
        const QRegularExpression progress(QStringLiteral("^/pictures/p(\\d+)\\.jpgを比較中\\.\\.\\.\\((\\d+)/%1\\)$")
                                              .arg(signatures.size()));
        const QRegularExpressionMatch last = progress.match(titles.at(titles.size() - 2));
        QVERIFY2(last.hasMatch(), qPrintable(titles.join(QLatin1Char('|'))));
        QCOMPARE(last.captured(2).toInt(), last.captured(1).toInt() + 1);
        QVERIFY(sam()->isVisible());
        QVERIFY(!sam()->isRunning());
        QCOMPARE(sam()->windowTitle(), QString());
    }

    void listRunAndReuse()
    {
        // The list run places every entry in catalogue order under progress titles; a second
        // ShowEx on the open window makes it modal again and rebuilds the grid.
        catalogue(13);
        QStringList titles = run(0);
        QCOMPARE(sam()->placement(), pictureNames({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
        QCOMPARE(titles.mid(titles.size() - 2), QStringList({pictureName(12) + QStringLiteral("を表示中...(13/13)"), QString()}));
        QVERIFY(!QApplication::activeModalWidget());

        catalogue(2);
        TitleWatcher watcher;
        bool modal = false;
        watcher.during = [&modal](frmSam *window, const QString &) { modal = QApplication::activeModalWidget() == window; };
        run(0, &watcher);
        QVERIFY(modal);
        QCOMPARE(sam()->placement(), pictureNames({0, 1}));
        QVERIFY(sam()->isVisible());
        QVERIFY(!QApplication::activeModalWidget());
    }

    void closeStopsListRun()
    {
        // Closing the window during a list run stops it before the next picture; the pictures
        // placed stay, and a second close closes the window.
        catalogue(100);
        TitleWatcher watcher;
        int closes = 0;
        watcher.during = [&closes](frmSam *window, const QString &) {
            if (closes++ == 0)
                QVERIFY(!window->close());
        };
        run(0, &watcher);
        const QStringList placed = sam()->placement();
        QVERIFY2(placed.size() > 0 && placed.size() < 100, qPrintable(QString::number(placed.size())));
        for (int i = 0; i < placed.size(); ++i)
            QCOMPARE(placed.at(i), pictureName(i));
        QCOMPARE(watcher.titles.last(), QString());
        QVERIFY(sam()->isVisible());
        QVERIFY(sam()->close());
        QVERIFY(!frmSam::loaded());
    }

    void escDuringComparisonRun_data()
    {
        QTest::addColumn<int>("secondAnswer");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("No goes on with that base") << int(No) << pictureNames({1, 0, 2999, 2990});
        QTest::newRow("Yes keeps the groups placed") << int(Yes) << pictureNames({1, 0});
    }
    void escDuringComparisonRun()
    {
        // Esc asks "中止しますか？"; after Yes the run asks again at the next base, where No
        // goes on as if nothing happened and Yes ends the run with the groups placed so far;
        // after the run, Esc asks and changes nothing.
        QFETCH(int, secondAnswer);
        QFETCH(QStringList, expected);
        catalogue(3000);
        SignatureTable table;
        for (int i = 0; i < 3000; ++i)
            table.append(pictureName(i), owner().table.cells(i == 1 ? 0 : i == 2999 ? 2990 : i));
        owner().table = table;
        owner().level = 10;

        ScriptedDialogs dialogs;
        dialogs.answers << Yes << secondAnswer;
        TitleWatcher watcher;
        bool pressed = false;
        watcher.during = [&pressed](frmSam *window, const QString &) {
            if (!std::exchange(pressed, true))
                QTest::keyClick(window, Qt::Key_Escape);
        };
        run(1, &watcher);
        QCOMPARE(dialogs.messages(), QStringList({StopQuestion, StopQuestion}));
        for (const ScriptedDialogs::Call &call : std::as_const(dialogs.asked)) {
            QCOMPARE(call.style, int(DialogService::YesNoQuestion));
            QCOMPARE(call.owner, sam());
        }
        QCOMPARE(sam()->placement(), expected);
        QVERIFY(sam()->isVisible());

        // After the run Esc still asks; either answer leaves the window as it is.
        dialogs.answers << secondAnswer;
        QTest::keyClick(sam(), Qt::Key_Escape);
        QCOMPARE(dialogs.messages().size(), 3);
        QCOMPARE(sam()->placement(), expected);
        QVERIFY(sam()->isVisible());
    }

    void silentDuringRun()
    {
        // While a run goes on, moves, presses, double clicks and Del change neither the grid
        // nor the catalogue.
        files(100);
        TitleWatcher watcher;
        bool tried = false;
        watcher.during = [this, &tried](frmSam *, const QString &) {
            if (std::exchange(tried, true))
                return;
            moveTo(grid(), cell(0));
            QTest::mousePress(grid(), Qt::LeftButton, Qt::ShiftModifier, cell(0));
            QTest::mouseDClick(grid(), Qt::LeftButton, {}, cell(0));
            QTest::keyClick(sam(), Qt::Key_Delete);
        };
        run(0, &watcher);
        QVERIFY(tried);
        QVERIFY(owner().synced.isEmpty());
        QCOMPARE(owner().deletes, 0);
        QVERIFY(!frmView::isShown());
        QCOMPARE(grid()->toolTip(), QString());
        QVERIFY(highlight()->isHidden());
        QCOMPARE(sam()->windowTitle(), QString());
        QCOMPARE(sam()->placement().size(), 100);
    }

    void pointing()
    {
        // Resting on a picture shows its path and size in whole KB; a press selects it here
        // and in the owner's list (Shift adds to that selection), highlights its caption and
        // makes "削除" available; a press on an empty cell clears the selection; a double
        // click opens the viewer, and the open viewer follows the presses.
        const QStringList paths = files(8);
        run(0);
        moveTo(grid(), cell(0));
        QCOMPARE(grid()->toolTip(), paths[0] + QStringLiteral("(1500KB)"));
        moveTo(grid(), cell(1));
        QCOMPARE(grid()->toolTip(), paths[1] + QStringLiteral("(0KB)"));
        moveTo(grid(), cell(9));
        QCOMPARE(grid()->toolTip(), QString());

        // With 6 columns the 7th picture is in row 1, column 0.
        QTest::mousePress(grid(), Qt::LeftButton, {}, cell(6));
        QCOMPARE(sam()->windowTitle(), paths[6]);
        QVERIFY(highlight()->isVisible());
        const SamGeometry &g = grid()->geometryTwips();
        QCOMPARE(highlight()->geometry(), grid()->toPixels(QRect(0, g.rowHeight() + g.height, g.width, 300)));
        QCOMPARE(highlight()->text(), QStringLiteral("f6.jpg"));
        QTest::mousePress(grid(), Qt::LeftButton, Qt::ShiftModifier, cell(1));
        QCOMPARE(owner().synced, (QList<QPair<QString, bool>>{{paths[6], false}, {paths[1], true}}));
        QVERIFY(deleteItem()->isEnabled());
        QTest::keyClick(sam(), Qt::Key_Delete);
        QCOMPARE(owner().deletes, 1);
        QStringList deleted = owner().deleted.value(0);
        deleted.sort();
        QCOMPARE(deleted, QStringList({paths[1], paths[6]}));

        // An empty cell leaves the list's selection, and so the marks and "削除", as they were.
        QTest::mousePress(grid(), Qt::LeftButton, {}, cell(10));
        QCOMPARE(sam()->windowTitle(), QString());
        QCOMPARE(owner().synced.last(), (QPair<QString, bool>{QString(), false}));
        QVERIFY(deleteItem()->isEnabled());
        QVERIFY(highlight()->isVisible()); // it stays where it was

        // A double click shows the selection in the viewer, which then follows every press.
        QTest::mouseClick(grid(), Qt::LeftButton, {}, cell(6));
        QTest::mouseDClick(grid(), Qt::LeftButton, {}, cell(6));
        QVERIFY(frmView::isShown());
        QCOMPARE(frmView::loaded()->windowTitle(), paths[6]);
        QTest::mousePress(grid(), Qt::LeftButton, {}, cell(2));
        QCOMPARE(frmView::loaded()->windowTitle(), paths[2]);
    }

    void contextMenu_data()
    {
        QTest::addColumn<int>("cell");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("inside");
        QTest::newRow("on a picture") << 2 << true << true;
        QTest::newRow("on an empty cell of the last row") << 5 << false << true;
        QTest::newRow("below the last row") << 6 << false << false;
    }
    void contextMenu()
    {
        // A right press selects what is under the pointer and opens "ファイル" as a context
        // menu, "削除" enabled only over a picture; below the last row it does nothing.
        QFETCH(int, cell);
        QFETCH(bool, enabled);
        QFETCH(bool, inside);
        catalogue(4);
        run(0);
        auto *menu = sam()->findChild<QMenu *>(QStringLiteral("mnuFile"));
        bool shown = false;
        bool itemEnabled = !enabled;
        QTimer::singleShot(0, menu, [&] {
            shown = menu->isVisible();
            itemEnabled = deleteItem()->isEnabled();
            menu->close();
        });
        QTest::mousePress(grid(), Qt::RightButton, {}, this->cell(cell));
        QCOMPARE(shown, inside);
        QCOMPARE(owner().synced.size(), inside ? 1 : 0);
        if (inside)
            QCOMPARE(itemEnabled, enabled);
        QCOMPARE(sam()->windowTitle(), enabled ? pictureName(cell) : QString());
    }

    void scrolling()
    {
        // A grid taller than the window scrolls by rows: the slider starts at 1, and value v
        // shows row v - 1 at the top, where a press then lands.
        owner().columns = 1;
        catalogue(13);
        run(0);
        auto *slider = sam()->findChild<QSlider *>(QStringLiteral("sldList"));
        QVERIFY(slider->isEnabled());
        QCOMPARE(slider->minimum(), 1);
        QCOMPARE(slider->value(), 1);
        QVERIFY(slider->maximum() >= 2);
        slider->setValue(3);
        QCOMPARE(grid()->areaTop(), -2 * grid()->geometryTwips().rowHeight());
        QTest::mousePress(grid(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(sam()->windowTitle(), pictureName(2));
    }

    void thumbnails()
    {
        // Thumbnails appear as they are decoded, stretched over the whole picture part of
        // their cells; a file that cannot be decoded keeps its caption and an empty picture.
        const QString photo = m_dir.filePath(QStringLiteral("wide.jpg"));
        QImage image(300, 100, QImage::Format_RGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(photo, "JPEG"));
        const QString broken = m_dir.filePath(QStringLiteral("broken.jpg"));
        QFile out(broken);
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write("not a picture") > 0);
        out.close();
        owner().table.clear();
        owner().table.append(photo, Signature{});
        owner().table.append(broken, Signature{});
        run(0);
        QTRY_VERIFY(grid()->thumbnails().state(photo) == ThumbnailCache::State::Ready
                    && grid()->thumbnails().state(broken) == ThumbnailCache::State::Failed);

        const QImage shot = grid()->grab().toImage();
        const SamGeometry &g = grid()->geometryTwips();
        const QRgb background = grid()->palette().color(QPalette::Window).rgb();
        const QRect redPicture = grid()->toPixels(QRect(0, 0, g.width, g.height));
        for (const QPoint &corner : {redPicture.topLeft(), redPicture.topRight(), redPicture.bottomLeft(),
                                     redPicture.bottomRight(), redPicture.center()}) {
            const QColor c = shot.pixelColor(corner);
            QVERIFY2(c.red() > 200 && c.green() < 60 && c.blue() < 60, qPrintable(c.name()));
        }
        QCOMPARE(colours(shot, grid()->toPixels(QRect(g.width, 0, g.width, g.height))), QSet<QRgb>{background});
        for (int column : {0, 1})
            QVERIFY(colours(shot, grid()->toPixels(QRect(column * g.width, g.height, g.width, 300))).size() > 1);
    }

    void nothingWhileOwnerBusy()
    {
        // While the owner runs a command of its own, the grid's 削除 and the rules do nothing.
        owner().table.clear();
        for (int i = 0; i < 3; ++i)
            owner().table.append(pictureName(i), grey());
        run(1);
        QTest::mousePress(grid(), Qt::LeftButton, {}, cell(2));
        QVERIFY(deleteItem()->isEnabled());
        owner().busy = true;
        QTest::keyClick(sam(), Qt::Key_Delete);
        sam()->findChild<QAction *>(QStringLiteral("mnuS5"))->trigger();
        QCOMPARE(owner().deletes, 0);
        QVERIFY(owner().holds.isEmpty());
        QCOMPARE(owner().selection, pictureNames({0}));
    }

    void delSamPics()
    {
        // Deleting the picture in row 2, column 3 empties its entry and paints its whole cell,
        // picture and caption, in the background colour; nothing else changes, and the cell
        // then behaves as empty.
        const QStringList paths = files(20);
        run(0);
        QTest::mousePress(grid(), Qt::LeftButton, {}, cell(15));
        const QRect blanked = grid()->toPixels(QRect(QPoint(3600, 3800), QPoint(4800, 5700) - QPoint(1, 1)));
        const QRect neighbour = grid()->toPixels(grid()->geometryTwips().cellRect(14));
        const QImage before = grid()->grab().toImage();
        const QSet<QRgb> background{grid()->palette().color(QPalette::Window).rgb()};
        QVERIFY(colours(before, blanked) != background);

        sam()->DelSamPics(QStringLiteral("/not/on/the/grid.jpg"));
        QVERIFY(highlight()->isVisible());
        sam()->DelSamPics(paths[15]);
        QCOMPARE(sam()->placement().at(15), QString());
        QCOMPARE(sam()->placement().size(), 20);
        QVERIFY(highlight()->isHidden());
        QCOMPARE(sam()->windowTitle(), paths[15]);
        const QImage after = grid()->grab().toImage();
        QCOMPARE(colours(after, blanked), background);
        QCOMPARE(after.copy(neighbour), before.copy(neighbour));

        moveTo(grid(), cell(15));
        QCOMPARE(grid()->toolTip(), QString());
        QTest::mousePress(grid(), Qt::LeftButton, {}, cell(15));
        QCOMPARE(sam()->windowTitle(), QString());
    }

    void delSamPicsBlanksEveryCellOfAPicture_data()
    {
        // A picture held twice by the catalogue stands in two cells of a list run; deleted,
        // it leaves both, alone or among many, and the marked count follows.
        QTest::addColumn<QList<int>>("deleted");
        QTest::addColumn<QStringList>("placement");
        QTest::addColumn<int>("marked");
        const QString p0 = pictureName(0);
        const QString p1 = pictureName(1);
        const QString p2 = pictureName(2);
        QTest::newRow("the picture held twice") << QList<int>{0} << QStringList{"", p1, "", p2} << 1;
        QTest::newRow("with another") << QList<int>{2, 0} << QStringList{"", p1, "", ""} << 1;
        QTest::newRow("one held once") << QList<int>{1} << QStringList{p0, "", p0, p2} << 1;
        QTest::newRow("not on the grid") << QList<int>{5} << QStringList{p0, p1, p0, p2} << 2;
    }

    void delSamPicsBlanksEveryCellOfAPicture()
    {
        QFETCH(QList<int>, deleted);
        QFETCH(QStringList, placement);
        QFETCH(int, marked);
        owner().table.clear();
        for (int i : {0, 1, 0, 2})
            owner().table.append(pictureName(i), grey());
        run(0);
        grid()->setSelection(pictureNames({0, 1}));
        QCOMPARE(grid()->markedPaths().size(), 2);
        sam()->DelSamPics(pictureNames(deleted));
        QCOMPARE(sam()->placement(), placement);
        QCOMPARE(int(grid()->markedPaths().size()), marked);
        QCOMPARE(grid()->hasMarks(), marked > 0);
    }

    void titlesShowPathsAsTheyAre_data()
    {
        QTest::addColumn<bool>("viewer");
        QTest::newRow("similar pictures") << false;
        QTest::newRow("viewer") << true;
    }
    void titlesShowPathsAsTheyAre()
    {
        // A path holding "[*]" keeps it in the title the window system shows.
        QFETCH(bool, viewer);
        const QString path = QStringLiteral("/pictures/x[*]y/p0.jpg");
        owner().table.clear();
        owner().table.append(path, Signature{});
        run(0);
        QWidget *window = sam();
        if (viewer) {
            frmView::ShowEx(&owner(), path);
            QTRY_VERIFY(frmView::loaded() && frmView::loaded()->windowHandle());
            window = frmView::loaded();
        } else {
            QTest::mousePress(grid(), Qt::LeftButton, {}, cell(0));
        }
        QCOMPARE(window->windowHandle()->title(), path);
    }

    void cacheCapacityBounded_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("side"); // SamWidth = SamHeight, twips
        QTest::newRow("default") << 6 << 1200;
        QTest::newRow("largest the settings allow") << 99 << 9999;
    }
    void cacheCapacityBounded()
    {
        // The thumbnail cache holds at least the rows in view and no more than 256 MiB unless those alone need more.
        QFETCH(int, columns);
        QFETCH(int, side);
        SamGrid grid;
        grid.resize(800, 600);
        grid.setGeometryTwips(SamGeometry::fromSettings(columns, side, side));
        const QSize cell = grid.toPixels(QRect(0, 0, side, side)).size();
        const int rows = 600 / grid.toPixels(QRect(0, 0, side, side + 300)).height() + 2;
        const qint64 inView = qint64(rows) * columns * cell.width() * cell.height() * 4;
        const qint64 capacity = grid.thumbnails().capacity();
        QVERIFY(capacity >= inView * (rows - 1) / rows);
        QVERIFY(capacity <= qMax<qint64>(256LL * 1024 * 1024, inView));
    }

    void gridFollowsLargeChangesInOrder_data()
    {
        // Steps over the paths g0..g29999, of which g0..g19999 are on the grid: "select A B"
        // and "deselect A B" (the list's change of gA..g(B-1)), "blank A B", "set A B" (the
        // whole selection), "settle". Then whether the grid still follows, and in the end
        // the marked cells A..B-1 and how often it said it had followed.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("following");
        QTest::addColumn<QPair<int, int>>("marked");
        QTest::addColumn<int>("followed");
        const int over = int(SamGrid::FollowedAtOnce) + 100;
        const QString large = QStringLiteral("select 0 30000");
        QTest::newRow("a small change at once") << QStringList{"select 0 100"} << false << qMakePair(0, 100) << 0;
        QTest::newRow("as large as is followed at once")
            << QStringList{QStringLiteral("select 0 %1").arg(SamGrid::FollowedAtOnce)} << false
            << qMakePair(0, int(SamGrid::FollowedAtOnce)) << 0;
        QTest::newRow("a large change over turns") << QStringList{large} << true << qMakePair(0, 20000) << 1;
        QTest::newRow("a small change waits behind a large one")
            << QStringList{large, "deselect 0 10"} << true << qMakePair(10, 20000) << 1;
        QTest::newRow("a large deselection after a large selection")
            << QStringList{large, "deselect 0 30000"} << true << qMakePair(0, 0) << 1;
        QTest::newRow("two large changes, the second one inside a slice")
            << QStringList{QStringLiteral("select 0 %1").arg(over), QStringLiteral("select %1 20000").arg(over)}
            << true << qMakePair(0, 20000) << 1;
        QTest::newRow("settled at once") << QStringList{large, "settle"} << false << qMakePair(0, 20000) << 1;
        QTest::newRow("blanked while followed") << QStringList{large, "blank 0 5000"} << true << qMakePair(5000, 20000) << 1;
        QTest::newRow("a whole new selection drops what waits")
            << QStringList{large, "set 100 200"} << false << qMakePair(100, 200) << 1;
    }
    void gridFollowsLargeChangesInOrder()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, following);
        using Range = QPair<int, int>;
        QFETCH(Range, marked);
        QFETCH(int, followed);
        const auto paths = [](int from, int to) {
            QStringList list;
            for (int i = from; i < to; ++i)
                list << QStringLiteral("/grid/g%1.jpg").arg(i);
            return list;
        };
        SamGrid grid;
        grid.resize(800, 600);
        grid.setGeometryTwips(SamGeometry::fromSettings(6, 1200, 1200));
        for (const QString &path : paths(0, 20000))
            grid.place(path);
        QSignalSpy said(&grid, &SamGrid::selectionFollowed);
        for (const QString &step : std::as_const(steps)) {
            const QStringList word = step.split(QLatin1Char(' '));
            const QStringList named = word.size() == 3 ? paths(word[1].toInt(), word[2].toInt()) : QStringList();
            if (word[0] == QLatin1String("select"))
                grid.changeSelection(named, {});
            else if (word[0] == QLatin1String("deselect"))
                grid.changeSelection({}, named);
            else if (word[0] == QLatin1String("blank"))
                grid.blankPictures(named);
            else if (word[0] == QLatin1String("set"))
                grid.setSelection(named);
            else
                grid.settleSelection();
        }
        QCOMPARE(grid.isFollowing(), following);
        QTRY_VERIFY(!grid.isFollowing());
        QStringList shown = grid.markedPaths();
        shown.sort();
        QStringList expected = paths(marked.first, marked.second);
        expected.sort();
        QCOMPARE(shown, expected);
        QCOMPARE(grid.hasMarks(), !expected.isEmpty());
        QCOMPARE(grid.isMarked(marked.first), marked.first < marked.second);
        QCOMPARE(said.size(), followed);
    }
};

QTEST_MAIN(tst_frmSam)
#include "tst_frmSam.moc"
