#include "pictures/rawimage.h"

#include "pictures/rawchannel.h"

#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QVariant>

#include <atomic>
#include <cstring>
#include <string>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

// LibRaw's turn numbering (its "flip") as the EXIF orientation, then as Qt's.
QImageIOHandler::Transformations transformationOf(int flip)
{
    switch (flip) {
    case 1: return QImageIOHandler::TransformationMirror;
    case 2: return QImageIOHandler::TransformationFlip;
    case 3: return QImageIOHandler::TransformationRotate180;
    case 4: return QImageIOHandler::TransformationFlipAndRotate90;
    case 5: return QImageIOHandler::TransformationRotate270;
    case 6: return QImageIOHandler::TransformationRotate90;
    case 7: return QImageIOHandler::TransformationMirrorAndRotate90;
    default: return QImageIOHandler::TransformationNone;
    }
}

QMutex helperMutex;
QString helperOverride;
std::atomic<int> helperSeconds{RawImageHandler::HelperSeconds};

// The helper program lies beside the library this reader is built into, in the build
// tree and installed alike.
std::string helperPath()
{
    {
        QMutexLocker lock(&helperMutex);
        if (!helperOverride.isEmpty())
            return helperOverride.toStdString();
    }
    static const std::string beside = [] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<const void *>(&transformationOf), &info) || !info.dli_fname)
            return std::string();
        std::string library = info.dli_fname;
        const size_t slash = library.rfind('/');
        return slash == std::string::npos ? std::string("lumo-raw") : library.substr(0, slash + 1) + "lumo-raw";
    }();
    return beside;
}

} // namespace

// The helper process that develops one file: started with the file's bytes, asked for one
// picture, killed and waited for when the reader is done with it, whatever state it is in.
class RawImageHandler::Helper
{
public:
    Helper() = default;
    Helper(const Helper &) = delete;
    Helper &operator=(const Helper &) = delete;
    ~Helper() { stop(); }

