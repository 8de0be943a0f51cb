// lumo-raw: develops one camera RAW file for the program's RAW reader, in a process of its
// own, so that a file that upsets LibRaw (a crash, a hang, memory run wild) takes down this
// helper and not the window or lumo-cli that asked. It talks on descriptor RawChannel
// (rawchannel.h); its one argument is Qt's allocation limit in MiB, which bounds what it
// decodes as it bounds every reader of the program that started it.

#include "pictures/rawchannel.h"
#include "pictures/rawdevelop.h"

#include <QImageReader>

#include <cstdlib>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

// Processor time at most, should a file keep LibRaw busy for ever; the reader gives up on
// the helper well before, this only frees the processor if the reader is gone.
constexpr rlim_t MaxSeconds = 300;

} // namespace

int main(int argc, char **argv)
{
    // Not to outlive the reader that started it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const rlimit seconds{MaxSeconds, MaxSeconds};
    setrlimit(RLIMIT_CPU, &seconds);
    if (argc != 2)
        return 2;
    QImageReader::setAllocationLimit(std::atoi(argv[1]));

    quint64 length = 0;
    if (!receiveAll(RawChannel, &length, sizeof length) || length == 0
        || length > quint64(RawDevelopment::MaxFileBytes))
        return 1;
    QByteArray bytes(qsizetype(length), Qt::Uninitialized);
    if (!receiveAll(RawChannel, bytes.data(), size_t(length)))
        return 1;
    RawDevelopment raw;
    RawHeader header;
    if (raw.open(std::move(bytes))) {
        header.read = 1;
        header.width = raw.size().width();
        header.height = raw.size().height();
        header.flip = raw.flip();
        header.shape = raw.shape();
    }
    if (!sendAll(RawChannel, &header, sizeof header) || !header.read)
        return 0;

    qint32 wanted[2] = {};
    if (!receiveAll(RawChannel, wanted, sizeof wanted))
        return 0; // the reader wanted the header alone
    const QSize size(wanted[0], wanted[1]);
    const QImage image = raw.picture(size.isEmpty() ? QSize() : size).convertToFormat(QImage::Format_RGB888);
    RawPictureHeader answer;
    if (!image.isNull()) {
        answer.read = 1;
        answer.width = image.width();
        answer.height = image.height();
    }
    if (!sendAll(RawChannel, &answer, sizeof answer) || !answer.read)
        return 0;
    for (int y = 0; y < image.height(); ++y) {
        if (!sendAll(RawChannel, image.constScanLine(y), size_t(image.width()) * 3))
            return 0;
    }
    return 0;
}
