#pragma once
// The picture viewer: one window, reused by every caller, that shows a picture file at
// its own size. It is loaded on first use and unloaded by Esc or its close box.

#include <QDialog>
#include <QString>

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
    static bool isShown();
    // Unloads the viewer when it is loaded.
    static void unload();

private:
    explicit frmView(QWidget *parent = nullptr);
};
