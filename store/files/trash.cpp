// GLib first: Qt's keyword macros ("signals") would break its headers.
#include <gio/gio.h>

#include "files/trash.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Folder { Missing, Sound, Unsound };

// A trash folder of ours: a real folder (not a link), the user's own, closed to everyone
// else. A folder that is not there yet is made so before the move.
Folder judge(const QByteArray &folder)
{
    struct stat status {};
    if (::lstat(folder.constData(), &status) != 0)
        return errno == ENOENT ? Folder::Missing : Folder::Unsound;
    const bool sound = S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
    return sound ? Folder::Sound : Folder::Unsound;
}

// The trash itself and its two folders.
bool soundTrash(const QByteArray &trash)
{
    for (const QByteArray &folder : {trash, trash + "/files", trash + "/info"}) {
        if (judge(folder) == Folder::Unsound)
            return false;
    }
    return true;
}

dev_t deviceOf(const QByteArray &path)
{
    struct stat status {};
    return ::stat(path.constData(), &status) == 0 ? status.st_dev : dev_t(-1);
}

// The top folder of the file system that holds `folder` (a folder of it).
QByteArray topFolder(QByteArray folder, dev_t device)
{
    while (folder.size() > 1) {
        const qsizetype slash = folder.lastIndexOf('/');
        const QByteArray parent = slash <= 0 ? QByteArray("/") : folder.left(slash);
        if (deviceOf(parent) != device)
            break;
        folder = parent;
    }
    return folder;
}

