#include "files/sharedthumbnails.h"

#include <QColorSpace>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString KeyUri = QStringLiteral("Thumb::URI");
const QString KeyMTime = QStringLiteral("Thumb::MTime");
const QString KeySize = QStringLiteral("Thumb::Size");

QString folderOf(SharedThumbnails::Size size)
{
    return size == SharedThumbnails::Size::Normal ? QStringLiteral("normal") : QStringLiteral("large");
}

QString nameOf(const QByteArray &uri)
{
    return QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + QStringLiteral(".png");
}

// Makes the folder and those above it that are missing, each readable by its owner only.
bool makeOwnerOnlyFolders(const QString &folder)
{
    QStringList missing;
    for (QString path = folder; !QFileInfo::exists(path); path = QFileInfo(path).absolutePath()) {
        if (path == QFileInfo(path).absolutePath())
            break; // the root of the file system
        missing.prepend(path);
    }
    for (const QString &path : std::as_const(missing)) {
        // Another thread or program may have made it meanwhile.
        if (!QDir().mkdir(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) && !QFileInfo(path).isDir())
            return false;
    }
    return QFileInfo(folder).isDir();
}

bool sameNumber(const QString &text, qint64 value)
{
    bool ok = false;
    return text.trimmed().toLongLong(&ok) == value && ok;
}

// The keys say that the thumbnail was made of this very file as it is now. Both the time
// and the size are required: the time alone misses a file rewritten within one second.
bool matches(const SharedThumbnails::Original &file, const QString &uri, const QString &mtime,
             const QString &size)
{
    return sameNumber(mtime, file.mtime) && sameNumber(size, file.size)
        && (uri.isEmpty() || uri.toLatin1() == file.uri);
}

bool reaches(QSize size, QSize atLeast)
{
    return size.width() >= atLeast.width() && size.height() >= atLeast.height();
}

// One thumbnail when it is valid and reaches atLeast; valid says whether it is valid at all.
QImage readValid(const QString &path, const SharedThumbnails::Original &file, QSize atLeast, bool &valid)
{
    valid = false;
    QImageReader reader(path, "png");
    if (!reader.canRead())
        return {};
    // Writers put the keys before the pixels: a stale thumbnail, or one too small, is then
    // passed over without decoding it.
    if (!reader.text(KeyMTime).isEmpty() && !reader.text(KeySize).isEmpty()) {
        if (!matches(file, reader.text(KeyUri), reader.text(KeyMTime), reader.text(KeySize)))
            return {};
        valid = true;
        if (!reaches(reader.size(), atLeast))
            return {};
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        valid = false;
        return {};
    }
    valid = matches(file, image.text(KeyUri), image.text(KeyMTime), image.text(KeySize));
    return valid && reaches(image.size(), atLeast) ? image : QImage();
}

} // namespace

SharedThumbnails::SharedThumbnails()
{
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    m_root = QDir::cleanPath(cache + QStringLiteral("/thumbnails"));
}

SharedThumbnails::SharedThumbnails(const QString &root)
    : m_root(QDir::cleanPath(QFileInfo(root).absoluteFilePath()))
{
}

QByteArray SharedThumbnails::uriOf(const QString &path)
{
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // What RFC 2396 lets a path segment hold stays as it is, so that every program that
    // follows the standard arrives at the same URI and so at the same thumbnail.
    return QByteArrayLiteral("file://") + QFile::encodeName(absolute).toPercentEncoding("/!$&'()*+,=:@");
}

QString SharedThumbnails::fileNameOf(const QString &path)
{
    return nameOf(uriOf(path));
}

QString SharedThumbnails::thumbnailPath(const QString &path, Size size) const
{
    return m_root + QLatin1Char('/') + folderOf(size) + QLatin1Char('/') + fileNameOf(path);
}

