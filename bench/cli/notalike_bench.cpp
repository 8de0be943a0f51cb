// What decisions that pictures are not alike cost, each side alternated with the other in
// one run (rounds of both), min and median reported:
//   CopiesKeptApart    `lumo-cli similar --level 0` on 12,000 copies of one picture, one
//                      pair of copies marked not alike, beside the same with --all;
//   MarkWholeGroup     a group of 400 pictures marked not alike (79,800 pairs) and saved,
//                      into an empty file and into one that holds them already;
//   MillionPairs       `lumo-cli similar` on two pictures with 1,000,000 pairs marked (in
//                      the current form and in the older one of whole looks), beside 2
//                      pairs: seconds and peak memory; and `notalike add` with 1,000,000.
// Wall-clock times: the figures hold only on a machine that is otherwise idle.

#include "catalogue/catalogue.h"
#include "search/notalike.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtEndian>

#include "../benchfigures.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

QTemporaryDir *g_dir = nullptr;

struct Run {
    double seconds = -1; // negative: it failed
    double peakMiB = 0;
};

// lumo-cli with `arguments` and XDG_DATA_HOME at `dataHome`: wall time and peak memory.
Run runCli(const QStringList &arguments, const QString &dataHome)
{
    std::vector<QByteArray> bytes{QByteArray(LUMO_CLI)};
    for (const QString &argument : arguments)
        bytes.push_back(argument.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    QByteArray home = "XDG_DATA_HOME=" + dataHome.toLocal8Bit();
    std::vector<char *> env;
    for (char **e = environ; *e; ++e) {
        if (std::strncmp(*e, "XDG_DATA_HOME=", 14) != 0)
            env.push_back(*e);
    }
    env.push_back(home.data());
    env.push_back(nullptr);
    // fork(), not posix_spawn(): a child that shared this process's memory until exec
    // would report this process's peak as its own.
    QElapsedTimer clock;
    clock.start();
    Run run;
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execve(argv[0], argv.data(), env.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        run.seconds = double(clock.nsecsElapsed()) / 1e9;
        run.peakMiB = double(usage.ru_maxrss) / 1024.0;
    }
    return run;
}


Signature numbered(int n)
{
    Signature cells;
    cells.fill(int16_t(n % 251));
    cells[0] = int16_t(n / 251 % 256);
    cells[1] = int16_t(n / (251 * 256));
    return cells;
}

void BM_CopiesKeptApart(benchmark::State &state)
{
    constexpr int Copies = 12000;
    SignatureTable table;
    const Signature copy = numbered(7);
    for (int i = 0; i < Copies; ++i)
        table.append(QStringLiteral("/copies/%1/IMG.jpg").arg(i), copy);
    const QString catalogue = g_dir->filePath(QStringLiteral("copies.sbx"));
    const QString home = g_dir->filePath(QStringLiteral("copies"));
    NotAlikeDecisions decisions(home + QStringLiteral("/lumo/notalike"));
    decisions.add(copy, table.name(0), copy, table.name(1), 1);
    if (saveCatalogue(catalogue, table).failed() || !decisions.save())
        return state.SkipWithError("cannot write the catalogue or the decisions");
    std::vector<double> apart, all;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const Run kept = runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("0"), catalogue}, home);
            const Run grouped = runCli({QStringLiteral("similar"), QStringLiteral("--level"), QStringLiteral("0"),
                                        QStringLiteral("--all"), catalogue},
                                       home);
            if (kept.seconds < 0 || grouped.seconds < 0)
                return state.SkipWithError("lumo-cli failed");
            apart.push_back(kept.seconds);
            all.push_back(grouped.seconds);
        }
        state.SetIterationTime(median(apart));
    }
    state.counters["apart_min_s"] = minimum(apart);
    state.counters["apart_median_s"] = median(apart);
    state.counters["all_min_s"] = minimum(all);
    state.counters["all_median_s"] = median(all);
    state.counters["ratio_median"] = median(apart) / median(all);
}
BENCHMARK(BM_CopiesKeptApart)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// The window's work for "このグループは似ていない" on a group of 400: every pair added, saved.
double markGroup(const QString &path)
{
    constexpr int Group = 400;
    QElapsedTimer clock;
    clock.start();
    NotAlikeDecisions decisions(path);
    decisions.load();
    for (int a = 0; a < Group; ++a) {
        for (int b = a + 1; b < Group; ++b)
            decisions.add(numbered(a), QStringLiteral("/g/%1.jpg").arg(a), numbered(b), QStringLiteral("/g/%1.jpg").arg(b), a);
    }
    if (!decisions.save() || decisions.size() != size_t(Group * (Group - 1) / 2))
        return -1;
    return double(clock.nsecsElapsed()) / 1e9;
}

