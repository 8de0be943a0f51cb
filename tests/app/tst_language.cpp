// The windows in each language: captions, a status text, a question and the settings
// dialog read back after the language's translators are installed, and no two items of
// one menu answer the same access key.

#include "frmLumo.h"
#include "frmSet.h"
#include "lumodriver.h"
#include "outside/scripteddialogs.h"
#include "outside/uilanguage.h"
#include "samtestsupport.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

Q_DECLARE_METATYPE(UiLanguage)

namespace {
// The letter after a single '&', lower case; none for a text without one.
QChar accessKey(const QString &text)
{
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) != QLatin1Char('&'))
            return text.at(i + 1).toLower();
        ++i;
    }
    return {};
}

// Each menu of the bar, and the bar itself, answers each access key with one item only;
// no two actions of the window share a shortcut.
void checkKeys(QWidget *window)
{
    auto *bar = window->findChild<QMenuBar *>();
    QVERIFY(bar);
    QList<QList<QAction *>> groups{bar->actions()};
    for (QAction *title : bar->actions()) {
        if (title->menu())
            groups.append(title->menu()->actions());
    }
    for (const QList<QAction *> &group : std::as_const(groups)) {
        QHash<QChar, QString> seen;
        for (QAction *action : group) {
            const QChar key = accessKey(action->text());
            if (key.isNull())
                continue;
            QVERIFY2(!seen.contains(key), qPrintable(QStringLiteral("\"%1\" and \"%2\" share the key %3")
                                                         .arg(seen.value(key), action->text(), key)));
            seen.insert(key, action->text());
        }
    }
    QHash<QKeySequence, QString> shortcuts;
    for (QAction *action : window->findChildren<QAction *>()) {
        for (const QKeySequence &shortcut : action->shortcuts()) {
            const QString other = shortcuts.value(shortcut);
            QVERIFY2(other.isNull() || other == action->objectName(),
                     qPrintable(QStringLiteral("%1 and %2 share %3")
                                    .arg(other, action->objectName(), shortcut.toString())));
            shortcuts.insert(shortcut, action->objectName());
        }
    }
}

QStringList menuTitles(QWidget *window)
{
    QStringList titles;
    for (QAction *title : window->findChild<QMenuBar *>()->actions())
        titles << title->text();
    return titles;
}

QString makeJpeg(const QString &folder)
{
    QImage image(32, 32, QImage::Format_RGB32);
    image.fill(QColor(90, 140, 200));
    const QString path = folder + QStringLiteral("/one.jpg");
    if (!image.save(path, "JPEG"))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}
} // namespace

class tst_language : public QObject
{
    Q_OBJECT

private:
    TemporaryHome m_home;
    QTemporaryDir m_dir;

