#pragma once
// HEIC, HEIF and AVIF pictures through libheif, as one more Qt image format: every
// QImageReader of the program (signatures, thumbnails, the viewer, the keep rules' header
// sizes) reads them exactly as it reads the other formats. Built into sigboxcore as a
// static plug-in, so it is there in lumo, lumo-cli and the tests without a plug-in folder
// to find at run time.
//
// Pictures come out upright: libheif applies the file's rotation and mirroring while it
// decodes, and the size the reader reports is already the upright one (so the reader
// reports no transformation of its own). With a scaled size asked for, the file's own
// thumbnail is decoded instead of the picture when it is at least that large and of the
// same shape; HEVC and AV1 cannot decode at a fraction of the size.

#include <QImageIOHandler>
#include <QImageIOPlugin>

#include <memory>

// libheif loads its decoders on the first init and frees them on the last deinit, for
// every user in the process at once: it is initialised once, here, for the process's life.
void initHeifLibrary();

class HeifImageHandler : public QImageIOHandler
{
public:
    HeifImageHandler();
    ~HeifImageHandler() override;

    bool canRead() const override;
    bool read(QImage *image) override;
    QVariant option(ImageOption option) const override;
    void setOption(ImageOption option, const QVariant &value) override;
    bool supportsOption(ImageOption option) const override;

    // The device starts with a HEIF or AVIF file that libheif can read (looked at, not read).
    static bool canRead(QIODevice *device);

private:
    struct File;
    // Reads and parses the file once; false when it is no readable HEIF file.
    bool open() const;

    mutable std::unique_ptr<File> m_file;
    mutable bool m_failed = false;
    QSize m_scaledSize;
};

class HeifImagePlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "heifimage.json")
public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override;
    QImageIOHandler *create(QIODevice *device, const QByteArray &format = QByteArray()) const override;
};
