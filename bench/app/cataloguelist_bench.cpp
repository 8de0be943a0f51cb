// The catalogue list with a million rows: filling it as an open does, sorting it by name
// and by folder (the first folder sort reads every row's file, a later one has them), and
// scrolling a shown view to the end and back, painted each way. The list widget the window
// used before is measured beside it on the same rows ("Widget").
//
//   cmake --build build --target bench_cataloguelist
//   QT_QPA_PLATFORM=offscreen build/bench/app/bench_cataloguelist --benchmark_repetitions=5
//
// The rows' files are told present by a stand-in for the disk (a million files would not
// fit the machine's temporary folder); the cost of asking the disk itself, a failed query
// per row here, is measured on its own (ReadEveryRowFromDisk).

#include "cataloguelistmodel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTreeView>
#include <QTreeWidget>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>

namespace {
// LUMO_LIST_ROWS sets another count.
const int Rows = qEnvironmentVariableIntValue("LUMO_LIST_ROWS") > 0 ? qEnvironmentVariableIntValue("LUMO_LIST_ROWS") : 1'000'000;

// Folders of a few hundred pictures each, in an order that is neither sorted by name nor
// by folder, as a library added over the years is.
QStringList libraryPaths()
{
    static const QStringList paths = [] {
        QStringList out;
        out.reserve(Rows);
        for (int i = 0; i < Rows; ++i) {
            const int folder = int((quint64(i) * 2654435761u) % 3001);
            out << QStringLiteral("/home/user/Pictures/%1/event %2/IMG_%3.jpg")
                       .arg(2000 + folder % 25)
                       .arg(folder, 4, 10, QLatin1Char('0'))
                       .arg(int((qint64(i) * 7919) % Rows), 7, 10, QLatin1Char('0'));
        }
        return out;
    }();
    return paths;
}

// Every file present, of a date and size that vary with the path; in UTC, as the disk's
// reader gives it.
CatalogueListModel::FileFacts presentFile(const QString &path)
{
    const auto hash = qHash(path);
    return {true, true, QDateTime(QDate(2010, 1, 1).addDays(hash % 5000), QTime(hash % 24, hash % 60), Qt::UTC),
            qint64(hash % 20'000'000)};
}

std::unique_ptr<CatalogueListModel> filledModel(CatalogueListModel::FileReader reader = &presentFile)
{
    auto model = std::make_unique<CatalogueListModel>(nullptr, std::move(reader));
    for (const QString &path : libraryPaths())
        model->addUnreadRow(path);
    return model;
}

double msSince(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

// The view as the window sets it up, on screen.
void setUpView(QTreeView &view)
{
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.resize(900, 600);
    view.show();
}

// The list widget as the window filled it on open: one item per row, its four texts set.
std::unique_ptr<QTreeWidget> filledWidget()
{
    auto list = std::make_unique<QTreeWidget>();
    list->setColumnCount(4);
    const QString none = QStringLiteral("(None)");
    const QString size = QString(12, QLatin1Char(' ')) + QLatin1Char('0');
    for (const QString &path : libraryPaths()) {
        auto *row = new QTreeWidgetItem;
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        row->setText(0, path.mid(slash + 1));
        row->setData(0, Qt::UserRole, path);
        row->setText(1, none);
        row->setText(2, none);
        row->setText(3, size);
        list->addTopLevelItem(row);
    }
    return list;
}

void BM_Fill(benchmark::State &state)
{
    libraryPaths();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const auto model = filledModel();
        state.SetIterationTime(msSince(timer) / 1000);
        benchmark::DoNotOptimize(model->rowCount());
    }
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// Column 0 by name, column 1 by folder; `again` sorts once first, so the files are read.
void sortModel(benchmark::State &state, int column, bool again)
{
    for (auto _ : state) {
        const auto model = filledModel();
        if (again)
            model->sortRows(column, Qt::DescendingOrder);
        QElapsedTimer timer;
        timer.start();
        model->sortRows(column, Qt::AscendingOrder);
        state.SetIterationTime(msSince(timer) / 1000);
        if (model->index(0, column).data().toString() > model->index(Rows - 1, column).data().toString())
            state.SkipWithError("not sorted");
    }
}
void BM_SortByName(benchmark::State &state) { sortModel(state, 0, false); }
void BM_SortByFolderFirst(benchmark::State &state) { sortModel(state, 1, false); }
void BM_SortByFolderAgain(benchmark::State &state) { sortModel(state, 1, true); }
BENCHMARK(BM_SortByName)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_SortByFolderFirst)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();
BENCHMARK(BM_SortByFolderAgain)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// As the window sorts: a shown view lays its rows out again and paints them.
void BM_SortByNameShown(benchmark::State &state)
{
    for (auto _ : state) {
        const auto model = filledModel();
        QTreeView view;
        setUpView(view);
        view.setModel(model.get());
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        model->sortRows(CatalogueListModel::NameColumn, Qt::AscendingOrder);
        view.viewport()->repaint();
        state.SetIterationTime(msSince(timer) / 1000);
    }
}
BENCHMARK(BM_SortByNameShown)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_Widget_SortByNameShown(benchmark::State &state)
{
    for (auto _ : state) {
        const auto list = filledWidget();
        setUpView(*list);
        QApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        list->sortItems(0, Qt::AscendingOrder);
        list->viewport()->repaint();
        state.SetIterationTime(msSince(timer) / 1000);
    }
}
BENCHMARK(BM_Widget_SortByNameShown)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// The real disk asked for every row (the paths name no files).
void BM_ReadEveryRowFromDisk(benchmark::State &state)
{
    for (auto _ : state) {
        const auto model = filledModel(&CatalogueListModel::readFile);
        QElapsedTimer timer;
        timer.start();
        model->sortRows(CatalogueListModel::SizeColumn, Qt::AscendingOrder);
        state.SetIterationTime(msSince(timer) / 1000);
    }
}
BENCHMARK(BM_ReadEveryRowFromDisk)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

// One step: to the end and painted, then back to the top and painted.
template <typename View>
void scrollSteps(benchmark::State &state, View &view)
{
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        view.scrollToBottom();
        view.viewport()->repaint();
        view.scrollToTop();
        view.viewport()->repaint();
        state.SetIterationTime(msSince(timer) / 1000);
    }
}

void BM_ScrollEndAndBack(benchmark::State &state)
{
    const auto model = filledModel();
    QTreeView view;
    setUpView(view);
    view.setModel(model.get());
    QApplication::processEvents();
    scrollSteps(state, view);
}
BENCHMARK(BM_ScrollEndAndBack)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

void BM_Widget_Fill(benchmark::State &state)
{
    libraryPaths();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const auto list = filledWidget();
        state.SetIterationTime(msSince(timer) / 1000);
        benchmark::DoNotOptimize(list->topLevelItemCount());
    }
}
BENCHMARK(BM_Widget_Fill)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_Widget_SortByName(benchmark::State &state)
{
    for (auto _ : state) {
        const auto list = filledWidget();
        QElapsedTimer timer;
        timer.start();
        list->sortItems(0, Qt::AscendingOrder);
        state.SetIterationTime(msSince(timer) / 1000);
    }
}
BENCHMARK(BM_Widget_SortByName)->Unit(benchmark::kMillisecond)->Iterations(1)->UseManualTime();

void BM_Widget_ScrollEndAndBack(benchmark::State &state)
{
    const auto list = filledWidget();
    setUpView(*list);
    QApplication::processEvents();
    scrollSteps(state, *list);
}
BENCHMARK(BM_Widget_ScrollEndAndBack)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("rows", std::to_string(Rows));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
