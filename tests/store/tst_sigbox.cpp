#include "catalogue/sigbox.h"

#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

#include <stdexcept>

class tst_Sigbox : public QObject
{
    Q_OBJECT

private:
    QString writeJpeg(const QString &name, QColor colour)
    {
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(colour);
        const QString path = m_dir.filePath(name);
        QImageWriter writer(path);
        writer.write(image);
        return path;
    }
    QTemporaryDir m_dir;

private slots:
    void newControlIsEmptyFixedAndShowsTheDefaultPicture()
    {
        // A new store counts nothing, bounds its byte arrays at 192 and shows the built-in picture.
        Sigbox box;
        QCOMPARE(box.objectName(), QStringLiteral("sbxJpeg"));
        QCOMPARE(box.DataCount(), 0);
        QCOMPARE(box.DataUBound(), 192);
        QCOMPARE(box.size(), QSize(64, 64));
        QCOMPARE(box.face(), Sigbox::defaultPicture());
    }

    void hostCannotResizeTheControl_data()
    {
        QTest::addColumn<QSize>("minimum");
        QTest::addColumn<QSize>("asked");
        QTest::newRow("fixed bigger") << QSize(200, 100) << QSize(200, 100);
        QTest::newRow("free, smaller") << QSize(0, 0) << QSize(10, 10);
    }
    void hostCannotResizeTheControl()
    {
        // Whatever size and limits its host gives the visible control, it goes back to 64 x 64.
        QFETCH(QSize, minimum);
        QFETCH(QSize, asked);
        QWidget host;
        host.resize(300, 300);
        auto *box = new Sigbox(&host);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        box->setMinimumSize(minimum);
        box->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        box->resize(asked);
        QCOMPARE(box->size(), QSize(64, 64));
        box->resize(asked);
        QCOMPARE(box->size(), QSize(64, 64));
    }

    void addingShowsThePictureAndClearingRestoresTheDefault()
    {
        // Additem shows the added picture on the face; a picture that cannot load changes nothing.
        Sigbox box;
        QVERIFY(box.Additem(writeJpeg(QStringLiteral("red.jpg"), Qt::red)));
        QCOMPARE(box.DataCount(), 1);
        QVERIFY(box.face() != Sigbox::defaultPicture());
        QVERIFY(qRed(box.face().pixel(10, 10)) > 240);
        const QImage before = box.face();
        QVERIFY(!box.Additem(m_dir.filePath(QStringLiteral("missing.jpg"))));
        QCOMPARE(box.DataCount(), 1);
        QCOMPARE(box.face(), before);
        box.Clear();
        QCOMPARE(box.DataCount(), 0);
        QCOMPARE(box.face(), Sigbox::defaultPicture());
    }

    void operationsFollowTheTable()
    {
        // Remove shifts names, the check value of an entry with itself is 0, foreign indexes throw.
        Sigbox box;
        const QString a = writeJpeg(QStringLiteral("a.jpg"), Qt::red);
        const QString b = writeJpeg(QStringLiteral("b.jpg"), Qt::green);
        const QString c = writeJpeg(QStringLiteral("c.jpg"), Qt::blue);
        QVERIFY(box.Additem(a) && box.Additem(b) && box.Additem(c));
        QCOMPARE(box.GetCheckValue(1, 1), 0);
        QVERIFY(box.Remove(1));
        QCOMPARE(box.DataCount(), 2);
        QCOMPARE(box.FileName(1), c);
        QVERIFY(!box.Remove(2));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, box.FileName(7));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, box.GetCheckValue(0, 9));
        QByteArray bytes(193, '\0');
        QVERIFY(box.GetData(0, bytes));
        QVERIFY(box.AddData(QStringLiteral("/copy.jpg"), bytes));
        QCOMPARE(box.GetCheckValue(0, 2), 0);
    }

    void saveAndLoadReportFailureAsTrue()
    {
        // Save and Load return false when they worked and true when they failed.
        Sigbox box;
        QVERIFY(box.Additem(writeJpeg(QStringLiteral("d.jpg"), Qt::yellow)));
        const QString catalogue = m_dir.filePath(QStringLiteral("d.sbx"));
        QCOMPARE(box.Save(catalogue), false);
        QCOMPARE(box.Save(m_dir.filePath(QStringLiteral("no/such/folder/d.sbx"))), true);
        Sigbox other;
        QCOMPARE(other.Load(catalogue), false);
        QCOMPARE(other.DataCount(), 1);
        QCOMPARE(other.FileName(0), box.FileName(0));
        QCOMPARE(other.Load(m_dir.filePath(QStringLiteral("missing.sbx"))), true);
        QCOMPARE(other.DataCount(), 0);
    }

    void storePastOneFileGoesOnInTheNextFile()
    {
        // Past 32,767 entries both ways of adding go on, the count is 32-bit, and the save
        // writes a second file beside the first, each a catalogue of its own.
        Sigbox box;
        const QByteArray bytes(193, '\1');
        for (int i = 0; i < 32767; ++i)
            QVERIFY(box.AddData(QString(), bytes));
        QVERIFY(box.AddData(QStringLiteral("/x.jpg"), bytes));
        QVERIFY(box.Additem(writeJpeg(QStringLiteral("e.jpg"), Qt::cyan)));
        QCOMPARE(box.DataCount(), 32769);
        QCOMPARE(box.FileName(32767), QStringLiteral("/x.jpg"));
        QCOMPARE(box.GetCheckValue(32766, 0), 0);
        const QString catalogue = m_dir.filePath(QStringLiteral("big.sbx"));
        QCOMPARE(box.Save(catalogue), false);
        SignatureTable first;
        SignatureTable second;
        QVERIFY(!loadCatalogue(catalogue, first).damaged());
        QVERIFY(!loadCatalogue(m_dir.filePath(QStringLiteral("big-2.sbx")), second).damaged());
        QCOMPARE(first.count(), 32767);
        QCOMPARE(second.count(), 2);
        QCOMPARE(second.name(0), QStringLiteral("/x.jpg"));
        Sigbox other;
        QCOMPARE(other.Load(m_dir.filePath(QStringLiteral("big-2.sbx"))), false);
        QCOMPARE(other.DataCount(), 32769);
    }
};

QTEST_MAIN(tst_Sigbox)
#include "tst_sigbox.moc"
