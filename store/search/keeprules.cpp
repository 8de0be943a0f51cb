#include "search/keeprules.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>

namespace {

// Detail below this share of the group's most is clearly poorer, whatever the pixels.
constexpr double BestPoorDetail = 0.4;

constexpr std::array<std::pair<KeepRule, const char *>, 6> ruleNames{{
    {KeepRule::Best, "best"},
    {KeepRule::Pixels, "pixels"},
    {KeepRule::Size, "size"},
    {KeepRule::Newest, "newest"},
    {KeepRule::Oldest, "oldest"},
    {KeepRule::Base, "base"},
}};

// Negative when picture a is the better one to keep under the rule, positive when b is.
int compareBy(KeepRule rule, const PictureFacts &a, int ia, const PictureFacts &b, int ib)
{
    auto descending = [](qint64 x, qint64 y) { return x > y ? -1 : x < y ? 1 : 0; };
    switch (rule) {
    case KeepRule::Pixels:
        return descending(a.pixels, b.pixels);
    case KeepRule::Size:
        return descending(a.bytes, b.bytes);
    case KeepRule::Newest:
        return descending(a.modified, b.modified);
    case KeepRule::Oldest:
        return -descending(a.modified, b.modified);
    case KeepRule::Base:
        return ia < ib ? -1 : ia > ib ? 1 : 0;
    case KeepRule::Best:
        break; // ranks a whole group at once: narrowBest
    }
    return 0;
}

// Keeps the candidates whose value is within `tolerance` (a fraction) of the largest.
template <typename Value>
void keepNearLargest(std::vector<int> &candidates, const Value &value, double tolerance)
{
    double largest = value(candidates.front());
    for (int i : candidates)
        largest = std::max(largest, double(value(i)));
    std::erase_if(candidates, [&](int i) { return double(value(i)) < largest * (1.0 - tolerance); });
}

// The quality a picture really holds: that of an earlier, coarser compression where it shows one.
int heldQuality(const PictureFacts &facts)
{
    return facts.primaryQuality > 0 ? std::min(facts.primaryQuality, facts.quality) : facts.quality;
}

void narrowBest(std::vector<int> &candidates, const std::vector<PictureFacts> &facts)
{
    keepNearLargest(candidates, [&](int i) { return double(facts[i].pixels); }, BestPixelTolerance);
    if (std::any_of(candidates.begin(), candidates.end(), [&](int i) { return !facts[i].grey; }))
        std::erase_if(candidates, [&](int i) { return facts[i].grey; });
    if (std::any_of(candidates.begin(), candidates.end(), [&](int i) { return facts[i].raw; }))
        std::erase_if(candidates, [&](int i) { return !facts[i].raw; });
    // Detail at the coarsest quantisation among them. Unmeasured detail is level with
    // everything: the later steps decide.
    if (std::all_of(candidates.begin(), candidates.end(), [&](int i) { return bool(facts[i].counts); })) {
        std::vector<const PictureFacts *> measured;
        for (int i : candidates)
            measured.push_back(&facts[i]);
        const DetailSteps steps = coarsestSteps(measured);
        std::vector<double> detail(facts.size(), 0.0);
        std::vector<double> fine(facts.size(), 0.0);
        for (int i : candidates) {
            detail[i] = detailAtSteps(facts[i], steps);
            fine[i] = detailAtSteps(facts[i], steps, DetailFrequencies::Fine);
        }
        // First only the clearly poorer copies go (blurred, blown up, re-compressed hard):
        // a copy cropped by a column and re-saved finer gains detail from its original's
        // blocking, so a column more decides before the finer differences of detail. Those
        // are told by the finer frequencies alone, which a slight blur takes.
        keepNearLargest(candidates, [&](int i) { return detail[i]; }, BestPoorDetail);
        keepNearLargest(candidates, [&](int i) { return double(facts[i].pixels); }, 0.0);
        keepNearLargest(candidates, [&](int i) { return fine[i]; }, BestDetailTolerance);
    }
    keepNearLargest(candidates, [&](int i) { return double(facts[i].pixels); }, 0.0);
    // Quality decides only on a real loss: a finer setting holds no more than its source.
    int finest = 0;
    for (int i : candidates)
        finest = std::max(finest, heldQuality(facts[i]));
    std::erase_if(candidates, [&](int i) {
        const int held = heldQuality(facts[i]);
        return held > 0 && held <= BestLossQuality && finest - held >= BestLossSteps;
    });
    // At the same content, a picture that shows an earlier compression is a re-save of one
    // saved at about that quality: where such a one is among them, showing none, it is nearer
    // the source. Against any other (a tone change hides the earlier grid of a copy) it says
    // nothing: the picture that shows one may be the original, itself re-saved once.
    std::vector<int> sources;
    for (int i : candidates) {
        if (facts[i].primaryQuality == 0 && facts[i].quality > 0)
            sources.push_back(i);
    }
    std::erase_if(candidates, [&](int i) {
        return facts[i].primaryQuality > 0 && std::any_of(sources.begin(), sources.end(), [&](int s) {
                   return std::abs(facts[s].quality - facts[i].primaryQuality) <= BestSourceSteps;
               });
    });
}

// The candidates the rule likes best; all of them when it cannot tell them apart.
void narrow(KeepRule rule, std::vector<int> &candidates, const std::vector<PictureFacts> &facts)
{
    if (rule == KeepRule::Best) {
        narrowBest(candidates, facts);
        return;
    }
    int best = candidates.front();
    for (int i : candidates) {
        if (compareBy(rule, facts[i], i, facts[best], best) < 0)
            best = i;
    }
    std::erase_if(candidates, [&](int i) { return compareBy(rule, facts[i], i, facts[best], best) != 0; });
}

} // namespace

