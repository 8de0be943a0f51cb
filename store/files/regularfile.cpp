#include "files/regularfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

RegularFile openRegularFile(QFile &in, const QString &path, qint64 maxBytes)
{
    if (path.isEmpty())
        return RegularFile::Missing;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? RegularFile::Missing : RegularFile::Unreadable;
    struct stat status {};
    RegularFile kind = RegularFile::Opened;
    if (::fstat(fd, &status) != 0)
        kind = RegularFile::Unreadable;
    else if (!S_ISREG(status.st_mode))
        kind = RegularFile::NotRegular;
    else if (maxBytes >= 0 && status.st_size > maxBytes)
        kind = RegularFile::TooLarge;
    if (kind != RegularFile::Opened) {
        ::close(fd);
        return kind;
    }
    // Reads of a regular file never wait, so the flag can stay; QFile takes the handle.
    if (!in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return RegularFile::Unreadable;
    }
    return RegularFile::Opened;
}

bool openPictureFile(QFile &in, const QString &path)
{
    return openRegularFile(in, path, PictureFileLimit) == RegularFile::Opened;
}

bool isPictureFile(const QString &path)
{
    struct stat status {};
    // stat() never waits, whatever the file is.
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode)
        && status.st_size <= PictureFileLimit;
}
