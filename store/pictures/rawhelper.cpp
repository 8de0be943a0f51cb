// lumo-raw: develops camera RAW files for the program's RAW reader, in a process of its own,
// so that a file that upsets LibRaw (a crash, a hang, memory run wild) takes down this
// helper and not the window or lumo-cli that asked. It reads one file after another on
// descriptor RawChannel (rawchannel.h) and ends when the reader closes it.

#include "pictures/rawchannel.h"
#include "pictures/rawdevelop.h"

#include <QImageReader>
#include <QScopeGuard>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

// Processor time at most for one file, should a file keep LibRaw busy for ever; the reader
// gives up on the helper well before, this only frees the processor if the reader is gone.
constexpr rlim_t MaxSecondsAFile = 300;

void limitTimeFromNow()
{
    rusage used{};
    getrusage(RUSAGE_SELF, &used);
    const rlim_t spent = rlim_t(used.ru_utime.tv_sec + used.ru_stime.tv_sec) + 1;
    const rlimit seconds{spent + MaxSecondsAFile, RLIM_INFINITY};
    setrlimit(RLIMIT_CPU, &seconds);
}

// A file passed by its descriptor, mapped: LibRaw reads it where it lies, in the page cache.
class MappedFile
{
public:
    MappedFile() = default;
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;
    ~MappedFile()
    {
        if (m_map != MAP_FAILED)
            ::munmap(m_map, m_size);
    }

    // The `length` bytes at `offset`, without a copy where the file can be mapped.
    QByteArray map(int descriptor, quint64 offset, quint64 length)
    {
        struct stat status{};
        if (::fstat(descriptor, &status) != 0 || quint64(status.st_size) < offset + length)
            return {};
        m_size = size_t(offset + length);
        m_map = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, descriptor, 0);
        if (m_map != MAP_FAILED)
            return QByteArray::fromRawData(static_cast<const char *>(m_map) + offset, qsizetype(length));
        // Some file systems map nothing: read it.
        QByteArray bytes(qsizetype(length), Qt::Uninitialized);
        for (quint64 done = 0; done < length;) {
            const ssize_t got = ::pread(descriptor, bytes.data() + done, length - done, off_t(offset + done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return {};
            done += quint64(got);
        }
        return bytes;
    }

private:
    void *m_map = MAP_FAILED;
    size_t m_size = 0;
};

// Reads one file and answers for it; false when the reader is gone.
bool developOne()
{
    RawFile file;
    int descriptor = -1;
    if (!receiveFile(RawChannel, file, descriptor))
        return false;
    const auto closing = qScopeGuard([descriptor] {
        if (descriptor >= 0)
            ::close(descriptor);
    });
    if (file.length == 0 || file.length > quint64(RawDevelopment::MaxFileBytes) || bool(file.passed) != (descriptor >= 0))
        return false;
    limitTimeFromNow();
    QImageReader::setAllocationLimit(file.allocationLimitMb);
    MappedFile mapped; // outlives the development, which reads from it
    QByteArray bytes;
    if (descriptor >= 0) {
        bytes = mapped.map(descriptor, file.offset, file.length);
    } else {
        bytes = QByteArray(qsizetype(file.length), Qt::Uninitialized);
        if (!receiveAll(RawChannel, bytes.data(), size_t(file.length)))
            return false;
    }
    RawDevelopment raw;
    RawHeader header;
    if (raw.open(std::move(bytes))) {
        header.read = 1;
        header.width = raw.size().width();
        header.height = raw.size().height();
        header.flip = raw.flip();
        header.shape = raw.shape();
    }
    if (!sendAll(RawChannel, &header, sizeof header))
        return false;
    if (!header.read)
        return true;

    qint32 wanted[2] = {};
    if (!receiveAll(RawChannel, wanted, sizeof wanted))
        return false;
    if (wanted[0] < 0)
        return true; // the reader wanted the header alone
    const QSize size(wanted[0], wanted[1]);
    const QImage image = raw.picture(size.isEmpty() ? QSize() : size).convertToFormat(QImage::Format_RGB888);
    RawPictureHeader answer;
    if (!image.isNull()) {
        answer.read = 1;
        answer.width = image.width();
        answer.height = image.height();
    }
    if (!sendAll(RawChannel, &answer, sizeof answer))
        return false;
    for (int y = 0; y < image.height(); ++y) {
        if (!sendAll(RawChannel, image.constScanLine(y), size_t(image.width()) * 3))
            return false;
    }
    return true;
}

} // namespace

int main()
{
    while (developOne()) {
    }
    return 0;
}
