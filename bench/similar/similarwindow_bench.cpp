// The similar-pictures window opened from the main window, as a user starts it:
// - the comparison run over 32,767 random signatures with no similar pair, plain and with
//   turned and mirrored copies looked for, against `lumo-cli similar` (with --turned) on
//   the same catalogue timed in the same run, and the longest gap between two events
//   served during the run (a 1 ms timer notes every turn of the event loop);
// - the same run over a set of numbered parts (LUMO_BIG_SET) against lumo-cli on its parts;
// - the list run of the 2,000-picture scale corpus: when every thumbnail of the first
//   screen has been drawn, when the run itself ends, and the longest event gap;
// - the same list run when the shared thumbnail folder holds a valid thumbnail of every
//   picture (as a file manager leaves it), then scrolled a page at a time from the first
//   row to the last: how long after each scroll its screen was drawn with every thumbnail,
//   beside the same with an empty thumbnail folder;
// - the list run of 32,767 entries naming real files (links to the scale corpus): the peak
//   resident size of the process, also after scrolling from the first row to the last.
// Times count from the command, which calls ShowEx at once.
//
//   ../shared/tools/make_scale_corpus.sh 2000 /work/data/scale2000
//   cmake -S . -B build -DLUMO_BUILD_BENCH=ON && cmake --build build --target bench_similarwindow lumo-cli
//   build/bin/bench_similarwindow        (LUMO_SCALE_DIR names another folder)

#include "../cli/randomsignatures.h"
#include "../eventlatency.h"
#include "benchwindow.h"
#include "thumbnailbench.h"

#include "catalogue/catalogue.h"
#include "catalogue/catalogueset.h"
#include <frmLumo.h>
#include <frmSam.h>
#include <outside/scripteddialogs.h>
#include <samgrid.h>
#include <thumbnailcache.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMenuBar>
#include <QProcess>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>

#include <sys/resource.h>
#include <time.h>

namespace {

QTemporaryDir *g_dir = nullptr;
QStringList g_corpus;

// An empty folder for shared thumbnails, so that every run decodes what it shows (and,
// with the default settings, writes the shared thumbnails as a first run does).
void freshThumbnailFolder()
{
    static int made = 0;
    qputenv("XDG_CACHE_HOME", g_dir->filePath(QStringLiteral("cache%1").arg(++made)).toLocal8Bit());
}

void prepare()
{
    g_dir = new QTemporaryDir;
    // Settings and shared thumbnails of this run stay in the temporary folder.
    qputenv("XDG_CONFIG_HOME", g_dir->filePath(QStringLiteral("config")).toLocal8Bit());
    qputenv("XDG_DATA_HOME", g_dir->filePath(QStringLiteral("data")).toLocal8Bit());
    freshThumbnailFolder();
    const QDir corpus(qEnvironmentVariable("LUMO_SCALE_DIR", QStringLiteral("/work/data/scale2000")));
    const QStringList names = corpus.entryList({QStringLiteral("*.jpg")}, QDir::Files, QDir::Name);
    for (const QString &name : names)
        g_corpus.append(corpus.filePath(name));
}

// Notes every turn of the event loop; the longest gap between turns is how long the window
// could not repaint or see Esc.
class EventGap
{
public:
    EventGap()
    {
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { m_longest = std::max(m_longest, m_since.restart()); });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_ticker.start(1);
    }
    qint64 stop()
    {
        m_ticker.stop();
        return m_longest;
    }

private:
    QTimer m_ticker;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

// Serves events until done() holds or timeoutMs went by; whether done() holds.
template <typename Done>
bool serveUntil(Done done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.hasExpired(timeoutMs))
            loop.quit();
    });
    poll.start(1);
    if (!done())
        loop.exec();
    return done();
}

void serveFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

QString writeCatalogue(const QString &name, const SignatureTable &table)
{
    const QString file = g_dir->filePath(name);
    if (saveCatalogue(file, table).failed())
        qFatal("cannot write %s", qPrintable(file));
    return file;
}

double seconds(const QElapsedTimer &clock) { return double(clock.nsecsElapsed()) / 1e9; }

// The processor time this thread has used: what the user-interface thread takes from the pool.
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Processor time (user and system) of this process, or of its finished children.
double processorSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct Timed {
    double seconds = 0;
    double processor = 0; // seconds of processor time used meanwhile
};

