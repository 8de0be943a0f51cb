// The settings dialog: its controls, the check of what was typed, centring over its owner,
// and the main window's "設定" command handing values in and taking them back.

#include "frmLumo.h"
#include "frmSet.h"
#include "modalhelper.h"
#include "outside/scripteddialogs.h"
#include "outside/workarea.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTreeView>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {
const QString InvalidInput = QStringLiteral("入力が不正です");

QLineEdit *box(QWidget *dialog, const QString &name)
{
    return dialog->findChild<QLineEdit *>(name);
}

// Types into each box whose text is not "=" (left as filled), after clearing it.
void type(frmSet *dialog, const QStringList &texts)
{
    const QStringList names = {"txtCols", "txtWidth", "txtHeight"};
    for (int i = 0; i < 3; ++i) {
        if (texts.at(i) == QLatin1String("="))
            continue;
        box(dialog, names.at(i))->clear();
        QTest::keyClicks(box(dialog, names.at(i)), texts.at(i));
    }
}

QString appName()
{
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}
} // namespace

class tst_frmSet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }
    void init()
    {
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName(), appName());
        settings.clear();
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("twips");
        QTest::newRow("Label1") << "Label1" << "カラム数" << QRect(150, 225, 915, 240);
        QTest::newRow("txtCols") << "txtCols" << "" << QRect(1200, 225, 840, 315);
        QTest::newRow("Label3") << "Label3" << "横サイズ(W)" << QRect(75, 675, 990, 315);
        QTest::newRow("txtWidth") << "txtWidth" << "" << QRect(1200, 675, 840, 315);
        QTest::newRow("Label2") << "Label2" << "縦サイズ(H)" << QRect(2175, 675, 990, 315);
        QTest::newRow("txtHeight") << "txtHeight" << "" << QRect(3225, 675, 840, 315);
        QTest::newRow("cmdOK") << "cmdOK" << "OK" << QRect(1425, 1200, 1300, 360);
        QTest::newRow("cmdCancel") << "cmdCancel" << "キャンセル" << QRect(2775, 1200, 1300, 360);
    }
    void controls()
    {
        // Each control stands where its twips put it and shows its caption; the dialog is "設定", 4245 × 1680 twips inside
        // plus a row below the buttons for the formats' check box and one for the language, widened to show the captions whole.
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QRect, twips);
        frmSet dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("設定"));
        QVERIFY(dialog.width() >= WorkArea::twipsToPixelsX(4245));
        QCOMPARE(dialog.height(), WorkArea::twipsToPixelsY(1680 + 450 + 450));
        auto *control = dialog.findChild<QWidget *>(name);
        QVERIFY(control);
        const QRect expected(WorkArea::twipsToPixelsX(twips.x()), WorkArea::twipsToPixelsY(twips.y()),
                             WorkArea::twipsToPixelsX(twips.width()), WorkArea::twipsToPixelsY(twips.height()));
        QCOMPARE(control->geometry(), expected);
        QString shown;
        if (auto *label = qobject_cast<QLabel *>(control))
            shown = label->text().remove(QLatin1Char('&'));
        else if (auto *button = qobject_cast<QPushButton *>(control))
            shown = button->text();
        QCOMPARE(shown, text);
    }

    void keyboard()
    {
        // Tab runs through the boxes and the buttons in order, OK answers Enter, and each box takes only as many digits as its option word.
        frmSet dialog;
        QStringList order{"txtCols"};
        for (QWidget *w = box(&dialog, "txtCols")->nextInFocusChain(); order.size() < 5; w = w->nextInFocusChain())
            if (w->focusPolicy() != Qt::NoFocus)
                order << w->objectName();
        QCOMPARE(order, (QStringList{"txtCols", "txtWidth", "txtHeight", "cmdOK", "cmdCancel"}));
        QVERIFY(dialog.findChild<QPushButton *>("cmdOK")->isDefault());
        QTest::keyClicks(box(&dialog, "txtCols"), "123");
        QTest::keyClicks(box(&dialog, "txtWidth"), "12345");
        QTest::keyClicks(box(&dialog, "txtHeight"), "9x87");
        QCOMPARE(box(&dialog, "txtCols")->text(), "12");
        QCOMPARE(box(&dialog, "txtWidth")->text(), "1234");
        QCOMPARE(box(&dialog, "txtHeight")->text(), "987");
    }

    void ok_data()
    {
        QTest::addColumn<QStringList>("typed");
        QTest::addColumn<QString>("invalid"); // the box with the focus after the message, "" when none
        QTest::addColumn<QList<int>>("values");
        const QList<int> unchanged = {6, 12000, 1600};
        QTest::newRow("8, 1500, 2000") << QStringList{"8", "1500", "2000"} << "" << QList<int>{8, 1500, 2000};
        QTest::newRow("stored values kept whole") << QStringList{"=", "=", "="} << "" << unchanged;
        QTest::newRow("columns empty") << QStringList{"", "=", "="} << "txtCols" << unchanged;
        QTest::newRow("width 0") << QStringList{"=", "0", "="} << "txtWidth" << unchanged;
        QTest::newRow("height 00") << QStringList{"=", "=", "00"} << "txtHeight" << unchanged;
        QTest::newRow("columns and height") << QStringList{"0", "=", ""} << "txtCols" << unchanged;
        QTest::newRow("width and height") << QStringList{"=", "", ""} << "txtWidth" << unchanged;
    }
    void ok()
    {
        // OK takes three values that do not read as 0; otherwise one "入力が不正です" for the first bad box, which gets the focus, and the dialog stays.
        QFETCH(QStringList, typed);
        QFETCH(QString, invalid);
        QFETCH(QList<int>, values);
        ScriptedDialogs dialogs;
        ModalGuard guard;
        QWidget owner;
        owner.show();
        frmSet dialog;
        dialog.SamCols = 6;
        dialog.SamWidth = 12000;
        dialog.SamHeight = 1600;
        bool stayed = false;
        QString focus;
        whenModal<frmSet>([&](frmSet *shown) {
            type(shown, typed);
            QTest::keyClick(box(shown, "txtHeight"), Qt::Key_Return);
            stayed = shown->isVisible();
            if (stayed) {
                focus = shown->focusWidget()->objectName();
                QTest::keyClick(shown, Qt::Key_Escape);
            }
        });
        const bool confirmed = dialog.ShowEx(&owner);
        QVERIFY(!guard.fired());
        QCOMPARE(confirmed, invalid.isEmpty());
        QCOMPARE(stayed, !invalid.isEmpty());
        QCOMPARE(focus, invalid);
        QCOMPARE(dialogs.messages(), invalid.isEmpty() ? QStringList() : QStringList{InvalidInput});
        if (!invalid.isEmpty()) {
            QCOMPARE(dialogs.asked.first().style, 48);
            QCOMPARE(dialogs.asked.first().owner, &dialog);
        }
        QCOMPARE((QList<int>{dialog.SamCols, dialog.SamWidth, dialog.SamHeight}), values);
    }

    void folderAddFollowsAllFormats_data()
    {
        QTest::addColumn<bool>("tick");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("off") << false << QStringList{"a.jpg"};
        QTest::newRow("on") << true << QStringList{"a.jpg", "b.HEIC", "c.png", "d.webp", "e.tif"};
    }
    void folderAddFollowsAllFormats()
    {
        // The folder add takes JPEG alone, or with the setting ticked in "設定" the other formats too; the setting comes back in the next run.
        QFETCH(bool, tick);
        QFETCH(QStringList, added);
        ScriptedDialogs dialogs;
        ModalGuard guard;
        QTemporaryDir folder;
        for (const char *name : {"a.jpg", "b.HEIC", "c.png", "d.webp", "e.tif", "f.bmp"})
            QVERIFY(QImage(QSize(16, 16), QImage::Format_RGB32).save(folder.filePath(QLatin1String(name)), "PNG"));
        {
            frmLumo window;
            window.show();
            whenModal<frmSet>([&](frmSet *d) {
                if (tick)
                    d->findChild<QCheckBox *>("chkAllFormats")->click();
                QTest::keyClick(box(d, "txtCols"), Qt::Key_Return);
            });
            window.findChild<QAction *>("mnuF5")->trigger();
            dialogs.folders.enqueue(folder.path());
            window.findChild<QAction *>("mnuL0")->trigger();
            QStringList names;
            auto *list = window.findChild<QTreeView *>("lsvJpeg");
            for (int i = 0; i < list->model()->rowCount(); ++i)
                names << list->model()->index(i, 0).data().toString();
            QCOMPARE(names, added);
            dialogs.answers.enqueue(DialogService::No); // "現在のファイルを保存しますか？"
            QVERIFY(window.close());
        }
        frmLumo next;
        whenModal<frmSet>([&](frmSet *d) {
            QCOMPARE(d->findChild<QCheckBox *>("chkAllFormats")->isChecked(), tick);
            QTest::keyClick(box(d, "txtCols"), Qt::Key_Escape);
        });
        next.findChild<QAction *>("mnuF5")->trigger();
        QVERIFY(!guard.fired());
    }

    void languageComesBackInTheNextRun_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("shownIndex");
        QTest::addColumn<int>("chosenIndex");
        QTest::addColumn<bool>("confirm");
        QTest::addColumn<QString>("atOnce"); // stored right after the dialog
        QTest::addColumn<QString>("next");   // stored once the window has closed
        QTest::newRow("nothing stored, English chosen") << QString() << 0 << 2 << true << "en" << "en";
        QTest::newRow("Japanese, back to automatic") << "ja" << 1 << 0 << true << "auto" << "auto";
        QTest::newRow("English, Japanese chosen") << "en" << 2 << 1 << true << "ja" << "ja";
        QTest::newRow("hand-edited English kept") << "EN " << 2 << 2 << true << "EN " << "en";
        QTest::newRow("nonsense, shown as automatic") << "klingon" << 0 << 0 << true << "klingon" << "auto";
        QTest::newRow("cancelled, nothing changes") << "en" << 2 << 1 << false << "en" << "en";
    }
    void languageComesBackInTheNextRun()
    {
        // "設定" shows the stored language; OK keeps the choice at once for the next start, Cancel keeps what was stored.
        QFETCH(QString, stored);
        QFETCH(int, shownIndex);
        QFETCH(int, chosenIndex);
        QFETCH(bool, confirm);
        QFETCH(QString, atOnce);
        QFETCH(QString, next);
        {
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName(), appName());
            if (!stored.isNull())
                settings.setValue("Language", stored);
        }
        ModalGuard guard;
        frmLumo window;
        window.show();
        int shown = -1;
        whenModal<frmSet>([&](frmSet *d) {
            auto *choice = d->findChild<QComboBox *>("cboLanguage");
            shown = choice->currentIndex();
            choice->setCurrentIndex(chosenIndex);
            QTest::keyClick(box(d, "txtCols"), confirm ? Qt::Key_Return : Qt::Key_Escape);
        });
        window.findChild<QAction *>("mnuF5")->trigger();
        QCOMPARE(shown, shownIndex);
        {
            // Before the window closes: a start in between already sees the choice.
            QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName(), appName());
            QCOMPARE(settings.value("Language").toString(), atOnce);
        }
        QVERIFY(window.close());
        QSettings settings(QSettings::NativeFormat, QSettings::UserScope, appName(), appName());
        QCOMPARE(settings.value("Language").toString(), next);
        QVERIFY(!guard.fired());
    }

    void centredStart_data()
    {
        QTest::addColumn<double>("ownerExtent");
        QTest::addColumn<int>("expected");
        QTest::newRow("even difference") << 7245.0 << 1500;
        QTest::newRow("odd difference truncated") << 4260.0 << 7;
        QTest::newRow("negative odd difference truncated toward 0") << 4230.0 << -7;
        QTest::newRow("2.5 rounds to 2") << 4247.5 << 1;
        QTest::newRow("3.5 rounds to 4") << 4248.5 << 2;
        QTest::newRow("-2.5 rounds to -2") << 4242.5 << -1;
    }
    void centredStart()
    {
        // The offset over the owner is the rounded (halves to even) difference of the sizes, halved with truncation.
        QFETCH(double, ownerExtent);
        QFETCH(int, expected);
        QCOMPARE(frmSet::centredStart(100, ownerExtent, 4245), 100 + expected);
    }

    void centredOverOwner_data()
    {
        QTest::addColumn<QRect>("owner");
        QTest::newRow("middle of the screen") << QRect(300, 200, 800, 500);
        // (The offscreen platform used by the tests pulls windows back over the left and top edges.)
        QTest::newRow("odd size, partly off the screen") << QRect(700, 500, 601, 401);
        QTest::newRow("smaller than the dialog") << QRect(900, 700, 151, 75);
    }
    void centredOverOwner()
    {
        // The dialog opens centred over its owner wherever the owner stands, with the owner's icon.
        QFETCH(QRect, owner);
        QWidget window;
        QPixmap icon(16, 16);
        icon.fill(Qt::darkRed);
        window.setWindowIcon(QIcon(icon));
        window.setGeometry(owner);
        window.show();
        ModalGuard guard;
        frmSet dialog;
        dialog.SamCols = dialog.SamWidth = dialog.SamHeight = 1;
        QRect shown;
        qint64 iconKey = 0;
        whenModal<frmSet>([&](frmSet *d) {
            shown = d->frameGeometry();
            iconKey = d->windowIcon().cacheKey();
            d->reject();
        });
        QVERIFY(!dialog.ShowEx(&window));
        const QPoint offset = shown.center() - window.frameGeometry().center();
        QVERIFY2(qAbs(offset.x()) <= 1 && qAbs(offset.y()) <= 1,
                 qPrintable(QStringLiteral("off by %1,%2").arg(offset.x()).arg(offset.y())));
        QCOMPARE(iconKey, window.windowIcon().cacheKey());
        QCOMPARE(dialog.parentWidget(), &window);
    }

    void settingsCommandCancelled_data()
    {
        QTest::addColumn<QString>("way");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("Cancel") << "Cancel";
        QTest::newRow("close box") << "close box";
        QTest::newRow("unloaded") << "unloaded";
    }
    void settingsCommandCancelled()
    {
        // Leaving "設定" any way but OK keeps the main window's values, whatever was typed.
        QFETCH(QString, way);
        ScriptedDialogs dialogs;
        ModalGuard guard;
        frmLumo window;
        window.show();
        whenModal<frmSet>([&](frmSet *d) {
            type(d, {"9", "999", "888"});
            if (way == QLatin1String("Esc"))
                QTest::keyClick(box(d, "txtWidth"), Qt::Key_Escape);
            else if (way == QLatin1String("Cancel"))
                d->findChild<QPushButton *>("cmdCancel")->click();
            else if (way == QLatin1String("close box"))
                d->close();
            else
                frmSet::unload();
        });
        window.findChild<QAction *>("mnuF5")->trigger();
        QVERIFY(!guard.fired());
        QCOMPARE(frmSet::loaded(), nullptr);
        QCOMPARE(window.SamCols(), qint16(6));
        QCOMPARE(window.SamWidth(), 1200);
        QCOMPARE(window.SamHeight(), 1600);
        QVERIFY(dialogs.messages().isEmpty());
    }

    void settingsCommandConfirmed()
    {
        // 8, 1500 and 2000 confirmed in "設定" become the main window's values, are stored when it closes and come back in the next run.
        ScriptedDialogs dialogs;
        ModalGuard guard;
        {
            frmLumo window;
            window.show();
            whenModal<frmSet>([&](frmSet *d) {
                QCOMPARE(box(d, "txtCols")->text(), "6");
                QCOMPARE(box(d, "txtWidth")->text(), "1200");
                QCOMPARE(box(d, "txtHeight")->text(), "1600");
                type(d, {"8", "1500", "2000"});
                QTest::keyClick(box(d, "txtCols"), Qt::Key_Return);
            });
            window.findChild<QAction *>("mnuF5")->trigger();
            QCOMPARE(window.SamCols(), qint16(8));
            QCOMPARE(window.SamWidth(), 1500);
            QCOMPARE(window.SamHeight(), 2000);
            QVERIFY(window.close());
        }
        frmLumo next;
        QCOMPARE(next.SamCols(), qint16(8));
        QCOMPARE(next.SamWidth(), 1500);
        QCOMPARE(next.SamHeight(), 2000);
        QVERIFY(!guard.fired());
    }
};

QTEST_MAIN(tst_frmSet)
#include "tst_frmSet.moc"