void BM_MarkWholeGroup(benchmark::State &state)
{
    std::vector<double> empty, again;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const QString path = g_dir->filePath(QStringLiteral("group%1/lumo/notalike").arg(round));
            const double first = markGroup(path);
            const double second = markGroup(path);
            if (first < 0 || second < 0)
                return state.SkipWithError("the pairs were not kept");
            empty.push_back(first);
            again.push_back(second);
        }
        state.SetIterationTime(median(empty));
    }
    state.counters["empty_min_s"] = minimum(empty);
    state.counters["empty_median_s"] = median(empty);
    state.counters["again_min_s"] = minimum(again);
    state.counters["again_median_s"] = median(again);
}
BENCHMARK(BM_MarkWholeGroup)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// A data folder whose decisions hold `pairs` pairs, the first of the two pictures of
// `table`; in the older form when asked.
QString millionHome(const QString &name, int pairs, bool older)
{
    const QString home = g_dir->filePath(name);
    QDir().mkpath(home + QStringLiteral("/lumo"));
    QFile file(home + QStringLiteral("/lumo/notalike"));
    if (!file.open(QIODevice::WriteOnly))
        return {};
    if (!older) {
        // Written in runs of 10,000, so that this process stays small for the children it
        // measures; each run's bytes after the file's own header.
        for (int from = 0; from < pairs; from += 10000) {
            std::vector<NotAlikePair> run;
            for (int p = from; p < std::min(pairs, from + 10000); ++p)
                run.push_back({lookKey(numbered(2 * p)), lookKey(numbered(2 * p + 1)),
                               QStringLiteral("/t/a%1.jpg").arg(p), QStringLiteral("/t/b%1.jpg").arg(p), p});
            QBuffer buffer;
            buffer.open(QIODevice::WriteOnly);
            writeNotAlike(buffer, run);
            const QByteArray bytes = from == 0 ? buffer.data() : buffer.data().mid(8);
            if (file.write(bytes) != bytes.size())
                return {};
        }
        return home;
    }
    QByteArray bytes("LUMONAL1");
    char raw[8];
    qToLittleEndian<uint32_t>(uint32_t(pairs), raw);
    bytes.append(raw, 4);
    for (int p = 0; p < pairs; ++p) {
        for (int n : {2 * p, 2 * p + 1}) {
            const Signature cells = numbered(n);
            for (int16_t value : cells)
                bytes.append(char(value));
        }
        qToLittleEndian<qint64>(p, raw);
        bytes.append(raw, 8);
        for (const QString &name : {QStringLiteral("/t/a%1.jpg").arg(p), QStringLiteral("/t/b%1.jpg").arg(p)}) {
            const QByteArray utf8 = name.toUtf8();
            qToLittleEndian<uint16_t>(uint16_t(utf8.size()), raw);
            bytes.append(raw, 2);
            bytes.append(utf8);
        }
        if (bytes.size() > (1 << 24)) {
            if (file.write(bytes) != bytes.size())
                return {};
            bytes.clear();
        }
    }
    return file.write(bytes) == bytes.size() ? home : QString();
}

void BM_MillionPairs(benchmark::State &state)
{
    SignatureTable table;
    table.append(QStringLiteral("/t/a0.jpg"), numbered(0));
    table.append(QStringLiteral("/t/b0.jpg"), numbered(1));
    const QString catalogue = g_dir->filePath(QStringLiteral("two.sbx"));
    const QString million = millionHome(QStringLiteral("million"), 1000000, false);
    const QString older = millionHome(QStringLiteral("older"), 1000000, true);
    const QString two = millionHome(QStringLiteral("two"), 2, false);
    const QString picture = g_dir->filePath(QStringLiteral("p1.jpg"));
    const QString other = g_dir->filePath(QStringLiteral("p2.jpg"));
    QImage image(64, 64, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.save(picture);
    image.fill(Qt::blue);
    image.save(other);
    if (saveCatalogue(catalogue, table).failed() || million.isEmpty() || older.isEmpty() || two.isEmpty())
        return state.SkipWithError("cannot write the catalogue or the decisions");
    const QStringList similar{QStringLiteral("similar"), catalogue};
    std::vector<double> bigTime, bigPeak, oldTime, oldPeak, smallTime, smallPeak, addTime, addPeak;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            const Run big = runCli(similar, million);
            const Run old = runCli(similar, older);
            const Run small = runCli(similar, two);
            // Adds and forgets the same pair, so the file keeps its size round after round.
            const Run add = runCli({QStringLiteral("notalike"), QStringLiteral("add"), picture, other}, million);
            const Run forget = runCli({QStringLiteral("notalike"), QStringLiteral("forget"), picture, other}, million);
            if (big.seconds < 0 || old.seconds < 0 || small.seconds < 0 || add.seconds < 0 || forget.seconds < 0)
                return state.SkipWithError("lumo-cli failed");
            bigTime.push_back(big.seconds);
            bigPeak.push_back(big.peakMiB);
            oldTime.push_back(old.seconds);
            oldPeak.push_back(old.peakMiB);
            smallTime.push_back(small.seconds);
            smallPeak.push_back(small.peakMiB);
            addTime.push_back(add.seconds);
            addPeak.push_back(add.peakMiB);
        }
        state.SetIterationTime(median(bigTime));
    }
    state.counters["million_min_s"] = minimum(bigTime);
    state.counters["million_median_s"] = median(bigTime);
    state.counters["million_peak_MiB"] = median(bigPeak);
    state.counters["older_min_s"] = minimum(oldTime);
    state.counters["older_median_s"] = median(oldTime);
    state.counters["older_peak_MiB"] = median(oldPeak);
    state.counters["two_min_s"] = minimum(smallTime);
    state.counters["two_median_s"] = median(smallTime);
    state.counters["two_peak_MiB"] = median(smallPeak);
    state.counters["add_min_s"] = minimum(addTime);
    state.counters["add_median_s"] = median(addTime);
    state.counters["add_peak_MiB"] = median(addPeak);
}
BENCHMARK(BM_MillionPairs)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
