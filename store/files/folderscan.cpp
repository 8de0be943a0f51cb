#include "files/folderscan.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QByteArray joined(const QByteArray &folder, const QByteArray &name)
{
    return folder.endsWith('/') ? folder + name : folder + '/' + name;
}

struct Entry
{
    QByteArray native; // the name's bytes
    QString shown;
    bool readable;
};

// Ignoring letter case; ties by code point, then by the bytes (two undecodable names may
// show alike).
bool before(const Entry &a, const Entry &b)
{
    const int folded = QString::compare(a.shown, b.shown, Qt::CaseInsensitive);
    if (folded != 0)
        return folded < 0;
    const QList<uint> ua = a.shown.toUcs4();
    const QList<uint> ub = b.shown.toUcs4();
    if (ua != ub)
        return std::lexicographical_compare(ua.begin(), ua.end(), ub.begin(), ub.end());
    return a.native < b.native;
}

} // namespace

QString ScannedFile::path() const
{
    return joined(folder, name);
}

bool isValidUtf8(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(bytes); // decoding happens on conversion
    return !utf8.hasError();
}

bool hasJpegExtension(const QString &name)
{
    return name.endsWith(QLatin1String(".jpg"), Qt::CaseInsensitive)
        || name.endsWith(QLatin1String(".jpeg"), Qt::CaseInsensitive);
}

bool isPictureGone(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return true; // not a full path (a blank entry): nothing to keep
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) == 0)
        return !S_ISREG(info.st_mode);
    if (errno != ENOENT && errno != ENOTDIR)
        return false;
    const QString folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
    return ::stat(QFile::encodeName(folder).constData(), &info) == 0;
}

FolderScan::FolderScan(const QString &folder, bool subFolders)
    : m_subFolders(subFolders)
{
    if (folder.isEmpty())
        return;
    QString shown = folder;
    while (shown.size() > 1 && shown.endsWith(QLatin1Char('/')))
        shown.chop(1);
    m_folders.push_back({QFile::encodeName(shown), shown, true});
}

FolderScan::Step FolderScan::next(ScannedFile &file)
{
    if (!m_files.empty()) {
        file = std::move(m_files.front());
        m_files.pop_front();
        return Step::File;
    }
    if (m_folders.empty())
        return Step::End;
    const Folder folder = std::move(m_folders.back());
    m_folders.pop_back();
    read(folder);
    return Step::Folder;
}

void FolderScan::read(const Folder &folder)
{
    std::vector<Entry> files;
    std::vector<Entry> folders;
    std::error_code error;
    fs::directory_iterator it(fs::path(folder.native.toStdString()), error);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
        const std::string bytes = it->path().filename().native();
        if (bytes.empty() || bytes.front() == '.')
            continue;
        const QByteArray native(bytes.data(), qsizetype(bytes.size()));
        Entry entry{native, QString::fromUtf8(native), isValidUtf8(native)};
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            files.push_back(std::move(entry));
        } else if (m_subFolders && it->is_directory(typeError)) {
            // A link to a folder could lead round in a circle or out of the chosen tree.
            if (!it->is_symlink(typeError))
                folders.push_back(std::move(entry));
        }
    }

    std::sort(files.begin(), files.end(), before);
    for (Entry &entry : files) {
        ScannedFile found;
        found.folder = folder.shown;
        found.name = entry.shown;
        found.nativePath = joined(folder.native, entry.native);
        found.readable = folder.readable && entry.readable;
        m_files.push_back(std::move(found));
    }
    // Reversed onto the stack, so the first sub-folder is read next.
    std::sort(folders.begin(), folders.end(), before);
    for (auto entry = folders.rbegin(); entry != folders.rend(); ++entry)
        m_folders.push_back({joined(folder.native, entry->native), joined(folder.shown, entry->shown),
                             folder.readable && entry->readable});
}
