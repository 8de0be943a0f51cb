// The facts of a picture file with arbitrary bytes, read as the keep rule "best" reads them
// (the JPEG coefficients counted by the own reader of sequential scans, or as the library's
// decoder hands them over): never a crash, a file read as a picture has a size, its detail
// counted at its own steps is its detail, and the counts are those of the library alone.

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
        require(detailAtSteps(facts, facts.counts->steps) == facts.detail, "the detail is not its own steps'");
    const PictureFacts library = readPictureFactsThroughLibrary(path);
    require(facts.detail == library.detail && facts.grey == library.grey
                && bool(facts.counts) == bool(library.counts)
                && (!facts.counts || facts.counts->reaching == library.counts->reaching),
            "the own reader counts otherwise than the library");
    return 0;
}