// The trash for a file on `device` in `folder`, a file system other than the home trash's: $topdir/.Trash/$uid when $topdir/.Trash is a
// sticky folder and $uid in it is (or can be made) the user's folder, else
// $topdir/.Trash-$uid.
QByteArray chosenTrash(const QByteArray &folder, dev_t device)
{
    const QByteArray top = topFolder(folder, device);
    const QByteArray base = top == "/" ? QByteArray() : top;
    const QByteArray uid = QByteArray::number(qulonglong(::geteuid()));
    struct stat shared {};
    const QByteArray sharedTrash = base + "/.Trash";
    if (::lstat(sharedTrash.constData(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
        const QByteArray own = sharedTrash + '/' + uid;
        struct stat status {};
        if (::lstat(own.constData(), &status) == 0) {
            if (S_ISDIR(status.st_mode) && status.st_uid == ::geteuid())
                return own;
        } else if (::mkdir(own.constData(), 0700) == 0) {
            return own;
        }
    }
    return base + "/.Trash-" + uid;
}

// The name of the n-th file of one name in a trash: "a.jpg", "a.2.jpg", "a.3.jpg", ...
QByteArray trashedName(const QByteArray &name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.indexOf('.');
    return dot < 0 ? name + '.' + QByteArray::number(n)
                   : name.left(dot) + '.' + QByteArray::number(n) + name.mid(dot);
}

// Per trash and name, the number of the next name to try: files of one name take a number
// each, not a walk past all the numbers taken before. Another process may take a number
// meanwhile; the record's exclusive creation finds that out and the next one is tried.
class NameNumbers
{
public:
    int next(const QByteArray &trash, const QByteArray &name)
    {
        QMutexLocker lock(&m_mutex);
        return m_next.value(trash + '/' + name, 1);
    }
    // The bare name taken anew means the trash was emptied: the numbers start again.
    void taken(const QByteArray &trash, const QByteArray &name, int n)
    {
        QMutexLocker lock(&m_mutex);
        int &next = m_next[trash + '/' + name];
        next = n == 1 ? 2 : std::max(next, n + 1);
    }

private:
    QMutex m_mutex;
    QHash<QByteArray, int> m_next;
};

NameNumbers &nameNumbers()
{
    static NameNumbers numbers;
    return numbers;
}

// A folder of the trash, made as the desktop makes it when it is not there yet, with the
// folders above it that are missing (the home trash's data folder may be new too).
bool ensureFolder(const QByteArray &folder)
{
    if (::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    const qsizetype slash = folder.lastIndexOf('/');
    if (errno != ENOENT || slash <= 0 || !ensureFolder(folder.left(slash)))
        return false;
    return ::mkdir(folder.constData(), 0700) == 0 || errno == EEXIST;
}

// The record's text: where the file was (from the trash's file system's top folder for a
// trash of its own, else whole) percent-encoded, and when it went, in local time.
QByteArray recordText(const QByteArray &original, const QByteArray &top)
{
    const QByteArray relative
        = top.isEmpty() || top == "/" || !original.startsWith(top + '/') ? original : original.mid(top.size() + 1);
    return "[Trash Info]\nPath=" + relative.toPercentEncoding("/") + "\nDeletionDate="
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '\n';
}

// Writes the whole record, created anew: false when the name is taken (`taken` set) or the
// record could not be written whole, in which case nothing of it is left.
bool writeRecord(const QByteArray &record, const QByteArray &text, bool &taken)
{
    taken = false;
    const int fd = ::open(record.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        taken = errno == EEXIST;
        return false;
    }
    qsizetype written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + written, size_t(text.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += n;
    }
    const bool whole = ::close(fd) == 0 && written == text.size();
    if (!whole)
        ::unlink(record.constData());
    return whole;
}

// Moves the file in under its first free name, its record first so that the desktop never
// sees a file without one; never over another file, never across file systems.
bool moveInto(const QByteArray &trash, const QByteArray &top, const QByteArray &original)
{
    if (!ensureFolder(trash) || !ensureFolder(trash + "/files") || !ensureFolder(trash + "/info") || !soundTrash(trash))
        return false;
    const QByteArray name = original.mid(original.lastIndexOf('/') + 1);
    const QByteArray text = recordText(original, top);
    NameNumbers &numbers = nameNumbers();
    // Each try takes a number for good, so a name held by a file without a record (a
    // leftover) is passed over as a taken record is; the walk ends where no try can succeed.
    // The bare name first, then on from the numbers taken so far.
    const int next = numbers.next(trash, name);
    for (int n = 1; n > 0 && n < (1 << 30); n = n == 1 ? std::max(2, next) : n + 1) {
        const QByteArray candidate = trashedName(name, n);
        const QByteArray record = trash + "/info/" + candidate + ".trashinfo";
        bool taken = false;
        if (!writeRecord(record, text, taken)) {
            if (!taken)
                return false; // a full disk, a folder it cannot write into
            numbers.taken(trash, name, n);
            continue;
        }
        numbers.taken(trash, name, n);
        const QByteArray inTrash = trash + "/files/" + candidate;
        if (::renameat2(AT_FDCWD, original.constData(), AT_FDCWD, inTrash.constData(), RENAME_NOREPLACE) == 0)
            return true;
        int error = errno;
        // A file system without that rename (FUSE ones such as NTFS disks): our record holds
        // the name, so only a leftover can be there; look, and rename only onto nothing.
        if (error == EINVAL) {
            struct stat there {};
            if (::lstat(inTrash.constData(), &there) == 0)
                error = EEXIST;
            else if (errno != ENOENT)
                error = errno;
            else if (::rename(original.constData(), inTrash.constData()) == 0)
                return true;
            else
                error = errno;
        }
        ::unlink(record.constData());
        if (error != EEXIST)
            return false; // the file cannot move: on another disk, unchangeable, gone
    }
    return false;
}

QByteArray homeTrash() { return QByteArray(g_get_user_data_dir()) + "/Trash"; }

// The file system of the home trash, which takes the files of that file system (not of the
// home folder's, should the data folder lie elsewhere): that of the trash, or while it is not
// there yet of the nearest folder above it. A link is judged where it lies; the move refuses it.
dev_t homeTrashDevice()
{
    QByteArray folder = homeTrash();
    struct stat status {};
    while (::lstat(folder.constData(), &status) != 0) {
        const qsizetype slash = folder.lastIndexOf('/');
        if (slash <= 0)
            return deviceOf("/");
        folder = folder.left(slash);
    }
    return status.st_dev;
}

// Where a file goes: its path as recorded, its trash, and the top folder its record's path
// is relative to (empty for the home trash, whose records hold whole paths).
struct Destination {
    QByteArray original;
    QByteArray trash;
    QByteArray top;
};

// Empty `trash` when the file is not there.
Destination destinationOf(const QByteArray &native, struct stat &status)
{
    if (native.isEmpty() || ::lstat(native.constData(), &status) != 0)
        return {};
    GFile *file = g_vfs_get_file_for_path(g_vfs_get_local(), native.constData());
    char *absolute = g_file_get_path(file);
    Destination destination{QByteArray(absolute), {}, {}};
    g_free(absolute);
    g_object_unref(file);
    const qsizetype slash = destination.original.lastIndexOf('/');
    QByteArray folder = slash <= 0 ? QByteArray("/") : destination.original.left(slash);
    if (status.st_dev == homeTrashDevice()) {
        destination.trash = homeTrash();
        return destination;
    }
    // Another disk's top folder is found on the folder's own path: through a link to one of
    // its folders the walk up would stop at the link and make a trash no desktop looks in.
    if (char *real = ::realpath(folder.constData(), nullptr)) {
        folder = real;
        ::free(real);
        destination.original = (folder == "/" ? QByteArray() : folder) + destination.original.mid(slash);
    }
    destination.trash = chosenTrash(folder, status.st_dev);
    destination.top = topFolder(folder, status.st_dev);
    return destination;
}

} // namespace

TrashFolderProblem trashFolderProblem(const QString &path)
{
    struct stat status {};
    const QByteArray trash = destinationOf(QFile::encodeName(path), status).trash;
    if (trash.isEmpty())
        return {};
    for (const QByteArray &folder : {trash, trash + "/files", trash + "/info"}) {
        struct stat place {};
        if (::lstat(folder.constData(), &place) != 0)
            continue;
        using Fault = TrashFolderProblem::Fault;
        const Fault fault = S_ISLNK(place.st_mode)        ? Fault::Link
                            : !S_ISDIR(place.st_mode)     ? Fault::NotFolder
                            : place.st_uid != ::geteuid() ? Fault::OthersOwn
                            : (place.st_mode & 077) != 0  ? Fault::OpenToOthers
                                                          : Fault::Sound;
        if (fault != Fault::Sound)
            return {fault, QFile::decodeName(folder)};
    }
    return {};
}

TrashResult moveFileToTrash(const QString &path)
{
    struct stat status {};
    const Destination destination = destinationOf(QFile::encodeName(path), status);
    if (destination.trash.isEmpty() || S_ISDIR(status.st_mode))
        return TrashResult::NotMoved;
    return moveInto(destination.trash, destination.top, destination.original) ? TrashResult::Moved
                                                                               : TrashResult::NotMoved;
}

TrashResult movePictureToTrash(const QString &path, const SharedThumbnails &thumbnails)
{
    const TrashResult result = moveFileToTrash(path);
    if (result == TrashResult::Moved)
        thumbnails.remove(path);
    return result;
}

TrashRun movePicturesToTrash(const QStringList &paths, const SharedThumbnails &thumbnails, const std::atomic_bool &stop,
                             const std::function<void(int handled)> &done)
{
    TrashRun run;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        if (stop.load()) {
            run.notTried = paths.mid(i);
            break;
        }
        (movePictureToTrash(paths.at(i), thumbnails) == TrashResult::Moved ? run.moved : run.notMoved) << paths.at(i);
        if (done)
            done(int(i + 1));
    }
    return run;
}
