#include "comparefacts.h"

#include "outside/pathsplitter.h"

#include <QCoreApplication>

#include <functional>

namespace {
const QString DateFormat = QStringLiteral("yyyy/MM/dd HH:mm:ss");

// One kind of fact: its label and its value's text for a picture ("" when unknown).
struct Fact
{
    const char *label; // nullptr: the value stands alone
    std::function<QString(const ShownFacts &)> value;
};

const Fact Facts[] = {
    {nullptr, [](const ShownFacts &f) { return PathSplitter::FileNamePart(f.path); }},
    {nullptr, [](const ShownFacts &f) { return PathSplitter::FolderPart(f.path); }},
    {QT_TRANSLATE_NOOP("CompareFacts", "画素数"), [](const ShownFacts &f) {
         return f.size.isValid() ? QStringLiteral("%1×%2").arg(f.size.width()).arg(f.size.height()) : QString();
     }},
    {QT_TRANSLATE_NOOP("CompareFacts", "ファイルサイズ"),
     [](const ShownFacts &f) { return f.bytes >= 0 ? QStringLiteral("%1KB").arg(f.bytes / 1024) : QString(); }},
    {QT_TRANSLATE_NOOP("CompareFacts", "品質"),
     [](const ShownFacts &f) {
         return f.raw ? QStringLiteral("RAW")
                : f.quality > 0 ? QCoreApplication::translate("CompareFacts", "約%1").arg(f.quality) : QString();
     }},
    {QT_TRANSLATE_NOOP("CompareFacts", "元の品質"),
     [](const ShownFacts &f) {
         return f.primaryQuality > 0 ? QCoreApplication::translate("CompareFacts", "約%1").arg(f.primaryQuality)
                                     : QString();
     }},
    {QT_TRANSLATE_NOOP("CompareFacts", "精細度"),
     [](const ShownFacts &f) { return f.detail >= 0 ? QString::number(f.detail, 'f', 1) : QString(); }},
    {QT_TRANSLATE_NOOP("CompareFacts", "更新日時"),
     [](const ShownFacts &f) { return f.modified.isValid() ? f.modified.toString(DateFormat) : QString(); }},
    {QT_TRANSLATE_NOOP("CompareFacts", "撮影日時"),
     [](const ShownFacts &f) { return f.taken.isValid() ? f.taken.toString(DateFormat) : QString(); }},
    {QT_TRANSLATE_NOOP("CompareFacts", "機種"), [](const ShownFacts &f) { return f.camera; }},
};
} // namespace

std::vector<QList<FactLine>> compareFactLines(const std::vector<ShownFacts> &pictures)
{
    std::vector<QList<FactLine>> lines(pictures.size());
    const QString none = QCoreApplication::translate("CompareFacts", "なし");
    for (const Fact &fact : Facts) {
        QStringList values;
        bool any = false;
        for (const ShownFacts &picture : pictures) {
            values.append(fact.value(picture));
            any = any || !values.last().isEmpty();
        }
        if (!any)
            continue;
        const bool differs = values.size() > 1 && values.count(values.first()) != values.size();
        for (size_t i = 0; i < pictures.size(); ++i) {
            const QString value = values.at(qsizetype(i)).isEmpty() ? none : values.at(qsizetype(i));
            lines[i].append({fact.label ? QCoreApplication::translate("CompareFacts", fact.label) + QLatin1Char(' ') + value : value, differs});
        }
    }
    return lines;
}
