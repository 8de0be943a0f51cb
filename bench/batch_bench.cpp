// The batch comparison's throughput in pairs per second on one core, each figure beside a
// reference timed on the same rows in the same run, and the ratio:
//  - the bare AVX2 loop of bareloop.h (a selection network, no early exit);
//  - the sorting definition (GetCheckValuePX: 64 distances sorted, element 53 minus 6).
// Signatures are random, so no pair is similar, as in a catalogue without duplicates.
#include "bareloop.h"

#include <pixcore.h>
#include <signaturepack.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <map>
#include <random>
#include <string>
#include <time.h>
#include <vector>

namespace {

using Sig = std::array<int16_t, pixcore::SignatureValues>;

// The time this thread has run: other work on the machine does not count against a figure.
struct Clock {
    using duration = std::chrono::nanoseconds;
    static duration now()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
    }
};

struct Catalogue {
    std::vector<Sig> sigs;
    pixcore::SignaturePack pack;
    bareloop::ReferencePack reference;
    explicit Catalogue(std::vector<Sig> s)
        : sigs(std::move(s)), reference(sigs.front().data(), static_cast<int>(sigs.size()))
    {
        pack.assign(sigs.front().data(), static_cast<int32_t>(sigs.size()));
    }
};

const Catalogue &catalogue(int n)
{
    static std::map<int, Catalogue> made;
    auto it = made.find(n);
    if (it == made.end()) {
        std::mt19937 rng(1);
        std::uniform_int_distribution<int> v(0, 255);
        std::vector<Sig> sigs(n);
        for (auto &s : sigs)
            for (auto &x : s)
                x = static_cast<int16_t>(v(rng));
        it = made.emplace(n, Catalogue(std::move(sigs))).first;
    }
    return it->second;
}

bool available(pixcore::BatchIsa isa)
{
    const auto isas = pixcore::availableBatchIsas();
    return std::find(isas.begin(), isas.end(), isa) != isas.end();
}

double seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Arguments: catalogue size, instruction set. Each iteration times `batchRows` rows (a base
// against every entry) with the batch, then the first of them with `reference`, which
// writes its hits and returns how many; the two must agree. A slow reference gets fewer
// rows, so that its pass does not leave the batch mostly cold caches to start from.
template <typename Reference>
void againstReference(benchmark::State &state, const char *referenceName, int batchRows, Reference reference)
{
    const auto isa = static_cast<pixcore::BatchIsa>(state.range(1));
    if (!available(isa)) {
        state.SkipWithError("instruction set not available");
        return;
    }
    const Catalogue &cat = catalogue(static_cast<int>(state.range(0)));
    const int n = cat.pack.count();
    std::vector<int32_t> hits(n), moreHits(n), referenceHits(n);
    Clock::duration batchTime{}, referenceTime{};
    int base = 0;
    for (auto _ : state) {
        base = (base + 7919) % n;
        const auto t0 = Clock::now();
        const int found = cat.pack.findWithinLevel(isa, base, 0, n, 50, hits.data());
        for (int row = 1; row < batchRows; ++row)
            benchmark::DoNotOptimize(cat.pack.findWithinLevel(isa, (base + row) % n, 0, n, 50, moreHits.data()));
        const auto t1 = Clock::now();
        const int referenceFound = reference(cat, base, referenceHits.data());
        const auto t2 = Clock::now();
        batchTime += t1 - t0;
        referenceTime += t2 - t1;
        if (found != referenceFound || !std::equal(hits.begin(), hits.begin() + found, referenceHits.begin())) {
            state.SkipWithError("the batch and its reference disagree");
            return;
        }
    }
    const double pairs = static_cast<double>(n) * state.iterations();
    state.counters["batch_pairs/s"] = pairs * batchRows / seconds(batchTime);
    state.counters[std::string(referenceName) + "_pairs/s"] = pairs / seconds(referenceTime);
    state.counters["ratio"] = seconds(referenceTime) * batchRows / seconds(batchTime);
    state.SetLabel(pixcore::batchIsaName(isa));
}

void BM_BatchAgainstBareLoop(benchmark::State &state)
{
    if (!__builtin_cpu_supports("avx2")) {
        state.SkipWithError("the bare loop needs AVX2");
        return;
    }
    againstReference(state, "bare", 1, [](const Catalogue &cat, int base, int32_t *hits) {
        return bareloop::referenceRow(cat.reference, base, 0, cat.pack.count(), 50, hits);
    });
}

void BM_BatchAgainstSorting(benchmark::State &state)
{
    PixcoreInitialize(64, 64, 8, 8);
    againstReference(state, "sorting", 32, [](const Catalogue &cat, int base, int32_t *hits) {
        int found = 0;
        for (int j = 0; j < cat.pack.count(); ++j) {
            if (GetCheckValuePX(cat.sigs[base].data(), cat.sigs[j].data()) <= 50)
                hits[found++] = j;
        }
        return found;
    });
    PixcoreTerminate();
}

constexpr int64_t Isas[] = {static_cast<int64_t>(pixcore::BatchIsa::Portable), static_cast<int64_t>(pixcore::BatchIsa::Sse2),
                            static_cast<int64_t>(pixcore::BatchIsa::Avx2), static_cast<int64_t>(pixcore::BatchIsa::Avx512bw)};

void everyIsa(benchmark::internal::Benchmark *b, std::initializer_list<int64_t> sizes)
{
    for (int64_t n : sizes)
        for (int64_t isa : Isas)
            b->Args({n, isa});
}

// 4,096 entries fit in a core's cache; 32,767 is the largest catalogue.
BENCHMARK(BM_BatchAgainstBareLoop)->Apply([](auto *b) { everyIsa(b, {4096, 32767}); })->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BatchAgainstSorting)->Apply([](auto *b) { everyIsa(b, {4096}); })->Unit(benchmark::kMillisecond);

} // namespace
