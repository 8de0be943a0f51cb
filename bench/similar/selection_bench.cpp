// The similar-pictures window following the main list's selection, and its rules, on a
// full catalogue of 32,767 entries, opened from the main window as a user opens it:
// - marking 10,000 rows selected at once in the main list (one range, as a Shift-click
//   selects them), clearing them again, and selecting 10,000 scattered rows (every third,
//   as a rule selects them): from the change to the grid and the list repainted;
// - a rule ("画素数の多い画像を残す") over the result of a comparison run of 32,767 entries
//   in 5,000 groups, the pictures' headers and file times read (warm cache): from the menu
//   item to the new selection in the list; then the grid's 削除 of the pictures it marked
//   (from the catalogue only);
// - the result of a comparison run over a whole set of parts (LUMO_BIG_GROUPS: its first
//   part, written by tools/make_big_catalogue.py --copies 10 --files DIR): the run, the
//   process's resident memory with the grid, the grid scrolled to its last row and back,
//   比較 on the last group and paging back through the groups before it, every rule, and
//   the grid's 削除 of what the last rule marked (from the catalogue only), each with how
//   long a posted event waited meanwhile.
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_samselection
//   build/bin/bench_samselection       (LUMO_SCALE_DIR: a folder of JPEG pictures to link to;
//                                       without it, small pictures are made)

#include "../eventlatency.h"
#include "benchwindow.h"

#include "catalogue/catalogue.h"
#include <frmCompare.h>
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
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <optional>
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

// What a step of the big result took, and how long input waited meanwhile.
struct Step {
    double ms = 0;
    double inputWaitP99Ms = 0;
    double inputWaitLongestMs = 0;
};

template <typename Act, typename Done>
std::optional<Step> timedStep(Act act, Done done, int timeoutMs)
{
    EventLatency input;
    QElapsedTimer clock;
    clock.start();
    act();
    if (!serveUntil(done, timeoutMs))
        return std::nullopt;
    Step step{milliseconds(clock), 0, 0};
    // What was posted while a step held the thread is served now, and waited that long.
    QCoreApplication::processEvents();
    input.stop();
    step.inputWaitP99Ms = input.percentileMs(0.99);
    step.inputWaitLongestMs = input.longestMs();
    return step;
}

void note(benchmark::State &state, const std::string &name, const Step &step)
{
    state.counters[name + "_ms"] = step.ms;
    state.counters[name + "_input_p99_ms"] = step.inputWaitP99Ms;
    state.counters[name + "_input_longest_ms"] = step.inputWaitLongestMs;
}

