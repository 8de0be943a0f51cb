// The facts of a picture file with arbitrary bytes, read as the keep rule "best" reads them
// (the JPEG coefficients as the library's decoder hands them over): never a crash, a file
// read as a picture has a size, its detail counted at its own steps is its detail, and what
// the facts cache would store of it comes back the same.

#include "pictures/factsstore.h"
#include "pictures/picturefacts.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition, const char *what)
{
    if (!condition) {
        std::fprintf(stderr, "picture facts: %s\n", what);
        std::abort();
    }
}

QString picturePath()
{
    static QTemporaryDir dir;
    require(dir.isValid(), "no temporary folder");
    return dir.filePath(QStringLiteral("p.jpg"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = picturePath();
    QFile file(path);
    require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the picture");
    require(file.write(reinterpret_cast<const char *>(data), qint64(size)) == qint64(size), "short write");
    file.close();
    const PictureFacts facts = readPictureFacts(path);
    require(!facts.readable || (facts.width > 0 && facts.height > 0), "a readable picture without a size");
    require(facts.detail == -1.0 || facts.detail >= 0.0, "a negative detail");
    if (facts.counts)
        require(detailAtSteps(facts, coarsestSteps({&facts})) == facts.detail, "the detail is not its own steps'");
    // What the facts cache stores comes back the same.
    PictureFacts stored;
    require(decodeFacts(encodeFacts(facts), stored), "stored facts cannot be read back");
    require(stored.detail == facts.detail && stored.quality == facts.quality
                && stored.primaryQuality == facts.primaryQuality && stored.grey == facts.grey
                && stored.width == facts.width && stored.camera == facts.camera,
            "stored facts come back otherwise");
    return 0;
}
