// Signatures of 12 MP photos as HEIC against the same photos as JPEG, on a pool of two
// threads (lumo-cli add -j 2 on a two-core machine). The photos are made when the
// benchmark starts: LUMO_BENCH_PHOTOS of them (default 8; each 12 MP HEIC takes seconds
// to encode). HEIC files are written as phones write them, with a 320-pixel thumbnail,
// and once more without one, which forces a whole decode; that one is also read as before
// the planes were averaged (the whole RGB picture, then shrunk), for the ratio of the two.
// Each benchmark reports its peak resident memory over its own run ("peak_MB"), the
// high-water mark being reset once the photos are made.
#include "heiffiles.h"
#include "photolike.h"
#include "pictures/picturesignature.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <benchmark/benchmark.h>

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

// Linux's high-water mark of resident memory, reset so that it measures what follows.
void resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}
double peakMemoryMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

// The signature as it was made before the planes were averaged: the whole picture in RGB,
// shrunk smoothly.
bool throughRgb(const QString &path)
{
    const QImage whole(path);
    if (whole.isNull())
        return false;
    signatureOfSurface(whole.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    return true;
}

void signatures(benchmark::State &state, Kind kind, bool (*read)(const QString &) = nullptr)
{
    const QStringList &paths = photos(kind);
    if (paths.isEmpty()) {
        state.SkipWithError("libheif cannot encode HEIC here");
        return;
    }
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    resetPeakMemory();
    for (auto _ : state) {
        const QList<bool> done = QtConcurrent::blockingMapped(&pool, paths, [read](const QString &path) {
            return read ? read(path) : computePictureSignature(path).has_value();
        });
        if (done.contains(false))
            state.SkipWithError("a photo could not be read");
    }
    state.SetItemsProcessed(state.iterations() * paths.size());
    state.counters["peak_MB"] = peakMemoryMb();
}

void BM_Signatures12MP_Jpeg(benchmark::State &state) { signatures(state, Jpeg); }
void BM_Signatures12MP_HeicWithThumbnail(benchmark::State &state) { signatures(state, HeicWithThumbnail); }
void BM_Signatures12MP_HeicWhole(benchmark::State &state) { signatures(state, HeicWhole); }
void BM_Signatures12MP_HeicWholeThroughRgb(benchmark::State &state) { signatures(state, HeicWhole, throughRgb); }
BENCHMARK(BM_Signatures12MP_Jpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWithThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWhole)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWholeThroughRgb)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
