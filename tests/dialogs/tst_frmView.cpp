// The picture viewer: which files it shows, which it repairs and how, the window fitting
// each picture, its life from load to unload, and the main window driving it.

#include "frmLumo.h"
#include "frmView.h"
#include "picturebox.h"
#include "testjpeg.h"
#include "outside/scripteddialogs.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {
const QString Unviewable = QStringLiteral("表示不可");

// Left half red, right half blue, saved with the given EXIF orientation.
QByteArray halvesWithOrientation(QSize size, quint8 orientation)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter(&image).fillRect(0, 0, size.width() / 2, size.height(), Qt::red);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 95);
    // APP1 "Exif": a big-endian TIFF header and one IFD holding the orientation (0x0112).
    const char app1[] = "\xFF\xE1\x00\x22"
                        "Exif\x00\x00"
                        "MM\x00\x2A\x00\x00\x00\x08"
                        "\x00\x01"
                        "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x00\x00\x00"
                        "\x00\x00\x00\x00";
    QByteArray segment(app1, sizeof app1 - 1);
    segment[4 + 6 + 8 + 2 + 9] = char(orientation);
    return QByteArray(buffer.data()).insert(2, segment);
}

QByteArray bitmap()
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(Qt::green);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return buffer.data();
}

const QByteArray EndMarker("\xFF\xD9", 2);
} // namespace

class tst_frmView : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QWidget> m_owner;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Shows path and waits until the viewer shows it.
    frmView *view(const QString &path, QWidget *owner = nullptr)
    {
        frmView::ShowEx(owner ? owner : m_owner.get(), path);
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(frmView::loaded() && frmView::loaded()->isVisible()
                                         && !frmView::loaded()->isBusy(), 10000);
        }();
        return frmView::loaded();
    }
    static PictureBox *picView(frmView *viewer)
    {
        return viewer->findChild<PictureBox *>(QStringLiteral("picView"));
    }
    static std::unique_ptr<QWidget> makeOwner(Qt::GlobalColor colour)
    {
        auto owner = std::make_unique<QWidget>();
        QPixmap icon(16, 16);
        icon.fill(colour);
        owner->setWindowIcon(QIcon(icon));
        owner->setGeometry(200, 150, 400, 300);
        owner->show();
        return owner;
    }

