#include "outside/workarea.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QtTest>

class tst_WorkArea : public QObject
{
    Q_OBJECT

private slots:
    void conversion_data();
    void conversion();
    void workAreaIsTheAvailableScreenInTwips();
};

void tst_WorkArea::conversion_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("twips");
    QTest::addColumn<int>("pixels");

    QTest::newRow("96 dpi: 15 twips a pixel") << 96.0 << 1200 << 80;
    QTest::newRow("96 dpi, main window width") << 96.0 << 7245 << 483;
    QTest::newRow("120 dpi: 12 twips a pixel") << 120.0 << 1200 << 100;
    QTest::newRow("144 dpi: 10 twips a pixel") << 144.0 << 1600 << 160;
    QTest::newRow("zero") << 96.0 << 0 << 0;
    QTest::newRow("negative") << 96.0 << -960 << -64;
}

void tst_WorkArea::conversion()
{
    // Twips and pixels convert at 1440 twips an inch for the given dots per inch.
    QFETCH(double, dpi);
    QFETCH(int, twips);
    QFETCH(int, pixels);
    QCOMPARE(WorkArea::twipsToPixels(twips, dpi), pixels);
    QCOMPARE(WorkArea::pixelsToTwips(pixels, dpi), qRound(pixels * 1440.0 / dpi));
    QCOMPARE(WorkArea::twipsToPixels(7, 96), 0);   // under half a pixel rounds down
    QCOMPARE(WorkArea::twipsToPixels(8, 96), 1);
}

void tst_WorkArea::workAreaIsTheAvailableScreenInTwips()
{
    // Left, top, width and height are the primary screen's available area converted to twips.
    QScreen *screen = QGuiApplication::primaryScreen();
    QVERIFY(screen);
    const QRect area = screen->availableGeometry();
    const double dx = screen->logicalDotsPerInchX();
    const double dy = screen->logicalDotsPerInchY();
    QCOMPARE(WorkArea::Left(), WorkArea::pixelsToTwips(area.left(), dx));
    QCOMPARE(WorkArea::Top(), WorkArea::pixelsToTwips(area.top(), dy));
    QCOMPARE(WorkArea::Width(), WorkArea::pixelsToTwips(area.width(), dx));
    QCOMPARE(WorkArea::Height(), WorkArea::pixelsToTwips(area.height(), dy));
    QVERIFY(WorkArea::Height() > 0);
}

QTEST_MAIN(tst_WorkArea)
#include "tst_workarea.moc"
