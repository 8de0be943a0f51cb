#pragma once
// Picture files made to order for the keep rules: a JPEG of a chosen pixel size, padded
// after its end to a chosen byte count, with a chosen modification time.

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QSize>
#include <QString>

// False when the JPEG alone is already larger than `bytes` or a step fails. An empty size
// writes `bytes` bytes that are no picture.
inline bool writeSizedPicture(const QString &path, QSize size, qint64 bytes, const QDateTime &modified)
{
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QByteArray content;
    if (!size.isEmpty()) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        if (!image.save(path, "JPEG"))
            return false;
        QFile read(path);
        if (!read.open(QIODevice::ReadOnly))
            return false;
        content = read.readAll();
    }
    if (content.size() > bytes)
        return false;
    content.append(QByteArray(bytes - content.size(), '\x5a'));
    QFile file(path);
    // Flushed before the time is set: a later flush would touch the time again.
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size()
        && file.flush() && file.setFileTime(modified, QFileDevice::FileModificationTime);
}
