#include "scripteddialogs.h"

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

int ScriptedDialogs::ShowMessage(QWidget *owner, const QString &text, int style, int)
{
    Call call;
    call.kind = QStringLiteral("ShowMessage");
    call.owner = owner;
    call.text = text;
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
    Call call;
    call.kind = QStringLiteral("ShowAbout");
    call.owner = owner;
    call.text = info.title;
    asked << call;
    ++aboutCount;
}

bool ScriptedDialogs::ShowFileDialog(QWidget *owner, CommonDialog &dialog, int mode)
{
    Call call;
    call.kind = QStringLiteral("ShowFileDialog");
    call.owner = owner;
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
    Call call;
    call.kind = QStringLiteral("BrowseForFolder");
    call.owner = owner;
    call.text = start;
    asked << call;
    return folders.isEmpty() ? QString() : folders.dequeue();
}

void ScriptedDialogs::ShowError(const QString &procedure, const QString &error)
{
    Call call;
    call.kind = QStringLiteral("ShowError");
    call.text = error;
    asked << call;
    errors << qMakePair(procedure, error);
}
