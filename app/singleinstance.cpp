#include "singleinstance.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <cstring>
#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QByteArray Heading("lumo-open\n");
// The running one's answer once it has taken a request.
const QByteArray Acknowledgement("lumo-ok\n");
// A path longer than any file system allows is no request.
constexpr qsizetype LongestRequest = 64 * 1024;
// How long a later start keeps trying while the running one is still starting up (on a busy
// machine that takes seconds), how long it waits for the answer, which comes once the running
// one's window is up, and how long the running one waits for a request that has begun to arrive.
constexpr int ConnectMs = 10000;
constexpr int AnswerMs = 10000;
constexpr int RequestMs = 5000;
// A start writes its process id into the lock it has just made within this time.
constexpr qint64 FreshLockMs = 1000;

// Only a folder of the user's own, not a link, that nobody else may enter holds the lock and
// the socket: there no one else can place a lock or socket of theirs or reach ours.
bool isPrivateFolder(const QString &folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == ::getuid() && (info.st_mode & 0777) == 0700;
}

// The runtime folder when it is private, else `name` in the user's cache folder (made
// private on first use), else "".
QString privateFolder(const QString &name)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime))
        return runtime;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty() || !QDir().mkpath(cache))
        return {};
    const QString folder = cache + QLatin1Char('/') + name;
    ::mkdir(QFile::encodeName(folder).constData(), 0700);
    return isPrivateFolder(folder) ? folder : QString();
}

QString pathIn(const QString &name, const char *suffix)
{
    const QString folder = privateFolder(name);
    if (folder.isEmpty())
        return {};
    return folder + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(::getuid())
           + QLatin1String(suffix);
}

// Whether a process takes connections on the socket. Plain calls, as no application object
// (and so no event dispatcher) may exist yet.
bool answers(const QString &path)
{
    const QByteArray bytes = QFile::encodeName(path);
    sockaddr_un address {};
    if (bytes.size() >= qsizetype(sizeof address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, bytes.constData(), size_t(bytes.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool connected = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

// The user id of the process at the other end of a local socket, or -1.
qint64 peerUid(const QLocalSocket &socket)
{
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return -1;
    return credentials.uid;
}
} // namespace

SingleInstance::SingleInstance(const QString &name, QObject *parent)
    : QObject(parent)
    , m_name(name)
    , m_lock(lockFilePath(name))
{
    // Only a lock whose process has gone counts as stale, however old it is.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::tryAcquire()
{
    if (lockFilePath(m_name).isEmpty())
        return true; // nowhere private to meet: every start is on its own
    if (m_lock.tryLock(0))
        return true;
    return isDeadLock() && m_lock.removeStaleLockFile() && m_lock.tryLock(0);
}

bool SingleInstance::isDeadLock()
{
    qint64 pid = 0;
    QString host, application;
    if (m_lock.getLockInfo(&pid, &host, &application))
        return false; // QLockFile has judged it already: its process lives
    const QString path = lockFilePath(m_name);
    const qint64 age = QFileInfo(path).lastModified().msecsTo(QDateTime::currentDateTime());
    if (age >= 0 && age < FreshLockMs)
        QThread::msleep(FreshLockMs - age);
    if (m_lock.getLockInfo(&pid, &host, &application) || answers(socketPath(m_name)))
        return false;
    // Unreadable to us though ours: readable again, so that QLockFile may remove it.
    ::chmod(QFile::encodeName(path).constData(), 0600);
    return true;
}

void SingleInstance::listen()
{
    const QString path = socketPath(m_name);
    if (path.isEmpty() || !m_lock.isLocked())
        return;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // With the lock ours, a socket already there was left by a process that has gone.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600); // the user's to read and write, nobody else's
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

bool SingleInstance::isListening() const
{
    return m_server && m_server->isListening();
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (peerUid(*socket) != qint64(::getuid())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A peer that never finishes its request is let go.
        QTimer::singleShot(RequestMs, socket, [socket] { socket->abort(); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        readFrom(socket);
    }
}

void SingleInstance::readFrom(QLocalSocket *socket)
{
    auto buffer = socket->property("request").toByteArray();
    buffer += socket->readAll();
    const qsizetype end = buffer.indexOf('\0');
    if (end < 0 && buffer.size() <= LongestRequest) {
        socket->setProperty("request", buffer);
        return;
    }
    socket->setProperty("request", QByteArray());
    // Bytes too long or of the wrong form are no request, and get no answer.
    const std::optional<QString> catalogue = end < 0 ? std::nullopt : parseRequest(buffer.left(end + 1));
    if (catalogue)
        socket->write(Acknowledgement);
    socket->disconnectFromServer(); // after the answer is written
    if (!catalogue)
        return;
    // Carried out from the event loop, once this socket's turn is over.
    QMetaObject::invokeMethod(this, [this, path = *catalogue] { emit requested(path); }, Qt::QueuedConnection);
}

bool SingleInstance::handOver(const QString &catalogue) const
{
    const QString path = socketPath(m_name);
    if (path.isEmpty())
        return false;
    QLocalSocket socket;
    // The running Lumo may hold the lock and not listen yet: it is starting.
    const QDeadlineTimer deadline(ConnectMs);
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime()))))
            break;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    if (peerUid(socket) != qint64(::getuid()))
        return false;
    socket.write(request(catalogue));
    if (!socket.waitForBytesWritten(RequestMs))
        return false;
    // The running one answers once it has taken the request, then hangs up.
    const QDeadlineTimer answered(AnswerMs);
    QByteArray answer;
    while (answer.size() < Acknowledgement.size()) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(int(qMax<qint64>(1, answered.remainingTime()))))
            break;
        answer += socket.read(Acknowledgement.size() - answer.size());
    }
    return answer == Acknowledgement;
}

QString SingleInstance::lockFilePath(const QString &name)
{
    return pathIn(name, ".lock");
}

QString SingleInstance::socketPath(const QString &name)
{
    return pathIn(name, ".socket");
}

QByteArray SingleInstance::request(const QString &catalogue)
{
    return Heading + catalogue.toUtf8() + '\0';
}

std::optional<QString> SingleInstance::parseRequest(const QByteArray &bytes)
{
    if (!bytes.startsWith(Heading) || !bytes.endsWith('\0'))
        return std::nullopt;
    const QByteArray body = bytes.mid(Heading.size(), bytes.size() - Heading.size() - 1);
    if (body.contains('\0'))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString catalogue = decoder.decode(body);
    if (decoder.hasError())
        return std::nullopt;
    if (!catalogue.isEmpty() && !QDir::isAbsolutePath(catalogue))
        return std::nullopt;
    return catalogue;
}
