// Check values per second: the C entry point (shared buffer) and the re-entrant form.
#include <pixcore.h>

#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <vector>

namespace {

std::vector<std::array<int16_t, pixcore::SignatureValues>> signatures(int n)
{
    std::mt19937 rng(1);
    std::uniform_int_distribution<int> v(0, 255);
    std::vector<std::array<int16_t, pixcore::SignatureValues>> out(n);
    for (auto &s : out)
        for (auto &x : s)
            x = static_cast<int16_t>(v(rng));
    return out;
}

template <typename Compare>
void runPairs(benchmark::State &state, Compare compare)
{
    const auto sigs = signatures(1024);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(compare(sigs[i & 1023].data(), sigs[(i * 7 + 1) & 1023].data()));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_GetCheckValuePX(benchmark::State &state)
{
    PixcoreInitialize(64, 64, 8, 8);
    runPairs(state, GetCheckValuePX);
    PixcoreTerminate();
}
BENCHMARK(BM_GetCheckValuePX);

void BM_checkValueReentrant(benchmark::State &state)
{
    runPairs(state, pixcore::checkValue);
}
BENCHMARK(BM_checkValueReentrant);

void BM_withinLevel50(benchmark::State &state)
{
    runPairs(state, [](const int16_t *a, const int16_t *b) { return pixcore::withinLevel(a, b, 50); });
}
BENCHMARK(BM_withinLevel50);

void BM_averageGrid(benchmark::State &state)
{
    std::vector<uint32_t> pixels(64 * 64, 0xFF336699);
    const PixcoreSurface surface{pixels.data(), 64, 64, 64};
    std::array<int16_t, pixcore::SignatureValues> sig{};
    for (auto _ : state) {
        pixcore::averageGrid(surface, sig.data());
        benchmark::DoNotOptimize(sig);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_averageGrid);

} // namespace
