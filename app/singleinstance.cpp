#include "singleinstance.h"

#include <QDir>
#include <QStandardPaths>

#include <unistd.h>

SingleInstance::SingleInstance(const QString &name)
    : m_lock(lockFilePath(name))
{
    // Only a lock whose process has gone counts as stale, however old it is.
    m_lock.setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    return m_lock.tryLock(0);
}

QString SingleInstance::lockFilePath(const QString &name)
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // The user's id keeps two users apart when the shared temporary folder is used.
    return folder + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(getuid())
        + QStringLiteral(".lock");
}
