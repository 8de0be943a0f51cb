// Opening a full catalogue (32,767 entries, every picture present) into the main window:
// the list is filled in one pass; its files are read as their rows are shown. Opening a
// library of many parts, and deleting 10,000 selected pictures to the trash: time, and how
// long an input event waited meanwhile (99th percentile and longest). Adding a folder of
// 5,000 pictures: total time, the longest stretch without serving window events, and how
// much the process grew. Adding a folder of 2,000 pictures of about 1.5 MP, and photos of
// 12 to 20 MP through the dialog, each with a pool of 1 and of 2 threads: total times,
// the speed-up, the longest event gaps.
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_catalogue
//   build/bin/bench_catalogue
//
// The 1.5 MP pictures come from /work/data/scale2000 and the photos from
// /work/data/corpus/originals when they are there (LUMO_SCALE_CORPUS and LUMO_PHOTOS name
// other folders); otherwise they are made in the temporary folder first.

#include "frmLumo.h"
#include "outside/scripteddialogs.h"

#include "../eventlatency.h"

#include "catalogue/catalogue.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QThreadPool>
#include <QTimer>
#include <QTemporaryDir>
#include <QTreeView>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <malloc.h>
#include <unistd.h>

namespace {
QTemporaryDir *g_dir = nullptr;
QString g_catalogue;

void prepare()
{
    g_dir = new QTemporaryDir;
    // Settings and the trash of this run stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", g_dir->filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", g_dir->filePath(QStringLiteral("data")).toLocal8Bit());
    SignatureTable table;
    for (int i = 0; i < SignatureTable::MaxEntries; ++i) {
        const QString path = g_dir->filePath(QStringLiteral("p%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly) || out.write("picture") != 7)
            qFatal("cannot write %s", qPrintable(path));
        table.append(path, Signature{});
    }
    g_catalogue = g_dir->filePath(QStringLiteral("full.sbx"));
    if (saveCatalogue(g_catalogue, table).failed())
        qFatal("cannot write the catalogue");
}

void BM_OpenFullCatalogue(benchmark::State &state)
{
    ScriptedDialogs dialogs;
    frmLumo window;
    window.show();
    const auto *list = window.findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
    for (auto _ : state) {
        window.openCommandLine(g_catalogue);
        if (list->model()->rowCount() != SignatureTable::MaxEntries || !dialogs.asked.isEmpty())
            state.SkipWithError("the catalogue did not open completely");
    }
    state.counters["entries"] = list->model()->rowCount();
}
BENCHMARK(BM_OpenFullCatalogue)->Unit(benchmark::kMillisecond)->Iterations(3);

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

// A library of many catalogue files (LUMO_BIG_SET names its first, as made by
// tools/make_big_catalogue.py) opened into the window: time, and the process's resident
// size afterwards.
void BM_OpenLibrary(benchmark::State &state)
{
    const QString first = qEnvironmentVariable("LUMO_BIG_SET");
    if (first.isEmpty()) {
        state.SkipWithError("LUMO_BIG_SET names no catalogue");
        return;
    }
    ScriptedDialogs dialogs;
    frmLumo window;
    window.show();
    const auto *list = window.findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
    EventLatency input;
    for (auto _ : state) {
        window.openCommandLine(first);
        if (!dialogs.asked.isEmpty())
            state.SkipWithError("the library did not open");
    }
    input.stop();
    state.counters["entries"] = list->model()->rowCount();
    state.counters["residentMiB"] = residentMiB();
    state.counters["input_wait_p99_ms"] = input.percentileMs(0.99);
    state.counters["input_wait_longest_ms"] = input.longestMs();
}
BENCHMARK(BM_OpenLibrary)->Unit(benchmark::kMillisecond)->Iterations(1);

// 10,000 pictures in 100 folders, all selected and deleted with their files: the moves to
// the trash under the progress dialog, and how long input waited meanwhile.
void BM_DeleteMarked10000(benchmark::State &state)
{
    constexpr int Pictures = 10'000;
    const QString folder = g_dir->filePath(QStringLiteral("marked"));
    double longestWaitMs = 0;
    double p99WaitMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        SignatureTable table;
        for (int i = 0; i < Pictures; ++i) {
            const QString path = QStringLiteral("%1/%2/IMG_%3.jpg").arg(folder).arg(i % 100).arg(i);
            QDir().mkpath(QFileInfo(path).path());
            QFile out(path);
            if (!out.open(QIODevice::WriteOnly) || out.write("picture") != 7)
                qFatal("cannot write %s", qPrintable(path));
            table.append(path, Signature{});
        }
        const QString catalogue = g_dir->filePath(QStringLiteral("marked.sbx"));
        if (saveCatalogue(catalogue, table).failed())
            qFatal("cannot write the catalogue");
        ScriptedDialogs dialogs;
        dialogs.answers.enqueue(6); // yes: the files go too
        dialogs.answers.enqueue(7); // no to saving the changed catalogue
        frmLumo window;
        window.show();
        window.openCommandLine(catalogue);
        auto *list = window.findChild<QTreeView *>(QStringLiteral("lsvJpeg"));
        list->selectAll();
        state.ResumeTiming();
        {
            EventLatency input;
            window.findChild<QAction *>(QStringLiteral("mnuL3"))->trigger();
            input.stop();
            longestWaitMs = std::max(longestWaitMs, input.longestMs());
            p99WaitMs = std::max(p99WaitMs, input.percentileMs(0.99));
        }
        if (list->model()->rowCount() != 0)
            state.SkipWithError("not every picture was deleted");
    }
    state.counters["input_wait_longest_ms"] = longestWaitMs;
    state.counters["input_wait_p99_ms"] = p99WaitMs;
}
BENCHMARK(BM_DeleteMarked10000)->Unit(benchmark::kMillisecond)->Iterations(2);

// Heap bytes in use (not the resident size, which earlier freed memory would hide).
long heapInUseKiB()
{
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

// 5,000 distinct small photos-to-be in one folder (made once, reused by every iteration).
QString pictureFolder()
{
    static QString folder;
    if (!folder.isEmpty())
        return folder;
    folder = g_dir->filePath(QStringLiteral("pictures"));
    QDir().mkpath(folder);
    QImage image(320, 240, QImage::Format_RGB32);
    for (int i = 0; i < 5000; ++i) {
        image.fill(qRgb(i % 256, (i / 256) * 13 % 256, (i * 7) % 256));
        QImageWriter writer(QStringLiteral("%1/%2.jpg").arg(folder).arg(i, 4, 10, QLatin1Char('0')));
        if (!writer.write(image))
            qFatal("cannot write a picture");
    }
    return folder;
}

// Runs one list command on a fresh window, the folder add (mnuL0) or the dialog add (mnuL2)
// with `answer` as the folder or the dialog's result, and returns the rows it made.
// The figures keep the largest seen. threads: the size of the window's signature pool (0: one
// thread per core).
struct AddFigures
{
    double longestWaitMs = 0; // the longest an input event waited
    double p99WaitMs = 0;
    long grownKiB = 0;
};
int runAdd(const char *command, const QString &answer, AddFigures &figures, int threads = 0)
{
    ScriptedDialogs dialogs;
    if (qstrcmp(command, "mnuL0") == 0)
        dialogs.folders.enqueue(answer);
    else
        dialogs.files.enqueue(answer);
    dialogs.answers.enqueue(7); // no to saving what was added
    frmLumo window;
    if (threads > 0)
        window.signaturePool().setMaxThreadCount(threads);
    window.show();
    const long before = heapInUseKiB();
    {
        EventLatency input;
        window.findChild<QAction *>(QLatin1String(command))->trigger();
        input.stop();
        figures.longestWaitMs = std::max(figures.longestWaitMs, input.longestMs());
        figures.p99WaitMs = std::max(figures.p99WaitMs, input.percentileMs(0.99));
    }
    figures.grownKiB = std::max(figures.grownKiB, heapInUseKiB() - before);
    return window.findChild<QTreeView *>(QStringLiteral("lsvJpeg"))->model()->rowCount();
}

void BM_FolderAdd5000(benchmark::State &state)
{
    const QString folder = pictureFolder();
    AddFigures figures;
    for (auto _ : state) {
        if (runAdd("mnuL0", folder, figures) != 5000)
            state.SkipWithError("the folder was not added completely");
    }
    state.counters["input_wait_longest_ms"] = figures.longestWaitMs;
    state.counters["input_wait_p99_ms"] = figures.p99WaitMs;
    state.counters["grown_MiB"] = double(figures.grownKiB) / 1024.0;
}
BENCHMARK(BM_FolderAdd5000)->Unit(benchmark::kMillisecond)->Iterations(2);
// Reads every file once, so the first timed run does not pay for the disk.
void warmUp(const QString &folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files);
    for (const QString &name : names) {
        QFile file(folder + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly))
            file.readAll();
    }
}

// A picture with detail everywhere (a smooth one would decode faster than a photo).
QImage detailedPicture(int width, int height, int seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb((x * 7 + y * 3 + seed * 41) & 255, ((x ^ y) + seed) & 255, (x * y / 97 + seed) & 255);
    }
    return image;
}