    // Starts the helper on `bytes`; false when it cannot be started or cannot read them.
    bool start(const QByteArray &bytes, RawHeader &header)
    {
        const std::string path = helperPath();
        if (path.empty())
            return false;
        int sockets[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, sockets[1], RawChannel);
        // No other descriptor of this process reaches the helper.
        posix_spawn_file_actions_addclosefrom_np(&actions, RawChannel + 1);
        const std::string limit = std::to_string(std::max(0, QImageReader::allocationLimit()));
        char *const arguments[] = {const_cast<char *>(path.c_str()), const_cast<char *>(limit.c_str()), nullptr};
        // In a process group of its own, so that whatever it starts goes with it.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = -1;
        const int spawned = posix_spawn(&pid, path.c_str(), &actions, &attributes, arguments, environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(sockets[1]);
        m_socket = sockets[0];
        if (spawned != 0)
            return false;
        m_pid = pid;
        m_deadline = std::chrono::steady_clock::now() + std::chrono::seconds(helperSeconds.load());
        const quint64 length = quint64(bytes.size());
        return sendAll(m_socket, &length, sizeof length, m_deadline)
               && sendAll(m_socket, bytes.constData(), size_t(bytes.size()), m_deadline) && receiveAll(m_socket, &header, sizeof header, m_deadline) && header.read == 1;
    }

    // The picture developed at `wanted` (none: its own size), as 24-bit RGB; null when the
    // helper has none, fails, or answers with a picture no reader here would take.
    QImage develop(QSize wanted)
    {
        QImage image;
        const qint32 asked[2] = {wanted.isValid() ? wanted.width() : 0, wanted.isValid() ? wanted.height() : 0};
        RawPictureHeader answer;
        if (sendAll(m_socket, asked, sizeof asked, m_deadline) && receiveAll(m_socket, &answer, sizeof answer, m_deadline)
            && answer.read == 1 && answer.width > 0 && answer.height > 0 && answer.width <= MaxSide
            && answer.height <= MaxSide
            && QImageIOHandler::allocateImage(QSize(answer.width, answer.height), QImage::Format_RGB888, &image)) {
            for (int y = 0; y < image.height(); ++y) {
                if (!receiveAll(m_socket, image.scanLine(y), size_t(image.width()) * 3, m_deadline)) {
                    image = QImage();
                    break;
                }
            }
        }
        stop();
        return image;
    }

private:
    void stop()
    {
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
        m_pid = -1;
    }

    int m_socket = -1;
    pid_t m_pid = -1;
    RawDeadline m_deadline;
};

bool isRawFormat(const QByteArray &format)
{
    for (const char *extension : RawExtensions) {
        if (format.compare(extension, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

struct RawImageHandler::File {
    Helper helper;
    // Kept from the header: the reader asks for the turn after the picture is read.
    QSize size; // the sensor picture as it is developed, before the turn
    QImageIOHandler::Transformations turn;
};

void RawImageHandler::setHelperForTests(const QString &path, int seconds)
{
    QMutexLocker lock(&helperMutex);
    helperOverride = path;
    helperSeconds = seconds > 0 ? seconds : HelperSeconds;
}

RawImageHandler::RawImageHandler() = default;
RawImageHandler::~RawImageHandler() = default;

bool RawImageHandler::canRead(QIODevice *device)
{
    if (!device)
        return false;
    const QByteArray head = device->peek(16);
    return head.startsWith("FUJIFILMCCD-RAW") || head.startsWith("IIRO") || head.startsWith("IIRS")
        || head.startsWith("MMOR") || head.startsWith(QByteArray("IIU\0", 4)) || head.mid(4, 8) == "ftypcrx ";
}

bool RawImageHandler::canRead() const
{
    if (!open())
        return false;
    if (format().isEmpty())
        setFormat("raw");
    return true;
}

bool RawImageHandler::open() const
{
    if (m_file)
        return true;
    if (m_failed || !device())
        return false;
    m_failed = true;
    const qint64 length = device()->size();
    if (length <= 0 || length > MaxFileBytes)
        return false;
    const QByteArray bytes = device()->readAll();
    if (bytes.isEmpty() || bytes.size() > MaxFileBytes)
        return false;
    auto file = std::make_unique<File>();
    RawHeader header;
    if (!file->helper.start(bytes, header))
        return false;
    file->size = QSize(header.width, header.height);
    if (file->size.isEmpty() || header.width > MaxSide || header.height > MaxSide)
        return false;
    file->turn = transformationOf(header.flip);
    m_file = std::move(file);
    m_failed = false;
    return true;
}

bool RawImageHandler::read(QImage *image)
{
    if (!image || !open() || m_read)
        return false;
    m_read = true; // one picture a handler: the helper is gone after it
    const QSize wanted = m_scaledSize.isValid() && !m_scaledSize.isEmpty() ? m_scaledSize : QSize();
    QImage picture = m_file->helper.develop(wanted);
    if (picture.isNull())
        return false;
    if (wanted.isValid() && picture.size() != wanted)
        picture = picture.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    *image = picture;
    return true;
}

QVariant RawImageHandler::option(ImageOption option) const
{
    switch (option) {
    case Size:
        return open() ? QVariant(m_file->size) : QVariant();
    case ScaledSize:
        return m_scaledSize;
    case ImageFormat:
        return open() ? QVariant(QImage::Format_RGB888) : QVariant();
    case ImageTransformation:
        return open() ? QVariant(int(m_file->turn)) : QVariant();
    default:
        return QVariant();
    }
}

void RawImageHandler::setOption(ImageOption option, const QVariant &value)
{
    if (option == ScaledSize)
        m_scaledSize = value.toSize();
}

bool RawImageHandler::supportsOption(ImageOption option) const
{
    return option == Size || option == ScaledSize || option == ImageFormat || option == ImageTransformation;
}

QImageIOPlugin::Capabilities RawImagePlugin::capabilities(QIODevice *device, const QByteArray &format) const
{
    if (isRawFormat(format) || format == "raw")
        return CanRead;
    if (!format.isEmpty() || !device || !device->isOpen() || !device->isReadable())
        return {};
    return RawImageHandler::canRead(device) ? CanRead : Capabilities();
}

QImageIOHandler *RawImagePlugin::create(QIODevice *device, const QByteArray &format) const
{
    auto *handler = new RawImageHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
}
