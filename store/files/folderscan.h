#pragma once
// The one folder scan: the main window's folder add (through FileFind) and lumo-cli's add
// both walk a folder with it, so the same folder gives the same catalogue either way.
//
// Depth first: in each folder first its files, then its sub-folders, each ordered by name
// ignoring letter case (ties by code point, then by the name's bytes). Entries whose names
// start with '.' are skipped, links to files are reported, links to folders are not
// followed, folders that cannot be read are passed over. The scan goes one step at a time
// so a caller can let window events through between steps:
//
//     FolderScan scan(folder);
//     ScannedFile file;
//     while (scan.next(file) != FolderScan::Step::End) { ... }

#include "sigboxcore_export.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <vector>

struct ScannedFile
{
    QString folder;        // the file's folder, without a trailing separator ("/" for the root)
    QString name;          // the file name
    QByteArray nativePath; // the path as the file system spells it
    // False when the path is not valid UTF-8 (names copied from other systems): it cannot be
    // written as text, so folder and name are only an approximation and open nothing.
    bool readable = true;

    QString path() const;
};

class SIGBOXCORE_EXPORT FolderScan
{
public:
    enum class Step {
        File,   // `file` holds the next file
        Folder, // a folder was read; nothing to report yet
        End,
    };

    // A folder that does not exist, or is no folder, ends the scan at once.
    explicit FolderScan(const QString &folder, bool subFolders = true);

    Step next(ScannedFile &file);
    // True when the next step reads a folder (or ends the scan) rather than take a file: a
    // caller hands on the files it holds before a read that may be slow.
    bool readsNext() const { return m_files.empty(); }

private:
    struct Folder
    {
        QByteArray native;
        QString shown;
        bool readable = true;
    };
    void read(const Folder &folder);

    bool m_subFolders;
    std::vector<Folder> m_folders; // still to read, the next one last
    std::deque<ScannedFile> m_files;
};

// True for a name whose extension is JPG or JPEG in any letter case.
SIGBOXCORE_EXPORT bool hasJpegExtension(const QString &name);
// True when the bytes are valid UTF-8, so the name can be handled as text.
SIGBOXCORE_EXPORT bool isValidUtf8(const QByteArray &bytes);

// Whether optimising drops the catalogue entry of `path`: its folder is there but the
// file is not (or something else stands in its place). A picture whose folder is missing
// altogether may lie on a disk that is not mounted, and one that cannot be looked at (no
// permission) may still be there: both are kept.
SIGBOXCORE_EXPORT bool isPictureGone(const QString &path);
