#include "filefind.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {
constexpr qint64 YieldIntervalMs = 50;

void sortByName(QStringList &names)
{
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
}

QString childPath(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}
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
    m_sinceYield.start();

    const QString trimmed = pattern.trimmed();
    QStringList patterns;
    if (!trimmed.isEmpty() && trimmed != QLatin1String("*") && trimmed != QLatin1String("*.*"))
        patterns = QDir::nameFiltersFromString(trimmed);

    const QString root = QDir::cleanPath(folder);
    if (!folder.isEmpty() && QFileInfo(root).isDir())
        scan(root, patterns, !(flags & TopOnly));
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

void FileFind::scan(const QString &folder, const QStringList &patterns, bool recurse)
{
    QDir dir(folder);
    yieldIfDue();
    if (m_cancel)
        return;

    // Name filters of QDir ignore letter case unless told otherwise.
    QDir files(dir);
    if (!patterns.isEmpty())
        files.setNameFilters(patterns);
    QStringList names = files.entryList(QDir::Files, QDir::NoSort);
    sortByName(names);
    for (const QString &name : std::as_const(names)) {
        yieldIfDue();
        if (m_cancel)
            return;
        bool cancel = false;
        ++m_found;
        emit FileFound(folder, name, cancel);
        if (cancel) {
            m_cancel = true;
            return;
        }
    }
    if (!recurse)
        return;

    QStringList subFolders = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    sortByName(subFolders);
    for (const QString &name : std::as_const(subFolders)) {
        if (m_cancel)
            return;
        const QString path = childPath(folder, name);
        // A link to a folder could lead round in a circle or out of the chosen tree.
        if (QFileInfo(path).isSymLink())
            continue;
        scan(path, patterns, recurse);
    }
}
