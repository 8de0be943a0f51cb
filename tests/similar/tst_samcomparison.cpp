// The similar-pictures window's comparisons: a search is made on the pool, so the window's
// thread does not pack a large catalogue's signatures, and a search cancelled while it is
// being made leaves nothing behind that reads the catalogue.

#include "samtestsupport.h"

#include <samcomparison.h>

#include <QSignalSpy>
#include <QtTest>

#include <random>

namespace {
SignatureTable randomTable(int count)
{
    std::mt19937 random(3);
    SignatureTable table(SignatureTable::Unlimited);
    for (int i = 0; i < count; ++i)
        table.append(i % 5 == 1 ? QString() : pictureName(i), randomSignature(random));
    return table;
}
} // namespace

class tst_samcomparison : public QObject
{
    Q_OBJECT

private slots:
    void firstBaseOnceMade_data()
    {
        QTest::addColumn<int>("entries");
        QTest::addColumn<bool>("turned");
        QTest::addColumn<int>("firstBase"); // -1: none
        QTest::newRow("empty") << 0 << false << -1;
        QTest::newRow("one unnamed") << 2 << false << 0;
        QTest::newRow("100,000") << 100000 << false << 0;
        QTest::newRow("100,000 turned") << 100000 << true << 0;
    }
    void firstBaseOnceMade()
    {
        // Started, the search is not at its end before it exists; once it is made the first
        // named entry is the first base, and an empty catalogue ends the run.
        QFETCH(int, entries);
        QFETCH(bool, turned);
        QFETCH(int, firstBase);
        const SignatureTable table = randomTable(entries);
        SamComparison comparison;
        QSignalSpy ready(&comparison, &SamComparison::rowsReady);
        comparison.start(table, 10, SimilarRule{turned, false});
        QVERIFY(!comparison.atEnd());
        std::optional<SamComparison::Base> base;
        QTRY_VERIFY_WITH_TIMEOUT((base = comparison.current()) || comparison.atEnd(), 20000);
        QVERIFY(ready.count() >= 1);
        QCOMPARE(base ? base->index : -1, firstBase);
    }

    void cancelledWhileBeingMade_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::newRow("cancelled") << false;
        QTest::newRow("started again on another catalogue") << true;
    }
    void cancelledWhileBeingMade()
    {
        // The catalogue may change or go as soon as the search is cancelled (the window
        // closed): nothing still reads it, and no base of the dropped search comes.
        QFETCH(bool, restart);
        SamComparison comparison;
        auto table = std::make_unique<SignatureTable>(randomTable(300000));
        comparison.start(*table, 10);
        SignatureTable other;
        other.append(QString(), grey());
        other.append(pictureName(1), grey());
        if (restart)
            comparison.start(other, 10);
        else
            comparison.cancel();
        table.reset();
        QTest::qWait(100);
        if (restart) {
            QTRY_VERIFY(comparison.current());
            QCOMPARE(comparison.current()->index, 1);
        } else {
            QVERIFY(comparison.atEnd());
            QVERIFY(!comparison.current());
        }
    }
};

QTEST_MAIN(tst_samcomparison)
#include "tst_samcomparison.moc"
