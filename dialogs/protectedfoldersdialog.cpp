#include "protectedfoldersdialog.h"

#include "fixeddialog.h"
#include "outside/dialogservice.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

ProtectedFoldersDialog::ProtectedFoldersDialog(const QStringList &folders, QWidget *parent)
    : QDialog(parent, FixedDialogFlags)
{
    setObjectName(QStringLiteral("ProtectedFoldersDialog"));
    setWindowTitle(tr("保護フォルダ"));

    auto *note = new QLabel(tr("これらのフォルダとその中のフォルダにある画像は選択されません"), this);
    note->setWordWrap(true);
    lstFolders = new QListWidget(this);
    lstFolders->setObjectName(QStringLiteral("lstFolders"));
    lstFolders->addItems(folders);
    lstFolders->setMinimumWidth(fontMetrics().averageCharWidth() * 50);

    cmdAdd = new QPushButton(tr("追加..."), this);
    cmdAdd->setObjectName(QStringLiteral("cmdAdd"));
    cmdAdd->setAutoDefault(false);
    cmdRemove = new QPushButton(tr("削除"), this);
    cmdRemove->setObjectName(QStringLiteral("cmdRemove"));
    cmdRemove->setAutoDefault(false);
    auto *side = new QVBoxLayout;
    side->addWidget(cmdAdd);
    side->addWidget(cmdRemove);
    side->addStretch();
    auto *middle = new QHBoxLayout;
    middle->addWidget(lstFolders, 1);
    middle->addLayout(side);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole)
        ->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(middle);
    layout->addWidget(buttons);

    connect(cmdAdd, &QPushButton::clicked, this, &ProtectedFoldersDialog::cmdAddClick);
    connect(cmdRemove, &QPushButton::clicked, this, &ProtectedFoldersDialog::cmdRemoveClick);
    connect(lstFolders, &QListWidget::currentRowChanged, this, &ProtectedFoldersDialog::updateButtons);
    updateButtons();
}

QStringList ProtectedFoldersDialog::folders() const
{
    QStringList folders;
    for (int i = 0; i < lstFolders->count(); ++i)
        folders.append(lstFolders->item(i)->text());
    return folders;
}

bool ProtectedFoldersDialog::edit(QWidget *owner, QStringList &folders)
{
    ProtectedFoldersDialog dialog(folders, owner);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    folders = dialog.folders();
    return true;
}

void ProtectedFoldersDialog::cmdAddClick()
{
    // The picker starts at the folder chosen in the list, if any.
    const QListWidgetItem *current = lstFolders->currentItem();
    const QString chosen = DialogService::instance().BrowseForFolder(this, current ? current->text() : QString());
    // Only a folder that is there: a name that protects nothing would only look as if it did.
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir())
        return;
    const QString folder = QDir::cleanPath(chosen);
    const QList<QListWidgetItem *> known = lstFolders->findItems(folder, Qt::MatchExactly);
    if (known.isEmpty())
        lstFolders->addItem(folder);
    lstFolders->setCurrentItem(known.isEmpty() ? lstFolders->item(lstFolders->count() - 1) : known.first());
}

void ProtectedFoldersDialog::cmdRemoveClick()
{
    delete lstFolders->currentItem();
    updateButtons();
}

void ProtectedFoldersDialog::updateButtons()
{
    cmdRemove->setEnabled(lstFolders->currentItem() != nullptr);
}