// `lumo-cli similar --level LEVEL` (with --turned) on the catalogues; negative seconds when
// it failed or found a group.
Timed timeLumoCli(const QStringList &catalogues, bool turned, int level = 50)
{
    const double before = processorSeconds(RUSAGE_CHILDREN);
    QElapsedTimer clock;
    clock.start();
    QStringList arguments{QStringLiteral("similar"), QStringLiteral("--level"), QString::number(level)};
    if (turned)
        arguments << QStringLiteral("--turned");
    QProcess cli;
    cli.start(QStringLiteral(LUMO_CLI), arguments << catalogues);
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0 || !cli.readAllStandardOutput().isEmpty())
        return {-1, 0};
    return {seconds(clock), processorSeconds(RUSAGE_CHILDREN) - before};
}

struct ComparisonRun {
    Timed time;
    double uiThreadSeconds = 0; // processor time the user-interface thread used meanwhile
    qint64 gap = 0;
    double inputWaitP99Ms = 0; // how long a posted event waited, 99th percentile
    double inputWaitLongestMs = 0;
    bool foundNothing = false;
};

// "類似検索" at `level` from the main window (with "回転・反転した画像も探す" checked); with
// `probe` a 1 ms timer notes every turn of the event loop and posted events tell how long
// input waited (they cost the run time of their own, so the timed run goes without).
ComparisonRun runComparison(const QString &catalogue, bool probe, bool turned, int level = 50)
{
    ComparisonRun run;
    MainWindow main(catalogue);
    main.window.findChild<QSlider *>(QStringLiteral("sldLike"))->setValue(level);
    if (turned)
        main.run("mnuJ5");
    EventGap events;
    std::optional<EventLatency> input;
    if (probe) {
        events.start();
        input.emplace();
    }
    QElapsedTimer clock;
    clock.start();
    const double uiBefore = threadCpuSeconds();
    const double processBefore = processorSeconds(RUSAGE_SELF);
    main.run("mnuJ2");
    run.uiThreadSeconds = threadCpuSeconds() - uiBefore;
    run.time = {seconds(clock), processorSeconds(RUSAGE_SELF) - processBefore};
    run.gap = events.stop();
    if (input) {
        input->stop();
        run.inputWaitP99Ms = input->percentileMs(0.99);
        run.inputWaitLongestMs = input->longestMs();
    }
    run.foundNothing = frmSam::loaded()->placement() == QStringList{QString()};
    return run;
}

// The window's run beside lumo-cli timed just before and just after it, so that a change in
// what else the machine runs weighs on both alike; with the processor time each used, which
// tells work done from processor time left to them by the rest of the machine.
void BM_ComparisonRun32767(benchmark::State &state)
{
    const bool turned = state.range(0) != 0;
    const QString catalogue = writeCatalogue(QStringLiteral("random32767.sbx"), randomSignatureTable(SignatureTable::MaxEntries));
    Timed cli;
    ComparisonRun timed, probed;
    for (auto _ : state) {
        const Timed before = timeLumoCli({catalogue}, turned);
        timed = runComparison(catalogue, false, turned);
        const Timed after = timeLumoCli({catalogue}, turned);
        probed = runComparison(catalogue, true, turned);
        if (before.seconds < 0 || after.seconds < 0 || !timed.foundNothing || !probed.foundNothing)
            return state.SkipWithError("lumo-cli failed, or a group was found");
        cli = {(before.seconds + after.seconds) / 2, (before.processor + after.processor) / 2};
        state.SetIterationTime(timed.time.seconds);
    }
    state.counters["window_s"] = timed.time.seconds;
    state.counters["lumo_cli_s"] = cli.seconds;
    state.counters["ratio"] = timed.time.seconds / cli.seconds;
    state.counters["window_cpu_s"] = timed.time.processor;
    state.counters["lumo_cli_cpu_s"] = cli.processor;
    state.counters["ui_thread_cpu_s"] = timed.uiThreadSeconds;
    state.counters["longest_gap_ms"] = double(probed.gap);
    state.counters["input_wait_p99_ms"] = probed.inputWaitP99Ms;
    state.counters["input_wait_longest_ms"] = probed.inputWaitLongestMs;
}
BENCHMARK(BM_ComparisonRun32767)->ArgName("turned")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// The same over a set of numbered parts (LUMO_BIG_SET: its first file, e.g. the output of
// tools/make_big_catalogue.py) at the level given, lumo-cli reading the same parts just
// before and after the window's run. Only the posted events probe this run: at this size a
// second run of the window costs too long.
void BM_ComparisonRunSet(benchmark::State &state)
{
    const QString first = qEnvironmentVariable("LUMO_BIG_SET");
    if (first.isEmpty())
        return state.SkipWithError("LUMO_BIG_SET names no catalogue set");
    const int level = int(state.range(0));
    const QStringList parts = catalogueSeries(first);
    Timed cli;
    ComparisonRun run;
    for (auto _ : state) {
        const Timed before = timeLumoCli(parts, false, level);
        run = runComparison(first, true, false, level);
        const Timed after = timeLumoCli(parts, false, level);
        if (before.seconds < 0 || after.seconds < 0 || !run.foundNothing)
            return state.SkipWithError("lumo-cli failed, or a group was found");
        cli = {(before.seconds + after.seconds) / 2, (before.processor + after.processor) / 2};
        state.counters["lumo_cli_before_s"] = before.seconds;
        state.counters["lumo_cli_after_s"] = after.seconds;
        state.SetIterationTime(run.time.seconds);
    }
    state.counters["parts"] = double(parts.size());
    state.counters["window_s"] = run.time.seconds;
    state.counters["lumo_cli_s"] = cli.seconds;
    state.counters["ratio"] = run.time.seconds / cli.seconds;
    state.counters["window_cpu_s"] = run.time.processor;
    state.counters["lumo_cli_cpu_s"] = cli.processor;
    state.counters["cpu_ratio"] = run.time.processor / cli.processor;
    state.counters["input_wait_p99_ms"] = run.inputWaitP99Ms;
    state.counters["input_wait_longest_ms"] = run.inputWaitLongestMs;
}
BENCHMARK(BM_ComparisonRunSet)->ArgName("level")->Arg(10)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(1);

// Notes the first paint of the grid, once armed, that draws every thumbnail in view.
class ScreenDrawn : public QObject
{
public:
    QElapsedTimer clock;
    double drawn = -1; // seconds from arming

    void arm()
    {
        drawn = -1;
        clock.start();
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (drawn < 0 && event->type() == QEvent::Paint && screenDecoded(static_cast<SamGrid *>(watched)))
            drawn = seconds(clock);
        return false;
    }
};

// The grid is made inside the command: watches it from the first event on.
class AttachTo : public QTimer
{
public:
    AttachTo(MainWindow &main, QObject *filter)
    {
        connect(this, &QTimer::timeout, [this, &main, filter] {
            if (SamGrid *grid = main.grid()) {
                grid->installEventFilter(filter);
                stop();
            }
        });
        start(0);
    }
};

// The scale corpus as a catalogue (a list run reads no signature).
QString scaleCatalogue()
{
    SignatureTable table;
    for (const QString &path : std::as_const(g_corpus))
        table.append(path, Signature{});
    return writeCatalogue(QStringLiteral("scale.sbx"), table);
}

// A list run started from the main window, its grid watched from the first event on and
// the event loop's turns from the command on; the run has ended when this is made.
struct ListRun
{
    MainWindow main;
    ScreenDrawn screen;
    EventGap events;
    AttachTo attach{main, &screen};
    double runSeconds = 0;

    explicit ListRun(const QString &catalogue)
        : main(catalogue)
    {
        events.start();
        screen.arm();
        main.run("mnuJ3");
        runSeconds = seconds(screen.clock);
    }
    bool firstScreenDrawn() { return serveUntil([this] { return screen.drawn >= 0; }, 10000); }
};

void BM_ListRunScaleCorpus(benchmark::State &state)
{
    if (g_corpus.size() < 2000)
        return state.SkipWithError("make the scale corpus first");
    const QString catalogue = scaleCatalogue();
    double slowestScreen = 0;
    double slowestRun = 0;
    qint64 gap = 0;
    for (auto _ : state) {
        freshThumbnailFolder();
        ListRun run(catalogue);
        if (!run.firstScreenDrawn())
            state.SkipWithError("the first screen was not drawn within 10 s");
        gap = std::max(gap, run.events.stop());
        state.SetIterationTime(run.runSeconds);
        slowestRun = std::max(slowestRun, run.runSeconds);
        slowestScreen = std::max(slowestScreen, run.screen.drawn);
        if (frmSam::loaded()->placement().size() != g_corpus.size())
            state.SkipWithError("the list run did not place every picture");
    }
    state.counters["slowest_run_end_s"] = slowestRun;
    state.counters["slowest_first_screen_s"] = slowestScreen;
    state.counters["longest_gap_ms"] = double(gap);
}
BENCHMARK(BM_ListRunScaleCorpus)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// A list run paged through from the first row to the last, a page further as soon as the
// page before is drawn.
struct Paging {
    double firstScreen = 0; // seconds from the command
    double slowest = 0;     // milliseconds from a scroll to its screen drawn
    double total = 0;
    int pages = 0;
    int over = 0; // pages that took more than 100 ms
    qint64 gap = 0;
    const char *error = nullptr;
};

