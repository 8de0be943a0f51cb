// What the keep rule "best" costs beside cataloguing: the facts of every picture of a folder
// (header, EXIF, quantisation tables and the DCT coefficients' detail) read on two threads
// into an empty facts cache on disk, against `lumo-cli add -j 2` of the same folder, in one run:
//   facts_over_add   the ratio of the wall-clock times (the target is at most 1.3);
//   cpu_over_add     the ratio of the processor times, which other work on the machine
//                    does not touch;
//   second_over_add  reading the same facts again from the cache on disk, opened anew as a
//                    second run of lumo-cli opens it (the target is at most 0.05);
//   cache_bytes_per_picture  the database's files' size on disk once the cache is closed, over
//                    the pictures (at most 200).
//
//   ../shared/tools/make_scale_corpus.sh 2000 /tmp/scale
//   build/bin/bench_facts        (LUMO_SCALE_DIR names the folder; default /tmp/scale)
//
// And the memory a window's facts cache holds for 100,000 grouped pictures once their facts
// are read (the heap in use, not the resident size): cache_bytes_per_picture_in_memory.
//   build/bin/bench_facts --benchmark_filter=CacheMemory

#include "files/folderscan.h"
#include "pictures/factsstore.h"
#include "pictures/picturefacts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <memory>

#include <sys/resource.h>

namespace {

QString scaleFolder()
{
    const QByteArray folder = qgetenv("LUMO_SCALE_DIR");
    return folder.isEmpty() ? QStringLiteral("/tmp/scale") : QString::fromLocal8Bit(folder);
}

// The JPEG files of the folder, as lumo-cli add finds them.
QStringList scanJpegFolder(const QString &folder)
{
    QStringList pictures;
    FolderScan scan(folder);
    ScannedFile file;
    for (FolderScan::Step step; (step = scan.next(file)) != FolderScan::Step::End;) {
        if (step == FolderScan::Step::File && file.readable && hasJpegExtension(file.name))
            pictures << file.path();
    }
    return pictures;
}

// Processor time of this process (or of its finished children) so far.
double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto s = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

double seconds(const QElapsedTimer &timer) { return double(timer.nsecsElapsed()) / 1e9; }

void BM_FactsBesideAdd(benchmark::State &state)
{
    const QStringList pictures = scanJpegFolder(scaleFolder());
    if (pictures.isEmpty()) {
        state.SkipWithError("no pictures: make_scale_corpus.sh 2000 /tmp/scale, or set LUMO_SCALE_DIR");
        return;
    }
    for (auto _ : state) {
        QTemporaryDir temp;
        QElapsedTimer timer;
        timer.start();
        const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
        QProcess add;
        add.start(QStringLiteral(LUMO_CLI), {QStringLiteral("add"), QStringLiteral("-j"), QStringLiteral("2"),
                                             temp.filePath(QStringLiteral("c.sbx")), scaleFolder()});
        if (!add.waitForFinished(-1) || add.exitCode() != 0) {
            state.SkipWithError("lumo-cli add failed");
            return;
        }
        const double addSeconds = seconds(timer);
        const double addCpu = cpuSeconds(RUSAGE_CHILDREN) - childrenBefore;
        const double selfBefore = cpuSeconds(RUSAGE_SELF);

        const QString database = temp.filePath(QStringLiteral("facts.sqlite"));
        QThreadPool pool;
        pool.setMaxThreadCount(2);
        const auto readAll = [&pool, &pictures, &database] {
            PictureFactsCache cache(std::make_shared<FactsStore>(database));
            const auto read = [&cache](const QString &picture) { return cache.facts(picture); };
            return QtConcurrent::blockingMapped(&pool, pictures, read).size();
        };
        timer.restart();
        const qsizetype facts = readAll();
        const double factsSeconds = seconds(timer);
        const double factsCpu = cpuSeconds(RUSAGE_SELF) - selfBefore;
        timer.restart();
        const qsizetype again = readAll();
        const double secondSeconds = seconds(timer);
        benchmark::DoNotOptimize(again + facts);
        qint64 cacheBytes = 0;
        for (const QFileInfo &file : QDir(temp.path()).entryInfoList({QStringLiteral("facts.sqlite*")}, QDir::Files))
            cacheBytes += file.size();

        state.counters["pictures"] = double(pictures.size());
        state.counters["add_s"] = addSeconds;
        state.counters["facts_s"] = factsSeconds;
        state.counters["facts_over_add"] = factsSeconds / addSeconds;
        state.counters["cpu_over_add"] = factsCpu / addCpu;
        state.counters["second_s"] = secondSeconds;
        state.counters["second_over_add"] = secondSeconds / addSeconds;
        state.counters["cache_bytes_per_picture"] = double(cacheBytes) / double(pictures.size());
    }
}
BENCHMARK(BM_FactsBesideAdd)->Iterations(1)->Unit(benchmark::kSecond);

// Heap bytes in use.
qint64 heapBytes()
{
    return qint64(mallinfo2().uordblks);
}

void BM_CacheMemory(benchmark::State &state)
{
    constexpr int Pictures = 100000;
    QTemporaryDir temp;
    // One small photo-like picture, copied: each copy is a file of its own, read once.
    QImage image(96, 64, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x * 5 + y * 29) % 256));
    }
    const QString original = temp.filePath(QStringLiteral("p.jpg"));
    if (!image.save(original, "JPEG", 90)) {
        state.SkipWithError("cannot write a picture");
        return;
    }
    QStringList pictures;
    for (int i = 0; i < Pictures; ++i) {
        pictures << temp.filePath(QStringLiteral("p%1.jpg").arg(i));
        if (!QFile::copy(original, pictures.back())) {
            state.SkipWithError("cannot copy the picture");
            return;
        }
    }
    for (auto _ : state) {
        const qint64 before = heapBytes();
        PictureFactsCache cache;
        for (const QString &picture : pictures)
            benchmark::DoNotOptimize(cache.facts(picture).detail);
        state.counters["pictures"] = double(pictures.size());
        state.counters["cache_mib"] = double(heapBytes() - before) / (1 << 20);
        state.counters["cache_bytes_per_picture_in_memory"] = double(heapBytes() - before) / double(pictures.size());
    }
}
BENCHMARK(BM_CacheMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
