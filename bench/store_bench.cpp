// Pictures per second through the store's Additem path (decode, stretch, grid) on
// generated JPEGs of about 2 and 12 megapixels.
#include "photolike.h"
#include "pictures/picturesignature.h"
#include "entries/signaturetable.h"

#include <QDir>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

// A photo-like JPEG, written once per size and seed.
QString makeJpeg(const QTemporaryDir &dir, int width, int height, int seed)
{
    const QString path = dir.filePath(QStringLiteral("p%1x%2_%3.jpg").arg(width).arg(height).arg(seed));
    if (QFile::exists(path))
        return path;
    QImageWriter writer(path);
    writer.setQuality(90);
    writer.write(photoLike(width, height, seed));
    return path;
}

void addPictures(benchmark::State &state, int width, int height)
{
    static QTemporaryDir dir;
    QStringList paths;
    for (int i = 0; i < 4; ++i)
        paths << makeJpeg(dir, width, height, i);
    SignatureTable table;
    int i = 0;
    for (auto _ : state) {
        const auto sig = computePictureSignature(paths[i++ % paths.size()]);
        if (!sig)
            state.SkipWithError("decode failed");
        else if (table.isFull())
            table.clear();
        else
            table.append(QString(), sig->cells);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Additem2MP(benchmark::State &state) { addPictures(state, 1632, 1224); }
void BM_Additem12MP(benchmark::State &state) { addPictures(state, 4000, 3000); }
BENCHMARK(BM_Additem2MP)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Additem12MP)->Unit(benchmark::kMillisecond);

} // namespace
