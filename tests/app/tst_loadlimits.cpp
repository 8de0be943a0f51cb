// The catalogue at its limit of 32,767 entries in the main window: it opens, both runs of
// the similar-pictures window go through it, it saves; adding beyond it goes on in a
// second catalogue file.

#include "lumodriver.h"
#include "outside/scripteddialogs.h"

#include <frmSam.h>

#include <QImage>
#include <QTemporaryDir>

#include <array>
#include <functional>
#include <QtTest>

namespace {
constexpr int Full = SignatureTable::MaxEntries;

QString entryName(int i)
{
    return QStringLiteral("/pictures/p%1.jpg").arg(i);
}

// Every entry alike but the last two, which are alike each other: the comparison run makes
// two groups and compares little, so the limit is reached quickly.
std::vector<Signature> twoGroups()
{
    Signature grey;
    grey.fill(100);
    std::vector<Signature> cells(Full, grey);
    for (int i : {Full - 2, Full - 1})
        std::fill(cells[size_t(i)].begin(), cells[size_t(i)].begin() + 60, int16_t(255));
    return cells;
}
} // namespace

class tst_loadlimits : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    QTemporaryDir m_dir;
    LumoDriver lumo;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        frmSam::unload();
        lumo.reset();
    }

    void fullCatalogueOpensSearchesAndSaves()
    {
        // 32,767 entries open into as many rows; the list run places them all and the
        // comparison run groups the last two like the first ones; saved again, the file
        // holds the same entries and signatures.
        QStringList names;
        for (int i = 0; i < Full; ++i)
            names << entryName(i);
        const std::vector<Signature> cells = twoGroups();
        const QString file = m_dir.filePath(QStringLiteral("full.sbx"));
        lumo.openCatalogue(file, names, cells);
        QCOMPARE(lumo.list()->model()->rowCount(), Full);
        QCOMPARE(lumo.panel("FileCount"), QStringLiteral("32767個のファイル"));
        QCOMPARE(lumo.panel("Info"), QStringLiteral("読込完了"));

        lumo.run("mnuJ3"); // 一覧表示
        QCOMPARE(frmSam::loaded()->placement(), names);
        lumo.run("mnuJ2"); // 類似検索
        const QStringList placed = frmSam::loaded()->placement();
        QCOMPARE(placed.size(), Full);
        QCOMPARE(placed.mid(Full - 4), (QStringList{entryName(Full - 3), entryName(0), entryName(Full - 1),
                                                    entryName(Full - 2)}));
        frmSam::unload();

        // Saved after a change (the save command wants one): the last entry out.
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(DialogService::No);
        lumo.select({names.last()});
        lumo.run("mnuL3");
        const QString copy = m_dir.filePath(QStringLiteral("copy.sbx"));
        dialogs.files.enqueue(copy);
        lumo.run("mnuF3");
        QCOMPARE(lumo.panel("Info"), QStringLiteral("保存完了"));
        SignatureTable saved;
        QVERIFY(!loadCatalogue(copy, saved).damaged());
        QCOMPARE(saved.count(), Full - 1);
        QCOMPARE(saved.name(Full - 2), entryName(Full - 2));
        QVERIFY(saved.cells(Full - 2) == cells[Full - 2]);
    }

    void addingBeyondTheLimitGoesOnInTheNextFile()
    {
        // Files from the dialog, a folder, a drop: each add goes on past the limit without a
        // message, every new picture gets its row and entry, and the Info panel says once
        // that the rest goes into the next catalogue file.
        QStringList names;
        for (int i = 0; i < Full; ++i)
            names << entryName(i);
        QTemporaryDir pictures;
        QStringList fresh;
        for (int i = 0; i < 2; ++i) {
            QImage picture(8, 8, QImage::Format_RGB32);
            picture.fill(QColor::fromHsv(i * 90, 255, 255));
            fresh << pictures.filePath(QStringLiteral("p%1.jpg").arg(i));
            QVERIFY(picture.save(fresh.last(), "JPEG"));
        }

        ScriptedDialogs dialogs;
        const auto tries = std::to_array<std::pair<const char *, std::function<void()>>>({
            {"files", [&] {
                 dialogs.files.enqueue(pictures.path() + QChar(u'\0') + QStringLiteral("p0.jpg") + QChar(u'\0')
                                       + QStringLiteral("p1.jpg"));
                 lumo.run("Add");
             }},
            {"one file", [&] {
                 dialogs.files.enqueue(fresh.first());
                 lumo.run("Add");
             }},
            {"folder", [&] {
                 dialogs.folders.enqueue(pictures.path());
                 lumo.run("Folder");
             }},
            {"drop", [&] { lumo.drop(fresh); }},
        });
        for (const auto &[way, add] : tries) {
            lumo.openCatalogue(m_dir.filePath(QStringLiteral("limit.sbx")), names, twoGroups());
            dialogs.asked.clear();
            add();
            QVERIFY2(dialogs.messages().isEmpty(), way);
            const int added = std::string(way) == "one file" ? 1 : 2;
            QCOMPARE(lumo.list()->model()->rowCount(), Full + added);
            QVERIFY2(lumo.rowKeys() == lumo.storeNames(), way);
            QCOMPARE(lumo.window().store()->catalogueSet().partCount(), 2);
            QCOMPARE(lumo.panel("Info"),
                     QStringLiteral("追加完了（32767個を超えた分は次のカタログファイルに保存します）"));
            // Said once: the next add goes on in the same file and says only that it is done.
            if (added == 1) {
                dialogs.files.enqueue(fresh.last());
                lumo.run("Add");
                QCOMPARE(lumo.panel("Info"), QStringLiteral("追加完了"));
            }
        }
    }
};

QTEST_MAIN(tst_loadlimits)
#include "tst_loadlimits.moc"
