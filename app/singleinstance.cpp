#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>

#include <memory>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QByteArray Heading("lumo-open\n");
// A path longer than any file system allows is no request.
constexpr qsizetype LongestRequest = 64 * 1024;
// How long a later start keeps trying while the running one is still starting up, and how
// long the running one waits for a request that has begun to arrive.
constexpr int ConnectMs = 3000;
constexpr int RequestMs = 5000;

QString runtimeFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

// Only a folder of the user's own that nobody else may enter holds the socket: there no
// one else can place a socket of theirs or reach ours.
bool isPrivateFolder(const QString &folder)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(folder).constData(), &info) == 0 && S_ISDIR(info.st_mode)
           && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
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
    if (!m_lock.tryLock(0))
        return false;
    const QString path = socketPath(m_name);
    if (!isPrivateFolder(QFileInfo(path).path()))
        return true; // one instance still; later starts just end, as they cannot reach it
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // With the lock ours, a socket already there was left by a process that has gone.
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        delete m_server;
        m_server = nullptr;
        return true;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600); // the user's to read and write, nobody else's
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
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
    socket->disconnectFromServer();
    if (end < 0)
        return; // too long to be a request
    const std::optional<QString> catalogue = parseRequest(buffer.left(end + 1));
    if (!catalogue)
        return;
    // Carried out from the event loop, once this socket's turn is over.
    QMetaObject::invokeMethod(this, [this, path = *catalogue] { emit requested(path); }, Qt::QueuedConnection);
}

bool SingleInstance::handOver(const QString &catalogue) const
{
    const QString path = socketPath(m_name);
    if (!isPrivateFolder(QFileInfo(path).path()))
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
    // The running one hangs up once it has read the request.
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(RequestMs);
    return true;
}

QString SingleInstance::lockFilePath(const QString &name)
{
    QString folder = runtimeFolder();
    if (folder.isEmpty())
        folder = QDir::tempPath();
    // The user's id keeps two users apart when the shared temporary folder is used.
    return folder + QLatin1Char('/') + name + QLatin1Char('-') + QString::number(getuid())
        + QStringLiteral(".lock");
}

QString SingleInstance::socketPath(const QString &name)
{
    const QString base = name + QLatin1Char('-') + QString::number(getuid());
    QString folder = runtimeFolder();
    if (folder.isEmpty()) {
        // The shared temporary folder gets a private folder of its own for the socket.
        folder = QDir::tempPath() + QLatin1Char('/') + base;
        ::mkdir(QFile::encodeName(folder).constData(), 0700);
    }
    return folder + QLatin1Char('/') + base + QStringLiteral(".socket");
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
