// Hostile HEIC grids: 128 x 128 or 100 x 100 tile items that all name the bytes of one
// 64 x 64 tile (the file of 16,384 items is about 700 KB). Each round reads the file's
// signature as a folder scan does, which refuses it, and, in turn with it, lets libheif
// parse the file and open its primary picture as the reader did before it counted the
// items first: the least that reading cost before (its decode of the 16,384 tiles came after).
// Each side's min and median seconds.
#include "benchfigures.h"
#include "heifgrid.h"
#include "pictures/picturesignature.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <vector>

namespace {

bool parsedBefore(const QString &path)
{
    static const heif_error initialised = heif_init(nullptr); // for the process's life
    (void)initialised;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const std::unique_ptr<heif_context, void (*)(heif_context *)> context(heif_context_alloc(), heif_context_free);
    heif_context_set_maximum_image_size_limit(context.get(), 1 << 15);
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code
        != heif_error_Ok)
        return false;
    heif_image_handle *primary = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primary).code != heif_error_Ok)
        return false;
    heif_image_handle_release(primary);
    return true;
}

bool refusedNow(const QString &path)
{
    return !computePictureSignature(path).has_value();
}

void BM_HostileGridAgainstPrevious(benchmark::State &state)
{
    QImage red(64, 64, QImage::Format_RGB32);
    red.fill(Qt::red);
    const auto tile = codeTile(red);
    if (!tile) {
        state.SkipWithError("libheif cannot encode HEIC here");
        return;
    }
    HeifGridFile grid;
    grid.columns = grid.rows = int(state.range(0));
    grid.tiles = {*tile};
    grid.shareBytes = true;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("hostile.heic"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(grid.bytes()) <= 0) {
        state.SkipWithError("the file could not be written");
        return;
    }
    file.close();
    std::vector<double> seconds[2];
    bool (*const sides[2])(const QString &) = {parsedBefore, refusedNow};
    int round = 0;
    for (auto _ : state) {
        for (int k = 0; k < 2; ++k) {
            const int side = (round + k) % 2;
            const auto start = std::chrono::steady_clock::now();
            if (!sides[side](path))
                state.SkipWithError(side ? "the hostile file was read" : "libheif did not parse the file");
            seconds[side].push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
        ++round;
    }
    state.counters["file_KiB"] = double(QFile(path).size()) / 1024;
    state.counters["before_min_s"] = minimum(seconds[0]);
    state.counters["before_median_s"] = median(seconds[0]);
    state.counters["now_min_s"] = minimum(seconds[1]);
    state.counters["now_median_s"] = median(seconds[1]);
}

BENCHMARK(BM_HostileGridAgainstPrevious)->Arg(128)->Arg(100)->Iterations(3)->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
