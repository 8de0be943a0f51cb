// Opening a full catalogue (32,767 entries, every picture present) into the main window:
// the list is filled in one pass with one file-system query per entry. Adding a folder of
// 5,000 pictures: total time, the longest stretch without serving window events, and how
// much the process grew.
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_catalogue
//   build/bin/bench_catalogue

#include "frmLumo.h"
#include "outside/scripteddialogs.h"

#include <catalogue.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTimer>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <malloc.h>

namespace {
QTemporaryDir *g_dir = nullptr;
QString g_catalogue;

void prepare()
{
    g_dir = new QTemporaryDir;
    // Settings of this run stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", g_dir->filePath(QStringLiteral("config")).toLocal8Bit());
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
    const auto *list = window.findChild<QTreeWidget *>(QStringLiteral("lsvJpeg"));
    for (auto _ : state) {
        window.openCommandLine(g_catalogue);
        if (list->topLevelItemCount() != SignatureTable::MaxEntries || !dialogs.asked.isEmpty())
            state.SkipWithError("the catalogue did not open completely");
    }
    state.counters["entries"] = list->topLevelItemCount();
}
BENCHMARK(BM_OpenFullCatalogue)->Unit(benchmark::kMillisecond)->Iterations(3);

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

void BM_FolderAdd5000(benchmark::State &state)
{
    const QString folder = pictureFolder();
    qint64 longestGap = 0;
    long grownKiB = 0;
    for (auto _ : state) {
        ScriptedDialogs dialogs;
        dialogs.folders.enqueue(folder);
        dialogs.answers.enqueue(7); // no to saving what the previous iteration added
        frmLumo window;
        window.show();
        // A 1 ms timer notes every turn of the event loop; the largest gap between turns
        // is how long the window could not repaint or see Esc.
        QElapsedTimer sinceTurn;
        sinceTurn.start();
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, sinceTurn.restart());
        });
        ticker.start(1);
        const long before = heapInUseKiB();
        window.findChild<QAction *>(QStringLiteral("mnuL0"))->trigger();
        ticker.stop();
        grownKiB = std::max(grownKiB, heapInUseKiB() - before);
        if (window.findChild<QTreeWidget *>(QStringLiteral("lsvJpeg"))->topLevelItemCount() != 5000)
            state.SkipWithError("the folder was not added completely");
    }
    state.counters["longest_gap_ms"] = double(longestGap);
    state.counters["grown_MiB"] = double(grownKiB) / 1024.0;
}
BENCHMARK(BM_FolderAdd5000)->Unit(benchmark::kMillisecond)->Iterations(2);
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
