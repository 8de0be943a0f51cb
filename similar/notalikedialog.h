#pragma once
// The review of the pairs of pictures marked not alike: two small thumbnails and the two
// names of each pair, the newest first, with "忘れる" for the selected pairs and
// "すべて忘れる" after a question. A picture the open catalogue holds is named by its path
// there, any other by the path it last had. Every change is written at once.

#include "search/notalike.h"
#include "entries/signaturetable.h"
#include "outside/workpool.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QImage>

class QListWidget;
class QPushButton;

// Reads the user's decisions; a damaged file is told in a message owned by `owner`.
void loadNotAlikeDecisions(NotAlikeDecisions &decisions, QWidget *owner);

class NotAlikeDialog : public QDialog
{
    Q_OBJECT
public:
    NotAlikeDialog(const SignatureTable &catalogue, QWidget *parent = nullptr);
    ~NotAlikeDialog() override;

private:
    void fill();
    void forgetSelected();
    void forgetAll();
    void save();
    void thumbnailReady(int at);

    NotAlikeDecisions m_decisions;
    QHash<QByteArray, QString> m_current; // a look's path in the open catalogue
    QListWidget *lstPairs = nullptr;
    QPushButton *cmdForget = nullptr;
    QPushButton *cmdForgetAll = nullptr;
    QFutureWatcher<QImage> m_thumbnails; // two a row, in row order
    WorkPool m_work;
};
