#include "pictures/rawimage.h"

#include "pictures/rawchannel.h"

#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QImageReader>
#include <QMutex>
#include <QVariant>

#include <atomic>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

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

// A helper process and the end of the socket this process talks on.
struct HelperProcess {
    pid_t pid = -1;
    int socket = -1;
    int files = 0; // read so far
};

// A helper that answered every question put to it, waiting for the next file: starting a
// process costs more than developing a small preview.
constexpr size_t MaxIdleHelpers = 16;
// Then it makes way for a fresh one, should LibRaw's heap grow with the files.
constexpr int MaxFilesAHelper = 500;

QMutex helperMutex;
QString helperOverride;
std::vector<HelperProcess> idleHelpers;
std::atomic<int> helperSeconds{RawImageHandler::HelperSeconds};

void endHelper(HelperProcess &helper)
{
    if (helper.socket >= 0)
        ::close(helper.socket);
    if (helper.pid > 0) {
        ::kill(-helper.pid, SIGKILL); // its group: whatever it started goes with it
        while (::waitpid(helper.pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    helper = {};
}

// The helper program lies beside the library this reader is built into, in the build
// tree and installed alike. Called with helperMutex held.
std::string helperPath()
{
    if (!helperOverride.isEmpty())
        return helperOverride.toStdString();
    static const std::string beside = [] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<const void *>(&endHelper), &info) || !info.dli_fname)
            return std::string();
        std::string library = info.dli_fname;
        const size_t slash = library.rfind('/');
        return slash == std::string::npos ? std::string("lumo-raw") : library.substr(0, slash + 1) + "lumo-raw";
    }();
    return beside;
}

// This process's environment for the helper, but LibRaw's OpenMP on one thread that sleeps
// when idle: the readers already develop one file on each core, and a team of threads
// spinning between a small file's loops would take the cores from them.
std::vector<char *> helperEnvironment()
{
    static std::vector<std::string> own = [] {
        std::vector<std::string> variables;
        for (char **variable = environ; *variable; ++variable) {
            const std::string_view entry(*variable);
            if (!entry.starts_with("OMP_NUM_THREADS=") && !entry.starts_with("OMP_WAIT_POLICY="))
                variables.emplace_back(entry);
        }
        variables.emplace_back("OMP_NUM_THREADS=1");
        variables.emplace_back("OMP_WAIT_POLICY=PASSIVE");
        return variables;
    }();
    std::vector<char *> pointers;
    for (std::string &variable : own)
        pointers.push_back(variable.data());
    pointers.push_back(nullptr);
    return pointers;
}

HelperProcess spawnHelper()
{
    std::string path;
    {
        QMutexLocker lock(&helperMutex);
        path = helperPath();
    }
    int sockets[2];
    if (path.empty() || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], RawChannel);
    // No other descriptor of this process reaches the helper.
    posix_spawn_file_actions_addclosefrom_np(&actions, RawChannel + 1);
    char *const arguments[] = {path.data(), nullptr};
    // In a process group of its own, so that whatever it starts is ended with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = -1;
    std::vector<char *> environment = helperEnvironment();
    const int spawned = posix_spawn(&pid, path.c_str(), &actions, &attributes, arguments, environment.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(sockets[1]);
    if (spawned != 0) {
        ::close(sockets[0]);
        return {};
    }
    return {pid, sockets[0], 0};
}

// An idle helper, if there is one.
HelperProcess idleHelper()
{
    QMutexLocker lock(&helperMutex);
    if (idleHelpers.empty())
        return {};
    HelperProcess helper = idleHelpers.back();
    idleHelpers.pop_back();
    return helper;
}

void keepIdle(HelperProcess &helper)
{
    if (helper.files < MaxFilesAHelper) {
        QMutexLocker lock(&helperMutex);
        if (idleHelpers.size() < MaxIdleHelpers) {
            idleHelpers.push_back(helper);
            helper = {};
            return;
        }
    }
    endHelper(helper);
}

} // namespace

