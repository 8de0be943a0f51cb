// The compare window going from group to group of 4 photos of 12 MP each (4000 x 3000,
// made at quality 90 unless LUMO_COMPARE_DIR names a folder of 8 or more JPEG photos), in a
// 1280 x 800 window: from PageDown to the first pane's picture drawn, and to all four;
// and the longest the event loop waited meanwhile (a 1 ms timer notes every turn). Each
// group is left as soon as its pictures are shown unless LUMO_COMPARE_STAY_MS says longer.
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_compare
//   build/bin/bench_compare

#include <compareowner.h>
#include <frmCompare.h>
#include "pictures/picturefacts.h"

#include "benchmain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <functional>
#include <string>
#include <random>

namespace {

QTemporaryDir *g_dir = nullptr;

// Two groups of four, as the similar-pictures window would hand them over.
class BenchOwner : public CompareOwner
{
public:
    QWidget window;
    QList<QStringList> groups;
    std::shared_ptr<PictureFactsCache> cache = std::make_shared<PictureFactsCache>();

    QWidget *compareOwnerWindow() override { return &window; }
    int compareGroupCount() const override { return int(groups.size()); }
    QStringList compareGroup(int group) const override { return groups.value(group); }
    PictureGroup comparePictureGroup(int group) const override
    {
        // Shown members first and the base last.
        const QStringList shown = groups.value(group);
        return shown.isEmpty() ? PictureGroup{} : PictureGroup{shown.last(), shown.mid(0, shown.size() - 1)};
    }
    void showCompareGroup(int) override {}
    bool isPictureMarked(const QString &) const override { return false; }
    void markInGroup(int, const QStringList &) override {}
    void deleteMarked(const QStringList &) override {}
    void markNotAlikeInGroup(int, const QString &) override {}
    QStringList compareProtectedFolders() const override { return {}; }
    std::shared_ptr<PictureFactsCache> compareFactsCache() const override { return cache; }
    bool compareCanChange() const override { return true; }
};

QStringList photos()
{
    const QString given = qEnvironmentVariable("LUMO_COMPARE_DIR");
    if (!given.isEmpty()) {
        QStringList paths;
        const QStringList names = QDir(given).entryList({"*.jpg", "*.JPG", "*.jpeg"}, QDir::Files, QDir::Name);
        for (const QString &name : names)
            paths << QDir(given).filePath(name);
        return paths.mid(0, 8);
    }
    // Gradients under noise: a decode of real work, of a photo's file size.
    QStringList paths;
    std::mt19937 random(7);
    for (int i = 0; i < 8; ++i) {
        QImage image(4000, 3000, QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                const int noise = int(random() % 24);
                line[x] = qRgb((x / 16 + noise + i * 20) % 256, (y / 12 + noise) % 256, (x + y) / 28 % 256);
            }
        }
        paths << g_dir->filePath(QStringLiteral("photo%1.jpg").arg(i));
        image.save(paths.last(), "JPEG", 90);
    }
    return paths;
}

void BM_NextGroup(benchmark::State &state)
{
    const QStringList paths = photos();
    if (paths.size() < 8) {
        state.SkipWithError("fewer than 8 photos");
        return;
    }
    BenchOwner owner;
    owner.groups = {paths.mid(0, 4), paths.mid(4, 4)};
    frmCompare::ShowEx(&owner, 0);
    frmCompare *window = frmCompare::loaded();
    window->resize(1280, 800);

    const auto waitFor = [&](const std::function<bool()> &done) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        return clock.nsecsElapsed() / 1e6;
    };
    const auto allShown = [window] {
        for (int pane = 0; pane < 4; ++pane) {
            if (!window->isPictureShown(pane))
                return false;
        }
        return true;
    };
    waitFor(allShown);

    // LUMO_COMPARE_STAY_MS: how long each group is looked at before the next; the facts
    // are read meanwhile, and a group left while they are being read slows the next one.
    const int stay = qEnvironmentVariableIntValue("LUMO_COMPARE_STAY_MS");
    double worstFirst = 0, worstAll = 0, worstGap = 0;
    double firstSum[2] = {0, 0}; // by the group shown
    int shown[2] = {0, 0};
    for (auto _ : state) {
        QElapsedTimer looked;
        looked.start();
        waitFor([&] { return looked.elapsed() >= stay; });
        QElapsedTimer turn;
        qint64 gap = 0;
        QTimer ticker;
        ticker.setInterval(1);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            gap = std::max(gap, turn.restart());
        });
        QElapsedTimer clock;
        clock.start();
        turn.start();
        ticker.start();
        QKeyEvent key(QEvent::KeyPress, window->group() == 0 ? Qt::Key_PageDown : Qt::Key_PageUp, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &key);
        waitFor([window] { return window->isPictureShown(0); });
        QCoreApplication::processEvents(); // and drawn
        const double first = clock.nsecsElapsed() / 1e6;
        waitFor(allShown);
        const double all = clock.nsecsElapsed() / 1e6;
        ticker.stop();
        state.SetIterationTime(first / 1000);
        firstSum[window->group()] += first;
        ++shown[window->group()];
        worstFirst = std::max(worstFirst, first);
        worstAll = std::max(worstAll, all);
        worstGap = std::max(worstGap, double(gap));
    }
    state.counters["first_ms_max"] = worstFirst;
    state.counters["all_ms_max"] = worstAll;
    state.counters["event_gap_ms_max"] = worstGap;
    // The groups apart: with LUMO_COMPARE_DIR, each is four of the folder's photos in name order.
    for (int group = 0; group < 2; ++group)
        state.counters["first_ms_mean_group" + std::to_string(group)] = firstSum[group] / std::max(1, shown[group]);
    frmCompare::unload();
}
BENCHMARK(BM_NextGroup)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

} // namespace

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv, g_dir);
}
