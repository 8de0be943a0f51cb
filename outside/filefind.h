#pragma once
// The folder-scanning control (`fndJpeg` on the main window; no visible part).
//
// Find walks the folder with the scan lumo-cli uses as well (folderscan.h of the store
// library): depth first, in each folder first its files, then its sub-folders, each sorted
// by name (ignoring letter case, ties by code point); hidden entries (names starting with
// '.') are skipped and symbolic links to folders are not followed; links to files are
// reported. For each file that matches the pattern it emits FileFound(folder of the file
// without trailing separator, file name, cancel); a handler that sets cancel = true stops
// the scan, and so does Cancel(): no file is reported after either. A matching file whose
// path is not valid UTF-8 cannot be reported as text: it is kept in unreadableNames()
// instead.
//
// The folders are read on a worker of a WorkPool of the scan's own, a batch of files at a
// time, a few batches ahead; FileFound is emitted on the calling (user-interface) thread,
// in the scan's order, while that thread goes on serving window events: a folder on a slow
// or vanished disk holds the worker, never the window (Esc, repaints and commands work,
// also between files at least every 50 ms). Find returns when the scan has ended, or at
// once after a cancel: a worker still stuck in a read stops when the read returns. Find
// called while a scan runs does nothing. A FileFind deleted during its scan (from an event
// served meanwhile) ends it; Find then returns without touching it.
//
// Handlers connect directly (the default for an object of the same thread):
//     connect(fndJpeg, &FileFind::FileFound, this,
//             [this](const QString &folder, const QString &name, bool &cancel) { ... });

#include <QByteArrayList>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QEventLoop;

class FileFind : public QObject
{
    Q_OBJECT
public:
    // Bits of Find's flags.
    enum Flag {
        SubFolders = 0,   // the folder and all its sub-folders
        TopOnly = 1,      // only the folder itself
    };

    explicit FileFind(QObject *parent = nullptr);
    ~FileFind() override;

    // pattern: "*.*" or "*" (or empty) for every file, else wildcard patterns as
    // QDir::nameFiltersFromString reads them ("*.jpg;*.jpeg"), matched ignoring case.
    void Find(QString &folder, const QString &pattern = QStringLiteral("*.*"), int flags = 0);
    // Stops a running scan before the next file.
    void Cancel();
    bool isRunning() const { return m_running; }
    // The number of files reported by the last (or running) scan.
    int foundCount() const { return m_found; }
    // The matching files of the last (or running) scan whose paths are not valid UTF-8,
    // as the file system spells them; FileFound was not raised for them.
    const QByteArrayList &unreadableNames() const { return m_unreadable; }

    // For the tests, which stand in for a slow disk with it: called on the worker before
    // each step of the scans that start afterwards (a step reads a folder or takes a file).
    void setBeforeStep(std::function<void()> beforeStep) { m_beforeStep = std::move(beforeStep); }

signals:
    void FileFound(const QString &folder, const QString &fileName, bool &cancel);

private:
    struct Scan;

    bool m_running = false;
    bool m_cancel = false;
    int m_found = 0;
    QByteArrayList m_unreadable;
    QElapsedTimer m_sinceYield;
    std::shared_ptr<Scan> m_scan;       // shared with the worker reading it
    QEventLoop *m_waiting = nullptr;    // Find's wait for the next batch
    std::function<void()> m_beforeStep;
};
