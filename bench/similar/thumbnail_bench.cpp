// Thumbnails of the 2,000-picture scale corpus at the default cell size: how many the
// cache makes per second, with one decode at a time and with one per processor thread,
// against decoding each picture whole and shrinking it; and how long after want() the
// first 60 wanted (about one screen of six columns) are ready; and that scrolling a list
// twice the size of the default capacity holds the resident size flat.
//
//   ../shared/tools/make_scale_corpus.sh 2000 /work/data/scale2000
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_thumbnails
//   build/bin/bench_thumbnails        (LUMO_SCALE_DIR names another folder)

#include "thumbnailbench.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QThread>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

QStringList g_paths;

qint64 cellBytes()
{
    return qint64(ThumbnailCache::DefaultCellSize.width()) * ThumbnailCache::DefaultCellSize.height() * 4;
}

void BM_ThumbnailsPerSecond(benchmark::State &state)
{
    if (g_paths.isEmpty())
        return state.SkipWithError("no pictures: make the scale corpus first");
    int failed = 0;
    for (auto _ : state) {
        ThumbnailCache cache;
        cache.setMaxDecodes(int(state.range(0)));
        cache.setCapacity(cellBytes() * g_paths.size()); // room for all: only decoding counts
        int done = 0;
        failed = 0;
        QObject::connect(&cache, &ThumbnailCache::ready, [&](const QString &, bool ok) {
            ++done;
            failed += !ok;
        });
        cache.want(g_paths);
        if (!serveUntil(cache, [&] { return done == g_paths.size(); }))
            state.SkipWithError("not every thumbnail arrived within a minute");
    }
    state.SetItemsProcessed(state.iterations() * g_paths.size());
    state.counters["thumbnails_per_s"] =
        benchmark::Counter(double(state.iterations() * g_paths.size()), benchmark::Counter::kIsRate);
    state.counters["failed"] = failed;
}
BENCHMARK(BM_ThumbnailsPerSecond)
    ->Arg(1)->Arg(QThread::idealThreadCount())
    ->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// What decoding without scaling would cost: the whole picture, then shrunk to the cell.
void BM_WholeDecodeThenShrink(benchmark::State &state)
{
    if (g_paths.isEmpty())
        return state.SkipWithError("no pictures: make the scale corpus first");
    const QStringList some = g_paths.mid(0, 200);
    for (auto _ : state) {
        for (const QString &path : some) {
            QImageReader reader(path);
            reader.setAutoTransform(true);
            benchmark::DoNotOptimize(reader.read().scaled(ThumbnailCache::DefaultCellSize, Qt::IgnoreAspectRatio,
                                                          Qt::SmoothTransformation));
        }
    }
    state.counters["thumbnails_per_s"] =
        benchmark::Counter(double(state.iterations() * some.size()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WholeDecodeThenShrink)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

// From want() of the whole corpus, first 60 first, with the default capacity, until those
// 60 are ready; then how long destroying the cache with decodes running blocks.
void BM_FirstScreen(benchmark::State &state)
{
    if (g_paths.size() < 60)
        return state.SkipWithError("fewer than 60 pictures: make the scale corpus first");
    const QStringList screen = g_paths.mid(0, 60);
    double slowestDestroy = 0;
    for (auto _ : state) {
        auto *cache = new ThumbnailCache;
        QElapsedTimer clock;
        clock.start();
        cache->want(g_paths);
        const bool shown = serveUntil(*cache, [&] { return allArrived(*cache, screen); });
        state.SetIterationTime(double(clock.nsecsElapsed()) / 1e9);
        if (!shown)
            state.SkipWithError("the first screen did not arrive within a minute");
        clock.restart();
        delete cache;
        slowestDestroy = std::max(slowestDestroy, double(clock.nsecsElapsed()) / 1e6);
    }
    state.counters["slowest_destroy_ms"] = slowestDestroy;
}
BENCHMARK(BM_FirstScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// Resident size of the process now, from /proc.
double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024 * 1024) : 0;
}

// 4,000 distinct paths (links to the corpus, twice over), scrolled a screen of 60 at a
// time with the default capacity: the wish is the visible screen and the three after it.
void BM_ScrollTwiceTheCapacity(benchmark::State &state)
{
    if (g_paths.isEmpty())
        return state.SkipWithError("no pictures: make the scale corpus first");
    QTemporaryDir links;
    QStringList paths;
    for (int i = 0; i < 4000; ++i) {
        paths.append(links.filePath(QStringLiteral("%1.jpg").arg(i, 4, 10, QLatin1Char('0'))));
        QFile::link(g_paths[i % g_paths.size()], paths.last());
    }
    const double before = residentMiB();
    double most = before;
    for (auto _ : state) {
        ThumbnailCache cache;
        for (int top = 0; top < paths.size(); top += 60) {
            const QStringList screen = paths.mid(top, 60);
            cache.want(paths.mid(top, 240));
            serveUntil(cache, [&] { return allArrived(cache, screen); });
            most = std::max(most, residentMiB());
        }
    }
    state.SetItemsProcessed(state.iterations() * paths.size());
    state.counters["resident_before_MiB"] = before;
    state.counters["resident_most_MiB"] = most;
}
BENCHMARK(BM_ScrollTwiceTheCapacity)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    g_paths = scaleCorpus();
    // Decoding is what is measured here: no shared thumbnail of the user's may stand in.
    QTemporaryDir emptyCache;
    useCacheHome(emptyCache.path());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
