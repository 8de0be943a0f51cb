#include "notalikedialog.h"

#include "outside/dialogservice.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QImageReader>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int Thumb = 48;

QByteArray lookKey(const PictureLook &look)
{
    return QByteArray(reinterpret_cast<const char *>(look.data()), qsizetype(look.size()));
}

QImage smallThumbnail(const QString &path)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(size.scaled(Thumb, Thumb, Qt::KeepAspectRatio));
    return reader.read();
}

} // namespace

void loadNotAlikeDecisions(NotAlikeDecisions &decisions, QWidget *owner)
{
    if (decisions.load())
        return;
    const QString text = decisions.setAside().isEmpty()
        ? QStringLiteral("似ていない組み合わせのファイル %1 を読み書きできません").arg(NotAlikeDecisions::userFile())
        : QStringLiteral("似ていない組み合わせのファイルを読めませんでした。%1 として残し、新しく記録を始めます")
              .arg(decisions.setAside());
    DialogService::instance().ShowMessage(owner, text, DialogService::OkExclamation);
}

NotAlikeDialog::NotAlikeDialog(const SignatureTable &catalogue, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("NotAlikeDialog"));
    setWindowTitle(QStringLiteral("似ていない組み合わせ"));
    lstPairs = new QListWidget(this);
    lstPairs->setObjectName(QStringLiteral("lstPairs"));
    lstPairs->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lstPairs->setIconSize(QSize(2 * Thumb + 4, Thumb));
    cmdForget = new QPushButton(QStringLiteral("忘れる"), this);
    cmdForget->setObjectName(QStringLiteral("cmdForget"));
    cmdForgetAll = new QPushButton(QStringLiteral("すべて忘れる"), this);
    cmdForgetAll->setObjectName(QStringLiteral("cmdForgetAll"));
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::RejectRole);
    buttons->addButton(cmdForget, QDialogButtonBox::ActionRole);
    buttons->addButton(cmdForgetAll, QDialogButtonBox::ActionRole);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lstPairs);
    layout->addWidget(buttons);
    resize(640, 480);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmdForget, &QPushButton::clicked, this, &NotAlikeDialog::forgetSelected);
    connect(cmdForgetAll, &QPushButton::clicked, this, &NotAlikeDialog::forgetAll);
    connect(lstPairs, &QListWidget::itemSelectionChanged, this,
            [this] { cmdForget->setEnabled(!lstPairs->selectedItems().isEmpty()); });
    connect(&m_thumbnails, &QFutureWatcherBase::resultReadyAt, this, &NotAlikeDialog::thumbnailReady);

    for (int i = 0; i < catalogue.count(); ++i) {
        if (!catalogue.name(i).isEmpty())
            m_current.insert(lookKey(pictureLook(catalogue.cells(i))), catalogue.name(i));
    }
    loadNotAlikeDecisions(m_decisions, parent);
    fill();
}

NotAlikeDialog::~NotAlikeDialog()
{
    // The decodes hold nothing of the dialog's; those under way end on their own.
    m_thumbnails.cancel();
}

void NotAlikeDialog::fill()
{
    m_thumbnails.cancel();
    lstPairs->clear();
    QStringList paths;
    const std::vector<NotAlikePair> &pairs = m_decisions.pairs();
    for (auto pair = pairs.rbegin(); pair != pairs.rend(); ++pair) {
        const QString first = m_current.value(lookKey(pair->first), pair->firstName);
        const QString second = m_current.value(lookKey(pair->second), pair->secondName);
        auto *item = new QListWidgetItem(first + QLatin1Char('\n') + second, lstPairs);
        item->setData(Qt::UserRole, int(pair.base() - pairs.begin()) - 1);
        paths << first << second;
    }
    cmdForget->setEnabled(false);
    cmdForgetAll->setEnabled(!pairs.empty());
    m_thumbnails.setFuture(m_work.mapped(paths, &smallThumbnail));
}

void NotAlikeDialog::thumbnailReady(int at)
{
    QListWidgetItem *item = lstPairs->item(at / 2);
    if (!item)
        return;
    QPixmap both = item->icon().isNull() ? QPixmap(2 * Thumb + 4, Thumb) : item->icon().pixmap(2 * Thumb + 4, Thumb);
    if (item->icon().isNull())
        both.fill(Qt::transparent);
    QPainter painter(&both);
    const QImage image = m_thumbnails.resultAt(at);
    const int left = (at % 2) * (Thumb + 4);
    painter.drawImage(left + (Thumb - image.width()) / 2, (Thumb - image.height()) / 2, image);
    painter.end();
    item->setIcon(QIcon(both));
}

void NotAlikeDialog::forgetSelected()
{
    std::vector<int> positions;
    for (const QListWidgetItem *item : lstPairs->selectedItems())
        positions.push_back(item->data(Qt::UserRole).toInt());
    if (positions.empty())
        return;
    m_decisions.forgetAt(positions);
    save();
}

void NotAlikeDialog::forgetAll()
{
    if (DialogService::instance().ShowMessage(this, QStringLiteral("記録したすべての似ていない組み合わせを忘れますか？"),
                                              DialogService::YesNoQuestion)
        != DialogService::Yes)
        return;
    m_decisions.clear();
    save();
}

void NotAlikeDialog::save()
{
    if (!m_decisions.save())
        DialogService::instance().ShowMessage(this, QStringLiteral("似ていない組み合わせの保存中にエラーが発生しました"),
                                              DialogService::OkExclamation);
    fill();
}