// A helper process at work on one file: handed the file's bytes, asked for one picture or
// for none. One that answers as it should waits for the next file among the idle ones; one
// that fails or keeps silent past its time is killed and waited for, whatever its state.
class RawImageHandler::Helper
{
public:
    Helper() = default;
    Helper(const Helper &) = delete;
    Helper &operator=(const Helper &) = delete;
    ~Helper()
    {
        if (m_process.pid > 0 && m_waiting) {
            // The header was all the reader wanted.
            const qint32 none[2] = {-1, -1};
            if (sendAll(m_process.socket, none, sizeof none, fromNow())) {
                keepIdle(m_process);
                return;
            }
        }
        endHelper(m_process);
    }

    // Hands the picture on `device` to a helper: a file's descriptor, else its bytes; false
    // when no helper can be started or it cannot read the picture.
    bool start(QIODevice &device, RawHeader &header)
    {
        RawFile file{quint64(device.size() - device.pos()), quint64(device.pos()),
                     std::max(0, QImageReader::allocationLimit()), 0};
        auto *const opened = qobject_cast<QFile *>(&device);
        const int descriptor = opened ? opened->handle() : -1;
        QByteArray bytes;
        if (descriptor >= 0) {
            file.passed = 1;
        } else {
            bytes = device.readAll();
            file.length = quint64(bytes.size());
        }
        if (file.length == 0 || file.length > quint64(MaxFileBytes))
            return false;
        // An idle helper may have gone meanwhile: what fails at once with one is tried once
        // more with a fresh one, which alone decides.
        for (const bool fresh : {false, true}) {
            m_process = fresh ? spawnHelper() : idleHelper();
            if (m_process.pid <= 0)
                continue;
            m_deadline = fromNow();
            ++m_process.files;
            header = {};
            if (sendFile(m_process.socket, file, descriptor, m_deadline)
                && (file.passed || sendAll(m_process.socket, bytes.constData(), size_t(bytes.size()), m_deadline))
                && receiveAll(m_process.socket, &header, sizeof header, m_deadline)) {
                m_waiting = header.read == 1; // else the helper waits for the next file
                if (!m_waiting)
                    keepIdle(m_process);
                return m_waiting;
            }
            endHelper(m_process);
            if (std::chrono::steady_clock::now() >= m_deadline)
                return false; // a file that keeps a helper busy is not given a second one
        }
        return false;
    }

    // The picture developed at `wanted` (none: its own size), as 24-bit RGB; null when the
    // helper has none, fails, or answers with a picture no reader here would take.
    QImage develop(QSize wanted)
    {
        if (!m_waiting)
            return {};
        m_waiting = false;
        m_deadline = fromNow(); // the reader may ask long after it read the header
        QImage image;
        const qint32 asked[2] = {wanted.isValid() ? wanted.width() : 0, wanted.isValid() ? wanted.height() : 0};
        RawPictureHeader answer;
        if (!sendAll(m_process.socket, asked, sizeof asked, m_deadline)
            || !receiveAll(m_process.socket, &answer, sizeof answer, m_deadline)) {
            endHelper(m_process);
            return {};
        }
        if (answer.read == 0) {
            keepIdle(m_process);
            return {};
        }
        if (answer.read != 1 || answer.width <= 0 || answer.height <= 0 || answer.width > MaxSide
            || answer.height > MaxSide
            || !QImageIOHandler::allocateImage(QSize(answer.width, answer.height), QImage::Format_RGB888, &image)) {
            endHelper(m_process);
            return {};
        }
        for (int y = 0; y < image.height(); ++y) {
            if (!receiveAll(m_process.socket, image.scanLine(y), size_t(image.width()) * 3, m_deadline)) {
                endHelper(m_process);
                return {};
            }
        }
        keepIdle(m_process);
        return image;
    }

private:
    static RawDeadline fromNow() { return std::chrono::steady_clock::now() + std::chrono::seconds(helperSeconds.load()); }

    HelperProcess m_process;
    bool m_waiting = false; // for the size of the picture wanted
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
    std::vector<HelperProcess> idle;
    {
        QMutexLocker lock(&helperMutex);
        helperOverride = path;
        helperSeconds = seconds > 0 ? seconds : HelperSeconds;
        idle.swap(idleHelpers);
    }
    for (HelperProcess &helper : idle)
        endHelper(helper);
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
    auto file = std::make_unique<File>();
    RawHeader header;
    if (!file->helper.start(*device(), header))
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