// 2,000 distinct pictures of 1 to 2 MP.
QString scaleFolder()
{
    static QString folder;
    if (!folder.isEmpty())
        return folder;
    folder = qEnvironmentVariable("LUMO_SCALE_CORPUS", QStringLiteral("/work/data/scale2000"));
    if (QDir(folder).entryList({QStringLiteral("*.jpg")}, QDir::Files).size() < 2000) {
        folder = g_dir->filePath(QStringLiteral("scale"));
        QDir().mkpath(folder);
        for (int i = 0; i < 2000; ++i) {
            QImageWriter writer(QStringLiteral("%1/scale_%2.jpg").arg(folder).arg(i, 5, 10, QLatin1Char('0')));
            writer.setQuality(85);
            if (!writer.write(detailedPicture(1400 + i % 7 * 40, 900 + i % 5 * 40, i)))
                qFatal("cannot write a picture");
        }
    }
    warmUp(folder);
    return folder;
}

// CPU time used by the whole machine and by this process so far, in seconds (Linux): the
// difference over a run is what other programs took from the cores meanwhile.
struct CpuTimes
{
    double machine = 0;
    double process = 0;
};
CpuTimes cpuTimes()
{
    CpuTimes times;
    const double tick = double(sysconf(_SC_CLK_TCK));
    QFile stat(QStringLiteral("/proc/stat"));
    if (stat.open(QIODevice::ReadOnly)) {
        // cpu user nice system idle iowait irq softirq steal
        const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
        for (int i : {1, 2, 3, 6, 7, 8})
            times.machine += fields.value(i).toDouble() / tick;
    }
    QFile self(QStringLiteral("/proc/self/stat"));
    if (self.open(QIODevice::ReadOnly)) {
        // After the command's closing parenthesis: fields 3 onwards, utime and stime being 14 and 15.
        const QByteArray line = self.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).simplified().split(' ');
        times.process = (fields.value(11).toDouble() + fields.value(12).toDouble()) / tick;
    }
    return times;
}

