#pragma once
// Shared by the similar-pictures window's tests: an owner window that records the calls
// made into it, and signatures with known check values.

#include <frmSam.h>
#include <samowner.h>
#include <signaturetable.h>

#include <QCoreApplication>
#include <QEvent>
#include <QList>
#include <QPair>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <random>

class FakeOwner : public QWidget, public SamOwner
{
public:
    SignatureTable table;
    int level = 0;
    SimilarRule rule;
    qint16 columns = 6;
    qint32 width = 1200;
    qint32 height = 1600;
    QList<QPair<QString, bool>> synced; // SyncJpegList calls
    int deletes = 0;                    // DeleteJepg calls

    QWidget *samOwnerWindow() override { return this; }
    qint16 SamCols() const override { return columns; }
    qint32 SamWidth() const override { return width; }
    qint32 SamHeight() const override { return height; }
    bool ShareThumbnails() const override { return false; }
    const SignatureTable &samCatalogue() const override { return table; }
    int likeLevel() const override { return level; }
    SimilarRule similarRule() const override { return rule; }
    void SyncJpegList(const QString &o_FileName, bool o_Multi) override { synced.append({o_FileName, o_Multi}); }
    void DeleteJepg() override { ++deletes; }
};

// Calls `during` with each title a run shows, at the moment it shows it, and records them.
class TitleWatcher : public QObject
{
public:
    std::function<void(frmSam *, const QString &)> during;
    QStringList titles;

    TitleWatcher() { QCoreApplication::instance()->installEventFilter(this); }
    ~TitleWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = qobject_cast<frmSam *>(watched);
        if (window && event->type() == QEvent::WindowTitleChange && window->isRunning()) {
            titles << window->windowTitle();
            if (during && !window->windowTitle().isEmpty())
                during(window, window->windowTitle());
        }
        return false;
    }
};

inline QString pictureName(int index)
{
    return QStringLiteral("/pictures/p%1.jpg").arg(index);
}

inline QStringList pictureNames(const QList<int> &indexes)
{
    QStringList names;
    for (int index : indexes)
        names << pictureName(index);
    return names;
}

// Every cell mid grey.
inline Signature grey()
{
    Signature cells;
    cells.fill(100);
    return cells;
}

// Grey with `count` cells from `first` white: 10 such cells against grey still give 0, 11 give 465.
inline Signature whitePatch(int first, int count)
{
    Signature cells = grey();
    for (int value = 3 * first; value < 3 * (first + count); ++value)
        cells[value] = 255;
    return cells;
}

// Grey with 11 cells `value` redder: exactly `value` against grey.
inline Signature checkValueAgainstGrey(int value)
{
    Signature cells = grey();
    for (int cell = 0; cell < 11; ++cell)
        cells[3 * cell] = static_cast<int16_t>(100 + value);
    return cells;
}

// Random signatures are far apart from one another at any level.
inline Signature randomSignature(std::mt19937 &random)
{
    Signature cells;
    for (int16_t &value : cells)
        value = static_cast<int16_t>(random() % 256);
    return cells;
}
