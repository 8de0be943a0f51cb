#include "outside/scripteddialogs.h"

#include <QWidget>
#include <QtTest>

class tst_ScriptedDialogs : public QObject
{
    Q_OBJECT

private slots:
    void answersComeFromTheQueueInOrder();
    void emptyQueueAnswersLikeClosingTheBox();
    void everyCallIsRecorded();
    void onAskRunsBeforeTheAnswer();
    void fileDialogAnswers();
    void folderAnswers();
    void nameFilters_data();
    void nameFilters();
    void resultRoundTrip();
};

void tst_ScriptedDialogs::answersComeFromTheQueueInOrder()
{
    // Queued answers are given one per question, first in first out.
    ScriptedDialogs dialogs;
    dialogs.answers << DialogService::Yes << DialogService::No << DialogService::Cancel;
    DialogService &service = DialogService::instance();
    QCOMPARE(service.ShowMessage(nullptr, QStringLiteral("a"), 323), 6);
    QCOMPARE(service.ShowMessage(nullptr, QStringLiteral("b"), 323), 7);
    QCOMPARE(service.ShowMessage(nullptr, QStringLiteral("c"), 67), 2);
    QVERIFY(dialogs.answers.isEmpty());
}

void tst_ScriptedDialogs::emptyQueueAnswersLikeClosingTheBox()
{
    // Without a queued answer an OK box answers OK and every question Cancel.
    ScriptedDialogs dialogs;
    QCOMPARE(dialogs.ShowMessage(nullptr, QStringLiteral("追加中止"), 64), int(DialogService::Ok));
    QCOMPARE(dialogs.ShowMessage(nullptr, QStringLiteral("入力が不正です"), 48), int(DialogService::Ok));
    QCOMPARE(dialogs.ShowMessage(nullptr, QStringLiteral("実行中です。中止しますか"), 68), int(DialogService::Cancel));
    QCOMPARE(dialogs.ShowMessage(nullptr, QStringLiteral("x"), 323), int(DialogService::Cancel));
}

void tst_ScriptedDialogs::everyCallIsRecorded()
{
    // Each call of any kind lands in `asked` in order, with its owner, text and style.
    QWidget owner;
    ScriptedDialogs dialogs;
    DialogService &service = DialogService::instance();
    service.ShowMessage(&owner, QStringLiteral("中止しますか？"), 36, 0);
    CommonDialog dlgLumo;
    service.ShowFileDialog(&owner, dlgLumo, DialogService::Save);
    service.BrowseForFolder(&owner, QString());
    service.ShowAbout(&owner, AppInfo{QStringLiteral("lumo"), QStringLiteral("1"), QString()});
    service.ShowError(QStringLiteral("DeleteJepg"), QStringLiteral("boom"));

    QCOMPARE(dialogs.asked.size(), 5);
    QStringList kinds;
    for (const auto &call : std::as_const(dialogs.asked))
        kinds << call.kind;
    QCOMPARE(kinds, (QStringList{QStringLiteral("ShowMessage"), QStringLiteral("ShowFileDialog"),
                                 QStringLiteral("BrowseForFolder"), QStringLiteral("ShowAbout"),
                                 QStringLiteral("ShowError")}));
    QCOMPARE(dialogs.asked.first().owner, &owner);
    QCOMPARE(dialogs.asked.first().text, QStringLiteral("中止しますか？"));
    QCOMPARE(dialogs.asked.first().style, 36);
    QCOMPARE(dialogs.asked.at(1).mode, 1);
    QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("中止しますか？")});
    QCOMPARE(dialogs.calls(QStringLiteral("ShowError")).size(), 1);
    QCOMPARE(dialogs.errors, (QList<QPair<QString, QString>>{{QStringLiteral("DeleteJepg"), QStringLiteral("boom")}}));
    QCOMPARE(dialogs.aboutCount, 1);
}

void tst_ScriptedDialogs::onAskRunsBeforeTheAnswer()
{
    // The hook sees the question while it "is shown", and an answer it queues is the one given.
    ScriptedDialogs dialogs;
    QString seen;
    dialogs.onAsk = [&](const ScriptedDialogs::Call &call) {
        seen = call.text;
        dialogs.answers.enqueue(DialogService::Yes);
    };
    QCOMPARE(dialogs.ShowMessage(nullptr, QStringLiteral("現在のファイルを保存しますか？"), 67), 6);
    QCOMPARE(seen, QStringLiteral("現在のファイルを保存しますか？"));
}

