// Signatures of 12 MP photos as HEIC against the same photos as JPEG, on a pool of two
// threads (lumo-cli add -j 2 on a two-core machine). The photos are made when the
// benchmark starts: LUMO_BENCH_PHOTOS of them (default 8; each 12 MP HEIC takes seconds
// to encode). HEIC files are written as phones write them, with a 320-pixel thumbnail,
// and once more without one, which forces a whole decode.
//   HeicWholeAgainstPrevious  the HEIC without a thumbnail read now and as it was read
//                    before its planes were averaged (bench/previous/previousheif.h), the
//                    two sides alternating in one run: each side's min and median seconds
//                    (wall clock, and the process's CPU seconds per thread), their ratios
//                    (now / before), and the peak memory of one picture read on one thread
//                    in a process of its own, each side (KiB over that process's start).
#include "heiffiles.h"
#include "photolike.h"
#include "pictures/picturesignature.h"
#include "previous/previousheif.h"

#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include "benchfigures.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

enum Kind { Jpeg, HeicWithThumbnail, HeicWhole };

// A 12 MP photo-like picture.
QImage photo(int seed)
{
    return photoLike(4000, 3000, seed);
}

const QStringList &photos(Kind kind)
{
    static QTemporaryDir dir;
    static QStringList made[3];
    if (made[0].isEmpty()) {
        const int count = qEnvironmentVariableIntValue("LUMO_BENCH_PHOTOS") > 0
            ? qEnvironmentVariableIntValue("LUMO_BENCH_PHOTOS") : 8;
        for (int i = 0; i < count; ++i) {
            const QImage picture = photo(i);
            const QString base = dir.filePath(QStringLiteral("p%1").arg(i));
            picture.save(base + QStringLiteral(".jpg"), "JPEG", 90);
            made[Jpeg] << base + QStringLiteral(".jpg");
            if (writeHeif(base + QStringLiteral("t.heic"), picture, heif_compression_HEVC, 1, 320, "ultrafast").isEmpty())
                made[HeicWithThumbnail] << base + QStringLiteral("t.heic");
            if (writeHeif(base + QStringLiteral(".heic"), picture, heif_compression_HEVC, 1, 0, "ultrafast").isEmpty())
                made[HeicWhole] << base + QStringLiteral(".heic");
        }
    }
    return made[kind];
}

void signatures(benchmark::State &state, Kind kind)
{
    const QStringList &paths = photos(kind);
    if (paths.isEmpty()) {
        state.SkipWithError("libheif cannot encode HEIC here");
        return;
    }
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    for (auto _ : state) {
        const QList<bool> read = QtConcurrent::blockingMapped(
            &pool, paths, [](const QString &path) { return computePictureSignature(path).has_value(); });
        if (read.contains(false))
            state.SkipWithError("a photo could not be read");
    }
    state.SetItemsProcessed(state.iterations() * paths.size());
}

void BM_Signatures12MP_Jpeg(benchmark::State &state) { signatures(state, Jpeg); }
void BM_Signatures12MP_HeicWithThumbnail(benchmark::State &state) { signatures(state, HeicWithThumbnail); }
void BM_Signatures12MP_HeicWhole(benchmark::State &state) { signatures(state, HeicWhole); }
bool readNow(const QString &path)
{
    return computePictureSignature(path).has_value();
}

bool readBefore(const QString &path)
{
    return previousHeifSignature(path).has_value();
}

// The resident memory one picture's read adds at its peak (KiB), measured in a process of
// its own (this program again, running only BM_HeicPeakOfOne); -1 when it could not be.
long peakKib(const QString &path, bool now)
{
    const QByteArray command = "LUMO_BENCH_PEAK_FILE='" + path.toLocal8Bit() + "' LUMO_BENCH_PEAK_NOW="
        + (now ? "1" : "0") + " /proc/" + QByteArray::number(getpid())
        + "/exe --benchmark_filter=HeicPeakOfOne 2>&1";
    FILE *child = popen(command.constData(), "r");
    if (!child)
        return -1;
    long added = -1;
    char line[512];
    while (std::fgets(line, sizeof line, child))
        std::sscanf(line, "peak_added_KiB %ld", &added);
    pclose(child);
    return added;
}

long residentKib()
{
    long pages = 0, resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Run by peakKib in a process of its own: one picture read on this thread.
void BM_HeicPeakOfOne(benchmark::State &state)
{
    const QString path = qEnvironmentVariable("LUMO_BENCH_PEAK_FILE");
    if (path.isEmpty()) {
        state.SkipWithError("run by HeicWholeAgainstPrevious");
        return;
    }
    const long before = residentKib();
    bool read = false;
    for (auto _ : state)
        read = qEnvironmentVariableIntValue("LUMO_BENCH_PEAK_NOW") ? readNow(path) : readBefore(path);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(stderr, "peak_added_KiB %ld\n", read ? usage.ru_maxrss - before : -1L);
}

void BM_HeicWholeAgainstPrevious(benchmark::State &state)
{
    const QStringList &paths = photos(HeicWhole);
    if (paths.isEmpty()) {
        state.SkipWithError("libheif cannot encode HEIC here");
        return;
    }
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    std::vector<double> wall[2], cpu[2];
    bool (*const sides[2])(const QString &) = {readBefore, readNow};
    int round = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const int side = (round + k) % 2;
            const auto start = std::chrono::steady_clock::now();
            const double cpuStart = processSeconds();
            const QList<bool> read = QtConcurrent::blockingMapped(&pool, paths, sides[side]);
            cpu[side].push_back((processSeconds() - cpuStart) / 2);
            wall[side].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (read.contains(false))
                state.SkipWithError("a photo could not be read");
        }
        ++round;
    }
    state.counters["before_min_s"] = minimum(wall[0]);
    state.counters["now_min_s"] = minimum(wall[1]);
    state.counters["ratio_min"] = minimum(wall[1]) / minimum(wall[0]);
    state.counters["ratio_median"] = median(wall[1]) / median(wall[0]);
    state.counters["cpu_ratio_min"] = minimum(cpu[1]) / minimum(cpu[0]);
    state.counters["cpu_ratio_median"] = median(cpu[1]) / median(cpu[0]);
    std::vector<double> peaks[2];
    for (int k = 0; k < 6; ++k)
        peaks[k % 2].push_back(double(peakKib(paths[k / 2 % paths.size()], k % 2 == 1)));
    state.counters["before_peak_KiB"] = median(peaks[0]);
    state.counters["now_peak_KiB"] = median(peaks[1]);
    state.counters["peak_ratio"] = median(peaks[1]) / median(peaks[0]);
}

BENCHMARK(BM_HeicWholeAgainstPrevious)->Iterations(5)->Unit(benchmark::kSecond);
BENCHMARK(BM_HeicPeakOfOne)->Iterations(1);
BENCHMARK(BM_Signatures12MP_Jpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWithThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
