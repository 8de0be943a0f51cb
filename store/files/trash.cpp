// GLib first: Qt's keyword macros ("signals") would break its headers.
#include <gio/gio.h>

#include "files/trash.h"

#include <QByteArray>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

namespace {

enum class Folder { Missing, Sound, Unsound };

// A trash folder of ours: a real folder (not a link), the user's own, closed to everyone
// else. A folder that is not there yet is made so by GIO.
Folder judge(const QByteArray &folder)
{
    struct stat status {};
    if (::lstat(folder.constData(), &status) != 0)
        return errno == ENOENT ? Folder::Missing : Folder::Unsound;
    const bool sound = S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
    return sound ? Folder::Sound : Folder::Unsound;
}

// The trash itself and the two folders GIO writes into.
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

// The trash GIO will choose for a file on `device` in `folder`, as it chooses: the home
// trash on the home file system; elsewhere $topdir/.Trash/$uid when $topdir/.Trash is a
// sticky folder and $uid in it is (or can be made) the user's folder, else
// $topdir/.Trash-$uid.
QByteArray chosenTrash(const QByteArray &folder, dev_t device)
{
    if (device == deviceOf(QByteArray(g_get_home_dir())))
        return QByteArray(g_get_user_data_dir()) + "/Trash";
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

// The name GIO gives the n-th file of one name in a trash: "a.jpg", "a.2.jpg", "a.3.jpg", ...
QByteArray trashedName(const QByteArray &name, int n)
{
    if (n == 1)
        return name;
    const qsizetype dot = name.indexOf('.');
    return dot < 0 ? name + '.' + QByteArray::number(n)
                   : name.left(dot) + '.' + QByteArray::number(n) + name.mid(dot);
}

bool exists(const QByteArray &path)
{
    struct stat status {};
    return ::lstat(path.constData(), &status) == 0;
}

// Where the file of this identity landed in `trash`: the first free name of its kind,
// as GIO chooses; empty when it cannot be found.
QByteArray landedName(const QByteArray &trash, const QByteArray &name, const struct stat &before)
{
    for (int n = 1;; ++n) {
        const QByteArray candidate = trashedName(name, n);
        struct stat status {};
        if (::lstat((trash + "/files/" + candidate).constData(), &status) == 0) {
            if (status.st_dev == before.st_dev && status.st_ino == before.st_ino)
                return candidate;
        } else if (!exists(trash + "/info/" + candidate + ".trashinfo")) {
            return {};
        }
    }
}

bool wholeRecord(const QByteArray &record)
{
    QFile file(QFile::decodeName(record));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.read(1 << 16);
    return text.startsWith("[Trash Info]\n") && text.contains("\nPath=") && text.contains("\nDeletionDate=")
        && text.endsWith('\n');
}

} // namespace

TrashFolderProblem trashFolderProblem(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (native.isEmpty() || ::lstat(native.constData(), &status) != 0)
        return {};
    GFile *file = g_vfs_get_file_for_path(g_vfs_get_local(), native.constData());
    char *absolute = g_file_get_path(file);
    const QByteArray original(absolute);
    g_free(absolute);
    g_object_unref(file);
    const qsizetype slash = original.lastIndexOf('/');
    const QByteArray trash = chosenTrash(slash <= 0 ? QByteArray("/") : original.left(slash), status.st_dev);
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
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (native.isEmpty() || ::lstat(native.constData(), &status) != 0 || S_ISDIR(status.st_mode))
        return TrashResult::NotMoved;
    GFile *file = g_vfs_get_file_for_path(g_vfs_get_local(), native.constData());
    char *absolute = g_file_get_path(file);
    const QByteArray original(absolute);
    g_free(absolute);
    const qsizetype slash = original.lastIndexOf('/');
    const QByteArray trash = chosenTrash(slash <= 0 ? QByteArray("/") : original.left(slash), status.st_dev);
    const bool moved = soundTrash(trash) && g_file_trash(file, nullptr, nullptr);
    g_object_unref(file);
    if (!moved)
        return TrashResult::NotMoved;

    const QByteArray landed = landedName(trash, original.mid(slash + 1), status);
    if (landed.isEmpty())
        return TrashResult::Moved; // GIO moved it somewhere we do not know; its record is its own
    const QByteArray record = trash + "/info/" + landed + ".trashinfo";
    if (wholeRecord(record))
        return TrashResult::Moved;
    // Without its record the desktop cannot restore it: back where it was, if nothing has
    // taken the place meanwhile.
    const QByteArray inTrash = trash + "/files/" + landed;
    const bool putBack = !exists(original) && ::rename(inTrash.constData(), original.constData()) == 0;
    ::unlink(record.constData());
    return putBack ? TrashResult::NotMoved : TrashResult::NotPutBack;
}

TrashResult movePictureToTrash(const QString &path, const SharedThumbnails &thumbnails)
{
    const TrashResult result = moveFileToTrash(path);
    if (result != TrashResult::NotMoved)
        thumbnails.remove(path);
    return result;
}
