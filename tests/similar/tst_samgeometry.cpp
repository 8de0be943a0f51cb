// The grid's arithmetic on its own: the slider's range, caption shortening, hit-testing,
// cell rectangles and the texts of titles and tooltips.

#include <samgeometry.h>

#include <outside/workarea.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QtTest>

Q_DECLARE_METATYPE(SamSliderRange)

class tst_samgeometry : public QObject
{
    Q_OBJECT

private slots:
    void sliderRange_data()
    {
        QTest::addColumn<int>("areaHeight");
        QTest::addColumn<int>("clientHeight");
        QTest::addColumn<SamSliderRange>("expected");
        QTest::newRow("ten rows of 1900 in 9000") << 19000 << 9000 << SamSliderRange{true, 1, 7, 4};
        QTest::newRow("one twip taller than the client") << 9001 << 9000 << SamSliderRange{true, 1, 2, 4};
        QTest::newRow("exactly as tall as the client") << 9000 << 9000 << SamSliderRange{};
        QTest::newRow("one row") << 1900 << 9000 << SamSliderRange{};
        QTest::newRow("client lower than a row") << 3800 << 1000 << SamSliderRange{true, 1, 3, 0};
    }
    void sliderRange()
    {
        // The slider is in use only for an area taller than the client: from 1 to the rows
        // beyond the client plus 2, a page being the whole rows that fit.
        QFETCH(int, areaHeight);
        QFETCH(int, clientHeight);
        QFETCH(SamSliderRange, expected);
        const SamSliderRange range = samSliderRange(areaHeight, clientHeight, 1900);
        QCOMPARE(range.enabled, expected.enabled);
        if (expected.enabled) {
            QCOMPARE(range.minimum, expected.minimum);
            QCOMPARE(range.maximum, expected.maximum);
            QCOMPARE(range.pageStep, expected.pageStep);
        }
    }

