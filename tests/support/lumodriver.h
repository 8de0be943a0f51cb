#pragma once
// The main window driven as a user drives it, for the tests that go through whole
// catalogue operations: its commands by name, its panels, list and store, drops, and
// catalogue files made and read back.
//
//     LumoDriver lumo;
//     lumo.openCatalogue(dir.filePath("c.sbx"), paths);
//     lumo.run("mnuL5");                          // "最適化"
//     QCOMPARE(lumo.rowKeys(), lumo.storeNames());

#include "catalogue/catalogue.h"
#include <frmLumo.h>
#include "catalogue/sigbox.h"

#include <QAction>
#include <QSet>
#include <QCoreApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>

#include <memory>

// Settings, trash and thumbnail folders of a test run in a temporary home, set up before
// any window reads them (HOME too: the trash of a file on HOME's file system is the home one).
class TemporaryHome
{
public:
    TemporaryHome()
    {
        if (!m_dir.isValid())
            qFatal("no temporary home");
        qputenv("HOME", QFile::encodeName(m_dir.path()));
        qputenv("XDG_CONFIG_HOME", m_dir.filePath(QStringLiteral("config")).toLocal8Bit());
        qputenv("XDG_DATA_HOME", m_dir.filePath(QStringLiteral("data")).toLocal8Bit());
        qputenv("XDG_CACHE_HOME", m_dir.filePath(QStringLiteral("cache")).toLocal8Bit());
    }
    // Where the desktop trash keeps the files moved into it.
    QString trash() const { return m_dir.filePath(QStringLiteral("data/Trash/files")); }
    void emptyTrash() const { QDir(m_dir.filePath(QStringLiteral("data/Trash"))).removeRecursively(); }

private:
    QTemporaryDir m_dir;
};

class LumoDriver
{
public:
    // Made and shown on first use, active so that its shortcuts work.
    frmLumo &window()
    {
        if (!m_window) {
            m_window = std::make_unique<frmLumo>();
            m_window->show();
            m_window->activateWindow();
            if (!QTest::qWaitForWindowActive(m_window.get()))
                qWarning("window not active");
        }
        return *m_window;
    }
    void reset() { m_window.reset(); }
    bool isOpen() const { return m_window != nullptr; }

    QTreeView *list() { return window().findChild<QTreeView *>(QStringLiteral("lsvJpeg")); }
    QString panel(const char *key) { return window().findChild<QLabel *>(QLatin1String(key))->text(); }
    bool saveLit() { return window().findChild<QLabel *>(QStringLiteral("Save"))->isEnabled(); }

    // A menu item ("mnuL5") or tool-bar button ("Folder") of the main window itself (the
    // similar-pictures window, its child, has items of the same names).
    QAction *command(const char *name)
    {
        const QString key = QLatin1String(name);
        if (QAction *item = window().menuBar()->findChild<QAction *>(key))
            return item;
        return window().findChild<QToolBar *>(QStringLiteral("tldLumo"))->findChild<QAction *>(key);
    }
    void run(const char *name) { command(name)->trigger(); }

    QStringList rowKeys()
    {
        QStringList keys;
        for (int i = 0; i < list()->model()->rowCount(); ++i)
            keys << list()->model()->index(i, 0).data(Qt::UserRole).toString();
        return keys;
    }
    QStringList storeNames()
    {
        QStringList names;
        for (int i = 0; i < window().store()->DataCount(); ++i)
            names << window().store()->FileName(i);
        return names;
    }
    // Adds the row at this position to the selection.
    void selectRow(int row)
    {
        list()->selectionModel()->select(list()->model()->index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Selects exactly the rows of these keys.
    void select(const QStringList &keys)
    {
        list()->clearSelection();
        const QSet<QString> wanted(keys.begin(), keys.end());
        for (int i = 0; i < list()->model()->rowCount(); ++i) {
            if (wanted.contains(list()->model()->index(i, 0).data(Qt::UserRole).toString()))
                selectRow(i);
        }
    }

    // Drops the URLs on the catalogue list, entering first as a drag does.
    void drop(const QList<QUrl> &urls)
    {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list()->viewport(), &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(list()->viewport(), &event);
    }
    void drop(const QStringList &paths)
    {
        QList<QUrl> urls;
        for (const QString &path : paths)
            urls << QUrl::fromLocalFile(path);
        drop(urls);
    }

    // Writes a catalogue of these paths (blank signatures unless given) and opens it as the
    // command line does.
    void openCatalogue(const QString &file, const QStringList &paths, const std::vector<Signature> &cells = {})
    {
        writeCatalogueFile(file, paths, cells);
        window().openCommandLine(file);
    }

    static void writeCatalogueFile(const QString &file, const QStringList &paths,
                                   const std::vector<Signature> &cells = {})
    {
        SignatureTable table;
        for (qsizetype i = 0; i < paths.size(); ++i)
            table.append(paths[i], size_t(i) < cells.size() ? cells[size_t(i)] : Signature{});
        if (saveCatalogue(file, table).failed())
            qFatal("cannot write %s", qPrintable(file));
    }
    // The entries of a catalogue file, or "<unreadable>".
    static QStringList catalogueNames(const QString &file)
    {
        SignatureTable table;
        if (loadCatalogue(file, table).failed())
            return {QStringLiteral("<unreadable>")};
        QStringList names;
        for (int i = 0; i < table.count(); ++i)
            names << table.name(i);
        return names;
    }
    static QByteArray bytes(const QString &file)
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }
    // n files p0.jpg.. in folder that are pictures by name only.
    static QStringList placeholderPictures(const QString &folder, int n)
    {
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            paths << folder + QStringLiteral("/p%1.jpg").arg(i);
            writeBytes(paths.last(), "picture");
        }
        return paths;
    }
    static void writeBytes(const QString &file, const QByteArray &content)
    {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(file));
    }

private:
    std::unique_ptr<frmLumo> m_window;
};
