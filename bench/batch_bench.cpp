// The batch comparison's throughput in pairs per second on one core, each figure beside a
// reference timed on the same rows in the same run, and the ratio:
//  - a bare AVX2 loop carried here: 16 candidates per register, distances by channel, a
//    selection network for the ranks 7 and 54 of the 64 distances (Batcher's odd-even
//    merge sort, cut to the comparators those two ranks need), no early exit;
//  - the sorting definition (GetCheckValuePX: 64 distances sorted, element 53 minus 6).
// Signatures are random, so no pair is similar, as in a catalogue without duplicates.
#include <pixcore.h>
#include <signaturepack.h>

#include <benchmark/benchmark.h>

#include <immintrin.h>

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

#define REFERENCE_AVX2 __attribute__((target("avx2")))

// The reference's own packed copy: 16 entries per block, value v of entry k at 16 v + k.
struct ReferencePack {
    static constexpr int Entries = 16;
    static constexpr int BlockBytes = pixcore::SignatureValues * Entries;
    struct alignas(64) Line {
        uint8_t bytes[64];
    };
    std::vector<Line> blocks;
    int count = 0;

    explicit ReferencePack(const std::vector<Sig> &sigs) : count(static_cast<int>(sigs.size()))
    {
        blocks.resize((sigs.size() + Entries - 1) / Entries * BlockBytes / sizeof(Line));
        auto *bytes = reinterpret_cast<uint8_t *>(blocks.data());
        for (size_t j = 0; j < sigs.size(); ++j) {
            for (int v = 0; v < pixcore::SignatureValues; ++v)
                bytes[j / Entries * BlockBytes + Entries * v + j % Entries] = static_cast<uint8_t>(sigs[j][v]);
        }
    }
};

// Batcher's odd-even merge sort of 64 values: 543 comparators. The compiler drops those
// whose outputs never reach ranks 6 and 53 (the rest is about 440).
constexpr int SortComparators = 543;
constexpr std::array<std::array<int8_t, 2>, SortComparators> batcherPairs()
{
    std::array<std::array<int8_t, 2>, SortComparators> pairs{};
    int n = 0;
    for (int p = 1; p < 64; p *= 2) {
        for (int k = p; k >= 1; k /= 2) {
            for (int j = k % p; j <= 63 - k; j += 2 * k) {
                for (int i = 0; i <= std::min(k - 1, 63 - j - k); ++i) {
                    if ((i + j) / (2 * p) == (i + j + k) / (2 * p))
                        pairs[n++] = {static_cast<int8_t>(i + j), static_cast<int8_t>(i + j + k)};
                }
            }
        }
    }
    return pairs;
}
constexpr auto BatcherPairs = batcherPairs();

REFERENCE_AVX2 inline void compareSwap(__m256i &a, __m256i &b)
{
    const __m256i low = _mm256_min_epi16(a, b);
    b = _mm256_max_epi16(a, b);
    a = low;
}

// 16 pairs: which have element 53 minus element 6 of the sorted distances at most the level.
REFERENCE_AVX2 uint32_t referenceBlock(const uint8_t *block, const __m256i *base, __m256i level)
{
    __m256i d[64];
#pragma GCC unroll 64
    for (int c = 0; c < 64; ++c) {
        __m256i sum = _mm256_setzero_si256();
#pragma GCC unroll 3
        for (int k = 0; k < 3; ++k) {
            const __m256i v = _mm256_cvtepu8_epi16(
                _mm_load_si128(reinterpret_cast<const __m128i *>(block + 16 * (3 * c + k))));
            sum = _mm256_add_epi16(sum, _mm256_abs_epi16(_mm256_sub_epi16(v, base[3 * c + k])));
        }
        d[c] = sum;
    }
#pragma GCC unroll 543
    for (int p = 0; p < SortComparators; ++p)
        compareSwap(d[BatcherPairs[p][0]], d[BatcherPairs[p][1]]);
    const __m256i above = _mm256_cmpgt_epi16(_mm256_sub_epi16(d[53], d[6]), level);
    const uint32_t bytes = static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_packs_epi16(above, _mm256_setzero_si256())));
    return ~((bytes & 0xFFu) | ((bytes >> 8) & 0xFF00u)) & 0xFFFFu;
}

// Base `base` against entries first .. end - 1: the indexes within the level, ascending.
REFERENCE_AVX2 int referenceRow(const ReferencePack &pack, int base, int first, int end, int level, int32_t *hits)
{
    const auto *bytes = reinterpret_cast<const uint8_t *>(pack.blocks.data());
    __m256i baseValues[pixcore::SignatureValues];
    for (int v = 0; v < pixcore::SignatureValues; ++v)
        baseValues[v] = _mm256_set1_epi16(bytes[base / 16 * ReferencePack::BlockBytes + 16 * v + base % 16]);
    const __m256i limit = _mm256_set1_epi16(static_cast<int16_t>(level));
    int found = 0;
    for (int start = first - first % 16; start < end; start += 16) {
        uint32_t pass = referenceBlock(bytes + start / 16 * ReferencePack::BlockBytes, baseValues, limit);
        if (start < first)
            pass &= ~0u << (first - start);
        if (end - start < 16)
            pass &= (1u << (end - start)) - 1;
        for (; pass != 0; pass &= pass - 1)
            hits[found++] = start + __builtin_ctz(pass);
    }
    return found;
}

struct Catalogue {
    std::vector<Sig> sigs;
    pixcore::SignaturePack pack;
    ReferencePack reference;
    explicit Catalogue(std::vector<Sig> s) : sigs(std::move(s)), reference(sigs)
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
        return referenceRow(cat.reference, base, 0, cat.pack.count(), 50, hits);
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
