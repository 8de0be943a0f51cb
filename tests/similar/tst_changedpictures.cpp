// Pictures that change on disk after they were added: deleted, made unreadable, replaced by
// another picture or by a damaged or mislabelled file. The list run, the comparison run and
// the viewer go on without them or show what the file holds now, while the catalogue keeps
// the signature it computed when the picture was added. Runs as an ordinary user (root
// gives up its rights first), so that a file made unreadable cannot be read.

#include "faults.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include <frmSam.h>
#include <frmView.h>
#include <picturebox.h>
#include <samgrid.h>
#include <thumbnailcache.h>

#include <QApplication>
#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString Unviewable = QStringLiteral("表示不可");
const QByteArray EndMarker("\xFF\xD9", 2);

// The colour above, white below: pictures of one colour all look alike, as a uniform shift
// of every colour does.
QByteArray picture(Qt::GlobalColor colour, QSize size, const char *format = "JPEG")
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).fillRect(0, 0, size.width(), size.height() / 2, colour);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.write(image);
    return buffer.data();
}

// Green now (the whole picture or, cut off, its top) where it was red.
bool isGreen(const QImage &image)
{
    if (image.isNull())
        return false;
    const QColor c = image.pixelColor(1, 1);
    return c.green() > 100 && c.red() < 80 && c.blue() < 80;
}
} // namespace

class tst_changedpictures : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_dir;
    LumoDriver lumo;

    SamGrid *grid() { return frmSam::loaded()->findChild<SamGrid *>(QStringLiteral("picList")); }
    // The thumbnail of path once its decode has ended: null when it failed.
    QImage thumbnail(const QString &path)
    {
        const ThumbnailCache &cache = grid()->thumbnails();
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(cache.state(path) == ThumbnailCache::State::Ready
                                         || cache.state(path) == ThumbnailCache::State::Failed,
                                     10000);
        }();
        return cache.thumbnail(path);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }
    void cleanup()
    {
        frmView::unload();
        frmSam::unload();
        lumo.reset();
        QTRY_VERIFY(!frmSam::loaded() && !frmView::loaded());
    }

    void changedAfterAdding_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("newPicture"); // the grid and the viewer show it
        QTest::newRow("deleted") << "deleted" << false;
        QTest::newRow("made unreadable") << "unreadable" << false;
        QTest::newRow("replaced by another picture") << "picture" << true;
        QTest::newRow("emptied") << "empty" << false;
        QTest::newRow("cut off") << "cut" << true;
        QTest::newRow("replaced by text") << "text" << false;
        QTest::newRow("replaced by a PNG") << "png" << false;
    }
    void changedAfterAdding()
    {
        // A, its copy B and C are added; B changes. The list run places all three and the
        // comparison run groups B with A, by the signature B had when added; the grid and the
        // viewer show B's new picture when it is a JPEG they can decode, else its caption and
        // "表示不可". Only a cut-off JPEG is touched, by the viewer's two end-marker bytes.
        QFETCH(QString, change);
        QFETCH(bool, newPicture);
        const QString a = m_dir->filePath(QStringLiteral("a.jpg"));
        const QString b = m_dir->filePath(QStringLiteral("b.jpg"));
        const QString c = m_dir->filePath(QStringLiteral("c.jpg"));
        LumoDriver::writeBytes(a, picture(Qt::red, {64, 48}));
        LumoDriver::writeBytes(b, picture(Qt::red, {64, 48}));
        LumoDriver::writeBytes(c, picture(Qt::blue, {64, 48}));
        ScriptedDialogs dialogs;
        dialogs.files.enqueue(CommonDialog::resultFor({a, b, c}));
        lumo.run("mnuL2");
        QCOMPARE(lumo.storeNames(), (QStringList{a, b, c}));
        const Signature added = lumo.window().store()->table().cells(1);

        const QByteArray green = picture(Qt::green, {48, 40});
        if (change == QLatin1String("deleted"))
            QVERIFY(QFile::remove(b));
        else if (change == QLatin1String("unreadable"))
            QVERIFY(QFile::setPermissions(b, {}));
        else if (change == QLatin1String("picture"))
            LumoDriver::writeBytes(b, green);
        else if (change == QLatin1String("empty"))
            LumoDriver::writeBytes(b, QByteArray());
        else if (change == QLatin1String("cut"))
            LumoDriver::writeBytes(b, green.left((green.lastIndexOf("\xFF\xDA") + green.size()) / 2));
        else if (change == QLatin1String("text"))
            LumoDriver::writeBytes(b, "not a picture");
        else
            LumoDriver::writeBytes(b, picture(Qt::green, {48, 40}, "PNG"));
        const QByteArray changed = change == QLatin1String("unreadable") ? QByteArray() : LumoDriver::bytes(b);

        lumo.run("mnuJ3"); // 一覧表示
        QCOMPARE(frmSam::loaded()->placement(), (QStringList{a, b, c}));
        QCOMPARE(isGreen(thumbnail(b)), newPicture);
        QVERIFY(!thumbnail(c).isNull());
        lumo.run("mnuJ2"); // 類似検索
        QCOMPARE(frmSam::loaded()->placement(), (QStringList{b, a}));
        QCOMPARE(isGreen(thumbnail(b)), newPicture);

        frmView::ShowEx(&lumo.window(), b);
        QTRY_VERIFY_WITH_TIMEOUT(frmView::loaded()->isVisible() && !frmView::loaded()->isBusy(), 10000);
        auto *picView = frmView::loaded()->findChild<PictureBox *>(QStringLiteral("picView"));
        QCOMPARE(isGreen(picView->picture()), newPicture);
        QCOMPARE(picView->text(), newPicture ? QString() : Unviewable);
        if (change == QLatin1String("unreadable"))
            QVERIFY(QFile::setPermissions(b, QFile::ReadOwner | QFile::WriteOwner));
        else
            QCOMPARE(LumoDriver::bytes(b), change == QLatin1String("cut") ? changed + EndMarker : changed);

        QCOMPARE(lumo.window().store()->table().cells(1), added);
        const QString file = m_dir->filePath(QStringLiteral("c.sbx"));
        dialogs.files.enqueue(file);
        lumo.run("mnuF3");
        SignatureTable saved;
        QVERIFY(!loadCatalogue(file, saved).failed());
        QCOMPARE(saved.cells(1), added);
    }
};

int main(int argc, char *argv[])
{
    return faults::runUnprivileged([&] {
        QApplication app(argc, argv);
        app.setAttribute(Qt::AA_Use96Dpi, true);
        tst_changedpictures test;
        QTEST_SET_MAIN_SOURCE_PATH
        return QTest::qExec(&test, argc, argv);
    });
}

#include "tst_changedpictures.moc"
