// Opening a full catalogue (32,767 entries, every picture present) into the main window:
// the list is filled in one pass with one file-system query per entry.
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_catalogue
//   build/bin/bench_catalogue

#include "frmLumo.h"
#include "outside/scripteddialogs.h"

#include <catalogue.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

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
