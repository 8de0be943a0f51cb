// The similar-pictures window following the main list's selection, and its rules, on a
// full catalogue of 32,767 entries, opened from the main window as a user opens it:
// - marking 10,000 rows selected at once in the main list (one range, as a Shift-click
//   selects them), clearing them again, and selecting 10,000 scattered rows (every third,
//   as a rule selects them): from the change to the grid and the list repainted;
// - a rule ("画素数の多い画像を残す") over the result of a comparison run of 32,767 entries
//   in 5,000 groups, the pictures' headers and file times read (warm cache): from the menu
//   item to the new selection in the list; then the grid's 削除 of the pictures it marked
//   (from the catalogue only).
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_samselection
//   build/bin/bench_samselection       (LUMO_SCALE_DIR: a folder of JPEG pictures to link to;
//                                       without it, small pictures are made)

#include "benchwindow.h"

#include "catalogue/catalogue.h"
#include <frmLumo.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>

#include <QAction>
#include "benchmain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMenuBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <random>

namespace {

QTemporaryDir *g_dir = nullptr;

QString writeCatalogue(const QString &name, const SignatureTable &table)
{
    const QString file = g_dir->filePath(name);
    if (saveCatalogue(file, table).failed())
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

template <typename Done>
bool serveUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && !clock.hasExpired(timeoutMs)) {
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return done();
}

// Pictures to link to: the scale corpus when there is one, else 64 small ones of varied sizes.
QStringList pictures()
{
    const QDir corpus(qEnvironmentVariable("LUMO_SCALE_DIR", QStringLiteral("/work/data/scale2000")));
    QStringList paths;
    const QStringList names = corpus.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        paths << corpus.filePath(name);
    if (!paths.isEmpty())
        return paths;
    QDir().mkpath(g_dir->filePath(QStringLiteral("made")));
    for (int i = 0; i < 64; ++i) {
        QImage picture(64 + i * 8, 48 + i * 6, QImage::Format_RGB32);
        picture.fill(QColor::fromHsv(i * 5, 200, 200));
        paths << g_dir->filePath(QStringLiteral("made/%1.jpg").arg(i));
        picture.save(paths.last(), "JPG");
    }
    return paths;
}

double milliseconds(const QElapsedTimer &clock) { return double(clock.nsecsElapsed()) / 1e6; }

// The selection changed by `change`, then the grid and the list painted.
double timedChange(MainWindow &main, const std::function<void()> &change)
{
    QElapsedTimer clock;
    clock.start();
    change();
    main.grid()->repaint();
    main.list()->viewport()->repaint();
    return milliseconds(clock);
}

void BM_Marks32767(benchmark::State &state)
{
    SignatureTable table;
    for (int i = 0; i < SignatureTable::MaxEntries; ++i)
        table.append(QStringLiteral("/pictures/p%1.jpg").arg(i, 5, 10, QLatin1Char('0')), Signature{});
    MainWindow main(writeCatalogue(QStringLiteral("marks.sbx"), table));
    main.run("mnuJ3"); // every entry on the grid
    QItemSelectionModel *selection = main.list()->selectionModel();
    QAbstractItemModel *model = main.list()->model();
    QStringList scattered;
    for (int i = 0; i < 30000; i += 3)
        scattered << table.name(i);
    double mark = 0, clear = 0, rule = 0;
    for (auto _ : state) {
        mark = timedChange(main, [&] {
            selection->select(QItemSelection(model->index(20000, 0), model->index(29999, 3)),
                              QItemSelectionModel::ClearAndSelect);
        });
        if (!main.grid()->hasMarks())
            return state.SkipWithError("nothing was marked");
        clear = timedChange(main, [&] { selection->clearSelection(); });
        rule = timedChange(main, [&] { main.window.selectPictures(scattered); });
        if (main.list()->selectionModel()->selectedRows().size() != 10000)
            return state.SkipWithError("the scattered rows were not selected");
        clear = std::max(clear, timedChange(main, [&] { selection->clearSelection(); }));
        state.SetIterationTime((mark + clear + rule) / 1000);
    }
    state.counters["mark_10000_ms"] = mark;
    state.counters["clear_10000_ms"] = clear;
    state.counters["select_10000_scattered_ms"] = rule;
}
BENCHMARK(BM_Marks32767)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_Rule32767In5000Groups(benchmark::State &state)
{
    // Entry i has the signature of group i mod 5000 exactly: level 0 finds the 5,000 groups.
    std::mt19937 random(7);
    std::vector<Signature> groups(5000);
    for (Signature &cells : groups)
        for (int16_t &value : cells)
            value = static_cast<int16_t>(random() % 256);
    const QStringList linked = pictures();
    QDir().mkpath(g_dir->filePath(QStringLiteral("links")));
    SignatureTable table;
    for (int i = 0; i < SignatureTable::MaxEntries; ++i) {
        const QString path = g_dir->filePath(QStringLiteral("links/%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        QFile::link(linked[i % linked.size()], path);
        table.append(path, groups[size_t(i) % groups.size()]);
    }
    MainWindow main(writeCatalogue(QStringLiteral("groups.sbx"), table));
    main.window.findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(0);
    main.run("mnuJ2");
    if (main.grid()->placedCount() != SignatureTable::MaxEntries)
        return state.SkipWithError("the comparison run did not place every entry");
    QAction *rule = frmSam::loaded()->findChild<QAction *>(QStringLiteral("mnuS0"));
    const auto apply = [&] {
        rule->trigger();
        return serveUntil([] { return !frmSam::loaded()->isApplyingRule(); }, 120000);
    };
    apply(); // the headers in the file system's cache
    double ms = 0;
    for (auto _ : state) {
        main.list()->clearSelection();
        QElapsedTimer clock;
        clock.start();
        if (!apply())
            return state.SkipWithError("the rule did not end within 2 minutes");
        ms = milliseconds(clock);
        state.SetIterationTime(ms / 1000);
    }
    state.counters["rule_ms"] = ms;
    state.counters["selected"] = double(main.list()->selectionModel()->selectedRows().size());
    // Then the grid's 削除 of what the rule marked, from the catalogue only.
    main.dialogs.answers << 7;
    QElapsedTimer clock;
    clock.start();
    frmSam::loaded()->findChild<QAction *>(QStringLiteral("mnuF0"))->trigger();
    state.counters["delete_marked_ms"] = milliseconds(clock);
    state.counters["left"] = double(main.list()->model()->rowCount());
}
BENCHMARK(BM_Rule32767In5000Groups)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv, g_dir);
}
