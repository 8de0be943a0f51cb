#include "keeprules.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<KeepRule, const char *>, 5> ruleNames{{
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
    }
    return 0;
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

PictureFacts readPictureFacts(const QString &path)
{
    PictureFacts facts;
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return facts;
    facts.bytes = info.size();
    facts.modified = info.lastModified().toMSecsSinceEpoch();
    facts.identity = fileIdentity(path);
    // The header alone; the content decides, so a mislabelled picture still counts.
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        facts.readable = true;
        facts.pixels = qint64(size.width()) * size.height();
    }
    return facts;
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
    // After the user's rules: the larger file, the newer file, the earlier entry.
    std::vector<KeepRule> order = rules;
    order.insert(order.end(), {KeepRule::Size, KeepRule::Newest, KeepRule::Base});
    for (int i = 0; i < count; ++i) {
        if (!facts[i].readable)
            continue;
        if (plan.keep < 0) {
            plan.keep = i;
            continue;
        }
        for (KeepRule rule : order) {
            const int verdict = compareBy(rule, facts[i], i, facts[plan.keep], plan.keep);
            if (verdict < 0)
                plan.keep = i;
            if (verdict != 0)
                break;
        }
    }
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
