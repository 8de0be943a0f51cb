// A picture decoded for showing, from arbitrary bytes in a file, at a scale the input's
// last byte chooses (a JPEG's last byte is its end marker's): never a crash, and a decoded picture has the scale asked for (a JPEG
// may keep more of its 1/8 step) and its coarse first picture the same size.

#include "pictures/uprightpicture.h"

#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

QTemporaryDir *g_dir = nullptr;

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "upright picture: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    // Pictures of a few megapixels at most, so that an input is quick.
    QImageReader::setAllocationLimit(16);
    g_dir = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QString path = g_dir->filePath(QStringLiteral("p"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    // 1/16, 1/8, 1/4, 1/2 or the whole picture.
    const double wanted = std::ldexp(1.0, -int(data[size - 1] % 5));
    QSize coarseSize;
    const UprightPicture picture = decodeUprightPicture(
        path, [wanted](QSize) { return wanted; }, [&coarseSize](UprightPicture coarse) {
            coarseSize = coarse.image.size();
            return true;
        });
    if (picture.image.isNull())
        return 0;
    require(!picture.size.isEmpty(), "a picture without a size");
    require(picture.scale > 0 && picture.scale <= 1.0001, "a scale outside 0..1");
    require(coarseSize.isEmpty() || coarseSize == picture.image.size(), "the coarse picture of another size");
    return 0;
}
