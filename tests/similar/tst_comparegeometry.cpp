// The compare window's arithmetic and texts, without a window: the panes across the
// screen, the part of each picture shown in step at a zoom, and the facts in bold.

#include <comparefacts.h>
#include <comparegeometry.h>

#include <QtTest>

using Sizes = QList<QSize>;
using Rects = QList<QRectF>;

class tst_comparegeometry : public QObject
{
    Q_OBJECT

private slots:
    void layout_data()
    {
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<int>("pictures");
        QTest::addColumn<CompareLayout>("expected");
        QTest::newRow("two on a laptop") << QSize(1280, 800) << 2 << CompareLayout{2, 1, {640, 800}, 800};
        QTest::newRow("four on a laptop: three across, a row to scroll")
            << QSize(1280, 800) << 4 << CompareLayout{3, 2, {426, 800}, 1600};
        QTest::newRow("four on a full-HD screen") << QSize(1920, 1080) << 4 << CompareLayout{4, 1, {480, 1080}, 1080};
        QTest::newRow("six on a full-HD screen: two rows in view")
            << QSize(1920, 1080) << 6 << CompareLayout{4, 2, {480, 540}, 1080};
        QTest::newRow("a narrow window: one column") << QSize(800, 600) << 3 << CompareLayout{1, 3, {800, 600}, 1800};
    }
    void layout()
    {
        // As many panes stand side by side as fit at their least size, never more than
        // there are pictures; the rows beyond the window scroll.
        QFETCH(QSize, viewport);
        QFETCH(int, pictures);
        QFETCH(CompareLayout, expected);
        QCOMPARE(compareLayout(viewport, pictures, QSize(420, 420)), expected);
    }

    void regions_data()
    {
        QTest::addColumn<Sizes>("pictures");
        QTest::addColumn<QString>("keys"); // 0 fit, 1 actual size, + and - a step
        QTest::addColumn<QPointF>("centre");
        QTest::addColumn<Rects>("sources"); // the part of each picture shown, picture pixels
        QTest::addColumn<QRectF>("target");  // where the first is drawn in its 800 x 600 box
        const Sizes copy{{4000, 3000}, {1000, 750}};
        const QRectF box(0, 0, 800, 600);
        QTest::newRow("fit") << copy << "" << QPointF(0.5, 0.5) << Rects{{0, 0, 4000, 3000}, {0, 0, 1000, 750}} << box;
        QTest::newRow("the largest at its own size, the copy magnified")
            << copy << "1" << QPointF(0.5, 0.5) << Rects{{1600, 1200, 800, 600}, {400, 300, 200, 150}} << box;
        QTest::newRow("one step in") << copy << "+" << QPointF(0.5, 0.5)
                                     << Rects{{400, 300, 3200, 2400}, {100, 75, 800, 600}} << box;
        QTest::newRow("in and out again") << copy << "+-" << QPointF(0.5, 0.5)
                                          << Rects{{0, 0, 4000, 3000}, {0, 0, 1000, 750}} << box;
        QTest::newRow("never below fit") << copy << "--" << QPointF(0.5, 0.5)
                                         << Rects{{0, 0, 4000, 3000}, {0, 0, 1000, 750}} << box;
        QTest::newRow("panned into the corner stops at the edges")
            << copy << "1" << QPointF(0, 0) << Rects{{0, 0, 800, 600}, {0, 0, 200, 150}} << box;
        QTest::newRow("at most four times the largest's own size")
            << Sizes{{4000, 3000}} << "1++++++++" << QPointF(0.5, 0.5) << Rects{{1900, 1425, 200, 150}} << box;
        QTest::newRow("an upright photo beside a wide one")
            << Sizes{{3000, 4000}, {4000, 3000}} << "" << QPointF(0.5, 0.5)
            << Rects{{0, 0, 3000, 4000}, {0, 0, 4000, 3000}} << QRectF(175, 0, 450, 600);
        QTest::newRow("a picture smaller than its box at its own size")
            << Sizes{{400, 300}} << "1" << QPointF(0.5, 0.5) << Rects{{0, 0, 400, 300}} << QRectF(200, 150, 400, 300);
        QTest::newRow("back to fit from anywhere") << copy << "1++0" << QPointF(0.5, 0.5)
                                                   << Rects{{0, 0, 4000, 3000}, {0, 0, 1000, 750}} << box;
    }
    void regions()
    {
        // Every pane shows the same relative part of its picture at the zoom the keys
        // reach, so a copy of a quarter of the size shows the same detail magnified.
        QFETCH(Sizes, pictures);
        QFETCH(QString, keys);
        QFETCH(QPointF, centre);
        QFETCH(Rects, sources);
        QFETCH(QRectF, target);
        const QSizeF box(800, 600);
        CompareView view{1.0, centre};
        for (const QChar key : keys) {
            if (key == u'0')
                view.zoom = 1.0;
            else if (key == u'1')
                view.zoom = actualSizeZoom(pictures, box);
            else
                view.zoom = zoomStep(view.zoom, key == u'+' ? 1 : -1, zoomLimits(pictures, box));
        }
        view.centre = clampCentre(view.centre, pictures, box, view.zoom);
        Rects shown;
        for (const QSize &picture : pictures)
            shown.append(paneRegion(picture, box, view).source);
        QCOMPARE(shown, sources);
        QCOMPARE(paneRegion(pictures.first(), box, view).target, target);
    }

