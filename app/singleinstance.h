#pragma once
// One running Lumo per user: the first process holds a lock file in the user's runtime
// folder for its whole life; a later process finds it held and ends.

#include <QLockFile>
#include <QString>

class SingleInstance
{
public:
    explicit SingleInstance(const QString &name);
    // False when another living process holds the lock.
    bool tryAcquire();
    // Where the lock of `name` lives for the current user.
    static QString lockFilePath(const QString &name);

private:
    QLockFile m_lock;
};