    void fitSamTitle_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("widthInCharacters"); // the width: that many "M" wide
        QTest::addColumn<QString>("kind");
        QTest::newRow("fits") << QStringLiteral("a.jpg") << 20 << QStringLiteral("whole");
        QTest::newRow("long") << QStringLiteral("a_rather_long_holiday_picture.jpg") << 8 << QStringLiteral("head");
        QTest::newRow("japanese") << QStringLiteral("夏休みの海辺で撮った写真.jpg") << 6 << QStringLiteral("head");
        QTest::newRow("pairs never split") << QStringLiteral("😀😀😀😀😀😀😀😀😀😀😀😀.jpg") << 5 << QStringLiteral("head");
        QTest::newRow("too narrow for two") << QStringLiteral("wide.jpg") << 0 << QStringLiteral("first");
        QTest::newRow("one character") << QStringLiteral("W") << 0 << QStringLiteral("first");
        QTest::newRow("empty") << QString() << 0 << QStringLiteral("empty");
    }
    void fitSamTitle()
    {
        // A caption is whole when narrower than the cell, else its longest head of at least
        // two characters with "..." that is, else its first character and "...".
        QFETCH(QString, text);
        QFETCH(int, widthInCharacters);
        QFETCH(QString, kind);
        const QFontMetrics metrics(QGuiApplication::font());
        const double dpi = 96.0;
        const auto twips = [&](const QString &s) { return WorkArea::pixelsToTwips(metrics.horizontalAdvance(s), dpi); };
        const int width = qMax(twips(QString(widthInCharacters, QLatin1Char('M'))), 1);
        const QString fitted = FitSamTitle(text, width, metrics, dpi);

        if (kind == QLatin1String("whole")) {
            QCOMPARE(fitted, text);
            QVERIFY(twips(text) < width);
        } else if (kind == QLatin1String("empty")) {
            QVERIFY(fitted.isEmpty());
        } else if (kind == QLatin1String("first")) {
            QCOMPARE(fitted, text.left(text.at(0).isHighSurrogate() ? 2 : 1) + QStringLiteral("..."));
        } else {
            QVERIFY(fitted.endsWith(QStringLiteral("...")));
            const QString head = fitted.chopped(3);
            QVERIFY(text.startsWith(head));
            QVERIFY2(twips(fitted) < width, qPrintable(fitted));
            // One character more would not fit.
            const int next = head.size() + (text.at(head.size()).isHighSurrogate() ? 2 : 1);
            QVERIFY(twips(text.left(next) + QStringLiteral("...")) >= width);
            QVERIFY(!head.isEmpty() && !head.back().isHighSurrogate());
        }
    }

    void hit_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("cell"); // -1: none
        QTest::newRow("top left") << QPoint(0, 0) << 0;
        QTest::newRow("last twip of the first cell") << QPoint(1199, 1899) << 0;
        QTest::newRow("caption strip of the first cell") << QPoint(600, 1700) << 0;
        QTest::newRow("second row, second column") << QPoint(1200, 1900) << 7;
        QTest::newRow("row 2, column 3") << QPoint(3600, 3800) << 15;
        QTest::newRow("last column") << QPoint(7199, 0) << 5;
        QTest::newRow("right of the last column") << QPoint(7200, 0) << -1;
    }
    void hit()
    {
        // A point of the picture area hits the cell C x row + column of its W x R square;
        // right of the last column there is none.
        QFETCH(QPoint, point);
        QFETCH(int, cell);
        const SamGeometry geometry = SamGeometry::fromSettings(6, 1200, 1600);
        const auto hit = geometry.hit(point.x(), point.y());
        QCOMPARE(hit ? hit->cell : -1, cell);
        if (hit)
            QCOMPARE(hit->cell, hit->row * 6 + hit->column);
    }

    void matchTexts_data()
    {
        QTest::addColumn<int>("turn");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<QString>("mark");
        QTest::addColumn<QString>("note");
        QTest::newRow("plain") << 0 << false << "" << "";
        QTest::newRow("90") << 1 << false << "↻" << "(90°回転)";
        QTest::newRow("270") << 3 << false << "↻" << "(270°回転)";
        QTest::newRow("mirror") << 4 << false << "⇋" << "(左右反転)";
        QTest::newRow("mirror 180") << 6 << false << "↻⇋" << "(左右反転・180°回転)";
        QTest::newRow("grey") << 0 << true << "◐" << "(グレー)";
        QTest::newRow("grey 90") << 1 << true << "↻◐" << "(90°回転)(グレー)";
    }
    void matchTexts()
    {
        // A member found by a turning or by brightness carries a mark after its caption and
        // says how it matched after its tooltip.
        QFETCH(int, turn);
        QFETCH(bool, grey);
        const SimilarMatch match{pixcore::GridTurn(turn), grey};
        QTEST(samMatchMark(match), "mark");
        QTEST(samMatchNote(match), "note");
    }

    void factsNote_data()
    {
        QTest::addColumn<int>("quality");
        QTest::addColumn<int>("primary");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("raw");
        QTest::addColumn<QString>("note");
        QTest::newRow("jpeg with a date") << 85 << 0 << "2023-05-01T12:34:56" << true << false << "\n4000×3000 品質 約85 撮影 2023/05/01 12:34";
        QTest::newRow("jpeg without") << 92 << 0 << "" << true << false << "\n4000×3000 品質 約92";
        QTest::newRow("saved again") << 98 << 75 << "2023-05-01T12:34:56" << true << false
                                     << "\n4000×3000 品質 約98 元の品質 約75 撮影 2023/05/01 12:34";
        QTest::newRow("not a jpeg") << 0 << 0 << "" << true << false << "\n4000×3000";
        QTest::newRow("camera raw") << 0 << 0 << "2023-05-01T12:34:56" << true << true << "\n4000×3000 RAW 撮影 2023/05/01 12:34";
        QTest::newRow("unreadable") << 85 << 0 << "" << false << false << "";
    }
    void factsNote()
    {
        // The tooltip's line of facts: pixel size as shown, then the quality ("RAW" for a
        // camera RAW), that of an earlier compression and the date taken where the file has
        // them; nothing for a picture that cannot be read.
        QFETCH(int, quality);
        QFETCH(int, primary);
        QFETCH(QString, taken);
        QFETCH(bool, readable);
        QFETCH(bool, raw);
        PictureFacts facts;
        facts.readable = readable;
        facts.raw = raw;
        facts.width = 4000;
        facts.height = 3000;
        facts.quality = quality;
        facts.primaryQuality = primary;
        facts.taken = QDateTime::fromString(taken, Qt::ISODate);
        QTEST(samFactsNote(facts), "note");
    }

    void cellRectAndTexts()
    {
        // Cell 15 (row 2, column 3) of a 6-column grid of 1200 x 1600 spans
        // (3600, 3800)-(4800, 5700); titles and tooltips read as the window shows them.
        const SamGeometry geometry = SamGeometry::fromSettings(6, 1200, 1600);
        QCOMPARE(geometry.cellRect(15), QRect(QPoint(3600, 3800), QPoint(4800 - 1, 5700 - 1)));
        QCOMPARE(samProgressTitle(SamRun::List, QStringLiteral("/p/c.jpg"), 3, 120),
                 QStringLiteral("/p/c.jpgを表示中...(3/120)"));
        QCOMPARE(samProgressTitle(SamRun::Comparison, QStringLiteral("/p/e.jpg"), 5, 40),
                 QStringLiteral("/p/e.jpgを比較中...(5/40)"));
        QCOMPARE(samProgressTitle(SamRun::Comparison, QStringLiteral("/p/e.jpg"), 5, 40, {true, true}),
                 QStringLiteral("/p/e.jpgを比較中...(5/40) [回転・反転] [グレー]"));
        QCOMPARE(samProgressTitle(SamRun::Comparison, QStringLiteral("/p/e.jpg"), 5, 40, {false, true}),
                 QStringLiteral("/p/e.jpgを比較中...(5/40) [グレー]"));
        QCOMPARE(samToolTip(QStringLiteral("/p/big.jpg"), 1536000), QStringLiteral("/p/big.jpg(1500KB)"));
        QCOMPARE(samToolTip(QStringLiteral("/p/small.jpg"), 1023), QStringLiteral("/p/small.jpg(0KB)"));
        // Hand-edited settings that would divide by zero are taken as the least usable ones.
        const SamGeometry zero = SamGeometry::fromSettings(0, 0, -5);
        QCOMPARE(zero.columns, 1);
        QCOMPARE(zero.width, 1);
        QCOMPARE(zero.height, 0);
    }
};

QTEST_MAIN(tst_samgeometry)
#include "tst_samgeometry.moc"
