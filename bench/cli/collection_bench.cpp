// A collection of several catalogues, as `lumo-cli similar a.sbx b.sbx ...` searches it:
// 100,000 random signatures in 4 catalogues and 200,000 in 7 (no two alike, so every pair is
// compared), all cores.
//   CollectionSearch   reading the catalogues into one collection (load_s), then the search's
//                      rows of the first bases against every later picture beside the bare
//                      AVX2 loop (bareloop.h) on the same pairs in the same run (ratio), the
//                      pair rate and what it makes of a million pictures (million_h);
//                      peak_MiB is lumo-cli's own peak resident memory on the same files,
//                      read once its search runs, against 2 x the packed signatures + 64 MiB.
// The whole search of 200,000 pictures is 2e10 pairs, far more than a benchmark can wait
// for; the rows of a slice of bases make the same comparisons on the same pack.
//   MillionRowsTogether  rows of a million pictures, base by base against 8 bases together.
// Wall-clock times: the figures hold only on a machine that is otherwise idle.

#include "../bareloop.h"
#include "randomsignatures.h"

#include "catalogue/catalogue.h"
#include "catalogue/picturecollection.h"
#include "search/similargrouping.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <thread>
#include <vector>

namespace {

QTemporaryDir *g_dir = nullptr;

// The catalogues of `pictures` random signatures in `parts` files, and all the signatures.
struct Collection {
    QStringList files;
    std::vector<Signature> cells;
};

const Collection &collection(int pictures, int parts)
{
    static std::map<std::pair<int, int>, Collection> made;
    Collection &c = made[{pictures, parts}];
    if (!c.files.isEmpty())
        return c;
    c.cells.reserve(pictures);
    for (int k = 0, first = 0; k < parts; ++k) {
        const int count = pictures / parts + (k < pictures % parts ? 1 : 0);
        const SignatureTable table = randomSignatureTable(count, 1000 + k, first);
        c.files << g_dir->filePath(QStringLiteral("c%1_%2_%3.sbx").arg(pictures).arg(parts).arg(k));
        if (saveCatalogue(c.files.last(), table).failed())
            return made[{0, 0}];
        c.cells.insert(c.cells.end(), table.allCells().begin(), table.allCells().begin() + count);
        first += count;
    }
    return c;
}

double seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

// Calls work(i) for i in 0 .. count - 1 on `threads` threads, handed out one at a time.
template <typename Work>
void spread(int count, int threads, const Work &work)
{
    std::atomic<int> next{0};
    auto drain = [&] {
        for (int i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(drain);
    drain();
    for (std::thread &helper : helpers)
        helper.join();
}

// lumo-cli's peak resident memory (VmHWM, KiB) while it searches the files: read every
// 100 ms for `watchMs`, then the search is stopped. -1 when it ended early (it must not).
long lumoCliPeakKiB(const QStringList &files, int watchMs)
{
    QProcess cli;
    cli.setStandardOutputFile(QProcess::nullDevice());
    cli.start(QStringLiteral(LUMO_CLI), QStringList{QStringLiteral("similar"), QStringLiteral("--level"),
                                                    QStringLiteral("50")} + files);
    if (!cli.waitForStarted())
        return -1;
    long peak = -1;
    for (int waited = 0; waited < watchMs && !cli.waitForFinished(100); waited += 100) {
        QFile status(QStringLiteral("/proc/%1/status").arg(cli.processId()));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peak = line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    const bool endedEarly = cli.state() == QProcess::NotRunning;
    cli.kill();
    cli.waitForFinished();
    return endedEarly ? -1 : peak;
}

void BM_CollectionSearch(benchmark::State &state)
{
    if (!__builtin_cpu_supports("avx2"))
        return state.SkipWithError("the bare loop needs AVX2");
    const int pictures = static_cast<int>(state.range(0));
    const int parts = static_cast<int>(state.range(1));
    const int bases = static_cast<int>(state.range(2));
    const Collection &c = collection(pictures, parts);
    if (c.files.isEmpty())
        return state.SkipWithError("cannot write the catalogues");
    const bareloop::ReferencePack pack(c.cells.front().data(), pictures);
    const int threads = QThread::idealThreadCount();
    const double pairs = double(bases) * (pictures - 1) - double(bases) * (bases - 1) / 2;
    double load = 0, search = 0, bare = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        PictureCollection all(std::make_shared<SimilarCells>(SimilarRule{}));
        all.reserveFor(c.files);
        for (const QString &file : c.files) {
            if (all.addCatalogue(file).damaged())
                return state.SkipWithError("cannot read the catalogues");
        }
        load += seconds(clock);

        SimilarSearch grouping(all.cells(), all.unnamed(), 50);
        const SimilarSearch::Block block = grouping.cut(bases);
        std::atomic<long> found{0};
        clock.restart();
        spread(bases, threads, [&](int i) { found += static_cast<long>(block.row(i).size()); });
        search += seconds(clock);

        clock.restart();
        spread(bases, threads, [&](int i) {
            thread_local std::vector<int32_t> hits;
            hits.resize(pictures);
            found += bareloop::referenceRow(pack, i, i + 1, pictures, 50, hits.data());
        });
        bare += seconds(clock);
        if (found != 0)
            return state.SkipWithError("the signatures were not far apart");
        state.SetIterationTime(search);
    }
    const double n = state.iterations();
    const long peak = lumoCliPeakKiB(c.files, 4000);
    const double packedMiB = pictures * 192.0 / (1 << 20);
    state.counters["load_s"] = load / n;
    state.counters["search_s"] = search / n;
    state.counters["bare_loop_s"] = bare / n;
    state.counters["ratio"] = search / bare;
    state.counters["pairs_per_s"] = pairs * n / search;
    state.counters["million_h"] = 1e6 * (1e6 - 1) / 2 / (pairs * n / search) / 3600;
    state.counters["peak_MiB"] = peak / 1024.0;
    state.counters["limit_MiB"] = 2 * packedMiB + 64;
    state.counters["threads"] = threads;
}
// Pictures, catalogues, bases searched.
BENCHMARK(BM_CollectionSearch)->Args({100000, 4, 1200})->Args({200000, 7, 600})
    ->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// A million random signatures, packed as a search packs them, made once.
std::shared_ptr<const SimilarCells> millionCells()
{
    static std::shared_ptr<const SimilarCells> made = [] {
        auto cells = std::make_shared<SimilarCells>(SimilarRule{});
        constexpr int Pictures = 1000000;
        constexpr int Run = 10000;
        if (!cells->reserve(Pictures))
            return std::shared_ptr<SimilarCells>();
        std::mt19937 random(7);
        std::vector<Signature> run(Run);
        for (int done = 0; done < Pictures; done += Run) {
            for (Signature &signature : run) {
                for (int16_t &value : signature)
                    value = static_cast<int16_t>(random() % 256);
            }
            cells->append(run.data(), Run);
        }
        return cells;
    }();
    return made;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The first bases of a million pictures at level 10, on all cores: each base's row on its
// own (the pack streamed from memory once a base) against 8 bases' rows together (once for
// the 8), alternating. ratio_min / ratio_median: together over alone; million_min: the whole
// search at the rate of rows together.
void BM_MillionRowsTogether(benchmark::State &state)
{
    const std::shared_ptr<const SimilarCells> cells = millionCells();
    if (!cells)
        return state.SkipWithError("out of memory");
    const int bases = static_cast<int>(state.range(0));
    constexpr int Together = 8;
    const int threads = QThread::idealThreadCount();
    const int pictures = cells->count();
    const double pairs = double(bases) * (pictures - 1) - double(bases) * (bases - 1) / 2;
    std::vector<double> alone, together, ratios;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            SimilarSearch grouping(cells, {}, 10);
            const SimilarSearch::Block block = grouping.cut(bases);
            std::vector<std::vector<int>> rows(bases);
            QElapsedTimer clock;
            clock.start();
            spread(bases, threads, [&](int i) { rows[i] = block.row(i); });
            alone.push_back(seconds(clock));
            clock.restart();
            spread((bases + Together - 1) / Together, threads, [&](int p) {
                block.rows(p * Together, std::min((p + 1) * Together, bases), &rows[p * Together]);
            });
            together.push_back(seconds(clock));
            ratios.push_back(alone.back() / together.back());
        }
        state.SetIterationTime(median(together));
    }
    state.counters["alone_s_min"] = *std::min_element(alone.begin(), alone.end());
    state.counters["together_s_min"] = *std::min_element(together.begin(), together.end());
    state.counters["ratio_min"] = *std::min_element(ratios.begin(), ratios.end());
    state.counters["ratio_median"] = median(ratios);
    state.counters["pairs_per_s"] = pairs / median(together);
    state.counters["million_min"] = 1e6 * (1e6 - 1) / 2 / (pairs / median(together)) / 60;
    state.counters["threads"] = threads;
}
BENCHMARK(BM_MillionRowsTogether)->Arg(256)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
