#pragma once
// A DialogService for tests: records every call and answers from queues, showing nothing.
// Constructing it installs it as DialogService::instance(); destroying it puts back the
// service installed before (the real one, normally).
//
//     ScriptedDialogs dialogs;
//     dialogs.answers.enqueue(DialogService::No);     // "現在のファイルを保存しますか？"
//     window.close();
//     QCOMPARE(dialogs.asked.size(), 1);
//     QCOMPARE(dialogs.asked.first().text, QStringLiteral("現在のファイルを保存しますか？"));

#include "outside/dialogservice.h"

#include <QList>
#include <QPair>
#include <QQueue>
#include <QString>

#include <functional>

class ScriptedDialogs : public DialogService
{
public:
    // One call of any kind. kind is the operation's name: "ShowMessage", "ShowFileDialog",
    // "BrowseForFolder", "ShowAbout" or "ShowError". text: the message; the start folder
    // of BrowseForFolder; the error of ShowError. style: the message style. dialog and
    // mode: ShowFileDialog's dialog as the caller prepared it, and its mode.
    struct Call
    {
        QString kind;
        QWidget *owner = nullptr;
        QString text;
        QString detail; // ShowMessage's second text
        int style = 0;
        CommonDialog dialog;
        int mode = 0;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    ScriptedDialogs(const ScriptedDialogs &) = delete;
    ScriptedDialogs &operator=(const ScriptedDialogs &) = delete;

    // Every call, in order.
    QList<Call> asked;
    // ShowMessage answers. Empty: OK (1) for an OK box, else Cancel (2).
    QQueue<int> answers;
    // ShowFileDialog answers: the dialog's fileName result (a full path, or folder NUL name
    // NUL name; see CommonDialog::resultFor). An empty string or an empty queue: cancelled.
    QQueue<QString> files;
    // BrowseForFolder answers; an empty queue answers "" (cancelled).
    QQueue<QString> folders;
    // ShowError calls: (procedure, error).
    QList<QPair<QString, QString>> errors;
    int aboutCount = 0;

    // Runs when a message is asked, before it is answered: act while a question "is shown".
    std::function<void(const Call &)> onAsk;

    // The calls of one kind.
    QList<Call> calls(const QString &kind) const;
    // The texts of the ShowMessage calls, in order.
    QStringList messages() const;

    int ShowMessage(QWidget *owner, const QString &text, int style, int reserved = 0) override;
    int ShowMessage(QWidget *owner, const QString &text, const QString &detail, int style) override;
    void ShowAbout(QWidget *owner, const AppInfo &info) override;
    bool ShowFileDialog(QWidget *owner, CommonDialog &dialog, int mode) override;
    QString BrowseForFolder(QWidget *owner, const QString &start) override;
    void ShowError(const QString &procedure, const QString &error) override;

private:
    static Call makeCall(const QString &kind, QWidget *owner, const QString &text = QString());
    DialogService *m_previous = nullptr;
};
