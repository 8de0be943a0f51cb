// Pictures marked not alike in the similar-pictures window: the runs keep the pairs apart,
// marking takes the pictures off the grid and remembers them, and the review forgets them.

#include "notalikecases.h"
#include "outside/scripteddialogs.h"
#include "samtestsupport.h"

#include <notalikedialog.h>
#include <samgrid.h>

#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(NotAlikeCase)

class tst_notalike : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeOwner m_owner;

    frmSam *sam() { return frmSam::loaded(); }
    QStringList search(const std::vector<CasePicture> &pictures, SimilarRule rule = {})
    {
        m_owner.table = caseTable({"", pictures, {}, {}});
        m_owner.level = 10;
        m_owner.rule = rule;
        frmSam::ShowEx(&m_owner, 1);
        return sam()->placement();
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_dir.path().toLocal8Bit());
        m_owner.show();
    }
    void cleanupTestCase() { frmSam::unload(); }
    void init() { QFile::remove(NotAlikeDecisions::userFile()); }

    void groups_data()
    {
        QTest::addColumn<NotAlikeCase>("row");
        for (const NotAlikeCase &row : notAlikeCases())
            QTest::newRow(row.name) << row;
    }
    void groups()
    {
        // The comparison run never places pictures marked not alike in one group.
        QFETCH(NotAlikeCase, row);
        NotAlikeDecisions decisions;
        markCase(row, decisions);
        QVERIFY(decisions.save());
        QStringList expected;
        for (const std::vector<int> &group : row.expected)
            for (int entry : group)
                expected << casePath(entry);
        QCOMPARE(search(row.pictures, row.rule), expected.isEmpty() ? QStringList{QString()} : expected);
    }

    void marking_data()
    {
        QTest::addColumn<int>("pressed");
        QTest::addColumn<bool>("wholeGroup");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("again");
        const QString p0 = casePath(0), p1 = casePath(1), p2 = casePath(2), none;
        QTest::newRow("a member") << 0 << false << QStringList{none, p2, p0} << QStringList{p2, p0};
        QTest::newRow("the base") << 2 << false << QStringList{p1, p2, none} << QStringList{p2, p1};
        QTest::newRow("the group") << 1 << true << QStringList{none, none, none} << QStringList{none};
    }
    void marking()
    {
        // Marking the pressed picture (or its group) blanks its cells at once, leaves the
        // catalogue alone, and the next run keeps the pairs apart.
        QFETCH(int, pressed);
        QFETCH(bool, wholeGroup);
        QFETCH(QStringList, after);
        QFETCH(QStringList, again);
        search({{0}, {3}, {6}});
        auto *grid = sam()->findChild<SamGrid *>(QStringLiteral("picList"));
        QTest::mousePress(grid, Qt::LeftButton, {}, grid->toPixels(grid->geometryTwips().cellRect(pressed)).center());
        emit sam()->findChild<QMenu *>(QStringLiteral("mnuFile"))->aboutToShow();
        sam()->findChild<QAction *>(wholeGroup ? QStringLiteral("mnuNotAlikeGroup") : QStringLiteral("mnuNotAlike"))->trigger();
        QCOMPARE(sam()->placement(), after);
        QCOMPARE(m_owner.infos.last(), QStringLiteral("似ていない画像として記録しました"));
        QCOMPARE(m_owner.table.count(), 3);
        QCOMPARE(search({{0}, {3}, {6}}), again);
    }

    void review_data()
    {
        QTest::addColumn<bool>("all");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QStringList>("left");
        const QString pair0 = casePath(0) + '\n' + casePath(1), pair2 = casePath(4) + '\n' + casePath(5);
        const QString pair1 = casePath(2) + QStringLiteral("\n/moved/now.jpg");
        QTest::newRow("forget the selected") << false << 0 << QStringList{pair1};
        QTest::newRow("forget all, yes") << true << int(DialogService::Yes) << QStringList{};
        QTest::newRow("forget all, no") << true << int(DialogService::No) << QStringList{pair2, pair1, pair0};
    }
    void review()
    {
        // The review lists the pairs newest first, by the catalogue's path where it holds the
        // picture, and forgets the selected ones, or all of them after a Yes.
        QFETCH(bool, all);
        QFETCH(int, answer);
        QFETCH(QStringList, left);
        NotAlikeDecisions decisions;
        for (int i = 0; i < 3; ++i)
            decisions.add(caseSignature({10 * i}), casePath(2 * i), caseSignature({10 * i + 5}), casePath(2 * i + 1), i);
        QVERIFY(decisions.save());
        SignatureTable catalogue; // the second pair's second picture has moved
        catalogue.append(QStringLiteral("/moved/now.jpg"), caseSignature({15}));
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(answer);
        NotAlikeDialog dialog(catalogue);
        auto *list = dialog.findChild<QListWidget *>(QStringLiteral("lstPairs"));
        list->item(0)->setSelected(true);
        list->item(2)->setSelected(true);
        dialog.findChild<QPushButton *>(all ? QStringLiteral("cmdForgetAll") : QStringLiteral("cmdForget"))->click();
        QStringList shown;
        for (int row = 0; row < list->count(); ++row)
            shown << list->item(row)->text();
        QCOMPARE(shown, left);
        QCOMPARE(dialogs.asked.size(), all ? 1 : 0);
        QVERIFY(decisions.load());
        QCOMPARE(decisions.pairs().size(), size_t(left.size()));
    }
};

QTEST_MAIN(tst_notalike)
#include "tst_notalike.moc"