SharedThumbnails::Original SharedThumbnails::original(const QString &path) const
{
    Original file;
    file.uri = uriOf(path);
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (::stat(name.constData(), &info) != 0 || !S_ISREG(info.st_mode) || ::access(name.constData(), R_OK) != 0)
        return file; // the standard keeps unreadable files out of the cache altogether
    file.mtime = qint64(info.st_mtime);
    file.size = qint64(info.st_size);
    // The standard forbids thumbnails of thumbnails.
    file.usable = !QDir::cleanPath(QFileInfo(path).absoluteFilePath()).startsWith(m_root + QLatin1Char('/'));
    return file;
}

QImage SharedThumbnails::lookup(const Original &file, QSize atLeast, bool *normalValid) const
{
    if (normalValid)
        *normalValid = false;
    if (!file.usable)
        return {};
    for (const Size size : {Size::Normal, Size::Large}) {
        bool valid = false;
        const QImage image = readValid(m_root + QLatin1Char('/') + folderOf(size) + QLatin1Char('/') + nameOf(file.uri),
                                       file, atLeast, valid);
        if (size == Size::Normal && normalValid)
            *normalValid = valid;
        if (!image.isNull())
            return image;
    }
    return {};
}

QSize SharedThumbnails::normalSizeFor(QSize picture)
{
    const int longest = std::max(picture.width(), picture.height());
    if (longest <= NormalSide)
        return picture; // never enlarged
    const auto side = [longest](int length) { return std::max(1, int((qint64(length) * NormalSide + longest / 2) / longest)); };
    return QSize(side(picture.width()), side(picture.height()));
}

bool SharedThumbnails::writeNormal(const Original &file, const QImage &picture, QSize pictureSize) const
{
    if (!file.usable || picture.isNull())
        return false;
    const QSize size = normalSizeFor(picture.size());
    // The standard asks for eight bits a channel with an alpha channel.
    QImage thumbnail = (size == picture.size() ? picture
                                               : picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation))
                           .convertToFormat(QImage::Format_ARGB32);
    // Readers take thumbnails as sRGB; a copied camera profile would only add kilobytes.
    thumbnail.setColorSpace(QColorSpace());
    thumbnail.setText(KeyUri, QString::fromLatin1(file.uri));
    thumbnail.setText(KeyMTime, QString::number(file.mtime));
    thumbnail.setText(KeySize, QString::number(file.size));
    if (pictureSize.isValid()) {
        thumbnail.setText(QStringLiteral("Thumb::Image::Width"), QString::number(pictureSize.width()));
        thumbnail.setText(QStringLiteral("Thumb::Image::Height"), QString::number(pictureSize.height()));
    }
    thumbnail.setText(QStringLiteral("Software"), QStringLiteral("Lumo"));

    const QString folder = m_root + QLatin1Char('/') + folderOf(Size::Normal);
    if (!makeOwnerOnlyFolders(folder))
        return false;
    const QString target = folder + QLatin1Char('/') + nameOf(file.uri);
    // Written beside its place under a name of its own (mkstemp: owner only, never a file
    // that is there) and renamed into it, so that no reader sees half a file. No flush to
    // the disk: after a crash a cache may lose a thumbnail, which is made again. A light
    // deflate (quality 80): within a few per cent of the default's size, four times quicker.
    QByteArray temp = QFile::encodeName(target) + ".XXXXXX";
    const int handle = ::mkstemp(temp.data());
    if (handle < 0)
        return false;
    QFile out;
    if (!out.open(handle, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        ::unlink(temp.constData());
        return false;
    }
    const bool saved = thumbnail.save(&out, "PNG", 80);
    out.close();
    if (!saved || out.error() != QFileDevice::NoError
        || std::rename(temp.constData(), QFile::encodeName(target).constData()) != 0) {
        ::unlink(temp.constData());
        return false;
    }
    return true;
}

void SharedThumbnails::remove(const QString &path) const
{
    const QString name = fileNameOf(path);
    for (const char *size : {"normal", "large", "x-large", "xx-large"})
        QFile::remove(m_root + QLatin1Char('/') + QLatin1String(size) + QLatin1Char('/') + name);
    // Failure records lie one folder deeper, one folder for each program that made them.
    const QDir fail(m_root + QStringLiteral("/fail"));
    const QStringList programs = fail.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &program : programs)
        QFile::remove(fail.filePath(program) + QLatin1Char('/') + name);
}