    static void languageColumn()
    {
        QTest::addColumn<UiLanguage>("language");
    }
    static void install(UiLanguage language)
    {
        const bool loaded = installUiLanguage(language);
        // The English is built into the program; Qt's Japanese comes with Debian's
        // qt6-translations-l10n, which a build machine may lack.
        if (language == UiLanguage::English
            || QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ja.qm")))
            QVERIFY(loaded);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(m_dir.isValid());
    }
    void cleanup()
    {
        frmSam::unload();
        QTRY_VERIFY(!frmSam::loaded());
        installUiLanguage(UiLanguage::Japanese);
    }

    void mainWindow_data()
    {
        languageColumn();
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QStringList>("fileItems");
        QTest::addColumn<QString>("likeButton");
        QTest::addColumn<QStringList>("columns");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("count");
        QTest::addColumn<QString>("question");
        QTest::newRow("Japanese") << UiLanguage::Japanese
                                  << QStringList{"ファイル(&F)", "一覧(&L)", "画像(&J)", "ヘルプ(&H)"}
                                  << QStringList{"新規(&N)", "開く(&O)", "", "保存(&S)", "", "設定", "", "終了(&Q)"}
                                  << "類似" << QStringList{"ファイル名", "パス", "更新日時", "サイズ"} << "追加完了"
                                  << "1個のファイル" << "現在のファイルを保存しますか？";
        QTest::newRow("English") << UiLanguage::English << QStringList{"&File", "&List", "&Pictures", "&Help"}
                                 << QStringList{"&New", "&Open…", "", "&Save", "", "Se&ttings…", "", "&Quit"}
                                 << "Similar" << QStringList{"Name", "Path", "Modified", "Size"} << "Added"
                                 << "1 file" << "Save the current catalogue?";
    }
    void mainWindow()
    {
        // The main window speaks the language it was made in: menus, tool bar, list,
        // status texts and the question on closing with unsaved changes.
        QFETCH(UiLanguage, language);
        QFETCH(QStringList, menus);
        QFETCH(QStringList, fileItems);
        QFETCH(QString, likeButton);
        QFETCH(QStringList, columns);
        QFETCH(QString, added);
        QFETCH(QString, count);
        QFETCH(QString, question);
        install(language);
        LumoDriver lumo;
        QCOMPARE(menuTitles(&lumo.window()), menus);
        QStringList items;
        for (QAction *item : lumo.window().findChild<QMenu *>(QStringLiteral("mnuFile"))->actions())
            items << item->text();
        QCOMPARE(items, fileItems);
        QCOMPARE(lumo.command("Like")->text(), likeButton);
        QCOMPARE(lumo.command("Like")->toolTip(), likeButton);
        const QAbstractItemModel *header = lumo.list()->model();
        QStringList shown;
        for (int i = 0; i < header->columnCount(); ++i)
            shown << header->headerData(i, Qt::Horizontal).toString();
        QCOMPARE(shown, columns);
        checkKeys(&lumo.window());

        ScriptedDialogs dialogs;
        dialogs.files.enqueue(CommonDialog::resultFor({makeJpeg(m_dir.path())}));
        lumo.run("mnuL2");
        QCOMPARE(lumo.panel("Info"), added);
        QCOMPARE(lumo.panel("FileCount"), count);
        dialogs.answers.enqueue(DialogService::No);
        lumo.window().close();
        QCOMPARE(dialogs.messages(), QStringList{question});
    }

    void similarWindow_data()
    {
        languageColumn();
        QTest::addColumn<QStringList>("menus");
        QTest::addColumn<QString>("firstRule");
        QTest::newRow("Japanese") << UiLanguage::Japanese << QStringList{"ファイル", "選択(&S)"}
                                  << "画質の良い画像を残す(&Q)";
        QTest::newRow("English") << UiLanguage::English << QStringList{"&File", "&Select"} << "Keep the best &quality";
    }
    void similarWindow()
    {
        // The similar-pictures window's menus, and their access keys.
        QFETCH(UiLanguage, language);
        QFETCH(QStringList, menus);
        QFETCH(QString, firstRule);
        install(language);
        FakeOwner owner;
        owner.show();
        frmSam::ShowEx(&owner, 0);
        QVERIFY(frmSam::loaded());
        QCOMPARE(menuTitles(frmSam::loaded()), menus);
        QCOMPARE(frmSam::loaded()->findChild<QAction *>(QStringLiteral("mnuS0"))->text(), firstRule);
        checkKeys(frmSam::loaded());
    }

    void settingsDialog_data()
    {
        languageColumn();
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("languageLabel");
        QTest::addColumn<QString>("note");
        QTest::newRow("Japanese") << UiLanguage::Japanese << "設定" << "表示言語(&L)" << "次回の起動から有効になります";
        QTest::newRow("English") << UiLanguage::English << "Settings" << "&Language" << "Takes effect at the next start";
    }
    void settingsDialog()
    {
        // The settings dialog in the language, every caption whole inside it.
        QFETCH(UiLanguage, language);
        QFETCH(QString, title);
        QFETCH(QString, languageLabel);
        QFETCH(QString, note);
        install(language);
        frmSet dialog;
        QCOMPARE(dialog.windowTitle(), title);
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblLanguage"))->text(), languageLabel);
        QCOMPARE(dialog.findChild<QLabel *>(QStringLiteral("lblLanguageNote"))->text(), note);
        const QRect inside = dialog.rect();
        for (QWidget *control : dialog.findChildren<QWidget *>()) {
            if (!control->parentWidget() || control->parentWidget() != &dialog)
                continue;
            QVERIFY2(inside.contains(control->geometry()), qPrintable(control->objectName()));
            if (qobject_cast<QLabel *>(control) || qobject_cast<QCheckBox *>(control) || qobject_cast<QComboBox *>(control)) {
                if (language != UiLanguage::English)
                    continue;
                QVERIFY2(control->width() >= control->sizeHint().width(), qPrintable(control->objectName()));
            }
        }
    }
};

QTEST_MAIN(tst_language)
#include "tst_language.moc"
