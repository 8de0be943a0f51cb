// What a picture's signature costs against the floor, single-threaded, on the JPEG files of
// a folder (LUMO_CORPUS_DIR, default /work/data/corpus; sub-folders included), each figure
// the best of three passes over all files, in processor time (so that a busy machine does
// not blur the ratio):
//   floor        libjpeg-turbo's 1/8-scaled decode from memory plus an 8 x 8 grid of the
//                decoded pixels: what no signature can undercut;
//   read         reading the files whole, alone;
//   qt_reader    Qt's image reader asked for 64 x 64 (decode, conversion, smooth shrink);
//   qt_memory    the same reader on the file's bytes in memory (without its 4 KiB reads);
//   shrink       the smooth shrink to 64 x 64 alone, of pictures decoded beforehand;
//   signature    the store's signature of each file (what lumo-cli add computes);
//   lumo_cli     `lumo-cli add -j 1` of the same files into a new catalogue (ratio: to floor;
//                LUMO_CLI names another lumo-cli, such as an older build, to compare).
//   ../shared/tools/make_corpus.sh /work/data/corpus
//   build/bin/bench_decode

#include "pictures/picturesignature.h"

#include <QBuffer>
#include <QDirIterator>
#include <QFile>
#include <QImageReader>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <sys/resource.h>
#include <time.h>

extern "C" {
#include <jpeglib.h>
}

namespace {

QStringList corpusFiles()
{
    static const QStringList files = [] {
        QStringList found;
        QDirIterator it(qEnvironmentVariable("LUMO_CORPUS_DIR", QStringLiteral("/work/data/corpus")),
                        {QStringLiteral("*.jpg"), QStringLiteral("*.jpeg")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            found << it.next();
        found.sort();
        return found;
    }();
    return files;
}

struct JpegError : jpeg_error_mgr {
    std::jmp_buf jump;
};

// The floor for one file: decode at 1/8 from memory, then the average of each eighth of
// the decoded picture across and down. 0 when the file is no JPEG.
long floorSignature(const QByteArray &data)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error);
    error.error_exit = [](j_common_ptr common) { std::longjmp(static_cast<JpegError *>(common->err)->jump, 1); };
    std::vector<uint8_t> pixels;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return 0;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char *>(data.constData()), data.size());
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    const int width = info.output_width, height = info.output_height, stride = width * info.output_components;
    pixels.resize(size_t(stride) * height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + size_t(info.output_scanline) * stride;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    long cells[8][8][3] = {};
    for (int y = 0; y < height; ++y) {
        const uint8_t *p = pixels.data() + size_t(y) * stride;
        for (int x = 0; x < width; ++x, p += info.output_components) {
            long *cell = cells[8 * y / height][8 * x / width];
            cell[0] += p[0];
            cell[1] += p[info.output_components > 1 ? 1 : 0];
            cell[2] += p[info.output_components > 2 ? 2 : 0];
        }
    }
    return cells[0][0][0] + cells[7][7][2] + 1;
}

QByteArray readWhole(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Processor time, this thread's and that of the children waited for: a shared machine
// stretches wall-clock time but not these.
double cpuSeconds()
{
    timespec own;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &own);
    rusage children;
    getrusage(RUSAGE_CHILDREN, &children);
    const auto seconds = [](const timeval &t) { return t.tv_sec + t.tv_usec / 1e6; };
    return own.tv_sec + own.tv_nsec / 1e9 + seconds(children.ru_utime) + seconds(children.ru_stime);
}

// The best of three passes of `pass` over the files, in processor seconds.
template <typename Pass>
double bestOfThree(const Pass &pass)
{
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        const double start = cpuSeconds();
        pass();
        best = std::min(best, cpuSeconds() - start);
    }
    return best;
}

void BM_SignatureAgainstFloor(benchmark::State &state)
{
    const QStringList files = corpusFiles();
    if (files.isEmpty())
        return state.SkipWithError("no corpus: make it first (see the head of this file)");
    std::vector<QImage> decoded;
    for (const QString &path : files) {
        QImageReader reader(path);
        reader.setScaledSize(QSize(64, 64) * 3); // the order of size Qt shrinks from
        decoded.push_back(reader.read().convertToFormat(QImage::Format_RGB32));
    }
    QTemporaryDir dir;
    long sink = 0;
    double floor = 0, read = 0, qtReader = 0, qtMemory = 0, shrink = 0, signature = 0, cli = 0;
    for (auto _ : state) {
        floor = bestOfThree([&] {
            for (const QString &path : files)
                sink += floorSignature(readWhole(path));
        });
        read = bestOfThree([&] {
            for (const QString &path : files)
                sink += readWhole(path).size();
        });
        qtReader = bestOfThree([&] {
            for (const QString &path : files) {
                QImageReader reader(path);
                reader.setQuality(100);
                reader.setScaledSize(QSize(64, 64));
                sink += reader.read().width();
            }
        });
        qtMemory = bestOfThree([&] {
            for (const QString &path : files) {
                QByteArray bytes = readWhole(path);
                QBuffer buffer(&bytes);
                buffer.open(QIODevice::ReadOnly);
                QImageReader reader(&buffer);
                reader.setQuality(100);
                reader.setScaledSize(QSize(64, 64));
                sink += reader.read().width();
            }
        });
        shrink = bestOfThree([&] {
            for (const QImage &image : decoded)
                sink += image.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).width();
        });
        signature = bestOfThree([&] {
            for (const QString &path : files)
                sink += computePictureSignature(path).has_value();
        });
        cli = bestOfThree([&] {
            const QString catalogue = dir.filePath(QStringLiteral("c.sbx"));
            QFile::remove(catalogue);
            QProcess add;
            add.start(qEnvironmentVariable("LUMO_CLI", QStringLiteral(LUMO_CLI)), QStringList{QStringLiteral("add"), QStringLiteral("-j"),
                                                            QStringLiteral("1"), catalogue} + files);
            add.waitForFinished(-1);
            sink += add.exitCode();
        });
        state.SetIterationTime(cli);
    }
    benchmark::DoNotOptimize(sink);
    const double n = files.size();
    state.counters["files"] = n;
    state.counters["floor_ms"] = 1e3 * floor / n;
    state.counters["read_ms"] = 1e3 * read / n;
    state.counters["qt_reader_ms"] = 1e3 * qtReader / n;
    state.counters["qt_memory_ms"] = 1e3 * qtMemory / n;
    state.counters["shrink_ms"] = 1e3 * shrink / n;
    state.counters["signature_ms"] = 1e3 * signature / n;
    state.counters["lumo_cli_ms"] = 1e3 * cli / n;
    state.counters["signature_ratio"] = signature / floor;
    state.counters["ratio"] = cli / floor;
}
BENCHMARK(BM_SignatureAgainstFloor)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace
