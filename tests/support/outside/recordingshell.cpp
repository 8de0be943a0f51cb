#include "outside/recordingshell.h"

RecordingShell::RecordingShell()
    : m_previous(ShellService::installed())
{
    ShellService::install(this);
}

RecordingShell::~RecordingShell()
{
    if (ShellService::installed() == this)
        ShellService::install(m_previous);
}

QStringList RecordingShell::removeFiles(const QString &nulList, int option, QWidget *owner)
{
    removals << nulList;
    return ShellService::removeFiles(nulList, option, owner);
}
