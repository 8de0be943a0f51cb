#pragma once
// The folder picker and the file removal.
//
// Static operations; ShellService::instance().RemoveFiles(...) works as well.
// Removal goes to the desktop trash of the user ($XDG_DATA_HOME/Trash), which tests
// point at a temporary folder by setting XDG_DATA_HOME. Tests that want to see what a
// window hands over install a stand-in (install()) that overrides removeFiles.

#include <QString>
#include <QStringList>

class QWidget;

class ShellService
{
public:
    virtual ~ShellService();

    // Asks for a folder through DialogService::BrowseForFolder; the chosen folder, or ""
    // when cancelled.
    static QString BrowseFolder(QWidget *owner, const QString &start);

    // nulList: full paths, each followed by a NUL character, and one more NUL at the end.
    // Moves each file to the desktop trash; never deletes permanently. The shared
    // thumbnails of each file moved are removed (SharedThumbnails). The moves run off the
    // window's thread under a progress dialog whose 中止 stops them between two files. The
    // files that could not be moved are named together in one message (style 48, owner);
    // they and those not reached before a stop are returned: all stay where they were.
    // Goes through the installed service, if any.
    static QStringList RemoveFiles(const QString &nulList, int option, QWidget *owner);

    // "a\0b\0\0" <-> {"a", "b"}.
    static QStringList splitNulList(const QString &nulList);
    static QString joinNulList(const QStringList &paths);

    static ShellService &instance();
    // Installs service for RemoveFiles; nullptr puts back the real removal. The caller
    // keeps ownership.
    static void install(ShellService *service);
    static ShellService *installed();

protected:
    // The removal RemoveFiles performs; a stand-in may record and pass it on.
    virtual QStringList removeFiles(const QString &nulList, int option, QWidget *owner);
};
