// Moving 2,000 files to the trash: all named IMG.jpg, each in a folder of its own, against
// 2,000 distinct names laid out alike. The numbering of one name must not cost more than a
// handful of tries per file. Run the two sides interleaved:
//   bench_trash --benchmark_enable_random_interleaving=true
#include "files/trash.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

constexpr int Files = 2000;

QTemporaryDir &home()
{
    static QTemporaryDir dir;
    return dir;
}

QStringList makeFiles(bool oneName)
{
    const QString root = home().filePath(QStringLiteral("pics"));
    QStringList paths;
    for (int i = 0; i < Files; ++i) {
        const QString folder = root + QStringLiteral("/%1").arg(i, 4, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        paths << folder + (oneName ? QStringLiteral("/IMG.jpg") : QStringLiteral("/IMG_%1.jpg").arg(i, 4, 10, QLatin1Char('0')));
        QFile file(paths.last());
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("picture");
    }
    return paths;
}

void moveAll(benchmark::State &state, bool oneName)
{
    const QString trash = home().filePath(QStringLiteral("data/Trash"));
    for (auto _ : state) {
        state.PauseTiming();
        QDir(trash).removeRecursively();
        const QStringList paths = makeFiles(oneName);
        state.ResumeTiming();
        for (const QString &path : paths) {
            if (moveFileToTrash(path) != TrashResult::Moved) {
                state.SkipWithError("a file did not move");
                break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * Files);
}

void OneName(benchmark::State &state) { moveAll(state, true); }
void DistinctNames(benchmark::State &state) { moveAll(state, false); }

double minimum(const std::vector<double> &values) { return *std::min_element(values.begin(), values.end()); }

BENCHMARK(OneName)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9)->ComputeStatistics("min", minimum);
BENCHMARK(DistinctNames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(9)->ComputeStatistics("min", minimum);

} // namespace

// GLib reads HOME and XDG_DATA_HOME once, so the trash is a temporary one from the start.
int main(int argc, char **argv)
{
    qputenv("HOME", QFile::encodeName(home().path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home().filePath(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home().filePath(QStringLiteral("cache"))));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
