#include "shellservice.h"

#include "dialogservice.h"

#include "files/sharedthumbnails.h"
#include "files/trash.h"

#include "workpool.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <memory>

QString ShellService::BrowseFolder(QWidget *owner, const QString &start)
{
    return DialogService::instance().BrowseForFolder(owner, start);
}

QStringList ShellService::splitNulList(const QString &nulList)
{
    return nulList.split(QChar(0), Qt::SkipEmptyParts);
}

QString ShellService::joinNulList(const QStringList &paths)
{
    QString list;
    for (const QString &path : paths)
        list += path + QChar(0);
    return list + QChar(0);
}

namespace {
ShellService *g_installed = nullptr;
} // namespace

ShellService::~ShellService() = default;

void ShellService::install(ShellService *service)
{
    g_installed = service;
}

ShellService *ShellService::installed()
{
    return g_installed;
}

QStringList ShellService::RemoveFiles(const QString &nulList, int option, QWidget *owner)
{
    ShellService *service = g_installed ? g_installed : &instance();
    return service->removeFiles(nulList, option, owner);
}

QStringList ShellService::removeFiles(const QString &nulList, int, QWidget *owner)
{
    const QStringList paths = splitNulList(nulList);
    if (paths.isEmpty())
        return {};

    // The moves run on a worker while the window shows how far they are and can stop them
    // between two files. Modal to the whole program: the main window and the similar-pictures
    // window share the catalogue the moves change, and neither may start another command on it.
    QWidget *window = QApplication::activeWindow() ? QApplication::activeWindow() : owner;
    QProgressDialog progress(QCoreApplication::translate("ShellService", "ごみ箱へ移動中..."),
                             QCoreApplication::translate("ShellService", "中止"), 0, int(paths.size()), window);
    progress.setWindowTitle(QCoreApplication::translate("ShellService", "ごみ箱へ移動"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(400);
    progress.setValue(0);
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);

    auto stop = std::make_shared<std::atomic_bool>(false);
    auto handled = std::make_shared<std::atomic_int>(0);
    QObject::connect(&progress, &QProgressDialog::canceled, [stop] { stop->store(true); });
    TrashRun run;
    {
        WorkPool pool(1, WorkPool::Ending::Wait);
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &progress, [&progress, handled, stop] {
            if (progress.wasCanceled())
                stop->store(true); // cancel() called without the signal
            else
                progress.setValue(handled->load());
        });
        tick.start(15);
        const SharedThumbnails thumbnails;
        run = pool.runServingEvents([paths, thumbnails, stop, handled] {
            return movePicturesToTrash(paths, thumbnails, *stop, [handled](int done) { handled->store(done); });
        });
    }
    progress.hide();
    QGuiApplication::restoreOverrideCursor();

    const QStringList &notMoved = run.notMoved;
    if (notMoved.isEmpty())
        return run.notTried;

    // One message, however many files; a long list is cut so the box fits the screen.
    constexpr qsizetype shown = 20;
    QString text;
    const auto list = [&text](const QString &heading, const QStringList &files) {
        if (files.isEmpty())
            return;
        text += (text.isEmpty() ? QString() : QStringLiteral("\n\n")) + heading + QLatin1Char('\n');
        for (qsizetype i = 0; i < files.size() && i < shown; ++i)
            text += QLatin1Char('\n') + files.at(i);
        if (files.size() > shown)
            text += QLatin1Char('\n')
                + QCoreApplication::translate("ShellService", "ほか %n 個のファイル", nullptr, int(files.size() - shown));
    };
    list(QCoreApplication::translate("ShellService", "次のファイルをごみ箱へ移動できませんでした。"), notMoved);
    // A trash folder at fault says so, and what to do, once.
    for (const QString &path : std::as_const(notMoved)) {
        const TrashFolderProblem problem = trashFolderProblem(path);
        QString why;
        switch (problem.fault) {
        case TrashFolderProblem::Fault::OpenToOthers:
            why = QCoreApplication::translate("ShellService", "ごみ箱のフォルダ %1 は他のユーザーにも開かれています。権限を 0700 にしてください（chmod 700 %1）。");
            break;
        case TrashFolderProblem::Fault::OthersOwn:
            why = QCoreApplication::translate("ShellService", "ごみ箱のフォルダ %1 は他のユーザーのものです。自分のフォルダ（権限 0700）にしてください。");
            break;
        case TrashFolderProblem::Fault::Link:
            why = QCoreApplication::translate("ShellService", "ごみ箱のフォルダ %1 はリンクです。自分のフォルダ（権限 0700）にしてください。");
            break;
        case TrashFolderProblem::Fault::NotFolder:
            why = QCoreApplication::translate("ShellService", "%1 はフォルダではありません。自分のフォルダ（権限 0700）にしてください。");
            break;
        case TrashFolderProblem::Fault::Sound:
            continue;
        }
        text += QStringLiteral("\n\n") + why.arg(problem.folder);
        break;
    }
    DialogService::instance().ShowMessage(owner, text, DialogService::OkExclamation);
    return notMoved + run.notTried;
}

ShellService &ShellService::instance()
{
    static ShellService service;
    return service;
}
