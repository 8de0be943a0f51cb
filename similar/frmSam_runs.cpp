// The two runs. Each starts from its 100 ms timer and goes on in slices from the event
// loop: a slice places pictures (the list run, up to ListSlicePictures of them) or settles
// bases (the comparison run, up to the end of a block or the first row still being
// computed) for at most SliceMs, then returns, so that window events are served between
// slices. Nothing but the stop flag changes under a run.

#include "frmSam.h"

#include "samcomparison.h"
#include "samgrid.h"
#include "samowner.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>

namespace {
// The longest a slice keeps the events waiting.
constexpr qint64 SliceMs = 10;
// The list run lets events through at least every so many pictures.
constexpr int ListSlicePictures = 32;
} // namespace

void frmSam::timListTimer()
{
    timList->stop();
    beginRun(SamRun::List);
}

void frmSam::timLikeTimer()
{
    timLike->stop();
    beginRun(SamRun::Comparison);
}

void frmSam::beginRun(SamRun run)
{
    // The pairs marked not alike are read first: a damaged file is told in a message.
    std::shared_ptr<const SimilarApart> apart;
    if (run == SamRun::Comparison) {
        const QPointer<frmSam> self(this);
        apart = notAlikeApart(m_owner->samCatalogue());
        if (!self)
            return;
    }
    setBusy(true);
    lblStatus->clear();
    picList->clearPlacement();
    // Nothing is selected on a new grid.
    lblTitle->hide();
    setPicListToolTip(QString());

    // The catalogue as the run starts; it cannot change while the window is modal.
    const SignatureTable &table = m_owner->samCatalogue();
    m_names.clear();
    m_names.reserve(table.count());
    for (int i = 0; i < table.count(); ++i)
        m_names.append(table.name(i));
    m_run = run;
    m_groups.clear();
    m_next = 0;
    m_baseOpen = false;
    m_progress.clear();
    m_matches.clear();
    // The slider and the options cannot change while the window is modal, so one reading
    // serves every comparison.
    m_searchRule = run == SamRun::Comparison ? m_owner->similarRule() : SimilarRule{};
    m_chosenRun = run == SamRun::Comparison && m_chosenNext.has_value();
    if (m_chosenRun)
        startChosen(table, std::move(apart));
    else if (run == SamRun::Comparison)
        m_comparison->start(table, m_owner->likeLevel(), m_searchRule, std::move(apart));
    m_state = State::Running;
    step();
}

void frmSam::step()
{
    if (m_inStep || m_paused || m_state != State::Running)
        return;
    m_inStep = true;
    const Next next = m_run == SamRun::List ? listSlice() : m_chosenRun ? chosenSlice() : comparisonSlice();
    m_inStep = false;
    if (m_state != State::Running)
        return; // closed under the question
    if (!m_progress.isEmpty() && m_progress != m_title)
        setTitle(m_progress);
    if (next == Next::End)
        endRun();
    else if (next == Next::Yield)
        m_stepTimer.start();
    // Next::Wait: rowsReady starts the next slice.
}

frmSam::Next frmSam::listSlice()
{
    QElapsedTimer slice;
    slice.start();
    for (int placed = 0;;) {
        // The list run stops at once, without a question.
        if (m_stop || m_next >= m_names.size())
            return Next::End;
        const QString &path = m_names.at(m_next);
        m_progress = samProgressTitle(SamRun::List, path, m_next + 1, int(m_names.size()));
        picList->place(path);
        ++m_next;
        if (++placed >= ListSlicePictures || slice.hasExpired(SliceMs))
            return Next::Yield;
    }
}

frmSam::Next frmSam::comparisonSlice()
{
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        if (!m_baseOpen) {
            // A stop request is answered at the start of a base: Yes ends the run, No goes
            // on with this base.
            if (stopAnsweredYes())
                return Next::End;
            const auto base = m_comparison->current();
            if (!base)
                return m_comparison->atEnd() ? Next::End : Next::Wait;
            if (m_comparison->isTaken(base->index)) {
                if (m_comparison->advance())
                    return Next::Yield;
                continue;
            }
            m_progress = samProgressTitle(SamRun::Comparison, m_names.at(base->index), base->index + 1,
                                          int(m_names.size()), m_searchRule);
            m_baseOpen = true;
            m_member = 0;
            m_found = false;
        }

        const SamComparison::Base base = *m_comparison->current();
        const std::vector<int> &row = *base.row;
        // A stop request ends the base: the members placed so far stay, then the base.
        while (m_member < row.size() && !m_stop) {
            const size_t at = m_member++;
            const int member = row[at];
            if (!m_comparison->join(base.index, member))
                continue;
            if (!m_found)
                m_groups.emplace_back(); // the base's first member opens its group
            m_found = true;
            placeMember(m_names.at(member), base.matches ? (*base.matches)[at] : SimilarMatch{});
            if (slice.hasExpired(SliceMs))
                return Next::Yield;
        }
        if (m_found) {
            placeBase(m_names.at(base.index));
            m_comparison->take(base.index);
        }
        m_baseOpen = false;
        if (m_comparison->advance() || slice.hasExpired(SliceMs))
            return Next::Yield;
    }
}

bool frmSam::stopAnsweredYes()
{
    if (!m_stop)
        return false;
    const QPointer<frmSam> self(this);
    const bool yes = askStop();
    if (!self || m_state != State::Running || yes)
        return true;
    m_stop = false;
    return false;
}

void frmSam::placeMember(const QString &member, const SimilarMatch &match)
{
    if (match != SimilarMatch{})
        m_matches.insert(picList->placedCount(), match);
    picList->place(member, int(m_groups.size()) - 1, false, samMatchMark(match));
    m_groups.back().members.append(member);
}

void frmSam::placeBase(const QString &base)
{
    picList->place(base, int(m_groups.size()) - 1, true);
    m_groups.back().base = base;
}