private slots:
    void init()
    {
        m_owner = makeOwner(Qt::darkCyan);
    }
    void cleanup()
    {
        frmView::unload();
        m_owner.reset();
    }

    void checkAndShow_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<QByteArray>("after");

        const QByteArray whole = testJpeg({64, 48});
        const QByteArray cut = whole.left(whole.size() * 2 / 3);
        const QByteArray trailer("\x00\x00\x00\x18" "ftypmp42 and a video after the picture", 42);
        const QByteArray progressive = testJpeg({64, 48}, 2, true);
        // A complete small picture inside a header segment, as cameras store their thumbnails.
        const QByteArray thumb = testJpeg({8, 8}, 3);
        const int thumbLength = thumb.size() + 7;
        const QByteArray app2 = QByteArray("\xFF\xE2", 2) + char(thumbLength >> 8) + char(thumbLength & 0xFF)
            + QByteArray("LUMO\0", 5) + thumb;
        const QByteArray withThumb = whole.left(2) + app2 + whole.mid(2);
        const QByteArray badLength("\xFF\xD8\xFF\xE0\x00\x01garbage", 12);

        QTest::newRow("complete") << whole << false << true << whole;
        QTest::newRow("cut in the scan") << cut << false << true << cut + EndMarker;
        QTest::newRow("cut in the headers") << whole.left(30) << false << false << whole.left(30) + EndMarker;
        QTest::newRow("start marker only") << whole.left(2) << false << false << whole.left(2) + EndMarker;
        QTest::newRow("data after the end") << whole + trailer << false << true << whole + trailer;
        QTest::newRow("padding after the end") << whole + QByteArray(100, '\0') << false << true << whole + QByteArray(100, '\0');
        QTest::newRow("second picture after the end") << whole + cut << false << true << whole + cut;
        QTest::newRow("progressive, data after the end") << progressive + trailer << false << true << progressive + trailer;
        // Cut half way through the last scan, after the scans and tables before it.
        const qsizetype lastScan = progressive.lastIndexOf(QByteArray("\xFF\xDA", 2));
        const qsizetype scanData = lastScan + 2 + (uchar(progressive[lastScan + 2]) << 8 | uchar(progressive[lastScan + 3]));
        const QByteArray progressiveCut = progressive.left((scanData + progressive.size() - 2) / 2);
        QTest::newRow("progressive, cut in its last scan") << progressiveCut << false << true << progressiveCut + EndMarker;
        const QByteArray cutWithThumb = withThumb.left(app2.size() + whole.size() * 2 / 3);
        QTest::newRow("cut, thumbnail in the headers") << cutWithThumb << false << true << cutWithThumb + EndMarker;
        QTest::newRow("cut, read-only") << cut << true << true << cut;
        QTest::newRow("broken segment length") << badLength << false << false << badLength;
        QTest::newRow("bitmap") << bitmap() << false << false << bitmap();
        QTest::newRow("text") << QByteArray("not a picture") << false << false << QByteArray("not a picture");
        QTest::newRow("one byte") << QByteArray("\xFF", 1) << false << false << QByteArray("\xFF", 1);
        QTest::newRow("empty") << QByteArray() << false << false << QByteArray();
    }
    void checkAndShow()
    {
        // A file is shown when it starts like a JPEG and decodes; only a writable one whose markers run out gets 0xFF 0xD9, once.
        QFETCH(QByteArray, content);
        QFETCH(bool, readOnly);
        QFETCH(bool, shown);
        QFETCH(QByteArray, after);
        const QString path = write(QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".jpg"), content);
        if (readOnly)
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        for (int time = 0; time < 2; ++time) {
            frmView *viewer = view(path);
            QCOMPARE(!picView(viewer)->picture().isNull(), shown);
            QCOMPARE(picView(viewer)->text(), shown ? QString() : Unviewable);
            QCOMPARE(read(path), after);
            frmView::unload();
        }
    }

    void reusedForEachCall()
    {
        // One window shows picture after picture at each one's size, captioned with its path, owned by its latest caller and showing the last file asked for.
        const QString small = write(QStringLiteral("small.jpg"), testJpeg({40, 30}));
        const QString large = write(QStringLiteral("large.jpg"), testJpeg({120, 90}));
        frmView *viewer = view(small);
        QCOMPARE(viewer->size(), QSize(40, 30));
        QCOMPARE(viewer->windowTitle(), small);
        QCOMPARE(viewer->windowIcon().cacheKey(), m_owner->windowIcon().cacheKey());
        QCOMPARE(viewer->parentWidget(), m_owner.get());
        QVERIFY(viewer->isWindow() && !viewer->isModal());
        auto *cancel = viewer->findChild<QPushButton *>(QStringLiteral("cmdCancel"));
        QCOMPARE(cancel->x(), -cancel->width());

        auto other = makeOwner(Qt::magenta);
        frmView::ShowEx(other.get(), small);
        QVERIFY(frmView::isShown());
        QCOMPARE(view(large, other.get()), viewer);
        QCOMPARE(viewer->size(), QSize(120, 90));
        QCOMPARE(picView(viewer)->geometry(), QRect(0, 0, 120, 90));
        QCOMPARE(viewer->windowTitle(), large);
        QCOMPARE(viewer->parentWidget(), other.get());
        QCOMPARE(viewer->windowIcon().cacheKey(), other->windowIcon().cacheKey());
        other.reset();
        QCOMPARE(frmView::loaded(), nullptr);
    }

    void failureKeepsSizeAndCentresText()
    {
        // A file that cannot be shown leaves the window at the last picture's size with "表示不可" in red in its middle.
        frmView *viewer = view(write(QStringLiteral("shown.jpg"), testJpeg({160, 120})));
        view(write(QStringLiteral("bitmap.jpg"), bitmap()));
        QCOMPARE(viewer->size(), QSize(160, 120));
        QImage drawn = picView(viewer)->grab().toImage();
        QRect red;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (QColor c = drawn.pixelColor(x, y); c.red() > 200 && c.green() < 80 && c.blue() < 80)
                    red |= QRect(x, y, 1, 1);
        QVERIFY(!red.isEmpty());
        QVERIFY2(qAbs(red.center().x() - 80) <= 2 && qAbs(red.center().y() - 60) <= 4,
                 qPrintable(QStringLiteral("text at %1,%2").arg(red.center().x()).arg(red.center().y())));
    }

    void orientedPhotoShownUpright()
    {
        // A photo taken with the camera turned (orientation 6) is shown turned back, and the window takes the upright size.
        frmView *viewer = view(write(QStringLiteral("turned.jpg"), halvesWithOrientation({40, 20}, 6)));
        QCOMPARE(viewer->size(), QSize(20, 40));
        const QImage shown = picView(viewer)->picture();
        QVERIFY(qRed(shown.pixel(10, 5)) > 200 && qBlue(shown.pixel(10, 5)) < 80);
        QVERIFY(qBlue(shown.pixel(10, 35)) > 200 && qRed(shown.pixel(10, 35)) < 80);
    }

    void unload_data()
    {
        QTest::addColumn<bool>("byEsc");
        QTest::newRow("Esc") << true;
        QTest::newRow("close box") << false;
    }
    void unload()
    {
        // Esc and the close box unload the viewer; the next view loads a new one with a new settings object set up for it.
        const QString path = write(QStringLiteral("p.jpg"), testJpeg({32, 32}));
        QFETCH(bool, byEsc);
        QPointer<frmView> first = view(path);
        if (byEsc)
            QTest::keyClick(first, Qt::Key_Escape);
        else
            first->close();
        QVERIFY(!frmView::isShown());
        QCOMPARE(frmView::loaded(), nullptr);
        QTRY_VERIFY(first.isNull());
        frmView *second = view(path);
        QCOMPARE(second->settings().owner(), second);
        QCOMPARE(second->settings().appName(), AppSettings::defaultAppName());
        QVERIFY(second->settings().optionA());
        QVERIFY(!second->settings().optionB());
    }

    void picturesBeyondTheLimit_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::newRow("PNG") << QByteArray("PNG");
        QTest::newRow("JPEG") << QByteArray("JPEG");
    }
    void picturesBeyondTheLimit()
    {
        // A picture beyond Qt's allocation limit is shown smaller, to fit it, never as
        // "表示不可"; the limit, the whole program's, stays as it was.
        QFETCH(QByteArray, format);
        const QSize side(4000, 2000); // 31 MB as 32-bit pixels
        const QString path = m_dir.filePath(QStringLiteral("large.") + QString::fromLatin1(format).toLower());
        {
            QImage picture(side, QImage::Format_RGB32);
            picture.fill(QColor(40, 90, 200));
            QVERIFY(picture.save(path, format.constData(), 50));
        }
        const int before = QImageReader::allocationLimit();
        constexpr int LimitMb = 16;
        QImageReader::setAllocationLimit(LimitMb);
        frmView *viewer = view(path);
        const int after = QImageReader::allocationLimit();
        QImageReader::setAllocationLimit(before);
        QCOMPARE(after, LimitMb);
        QCOMPARE(picView(viewer)->text(), QString());
        const QImage shown = picView(viewer)->picture();
        QVERIFY(shown.sizeInBytes() <= qint64(LimitMb) * 1024 * 1024);
        QVERIFY2(shown.width() >= side.width() / 2 && qAbs(shown.width() - 2 * shown.height()) <= 2,
                 qPrintable(QStringLiteral("%1 x %2").arg(shown.width()).arg(shown.height())));
        QVERIFY(shown.pixelColor(shown.width() / 2, shown.height() / 2).blue() > 150);
        QCOMPARE(viewer->size(), shown.size());
        frmView::unload();
    }

    void mainWindowDrivesTheViewer()
    {
        // Double click opens the row's picture, a click follows while it is open, "表示(&V)" shows the selection, and a new catalogue or the window's close unloads it.
        QStandardPaths::setTestModeEnabled(true);
        ScriptedDialogs dialogs;
        auto window = std::make_unique<frmLumo>();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        const QStringList paths = {write(QStringLiteral("one.jpg"), testJpeg({40, 30})),
                                   write(QStringLiteral("two.jpg"), testJpeg({60, 30}, 2))};
        dialogs.files.enqueue(CommonDialog::resultFor(paths));
        window->findChild<QAction *>(QStringLiteral("mnuL2"))->trigger();
        auto *list = window->findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
        QCOMPARE(list->model()->rowCount(), 2);
        auto rowCentre = [&](int row) { return list->visualRect(list->model()->index(row, 0)).center(); };

        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(0));
        QVERIFY(!frmView::isShown());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(0));
        QCOMPARE(view(paths[0], window.get())->windowTitle(), paths[0]);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowCentre(1));
        QTRY_COMPARE(frmView::loaded()->windowTitle(), paths[1]);
        QTRY_COMPARE(frmView::loaded()->size(), QSize(60, 30));
        frmView::unload();
        window->findChild<QAction *>(QStringLiteral("mnuJ0"))->trigger();
        QTRY_VERIFY(frmView::isShown());
        QCOMPARE(frmView::loaded()->parentWidget(), window.get());

        dialogs.answers.enqueue(DialogService::No); // "現在のファイルを保存しますか？"
        window->findChild<QAction *>(QStringLiteral("mnuF0"))->trigger();
        QCOMPARE(frmView::loaded(), nullptr);

        view(paths[0], window.get());
        window->close();
        QCOMPARE(frmView::loaded(), nullptr);
    }
};

QTEST_MAIN(tst_frmView)
#include "tst_frmView.moc"
