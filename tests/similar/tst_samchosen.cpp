// The similar-pictures window around chosen pictures: the bases its owner names, and picture
// files dropped on it, found in the catalogue without being added to it.

#include "samtestsupport.h"

#include <frmSam.h>
#include <outside/scripteddialogs.h>

#include "pictures/picturesignature.h"

#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(std::vector<Signature>)

namespace {
const QString NoPicture = QStringLiteral("ドロップしたファイルに画像がありません");

// Two pictures far apart: a gradient and a checkerboard.
QImage picture(bool checkerboard)
{
    QImage image(96, 64, QImage::Format_RGB32);
    QPainter painter(&image);
    if (checkerboard) {
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 6; ++x)
                painter.fillRect(x * 16, y * 16, 16, 16, (x + y) % 2 ? Qt::black : Qt::yellow);
    } else {
        QLinearGradient gradient(0, 0, 96, 0);
        gradient.setColorAt(0, Qt::blue);
        gradient.setColorAt(1, Qt::red);
        painter.fillRect(image.rect(), gradient);
    }
    return image;
}
} // namespace

class tst_samchosen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<FakeOwner> m_owner;
    QTemporaryDir m_dir;
    std::unique_ptr<QTemporaryDir> m_files; // each test's own

    FakeOwner &owner()
    {
        if (!m_owner) {
            m_owner = std::make_unique<FakeOwner>();
            m_owner->show();
        }
        return *m_owner;
    }
    frmSam *sam() { return frmSam::loaded(); }
    QString file(const QString &name) { return m_files->filePath(name); }

    // In the catalogue: a.jpg (gradient), c.jpg and d.jpg (the same checkerboard). Outside
    // it: b.jpg (a copy of a.jpg), notes.txt, fake.jpg (no picture) and a folder.
    void pictureFiles()
    {
        QVERIFY(QDir(m_files->path()).mkpath(QStringLiteral("catalogue")));
        QVERIFY(QDir(m_files->path()).mkpath(QStringLiteral("outside/folder.jpg")));
        QVERIFY(picture(false).save(file(QStringLiteral("catalogue/a.jpg")), "JPEG"));
        QVERIFY(picture(true).save(file(QStringLiteral("catalogue/c.jpg")), "JPEG"));
        QVERIFY(QFile::copy(file(QStringLiteral("catalogue/c.jpg")), file(QStringLiteral("catalogue/d.jpg"))));
        QVERIFY(QFile::copy(file(QStringLiteral("catalogue/a.jpg")), file(QStringLiteral("outside/b.jpg"))));
        for (const char *name : {"outside/notes.txt", "outside/fake.jpg"}) {
            QFile out(file(QLatin1String(name)));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write("no picture") > 0);
        }
        owner().table.clear();
        for (const char *name : {"catalogue/a.jpg", "catalogue/c.jpg", "catalogue/d.jpg"}) {
            const std::optional<PictureSignature> signature = computePictureSignature(file(QLatin1String(name)));
            QVERIFY(signature);
            owner().table.append(file(QLatin1String(name)), signature->cells);
        }
    }
    // 0 and 2 alike, 1 and 4 alike, 3 alike to nothing.
    void lookAlikes()
    {
        owner().table.clear();
        for (const Signature &cells : {grey(), whitePatch(0, 20), grey(), whitePatch(40, 20), whitePatch(0, 20)})
            owner().table.append(pictureName(owner().table.count()), cells);
    }
    void drop(const QStringList &names)
    {
        QList<QUrl> urls;
        for (const QString &name : names)
            urls << QUrl::fromLocalFile(file(name));
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(sam(), &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(sam(), &event);
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
    }
    void init() { m_files = std::make_unique<QTemporaryDir>(); }
    void cleanup()
    {
        frmSam::unload();
        m_owner.reset();
        QTRY_VERIFY(!frmSam::loaded());
    }

    void chosenBases_data()
    {
        QTest::addColumn<QList<int>>("chosen");
        QTest::addColumn<QStringList>("placed");
        QTest::addRow("a late base finds the earlier entries") << QList<int>{2} << pictureNames({0, 2});
        QTest::addRow("bases in catalogue order, whatever the order named")
            << QList<int>{4, 2} << pictureNames({0, 2, 1, 4});
        QTest::addRow("a base grouped by an earlier base is none") << QList<int>{2, 0} << pictureNames({2, 0});
        QTest::addRow("a base alike to nothing makes no group") << QList<int>{3} << QStringList{QString()};
        QTest::addRow("a path not in the catalogue is no base") << QList<int>{9, 1} << pictureNames({4, 1});
    }
    void chosenBases()
    {
        // The bases are the named entries in catalogue order, the candidates every entry;
        // the groups are shown as the comparison run shows its own, base last.
        QFETCH(QList<int>, chosen);
        QFETCH(QStringList, placed);
        lookAlikes();
        frmSam::ShowLike(&owner(), pictureNames(chosen));
        QVERIFY(!sam()->isRunning());
        QCOMPARE(sam()->placement(), placed);
        QStringList grouped; // the window's groups, as a rule or the compare window reads them
        for (const PictureGroup &group : sam()->groups())
            grouped << group.members << group.base;
        QCOMPARE(grouped, placed.first().isEmpty() ? QStringList() : placed);
    }

    void chosenTitles()
    {
        // The title counts the chosen bases, not the catalogue.
        lookAlikes();
        TitleWatcher watcher;
        frmSam::ShowLike(&owner(), pictureNames({4, 2}));
        // A slice shows the title of the last group it placed.
        QVERIFY2(watcher.titles.contains(pictureName(4) + QStringLiteral("を比較中...(2/2)")),
                 qPrintable(watcher.titles.join(QLatin1Char('|'))));
    }

    void stopEndsTheGroupThenTheRun()
    {
        // Esc and Yes during a large group end that group at once, its base placed after
        // the members placed so far; Yes again before the next group ends the run.
        constexpr int Copies = 30000;
        owner().table.clear();
        for (int i = 0; i < Copies; ++i)
            owner().table.append(pictureName(i), grey());
        owner().table.append(pictureName(Copies), whitePatch(0, 20));
        owner().table.append(pictureName(Copies + 1), whitePatch(0, 20));
        ScriptedDialogs dialogs;
        dialogs.answers << DialogService::Yes << DialogService::Yes;
        TitleWatcher watcher;
        bool pressed = false;
        watcher.during = [&pressed](frmSam *window, const QString &) {
            if (!std::exchange(pressed, true))
                QTest::keyClick(window, Qt::Key_Escape);
        };
        frmSam::ShowLike(&owner(), pictureNames({0, Copies}));
        QCOMPARE(dialogs.messages(), QStringList(2, QStringLiteral("中止しますか？")));
        const QStringList placed = sam()->placement();
        QVERIFY2(placed.size() < Copies, "the group should have been cut short");
        QCOMPARE(placed.last(), pictureName(0));
        QCOMPARE(placed.mid(0, placed.size() - 1), pictureNames([&] {
                     QList<int> members;
                     for (int i = 1; i < placed.size(); ++i)
                         members << i;
                     return members;
                 }()));
        QCOMPARE(sam()->groups().size(), size_t(1));
    }

    void droppedFiles_data()
    {
        QTest::addColumn<QStringList>("dropped");
        QTest::addColumn<QStringList>("placed");
        QTest::addColumn<bool>("told");
        const QString a = QStringLiteral("catalogue/a.jpg"), b = QStringLiteral("outside/b.jpg"),
                      c = QStringLiteral("catalogue/c.jpg"), d = QStringLiteral("catalogue/d.jpg");
        QTest::addRow("a picture outside finds its copy") << QStringList{b} << QStringList{a, b} << false;
        QTest::addRow("a picture of the catalogue is a base") << QStringList{c} << QStringList{d, c} << false;
        QTest::addRow("the catalogue's first, then the others, no-pictures left out")
            << QStringList{QStringLiteral("outside/notes.txt"), b, c} << QStringList{d, c, a, b} << false;
        QTest::addRow("named as a picture, yet none") << QStringList{QStringLiteral("outside/fake.jpg")} << QStringList()
                                                      << true;
        QTest::addRow("a text file and a folder")
            << QStringList{QStringLiteral("outside/notes.txt"), QStringLiteral("outside/folder.jpg")} << QStringList()
            << true;
    }
    void droppedFiles()
    {
        // Dropped on the window showing results, picture files find their look-alikes in
        // the catalogue, which stays as it was; a drop without any picture is told.
        QFETCH(QStringList, dropped);
        QFETCH(QStringList, placed);
        QFETCH(bool, told);
        pictureFiles();
        const int entries = owner().table.count();
        frmSam::ShowEx(&owner(), 0);
        const QStringList listed = sam()->placement();

        ScriptedDialogs dialogs;
        drop(dropped);
        if (told) {
            QTRY_COMPARE(dialogs.messages(), QStringList{NoPicture});
            QCOMPARE(sam()->placement(), listed);
            QVERIFY(owner().holds.isEmpty());
        } else {
            QStringList expected;
            for (const QString &name : std::as_const(placed))
                expected << file(name);
            QTRY_COMPARE(sam()->placement(), expected);
            QVERIFY(!sam()->isRunning());
            QVERIFY(dialogs.messages().isEmpty());
            // Held as a command of the owner for the run.
            QCOMPARE(owner().holds, (QList<bool>{true, false}));
        }
        QCOMPARE(owner().table.count(), entries);
    }

    void dropWhileTheOwnerIsBusy()
    {
        // While a command of the owner runs, the window takes no drop: nothing is read or run.
        pictureFiles();
        frmSam::ShowEx(&owner(), 0);
        ScriptedDialogs dialogs;
        owner().busy = true; // a command of the owner's runs
        drop({QStringLiteral("outside/b.jpg")});
        QTest::qWait(200);
        QCOMPARE(sam()->placement().size(), owner().table.count());
        QVERIFY(owner().holds.isEmpty());
    }
};

QTEST_MAIN(tst_samchosen)
#include "tst_samchosen.moc"
