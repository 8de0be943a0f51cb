#pragma once
// The protected folders of the similar-pictures window's rules: a list of folders with
// "追加..." (a folder picker through the dialog service) and "削除", confirmed with OK or
// dropped with キャンセル.
//
//     QStringList folders = owner->protectedFolders();
//     if (ProtectedFoldersDialog::edit(this, folders))
//         owner->setProtectedFolders(folders);

#include <QDialog>
#include <QStringList>

class QListWidget;
class QPushButton;

class ProtectedFoldersDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ProtectedFoldersDialog(const QStringList &folders, QWidget *parent = nullptr);

    // The folders as the list shows them now.
    QStringList folders() const;

    // Shows the dialog modally over owner; true, with folders replaced, after OK.
    static bool edit(QWidget *owner, QStringList &folders);

private:
    void cmdAddClick();
    void cmdRemoveClick();
    void updateButtons();

    QListWidget *lstFolders = nullptr;
    QPushButton *cmdAdd = nullptr;
    QPushButton *cmdRemove = nullptr;
};
