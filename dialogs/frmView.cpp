#include "frmView.h"

// Placeholder until the viewer lands: nothing is ever loaded.

frmView::frmView(QWidget *parent)
    : QDialog(parent)
{
}

void frmView::ShowEx(QWidget *o_Owner, const QString &o_FileName)
{
    Q_UNUSED(o_Owner);
    Q_UNUSED(o_FileName);
}

frmView *frmView::loaded()
{
    return nullptr;
}

bool frmView::isShown()
{
    return false;
}

void frmView::unload()
{
}