// The same add with a pool of 1 thread, then of 2, in every iteration, so that both meet
// the same machine; the time column is that of 2 threads. other_cores_*: how many cores
// other programs kept busy on average meanwhile (0 on an idle machine).
void comparePoolSizes(benchmark::State &state, const char *command, const QString &answer, int rows)
{
    double ms[2] = {0, 0};
    double otherCpu[2] = {0, 0};
    AddFigures figures[2];
    for (auto _ : state) {
        for (int threads : {1, 2}) {
            const CpuTimes before = cpuTimes();
            QElapsedTimer clock;
            clock.start();
            if (runAdd(command, answer, figures[threads - 1], threads) != rows)
                state.SkipWithError("the pictures were not added completely");
            const double took = double(clock.nsecsElapsed()) / 1e6;
            const CpuTimes after = cpuTimes();
            otherCpu[threads - 1] += (after.machine - before.machine) - (after.process - before.process);
            ms[threads - 1] += took;
            if (threads == 2)
                state.SetIterationTime(took / 1000.0);
        }
    }
    const double iterations = double(state.iterations());
    state.counters["ms_1_thread"] = ms[0] / iterations;
    state.counters["ms_2_threads"] = ms[1] / iterations;
    state.counters["speedup"] = ms[0] / ms[1];
    state.counters["input_wait_longest_ms_1_thread"] = figures[0].longestWaitMs;
    state.counters["input_wait_longest_ms_2_threads"] = figures[1].longestWaitMs;
    state.counters["other_cores_1_thread"] = std::max(0.0, otherCpu[0] * 1000.0 / ms[0]);
    state.counters["other_cores_2_threads"] = std::max(0.0, otherCpu[1] * 1000.0 / ms[1]);
    state.counters["grown_MiB"] = double(std::max(figures[0].grownKiB, figures[1].grownKiB)) / 1024.0;
}

void BM_FolderAdd2000Pool(benchmark::State &state)
{
    comparePoolSizes(state, "mnuL0", scaleFolder(), 2000);
}
BENCHMARK(BM_FolderAdd2000Pool)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

// The photos of at least 12 MP, each offered three times under names of its own (links),
// as one selection of the add-files dialog.
QString bigPhotos()
{
    static QString selection;
    if (!selection.isEmpty())
        return selection;
    const QString source = qEnvironmentVariable("LUMO_PHOTOS", QStringLiteral("/work/data/corpus/originals"));
    QStringList photos;
    const QStringList names = QDir(source).entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        const QSize size = QImageReader(source + QLatin1Char('/') + name).size();
        if (qint64(size.width()) * size.height() >= 12'000'000)
            photos << source + QLatin1Char('/') + name;
    }
    const QString folder = g_dir->filePath(QStringLiteral("photos"));
    QDir().mkpath(folder);
    if (photos.isEmpty()) {
        for (int i = 0; i < 4; ++i) {
            photos << QStringLiteral("%1/made%2.jpg").arg(folder).arg(i);
            if (!detailedPicture(5472, 3648, i).save(photos.last(), "JPEG", 90))
                qFatal("cannot write a photo");
        }
    }
    QStringList chosen;
    for (int copy = 0; copy < 3; ++copy) {
        for (const QString &photo : std::as_const(photos)) {
            chosen << QStringLiteral("%1/photo%2.jpg").arg(folder).arg(chosen.size(), 2, 10, QLatin1Char('0'));
            QFile::link(photo, chosen.last());
        }
    }
    warmUp(source);
    selection = CommonDialog::resultFor(chosen);
    return selection;
}

void BM_DialogAddPhotos(benchmark::State &state)
{
    const QString selection = bigPhotos();
    const int files = int(selection.count(QChar(0)));
    comparePoolSizes(state, "mnuL2", selection, files);
    state.counters["photos"] = files;
}
BENCHMARK(BM_DialogAddPhotos)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    prepare();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    delete g_dir;
    return 0;
}
