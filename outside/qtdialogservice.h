#pragma once
// The real DialogService over QMessageBox and QFileDialog (Japanese button texts).

#include "dialogservice.h"

#include <QMessageBox>

// What a message style turns into; pure, so it can be checked without showing a box.
struct MessageBoxSetup
{
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::StandardButton escapeButton = QMessageBox::NoButton;
};
MessageBoxSetup messageBoxSetup(int style);
// 1 OK, 2 Cancel, 6 Yes, 7 No; 2 for any other button.
int answerOf(QMessageBox::StandardButton button);

class QtDialogService : public DialogService
{
public:
    int ShowMessage(QWidget *owner, const QString &text, int style, int reserved = 0) override;
    int ShowMessage(QWidget *owner, const QString &text, const QString &detail, int style) override;
    void ShowAbout(QWidget *owner, const AppInfo &info) override;
    bool ShowFileDialog(QWidget *owner, CommonDialog &dialog, int mode) override;
    QString BrowseForFolder(QWidget *owner, const QString &start) override;
    void ShowError(const QString &procedure, const QString &error) override;
};
