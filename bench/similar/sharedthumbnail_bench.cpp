// Thumbnails of the 2,000-picture scale corpus when the shared thumbnail folder already
// holds a valid thumbnail of every picture, against decoding every picture, and against
// decoding them while writing their normal thumbnails (the first run with sharing on):
//   all/...     thumbnails per second on every processor thread, room for all of them;
//   screen/...  from want() of the whole corpus until its first 60 (one screen) are there;
//   pages/...   scrolled a screen of 60 at a time from the first row to the last, each at
//               once after the one before: the slowest screen, the mean, and how many took
//               more than 100 ms.
// Two cells: the default 80 x 107, for which the normal thumbnails of landscape pictures are
// too small and the large ones serve, and 80 x 60, which every normal thumbnail covers.
//
//   ../shared/tools/make_scale_corpus.sh 2000 /work/data/scale2000
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_sharedthumbnails
//   build/bin/bench_sharedthumbnails        (LUMO_SCALE_DIR names another folder)
//
// Every shared thumbnail lives in temporary folders of the run, never in the user's.

#include "thumbnailbench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

enum class Mode { Decode, Shared, DecodeAndWrite };

QStringList g_paths;
QString g_filled; // every picture's normal thumbnail as Lumo wrote it, and a large one
QString g_empty;

// A cache as the mode has it; a fresh empty folder (kept in fresh) for a run that writes.
std::unique_ptr<ThumbnailCache> cacheFor(Mode mode, QSize cell, std::unique_ptr<QTemporaryDir> &fresh)
{
    fresh.reset();
    if (mode == Mode::DecodeAndWrite) {
        fresh = std::make_unique<QTemporaryDir>();
        useCacheHome(fresh->path());
    } else {
        useCacheHome(mode == Mode::Shared ? g_filled : g_empty);
    }
    auto cache = std::make_unique<ThumbnailCache>();
    cache->setCellSize(cell);
    cache->setShareThumbnails(mode == Mode::DecodeAndWrite);
    return cache;
}

void allThumbnails(benchmark::State &state, Mode mode, QSize cell)
{
    double seconds = 0;
    qint64 made = 0;
    for (auto _ : state) {
        std::unique_ptr<QTemporaryDir> fresh;
        const auto cache = cacheFor(mode, cell, fresh);
        cache->setCapacity(qint64(cell.width()) * cell.height() * 4 * g_paths.size());
        QElapsedTimer clock;
        clock.start();
        cache->want(g_paths);
        if (!serveUntil(*cache, [&] { return allArrived(*cache, g_paths); }))
            state.SkipWithError("not every thumbnail arrived within a minute");
        const double elapsed = double(clock.nsecsElapsed()) / 1e9;
        state.SetIterationTime(elapsed);
        seconds += elapsed;
        made += g_paths.size();
    }
    state.counters["thumbnails_per_s"] = double(made) / seconds;
}

void firstScreen(benchmark::State &state, Mode mode, QSize cell)
{
    const QStringList screen = g_paths.mid(0, 60);
    for (auto _ : state) {
        std::unique_ptr<QTemporaryDir> fresh;
        const auto cache = cacheFor(mode, cell, fresh);
        QElapsedTimer clock;
        clock.start();
        cache->want(g_paths);
        if (!serveUntil(*cache, [&] { return allArrived(*cache, screen); }))
            state.SkipWithError("the first screen did not arrive within a minute");
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
    }
}

void pageByPage(benchmark::State &state, Mode mode, QSize cell)
{
    double slowest = 0, total = 0;
    int pages = 0, over = 0;
    for (auto _ : state) {
        std::unique_ptr<QTemporaryDir> fresh;
        const auto cache = cacheFor(mode, cell, fresh);
        QElapsedTimer run;
        run.start();
        for (qsizetype top = 0; top < g_paths.size(); top += 60) {
            const QStringList screen = g_paths.mid(top, 60);
            QElapsedTimer clock;
            clock.start();
            cache->want(g_paths.mid(top, 240)); // the screen and the three after it
            serveUntil(*cache, [&] { return allArrived(*cache, screen); });
            const double ms = double(clock.nsecsElapsed()) / 1e6;
            slowest = std::max(slowest, ms);
            total += ms;
            over += ms > 100;
            ++pages;
        }
        state.SetIterationTime(double(run.nsecsElapsed()) / 1e9);
    }
    state.counters["slowest_page_ms"] = slowest;
    state.counters["mean_page_ms"] = total / std::max(1, pages);
    state.counters["pages_over_100ms"] = over;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    g_paths = scaleCorpus();
    QTemporaryDir filled, empty;
    g_filled = filled.path();
    g_empty = empty.path();
    benchmark::Initialize(&argc, argv);
    if (g_paths.size() < 60 || !fillSharedThumbnails(g_filled, g_paths)) {
        fprintf(stderr, "no scale corpus: make it first (see the head of this file)\n");
        return 0; // the other benchmarks of a bench run still go on
    }

    using Run = void (*)(benchmark::State &, Mode, QSize);
    const struct { const char *name; Run run; int iterations; } kinds[] = {
        {"all", allThumbnails, 1}, {"screen", firstScreen, 5}, {"pages", pageByPage, 1}};
    const struct { const char *name; Mode mode; } modes[] = {
        {"decode", Mode::Decode}, {"shared", Mode::Shared}, {"decode+write", Mode::DecodeAndWrite}};
    for (const auto &kind : kinds) {
        for (const QSize cell : {ThumbnailCache::DefaultCellSize, QSize(80, 60)}) {
            for (const auto &mode : modes) {
                const std::string name = std::string(kind.name) + '/' + mode.name + '/'
                                         + std::to_string(cell.width()) + 'x' + std::to_string(cell.height());
                benchmark::RegisterBenchmark(name.c_str(), kind.run, mode.mode, cell)
                    ->Unit(benchmark::kMillisecond)
                    ->UseManualTime()
                    ->Iterations(kind.iterations);
            }
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
