#include "outside/scripteddialogs.h"

ScriptedDialogs::ScriptedDialogs()
    : m_previous(DialogService::installed())
{
    DialogService::install(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    if (DialogService::installed() == this)
        DialogService::install(m_previous);
}

QList<ScriptedDialogs::Call> ScriptedDialogs::calls(const QString &kind) const
{
    QList<Call> result;
    for (const Call &call : asked) {
        if (call.kind == kind)
            result << call;
    }
    return result;
}

QStringList ScriptedDialogs::messages() const
{
    QStringList result;
    for (const Call &call : asked) {
        if (call.kind == QLatin1String("ShowMessage"))
            result << call.text;
    }
    return result;
}

ScriptedDialogs::Call ScriptedDialogs::makeCall(const QString &kind, QWidget *owner, const QString &text)
{
    Call call;
    call.kind = kind;
    call.owner = owner;
    call.text = text;
    return call;
}

int ScriptedDialogs::ShowMessage(QWidget *owner, const QString &text, int style, int)
{
    return ShowMessage(owner, text, QString(), style);
}

int ScriptedDialogs::ShowMessage(QWidget *owner, const QString &text, const QString &detail, int style)
{
    Call call = makeCall(QStringLiteral("ShowMessage"), owner, text);
    call.detail = detail;
    call.style = style;
    asked << call;
    if (onAsk)
        onAsk(call);
    if (!answers.isEmpty())
        return answers.dequeue();
    return buttonsOf(style) == 0 ? Ok : Cancel;
}

void ScriptedDialogs::ShowAbout(QWidget *owner, const AppInfo &info)
{
    asked << makeCall(QStringLiteral("ShowAbout"), owner, info.title);
    ++aboutCount;
}

bool ScriptedDialogs::ShowFileDialog(QWidget *owner, CommonDialog &dialog, int mode)
{
    Call call = makeCall(QStringLiteral("ShowFileDialog"), owner);
    call.dialog = dialog;
    call.mode = mode;
    asked << call;
    if (files.isEmpty())
        return false;
    const QString answer = files.dequeue();
    if (answer.isEmpty())
        return false;
    dialog.fileName = answer;
    return true;
}

QString ScriptedDialogs::BrowseForFolder(QWidget *owner, const QString &start)
{
    asked << makeCall(QStringLiteral("BrowseForFolder"), owner, start);
    return folders.isEmpty() ? QString() : folders.dequeue();
}

void ScriptedDialogs::ShowError(const QString &procedure, const QString &error)
{
    asked << makeCall(QStringLiteral("ShowError"), nullptr, error);
    errors << qMakePair(procedure, error);
}
