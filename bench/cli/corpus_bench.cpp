// lumo-cli similar's --turned and --grey on the real-photo corpus (truth.tsv names each
// variant's original and how it was made), its catalogue made by `lumo-cli add` as a user
// makes it, grouped at every level 0 .. 50 without an option, with --turned, with --grey
// and with both:
//   copies_in_group/...  at level 20: of the 20 turned ("rot90"), mirrored ("mirror") and
//                        grey ("gray") copies, how many share a group with their original;
//   first_mixed_level    the lowest level at which a group holds pictures of two different
//                        originals (51: none up to 50), and how many such groups level 20 has.
//
//   ../shared/tools/make_corpus.sh /work/data/corpus
//   build/bin/bench_corpus        (LUMO_CORPUS_DIR names another folder)

#include "catalogue/catalogue.h"
#include "search/similargrouping.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr int TargetLevel = 20;

struct Corpus {
    SignatureTable table;
    QHash<QString, QString> originalOf; // every picture's original (an original's is itself)
    QHash<QString, QString> kindOf;     // variants only: how they were made
};

// The corpus's catalogue and truth, or an empty table when there is no corpus.
Corpus loadCorpus(const QString &folder, const QString &catalogue)
{
    Corpus corpus;
    QFile truth(folder + QStringLiteral("/truth.tsv"));
    if (!truth.open(QIODevice::ReadOnly))
        return corpus;
    const QList<QByteArray> lines = truth.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split('\t');
        if (fields.size() != 3)
            continue;
        const QString variant = QDir::cleanPath(folder + QLatin1Char('/') + QString::fromUtf8(fields[0]));
        const QString original = QDir::cleanPath(folder + QLatin1Char('/') + QString::fromUtf8(fields[1]));
        corpus.originalOf[variant] = original;
        corpus.originalOf[original] = original;
        corpus.kindOf[variant] = QString::fromUtf8(fields[2]);
    }
    QProcess add;
    add.start(QStringLiteral(LUMO_CLI), {QStringLiteral("add"), catalogue, folder});
    if (!add.waitForFinished(-1) || add.exitCode() != 0 || loadCatalogue(catalogue, corpus.table).failed())
        corpus.table = SignatureTable();
    return corpus;
}

struct Outcome {
    QHash<QString, int> together; // per kind: copies in the same group as their original
    int mixedGroups = 0;          // groups holding pictures of two originals
};

Outcome judge(const Corpus &corpus, const std::vector<SimilarGroup> &groups)
{
    Outcome outcome;
    for (const SimilarGroup &group : groups) {
        std::vector<int> entries = group.members;
        entries.push_back(group.base);
        QSet<QString> names, originals;
        for (int entry : entries) {
            names.insert(corpus.table.name(entry));
            originals.insert(corpus.originalOf.value(corpus.table.name(entry), corpus.table.name(entry)));
        }
        outcome.mixedGroups += originals.size() > 1;
        for (const QString &name : std::as_const(names)) {
            if (corpus.kindOf.contains(name) && names.contains(corpus.originalOf.value(name)))
                ++outcome.together[corpus.kindOf.value(name)];
        }
    }
    return outcome;
}

void BM_CorpusCopies(benchmark::State &state, SimilarRule rule)
{
    static QTemporaryDir dir;
    const QString folder = qEnvironmentVariable("LUMO_CORPUS_DIR", QStringLiteral("/work/data/corpus"));
    static const Corpus corpus = loadCorpus(folder, dir.filePath(QStringLiteral("corpus.sbx")));
    if (corpus.table.count() == 0)
        return state.SkipWithError("no corpus: make it first (see the head of this file)");
    Outcome atTarget;
    int firstMixed = 51;
    for (auto _ : state) {
        firstMixed = 51;
        for (int level = 0; level <= 50; ++level) {
            const Outcome outcome = judge(corpus, findSimilarGroups(corpus.table, level, QThread::idealThreadCount(), rule));
            if (outcome.mixedGroups > 0)
                firstMixed = std::min(firstMixed, level);
            if (level == TargetLevel)
                atTarget = outcome;
        }
    }
    for (const char *kind : {"rot90", "mirror", "gray"})
        state.counters[std::string("at20_") + kind] = atTarget.together.value(QLatin1String(kind));
    state.counters["at20_mixed_groups"] = atTarget.mixedGroups;
    state.counters["first_mixed_level"] = firstMixed;
}
BENCHMARK_CAPTURE(BM_CorpusCopies, plain, SimilarRule{})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CorpusCopies, turned, SimilarRule{true, false})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CorpusCopies, grey, SimilarRule{false, true})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CorpusCopies, turned_grey, SimilarRule{true, true})->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
