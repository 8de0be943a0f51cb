#include "qtdialogservice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QPushButton>
#include <QTextDocument>

MessageBoxSetup messageBoxSetup(int style)
{
    using B = QMessageBox::StandardButton;
    QList<B> buttons;
    switch (DialogService::buttonsOf(style)) {
    case 1: buttons = {B::Ok, B::Cancel}; break;
    case 2: buttons = {B::Abort, B::Retry, B::Ignore}; break;
    case 3: buttons = {B::Yes, B::No, B::Cancel}; break;
    case 4: buttons = {B::Yes, B::No}; break;
    case 5: buttons = {B::Retry, B::Cancel}; break;
    default: buttons = {B::Ok}; break;
    }
    MessageBoxSetup setup;
    for (B button : std::as_const(buttons))
        setup.buttons |= button;
    switch (style & 0x70) {
    case 16: setup.icon = QMessageBox::Critical; break;
    case 32: setup.icon = QMessageBox::Question; break;
    case 48: setup.icon = QMessageBox::Warning; break;
    case 64: setup.icon = QMessageBox::Information; break;
    default: setup.icon = QMessageBox::NoIcon; break;
    }
    const int index = (style >> 8) & 0x3;
    setup.defaultButton = buttons.at(qMin<qsizetype>(index, buttons.size() - 1));
    switch (DialogService::escapeAnswer(style)) {
    case DialogService::Ok: setup.escapeButton = B::Ok; break;
    case DialogService::No: setup.escapeButton = B::No; break;
    case 3: setup.escapeButton = B::Abort; break;
    default: setup.escapeButton = B::Cancel; break;
    }
    return setup;
}

int answerOf(QMessageBox::StandardButton button)
{
    switch (button) {
    case QMessageBox::Ok: return DialogService::Ok;
    case QMessageBox::Yes: return DialogService::Yes;
    case QMessageBox::No: return DialogService::No;
    case QMessageBox::Abort: return 3;
    case QMessageBox::Retry: return 4;
    case QMessageBox::Ignore: return 5;
    default: return DialogService::Cancel;
    }
}

constexpr int AboutIconSide = 64;

// The dialogs choose files and never manage them: Qt's own dialog would otherwise delete
// an entry (a whole folder, past the trash) on the Delete key, and rename one. Creating a
// folder goes with them.
static void chooseOnly(QFileDialog &box)
{
    box.setOption(QFileDialog::ReadOnly);
}

static QString boxTitle()
{
    const QString name = QGuiApplication::applicationDisplayName();
    return name.isEmpty() ? QStringLiteral("Lumo") : name;
}

int QtDialogService::ShowMessage(QWidget *owner, const QString &text, int style, int)
{
    return ShowMessage(owner, text, QString(), style);
}

int QtDialogService::ShowMessage(QWidget *owner, const QString &text, const QString &detail, int style)
{
    const MessageBoxSetup setup = messageBoxSetup(style);
    QMessageBox box(owner);
    box.setWindowTitle(boxTitle());
    box.setText(text);
    // Shown as written: a picture's name is no markup.
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(Qt::mightBeRichText(detail) ? Qt::convertFromPlainText(detail) : detail);
    box.setIcon(setup.icon);
    box.setStandardButtons(setup.buttons);
    // The program speaks Japanese whether or not Qt's own translations are installed.
    const std::pair<QMessageBox::StandardButton, const char16_t *> captions[] = {
        {QMessageBox::Ok, u"OK"},          {QMessageBox::Cancel, u"キャンセル"},
        {QMessageBox::Yes, u"はい(&Y)"},    {QMessageBox::No, u"いいえ(&N)"},
        {QMessageBox::Abort, u"中止(&A)"},  {QMessageBox::Retry, u"再試行(&R)"},
        {QMessageBox::Ignore, u"無視(&I)"},
    };
    for (const auto &[button, caption] : captions) {
        if (QAbstractButton *b = box.button(button))
            b->setText(QString::fromUtf16(caption));
    }
    box.setDefaultButton(setup.defaultButton);
    box.setEscapeButton(setup.escapeButton);
    box.exec();
    QAbstractButton *clicked = box.clickedButton();
    if (!clicked)
        return answerOf(setup.escapeButton);
    return answerOf(box.standardButton(clicked));
}

void QtDialogService::ShowAbout(QWidget *owner, const AppInfo &info)
{
    // The name stands out; the texts are the program's own, shown as written.
    QString text = QStringLiteral("<b>%1</b>").arg(info.title.toHtmlEscaped());
    if (!info.version.isEmpty())
        text += QStringLiteral("<br>バージョン %1").arg(info.version.toHtmlEscaped());
    if (!info.comment.isEmpty())
        text += QStringLiteral("<br>") + info.comment.toHtmlEscaped();
    QMessageBox box(owner);
    box.setWindowTitle(QStringLiteral("バージョン情報"));
    // The application's own icon, the one its windows and launcher show.
    box.setIconPixmap(QGuiApplication::windowIcon().pixmap(AboutIconSide));
    box.setTextFormat(Qt::RichText);
    box.setText(text);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

bool QtDialogService::ShowFileDialog(QWidget *owner, CommonDialog &dialog, int mode)
{
    QFileDialog box(owner);
    chooseOnly(box);
    const bool save = mode == Save;
    box.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (save)
        box.setFileMode(QFileDialog::AnyFile);
    else if (dialog.multiSelect)
        box.setFileMode(QFileDialog::ExistingFiles);
    else
        box.setFileMode(dialog.fileMustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (save && !dialog.overwritePrompt)
        box.setOption(QFileDialog::DontConfirmOverwrite);
    if (save && !dialog.defaultExt.isEmpty())
        box.setDefaultSuffix(dialog.defaultExt);
    const QStringList filters = dialog.nameFilters();
    if (!filters.isEmpty())
        box.setNameFilters(filters);
    if (!dialog.initDir.isEmpty() && QDir(dialog.initDir).exists())
        box.setDirectory(dialog.initDir);
    if (!dialog.fileName.isEmpty())
        box.selectFile(dialog.fileName);
    if (box.exec() != QDialog::Accepted)
        return false;
    const QStringList chosen = box.selectedFiles();
    if (chosen.isEmpty())
        return false;
    dialog.fileName = CommonDialog::resultFor(chosen);
    return true;
}

QString QtDialogService::BrowseForFolder(QWidget *owner, const QString &start)
{
    const QString from = start.isEmpty() ? QDir::homePath() : start;
    QFileDialog box(owner, QStringLiteral("フォルダの選択"), from);
    chooseOnly(box);
    box.setFileMode(QFileDialog::Directory);
    box.setOption(QFileDialog::ShowDirsOnly);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty())
        return QString();
    return box.selectedFiles().constFirst();
}

void QtDialogService::ShowError(const QString &procedure, const QString &error)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(boxTitle());
    box.setIcon(QMessageBox::Critical);
    box.setText(QStringLiteral("%1 でエラーが発生しました。").arg(procedure));
    box.setInformativeText(error);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
