#include "pictures/primaryquality.h"

#include "pictures/picturefacts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// How far, in dequantised units, decoding and re-encoding move a value besides the second
// rounding: pixel rounding and the integer transforms.
constexpr double RoundingNoise = 1.0;
// A frequency needs this many non-zero values to tell anything.
constexpr quint64 LeastValues = 200;
// The empty values must be a real share of what a smooth histogram holds...
constexpr double LeastEmptyShare = 0.15;
constexpr double LeastEmptyValues = 30;
// ...and hold at most this share of it.
constexpr double MostFoundInEmpty = 0.35;
// What a value found where the grid leaves none costs against one expected there.
constexpr double FoundCost = 3;
// The first step's largest: quality 1 scales the standard table to 255 at most.
constexpr int LargestStep = 255;
// Frequencies that must agree on one quality, and their least share of those estimated.
constexpr int LeastAgreeing = 3;
constexpr int LeastQuality = 50;
constexpr double LeastAgreeingShare = 0.6;

// Whether a value `remainder` past a multiple of `first` can come from a multiple requantised
// at `step`: within half a step and the noise of the nearest multiple, in whole units.
bool reachable(int remainder, int step, int first)
{
    static_assert(RoundingNoise == 1.0, "the noise is counted in whole units");
    return 2 * std::min(remainder, first - remainder) <= step + 2;
}

// The transposed index of a natural-order position: a quarter turn swaps a block's axes.
int transposed(int natural)
{
    return natural % 8 * 8 + natural / 8;
}

} // namespace

int estimatePrimaryStep(const std::array<quint32, PrimaryHistograms::Values> &histogram, int step)
{
    if (step < 1)
        return 0;
    // The values that tell: non-zero, and below the bucket of all larger ones.
    int last = 0;
    quint64 total = 0;
    double sum = 0;
    for (int c = 1; c < PrimaryHistograms::Values - 1; ++c) {
        if (histogram[size_t(c)] == 0)
            continue;
        last = c;
        total += histogram[size_t(c)];
        sum += double(histogram[size_t(c)]) * c * step;
    }
    if (total < LeastValues)
        return 0;
    // A smooth histogram of the same spread: a Laplacian of the same mean.
    const double mean = sum / double(total);
    std::array<double, PrimaryHistograms::Values> smooth{};
    double smoothSum = 0;
    for (int c = 1; c <= last; ++c) {
        smooth[size_t(c)] = std::exp(-double(c) * step / mean);
        smoothSum += smooth[size_t(c)];
    }
    const double scale = double(total) / smoothSum;
    // What the smooth histogram holds from each value on, scaled: the most that the values
    // not yet visited can add to what is expected. A little over, for the rounding.
    std::array<double, PrimaryHistograms::Values + 1> after{};
    for (int c = last; c >= 1; --c)
        after[size_t(c)] = after[size_t(c) + 1] + smooth[size_t(c)];
    for (int c = 1; c <= last + 1; ++c)
        after[size_t(c)] = after[size_t(c)] * scale * (1 + 1e-9) + 1e-9;
    const double leastExpected = std::max(LeastEmptyValues, LeastEmptyShare * double(total));
    int best = 0;
    double bestScore = 0;
    for (int first = step + 1; first <= std::min(LargestStep, last * step); ++first) {
        double expected = 0; // what a smooth histogram puts where the grid leaves nothing
        double found = 0;    // what the picture holds there
        int remainder = 0;   // of c * step past a multiple of first
        bool hopeless = false;
        for (int c = 1; c <= last; ++c) {
            remainder += step;
            while (remainder >= first)
                remainder -= first;
            if (reachable(remainder, step, first))
                continue;
            expected += smooth[size_t(c)];
            found += double(histogram[size_t(c)]);
            // Most first steps are given away by the values found early: stop as soon as
            // even the rest all empty could not make this one count, or beat the best.
            const double most = expected * scale + after[size_t(c) + 1];
            if (most < leastExpected || found > MostFoundInEmpty * most || most - FoundCost * found <= bestScore) {
                hopeless = true;
                break;
            }
        }
        if (hopeless)
            continue;
        expected *= scale;
        if (expected < leastExpected || found > MostFoundInEmpty * expected)
            continue;
        // The most empty values for the least found there: a divisor of the first step
        // leaves fewer empty, a neighbour finds values on the first step's multiples.
        const double score = expected - FoundCost * found;
        if (score > bestScore) {
            bestScore = score;
            best = first;
        }
    }
    return best;
}

int estimatePrimaryQuality(const PrimaryHistograms &histograms, const std::array<int, 64> &steps, int quality)
{
    // A picture saved coarser than this holds no more than its own setting says, and its few
    // non-zero values tell too little.
    if (quality < LeastQuality)
        return 0;
    std::array<int, PrimaryHistograms::Frequencies> first{};
    int estimated = 0;
    for (int i = 0; i < PrimaryHistograms::Frequencies; ++i) {
        first[size_t(i)] = estimatePrimaryStep(histograms.counts[size_t(i)], steps[size_t(PrimaryHistograms::Natural[size_t(i)])]);
        estimated += first[size_t(i)] > 0;
    }
    if (estimated < LeastAgreeing)
        return 0;
    // The quality whose table agrees with most of the first steps, as it stands or turned;
    // among those, the nearest; among those, the highest (the least claimed loss).
    int bestQuality = 0;
    int bestAgreeing = 0;
    double bestError = 0;
    for (int q = std::min(quality, 100) - 1; q >= 1; --q) {
        const std::array<int, 64> table = standardLuminanceTable(q);
        for (const bool turned : {false, true}) {
            int agreeing = 0;
            double error = 0;
            for (int i = 0; i < PrimaryHistograms::Frequencies; ++i) {
                if (!first[size_t(i)])
                    continue;
                const int natural = PrimaryHistograms::Natural[size_t(i)];
                const int expected = table[size_t(turned ? transposed(natural) : natural)];
                const int difference = std::abs(expected - first[size_t(i)]);
                if (difference <= std::max(1, expected / 10)) {
                    ++agreeing;
                    error += double(difference) / expected;
                }
            }
            if (agreeing > bestAgreeing || (agreeing == bestAgreeing && agreeing > 0 && error < bestError)) {
                bestAgreeing = agreeing;
                bestError = error;
                bestQuality = q;
            }
        }
    }
    if (bestAgreeing < LeastAgreeing || bestAgreeing < LeastAgreeingShare * estimated)
        return 0;
    return std::clamp(bestQuality, 1, 99);
}