void tst_ScriptedDialogs::fileDialogAnswers()
{
    // A queued name is chosen; an empty name or an empty queue cancels and leaves the dialog as prepared.
    ScriptedDialogs dialogs;
    CommonDialog dlgLumo;
    dlgLumo.filter = QStringLiteral("*.sbx|*.sbx");
    dlgLumo.fileName = QStringLiteral("/old.sbx");
    dialogs.files << QStringLiteral("/new.sbx") << QString();

    QVERIFY(dialogs.ShowFileDialog(nullptr, dlgLumo, DialogService::Save));
    QCOMPARE(dlgLumo.fileName, QStringLiteral("/new.sbx"));
    QCOMPARE(dialogs.asked.last().dialog.fileName, QStringLiteral("/old.sbx"));
    QCOMPARE(dialogs.asked.last().dialog.filter, QStringLiteral("*.sbx|*.sbx"));

    QVERIFY(!dialogs.ShowFileDialog(nullptr, dlgLumo, DialogService::Open));
    QVERIFY(!dialogs.ShowFileDialog(nullptr, dlgLumo, DialogService::Open));
    QCOMPARE(dlgLumo.fileName, QStringLiteral("/new.sbx"));
    QCOMPARE(dialogs.asked.size(), 3);
}

void tst_ScriptedDialogs::folderAnswers()
{
    // Queued folders are answered in order, then "" as if the picker was cancelled.
    ScriptedDialogs dialogs;
    dialogs.folders << QStringLiteral("/pics");
    QCOMPARE(dialogs.BrowseForFolder(nullptr, QString()), QStringLiteral("/pics"));
    QCOMPARE(dialogs.BrowseForFolder(nullptr, QString()), QString());
}

void tst_ScriptedDialogs::nameFilters_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("pictures") << "*.jpeg *.jpg|*.jpeg;*.jpg" << QStringList{"*.jpeg *.jpg (*.jpeg *.jpg)"};
    QTest::newRow("catalogue") << "*.sbx|*.sbx" << QStringList{"*.sbx (*.sbx)"};
    QTest::newRow("two entries") << "カタログ|*.sbx|すべて|*.*" << QStringList{"カタログ (*.sbx)", "すべて (*.*)"};
    QTest::newRow("none") << "" << QStringList{};
}

void tst_ScriptedDialogs::nameFilters()
{
    // The pipe-separated filter becomes QFileDialog's "description (patterns)" entries.
    QFETCH(QString, filter);
    QFETCH(QStringList, expected);
    CommonDialog dlgLumo;
    dlgLumo.filter = filter;
    QCOMPARE(dlgLumo.nameFilters(), expected);
}

void tst_ScriptedDialogs::resultRoundTrip()
{
    // One file is its full path; several are the folder then the names, NUL-separated, and split back.
    const QStringList one{QStringLiteral("/pics/a.jpg")};
    QCOMPARE(CommonDialog::resultFor(one), QStringLiteral("/pics/a.jpg"));
    QCOMPARE(CommonDialog::splitResult(CommonDialog::resultFor(one)), one);

    const QStringList two{QStringLiteral("/pics/a.jpg"), QStringLiteral("/pics/b.jpg")};
    const QString nul(QChar(0));
    QCOMPARE(CommonDialog::resultFor(two), QStringLiteral("/pics") + nul + QStringLiteral("a.jpg") + nul + QStringLiteral("b.jpg"));
    QCOMPARE(CommonDialog::splitResult(CommonDialog::resultFor(two)), two);

    const QStringList inRoot{QStringLiteral("/a.jpg"), QStringLiteral("/b.jpg")};
    QCOMPARE(CommonDialog::splitResult(CommonDialog::resultFor(inRoot)), inRoot);
    QCOMPARE(CommonDialog::splitResult(QString()), QStringList());
}

QTEST_MAIN(tst_ScriptedDialogs)
#include "tst_scripteddialogs.moc"
