// What a first-time user meets going from the main window to the grid and the compare
// window and back: what a deletion question names, the count after every deletion, where
// the compare window starts and how it pages, the copy its best rule keeps, the notes after
// an add or optimise, what a rule selected, a picture whose file is gone, and the level's
// number. One table, driven through the scripted dialogs and keys.

#include "samtestsupport.h"

#include "lumodriver.h"
#include "picturefiles.h"

#include <comparepane.h>
#include <frmCompare.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

namespace {
const QString Question = QStringLiteral("リストから削除します。実際のファイルも削除しますか？");
const QString Where = QStringLiteral("\n\n「はい」: ファイルもごみ箱へ移動します\n「いいえ」: リストからのみ削除し、ファイルは残します");
} // namespace

class tst_firstuse : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;
    QStringList m_paths;

    frmSam *sam() { return frmSam::loaded(); }
    SamGrid *grid() { return sam()->findChild<SamGrid *>(QStringLiteral("picList")); }
    QPoint cell(int k) { return grid()->toPixels(grid()->geometryTwips().cellRect(k)).center(); }
    QString path(const QString &name) { return m_dir->filePath(name + QStringLiteral(".jpg")); }
    static QString names(QStringList paths, bool sorted = false)
    {
        for (QString &each : paths)
            each = QFileInfo(each).completeBaseName();
        if (sorted)
            paths.sort();
        return paths.join(QLatin1Char(' '));
    }

    // One step of a row: what the user does.
    void act(const QString &step, ScriptedDialogs &dialogs)
    {
        const QString verb = step.section(QLatin1Char(' '), 0, 0);
        const QString what = step.section(QLatin1Char(' '), 1);
        if (verb == QLatin1String("search")) {
            lumo.run("mnuJ2");
            QTRY_VERIFY(sam() && !sam()->isRunning());
        } else if (verb == QLatin1String("press")) {
            QTest::mousePress(grid(), Qt::LeftButton, {}, cell(what.toInt()));
        } else if (verb == QLatin1String("move")) {
            const QPoint at = cell(what.toInt());
            QMouseEvent move(QEvent::MouseMove, at, grid()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(grid(), &move);
        } else if (verb == QLatin1String("answer")) {
            dialogs.answers << (what == QLatin1String("Yes") ? DialogService::Yes
                                : what == QLatin1String("No") ? DialogService::No
                                                              : DialogService::Cancel);
        } else if (verb == QLatin1String("compare")) {
            sam()->findChild<QAction *>(QStringLiteral("mnuCompare"))->trigger();
            QVERIFY(frmCompare::loaded());
            QVERIFY(QTest::qWaitForWindowActive(frmCompare::loaded()));
        } else if (verb == QLatin1String("ckey") || verb == QLatin1String("skey")) {
            QWidget *window = verb == QLatin1String("ckey") ? static_cast<QWidget *>(frmCompare::loaded()) : sam();
            QVERIFY(window);
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            const QKeySequence sequence(what);
            QTest::keyClick(window, Qt::Key(sequence[0].key()), sequence[0].keyboardModifiers());
        } else if (verb == QLatin1String("all")) {
            lumo.select(lumo.rowKeys());
        } else if (verb == QLatin1String("delete")) {
            lumo.run("mnuL3");
        } else if (verb == QLatin1String("rule")) {
            sam()->findChild<QAction *>(QStringLiteral("mnuS%1").arg(what))->trigger();
            QTRY_VERIFY(!sam()->isApplyingRule());
        } else if (verb == QLatin1String("rename")) {
            QVERIFY(QFile::rename(path(what), path(what) + QStringLiteral(".moved")));
        } else if (verb == QLatin1String("copy")) {
            QVERIFY(QFile::copy(path(what.section(QLatin1Char(' '), 0, 0)), path(what.section(QLatin1Char(' '), 1))));
        } else if (verb == QLatin1String("remove")) {
            QVERIFY(QFile::remove(path(what)));
        } else if (verb == QLatin1String("folder")) {
            dialogs.folders << m_dir->path();
            lumo.run("mnuL0");
        } else if (verb == QLatin1String("files")) {
            // The dialog's answer for several files: the folder, then each name, NUL between.
            QStringList parts{m_dir->path()};
            for (const QString &name : what.split(QLatin1Char(' ')))
                parts << name + QStringLiteral(".jpg");
            dialogs.files << parts.join(QChar(u'\0'));
            lumo.run("mnuL2");
        } else if (verb == QLatin1String("drop")) {
            QStringList paths;
            for (const QString &name : what.split(QLatin1Char(' ')))
                paths << path(name);
            lumo.drop(paths);
        } else if (verb == QLatin1String("optimise")) {
            lumo.run("mnuL5");
        } else if (verb == QLatin1String("level")) {
            auto *slider = lumo.window().findChild<QSlider *>(QStringLiteral("sldLike"));
            slider->setFocus();
            QTest::keyClick(slider, Qt::Key(QKeySequence(what)[0].key()));
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }

    // What one expectation names, as it stands now.
    QString seen(const QString &what, const ScriptedDialogs &dialogs)
    {
        const QList<ScriptedDialogs::Call> asked = dialogs.calls(QStringLiteral("ShowMessage"));
        frmCompare *compare = frmCompare::loaded();
        const QList<ComparePane *> panes = compare ? compare->findChildren<ComparePane *>() : QList<ComparePane *>();
        if (what == QLatin1String("question"))
            return asked.isEmpty() ? QStringLiteral("<none>") : asked.last().text;
        if (what == QLatin1String("detail"))
            return asked.isEmpty() ? QStringLiteral("<none>") : asked.last().detail;
        if (what == QLatin1String("FileCount") || what == QLatin1String("Info") || what == QLatin1String("Note"))
            return lumo.panel(qPrintable(what));
        if (what == QLatin1String("rows"))
            return names(lumo.rowKeys());
        if (what == QLatin1String("selected")) {
            QStringList keys;
            const QModelIndexList rows = lumo.list()->selectionModel()->selectedRows();
            for (const QModelIndex &row : rows)
                keys << row.data(Qt::UserRole).toString();
            return names(keys, true);
        }
        if (what == QLatin1String("title"))
            return compare ? compare->windowTitle() : QStringLiteral("<closed>");
        if (what == QLatin1String("panes"))
            return compare ? names(compare->pictures()) : QStringLiteral("<closed>");
        if (what == QLatin1String("current"))
            return compare ? names({compare->pictures().value(compare->current())}) : QStringLiteral("<closed>");
        if (what == QLatin1String("best")) {
            for (const ComparePane *pane : panes)
                if (pane->isBest())
                    return names({pane->path()});
            return QString();
        }
        if (what == QLatin1String("samTitle"))
            return sam()->windowTitle();
        if (what == QLatin1String("samStatus"))
            return sam()->findChild<QLabel *>(QStringLiteral("lblStatus"))->text();
        if (what == QLatin1String("tip"))
            return grid()->toolTip();
        if (what == QLatin1String("missing")) {
            QStringList missing;
            for (const QString &each : std::as_const(m_paths))
                if (grid()->isMissing(each))
                    missing << each;
            return names(missing);
        }
        if (what == QLatin1String("level"))
            return lumo.panel("lblLikeValue");
        if (what == QLatin1String("levelTip"))
            return lumo.window().findChild<QSlider *>(QStringLiteral("sldLike"))->toolTip();
        if (what == QLatin1String("shownTip"))
            return QToolTip::isVisible() ? QToolTip::text() : QStringLiteral("<hidden>");
        if (what == QLatin1String("levelPlace")) {
            // On the slider's band, after its right end.
            const QWidget *slider = lumo.window().findChild<QSlider *>(QStringLiteral("sldLike"));
            const QWidget *value = lumo.window().findChild<QLabel *>(QStringLiteral("lblLikeValue"));
            const QRect at = value->geometry();
            const bool beside = value->isVisible() && value->parentWidget() == slider->parentWidget()
                && at.left() >= slider->geometry().right() && at.center().y() >= slider->geometry().top()
                && at.center().y() <= slider->geometry().bottom();
            return beside ? QStringLiteral("beside") : QStringLiteral("at %1,%2").arg(at.x()).arg(at.y());
        }
        return QStringLiteral("<unknown ") + what + QLatin1Char('>');
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        // p0, p1, p2 alike and p3, p4 alike: the grid shows p1 p2 p0, then p4 p3. p0 has the
        // most pixels; the others are the same file byte for byte, so that only their order
        // in the catalogue tells them apart. p5 to p9 are like nothing.
        const QDateTime time = QDateTime::currentDateTime().addDays(-1);
        std::mt19937 random(3);
        std::vector<Signature> cells;
        m_paths.clear();
        for (int i = 0; i < 10; ++i) {
            m_paths << path(QStringLiteral("p%1").arg(i));
            QVERIFY(writeSizedPicture(m_paths.last(), i == 0 ? QSize(128, 96) : QSize(64, 48), 4000, time));
            cells.push_back(i < 3 ? grey() : i < 5 ? whitePatch(0, 20) : randomSignature(random));
        }
        lumo.openCatalogue(m_dir->filePath(QStringLiteral("c.sbx")), m_paths, cells);
    }
    void cleanup()
    {
        lumo.reset();
        QTRY_VERIFY(!frmSam::loaded());
        QTRY_VERIFY(!frmCompare::loaded());
        m_home.emptyTrash();
    }

    void rows_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected"); // "what=value", "what^=start"; @ the pictures' folder

        // The deletion question names what goes and where.
        QTest::newRow("Del on the grid names the pressed picture")
            << QStringList{"search", "press 0", "answer No", "skey Del"}
            << QStringList{"question=" + Question, "detail=対象は1個の画像です:\np1.jpg" + Where,
                           "rows=p0 p2 p3 p4 p5 p6 p7 p8 p9"};
        QTest::newRow("ten selected: five names, then the rest counted")
            << QStringList{"all", "answer Cancel", "delete"}
            << QStringList{"question=" + Question,
                           "detail=対象は10個の画像です:\np0.jpg\np1.jpg\np2.jpg\np3.jpg\np4.jpg\n…他5件" + Where,
                           "FileCount=10個のファイル", "rows=p0 p1 p2 p3 p4 p5 p6 p7 p8 p9"};
        QTest::newRow("nothing selected says so")
            << QStringList{"answer Cancel", "delete"} << QStringList{"detail=選択された画像はありません。"};
        QTest::newRow("Delete in 比較 asks the same")
            << QStringList{"search", "press 0", "compare", "answer No", "ckey Del"}
            << QStringList{"question=" + Question, "detail=対象は1個の画像です:\np1.jpg" + Where};

        // The count follows every deletion.
        QTest::newRow("the count after Del on the grid")
            << QStringList{"search", "press 0", "answer No", "skey Del"} << QStringList{"FileCount=9個のファイル"};
        QTest::newRow("the count after Delete in 比較")
            << QStringList{"search", "press 1", "compare", "answer Yes", "ckey Del"}
            << QStringList{"FileCount=9個のファイル", "panes=p1 p0", "rows=p0 p1 p3 p4 p5 p6 p7 p8 p9"};

        // 比較 starts on the picture it was given.
        QTest::newRow("比較 on the second picture")
            << QStringList{"search", "press 1", "compare"} << QStringList{"current=p2", "panes=p1 p2 p0"};
        QTest::newRow("Enter on the base")
            << QStringList{"search", "press 2", "skey Return"} << QStringList{"current=p0", "title=比較 - 1/2"};
        QTest::newRow("Space unmarks the picture pressed")
            << QStringList{"search", "press 1", "compare", "ckey Space"} << QStringList{"selected="};

        // A group left with one picture is passed over; the last group says so.
        QTest::newRow("a group left with one picture gives way to the next")
            << QStringList{"search", "press 0", "compare", "ckey Tab", "ckey Space", "answer No", "ckey Del"}
            << QStringList{"title=比較 - 2/2", "panes=p4 p3", "current=p4"};
        QTest::newRow("PageDown at the last group says it is the last")
            << QStringList{"search", "press 0", "compare", "ckey PgDown", "ckey PgDown"}
            << QStringList{"title=比較 - 2/2 (最後のグループです)", "panes=p4 p3"};
        QTest::newRow("the last group left with one picture says it is the last")
            << QStringList{"search", "press 3", "compare", "answer No", "ckey Del"}
            << QStringList{"title=比較 - 2/2 (最後のグループです)", "panes=p3"};
        QTest::newRow("PageDown passes over a group the grid left with one picture")
            << QStringList{"search", "press 4", "answer No", "skey Del", "press 0", "compare", "ckey PgDown"}
            << QStringList{"title=比較 - 1/2 (最後のグループです)", "panes=p1 p2 p0"};

        // One plan for the best copy, in both windows, also once the base is gone.
        QTest::newRow("Ctrl+B with the base deleted drops what 選択 drops")
            << QStringList{"search", "press 2", "answer No", "skey Del", "press 0", "compare", "ckey Ctrl+B"}
            << QStringList{"selected=p2", "best=p1"};
        QTest::newRow("選択 with the base deleted, told in the window")
            << QStringList{"search", "press 2", "answer No", "skey Del", "rule 0"}
            << QStringList{"selected=p2 p4", "samStatus=2個の画像を選択しました", "samTitle=@/p0.jpg"};
        QTest::newRow("★ on the kept copy with the base there")
            << QStringList{"search", "press 0", "compare"} << QStringList{"best=p0"};
        QTest::newRow("選択を解除, told in the window")
            << QStringList{"search", "press 0", "rule 7"} << QStringList{"selected=", "samStatus=0個の画像を選択しました"};
        QTest::newRow("a press that changes the selection clears the window's note")
            << QStringList{"search", "rule 0", "press 0"} << QStringList{"selected=p1", "samStatus="};
        QTest::newRow("a deletion clears the window's note")
            << QStringList{"search", "rule 0", "answer No", "skey Del"}
            << QStringList{"selected=", "samStatus=", "FileCount=7個のファイル"};
        QTest::newRow("a new run clears the window's note")
            << QStringList{"search", "rule 0", "search"} << QStringList{"samStatus="};

        // Adding and optimising count what they changed.
        QTest::newRow("a folder added again: nothing new")
            << QStringList{"folder"}
            << QStringList{"Info=追加完了", "Note=新規 0個、登録済み 10個", "FileCount=10個のファイル"};
        QTest::newRow("a folder with one picture more")
            << QStringList{"copy p0 n0", "folder"}
            << QStringList{"Info=追加完了", "Note=新規 1個、登録済み 10個", "FileCount=11個のファイル"};
        QTest::newRow("two files chosen, one of them listed")
            << QStringList{"copy p0 n0", "files p3 n0"}
            << QStringList{"Info=追加完了", "Note=新規 1個、登録済み 1個", "FileCount=11個のファイル"};
        QTest::newRow("two files dropped, one of them listed")
            << QStringList{"copy p0 n0", "drop n0 p3"} << QStringList{"Note=新規 1個、登録済み 1個", "FileCount=11個のファイル"};
        QTest::newRow("optimise counts what it dropped")
            << QStringList{"remove p9", "remove p5", "optimise"}
            << QStringList{"Info=読込完了", "Note=ファイルのない2個を除外しました", "FileCount=8個のファイル"};
        QTest::newRow("the next command clears the note")
            << QStringList{"folder", "answer Cancel", "delete"} << QStringList{"Note="};

        // A picture whose file has gone carries a mark and says why.
        QTest::newRow("a file renamed away")
            << QStringList{"rename p1", "search", "move 0"} << QStringList{"missing=p1", "tip=ファイルがありません"};
        QTest::newRow("a file that is there has no mark")
            << QStringList{"search", "move 0"} << QStringList{"missing=", "tip^=@/p1.jpg(3KB)"};

        // The level as a number.
        QTest::newRow("the level at the start")
            << QStringList{} << QStringList{"level=0", "levelTip=0", "levelPlace=beside"};
        QTest::newRow("the level follows the keys")
            << QStringList{"level Right", "level Right", "level PgUp"}
            << QStringList{"level=7", "levelTip=7", "shownTip=7", "levelPlace=beside"};
    }
    void rows()
    {
        // Each row: the steps leave exactly the values expected, nothing but the texts named
        // asked, and the grid's and list's windows open.
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        ScriptedDialogs dialogs;
        for (const QString &step : std::as_const(steps)) {
            act(step, dialogs);
            if (QTest::currentTestFailed())
                return;
        }
        for (const QString &expectation : std::as_const(expected)) {
            const bool prefix = expectation.section(QLatin1Char('='), 0, 0).endsWith(QLatin1Char('^'));
            QString what = expectation.section(QLatin1Char('='), 0, 0);
            what.remove(QLatin1Char('^'));
            const QString value = expectation.section(QLatin1Char('='), 1).replace(QLatin1Char('@'), m_dir->path());
            if (prefix)
                QTRY_VERIFY2(seen(what, dialogs).startsWith(value), qPrintable(what + ": " + seen(what, dialogs)));
            else
                QTRY_COMPARE(seen(what, dialogs), value);
        }
        QVERIFY(dialogs.answers.isEmpty());
    }
};

QTEST_MAIN(tst_firstuse)
#include "tst_firstuse.moc"
