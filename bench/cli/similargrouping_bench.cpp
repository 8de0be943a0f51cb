#include "randomsignatures.h"

#include <similargrouping.h>

#include <QThread>

#include <benchmark/benchmark.h>

namespace {

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

} // namespace
