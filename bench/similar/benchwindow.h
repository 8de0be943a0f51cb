#pragma once
// The main window as the window benchmarks drive it: opened on a catalogue, its commands
// triggered as a user would, the dialogs scripted so no run waits for a person.

#include <frmLumo.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>

#include <QAction>
#include <QMenuBar>
#include <QTreeView>

struct MainWindow
{
    ScriptedDialogs dialogs;
    frmLumo window;

    explicit MainWindow(const QString &catalogue)
    {
        window.show();
        window.openCommandLine(catalogue);
    }
    void run(const char *command) { window.menuBar()->findChild<QAction *>(QLatin1String(command))->trigger(); }
    QTreeView *list() { return window.findChild<QTreeView *>(QStringLiteral("lsvJpeg")); }
    SamGrid *grid() { return frmSam::loaded() ? frmSam::loaded()->findChild<SamGrid *>(QStringLiteral("picList")) : nullptr; }
};
