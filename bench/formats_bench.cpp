// Signatures of 12 MP photos as HEIC against the same photos as JPEG, on a pool of two
// threads (lumo-cli add -j 2 on a two-core machine). The photos are made when the
// benchmark starts: LUMO_BENCH_PHOTOS of them (default 8; each 12 MP HEIC takes seconds
// to encode). HEIC files are written as phones write them, with a 320-pixel thumbnail,
// and once more without one, which forces a whole decode.
#include "heiffiles.h"
#include "photolike.h"
#include "pictures/picturesignature.h"

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
BENCHMARK(BM_Signatures12MP_Jpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWithThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Signatures12MP_HeicWhole)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
