#pragma once
// A ShellService for tests: records every list of files a window hands to the removal and
// passes it on to the real one (the trash that XDG_DATA_HOME points at). Constructing it
// installs it; destroying it puts back the service installed before.
//
//     RecordingShell shell;
//     window.DeleteJepg();
//     QCOMPARE(shell.removals, QStringList{path + QChar(0) + QChar(0)});

#include "outside/shellservice.h"

#include <QStringList>

class RecordingShell : public ShellService
{
public:
    RecordingShell();
    ~RecordingShell() override;
    RecordingShell(const RecordingShell &) = delete;
    RecordingShell &operator=(const RecordingShell &) = delete;

    // Each NUL list handed to RemoveFiles, in order.
    QStringList removals;

protected:
    QStringList removeFiles(const QString &nulList, int option, QWidget *owner) override;

private:
    ShellService *m_previous = nullptr;
};
