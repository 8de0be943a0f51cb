// The batch comparison beside the kernel as it was before its first stage, in the same run
// and on the same rows: every base against every later entry (the grouping's triangle),
// split between 2 threads. The two sides alternate, each iteration starting with the other;
// the counters give each side's min and median seconds and the ratio of each (previous /
// current: above 1 is faster). Thread CPU time, so other work on a shared machine counts
// less than in wall-clock time; wall-clock ratios are given too.
//   Random/LEVEL     32,767 random signatures (no pair alike, as in the largest catalogue)
//   Catalogue/LEVEL  the signatures of LUMO_BENCH_CATALOGUE (a .sbx file, e.g. of the
//                    pictures of make_scale_corpus.sh); skipped when it is not set.
//   ChosenAgainstMillion/LEVEL
//                    1,000 pictures outside a collection of 1,000,000 random signatures,
//                    their look-alikes found on 2 threads (wall-clock seconds, and the
//                    process's CPU seconds per thread, what 2 free cores would take).
#include "previous/previouskernel.h"

#include "catalogue/catalogue.h"
#include "search/chosengrouping.h"

#include <pixcore.h>
#include <signaturepack.h>

#include "benchfigures.h"

#include <benchmark/benchmark.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <time.h>
#include <vector>

namespace {

struct Signatures {
    std::vector<int16_t> values; // 192 per entry
    int count = 0;
};

const Signatures &randomSignatures()
{
    static const Signatures made = [] {
        Signatures s;
        s.count = 32767;
        std::mt19937 rng(1);
        s.values.resize(static_cast<size_t>(s.count) * pixcore::SignatureValues);
        for (int16_t &v : s.values)
            v = static_cast<int16_t>(rng() % 256);
        return s;
    }();
    return made;
}

const Signatures &catalogueSignatures()
{
    static const Signatures read = [] {
        Signatures s;
        const char *path = std::getenv("LUMO_BENCH_CATALOGUE");
        SignatureTable table;
        if (!path || loadCatalogue(QString::fromLocal8Bit(path), table).failed())
            return s;
        for (const Signature &cells : table.allCells())
            s.values.insert(s.values.end(), cells.begin(), cells.end());
        s.count = static_cast<int>(table.allCells().size());
        return s;
    }();
    return read;
}

double threadSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Timing {
    double cpu = 0;  // summed over the threads
    double wall = 0;
    long found = 0;
};

// Rows handed out one at a time to 2 threads; `row(base, hits)` returns the row's hits.
template <typename Row>
Timing triangle(int count, const Row &row)
{
    std::atomic<int> next{0};
    std::atomic<long> found{0};
    std::atomic<long> nanos{0};
    auto work = [&] {
        const double start = threadSeconds();
        std::vector<int32_t> hits(count);
        long mine = 0;
        for (int base = next++; base < count; base = next++)
            mine += row(base, hits.data());
        found += mine;
        nanos += static_cast<long>((threadSeconds() - start) * 1e9);
    };
    const auto wallStart = std::chrono::steady_clock::now();
    std::thread helper(work);
    work();
    helper.join();
    Timing t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    t.cpu = double(nanos) / 1e9;
    t.found = found;
    return t;
}

void againstPrevious(benchmark::State &state, const Signatures &s)
{
    if (s.count < 2) {
        state.SkipWithError("no catalogue: set LUMO_BENCH_CATALOGUE to a .sbx file");
        return;
    }
    const int level = static_cast<int>(state.range(0));
    pixcore::SignaturePack pack;
    pack.assign(s.values.data(), s.count);
    const previous::Pack before(s.values.data(), s.count);
    const bool avx512 = __builtin_cpu_supports("avx512bw");
    const int n = s.count;
    std::vector<double> now, then, nowWall, thenWall;
    bool first = true;
    for (auto _ : state) {
        auto current = [&] {
            return triangle(n, [&](int base, int32_t *hits) { return pack.findWithinLevel(base, base + 1, n, level, hits); });
        };
        auto earlier = [&] {
            return triangle(n, [&](int base, int32_t *hits) {
                return before.findWithinLevel(avx512, base, base + 1, n, level, hits);
            });
        };
        Timing a, b;
        if (first) {
            a = current();
            b = earlier();
        } else {
            b = earlier();
            a = current();
        }
        first = !first;
        if (a.found != b.found) {
            state.SkipWithError("the two kernels disagree");
            return;
        }
        now.push_back(a.cpu);
        then.push_back(b.cpu);
        nowWall.push_back(a.wall);
        thenWall.push_back(b.wall);
        state.SetIterationTime(a.wall);
        state.counters["pairs_found"] = double(a.found);
    }
    state.counters["now_min_s"] = minimum(now);
    state.counters["now_median_s"] = median(now);
    state.counters["before_min_s"] = minimum(then);
    state.counters["before_median_s"] = median(then);
    state.counters["ratio_min"] = minimum(then) / minimum(now);
    state.counters["ratio_median"] = median(then) / median(now);
    state.counters["wall_ratio_median"] = median(thenWall) / median(nowWall);
    state.counters["pairs/s_now"] = double(n) * (n - 1) / 2 / minimum(now);
    state.SetLabel(pixcore::batchIsaName(pixcore::availableBatchIsas().back()));
}

void BM_Random(benchmark::State &state)
{
    againstPrevious(state, randomSignatures());
}

void BM_Catalogue(benchmark::State &state)
{
    againstPrevious(state, catalogueSignatures());
}

void BM_ChosenAgainstMillion(benchmark::State &state)
{
    static const std::shared_ptr<const SimilarCells> cells = [] {
        auto made = std::make_shared<SimilarCells>(SimilarRule{});
        std::mt19937 rng(3);
        std::vector<Signature> run(4096);
        made->reserve(1000000);
        for (int done = 0; done < 1000000; done += static_cast<int>(run.size())) {
            for (Signature &s : run)
                for (int16_t &v : s)
                    v = static_cast<int16_t>(rng() % 256);
            made->append(run.data(), std::min<int>(run.size(), 1000000 - done));
        }
        return made;
    }();
    std::mt19937 rng(5);
    std::vector<Signature> chosen(1000);
    for (Signature &s : chosen)
        for (int16_t &v : s)
            v = static_cast<int16_t>(rng() % 256);
    std::vector<double> times, cpu;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = processSeconds();
        benchmark::DoNotOptimize(findSimilarToPictures(cells, {}, chosen, static_cast<int>(state.range(0)), 2));
        cpu.push_back((processSeconds() - cpuStart) / 2);
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        state.SetIterationTime(times.back());
    }
    state.counters["min_s"] = minimum(times);
    state.counters["median_s"] = median(times);
    // The wall-clock time the 2 threads would take on 2 free cores: on a shared machine the
    // wall clock counts the others' work too.
    state.counters["cpu_per_thread_min_s"] = minimum(cpu);
    state.counters["cpu_per_thread_median_s"] = median(cpu);
}

BENCHMARK(BM_ChosenAgainstMillion)->Arg(10)->Arg(50)->Iterations(3)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Random)->Arg(10)->Arg(20)->Arg(50)->Iterations(5)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_Catalogue)->Arg(10)->Arg(20)->Arg(50)->Iterations(5)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace
