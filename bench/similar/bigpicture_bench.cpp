// Four pictures of 13,800 x 13,800 pixels (190 MP, a PNG of one colour, 0.2 MB each): the
// first shown in the viewer, then the four in the compare window at 1280 x 800, fitted and
// then at their own size (key 1). The counters: the process's peak memory over all that
// (the making of the pictures left out), the pixels the panes hold, and Qt's allocation
// limit before and after.
//
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_bigpictures
//   /usr/bin/time -v build/bin/bench_bigpictures

#include <comparepane.h>
#include <compareowner.h>
#include <frmCompare.h>
#include <frmView.h>

#include "benchmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <functional>

namespace {

QTemporaryDir *g_dir = nullptr;

class BenchOwner : public CompareOwner
{
public:
    QWidget window;
    QStringList group;
    std::shared_ptr<PictureFactsCache> cache = std::make_shared<PictureFactsCache>();

    QWidget *compareOwnerWindow() override { return &window; }
    int compareGroupCount() const override { return 1; }
    QStringList compareGroup(int) const override { return group; }
    PictureGroup comparePictureGroup(int) const override { return PictureGroup{group.last(), group.mid(0, 3)}; }
    void showCompareGroup(int) override {}
    bool isPictureMarked(const QString &) const override { return false; }
    void markInGroup(int, const QStringList &) override {}
    void deleteMarked(const QStringList &) override {}
    void markNotAlikeInGroup(int, const QString &) override {}
    QStringList compareProtectedFolders() const override { return {}; }
    std::shared_ptr<PictureFactsCache> compareFactsCache() const override { return cache; }
    bool compareCanChange() const override { return true; }
};

QStringList bigPictures()
{
    QStringList paths;
    const QString first = g_dir->filePath(QStringLiteral("big0.png"));
    {
        QImage image(13800, 13800, QImage::Format_RGB888);
        image.fill(QColor(230, 230, 220));
        if (!image.save(first, "PNG"))
            return {};
    }
    paths << first;
    for (int i = 1; i < 4; ++i) {
        paths << g_dir->filePath(QStringLiteral("big%1.png").arg(i));
        QFile::copy(first, paths.last());
    }
    return paths;
}

// The peak resident memory since the last reset, in MB.
double peakMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return -1;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

void waitFor(const std::function<bool()> &done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

void BM_BigPictures(benchmark::State &state)
{
    const QStringList paths = bigPictures();
    if (paths.size() < 4) {
        state.SkipWithError("cannot make the pictures");
        return;
    }
    const int limitBefore = QImageReader::allocationLimit();
    double peak = 0, heldMb = 0;
    for (auto _ : state) {
        resetPeak();
        BenchOwner owner;
        owner.group = paths;
        owner.window.show();
        frmView::ShowEx(&owner.window, paths.first());
        waitFor([] { return frmView::loaded() && frmView::loaded()->isVisible() && !frmView::loaded()->isBusy(); },
                120000);
        frmView::unload();
        QCoreApplication::processEvents();

        frmCompare::ShowEx(&owner, 0);
        frmCompare *window = frmCompare::loaded();
        window->resize(1280, 800);
        const QList<ComparePane *> panes = window->findChildren<ComparePane *>();
        const auto allShown = [window] {
            for (int pane = 0; pane < 4; ++pane)
                if (!window->isPictureShown(pane))
                    return false;
            return true;
        };
        waitFor(allShown, 120000);
        // At their own size: each pane decodes the picture again, as large as it may.
        QKeyEvent key(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &key);
        const auto held = [&panes] {
            double bytes = 0;
            for (const ComparePane *pane : panes)
                bytes += double(pane->picture().image.sizeInBytes());
            return bytes;
        };
        // Done once what the panes hold has grown and then not for 5 s (or not in 60 s).
        const double fitted = held();
        double last = fitted;
        QElapsedTimer still;
        still.start();
        waitFor([&] {
            if (held() != last) {
                last = held();
                still.restart();
            }
            return still.elapsed() > (last > fitted ? 5000 : 60000);
        }, 300000);
        heldMb = held() / (1024 * 1024);
        frmCompare::unload();
        QCoreApplication::processEvents();
        peak = peakMb();
    }
    state.counters["peak_mb"] = peak;
    state.counters["panes_hold_mb"] = heldMb;
    state.counters["limit_mb_before"] = limitBefore;
    state.counters["limit_mb_after"] = QImageReader::allocationLimit();
}
BENCHMARK(BM_BigPictures)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    return runWindowBenchmarks(argc, argv, g_dir);
}
