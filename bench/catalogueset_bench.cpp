// A library of 1,000,000 pictures in 31 catalogue files, as the window's store keeps it:
// reading the whole series (beside lumo-cli's way of reading the same files as one
// collection, paths only and with packed signatures), the memory it takes, and saving
// after 100 pictures were added, which must rewrite one file only.
//
//   tools/make_big_catalogue.py /tmp/big/photos.sbx      (or let the bench write its own)
//   LUMO_BIG_SET=/tmp/big/photos.sbx build/bin/bench_catalogueset

#include "catalogue/catalogueset.h"
#include "catalogue/picturecollection.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <unistd.h>

namespace {
constexpr int Pictures = 1000000;

QTemporaryDir *g_dir = nullptr;

QString bigSet()
{
    static const QString first = [] {
        const QString given = qEnvironmentVariable("LUMO_BIG_SET");
        if (!given.isEmpty())
            return given;
        g_dir = new QTemporaryDir;
        CatalogueSet set;
        std::mt19937 random(20261209);
        Signature cells;
        for (int i = 0; i < Pictures; ++i) {
            for (int16_t &value : cells)
                value = int16_t(random() & 0xFF);
            set.append(QStringLiteral("/home/user/Pictures/%1/%2/IMG_%3.jpg")
                           .arg(2004 + i / 50000)
                           .arg(1 + (i / 997) % 12, 2, 10, QLatin1Char('0'))
                           .arg(i, 7, 10, QLatin1Char('0')),
                       cells);
        }
        const QString path = g_dir->filePath(QStringLiteral("photos.sbx"));
        if (set.save(path).failed())
            qFatal("cannot write the series");
        return path;
    }();
    return first;
}

double residentMiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void BM_OpenSeries(benchmark::State &state)
{
    const QString first = bigSet();
    for (auto _ : state) {
        const double before = residentMiB();
        CatalogueSet set;
        if (set.load(first).failed())
            state.SkipWithError("cannot read the series");
        state.counters["entries"] = set.count();
        state.counters["files"] = set.partCount();
        state.counters["grownMiB"] = residentMiB() - before;
    }
}
BENCHMARK(BM_OpenSeries)->Unit(benchmark::kMillisecond)->Iterations(3);

// lumo-cli's reading of the same files (list without signatures, similar with them).
void BM_OpenAsCliCollection(benchmark::State &state)
{
    const QStringList files = catalogueSeries(bigSet());
    for (auto _ : state) {
        PictureCollection pictures(state.range(0) ? std::make_shared<SimilarCells>(SimilarRule{}) : nullptr);
        pictures.reserveFor(files);
        for (const QString &file : files) {
            if (pictures.addCatalogue(file).damaged())
                state.SkipWithError("cannot read the series");
        }
        state.counters["entries"] = pictures.count();
    }
}
BENCHMARK(BM_OpenAsCliCollection)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SaveAfterAdding100(benchmark::State &state)
{
    const QString first = bigSet();
    const QDateTime old(QDate(2001, 2, 3), QTime(4, 5, 6), Qt::UTC);
    for (auto _ : state) {
        state.PauseTiming();
        CatalogueSet set;
        if (set.load(first).failed())
            state.SkipWithError("cannot read the series");
        for (const QString &file : set.partFiles()) {
            QFile f(file);
            if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(old, QFileDevice::FileModificationTime))
                state.SkipWithError("cannot date the files");
        }
        for (int i = 0; i < 100; ++i)
            set.append(QStringLiteral("/home/user/Pictures/new/IMG_%1.jpg").arg(i), Signature{});
        state.ResumeTiming();
        if (set.save(first).failed())
            state.SkipWithError("cannot save");
        state.PauseTiming();
        int rewritten = 0;
        for (const QString &file : set.partFiles())
            rewritten += QFileInfo(file).lastModified().toUTC() != old;
        state.counters["rewritten"] = rewritten;
        // The next round starts from the same series.
        const std::vector<int> added = [&] {
            std::vector<int> indexes;
            for (int i = set.count() - 1; i >= set.count() - 100; --i)
                indexes.push_back(i);
            return indexes;
        }();
        set.removeEntries(added);
        set.save(first);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SaveAfterAdding100)->Unit(benchmark::kMillisecond)->Iterations(3);
} // namespace

BENCHMARK_MAIN();