Paging pageThrough(const QString &catalogue)
{
    Paging paging;
    ListRun run(catalogue);
    if (!run.firstScreenDrawn()) {
        paging.error = "the first screen was not drawn within 10 s";
        return paging;
    }
    paging.firstScreen = run.screen.drawn;
    auto *slider = frmSam::loaded()->findChild<QSlider *>(QStringLiteral("sldList"));
    while (slider->value() < slider->maximum()) {
        run.screen.arm();
        slider->setValue(std::min(slider->value() + slider->pageStep(), slider->maximum()));
        if (!serveUntil([&run] { return run.screen.drawn >= 0; }, 10000)) {
            paging.error = "a screen was not drawn within 10 s";
            return paging;
        }
        const double ms = run.screen.drawn * 1000;
        paging.slowest = std::max(paging.slowest, ms);
        paging.total += ms;
        paging.over += ms > 100;
        ++paging.pages;
    }
    paging.gap = run.events.stop();
    return paging;
}

// Paged through with a valid shared thumbnail of every picture, then, as the reference in
// the same run, with an empty thumbnail folder (every picture decoded, as a first run).
void BM_ListRunSharedThumbnailsPageByPage(benchmark::State &state)
{
    if (g_corpus.size() < 2000)
        return state.SkipWithError("make the scale corpus first");
    static QTemporaryDir filled;
    static const bool ready = fillSharedThumbnails(filled.path(), g_corpus);
    if (!ready)
        return state.SkipWithError("the shared thumbnails could not be made");
    const QString catalogue = scaleCatalogue();
    Paging shared, decoded;
    for (auto _ : state) {
        useCacheHome(filled.path());
        QElapsedTimer clock;
        clock.start();
        shared = pageThrough(catalogue);
        state.SetIterationTime(seconds(clock));
        freshThumbnailFolder();
        decoded = pageThrough(catalogue);
        if (shared.error || decoded.error)
            return state.SkipWithError(shared.error ? shared.error : decoded.error);
    }
    state.counters["pages"] = shared.pages;
    state.counters["first_screen_s"] = shared.firstScreen;
    state.counters["slowest_page_ms"] = shared.slowest;
    state.counters["mean_page_ms"] = shared.total / std::max(shared.pages, 1);
    state.counters["pages_over_100ms"] = shared.over;
    state.counters["longest_gap_ms"] = double(shared.gap);
    state.counters["decoding_slowest_page_ms"] = decoded.slowest;
    state.counters["decoding_mean_page_ms"] = decoded.total / std::max(decoded.pages, 1);
    state.counters["decoding_pages_over_100ms"] = decoded.over;
    state.counters["mean_ratio"] = shared.total / std::max(decoded.total, 1e-9);
}
BENCHMARK(BM_ListRunSharedThumbnailsPageByPage)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

void BM_ListRun32767Memory(benchmark::State &state)
{
    if (g_corpus.isEmpty())
        return state.SkipWithError("make the scale corpus first");
    QTemporaryDir links;
    SignatureTable table;
    for (int i = 0; i < SignatureTable::MaxEntries; ++i) {
        const QString path = links.filePath(QStringLiteral("%1.jpg").arg(i, 5, 10, QLatin1Char('0')));
        QFile::link(g_corpus[i % g_corpus.size()], path);
        table.append(path, Signature{});
    }
    const QString catalogue = writeCatalogue(QStringLiteral("full.sbx"), table);
    double afterRun = 0;
    double peak = 0;
    qint64 gap = 0;
    for (auto _ : state) {
        // The peak of this benchmark alone, not of those before it.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        clear.close();
        freshThumbnailFolder();
        MainWindow main(catalogue);
        EventGap events;
        events.start();
        main.run("mnuJ3");
        gap = events.stop();
        SamGrid *grid = main.grid();
        serveUntil([grid] { return screenDecoded(grid); }, 10000);
        afterRun = statusMiB("VmHWM:");

        // Page by page to the last row, as fast as a user holding PageDown.
        auto *slider = frmSam::loaded()->findChild<QSlider *>(QStringLiteral("sldList"));
        while (slider->value() < slider->maximum()) {
            slider->setValue(slider->value() + slider->pageStep());
            serveFor(30);
        }
        serveUntil([grid] { return screenDecoded(grid); }, 10000);
        serveFor(200);
        peak = statusMiB("VmHWM:");
        if (frmSam::loaded()->placement().size() != SignatureTable::MaxEntries)
            state.SkipWithError("the list run did not place every entry");
    }
    state.counters["peak_after_run_MiB"] = afterRun;
    state.counters["peak_after_scrolling_MiB"] = peak;
    state.counters["longest_gap_ms"] = double(gap);
}
BENCHMARK(BM_ListRun32767Memory)->Unit(benchmark::kMillisecond)->Iterations(1);

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
