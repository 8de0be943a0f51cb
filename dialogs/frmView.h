#pragma once
// The picture viewer: one window, reused by every caller, that shows a picture file at
// its own size (smaller only when that is beyond Qt's allocation limit, which it leaves as
// it is). It is loaded on first use and unloaded by Esc or its close box.
//
// The file is checked (and a cut-off JPEG repaired) and decoded on a worker thread, one
// file at a time in the order asked; only the last file asked for is shown. A freshly
// loaded viewer appears once its first picture is ready, already at the picture's size.
// The viewer never takes the focus from its owner when it appears.
//
// The window (loading, showing a picture or the failure text, unloading) is frmView.cpp;
// the check before a file is shown, CheckJpegFile with the start-marker test and the
// end-marker repair, is a free function in jpegcheck.h that needs no window.

#include "outside/appsettings.h"
#include "outside/workpool.h"

#include <QDialog>
#include <QFutureWatcher>
#include <QImage>
#include <QString>

#include <atomic>
#include <memory>

class PictureBox;
class QPushButton;

class frmView : public QDialog
{
    Q_OBJECT
public:
    // Shows o_FileName in the viewer, loading it first when needed; modeless, owned by
    // o_Owner.
    static void ShowEx(QWidget *o_Owner, const QString &o_FileName);
    // The loaded viewer, or null.
    static frmView *loaded();
    // Loaded and visible: the main list and the thumbnail grid then make it follow clicks.
    // A freshly loaded viewer counts as shown while its first picture is on the way.
    static bool isShown();
    // Unloads the viewer when it is loaded.
    static void unload();

    // The settings object this load of the viewer set up.
    const AppSettings &settings() const { return m_settings; }
    // A picture is being checked or decoded for the last ShowEx.
    bool isBusy() const { return m_busy; }

    ~frmView() override;

    // Esc and the close box: the cancel button is pressed.
    void reject() override;

private:
    struct Picture
    {
        quint64 request = 0;
        bool ok = false;
        QImage image;
    };

    explicit frmView(QWidget *o_Owner);

    void showFile(QWidget *o_Owner, const QString &o_FileName);
    void pictureReady();
    void showFailure();
    void unloadNow();

    // Runs on the worker thread: touches nothing of the window.
    static Picture loadPicture(const QString &path, quint64 request,
                               std::shared_ptr<const std::atomic<quint64>> latest);

    PictureBox *picView = nullptr;
    QPushButton *cmdCancel = nullptr;
    AppSettings m_settings;

    // The number of the last ShowEx, shared with the worker so it skips superseded files.
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
    QFutureWatcher<Picture> m_watcher;
    // One worker: files are decoded one at a time in the order asked. Unloading never waits
    // for a decode; a result nobody waits for is dropped.
    WorkPool m_work;
    bool m_busy = false;
    bool m_firstShowPending = false;
};
