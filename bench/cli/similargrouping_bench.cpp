// The grouping's speed on catalogues of random signatures (no two alike, so every pair is
// compared):
//   GroupingWithoutPairs       the grouping in this process, one thread and all cores;
//   LumoCliSimilarAgainstBareLoop
//                              `lumo-cli similar --level 50` on 32,767 entries, all cores,
//                              beside the bare AVX2 loop (bareloop.h) making the same
//                              536.8 M comparisons on as many threads in the same run;
//   LumoCliSimilarTurnedGrey   the same catalogue with --turned and with --grey, each beside
//                              the plain search timed in the same run;
//   LumoCliSimilarNotAlike     the same catalogue with 10,000 pairs of its pictures marked
//                              not alike, beside the search with none in the same run;
//   ReadNotAlike               reading a file of 10,000 pairs marked not alike;
//   SearchStart                a search's start over 1,000,000 entries, before its first
//                              comparison (what the thread that starts it spends).
// Wall-clock times: the figures hold only on a machine that is otherwise idle.

#include "../bareloop.h"
#include "randomsignatures.h"

#include "catalogue/catalogue.h"
#include "search/notalike.h"
#include "search/similargrouping.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

namespace {

QTemporaryDir *g_dir = nullptr;

// The whole grouping over N entries with no look-alikes: N(N-1)/2 comparisons.
void BM_GroupingWithoutPairs(benchmark::State &state)
{
    const SignatureTable table = randomSignatureTable(static_cast<int>(state.range(0)));
    const int threads = state.range(1) == 0 ? QThread::idealThreadCount() : static_cast<int>(state.range(1));
    for (auto _ : state)
        benchmark::DoNotOptimize(findSimilarGroups(table, 50, threads));
    const double pairs = state.range(0) * (state.range(0) - 1) / 2.0;
    state.counters["comparisons/s"] = benchmark::Counter(pairs, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["threads"] = threads;
}
// Second argument 0: all cores.
BENCHMARK(BM_GroupingWithoutPairs)->Args({2000, 1})->Args({2000, 0})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GroupingWithoutPairs)->Args({20000, 1})->Args({20000, 0})->Iterations(1)->Unit(benchmark::kSecond);

// What a search over a whole set does before its first comparison, on the thread that
// starts it (the window's): the signatures taken and packed, and the first block cut.
void BM_SearchStart(benchmark::State &state)
{
    const int count = static_cast<int>(state.range(0));
    SignatureTable table(SignatureTable::Unlimited);
    table.reserve(count);
    std::mt19937 random(1);
    for (int i = 0; i < count; ++i) {
        Signature cells;
        for (int16_t &value : cells)
            value = static_cast<int16_t>(random() % 256);
        table.append(QStringLiteral("/pictures/%1.jpg").arg(i), cells);
    }
    const SimilarRule rule{state.range(1) != 0, false};
    for (auto _ : state) {
        SimilarSearch search(table, 10, rule);
        benchmark::DoNotOptimize(search.cut(64).size());
    }
}
BENCHMARK(BM_SearchStart)->ArgNames({"entries", "turned"})->Args({1000000, 0})->Args({1000000, 1})->Iterations(3)->Unit(benchmark::kMillisecond);

double seconds(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e9;
}

// Every base against every later entry with the bare loop, rows handed out one at a time
// to `threads` threads; the number of pairs found.
long bareLoopSearch(const bareloop::ReferencePack &pack, int level, int threads)
{
    std::atomic<int> next{0};
    std::atomic<long> found{0};
    auto work = [&] {
        std::vector<int32_t> hits(pack.count);
        long mine = 0;
        for (int base = next++; base < pack.count; base = next++)
            mine += bareloop::referenceRow(pack, base, base + 1, pack.count, level, hits.data());
        found += mine;
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    return found;
}

// Seconds `lumo-cli similar` takes with `options` on the catalogue; negative when it failed
// or found a group.
double timeLumoCli(const QString &catalogue, const QStringList &options, const QString &dataHome = QString())
{
    QElapsedTimer clock;
    clock.start();
    QProcess cli;
    if (!dataHome.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        cli.setProcessEnvironment(environment);
    }
    cli.start(QStringLiteral(LUMO_CLI), QStringList{QStringLiteral("similar"), QStringLiteral("--level"),
                                                    QStringLiteral("50")} + options + QStringList{catalogue});
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0 || !cli.readAllStandardOutput().isEmpty())
        return -1;
    return seconds(clock);
}

// The largest catalogue of random signatures, written once; empty when it cannot be.
QString randomCatalogue(const SignatureTable &table)
{
    static const QString file = [&table] {
        const QString path = g_dir->filePath(QStringLiteral("random32767.sbx"));
        return saveCatalogue(path, table).failed() ? QString() : path;
    }();
    return file;
}

const SignatureTable &largestRandomTable()
{
    static const SignatureTable table = randomSignatureTable(SignatureTable::MaxEntries);
    return table;
}

void BM_LumoCliSimilarAgainstBareLoop(benchmark::State &state)
{
    if (!__builtin_cpu_supports("avx2"))
        return state.SkipWithError("the bare loop needs AVX2");
    const SignatureTable &table = largestRandomTable();
    const QString catalogue = randomCatalogue(table);
    if (catalogue.isEmpty())
        return state.SkipWithError("cannot write the catalogue");
    const bareloop::ReferencePack pack(table.allCells().front().data(), table.count());
    const int threads = QThread::idealThreadCount();
    double cli = 0, bare = 0;
    for (auto _ : state) {
        const double cliSeconds = timeLumoCli(catalogue, {});
        QElapsedTimer clock;
        clock.start();
        const long found = bareLoopSearch(pack, 50, threads);
        const double bareSeconds = seconds(clock);
        if (cliSeconds < 0 || found != 0)
            return state.SkipWithError("lumo-cli or the bare loop found a pair");
        state.SetIterationTime(cliSeconds);
        cli += cliSeconds;
        bare += bareSeconds;
    }
    state.counters["lumo_cli_s"] = cli / state.iterations();
    state.counters["bare_loop_s"] = bare / state.iterations();
    state.counters["ratio"] = cli / bare;
    state.counters["threads"] = threads;
}
BENCHMARK(BM_LumoCliSimilarAgainstBareLoop)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(2);

void BM_LumoCliSimilarTurnedGrey(benchmark::State &state)
{
    const QString catalogue = randomCatalogue(largestRandomTable());
    if (catalogue.isEmpty())
        return state.SkipWithError("cannot write the catalogue");
    double plain = 0, turned = 0, grey = 0;
    for (auto _ : state) {
        plain = timeLumoCli(catalogue, {});
        turned = timeLumoCli(catalogue, {QStringLiteral("--turned")});
        grey = timeLumoCli(catalogue, {QStringLiteral("--grey")});
        if (plain < 0 || turned < 0 || grey < 0)
            return state.SkipWithError("lumo-cli failed or found a group");
        state.SetIterationTime(turned);
    }
    state.counters["plain_s"] = plain;
    state.counters["turned_s"] = turned;
    state.counters["grey_s"] = grey;
    state.counters["turned_ratio"] = turned / plain;
    state.counters["grey_ratio"] = grey / plain;
}
BENCHMARK(BM_LumoCliSimilarTurnedGrey)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// 10,000 pairs of the table's pictures (0 and 1, 2 and 3, ...) marked not alike, in a data
// folder of their own; the folder.
QString notAlikeHome(const SignatureTable &table, const QString &folder = QStringLiteral("marked"))
{
    const QString home = g_dir->filePath(folder);
    NotAlikeDecisions decisions(home + QStringLiteral("/lumo/notalike"));
    for (int i = 0; i + 1 < 20000 && i + 1 < table.count(); i += 2)
        decisions.add(table.cells(i), table.name(i), table.cells(i + 1), table.name(i + 1), i);
    return decisions.save() ? home : QString();
}

void BM_LumoCliSimilarNotAlike(benchmark::State &state)
{
    const SignatureTable &table = largestRandomTable();
    const QString catalogue = randomCatalogue(table);
    const QString marked = notAlikeHome(table);
    if (catalogue.isEmpty() || marked.isEmpty())
        return state.SkipWithError("cannot write the catalogue or the decisions");
    double none = 0, withPairs = 0;
    for (auto _ : state) {
        const double plain = timeLumoCli(catalogue, {});
        const double kept = timeLumoCli(catalogue, {}, marked);
        if (plain < 0 || kept < 0)
            return state.SkipWithError("lumo-cli failed or found a group");
        state.SetIterationTime(kept);
        none += plain;
        withPairs += kept;
    }
    state.counters["none_s"] = none / state.iterations();
    state.counters["marked_s"] = withPairs / state.iterations();
    state.counters["ratio"] = withPairs / none;
}
BENCHMARK(BM_LumoCliSimilarNotAlike)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

void BM_ReadNotAlike(benchmark::State &state)
{
    const QString home = notAlikeHome(randomSignatureTable(20000, 7), QStringLiteral("read"));
    for (auto _ : state) {
        NotAlikeDecisions decisions(home + QStringLiteral("/lumo/notalike"));
        if (!decisions.load() || decisions.pairs().size() != 10000)
            return state.SkipWithError("the decisions do not read back");
        benchmark::DoNotOptimize(decisions.size());
    }
}
BENCHMARK(BM_ReadNotAlike)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    // The user's own pairs marked not alike never reach the figures.
    qputenv("XDG_DATA_HOME", dir.filePath(QStringLiteral("none")).toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
