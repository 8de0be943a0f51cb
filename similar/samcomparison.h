#pragma once
// The comparisons of a comparison run, computed on a thread pool a block of bases at a
// time, each block by one pool thread, and handed to the user-interface thread base by
// base, in base order. While the user-interface thread settles one block the pool already
// computes the next ones; when it has to wait, it waits for several blocks at once, so
// that it wakes (and takes a processor from the pool) seldom.

#include "outside/workpool.h"
#include "search/similargrouping.h"

#include <QFuture>
#include <QObject>

#include <deque>
#include <memory>
#include <optional>
#include <vector>

template <typename T>
class QFutureWatcher;

class SamComparison : public QObject
{
    Q_OBJECT
public:
    explicit SamComparison(QObject *parent = nullptr);
    ~SamComparison() override;

    // Starts a search over the table as it is now; an earlier search is dropped. `apart`:
    // entries never grouped together. The signatures are taken and packed on the pool
    // (for a million entries that is most of a second), so the table must stay as it is
    // until the first base is had or the search is cancelled.
    void start(const SignatureTable &table, int level, SimilarRule rule = {},
               std::shared_ptr<const SimilarApart> apart = {});
    // Drops the search and its copy of the signatures; rows still being computed are thrown
    // away when they end. A search still taking the table's signatures is waited for.
    void cancel();

    struct Base
    {
        int index;                    // the base's entry
        const std::vector<int> *row;  // the later entries within the level, ascending
        // How each entry of the row matched; null for the plain rule.
        const std::vector<SimilarMatch> *matches;
    };
    // The next base to settle, once its row is computed; none while it is being computed or
    // when every base has been settled.
    std::optional<Base> current();
    // Goes on to the next base; true when that ended a block.
    bool advance();
    // Every base has been settled (or no search is going on).
    bool atEnd() const { return m_blocks.empty() && !m_preparing.isValid(); }

    bool isTaken(int entry) const { return m_search->isTaken(entry); }
    void take(int entry) { m_search->take(entry); }
    bool join(int base, int entry) { return m_search->join(base, entry); }

signals:
    // After current() had no base: blocks' rows are computed, current() may have one now.
    void rowsReady();

private:
    // A block's rows and, beyond the plain rule, how their entries matched.
    struct Rows
    {
        std::vector<std::vector<int>> entries;
        std::vector<std::vector<SimilarMatch>> matches;
    };
    struct Pending
    {
        SimilarSearch::Block block;
        QFuture<Rows> future;
        Rows rows; // filled once the future has finished
        bool collected = false;
    };

    struct RowsOf;
    void launch();
    void prepared();

    std::shared_ptr<SimilarSearch> m_search;
    std::deque<Pending> m_blocks;
    QFutureWatcher<Rows> *m_waitingFor = nullptr;
    // The search being made on the pool; no future once it is had (or none is wanted).
    QFuture<std::shared_ptr<SimilarSearch>> m_preparing;
    QFutureWatcher<std::shared_ptr<SimilarSearch>> *m_preparation = nullptr;
    // The comparison's own threads, so that no other work queues behind a search.
    WorkPool m_pool;
    bool m_withMatches = false;
    size_t m_position = 0; // of the current base in the front block
    bool m_allCut = true;
};
