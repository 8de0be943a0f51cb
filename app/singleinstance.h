#pragma once
// One running Lumo per user: the first process holds a lock file in a private folder of the
// user's (the runtime folder, else one in the user's cache) for its whole life; a later
// process finds it held, hands its request (the catalogue to open, or none) to the running
// one over a local socket beside the lock, waits for its acknowledgement, and ends. The lock
// is taken before any application object exists, so a later start needs no display.

#include <QLockFile>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &name, QObject *parent = nullptr);
    ~SingleInstance() override;

    // False when another living process holds the lock. True: this process is the one (also
    // when no private folder can be had: then there is no lock and no hand-over). A lock
    // without a process id in it is stale when nobody answers on the socket beside it.
    bool tryAcquire();
    // After tryAcquire, once an application object exists: listens for later starts.
    void listen();
    // Whether requests of later starts can reach this process.
    bool isListening() const;

    // From a later start: passes the catalogue (an absolute path, or "" for none) to the
    // process that holds the lock. False when none acknowledged it in time.
    bool handOver(const QString &catalogue) const;

    // Where the lock and the socket of `name` live for the current user; "" when the user
    // has no private folder for them.
    static QString lockFilePath(const QString &name);
    static QString socketPath(const QString &name);

    // The bytes of a request, and the catalogue read back from them; nothing when the
    // bytes are no request (wrong heading, a relative path, not UTF-8, a NUL inside).
    static QByteArray request(const QString &catalogue);
    static std::optional<QString> parseRequest(const QByteArray &bytes);

signals:
    // A later start asked for the window, with a catalogue to open ("" for none).
    void requested(const QString &catalogue);

private:
    bool isDeadLock();
    void accept();
    void readFrom(QLocalSocket *socket);

    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