    void boldFacts_data()
    {
        QTest::addColumn<QList<ShownFacts>>("group");
        QTest::addColumn<QStringList>("first"); // the first picture's lines, "*" before a bold one
        const QDateTime noon(QDate(2026, 5, 1), QTime(12, 0));
        const ShownFacts original{"/p/a.jpg", {4000, 3000}, 3'000'000, noon, 92, 14.5, noon, "X-T3"};
        ShownFacts smaller = original;
        smaller.path = "/p/a_small.jpg";
        smaller.size = {1000, 750};
        smaller.bytes = 300'000;
        QTest::newRow("a smaller copy")
            << QList<ShownFacts>{original, smaller}
            << QStringList{"*a.jpg", "/p", "*画素数 4000×3000", "*ファイルサイズ 2929KB", "品質 約92", "精細度 14.5",
                           "更新日時 2026/05/01 12:00:00", "撮影日時 2026/05/01 12:00:00", "機種 X-T3"};
        ShownFacts elsewhere = original;
        elsewhere.path = "/q/a.jpg";
        elsewhere.camera.clear();
        elsewhere.taken = {};
        QTest::newRow("the same name in another folder, without camera facts")
            << QList<ShownFacts>{original, elsewhere}
            << QStringList{"a.jpg", "*/p", "画素数 4000×3000", "ファイルサイズ 2929KB", "品質 約92", "精細度 14.5",
                           "更新日時 2026/05/01 12:00:00", "*撮影日時 2026/05/01 12:00:00", "*機種 X-T3"};
        ShownFacts raw = original;
        raw.path = "/p/a.nef";
        raw.quality = 0;
        raw.raw = true;
        QTest::newRow("a camera RAW beside its JPEG")
            << QList<ShownFacts>{raw, original}
            << QStringList{"*a.nef", "/p", "画素数 4000×3000", "ファイルサイズ 2929KB", "*品質 RAW", "精細度 14.5",
                           "更新日時 2026/05/01 12:00:00", "撮影日時 2026/05/01 12:00:00", "機種 X-T3"};
        ShownFacts resaved = original;
        resaved.path = "/p/a_resaved.jpg";
        resaved.quality = 98;
        resaved.primaryQuality = 92;
        QTest::newRow("a re-save shows the quality it was first saved at")
            << QList<ShownFacts>{original, resaved}
            << QStringList{"*a.jpg", "/p", "画素数 4000×3000", "ファイルサイズ 2929KB", "*品質 約92", "*元の品質 なし",
                           "精細度 14.5", "更新日時 2026/05/01 12:00:00", "撮影日時 2026/05/01 12:00:00", "機種 X-T3"};
        const ShownFacts bare{"/p/b.jpg", {640, 480}, 2048, noon};
        QTest::newRow("facts no picture has are left out")
            << QList<ShownFacts>{bare, bare}
            << QStringList{"b.jpg", "/p", "画素数 640×480", "ファイルサイズ 2KB", "更新日時 2026/05/01 12:00:00"};
    }
    void boldFacts()
    {
        // A fact whose text differs within the group is bold on every picture; one that
        // only some pictures have differs too.
        QFETCH(QList<ShownFacts>, group);
        QFETCH(QStringList, first);
        const auto lines = compareFactLines(std::vector<ShownFacts>(group.begin(), group.end()));
        QStringList shown;
        for (const FactLine &line : lines.front())
            shown.append((line.differs ? QStringLiteral("*") : QString()) + line.text);
        QCOMPARE(shown, first);
    }
};

QTEST_GUILESS_MAIN(tst_comparegeometry)
#include "tst_comparegeometry.moc"
