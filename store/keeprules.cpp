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

ProtectedFolders::ProtectedFolders(const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        QString cleaned = QDir::cleanPath(folder);
        if (!cleaned.endsWith(QLatin1Char('/')))
            cleaned += QLatin1Char('/');
        m_folders.append(cleaned);
    }
}

bool ProtectedFolders::protects(const QString &path) const
{
    if (m_folders.isEmpty() || path.isEmpty())
        return false;
    // Cleaned, so that "keep/../other.jpg" is judged where it really lies.
    const QString cleaned = QDir::cleanPath(path);
    for (const QString &folder : m_folders) {
        if (cleaned.startsWith(folder))
            return true;
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
    // A second entry of the kept file is that file: dropping it would throw the kept one away.
    const QString kept = QDir::cleanPath(pictures[plan.keep]);
    for (int i = 0; i < count; ++i) {
        if (i != plan.keep && !protect.protects(pictures[i]) && QDir::cleanPath(pictures[i]) != kept)
            plan.drop.push_back(i);
    }
    return plan;
}