void press(SamGrid *grid, int cell)
{
    const QPointF at = grid->toPixels(grid->geometryTwips().cellRect(cell)).center();
    QMouseEvent down(QEvent::MouseButtonPress, at, grid->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
    QApplication::sendEvent(grid, &down);
    QMouseEvent up(QEvent::MouseButtonRelease, at, grid->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, {});
    QApplication::sendEvent(grid, &up);
}

void BM_ResultOfSet(benchmark::State &state)
{
    const QString first = qEnvironmentVariable("LUMO_BIG_GROUPS");
    if (first.isEmpty())
        return state.SkipWithError("LUMO_BIG_GROUPS names no catalogue set");
    for (auto _ : state) {
        MainWindow main(first);
        const int entries = main.list()->model()->rowCount();
        state.counters["entries"] = entries;
        main.window.findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(10);
        QElapsedTimer clock;
        clock.start();
        main.run("mnuJ2");
        state.counters["run_s"] = milliseconds(clock) / 1000;
        SamGrid *grid = main.grid();
        frmSam *sam = frmSam::loaded();
        if (!grid || sam->groups().empty())
            return state.SkipWithError("the run found no group");
        state.counters["groups"] = double(sam->groups().size());
        state.counters["cells"] = grid->placedCount();
        serveUntil([grid] { return screenDecoded(grid); }, 10000);
        state.counters["resident_MiB"] = statusMiB("VmRSS:");

        // The last row and back, as a drag of the scroll bar's thumb does.
        auto *slider = sam->findChild<QSlider *>(QStringLiteral("sldList"));
        const auto scrollTo = [&](int value) {
            return timedStep([&] { slider->setValue(value); },
                             [&] { return slider->value() == value && screenDecoded(grid); }, 10000);
        };
        const std::optional<Step> toEnd = scrollTo(slider->maximum());
        const std::optional<Step> toStart = scrollTo(slider->minimum());
        if (!toEnd || !toStart)
            return state.SkipWithError("a screen was not drawn within 10 s");
        note(state, "scroll_to_end", *toEnd);
        note(state, "scroll_to_start", *toStart);
        state.counters["rows"] = slider->maximum() - slider->minimum() + 1;

        // 比較 on the last group, then back through the groups before it.
        slider->setValue(slider->maximum());
        serveUntil([grid] { return screenDecoded(grid); }, 10000);
        press(grid, grid->placedCount() - 1);
        const std::optional<Step> compare = timedStep(
            [sam] { sam->findChild<QAction *>(QStringLiteral("mnuCompare"))->trigger(); },
            [] { return frmCompare::loaded() && frmCompare::loaded()->isPictureShown(0); }, 60000);
        if (!compare || frmCompare::loaded()->group() != int(sam->groups().size()) - 1)
            return state.SkipWithError("比較 did not show the last group");
        note(state, "compare_open", *compare);
        Step slowest;
        for (int back = 0; back < 20; ++back) {
            frmCompare *window = frmCompare::loaded();
            const int group = window->group();
            const std::optional<Step> step = timedStep(
                [window] {
                    QKeyEvent key(QEvent::KeyPress, Qt::Key_PageUp, {});
                    QApplication::sendEvent(window, &key);
                },
                [window, group] { return window->group() == group - 1 && window->isPictureShown(0); }, 60000);
            if (!step)
                return state.SkipWithError("比較 did not show the group before");
            if (step->ms > slowest.ms)
                slowest = *step;
        }
        note(state, "compare_page_slowest", slowest);
        frmCompare::unload();

        // Every rule, from a clear selection: the facts of the groups' pictures are read
        // by the first and come from the window's cache for the others.
        static const char *const rules[] = {"best", "pixels", "size", "newest", "oldest", "base"};
        QItemSelectionModel *selection = main.list()->selectionModel();
        for (int i = 0; i < int(std::size(rules)); ++i) {
            selection->clearSelection();
            QAction *rule = sam->findChild<QAction *>(QStringLiteral("mnuS%1").arg(i));
            const std::optional<Step> step =
                timedStep([rule] { rule->trigger(); }, [sam] { return !sam->isApplyingRule(); }, 3600 * 1000);
            if (!step)
                return state.SkipWithError("a rule did not end within an hour");
            if (!selection->hasSelection())
                return state.SkipWithError("a rule selected nothing");
            note(state, std::string("rule_") + rules[i], *step);
        }
        // Counted by the selection's ranges: selectedRows() asks every range for every row.
        int marked = 0;
        for (const QItemSelectionRange &range : selection->selection())
            marked += range.height();
        state.counters["marked"] = marked;

        // The grid's 削除 of what the last rule marked, from the catalogue only.
        main.dialogs.answers << 7;
        const std::optional<Step> removed = timedStep(
            [sam] { sam->findChild<QAction *>(QStringLiteral("mnuF0"))->trigger(); },
            [&] { return main.list()->model()->rowCount() == entries - marked; }, 3600 * 1000);
        if (!removed)
            return state.SkipWithError("the marked pictures did not leave the list within an hour");
        note(state, "delete_marked", *removed);
        state.counters["peak_MiB"] = statusMiB("VmHWM:");
        state.SetIterationTime(milliseconds(clock) / 1000);
    }
}
BENCHMARK(BM_ResultOfSet)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv, g_dir);
}
