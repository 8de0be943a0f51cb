#pragma once
// One running Lumo per user: the first process holds a lock file in the user's runtime
// folder for its whole life; a later process finds it held, hands its request (the
// catalogue to open, or none) to the running one over a local socket beside the lock, and
// ends.

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

    // False when another living process holds the lock. True: this process is the one, and
    // listens for the requests of later starts (when its socket folder is the user's own).
    bool tryAcquire();
    // Whether requests of later starts can reach this process.
    bool isListening() const;

    // From a later start: passes the catalogue (an absolute path, or "" for none) to the
    // process that holds the lock. False when none answered.
    bool handOver(const QString &catalogue) const;

    // Where the lock and the socket of `name` live for the current user.
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
    void accept();
    void readFrom(QLocalSocket *socket);

    QString m_name;
    QLockFile m_lock;
    QLocalServer *m_server = nullptr;
};