std::optional<KeepRule> keepRuleFromName(const QString &name)
{
    for (const auto &[rule, text] : ruleNames) {
        if (name == QLatin1String(text))
            return rule;
    }
    return std::nullopt;
}

QString keepRuleName(KeepRule rule)
{
    for (const auto &[known, text] : ruleNames) {
        if (known == rule)
            return QLatin1String(text);
    }
    return {};
}

namespace {

// The places a path stands for: as written once cleaned, and where it really lies.
QStringList spellings(const QString &path)
{
    QStringList both{QDir::cleanPath(QFileInfo(path).absoluteFilePath()), realLocation(path)};
    both.removeDuplicates();
    return both;
}

} // namespace

ProtectedFolders::ProtectedFolders(const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        for (QString spelling : spellings(folder)) {
            if (!spelling.endsWith(QLatin1Char('/')))
                spelling += QLatin1Char('/');
            if (!m_folders.contains(spelling))
                m_folders.append(spelling);
        }
    }
}

bool ProtectedFolders::protects(const QString &path) const
{
    if (m_folders.isEmpty() || path.isEmpty())
        return false;
    for (const QString &place : spellings(path)) {
        for (const QString &folder : m_folders) {
            if (place.startsWith(folder))
                return true;
        }
    }
    return false;
}

KeepPlan planGroup(const QStringList &pictures, const std::vector<PictureFacts> &facts,
                   const std::vector<KeepRule> &rules, const ProtectedFolders &protect)
{
    KeepPlan plan;
    const int count = int(std::min<size_t>(size_t(pictures.size()), facts.size()));
    // After the user's rules: the larger file, the newer file, the earlier entry. After best,
    // whose ties are pictures of the same content: the older file (an original is never
    // younger than a copy of it), the shorter path (a copied folder's name grows), the
    // earlier entry.
    const bool best = std::find(rules.begin(), rules.end(), KeepRule::Best) != rules.end();
    std::vector<KeepRule> order = rules;
    if (best)
        order.insert(order.end(), {KeepRule::Oldest});
    else
        order.insert(order.end(), {KeepRule::Size, KeepRule::Newest, KeepRule::Base});
    std::vector<int> candidates;
    for (int i = 0; i < count; ++i) {
        if (facts[i].readable)
            candidates.push_back(i);
    }
    for (KeepRule rule : order) {
        if (!candidates.empty())
            narrow(rule, candidates, facts);
    }
    if (best && !candidates.empty()) {
        qsizetype shortest = pictures[candidates.front()].size();
        for (int i : candidates)
            shortest = std::min(shortest, pictures[i].size());
        std::erase_if(candidates, [&](int i) { return pictures[i].size() > shortest; });
    }
    if (!candidates.empty())
        plan.keep = candidates.front();
    if (plan.keep < 0)
        return plan;
    // Another entry of the kept file, or of a protected one, is that file: dropping it
    // would throw away what is kept.
    std::vector<bool> kept(size_t(count), false);
    for (int i = 0; i < count; ++i)
        kept[i] = i == plan.keep || protect.protects(pictures[i]);
    for (int i = 0; i < count; ++i) {
        if (kept[i])
            continue;
        bool sameAsKept = false;
        for (int k = 0; k < count && !sameAsKept; ++k)
            sameAsKept = kept[k] && facts[i].identity.sameFile(facts[k].identity);
        if (!sameAsKept)
            plan.drop.push_back(i);
    }
    return plan;
}

QStringList groupPictures(const std::vector<PictureGroup> &groups)
{
    QStringList pictures;
    for (const PictureGroup &group : groups) {
        if (!group.base.isEmpty())
            pictures.append(group.base);
        pictures += group.members;
    }
    return pictures;
}

std::vector<GroupPlan> planGroups(const std::vector<PictureGroup> &groups, const QList<PictureFacts> &facts,
                                  const std::vector<KeepRule> &rules, const ProtectedFolders &protect)
{
    std::vector<GroupPlan> plans;
    plans.reserve(groups.size());
    qsizetype first = 0;
    for (const PictureGroup &group : groups) {
        const QStringList pictures = groupPictures({group});
        const qsizetype end = std::min(first + pictures.size(), facts.size());
        const KeepPlan plan = planGroup(pictures, std::vector<PictureFacts>(facts.begin() + std::min(first, end),
                                                                            facts.begin() + end),
                                        rules, protect);
        first += pictures.size();
        GroupPlan &named = plans.emplace_back();
        if (plan.keep >= 0)
            named.keep = pictures.at(plan.keep);
        for (int index : plan.drop)
            named.drop.append(pictures.at(index));
    }
    return plans;
}
