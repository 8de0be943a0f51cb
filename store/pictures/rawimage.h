#pragma once
// Camera RAW files (NEF, CR2, CR3, ARW, RAF, ORF, RW2, DNG, ...) through LibRaw, as one more
// Qt image format, built into sigboxcore as a static plug-in the way the HEIF reader is.
//
// The picture is the camera's own embedded preview when that shows the whole picture: at
// least 64 x 64 pixels and of the sensor picture's shape (a letter-boxed, cropped or turned
// preview has another shape and is passed over); otherwise a half-size demosaic of the
// sensor data, in sRGB with the white balance the camera recorded. With a scaled size
// asked for, a preview smaller than that size is passed over too; with none, one smaller
// than the half-size picture.
//
// Pixels come out as the sensor holds them, like a camera JPEG's, and the turn the camera
// recorded is reported as the reader's transformation: a reader with auto-transform shows
// the picture upright, and the signature, taken as stored, matches the JPEG the camera
// wrote beside the RAW. The size reported is the sensor picture's.
//
// LibRaw runs in a helper process of its own (lumo-raw, rawdevelop.h), one for each file
// read: a file that crashes it, hangs it or sends its memory use wild is a file that cannot
// be read, and the program that asked goes on. A helper that has not answered within
// HelperSeconds is killed.
//
// Limits, checked from the header before anything is unpacked: the file at most
// MaxFileBytes, the picture at most MaxSide a side, the sensor data and the developed
// picture each within Qt's allocation limit (as every decoded picture is), and LibRaw's
// own buffers at most MaxRawMemoryMb.

#include "pictures/rawdevelop.h"

#include <QImageIOHandler>
#include <QImageIOPlugin>

#include <array>
#include <memory>

// The extensions the plug-in answers to (its keys, with "raw"), in lower case.
inline constexpr std::array<const char *, 11> RawExtensions{"arw", "cr2", "cr3", "dng", "nef", "nrw",
                                                           "orf", "pef", "raf", "rw2", "srw"};

class RawImageHandler : public QImageIOHandler
{
public:
    static constexpr qint64 MaxFileBytes = RawDevelopment::MaxFileBytes;
    static constexpr int MaxSide = RawDevelopment::MaxSide;
    static constexpr unsigned MaxRawMemoryMb = RawDevelopment::MaxRawMemoryMb;
    static constexpr int HelperSeconds = 120;

    RawImageHandler();
    ~RawImageHandler() override;

    bool canRead() const override;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant &value) override;
    bool supportsOption(ImageOption option) const override;

    // The device starts like a RAW file of a kind whose opening no other format shares
    // (CR3, RAF, ORF, RW2). TIFF-based RAWs (DNG, NEF, CR2, ARW) begin as any TIFF does:
    // they are told by their extension, as the plug-in's keys.
    static bool canRead(QIODevice *device);

    // Another helper program in place of lumo-raw and another time it is given; an empty
    // path for lumo-raw again, 0 seconds for HelperSeconds.
    static void setHelperForTests(const QString &path, int seconds);

private:
    class Helper;
    struct File;
    // Reads the file and LibRaw's view of it once; false when LibRaw cannot read it.
    bool open() const;

    mutable std::unique_ptr<File> m_file;
    mutable bool m_failed = false;
    bool m_read = false;
    QSize m_scaledSize;
};

class RawImagePlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "rawimage.json")
public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override;
    QImageIOHandler *create(QIODevice *device, const QByteArray &format = QByteArray()) const override;
};

// One of RawExtensions, in any letter case.
bool isRawFormat(const QByteArray &format);
