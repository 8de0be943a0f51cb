#include "filefind.h"

#include "files/folderscan.h"

#include <QCoreApplication>
#include <QDir>

namespace {
constexpr qint64 YieldIntervalMs = 50;
} // namespace

FileFind::FileFind(QObject *parent)
    : QObject(parent)
{
}

FileFind::~FileFind() = default;

void FileFind::Find(QString &folder, const QString &pattern, int flags)
{
    if (m_running)
        return;
    m_running = true;
    m_cancel = false;
    m_found = 0;
    m_unreadable.clear();
    m_sinceYield.start();

    const QString trimmed = pattern.trimmed();
    QStringList patterns;
    if (!trimmed.isEmpty() && trimmed != QLatin1String("*") && trimmed != QLatin1String("*.*"))
        patterns = QDir::nameFiltersFromString(trimmed);

    FolderScan scan(folder, !(flags & TopOnly));
    ScannedFile file;
    for (;;) {
        yieldIfDue();
        if (m_cancel)
            break;
        const FolderScan::Step step = scan.next(file);
        if (step == FolderScan::Step::End)
            break;
        // Name filters match ignoring letter case, as QDir's do.
        if (step != FolderScan::Step::File || (!patterns.isEmpty() && !QDir::match(patterns, file.name)))
            continue;
        if (!file.readable) {
            m_unreadable.append(file.nativePath);
            continue;
        }
        bool cancel = false;
        ++m_found;
        emit FileFound(file.folder, file.name, cancel);
        if (cancel) {
            m_cancel = true;
            break;
        }
    }
    m_running = false;
}

void FileFind::Cancel()
{
    m_cancel = true;
}

void FileFind::yieldIfDue()
{
    if (m_sinceYield.elapsed() < YieldIntervalMs)
        return;
    QCoreApplication::processEvents();
    m_sinceYield.restart();
}
